// Randomised convolution cases for the engine tests: frames, kernels at and beyond every tier's
// bound, masks, divisors, offsets and aborts, and a check of one case against the reference.
#pragma once

#include "ConvolveDispatch.h"
#include "ImageAccess.h"
#include "MemoryBitmap.h"
#include "ProgressWindow.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// A small deterministic generator (the same numbers on every platform and compiler).
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in lo .. hi, both included.
    int64_t Range(int64_t lo, int64_t hi) { return lo + static_cast<int64_t>(Next() % static_cast<uint64_t>(hi - lo + 1)); }
    bool OneIn(int n) { return Next() % static_cast<uint64_t>(n) == 0; }
    template <class T>
    T Pick(std::initializer_list<T> values) { return values.begin()[Next() % values.size()]; }

private:
    uint64_t state_;
};

// The largest sum of |weights| for each tier: beyond kNarrowMax sums leave 32 bits, beyond
// kWindowMax their range is wider than 2^32 (up to it, 32-bit lanes still serve when every weight
// fits 16 bits), beyond kWideMax they leave the integers a double holds exactly.
constexpr int64_t kNarrowMax = 32767;
constexpr int64_t kWindowMax = 65537;
constexpr int64_t kWideMax = ((int64_t(1) << 53) - 1) / 65535;

// MissingArray: the material channel requested but absent; NoChannel: a mask id with no channel
// requested. Either way every pixel's identifier is 0.
enum class Mask { Whole, Material, Object, BothChannels, MissingArray, NoChannel };

struct DiffCase {
    int width = 1, height = 1;
    int size = 3;
    std::vector<int32_t> weights;
    int32_t divisor = 1, offset = 0, invert = 0;
    Mask mask = Mask::Whole;
    int32_t maskId = -1;
    int abortRow = -1;
    uint64_t pixelSeed = 1;
    int uniform = -1;  // 0 .. 65535: every colour channel of every pixel has this value
    std::vector<uint16_t> values;  // when not empty: the colour channels of each pixel, row-major

    int64_t AbsSum() const
    {
        int64_t s = 0;
        for (int32_t w : weights) s += std::llabs(static_cast<int64_t>(w));
        return s;
    }
    ConvolveTier ExpectedTier() const
    {
        const int64_t s = AbsSum();
        bool pairable = true;
        for (int32_t w : weights) pairable = pairable && w >= -32767 && w <= 32767;
        if (s <= kNarrowMax || (s <= kWindowMax && pairable)) return ConvolveTier::Narrow;
        return s <= kWideMax ? ConvolveTier::Wide : ConvolveTier::Scalar;
    }
    std::string Describe() const;
};

// Kernel families the generator draws from.
enum class KernelKind {
    Small, Sparse, Separable, NearlySeparable, NarrowEdge, BeyondNarrow, WindowEdge, BeyondWindow, FloatEdge, WideEdge,
    BeyondWide, Extreme,
    // A uniform frame and an offset that cancels the interior quotient, so that results land
    // inside 0 .. 65535 whatever the tier: quotients near +-2^31 and offsets near the int32 limits.
    OffsetCancels,
};

std::vector<int32_t> MakeKernel(Random& random, KernelKind kind, int size);
DiffCase MakeCase(Random& random, KernelKind kind);

// Runs the case through KernelImage::Convolve on the currently selected path, reporting to
// progress, and compares every pixel with the reference engine and the messages with the per-row
// protocol; returns an empty string when all agree, else what differs. The run's record comes
// back through run.
std::string CheckCase(const DiffCase& c, ProgressWindow& progress, ConvolveRun& run);
