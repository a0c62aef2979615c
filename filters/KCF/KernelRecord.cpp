// The grid's rules (the kernel-size rule, the centred sub-kernel) and the settings' defaults.
#include "KernelRecord.h"

#include <algorithm>
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
            const int ring = RingOf(r, c);
            if (ring >= 2) return 2 * ring + 1;
        }
    }
    return 3;
}

void SetSizeFromWeights(KernelRecord& record) { record.size = KernelSizeOf(record.weights); }

int EffectiveKernelSize(const KernelRecord& record)
{
    return IsKernelSize(record.size) ? record.size : KernelSizeOf(record.weights);
}

int EnclosingKernelSize(const int32_t weights[kGridCells])
{
    int ring = 1;
    for (int r = 0; r < kGridSide; ++r)
        for (int c = 0; c < kGridSide; ++c)
            if (weights[r * kGridSide + c]) ring = std::max(ring, RingOf(r, c));
    return 2 * ring + 1;
}

void ExtractSubKernel(const int32_t weights[kGridCells], int size, int32_t* out)
{
    for (int r = 0; r < size; ++r)
        std::memcpy(out + r * size, weights + SubKernelCell(size, r, 0), size * sizeof(int32_t));
}

void PlaceSubKernel(const int32_t* block, int size, int32_t weights[kGridCells])
{
    for (int r = 0; r < size; ++r)
        std::memcpy(weights + SubKernelCell(size, r, 0), block + r * size, size * sizeof(int32_t));
}

PackedKernel PackKernel(const KernelRecord& record)
{
    PackedKernel packed = {};
    packed.size = EffectiveKernelSize(record);
    ExtractSubKernel(record.weights, packed.size, packed.weights);
    packed.divisor = record.divisor;
    packed.offset = record.offset;
    packed.invert = record.invert;
    return packed;
}
