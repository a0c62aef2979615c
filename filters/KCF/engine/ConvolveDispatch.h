// Chooses the convolution engine's code path at run time and runs one Convolve call row by row
// on it: the fastest path the CPU offers unless a test or the KCF_ENGINE environment variable
// forces one.
#pragma once

#include "ConvolveEngine.h"
#include "ConvolvePlan.h"

#include <memory>

// Ordered: a path needs everything the ones before it need.
enum class ConvolvePath { Reference, Sse2, Avx2, Avx512, Avx512Vnni };
constexpr int kConvolvePathCount = 5;

// "reference", "sse2", "avx2", "avx512", "avx512vnni".
const char* ConvolvePathName(ConvolvePath path);
bool ParseConvolvePath(const char* text, ConvolvePath& path);
// Whether this build has the path and the CPU and operating system can run it.
bool ConvolvePathAvailable(ConvolvePath path);
ConvolvePath BestConvolvePath();

// The path the next Convolve takes: the innermost ScopedConvolvePath's; else KCF_ENGINE's, lowered
// to the best available path at or below it; else the best.
ConvolvePath SelectedConvolvePath();

// What one Convolve call ran on, so that no silent fallback can pass for a fast path.
struct ConvolveRun {
    ConvolvePath path = ConvolvePath::Reference;
    ConvolveTier tier = ConvolveTier::Scalar;
    bool separable = false;
    int sharedRows = 1;   // output rows computed a pass
    int rows = 0;         // rows handed to the runner
    int rowsSkipped = 0;  // of those, rows in which the mask selected no pixel
};

// The seam through which tests and the benchmark force a path: while a guard lives, every runner
// made on this thread takes its path, streams frames of at least streamBytes past the cache (0:
// the default, 8 MB, so that small test frames can take that road too), and leaves its run
// record with the guard. Guards nest; the innermost decides. A path that is not available here
// forces nothing (Active() is false).
class ScopedConvolvePath {
public:
    explicit ScopedConvolvePath(ConvolvePath path, uint64_t streamBytes = 0);
    ~ScopedConvolvePath();
    ScopedConvolvePath(const ScopedConvolvePath&) = delete;
    ScopedConvolvePath& operator=(const ScopedConvolvePath&) = delete;

    bool Active() const { return active_; }
    ConvolvePath Path() const { return path_; }
    // The record of the latest runner made under this guard that has finished.
    const ConvolveRun& LastRun() const { return lastRun_; }

private:
    friend class ConvolveRunner;
    ScopedConvolvePath* outer_ = nullptr;
    ConvolvePath path_;
    uint64_t streamBytes_;
    bool active_ = false;
    ConvolveRun lastRun_;
};

// Where one call's scratch memory goes, in one block that starts on a 64-byte boundary: the ring
// of prepared rows, the zero row, the separable plans' scratch row, and the selection words of
// each output row. A pure function of the plan, the frame's width and the rows a pass that the
// instruction set can share; ok is false for widths the runner does not take (0, or beyond
// 2^24, which keeps every size far inside a 32-bit size_t) and for the scalar tier.
struct RunnerLayout {
    bool ok = false;
    int outputs = 1;          // output rows a pass
    int ringSlots = 0;        // prepared rows held: the kernel's rows plus outputs - 1
    int paddedWidth = 0;      // the width rounded up to whole chunks
    size_t elementBytes = 0;  // 4 (pairs, 32-bit sums) or 8 (doubles)
    size_t planeStride = 0;   // entries from one channel's plane to the next; planes start on 64 bytes
    size_t rowBytes = 0;      // three planes
    size_t selectionWords = 0;  // per output row
    size_t zeroRowOffset = 0;
    size_t scratchOffset = 0;   // 0: no scratch row (not separable)
    size_t selectionOffset = 0;
    size_t totalBytes = 0;
};
RunnerLayout LayoutRunner(const ConvolvePlan& plan, int width, int sharedRowCount);

// A heap block whose usable start is aligned to 64 bytes, freed with its owner.
class AlignedBlock {
public:
    explicit AlignedBlock(size_t bytes);
    ~AlignedBlock();
    AlignedBlock(const AlignedBlock&) = delete;
    AlignedBlock& operator=(const AlignedBlock&) = delete;
    unsigned char* Data() const { return data_; }  // null when the allocation failed

private:
    void* base_ = nullptr;
    unsigned char* data_ = nullptr;
};

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
    // What this call runs on, and the rows so far.
    const ConvolveRun& Record() const { return run_; }

private:
    bool Plan(ConvolvePath path);
    bool TakeMemory();
    void ClearRows();
    const void* PreparedRow(int sourceRow);
    bool SelectRow(int y, uint64_t* words);
    void RestoreRowsAhead();

    ConvolveFrame frame_;
    ConvolveKernel kernel_;
    ScopedConvolvePath* guard_ = nullptr;      // the innermost guard, told of the run at the end
    const ConvolveKernels* kernels_ = nullptr;  // null: the reference engine
    std::unique_ptr<ConvolvePlan> plan_;
    std::unique_ptr<AlignedBlock> block_;
    RunnerLayout layout_;
    ConvolveRun run_;
    unsigned char* ring_ = nullptr;
    unsigned char* zeroRow_ = nullptr;
    int32_t* pairScratch_ = nullptr;
    uint64_t* selected_ = nullptr;  // layout_.outputs rows of selection words
    bool streamStores_ = false;
    int ringRows_[kMaxJobRows];
    bool rowUsed_[kMaxKernelSize];
    // Rows computed with an earlier one and not yet asked for: aheadFirst_ .. aheadLast_; bit
    // (row - aheadBase_) of aheadSkipped_ is set where the mask selected nothing.
    int aheadBase_ = 0, aheadFirst_ = 1, aheadLast_ = 0;
    unsigned aheadSkipped_ = 0;
};
