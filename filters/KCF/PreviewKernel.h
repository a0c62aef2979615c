// The control dialog's preview arithmetic: a kernel over an 8-bit RGB picture, on plain arrays.
#pragma once

#include <cstdint>

struct Rgb8 {
    uint8_t r, g, b;
};

// For every pixel, sums weight x channel over the size x size neighbourhood (block packed
// row-major, not mirrored), skipping neighbours outside the picture without renormalising;
// divides by divisor unless it is 0 (truncating toward zero), adds offset, clamps to 0..255 and,
// when invert is 1, takes 255 minus the result. in and out hold width x height pixels, row by
// row, and must not overlap. A size that is not 3, 5, 7 or 9 copies the picture unchanged.
void PreviewConvolve(const Rgb8* in, int width, int height, const int32_t* block, int size, int32_t divisor,
                     int32_t offset, int32_t invert, Rgb8* out);
