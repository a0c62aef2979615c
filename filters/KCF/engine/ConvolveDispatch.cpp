// Run-time choice of the engine's code path, and the runner that feeds one Convolve call's rows
// through it: prepared source rows in a ring, the mask as selection bits, the reference as fallback.
#include "ConvolveDispatch.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const char* const kPathNames[kConvolvePathCount] = {"reference", "sse2", "avx2", "avx512", "avx512vnni"};

bool forced = false;
ConvolvePath forcedPath = ConvolvePath::Reference;
ConvolveRun lastRun;

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

// A block of at least bytes, its start aligned to 64 bytes; the original pointer goes to base.
void* AlignedBlock(size_t bytes, void*& base)
{
    base = std::malloc(bytes + 64);
    if (!base) return nullptr;
    const uintptr_t address = reinterpret_cast<uintptr_t>(base);
    return reinterpret_cast<void*>((address + 63) & ~uintptr_t(63));
}

size_t RoundUp64(size_t bytes) { return (bytes + 63) & ~size_t(63); }

constexpr uint64_t kStreamFrameBytesDefault = 8u << 20;
uint64_t streamFrameBytes = kStreamFrameBytesDefault;

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

bool ForceConvolvePath(ConvolvePath path)
{
    if (!CpuCanRun(path)) return false;
    forced = true;
    forcedPath = path;
    return true;
}

void ClearForcedConvolvePath() { forced = false; }

void SetConvolveStreamBytes(uint64_t bytes) { streamFrameBytes = bytes ? bytes : kStreamFrameBytesDefault; }

ConvolvePath SelectedConvolvePath()
{
    if (forced) return forcedPath;
    ConvolvePath wanted;
    if (!ParseConvolvePath(std::getenv("KCF_ENGINE"), wanted)) return BestConvolvePath();
    for (int i = static_cast<int>(wanted); i > 0; --i)
        if (CpuCanRun(static_cast<ConvolvePath>(i))) return static_cast<ConvolvePath>(i);
    return ConvolvePath::Reference;
}

ConvolveRun LastConvolveRun() { return lastRun; }

