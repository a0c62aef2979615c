// The kernel-size rule, sub-kernel extraction and the settings' defaults.
#include "KernelRecord.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

KernelRecord DefaultKernelRecord()
{
    KernelRecord k{};
    k.size = 3;
    k.divisor = 1;
    return k;
}

FilterSettings DefaultFilterSettings()
{
    FilterSettings s{};
    s.tag = kSettingsTag;
    s.sourceMode = kSourceWholeImage;
    s.kernel = DefaultKernelRecord();
    return s;
}

int KernelSizeOf(const int32_t weights[kGridCells])
{
    for (int r = 0; r < kGridSide; ++r) {
        for (int c = 0; c < kGridSide; ++c) {
            if (weights[r * kGridSide + c] == 0) continue;
            const int ring = std::max(std::abs(r - 4), std::abs(c - 4));
            if (ring >= 2) return 2 * ring + 1;
        }
    }
    return 3;
}

void ExtractSubKernel(const int32_t weights[kGridCells], int size, int32_t* out)
{
    const int origin = SubKernelOrigin(size);
    for (int r = 0; r < size; ++r)
        std::memcpy(out + r * size, weights + (origin + r) * kGridSide + origin, size * sizeof(int32_t));
}

PackedKernel PackKernel(const KernelRecord& record)
{
    PackedKernel packed = {};
    packed.size = IsKernelSize(record.size) ? record.size : KernelSizeOf(record.weights);
    ExtractSubKernel(record.weights, packed.size, packed.weights);
    packed.divisor = record.divisor;
    packed.offset = record.offset;
    packed.invert = record.invert;
    return packed;
}
