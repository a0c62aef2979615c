// Run-time choice of the engine's code path, and the runner that feeds one Convolve call's rows
// through it: prepared source rows in a ring, the mask as selection bits, the reference as fallback.
#include "ConvolveDispatch.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const char* const kPathNames[kConvolvePathCount] = {"reference", "sse2", "avx2", "avx512", "avx512vnni"};

// The innermost live guard, or null: set and cleared only by ScopedConvolvePath.
thread_local ScopedConvolvePath* innermostGuard = nullptr;

bool CpuCanRun(ConvolvePath path)
{
#ifdef KCF_ENGINE_X86
    __builtin_cpu_init();
    // The compiler's checks include the operating system's support for the wider registers.
    const bool sse2 = __builtin_cpu_supports("sse2");
    const bool avx2 = sse2 && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    const bool avx512 = avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                        __builtin_cpu_supports("avx512vl");
    switch (path) {
    case ConvolvePath::Reference: return true;
    case ConvolvePath::Sse2: return sse2;
    case ConvolvePath::Avx2: return avx2;
    case ConvolvePath::Avx512: return avx512;
    case ConvolvePath::Avx512Vnni: return avx512 && __builtin_cpu_supports("avx512vnni");
    }
    return false;
#else
    return path == ConvolvePath::Reference;
#endif
}

const ConvolveKernels* KernelsFor(ConvolvePath path)
{
#ifdef KCF_ENGINE_X86
    switch (path) {
    case ConvolvePath::Reference: return nullptr;
    case ConvolvePath::Sse2: return &Sse2Kernels();
    case ConvolvePath::Avx2: return &Avx2Kernels();
    case ConvolvePath::Avx512: return &Avx512Kernels();
    case ConvolvePath::Avx512Vnni: return &Avx512VnniKernels();
    }
#endif
    (void)path;
    return nullptr;
}

size_t RoundUp64(size_t bytes) { return (bytes + 63) & ~size_t(63); }

// Selection words with the first width bits set, or none: every pixel of a row, or no pixel.
void SelectEvery(uint64_t* words, int width, bool every)
{
    for (int w = 0; w < (width + 63) / 64; ++w) {
        const int count = width - 64 * w < 64 ? width - 64 * w : 64;
        words[w] = every ? (count == 64 ? ~uint64_t(0) : (uint64_t(1) << count) - 1) : 0;
    }
}

// Streaming pays once the two frame copies outgrow a typical last-level cache.
constexpr uint64_t kStreamFrameBytesDefault = 8u << 20;

}  // namespace

const char* ConvolvePathName(ConvolvePath path)
{
    const int i = static_cast<int>(path);
    return i >= 0 && i < kConvolvePathCount ? kPathNames[i] : "unknown";
}

bool ParseConvolvePath(const char* text, ConvolvePath& path)
{
    if (!text) return false;
    for (int i = 0; i < kConvolvePathCount; ++i)
        if (std::strcmp(text, kPathNames[i]) == 0) {
            path = static_cast<ConvolvePath>(i);
            return true;
        }
    return false;
}

bool ConvolvePathAvailable(ConvolvePath path) { return CpuCanRun(path); }

ConvolvePath BestConvolvePath()
{
    for (int i = kConvolvePathCount - 1; i > 0; --i)
        if (CpuCanRun(static_cast<ConvolvePath>(i))) return static_cast<ConvolvePath>(i);
    return ConvolvePath::Reference;
}

ScopedConvolvePath::ScopedConvolvePath(ConvolvePath path, uint64_t streamBytes)
    : path_(path), streamBytes_(streamBytes ? streamBytes : kStreamFrameBytesDefault)
{
    if (!CpuCanRun(path)) return;
    active_ = true;
    outer_ = innermostGuard;
    innermostGuard = this;
}

ScopedConvolvePath::~ScopedConvolvePath()
{
    if (active_) innermostGuard = outer_;
}

AlignedBlock::AlignedBlock(size_t bytes) : base_(std::malloc(bytes + 64))
{
    if (base_) data_ = reinterpret_cast<unsigned char*>((reinterpret_cast<uintptr_t>(base_) + 63) & ~uintptr_t(63));
}

AlignedBlock::~AlignedBlock() { std::free(base_); }

