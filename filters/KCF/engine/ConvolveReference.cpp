// The reference convolution engine: the arithmetic contract, pixel by pixel, with nothing clever.
#include "ConvolveEngine.h"

#include <algorithm>

void ConvolveRowReference(const ConvolveFrame& f, const ConvolveKernel& k, int y)
{
    const int half = k.size / 2;
    const int dyFirst = std::max(-half, -y);
    const int dyLast = std::min(half, f.height - 1 - y);
    for (int x = 0; x < f.width; ++x) {
        const int64_t index = static_cast<int64_t>(y) * f.width + x;
        if (!MaskSelects(f, k.maskId, index)) continue;

        const int dxFirst = std::max(-half, -x);
        const int dxLast = std::min(half, f.width - 1 - x);
        int64_t r = 0, g = 0, b = 0;
        for (int dy = dyFirst; dy <= dyLast; ++dy) {
            const int32_t* w = k.weights + (dy + half) * k.size + (dxFirst + half);
            const BMM_Color_64* p = f.source + (index + static_cast<int64_t>(dy) * f.width + dxFirst);
            for (int dx = dxFirst; dx <= dxLast; ++dx, ++w, ++p) {
                r += static_cast<int64_t>(*w) * p->r;
                g += static_cast<int64_t>(*w) * p->g;
                b += static_cast<int64_t>(*w) * p->b;
            }
        }
        BMM_Color_64& out = f.work[index];
        out.r = FinishChannel(r, k.divisor, k.offset, k.invert);
        out.g = FinishChannel(g, k.divisor, k.offset, k.invert);
        out.b = FinishChannel(b, k.divisor, k.offset, k.invert);
        out.a = f.source[index].a;
    }
}
