// Builds the engine tests' random cases and checks one against the reference engine.
#include "DiffCases.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace {

// Sets random signs and magnitudes whose absolute values add up to exactly target.
std::vector<int32_t> WithAbsSum(Random& random, int size, int64_t target, bool allPositive)
{
    const int cells = size * size;
    std::vector<int32_t> w(cells, 0);
    int64_t left = target;
    for (int i = 0; i < cells && left > 0; ++i) {
        const int64_t share = i == cells - 1 ? left : std::min<int64_t>(left, left / (cells - i) + random.Range(0, left / (cells - i) / 4 + 1));
        const int64_t magnitude = std::min<int64_t>(share, INT32_MAX);
        w[i] = static_cast<int32_t>(allPositive || random.OneIn(2) ? magnitude : -magnitude);
        left -= magnitude;
    }
    // Whatever did not fit goes on the cells that still have room.
    for (int i = 0; i < cells && left > 0; ++i) {
        const int64_t room = INT32_MAX - std::llabs(static_cast<int64_t>(w[i]));
        const int64_t add = std::min(room, left);
        w[i] = static_cast<int32_t>(w[i] < 0 ? w[i] - add : w[i] + add);
        left -= add;
    }
    return w;
}

int32_t PickDivisor(Random& random, int64_t absSum)
{
    switch (random.Range(0, 9)) {
    case 0: return 0;
    case 1: return random.Pick<int32_t>({1, -1});
    case 2: return random.Pick<int32_t>({INT32_MAX, -INT32_MAX, INT32_MIN});
    case 3: return random.Pick<int32_t>({2, -2, 16, -16, 256, 1 << 30, -(1 << 30), 1 << 24, (1 << 24) + 1});
    case 4: return static_cast<int32_t>(random.Range(INT32_MIN, INT32_MAX));
    case 5: return static_cast<int32_t>(random.Range(-100000, 100000)) | 1;
    default: {
        // Near the kernel's own scale, where quotients land inside 0 .. 65535.
        const int64_t scale = std::max<int64_t>(1, std::min<int64_t>(absSum, INT32_MAX));
        const int64_t d = random.Range(1, scale);
        return static_cast<int32_t>(random.OneIn(4) ? -d : d);
    }
    }
}

int32_t PickOffset(Random& random)
{
    switch (random.Range(0, 5)) {
    case 0: return 0;
    case 1: return random.Pick<int32_t>({INT32_MAX, INT32_MIN, 65535, -65535, 65536, -65536});
    case 2: return static_cast<int32_t>(random.Range(INT32_MIN, INT32_MAX));
    default: return static_cast<int32_t>(random.Range(-70000, 70000));
    }
}

BMM_Color_64 RandomPixel(Random& random)
{
    auto channel = [&random]() -> uint16_t {
        switch (random.Range(0, 5)) {
        case 0: return 0;
        case 1: return 65535;
        default: return static_cast<uint16_t>(random.Next());
        }
    };
    return {channel(), channel(), channel(), static_cast<uint16_t>(random.Next())};
}

}  // namespace

std::vector<int32_t> MakeKernel(Random& random, KernelKind kind, int size)
{
    const int cells = size * size;
    std::vector<int32_t> w(cells, 0);
    switch (kind) {
    case KernelKind::Small:
        for (int32_t& v : w) v = static_cast<int32_t>(random.Range(-9, 9));
        break;
    case KernelKind::Sparse:
        for (int32_t& v : w) v = random.OneIn(4) ? static_cast<int32_t>(random.Range(-300, 300)) : 0;
        break;
    case KernelKind::Separable:
    case KernelKind::NearlySeparable: {
        int32_t column[9], row[9];
        const int bound = random.OneIn(3) ? 40 : 9;
        for (int i = 0; i < size; ++i) {
            column[i] = static_cast<int32_t>(random.Range(-bound, bound));
            row[i] = static_cast<int32_t>(random.Range(-bound, bound));
        }
        column[size / 2] = column[size / 2] ? column[size / 2] : 1;
        row[size / 2] = row[size / 2] ? row[size / 2] : 1;
        for (int m = 0; m < size; ++m)
            for (int n = 0; n < size; ++n) w[m * size + n] = column[m] * row[n];
        if (kind == KernelKind::NearlySeparable) w[random.Range(0, cells - 1)] += 1;
        break;
    }
    case KernelKind::NarrowEdge: w = WithAbsSum(random, size, kNarrowMax - random.Range(0, 1), random.OneIn(2)); break;
    case KernelKind::BeyondNarrow: w = WithAbsSum(random, size, kNarrowMax + 1 + random.Range(0, 2), random.OneIn(2)); break;
    case KernelKind::WindowEdge: w = WithAbsSum(random, size, kWindowMax - random.Range(0, 1), random.OneIn(2)); break;
    case KernelKind::BeyondWindow: w = WithAbsSum(random, size, kWindowMax + 1 + random.Range(0, 2), random.OneIn(2)); break;
    case KernelKind::FloatEdge: w = WithAbsSum(random, size, random.Range(255, 258), random.OneIn(2)); break;
    case KernelKind::WideEdge: w = WithAbsSum(random, size, kWideMax - random.Range(0, 1), random.OneIn(2)); break;
    case KernelKind::BeyondWide: w = WithAbsSum(random, size, kWideMax + 1 + random.Range(0, 1000), random.OneIn(2)); break;
    case KernelKind::Extreme:
        for (int32_t& v : w) v = random.OneIn(3) ? 0 : random.Pick<int32_t>({INT32_MIN, INT32_MAX, -INT32_MAX, 32767, -32768});
        break;
    case KernelKind::OffsetCancels:  // has no weights of its own: MakeCase takes another kind's
        break;
    }
    return w;
}