RunnerLayout LayoutRunner(const ConvolvePlan& plan, int width, int sharedRowCount)
{
    RunnerLayout layout;
    if (width <= 0 || width > (1 << 24) || plan.tier == ConvolveTier::Scalar || !IsKernelSize(plan.size))
        return layout;
    const bool shared = plan.tier == ConvolveTier::Narrow && plan.sharedRows && !plan.separable && sharedRowCount > 1;
    layout.outputs = shared ? (sharedRowCount < kMaxSharedRows ? sharedRowCount : kMaxSharedRows) : 1;
    layout.ringSlots = plan.size + layout.outputs - 1;
    layout.elementBytes = plan.tier == ConvolveTier::Wide ? sizeof(double) : sizeof(int32_t);
    layout.paddedWidth = (width + kChunkPixels - 1) / kChunkPixels * kChunkPixels;
    // Sizes in 64 bits first: a block beyond 2^31 bytes is refused (the reference runs), so the
    // size_t arithmetic below cannot wrap on a 32-bit build.
    const uint64_t stride64 =
        (static_cast<uint64_t>(layout.paddedWidth + 2 * kRowPad) * layout.elementBytes + 63) / 64 * 64 / layout.elementBytes;
    const uint64_t rows64 = static_cast<uint64_t>(layout.ringSlots) + (plan.separable ? 2 : 1);
    if (rows64 * 3 * stride64 * layout.elementBytes + 64 * static_cast<uint64_t>(layout.paddedWidth) >= uint64_t(1) << 31)
        return layout;
    layout.planeStride = static_cast<size_t>(stride64);
    layout.rowBytes = 3 * layout.planeStride * layout.elementBytes;
    layout.selectionWords = RoundUp64((static_cast<size_t>(layout.paddedWidth) / 64 + 1) * sizeof(uint64_t)) /
                            sizeof(uint64_t);
    layout.zeroRowOffset = layout.rowBytes * static_cast<size_t>(layout.ringSlots);
    // Separable plans prepare each source row's pairs in a scratch row before the first pass.
    layout.scratchOffset = plan.separable ? layout.zeroRowOffset + layout.rowBytes : 0;
    layout.selectionOffset = layout.zeroRowOffset + layout.rowBytes * (plan.separable ? 2 : 1);
    layout.totalBytes =
        layout.selectionOffset + layout.selectionWords * sizeof(uint64_t) * static_cast<size_t>(layout.outputs);
    layout.ok = true;
    return layout;
}

ConvolvePath SelectedConvolvePath()
{
    if (innermostGuard) return innermostGuard->Path();
    ConvolvePath wanted;
    if (!ParseConvolvePath(std::getenv("KCF_ENGINE"), wanted)) return BestConvolvePath();
    for (int i = static_cast<int>(wanted); i > 0; --i)
        if (CpuCanRun(static_cast<ConvolvePath>(i))) return static_cast<ConvolvePath>(i);
    return ConvolvePath::Reference;
}

ConvolveRunner::ConvolveRunner(const ConvolveFrame& frame, const ConvolveKernel& kernel)
    : frame_(frame), kernel_(kernel), guard_(innermostGuard)
{
    for (int& r : ringRows_) r = INT_MIN;
    for (bool& used : rowUsed_) used = false;
    const ConvolvePath path = SelectedConvolvePath();
    if (!Plan(path) || !TakeMemory()) {
        kernels_ = nullptr;  // the reference engine, which needs nothing
        return;
    }
    ClearRows();
    const uint64_t streamBytes = guard_ ? guard_->streamBytes_ : kStreamFrameBytesDefault;
    streamStores_ =
        static_cast<uint64_t>(frame.width) * static_cast<uint64_t>(frame.height) * sizeof(BMM_Color_64) >= streamBytes;
    run_.path = path;
    run_.tier = plan_->tier;
    run_.separable = plan_->separable;
    run_.sharedRows = layout_.outputs;
}

ConvolveRunner::~ConvolveRunner()
{
    RestoreRowsAhead();
    if (guard_) guard_->lastRun_ = run_;
}