ConvolveRunner::ConvolveRunner(const ConvolveFrame& frame, const ConvolveKernel& kernel) : frame_(frame), kernel_(kernel)
{
    const ConvolvePath path = SelectedConvolvePath();
    lastRun = ConvolveRun{};
    for (int& r : ringRows_) r = INT_MIN;
    for (bool& used : rowUsed_) used = false;

    const ConvolveKernels* kernels = KernelsFor(path);
    // Rows of up to 2^24 pixels keep every size below well inside size_t on 32-bit builds.
    if (!kernels || !frame.source || !frame.work || frame.width <= 0 || frame.height <= 0 || frame.width > (1 << 24))
        return;

    void* planBase = nullptr;
    plan_ = static_cast<ConvolvePlan*>(AlignedBlock(sizeof(ConvolvePlan), planBase));
    if (!plan_) return;
    new (plan_) ConvolvePlan();
    if (!BuildConvolvePlan(kernel, true, *plan_) || plan_->tier == ConvolveTier::Scalar) {
        std::free(planBase);
        plan_ = nullptr;
        return;
    }

    const ConvolvePlan& plan = *plan_;
    const bool wide = plan.tier == ConvolveTier::Wide;
    const bool shared = plan.tier == ConvolveTier::Narrow && plan.sharedRows && kernels->sharedRow;
    outputs_ = shared ? kernels->sharedRowCount : 1;
    ringSlots_ = plan.size + outputs_ - 1;
    elementBytes_ = wide ? sizeof(double) : sizeof(int32_t);
    paddedWidth_ = (frame.width + kChunkPixels - 1) / kChunkPixels * kChunkPixels;
    // Three planes a row, each starting on a 64-byte boundary.
    planeStride_ = RoundUp64(static_cast<size_t>(paddedWidth_ + 2 * kRowPad) * elementBytes_) / elementBytes_;
    rowBytes_ = 3 * planeStride_ * elementBytes_;
    selectionWords_ = RoundUp64((static_cast<size_t>(paddedWidth_) / 64 + 1) * sizeof(uint64_t)) / sizeof(uint64_t);
    const size_t selectionBytes = selectionWords_ * sizeof(uint64_t) * static_cast<size_t>(outputs_);
    const size_t ringBytes = rowBytes_ * static_cast<size_t>(ringSlots_);
    // Separable plans prepare each source row's pairs in one scratch row before the first pass.
    const size_t total = ringBytes + rowBytes_ * (plan.separable ? 2 : 1) + selectionBytes;
    unsigned char* block = static_cast<unsigned char*>(AlignedBlock(total, block_));
    if (!block) {
        std::free(planBase);
        plan_ = nullptr;
        return;
    }
    // The plan sits at the front of its own block; keep that block's base beside the rows'.
    planBase_ = planBase;
    ring_ = block;
    zeroRow_ = block + ringBytes;
    if (plan.separable) pairScratch_ = reinterpret_cast<int32_t*>(zeroRow_ + rowBytes_) + kRowPad;
    selected_ = reinterpret_cast<uint64_t*>(zeroRow_ + rowBytes_ * (plan.separable ? 2 : 1));

    // The zero row stands for the rows above and below the frame: pixels of value 0, which the
    // narrow dense path holds biased (-32768 in both halves of a pair) and the others as zeros.
    if (plan.tier == ConvolveTier::Narrow && !plan.separable) {
        int32_t* zero = reinterpret_cast<int32_t*>(zeroRow_);
        for (size_t i = 0; i < 3 * planeStride_; ++i) zero[i] = static_cast<int32_t>(0x80008000u);
    } else {
        std::memset(zeroRow_, 0, rowBytes_);
    }
    if (shared)
        for (bool& used : rowUsed_) used = true;
    else if (plan.tier == ConvolveTier::Wide)
        for (int t = 0; t < plan.wideTapCount; ++t) rowUsed_[plan.wideTaps[t].row] = true;
    else if (plan.separable)  // narrow
        for (int t = 0; t < plan.verticalTapCount; ++t) rowUsed_[plan.verticalTaps[t].row] = true;
    else
        for (int t = 0; t < plan.pairTapCount; ++t) rowUsed_[plan.pairTaps[t].row] = true;

    std::memset(selected_, 0, selectionBytes);
    if (kernel.maskId == -1)
        for (int o = 0; o < outputs_; ++o)
            for (int x = 0; x < frame.width; ++x) selected_[o * selectionWords_ + (x >> 6)] |= uint64_t(1) << (x & 63);

    // Streaming pays once the two frame copies outgrow a typical last-level cache.
    streamStores_ = static_cast<uint64_t>(frame.width) * static_cast<uint64_t>(frame.height) * sizeof(BMM_Color_64) >=
                    streamFrameBytes;
    kernels_ = kernels;
    lastRun.path = path;
    lastRun.tier = plan.tier;
    lastRun.separable = plan.separable;
}

ConvolveRunner::~ConvolveRunner()
{
    RestoreRowsAhead();
    std::free(block_);
    std::free(planBase_);
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
    const uint32_t channels = frame_.requestedChannels;
    const int32_t mask = kernel_.maskId;
    const int words = (width + 63) / 64;
    // An id that the channel cannot hold selects nothing; a missing array or channel means id 0.
    if (channels & GB_CHAN_MTL_EFFECTS && frame_.materialChannel && mask >= 0 && mask <= 255)
        kernels_->select8(selected, frame_.materialChannel + first, width, static_cast<uint8_t>(mask));
    else if (!(channels & GB_CHAN_MTL_EFFECTS) && channels & GB_CHAN_OBJECT && frame_.objectChannel && mask >= 0 &&
             mask <= 65535)
        kernels_->select16(selected, frame_.objectChannel + first, width, static_cast<uint16_t>(mask));
    else {
        const bool idZero = !(channels & GB_CHAN_MTL_EFFECTS ? frame_.materialChannel != nullptr
                              : channels & GB_CHAN_OBJECT    ? frame_.objectChannel != nullptr
                                                             : false);
        for (int w = 0; w < words; ++w) {
            const int count = width - 64 * w < 64 ? width - 64 * w : 64;
            selected[w] = idZero && mask == 0 ? (count == 64 ? ~uint64_t(0) : (uint64_t(1) << count) - 1) : 0;
        }
    }
    for (int w = 0; w < words; ++w)
        if (selected[w]) return true;
    return false;
}

