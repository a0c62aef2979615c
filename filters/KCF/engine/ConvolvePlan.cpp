// Takes one kernel apart for the fast engine: tier, taps, divisor kind and clamp bounds.
#include "ConvolvePlan.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>

namespace {

constexpr int64_t kNarrowWeightSum = 32767;         // sum(|w|) * 32768 and * 65535 stay below 2^31
// sum(|w|) * 65535 <= 2^32 - 1: S takes at most 2^32 values, so S modulo 2^32 tells S.
constexpr int64_t kWindowWeightSum = ((int64_t(1) << 32) - 1) / 65535;
constexpr int64_t kQuotientBound = (int64_t(1) << 30) - (int64_t(1) << 15);  // see PlanFinish
constexpr int32_t kPairWeightMax = 32767;           // a weight of a 16-bit pair pattern
constexpr int64_t kWideSumLimit = int64_t(1) << 53;  // doubles hold every integer below this

// Covers the non-zero weights of one kernel row with pairs of adjacent columns, left to right.
void AddPairTaps(ConvolvePlan& plan, const int32_t* rowWeights, int size, int row)
{
    for (int n = 0; n < size;) {
        if (rowWeights[n] == 0) {
            ++n;
            continue;
        }
        PairTap& tap = plan.pairTaps[plan.pairTapCount++];
        // Both weights are within +-32767 here (every narrow weight is, and so is each entry of a
        // row factor, which divides a weight), so each fits 16 bits.
        const uint32_t w0 = static_cast<uint16_t>(rowWeights[n]);
        const uint32_t w1 = static_cast<uint16_t>(n + 1 < size ? rowWeights[n + 1] : 0);
        tap.pattern = static_cast<int32_t>(w0 | w1 << 16);
        tap.row = row;
        tap.offset = n - plan.half;
        n += 2;
    }
}

// A power of two 2^k with k in 1..31, or 0.
int PowerOfTwoShift(int64_t value)
{
    if (value < 2 || value > (int64_t(1) << 31) || (value & (value - 1)) != 0) return 0;
    int k = 0;
    while ((int64_t(1) << k) != value) ++k;
    return k;
}

void PlanFinish(ConvolvePlan& plan, const ConvolveKernel& kernel, int64_t absSum, int64_t negativeSum)
{
    const int64_t d = kernel.divisor;
    const int64_t magnitude = d < 0 ? -d : d;
    // |S| and |q| are at most maxSum.
    const int64_t maxSum = absSum * 65535;
    plan.invertMask = kernel.invert == 1 ? 0xFFFF : 0;
    plan.divisor = static_cast<double>(d == 0 ? 1 : d);
    const int magnitudeShift = PowerOfTwoShift(magnitude);
    if (d == 0 || d == 1) {
        plan.wideDivide = WideDivide::None;
    } else if (d == -1 || magnitudeShift) {
        plan.wideDivide = WideDivide::Multiply;  // 1/d is a power of two: the product is exact
        plan.wideFactor = ExactReciprocal(d);
    } else if (maxSum <= kDoubleReciprocalLimit) {
        plan.wideDivide = WideDivide::Multiply;
        plan.wideFactor = NudgedReciprocal(d);
    } else {
        plan.wideDivide = WideDivide::Divide;
    }
    plan.wideOffset = static_cast<double>(kernel.offset);
    if (plan.tier != ConvolveTier::Narrow) return;
    // |q| <= maxQuotient. Below kQuotientBound, q + offset fits 32 bits with the offset bounded as
    // below; so a sum that is never negative divides by 2^k with a logical shift, also where it
    // reaches past 2^31 (the Window range: the lane read as unsigned is S itself).
    const int64_t maxQuotient = magnitude > 1 ? maxSum / magnitude : maxSum;
    const bool unsignedShift = negativeSum == 0 && d > 0 && magnitudeShift && maxQuotient < kQuotientBound;
    if (absSum > kNarrowWeightSum && !unsignedShift) {  // sums beyond 32 bits: finished in doubles
        const int64_t base = negativeSum * 65535 + (int64_t(1) << 31);
        plan.divide = DivideKind::Window;
        plan.windowBias = static_cast<int32_t>(static_cast<uint32_t>(base));
        plan.windowBase = static_cast<double>(base);
        return;
    }

    // An offset beyond +-(maxQuotient + 65536) decides the result alone. Kept within that, q +
    // offset cannot overflow 32 bits once |d| >= 2 (in the narrow range maxQuotient < 2^30 - 2^15
    // then): the quotient kinds skip the clamp and the store saturates q + offset instead.
    int64_t offset = kernel.offset;
    if (offset < -maxQuotient - 1) offset = -maxQuotient - 1;
    if (offset > maxQuotient + 65536) offset = maxQuotient + 65536;
    plan.offset = static_cast<int32_t>(offset);
    plan.quotientLow = static_cast<int32_t>(-offset);
    plan.quotientHigh = static_cast<int32_t>(65535 - offset);

    if (d == 0 || d == 1) {
        plan.divide = DivideKind::None;
    } else if (d == -1) {
        plan.divide = DivideKind::Negate;
    } else if (unsignedShift) {
        plan.divide = DivideKind::UnsignedShift;
        plan.shift = magnitudeShift;
    } else if (magnitudeShift) {  // 2^1 .. 2^30, or -2^1 .. -2^31
        plan.divide = d > 0 ? DivideKind::Shift : DivideKind::NegShift;
        plan.shift = magnitudeShift;
    } else if (maxSum <= kFloatReciprocalLimit) {
        plan.divide = DivideKind::ReciprocalFloat;
        plan.reciprocalFloat = NudgedReciprocalFloat(d);
    } else {
        plan.divide = DivideKind::ReciprocalDouble;
        plan.reciprocal = NudgedReciprocal(d);
        int ceilLog2 = 0;
        while ((int64_t(1) << ceilLog2) < magnitude) ++ceilLog2;
        plan.magicShift = 31 + ceilLog2;
        plan.magic = static_cast<uint32_t>(((uint64_t(1) << plan.magicShift) + uint64_t(magnitude) - 1) /
                                           uint64_t(magnitude));
    }
}

}  // namespace