DiffCase MakeCase(Random& random, KernelKind kind)
{
    DiffCase c;
    // Only 81 weights can add up to more than the wide tier holds.
    const bool needsNine = kind == KernelKind::WideEdge || kind == KernelKind::BeyondWide;
    KernelKind weights = kind;
    if (kind == KernelKind::OffsetCancels)
        weights = random.Pick({KernelKind::Small, KernelKind::NarrowEdge, KernelKind::BeyondNarrow, KernelKind::WindowEdge,
                               KernelKind::BeyondWindow, KernelKind::Extreme});
    c.size = needsNine ? 9 : random.Pick({3, 5, 7, 9});
    // Mostly small frames: single pixels and lines, rows shorter than the kernel, widths that do
    // not fill a vector; now and then one wide enough for many full chunks.
    switch (random.Range(0, 7)) {
    case 0: c.width = 1; c.height = static_cast<int>(random.Range(1, 12)); break;
    case 1: c.width = static_cast<int>(random.Range(1, 40)); c.height = 1; break;
    case 2: c.width = static_cast<int>(random.Range(1, c.size)); c.height = static_cast<int>(random.Range(1, c.size)); break;
    case 3: c.width = static_cast<int>(random.Range(60, 140)); c.height = static_cast<int>(random.Range(2, 6)); break;
    default: c.width = static_cast<int>(random.Range(2, 37)); c.height = static_cast<int>(random.Range(2, 14)); break;
    }
    c.weights = MakeKernel(random, weights, c.size);
    c.divisor = PickDivisor(random, c.AbsSum());
    c.offset = PickOffset(random);
    c.invert = random.Pick({0, 0, 1, 2});
    c.mask = static_cast<Mask>(random.Range(0, 5));
    if (random.OneIn(2)) c.mask = Mask::Whole;
    // Ids the channel holds, and ids that only wrap onto them if cut to 8 or 16 bits.
    c.maskId = c.mask == Mask::Whole ? -1 : random.Pick<int32_t>({0, 1, 2, 3, 65535, -1, 256 + 3, 65536 + 1, 70000});
    c.abortRow = random.OneIn(4) ? static_cast<int>(random.Range(0, c.height)) : -1;
    c.pixelSeed = random.Next();
    if (kind == KernelKind::OffsetCancels) {
        // The interior sum is S = 65535 * sum(w) with sum(w) = +-|w| summed; pick the divisor so
        // that |S / d| is near 2^31 when the sum is large, then cancel the quotient.
        c.uniform = 65535;
        const int64_t absSum = c.AbsSum();
        const int64_t sign = random.OneIn(2) ? -1 : 1;
        for (int32_t& w : c.weights) w = static_cast<int32_t>(sign * std::llabs(static_cast<int64_t>(w)));
        const int64_t sum = sign * absSum * 65535;
        int64_t d = std::max<int64_t>(1, absSum * 65535 / (int64_t(1) << 31) + random.Range(-2, 2));
        if (d > INT32_MAX) d = INT32_MAX;
        c.divisor = static_cast<int32_t>(random.OneIn(3) ? -d : d);
        const int64_t q = sum / c.divisor;
        const int64_t offset = -q + random.Range(-5, 65540);
        c.offset = static_cast<int32_t>(std::min<int64_t>(INT32_MAX, std::max<int64_t>(INT32_MIN, offset)));
    }
    return c;
}

