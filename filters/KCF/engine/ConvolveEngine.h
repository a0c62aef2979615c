// The convolution engine's arithmetic on plain memory: one frame, one kernel, one row at a time.
//
// The arithmetic contract, for every pixel (x, y) that the mask selects:
//   window   rows y+dy and columns x+dx with |dy|, |dx| <= size/2, cropped at the frame border;
//            the weights that would fall outside are skipped and the rest are not rescaled;
//   sums     r, g, b = sum of weight[dy+half][dx+half] * channel, the kernel not mirrored, each
//            channel an unsigned 16-bit value, products and sums in signed 64-bit integers (exact:
//            a sum that fits in 32 bits gives the same result as 32-bit arithmetic would);
//   divide   when divisor != 0, sum / divisor, truncating toward zero;
//   offset   added after the division;
//   clamp    to 0 .. 65535;
//   invert   only when invert == 1: 65535 - value;
//   alpha    copied from the source pixel.
// Pixels the mask does not select are not written. The mask compares maskId (-1: every pixel) with
// the pixel's identifier: the 8-bit material effects value when that channel was requested, else the
// 16-bit object value when that was, 0 when the requested channel's array is missing.
#pragma once

#include "Bitmap.h"

#include <cstdint>

struct ConvolveFrame {
    const BMM_Color_64* source;  // read only
    BMM_Color_64* work;          // written
    int width;
    int height;
    const uint8_t* materialChannel;  // per pixel, or null
    const uint16_t* objectChannel;   // per pixel, or null
    uint32_t requestedChannels;      // bit set of the requested channel identifiers
};

// Whether size is one of the four kernel sizes.
constexpr bool IsKernelSize(int size) { return size == 3 || size == 5 || size == 7 || size == 9; }

struct ConvolveKernel {
    const int32_t* weights;  // size x size, row-major
    int size;                // 3, 5, 7 or 9
    int32_t divisor;
    int32_t offset;
    int32_t invert;
    int32_t maskId;
};

// The ids the mask compares, by the rule above: the material effects channel when it was requested,
// else the object channel when that was. Both null: every pixel's id is 0.
struct MaskIds {
    const uint8_t* material;
    const uint16_t* object;
};

inline MaskIds MaskIdsOf(const ConvolveFrame& f)
{
    if (f.requestedChannels & GB_CHAN_MTL_EFFECTS) return {f.materialChannel, nullptr};
    if (f.requestedChannels & GB_CHAN_OBJECT) return {nullptr, f.objectChannel};
    return {nullptr, nullptr};
}

// The identifier the mask compares for pixel index i.
inline int32_t PixelId(const ConvolveFrame& f, int64_t i)
{
    const MaskIds ids = MaskIdsOf(f);
    return ids.material ? ids.material[i] : ids.object ? ids.object[i] : 0;
}

// Whether the mask selects pixel index i.
inline bool MaskSelects(const ConvolveFrame& f, int32_t maskId, int64_t i)
{
    return maskId == -1 || PixelId(f, i) == maskId;
}

// The result channel from a full sum, by the contract above.
inline uint16_t FinishChannel(int64_t sum, int32_t divisor, int32_t offset, int32_t invert)
{
    if (divisor != 0) sum /= divisor;
    sum += offset;
    const int64_t clamped = sum < 0 ? 0 : (sum > 65535 ? 65535 : sum);
    return static_cast<uint16_t>(invert == 1 ? 65535 - clamped : clamped);
}

// The reference engine: row y of the frame, written as plainly as the contract reads.
void ConvolveRowReference(const ConvolveFrame& frame, const ConvolveKernel& kernel, int y);
