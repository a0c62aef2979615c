// The preview's convolution: 64-bit sums, so that no weight the grid can hold overflows them.
#include "PreviewKernel.h"

#include "KernelRecord.h"

#include <algorithm>

namespace {

uint8_t Finish(int64_t sum, int32_t divisor, int32_t offset, int32_t invert)
{
    if (divisor != 0) sum /= divisor;
    sum += offset;
    const int64_t clamped = std::clamp<int64_t>(sum, 0, 255);
    return static_cast<uint8_t>(invert == 1 ? 255 - clamped : clamped);
}

}  // namespace

void PreviewConvolve(const Rgb8* in, int width, int height, const int32_t* block, int size, int32_t divisor,
                     int32_t offset, int32_t invert, Rgb8* out)
{
    if (!IsKernelSize(size)) {
        std::copy(in, in + width * height, out);
        return;
    }
    const int e = size / 2;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int64_t r = 0, g = 0, b = 0;
            for (int dy = -e; dy <= e; ++dy) {
                const int sy = y + dy;
                if (sy < 0 || sy >= height) continue;
                for (int dx = -e; dx <= e; ++dx) {
                    const int sx = x + dx;
                    if (sx < 0 || sx >= width) continue;
                    const int64_t w = block[(e + dy) * size + (e + dx)];
                    const Rgb8& p = in[sy * width + sx];
                    r += w * p.r;
                    g += w * p.g;
                    b += w * p.b;
                }
            }
            out[y * width + x] = {Finish(r, divisor, offset, invert), Finish(g, divisor, offset, invert),
                                  Finish(b, divisor, offset, invert)};
        }
    }
}