const void* ConvolveRunner::PreparedRow(int r)
{
    const ConvolvePlan& plan = *plan_;
    const int slot = r % ringSlots_;
    unsigned char* row = ring_ + rowBytes_ * static_cast<size_t>(slot) + kRowPad * elementBytes_;
    if (ringRows_[slot] == r) return row;
    ringRows_[slot] = r;
    const BMM_Color_64* source = frame_.source + static_cast<size_t>(r) * static_cast<size_t>(frame_.width);
    if (plan.tier == ConvolveTier::Wide && plan.separable) {
        kernels_->preparePairs(pairScratch_, planeStride_, source, frame_.width, paddedWidth_);
        kernels_->horizontalWide(plan, reinterpret_cast<double*>(row), pairScratch_, planeStride_, paddedWidth_);
    } else if (plan.tier == ConvolveTier::Wide) {
        kernels_->prepareWide(reinterpret_cast<double*>(row), planeStride_, source, frame_.width, paddedWidth_);
    } else if (plan.separable) {
        kernels_->preparePairs(pairScratch_, planeStride_, source, frame_.width, paddedWidth_);
        kernels_->horizontal(plan, reinterpret_cast<int32_t*>(row), pairScratch_, planeStride_, paddedWidth_);
    } else {
        kernels_->preparePairs(reinterpret_cast<int32_t*>(row), planeStride_, source, frame_.width, paddedWidth_);
    }
    return row;
}

void ConvolveRunner::Row(int y)
{
    ++lastRun.rows;
    if (!kernels_) {
        ConvolveRowReference(frame_, kernel_, y);
        return;
    }
    if (y < 0 || y >= frame_.height) return;
    if (y >= aheadFirst_ && y <= aheadLast_) {  // computed with an earlier row, and already stored
        if (aheadSkipped_ >> (y - aheadBase_) & 1) ++lastRun.rowsSkipped;
        aheadFirst_ = y + 1;
        return;
    }
    RestoreRowsAhead();  // rows skipped over were never asked for

    const ConvolvePlan& plan = *plan_;
    const int outputs = outputs_ < frame_.height - y ? outputs_ : frame_.height - y;
    unsigned skipped = 0;
    if (kernel_.maskId != -1)
        for (int o = 0; o < outputs; ++o)
            if (!SelectRow(y + o, selected_ + o * selectionWords_)) skipped |= 1u << o;
    aheadBase_ = y;
    aheadFirst_ = y + 1;
    aheadLast_ = y + outputs - 1;
    aheadSkipped_ = skipped;
    if (skipped & 1) ++lastRun.rowsSkipped;
    if (skipped == (1u << outputs) - 1) return;  // nothing selected: no row is prepared

    const void* zero = zeroRow_ + kRowPad * elementBytes_;
    RowJob job;
    job.planeStride = planeStride_;
    job.outputs = outputs;
    const int inputs = plan.size + outputs_ - 1;
    for (int j = 0; j < inputs; ++j) {
        const int r = y + j - plan.half;
        job.rows[j] = (outputs_ > 1 || rowUsed_[j]) && r >= 0 && r < frame_.height ? PreparedRow(r) : zero;
    }
    for (int o = 0; o < kMaxSharedRows; ++o) {
        const size_t first = static_cast<size_t>(o < outputs ? y + o : y) * static_cast<size_t>(frame_.width);
        job.source[o] = frame_.source + first;
        job.work[o] = frame_.work + first;
        job.selected[o] = selected_ + (o < outputs ? o : 0) * selectionWords_;
        // The rows the next job prepares: the window's next outputs_ rows below this one's.
        const int upcoming = y + plan.half + outputs_ + o;
        job.upcoming[o] = o < outputs_ && upcoming < frame_.height && rowUsed_[plan.size - 1] &&
                                  ringRows_[upcoming % ringSlots_] != upcoming
                              ? frame_.source + static_cast<size_t>(upcoming) * static_cast<size_t>(frame_.width)
                              : nullptr;
    }
    job.width = frame_.width;
    job.stream = streamStores_;
    if (outputs_ > 1)
        kernels_->sharedRow(plan, job);
    else if (plan.tier == ConvolveTier::Wide)
        kernels_->wideRow(plan, job);  // dense, or the vertical pass of a separable plan
    else if (plan.separable)
        kernels_->separableRow(plan, job);
    else
        kernels_->denseRow(plan, job);
}
