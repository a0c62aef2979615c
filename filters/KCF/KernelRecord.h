// The filter's persisted settings: the kernel record, the 612-byte configuration block, and the
// grid's rules (rings, the kernel-size rule, the centred sub-kernel) that every part of the filter shares.
#pragma once

#include "ConvolveEngine.h"

#include <bit>
#include <cstddef>
#include <cstdint>

constexpr int kGridSide = 9;
constexpr int kGridCells = kGridSide * kGridSide;
constexpr int kNameChars = 256;  // 255 characters and the terminator

// The first word of the filter's class identifier marks a configuration block as ours.
constexpr uint32_t kSettingsTag = 0x33A25539;

// Source modes: the control id of the chosen Source radio button.
constexpr int32_t kSourceWholeImage = 1009;
constexpr int32_t kSourceMaterialEffects = 1010;
constexpr int32_t kSourceObject = 1011;

struct KernelRecord {
    int32_t size;                // 3, 5, 7 or 9
    int32_t weights[kGridCells]; // 9x9, row-major: (r, c) is element 9r + c
    int32_t divisor;             // 0: no division
    int32_t offset;              // added after the division
    int32_t invert;              // 1 inverts the result
};

struct FilterSettings {
    uint32_t tag;
    int32_t sourceMode;
    int32_t objectId;
    int32_t materialId;
    KernelRecord kernel;
    char presetName[kNameChars];
};

// The block is stored with the host's scene: its layout must never change.
static_assert(std::endian::native == std::endian::little, "the configuration block is little-endian");
static_assert(sizeof(KernelRecord) == 340);
static_assert(offsetof(KernelRecord, size) == 0);
static_assert(offsetof(KernelRecord, weights) == 4);
static_assert(offsetof(KernelRecord, divisor) == 328);
static_assert(offsetof(KernelRecord, offset) == 332);
static_assert(offsetof(KernelRecord, invert) == 336);
static_assert(sizeof(FilterSettings) == 612);
static_assert(offsetof(FilterSettings, tag) == 0);
static_assert(offsetof(FilterSettings, sourceMode) == 4);
static_assert(offsetof(FilterSettings, objectId) == 8);
static_assert(offsetof(FilterSettings, materialId) == 12);
static_assert(offsetof(FilterSettings, kernel) == 16);
static_assert(offsetof(FilterSettings, presetName) == 356);

// Default kernel: size 3, all weights 0, divisor 1, offset 0, no inversion.
KernelRecord DefaultKernelRecord();
// Default settings: tagged, whole image, ids 0, the default kernel, an empty name.
FilterSettings DefaultFilterSettings();

// The grid's centre cell is (kGridCentre, kGridCentre); ring n is the cells n rows or columns away
// from it, so ring 0 is the centre alone and ring kGridCentre the grid's edge.
constexpr int kGridCentre = kGridSide / 2;
constexpr int RingOf(int row, int column)
{
    const int dr = row < kGridCentre ? kGridCentre - row : row - kGridCentre;
    const int dc = column < kGridCentre ? kGridCentre - column : column - kGridCentre;
    return dr > dc ? dr : dc;
}

// The kernel-size rule: the first non-zero weight, in row-major order, on ring 4, 3 or 2 of the
// grid gives 9, 7 or 5; without one the size is 3.
int KernelSizeOf(const int32_t weights[kGridCells]);
// Gives the record the size its weights have by the kernel-size rule, as the dialog does whenever
// it shows or reads a grid.
void SetSizeFromWeights(KernelRecord& record);
// The size the engine runs a record at: the stored size when it is 3, 5, 7 or 9; otherwise (only a
// damaged block has another) the weights' size by the kernel-size rule.
int EffectiveKernelSize(const KernelRecord& record);
// The smallest centred block, at least 3 x 3, that holds every non-zero weight: the outermost ring
// with a weight decides, wherever in the grid that weight is.
int EnclosingKernelSize(const int32_t weights[kGridCells]);

// First row and column of the centred size x size block of the grid.
constexpr int SubKernelOrigin(int size) { return (kGridSide - size) / 2; }
// The grid index of cell (row, column) of the centred size x size block.
constexpr int SubKernelCell(int size, int row, int column)
{
    return (SubKernelOrigin(size) + row) * kGridSide + SubKernelOrigin(size) + column;
}

// Copies the centred size x size block of the grid into out, packed row-major. size must be 3..9 odd.
void ExtractSubKernel(const int32_t weights[kGridCells], int size, int32_t* out);
// The inverse: copies block (size x size, row-major) into the centred block of the grid, leaving the
// cells around it as they are. size must be 3..9 odd.
void PlaceSubKernel(const int32_t* block, int size, int32_t weights[kGridCells]);

// The kernel as the engine takes it, packed once from a record by PackKernel: the size (3, 5, 7
// or 9), the centred size x size block row-major, and the divisor, offset and invert as stored.
// Render and the dialog's preview both filter with it.
struct PackedKernel {
    int32_t weights[kGridCells];
    int size;
    int32_t divisor;
    int32_t offset;
    int32_t invert;
    // The engine's view of it, with the mask id (-1: the whole image).
    ConvolveKernel ForMask(int32_t maskId) const { return {weights, size, divisor, offset, invert, maskId}; }
};

// Packs the record. A size that is not 3, 5, 7 or 9 (only a damaged block has one) is decided by
// the weights, as the dialog would show them, so the engine never sees it.
PackedKernel PackKernel(const KernelRecord& record);