namespace {

// 1/d for |d| >= 1, rounded to nearest (ties to even) to `bits` significant bits: the sign, the
// exponent e and the significand q, 2^(bits-1) <= q < 2^bits, of (-1)^sign * q * 2^(e - bits + 1).
// Integer long division only: the plan is built on the host's thread, whose x87 precision and
// rounding mode the host owns, and its reciprocals must be the same bits under any of them.
struct Rounded {
    bool negative;
    int exponent;
    uint64_t significand;
};

Rounded RoundedReciprocal(int64_t d, int bits)
{
    const uint64_t m = static_cast<uint64_t>(d < 0 ? -d : d);
    int log2 = 0;  // 2^log2 <= m < 2^(log2 + 1)
    while ((m >> (log2 + 1)) != 0) ++log2;
    // q = floor(2^(log2 + bits) / m), in (2^(bits-1), 2^bits], and r the remainder, a bit at a time.
    uint64_t q = 0, r = 1;
    for (int i = 0; i < log2 + bits; ++i) {
        q = 2 * q + (r >= m ? 1 : 0);
        if (r >= m) r -= m;
        r *= 2;
    }
    q = 2 * q + (r >= m ? 1 : 0);
    if (r >= m) r -= m;
    if (2 * r > m || (2 * r == m && (q & 1) != 0)) ++q;
    int exponent = -log2 - 1;
    if (q == uint64_t(1) << bits) {  // 1/m is a power of two, or rounded up to one
        q >>= 1;
        ++exponent;
    }
    return {d < 0, exponent, q};
}

// Rounds to nearest (ties to even) to fewer bits, as converting the wider value does.
Rounded Narrowed(Rounded wide, int wideBits, int bits)
{
    const int drop = wideBits - bits;
    const uint64_t half = uint64_t(1) << (drop - 1);
    const uint64_t low = wide.significand & ((uint64_t(1) << drop) - 1);
    uint64_t q = wide.significand >> drop;
    if (low > half || (low == half && (q & 1) != 0)) ++q;
    if (q == uint64_t(1) << bits) {
        q >>= 1;
        ++wide.exponent;
    }
    return {wide.negative, wide.exponent, q};
}

// The value's IEEE bits, plus nudge units in the last place (a carry moves into the exponent).
double DoubleOf(Rounded v, uint64_t nudge)
{
    const uint64_t bits = ((uint64_t(v.negative) << 63) | (uint64_t(1023 + v.exponent) << 52) |
                           (v.significand - (uint64_t(1) << 52))) +
                          nudge;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

float FloatOf(Rounded v, uint32_t nudge)
{
    const uint32_t bits = ((uint32_t(v.negative) << 31) | (uint32_t(127 + v.exponent) << 23) |
                           static_cast<uint32_t>(v.significand - (uint64_t(1) << 23))) +
                          nudge;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

constexpr int kDoubleBits = 53;
constexpr int kFloatBits = 24;
// Three units in the last place larger in magnitude: whatever the sign, adding to the bits grows
// the magnitude.
constexpr int kNudge = 3;

}  // namespace

double ExactReciprocal(int64_t d) { return DoubleOf(RoundedReciprocal(d, kDoubleBits), 0); }

double NudgedReciprocal(int64_t d) { return DoubleOf(RoundedReciprocal(d, kDoubleBits), kNudge); }

// 1/d rounded to a double first, then to a float, as (float)(1.0 / d) computes it in SSE.
float NudgedReciprocalFloat(int64_t d)
{
    return FloatOf(Narrowed(RoundedReciprocal(d, kDoubleBits), kDoubleBits, kFloatBits), kNudge);
}

bool FactorRankOne(const int32_t* weights, int size, int32_t* column, int32_t* row)
{
    int firstRow = -1;
    for (int i = 0; i < size * size && firstRow < 0; ++i)
        if (weights[i] != 0) firstRow = i / size;
    if (firstRow < 0) return false;

    // The row factor: the first non-zero row over the gcd of its entries, its first entry positive.
    const int32_t* base = weights + firstRow * size;
    int64_t divisor = 0;
    int firstColumn = -1;
    for (int n = 0; n < size; ++n) {
        divisor = std::gcd(divisor, std::llabs(static_cast<int64_t>(base[n])));
        if (firstColumn < 0 && base[n] != 0) firstColumn = n;
    }
    if (base[firstColumn] < 0) divisor = -divisor;
    for (int n = 0; n < size; ++n) {
        const int64_t value = base[n] / divisor;
        if (value > INT32_MAX || value < INT32_MIN) return false;
        row[n] = static_cast<int32_t>(value);
    }
    // With a primitive row factor every rank-1 row is an integer multiple of it.
    for (int m = 0; m < size; ++m) {
        const int32_t* w = weights + m * size;
        if (w[firstColumn] % row[firstColumn] != 0) return false;
        column[m] = w[firstColumn] / row[firstColumn];
        for (int n = 0; n < size; ++n)
            if (static_cast<int64_t>(column[m]) * row[n] != w[n]) return false;
    }
    return true;
}

bool BuildConvolvePlan(const ConvolveKernel& kernel, bool allowSeparable, ConvolvePlan& plan)
{
    if (!IsKernelSize(kernel.size) || !kernel.weights) return false;
    plan = ConvolvePlan{};
    plan.size = kernel.size;
    plan.half = kernel.size / 2;
    const int cells = kernel.size * kernel.size;

    int64_t absSum = 0, sum = 0, negativeSum = 0, largest = 0;
    for (int i = 0; i < cells; ++i) {
        const int64_t w = kernel.weights[i];
        absSum += std::llabs(w);
        sum += w;
        negativeSum += w < 0 ? w : 0;
        largest = std::max<int64_t>(largest, std::llabs(w));
    }
    if (absSum <= kNarrowWeightSum || (absSum <= kWindowWeightSum && largest <= kPairWeightMax))
        plan.tier = ConvolveTier::Narrow;
    else if (absSum * 65535 < kWideSumLimit)  // absSum <= 81 * 2^31: no 64-bit overflow
        plan.tier = ConvolveTier::Wide;
    else
        plan.tier = ConvolveTier::Scalar;

    int32_t column[kMaxKernelSize], row[kMaxKernelSize];
    const bool rankOne = allowSeparable && plan.tier != ConvolveTier::Scalar &&
                         FactorRankOne(kernel.weights, kernel.size, column, row);
    int64_t rowAbsSum = 0, rowSum = 0;
    if (rankOne)
        for (int n = 0; n < kernel.size; ++n) {
            rowAbsSum += std::llabs(static_cast<int64_t>(row[n]));
            rowSum += row[n];
        }

    if (plan.tier == ConvolveTier::Narrow) {
        for (int m = 0; m < kernel.size; ++m) AddPairTaps(plan, kernel.weights + m * kernel.size, kernel.size, m);
        plan.bias = static_cast<int32_t>(static_cast<uint32_t>(sum * 32768));  // modulo 2^32
        const int rowPairs = (kernel.size + 1) / 2;
        for (int m = 0; m < kernel.size; ++m)
            for (int k = 0; k < rowPairs; ++k) {
                const int32_t* w = kernel.weights + m * kernel.size + 2 * k;
                const uint32_t w0 = static_cast<uint16_t>(w[0]);
                const uint32_t w1 = static_cast<uint16_t>(2 * k + 1 < kernel.size ? w[1] : 0);
                plan.pairGrid[m][k] = static_cast<int32_t>(w0 | w1 << 16);
            }
        // The grid multiplies every pair, zero or not; the tap list only the non-zero ones.
        plan.sharedRows = 3 * plan.pairTapCount >= 2 * kernel.size * rowPairs;
        if (rankOne) {
            ConvolvePlan separable = plan;
            separable.pairTapCount = 0;
            AddPairTaps(separable, row, kernel.size, 0);
            for (int m = 0; m < kernel.size; ++m)
                if (column[m] != 0) separable.verticalTaps[separable.verticalTapCount++] = {column[m], m};
            // Two passes pay when the multiplies they save outweigh the intermediate row's traffic.
            if (separable.pairTapCount + 2 * separable.verticalTapCount + 2 < plan.pairTapCount) {
                separable.separable = true;
                separable.sharedRows = false;
                separable.rowCorrection = static_cast<int32_t>(static_cast<uint32_t>(rowSum * 32768));
                separable.bias = 0;
                plan = separable;
            }
        }
    } else if (plan.tier == ConvolveTier::Wide) {
        if (rankOne && rowAbsSum <= kNarrowWeightSum) {
            // The row factor's sums fit 32 bits; only the vertical pass needs doubles.
            plan.separable = true;
            AddPairTaps(plan, row, kernel.size, 0);
            plan.rowCorrection = static_cast<int32_t>(rowSum * 32768);
            for (int m = 0; m < kernel.size; ++m)
                if (column[m] != 0) plan.wideTaps[plan.wideTapCount++] = {static_cast<double>(column[m]), m, 0};
        } else {
            for (int m = 0; m < kernel.size; ++m)
                for (int n = 0; n < kernel.size; ++n) {
                    const int32_t w = kernel.weights[m * kernel.size + n];
                    if (w != 0) plan.wideTaps[plan.wideTapCount++] = {static_cast<double>(w), m, n - plan.half};
                }
        }
    }
    PlanFinish(plan, kernel, absSum, negativeSum);
    return true;
}
