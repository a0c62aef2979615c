// The fast engine's plan for one Convolve call: the kernel taken apart once (taps, tier, divisor
// kind, clamp bounds) and the row kernels that each instruction set provides for it.
//
// Tiers, by how large a sum can grow (|S| <= sum(|w|) * 65535):
//   Narrow  sum(|w|) <= 32767: pixels biased to signed 16 bits (p - 32768), 16-bit multiply-adds
//           into 32-bit lanes, one constant correction; every partial sum fits in 32 bits.
//           Also sum(|w|) <= 65537 with every |w| <= 32767: the lanes wrap, but S lies in a known
//           range of at most 2^32 values, so the lane (S modulo 2^32) still tells S exactly; such
//           a sum is finished in doubles (DivideKind::Window), or without negative weights and
//           with a power-of-two divisor by a logical shift (DivideKind::UnsignedShift).
//   Wide    sum(|w|) * 65535 < 2^53: sums in double lanes, where every such integer is exact.
//   Scalar  beyond that: the reference engine's 64-bit sums.
// This header is shared by baseline code and by the files built for wider instruction sets, so it
// holds data and declarations only: no inline code that either side would instantiate.
#pragma once

#include "ConvolveEngine.h"

#include <cstddef>
#include <cstdint>

enum class ConvolveTier { Narrow, Wide, Scalar };

// How a 32-bit sum becomes a quotient; each gives exactly the truncating division, and none
// divides: the reciprocal kinds multiply by 1/d made a few units in the last place larger in
// magnitude (see NudgedReciprocal), which truncates exactly while |sum| stays within the bound.
enum class DivideKind {
    None,             // divisor 0 or 1
    Negate,           // divisor -1
    Shift,            // divisor 2^k, k in 1..30
    NegShift,         // divisor -2^k, k in 1..31 (INT32_MIN included)
    ReciprocalFloat,  // |sum| < 2^21: single precision
    ReciprocalDouble, // every other divisor (|sum| < 2^31 <= 2^48): double precision, or where the
                      // instruction set multiplies 32 x 32 -> 64 bits, the magnitudes by `magic`
    Window,           // S beyond 32 bits: S = (lane - windowBias as a signed lane) + windowBase,
                      // then divided, offset and clamped in doubles as the wide tier does
    UnsignedShift,    // divisor 2^k and no negative weight: 0 <= S < 2^32 is the lane read as
                      // unsigned (in the Window range too), and q = S >> k with a logical shift
};

// How the wide tier's double sum becomes a quotient before the truncation.
enum class WideDivide {
    None,      // divisor 0 or 1
    Multiply,  // by wideFactor: 1/d exactly for d = +-2^k (and -1), else the nudged reciprocal
               // while |sum| <= 2^48
    Divide,    // larger sums with a divisor that is no power of two: a true division
};

// Bounds on |sum| under which the nudged reciprocal of each precision truncates exactly.
constexpr int64_t kFloatReciprocalLimit = (int64_t(1) << 21) - 1;
constexpr int64_t kDoubleReciprocalLimit = int64_t(1) << 48;

// 1/d rounded, then moved three units in the last place away from zero. For every integer S with
// |S| <= the precision's limit above, trunc(S * NudgedReciprocal(d)) == trunc(S / d) exactly: the
// product exceeds |S/d| (so exact quotients do not fall short), by at most |S| * (2^-21 + 2^-45) / |d|
// (float) or |S| * 2^-50 / |d| (double), which is below 1/|d|, the least distance from an inexact
// quotient to the next integer. The float bound is also checked exhaustively by a test; it fails
// first at |S| = 3040871, d = 3.
// Both, and ExactReciprocal (1/d rounded to nearest), are built from integers alone: the same
// bits under any x87 precision or rounding mode the host has set.
double NudgedReciprocal(int64_t d);
float NudgedReciprocalFloat(int64_t d);
double ExactReciprocal(int64_t d);