// The plan, the instruction set's kernels and the layout; false where the reference must run.
bool ConvolveRunner::Plan(ConvolvePath path)
{
    kernels_ = KernelsFor(path);
    if (!kernels_ || !frame_.source || !frame_.work || frame_.height <= 0) return false;
    plan_.reset(new (std::nothrow) ConvolvePlan());
    if (!plan_ || !BuildConvolvePlan(kernel_, true, *plan_)) return false;
    layout_ = LayoutRunner(*plan_, frame_.width, kernels_->sharedRow ? kernels_->sharedRowCount : 1);
    return layout_.ok;
}

bool ConvolveRunner::TakeMemory()
{
    block_.reset(new (std::nothrow) AlignedBlock(layout_.totalBytes));
    if (!block_ || !block_->Data()) return false;
    unsigned char* block = block_->Data();
    ring_ = block;
    zeroRow_ = block + layout_.zeroRowOffset;
    if (layout_.scratchOffset) pairScratch_ = reinterpret_cast<int32_t*>(block + layout_.scratchOffset) + kRowPad;
    selected_ = reinterpret_cast<uint64_t*>(block + layout_.selectionOffset);
    return true;
}

// The zero row, the rows the taps read, and the selection of the whole-image mode.
void ConvolveRunner::ClearRows()
{
    const ConvolvePlan& plan = *plan_;
    // The zero row stands for the rows above and below the frame: pixels of value 0, which the
    // narrow dense path holds biased (-32768 in both halves of a pair) and the others as zeros.
    if (plan.tier == ConvolveTier::Narrow && !plan.separable) {
        int32_t* zero = reinterpret_cast<int32_t*>(zeroRow_);
        for (size_t i = 0; i < 3 * layout_.planeStride; ++i) zero[i] = static_cast<int32_t>(0x80008000u);
    } else {
        std::memset(zeroRow_, 0, layout_.rowBytes);
    }
    if (layout_.outputs > 1)
        for (bool& used : rowUsed_) used = true;
    else if (plan.tier == ConvolveTier::Wide)
        for (int t = 0; t < plan.wideTapCount; ++t) rowUsed_[plan.wideTaps[t].row] = true;
    else if (plan.separable)  // narrow
        for (int t = 0; t < plan.verticalTapCount; ++t) rowUsed_[plan.verticalTaps[t].row] = true;
    else
        for (int t = 0; t < plan.pairTapCount; ++t) rowUsed_[plan.pairTaps[t].row] = true;

    const size_t words = layout_.selectionWords;
    std::memset(selected_, 0, words * sizeof(uint64_t) * static_cast<size_t>(layout_.outputs));
    if (kernel_.maskId == -1)
        for (int o = 0; o < layout_.outputs; ++o) SelectEvery(selected_ + o * words, frame_.width, true);
}

void ConvolveRunner::RestoreRowsAhead()
{
    for (int y = aheadFirst_; y <= aheadLast_; ++y) {
        const size_t first = static_cast<size_t>(y) * static_cast<size_t>(frame_.width);
        std::memcpy(frame_.work + first, frame_.source + first, static_cast<size_t>(frame_.width) * sizeof(BMM_Color_64));
    }
    aheadFirst_ = 1;
    aheadLast_ = 0;
}

bool ConvolveRunner::SelectRow(int y, uint64_t* selected)
{
    const int width = frame_.width;
    const size_t first = static_cast<size_t>(y) * static_cast<size_t>(width);
    const int32_t mask = kernel_.maskId;
    const int words = (width + 63) / 64;
    // The same ids as MaskSelects reads; an id that the channel cannot hold selects nothing.
    const MaskIds ids = MaskIdsOf(frame_);
    if (ids.material && mask >= 0 && mask <= 255)
        kernels_->select8(selected, ids.material + first, width, static_cast<uint8_t>(mask));
    else if (ids.object && mask >= 0 && mask <= 65535)
        kernels_->select16(selected, ids.object + first, width, static_cast<uint16_t>(mask));
    else
        SelectEvery(selected, width, !ids.material && !ids.object && mask == 0);
    for (int w = 0; w < words; ++w)
        if (selected[w]) return true;
    return false;
}

