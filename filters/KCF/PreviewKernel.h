// The control dialog's preview: the sample picture through the filter's own engine, shown at 8 bits.
#pragma once

#include <cstdint>

struct Rgb8 {
    uint8_t r, g, b;
};

// Filters an 8-bit RGB picture exactly as Render filters a frame: each channel widened to the
// host's 16-bit scale (v x 257, alpha opaque), the kernel (size x size block, row-major) applied by
// the engine with the real divisor, offset (on the 16-bit scale) and invert, over the whole
// picture; then each result brought back to 8 bits, rounded to the nearest level ((v + 128) / 257).
// in and out hold width x height pixels, row by row. A size that is not 3, 5, 7 or 9 copies the
// picture unchanged. Returns false, with out untouched, when memory for the work is short.
bool PreviewConvolve(const Rgb8* in, int width, int height, const int32_t* block, int size, int32_t divisor,
                     int32_t offset, int32_t invert, Rgb8* out);

// One preview level from a 16-bit channel value: the nearest of the 256.
constexpr uint8_t PreviewLevel(uint16_t value) { return static_cast<uint8_t>((value + 128u) / 257u); }