constexpr int kMaxKernelSize = 9;
// Entries of padding left and right of every prepared row: 64 bytes of 32-bit entries, so that
// entry 0 of every plane starts a cache line and loads at offset 0 never cross one.
constexpr int kRowPad = 16;
constexpr int kChunkPixels = 32;  // prepared rows are padded to a multiple of this, the widest chunk
constexpr int kMaxPairTaps = kMaxKernelSize * ((kMaxKernelSize + 1) / 2);
constexpr int kMaxWideTaps = kMaxKernelSize * kMaxKernelSize;
constexpr int kMaxRowPairs = (kMaxKernelSize + 1) / 2;
// The most output rows one pass of a row kernel computes: each loaded vector of a prepared row
// feeds every output row whose window holds that row.
constexpr int kMaxSharedRows = 6;
constexpr int kMaxJobRows = kMaxKernelSize + kMaxSharedRows - 1;

// Prepared rows are planar: a plane of r, then g, then b, each planeStride entries apart.
// Narrow tier: entry x of a plane holds the channel of pixels x and x+1, biased to signed 16 bits
// (q = p - 32768), in the low and high half of a 32-bit lane; a 16-bit multiply-add against the
// pair of weights (w0, w1) yields w0*q(x) + w1*q(x+1). Separable narrow path: the ring holds each
// row's horizontal sums, one int32 a pixel and channel. Wide tier: one double a pixel and channel.

// A pair of horizontally adjacent weights of one kernel row.
struct PairTap {
    int32_t pattern;  // w0 in the low 16 bits, w1 in the high 16 bits
    int row;          // kernel row 0 .. size-1
    int offset;       // column of w0 relative to the output pixel: -half .. half
};

struct WideTap {
    double weight;
    int row;
    int offset;
};

struct VerticalTap {
    int32_t weight;
    int row;
};

struct ConvolvePlan {
    ConvolveTier tier = ConvolveTier::Scalar;
    // Rank-1 kernels in two passes: the horizontal factor as pair taps on each source row (its sums
    // exact in 32 bits), then the vertical factor over those rows: verticalTaps in 32-bit lanes in
    // the narrow tier, wideTaps (offset 0) in doubles in the wide tier.
    bool separable = false;
    int size = 0;
    int half = 0;

    // Narrow tier, and the first pass of every separable plan. Dense: pairTaps span every kernel
    // row. Separable: pairTaps hold the horizontal factor (row 0).
    int pairTapCount = 0;
    PairTap pairTaps[kMaxPairTaps];
    int verticalTapCount = 0;
    VerticalTap verticalTaps[kMaxKernelSize];
    int32_t rowCorrection = 0;  // separable: 32768 * sum of the horizontal factor
    // Narrow dense plans: the pair of columns 2k, 2k + 1 of kernel row m as one pattern (0 where
    // both weights are 0), for the row kernels that run several output rows at once; worth it
    // when most pairs are non-zero (sharedRows).
    int32_t pairGrid[kMaxKernelSize][kMaxRowPairs] = {};
    bool sharedRows = false;

    // Wide tier: every non-zero weight, or the vertical factor of a separable plan.
    int wideTapCount = 0;
    WideTap wideTaps[kMaxWideTaps];

    // Finishing, narrow tier: the sum is S = acc + bias for the 32-bit lane value acc; q is S
    // divided as `divide` says; the result is q + offset saturated to 0 .. 65535, which equals the
    // clamped q + the caller's offset. The offset is bounded so that q + offset fits 32 bits when
    // |divisor| >= 2; for divisors 0, 1 and -1 q is first clamped to quotientLow .. quotientHigh.
    int32_t bias = 0;
    DivideKind divide = DivideKind::None;
    int shift = 0;
    float reciprocalFloat = 1;  // ReciprocalFloat
    double reciprocal = 1;      // ReciprocalDouble
    // ReciprocalDouble by multiplication: |q| = floor(|S| * magic / 2^magicShift), with
    // magicShift = 31 + ceil(log2 |d|) and magic = ceil(2^magicShift / |d|), below 2^32 as |d| is
    // no power of two. The product exceeds |S| / |d| by |S| * (magic * |d| - 2^magicShift) /
    // (|d| * 2^magicShift), which is below 1 / |d| because |S| < 2^31 and magic * |d| -
    // 2^magicShift < |d| <= 2^(magicShift - 31); so the floor is exact, and q takes the sign of S / d.
    uint32_t magic = 0;
    int magicShift = 0;
    // Window: the least sum L plus 2^31, modulo 2^32 and as a double, so that the lane minus
    // windowBias, read as signed, is S - L - 2^31, which lies in -2^31 .. 2^31 - 1.
    int32_t windowBias = 0;
    double windowBase = 0;
    int32_t quotientLow = 0, quotientHigh = 0, offset = 0;
    // Wide tier: v = min(max(trunc(S * wideFactor or S / divisor) + offset, 0), 65535), in doubles.
    WideDivide wideDivide = WideDivide::None;
    double wideFactor = 1;
    double divisor = 1;
    double wideOffset = 0;
    uint16_t invertMask = 0;  // 0xFFFF when the result is inverted, else 0
};

