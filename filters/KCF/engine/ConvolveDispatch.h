// Chooses the convolution engine's code path at run time and runs one Convolve call row by row
// on it: the fastest path the CPU offers unless a test or the KCF_ENGINE environment variable
// forces one.
#pragma once

#include "ConvolveEngine.h"
#include "ConvolvePlan.h"

// Ordered: a path needs everything the ones before it need.
enum class ConvolvePath { Reference, Sse2, Avx2, Avx512, Avx512Vnni };
constexpr int kConvolvePathCount = 5;

// "reference", "sse2", "avx2", "avx512", "avx512vnni".
const char* ConvolvePathName(ConvolvePath path);
bool ParseConvolvePath(const char* text, ConvolvePath& path);
// Whether this build has the path and the CPU and operating system can run it.
bool ConvolvePathAvailable(ConvolvePath path);
ConvolvePath BestConvolvePath();

// The internal switch: every later Convolve takes this path. False (and no change) when the path
// is not available here.
bool ForceConvolvePath(ConvolvePath path);
void ClearForcedConvolvePath();
// Test seam: frames of at least this many bytes stream their results past the cache (0 restores
// the default, 8 MB), so that small test frames can take that road too.
void SetConvolveStreamBytes(uint64_t bytes);
// The path the next Convolve takes: the forced one; else KCF_ENGINE's, lowered to the best
// available path at or below it; else the best.
ConvolvePath SelectedConvolvePath();

// What the latest Convolve ran on, so that no silent fallback can pass for a fast path.
struct ConvolveRun {
    ConvolvePath path = ConvolvePath::Reference;
    ConvolveTier tier = ConvolveTier::Scalar;
    bool separable = false;
    int rows = 0;        // rows handed to the runner
    int rowsSkipped = 0; // of those, rows in which the mask selected no pixel
};
ConvolveRun LastConvolveRun();

// One Convolve call: plans the kernel, takes its scratch memory once, then filters row by row.
// Rows must come in ascending order (each source row is prepared once, on first use). Without
// its scratch memory it runs the reference engine, which needs none.
//
// Dense kernels may compute the next rows together with the one asked for (their loads are
// shared); those rows are written into the work buffer at once. A row computed ahead that is
// never asked for (the caller stopped, or skipped it) is put back from the source copy, so the
// work buffer's rows that the runner has not been given must hold the source's pixels: both
// copies of the same frame, as KernelImage and the preview make them.
class ConvolveRunner {
public:
    ConvolveRunner(const ConvolveFrame& frame, const ConvolveKernel& kernel);
    ~ConvolveRunner();
    ConvolveRunner(const ConvolveRunner&) = delete;
    ConvolveRunner& operator=(const ConvolveRunner&) = delete;

    void Row(int y);

private:
    const void* PreparedRow(int sourceRow);
    bool SelectRow(int y, uint64_t* words);
    void RestoreRowsAhead();

    ConvolveFrame frame_;
    ConvolveKernel kernel_;
    const ConvolveKernels* kernels_ = nullptr;  // null: the reference engine
    ConvolvePlan* plan_ = nullptr;
    void* block_ = nullptr;      // the rows' block as allocated
    void* planBase_ = nullptr;   // the plan's block as allocated
    unsigned char* ring_ = nullptr;
    unsigned char* zeroRow_ = nullptr;
    int32_t* pairScratch_ = nullptr;
    uint64_t* selected_ = nullptr;  // outputs_ rows of selection words, selectionWords_ apart
    size_t selectionWords_ = 0;
    size_t rowBytes_ = 0;
    size_t planeStride_ = 0;   // entries from one channel's plane to the next
    size_t elementBytes_ = 0;  // 4 (pairs, sums) or 8 (doubles)
    int paddedWidth_ = 0;
    bool streamStores_ = false;
    int outputs_ = 1;    // output rows a job computes
    int ringSlots_ = 0;  // prepared rows the ring holds: size + outputs_ - 1
    int ringRows_[kMaxJobRows];
    bool rowUsed_[kMaxKernelSize];
    // Rows computed with an earlier one and not yet asked for: aheadFirst_ .. aheadLast_; bit
    // (row - aheadBase_) of aheadSkipped_ is set where the mask selected nothing.
    int aheadBase_ = 0, aheadFirst_ = 1, aheadLast_ = 0;
    unsigned aheadSkipped_ = 0;
};