std::string DiffCase::Describe() const
{
    std::ostringstream s;
    s << width << "x" << height << (uniform >= 0 ? " uniform" : "") << " size " << size << " divisor " << divisor << " offset " << offset << " invert "
      << invert << " mask " << static_cast<int>(mask) << " id " << maskId << " abort " << abortRow << " weights";
    for (int32_t w : weights) s << " " << w;
    return s.str();
}

std::string CheckCase(const DiffCase& c, ProgressWindow& progress, ConvolveRun& run)
{
    Random random(c.pixelSeed);
    const size_t count = static_cast<size_t>(c.width) * c.height;
    Image image;
    image.width = c.width;
    image.height = c.height;
    image.pixels.resize(count);
    for (BMM_Color_64& p : image.pixels) p = RandomPixel(random);
    if (c.uniform >= 0)
        for (BMM_Color_64& p : image.pixels) p.r = p.g = p.b = static_cast<uint16_t>(c.uniform);
    for (size_t i = 0; i < c.values.size() && i < count; ++i) image.pixels[i].r = image.pixels[i].g = image.pixels[i].b = c.values[i];
    std::vector<uint8_t> material(count);
    std::vector<uint16_t> object(count);
    for (size_t i = 0; i < count; ++i) {
        material[i] = static_cast<uint8_t>(random.Range(0, 3));
        object[i] = random.OneIn(3) ? 65535 : static_cast<uint16_t>(random.Range(0, 3));
    }

    MemoryStorage storage(image);
    if (c.mask != Mask::MissingArray) {
        storage.SetMaterialChannel(material);
        storage.SetObjectChannel(object);
    }
    Bitmap bitmap(&storage);
    progress.abortAtRow = c.abortRow;
    progress.progressRows.clear();
    progress.checkAbortQueries = 0;
    {
        KernelImage kernelImage(progress.Handle(), &bitmap);
        if (c.mask == Mask::Material || c.mask == Mask::BothChannels || c.mask == Mask::MissingArray)
            kernelImage.RequestChannel(GB_CHAN_MTL_EFFECTS);
        if (c.mask == Mask::Object || c.mask == Mask::BothChannels) kernelImage.RequestChannel(GB_CHAN_OBJECT);
        const int result =
            kernelImage.Convolve(ConvolveKernel{c.weights.data(), c.size, c.divisor, c.offset, c.invert, c.maskId}, &run);
        const bool aborted = c.abortRow >= 0 && c.abortRow < c.height;
        if (result != (aborted ? 0 : 1)) return "Convolve returned " + std::to_string(result);
        // One progress and one check-abort message before each row, up to the aborted one.
        const int messages = aborted ? c.abortRow + 1 : c.height;
        if (progress.checkAbortQueries != messages || static_cast<int>(progress.progressRows.size()) != messages)
            return "messages for " + std::to_string(progress.checkAbortQueries) + " rows, not " + std::to_string(messages);
        for (int y = 0; y < messages; ++y)
            if (progress.progressRows[y] != y) return "progress message out of order at row " + std::to_string(y);
        kernelImage.WriteBack();
    }

    // The reference, on the rows that ran.
    const uint32_t requested = c.mask == Mask::Material || c.mask == Mask::MissingArray ? GB_CHAN_MTL_EFFECTS
                               : c.mask == Mask::Object                               ? GB_CHAN_OBJECT
                               : c.mask == Mask::BothChannels ? GB_CHAN_MTL_EFFECTS | GB_CHAN_OBJECT
                                                              : 0;
    std::vector<BMM_Color_64> expected = image.pixels;
    const bool missing = c.mask == Mask::MissingArray;
    const ConvolveFrame frame = {image.pixels.data(), expected.data(), c.width, c.height,
                                 missing ? nullptr : material.data(), missing ? nullptr : object.data(), requested};
    const ConvolveKernel kernel = {c.weights.data(), c.size, c.divisor, c.offset, c.invert, c.maskId};
    const int rows = c.abortRow >= 0 && c.abortRow < c.height ? c.abortRow : c.height;
    for (int y = 0; y < rows; ++y) ConvolveRowReference(frame, kernel, y);

    const std::vector<BMM_Color_64>& got = storage.image().pixels;
    for (size_t i = 0; i < count; ++i) {
        if (std::memcmp(&got[i], &expected[i], sizeof(BMM_Color_64)) == 0) continue;
        std::ostringstream s;
        s << "pixel (" << i % c.width << ", " << i / c.width << "): got " << got[i].r << " " << got[i].g << " "
          << got[i].b << " " << got[i].a << ", reference " << expected[i].r << " " << expected[i].g << " "
          << expected[i].b << " " << expected[i].a;
        return s.str();
    }
    return "";
}