// Where the row kernels find the inputs of one or more consecutive output rows (outputs; more
// than one only for sharedRows kernels). Rows are the prepared rows of the ring, rows[j] the
// source row y - half + j for the first output row y (the zero row stands in above and below the
// frame); each points at pixel 0 of the row, with kRowPad entries of padding before it.
struct RowJob {
    const void* rows[kMaxJobRows];
    size_t planeStride;  // entries from one channel's plane to the next
    int outputs;         // output rows: 1 .. the kernel's sharedRowCount
    const BMM_Color_64* source[kMaxSharedRows];  // each output row in the source copy, for alpha
    BMM_Color_64* work[kMaxSharedRows];          // each output row in the work buffer
    const uint64_t* selected[kMaxSharedRows];    // one bit per pixel: compute and store it
    int width;
    // Source rows that the next job will prepare, or null: fetched into the cache while this job
    // computes, so that their memory latency overlaps the arithmetic.
    const BMM_Color_64* upcoming[kMaxSharedRows];
    // Whole aligned stores may bypass the cache: the work buffer is not read again before the
    // write-back, and the frame is too large for the cache to keep it until then.
    bool stream;
};

// The row kernels of one instruction set.
struct ConvolveKernels {
    // Prepares one source row into planes: entries -kRowPad .. paddedWidth + kRowPad - 1, zero
    // pixels outside the row.
    void (*preparePairs)(int32_t* out, size_t planeStride, const BMM_Color_64* row, int width, int paddedWidth);
    void (*prepareWide)(double* out, size_t planeStride, const BMM_Color_64* row, int width, int paddedWidth);
    // Separable paths: the horizontal pass of one prepared row (entries 0 .. paddedWidth - 1), in
    // 32-bit lanes or converted to doubles; pairs and out have the same plane stride.
    void (*horizontal)(const ConvolvePlan& plan, int32_t* out, const int32_t* pairs, size_t planeStride, int paddedWidth);
    void (*horizontalWide)(const ConvolvePlan& plan, double* out, const int32_t* pairs, size_t planeStride,
                           int paddedWidth);
    void (*denseRow)(const ConvolvePlan& plan, const RowJob& job);
    // Narrow dense plans with sharedRows: up to sharedRowCount output rows a call; null (and a
    // count of 1) where the registers do not allow more than one row.
    void (*sharedRow)(const ConvolvePlan& plan, const RowJob& job);
    int sharedRowCount;
    void (*separableRow)(const ConvolvePlan& plan, const RowJob& job);
    void (*wideRow)(const ConvolvePlan& plan, const RowJob& job);
    // Mask selection: bit x of words is set when ids[x] == value, for x < width (8- or 16-bit ids).
    void (*select8)(uint64_t* words, const uint8_t* ids, int width, uint8_t value);
    void (*select16)(uint64_t* words, const uint16_t* ids, int width, uint16_t value);
};

// Builds the plan; false when the kernel is not one the fast engine takes (then the reference runs).
bool BuildConvolvePlan(const ConvolveKernel& kernel, bool allowSeparable, ConvolvePlan& plan);

// Integer factors of a rank-1 kernel: weights[m][n] == column[m] * row[n]. False when it has none.
bool FactorRankOne(const int32_t* weights, int size, int32_t* column, int32_t* row);

// The row kernels each instruction set file provides.
const ConvolveKernels& Sse2Kernels();
const ConvolveKernels& Avx2Kernels();
const ConvolveKernels& Avx512Kernels();
const ConvolveKernels& Avx512VnniKernels();
