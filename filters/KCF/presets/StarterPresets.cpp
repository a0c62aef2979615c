// The starter presets: blurs, sharpening, edge detection, emboss and outline, as kernel records.
#include "StarterPresets.h"

#include "PresetLibrary.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>

namespace {

// A record from its size x size block, row-major, centred in the grid; the size follows the rule.
KernelRecord Make(int size, std::initializer_list<int32_t> block, int32_t divisor, int32_t offset = 0)
{
    int32_t cells[kGridCells] = {};  // a short list leaves zeros, a long one is cut at the grid
    std::copy_n(block.begin(), std::min<size_t>(block.size(), kGridCells), cells);
    KernelRecord k = DefaultKernelRecord();
    PlaceSubKernel(cells, size, k.weights);
    SetSizeFromWeights(k);
    k.divisor = divisor;
    k.offset = offset;
    return k;
}

KernelRecord Box(int size)
{
    int32_t ones[kGridCells];
    std::fill(std::begin(ones), std::end(ones), 1);
    KernelRecord k = DefaultKernelRecord();
    PlaceSubKernel(ones, size, k.weights);
    SetSizeFromWeights(k);
    k.divisor = size * size;
    return k;
}

constexpr int32_t kMidGrey = 32768;

}  // namespace

std::vector<StarterPreset> StarterPresets()
{
    // Gradients and the emboss get the middle of the 16-bit range as their offset, so that both
    // directions of a change show: lighter one way, darker the other, mid grey where nothing changes.
    return {
        {"Box Blur 3x3", Box(3)},
        {"Box Blur 5x5", Box(5)},
        {"Box Blur 7x7", Box(7)},
        {"Box Blur 9x9", Box(9)},
        {"Gaussian Blur 3x3", Make(3, {1, 2, 1, 2, 4, 2, 1, 2, 1}, 16)},
        {"Gaussian Blur 5x5", Make(5, {1, 4, 6, 4, 1, 4, 16, 24, 16, 4, 6, 24, 36, 24, 6, 4, 16, 24, 16, 4,
                                       1, 4, 6, 4, 1}, 256)},
        {"Sharpen", Make(3, {0, -1, 0, -1, 5, -1, 0, -1, 0}, 1)},
        {"Unsharp Mask 5x5", Make(5, {-1, -4, -6, -4, -1, -4, -16, -24, -16, -4, -6, -24, 476, -24, -6,
                                      -4, -16, -24, -16, -4, -1, -4, -6, -4, -1}, 256)},
        {"Laplacian Edges", Make(3, {0, -1, 0, -1, 4, -1, 0, -1, 0}, 1)},
        {"Sobel X", Make(3, {-1, 0, 1, -2, 0, 2, -1, 0, 1}, 1, kMidGrey)},
        {"Sobel Y", Make(3, {-1, -2, -1, 0, 0, 0, 1, 2, 1}, 1, kMidGrey)},
        {"Prewitt X", Make(3, {-1, 0, 1, -1, 0, 1, -1, 0, 1}, 1, kMidGrey)},
        {"Prewitt Y", Make(3, {-1, -1, -1, 0, 0, 0, 1, 1, 1}, 1, kMidGrey)},
        {"Emboss", Make(3, {-2, -1, 0, -1, 0, 1, 0, 1, 2}, 1, kMidGrey)},
        {"Outline", Make(3, {-1, -1, -1, -1, 8, -1, -1, -1, -1}, 1)},
    };
}

bool WriteStarterPresets(const char* path)
{
    if (FILE* existing = std::fopen(path, "rb")) {
        std::fclose(existing);
        return false;
    }
    for (const StarterPreset& p : StarterPresets())
        if (!AppendPreset(path, p.name.c_str(), &p.record)) return false;
    return true;
}