const void* ConvolveRunner::PreparedRow(int r)
{
    const ConvolvePlan& plan = *plan_;
    const int slot = r % layout_.ringSlots;
    unsigned char* row = ring_ + layout_.rowBytes * static_cast<size_t>(slot) + kRowPad * layout_.elementBytes;
    if (ringRows_[slot] == r) return row;
    ringRows_[slot] = r;
    const BMM_Color_64* source = frame_.source + static_cast<size_t>(r) * static_cast<size_t>(frame_.width);
    const size_t stride = layout_.planeStride;
    const int padded = layout_.paddedWidth;
    if (plan.tier == ConvolveTier::Wide && plan.separable) {
        kernels_->preparePairs(pairScratch_, stride, source, frame_.width, padded);
        kernels_->horizontalWide(plan, reinterpret_cast<double*>(row), pairScratch_, stride, padded);
    } else if (plan.tier == ConvolveTier::Wide) {
        kernels_->prepareWide(reinterpret_cast<double*>(row), stride, source, frame_.width, padded);
    } else if (plan.separable) {
        kernels_->preparePairs(pairScratch_, stride, source, frame_.width, padded);
        kernels_->horizontal(plan, reinterpret_cast<int32_t*>(row), pairScratch_, stride, padded);
    } else {
        kernels_->preparePairs(reinterpret_cast<int32_t*>(row), stride, source, frame_.width, padded);
    }
    return row;
}

void ConvolveRunner::Row(int y)
{
    ++run_.rows;
    if (!kernels_) {
        ConvolveRowReference(frame_, kernel_, y);
        return;
    }
    if (y < 0 || y >= frame_.height) return;
    if (y >= aheadFirst_ && y <= aheadLast_) {  // computed with an earlier row, and already stored
        if (aheadSkipped_ >> (y - aheadBase_) & 1) ++run_.rowsSkipped;
        aheadFirst_ = y + 1;
        return;
    }
    RestoreRowsAhead();  // rows skipped over were never asked for

    const ConvolvePlan& plan = *plan_;
    const int shared = layout_.outputs;
    const size_t words = layout_.selectionWords;
    const int outputs = shared < frame_.height - y ? shared : frame_.height - y;
    unsigned skipped = 0;
    if (kernel_.maskId != -1)
        for (int o = 0; o < outputs; ++o)
            if (!SelectRow(y + o, selected_ + o * words)) skipped |= 1u << o;
    aheadBase_ = y;
    aheadFirst_ = y + 1;
    aheadLast_ = y + outputs - 1;
    aheadSkipped_ = skipped;
    if (skipped & 1) ++run_.rowsSkipped;
    if (skipped == (1u << outputs) - 1) return;  // nothing selected: no row is prepared

    const void* zero = zeroRow_ + kRowPad * layout_.elementBytes;
    RowJob job;
    job.planeStride = layout_.planeStride;
    job.outputs = outputs;
    const int inputs = plan.size + shared - 1;
    for (int j = 0; j < inputs; ++j) {
        const int r = y + j - plan.half;
        job.rows[j] = (shared > 1 || rowUsed_[j]) && r >= 0 && r < frame_.height ? PreparedRow(r) : zero;
    }
    for (int o = 0; o < kMaxSharedRows; ++o) {
        const size_t first = static_cast<size_t>(o < outputs ? y + o : y) * static_cast<size_t>(frame_.width);
        job.source[o] = frame_.source + first;
        job.work[o] = frame_.work + first;
        job.selected[o] = selected_ + (o < outputs ? o : 0) * words;
        // The rows the next job prepares: the window's next rows below this one's.
        const int upcoming = y + plan.half + shared + o;
        job.upcoming[o] = o < shared && upcoming < frame_.height && rowUsed_[plan.size - 1] &&
                                  ringRows_[upcoming % layout_.ringSlots] != upcoming
                              ? frame_.source + static_cast<size_t>(upcoming) * static_cast<size_t>(frame_.width)
                              : nullptr;
    }
    job.width = frame_.width;
    job.stream = streamStores_;
    if (shared > 1)
        kernels_->sharedRow(plan, job);
    else if (plan.tier == ConvolveTier::Wide)
        kernels_->wideRow(plan, job);  // dense, or the vertical pass of a separable plan
    else if (plan.separable)
        kernels_->separableRow(plan, job);
    else
        kernels_->denseRow(plan, job);
}
