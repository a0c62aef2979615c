// Fuzz target: arbitrary configuration blocks rendered over small random frames and id channels.
// Render must stay inside its record and frames, and its output must equal the reference engine's.
#include "ConvolveEngine.h"
#include "KernelFilter.h"
#include "MemoryBitmap.h"
#include "ProgressWindow.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Bytes {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    uint8_t Next() { return pos < size ? data[pos++] : 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FilterSettings block{};
    std::memcpy(&block, data, size < sizeof block ? size : sizeof block);
    Bytes rest{data, size, sizeof block};
    const uint8_t flags = rest.Next();
    if (flags & 1) block.tag = kSettingsTag;  // mostly exercise Render, sometimes the refusal
    // Keep the arithmetic's range wide but the frame small: 1..12 x 1..12 pixels, or none at all.
    const int width = flags & 2 ? 0 : 1 + rest.Next() % 12;
    const int height = 1 + rest.Next() % 12;

    Image image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * height);
    for (auto& p : image.pixels) {
        p.r = static_cast<uint16_t>(rest.Next() << 8 | rest.Next());
        p.g = static_cast<uint16_t>(rest.Next() * 257);
        p.b = static_cast<uint16_t>(rest.Next() << 8);
        p.a = rest.Next();
    }
    std::vector<uint8_t> mtl(image.pixels.size());
    std::vector<uint16_t> obj(image.pixels.size());
    for (size_t i = 0; i < mtl.size(); ++i) {
        mtl[i] = rest.Next() % 4;
        obj[i] = static_cast<uint16_t>(rest.Next() % 3 ? 65535 : 7);
    }
    const Image before = image;

    MemoryStorage storage(image);
    if (flags & 4) storage.SetMaterialChannel(mtl);
    if (flags & 8) storage.SetObjectChannel(obj);
    Bitmap bitmap(&storage);
    ProgressWindow progress;
    progress.abortAtRow = flags & 16 ? rest.Next() % 13 : -1;

    KernelFilter filter;
    const bool loaded = filter.LoadConfigure(&block);
    if (loaded != (block.tag == kSettingsTag)) std::abort();
    filter.SetSource(&bitmap);
    if (filter.Render(progress.Handle()) != TRUE) std::abort();

    // The oracle: the reference engine on the same settings, restated from the render rules.
    Image expected = before;
    const FilterSettings& s = filter.settings;
    const int kernelSize = EffectiveKernelSize(s.kernel);
    int32_t sub[kGridCells];
    ExtractSubKernel(s.kernel.weights, kernelSize, sub);
    uint32_t channel = 0;
    bool run = s.sourceMode == kSourceWholeImage;
    int32_t mask = -1;
    if (s.sourceMode == kSourceMaterialEffects) run = (flags & 4) != 0, channel = GB_CHAN_MTL_EFFECTS, mask = s.materialId;
    if (s.sourceMode == kSourceObject) run = (flags & 8) != 0, channel = GB_CHAN_OBJECT, mask = s.objectId;
    if (run && width > 0) {
        const ConvolveFrame frame = {before.pixels.data(), expected.pixels.data(), width, height,
                                     channel == GB_CHAN_MTL_EFFECTS ? mtl.data() : nullptr,
                                     channel == GB_CHAN_OBJECT ? obj.data() : nullptr, channel};
        const ConvolveKernel kernel = {sub, kernelSize, s.kernel.divisor, s.kernel.offset, s.kernel.invert, mask};
        const int rows = progress.abortAtRow >= 0 && progress.abortAtRow < height ? progress.abortAtRow : height;
        for (int y = 0; y < rows; ++y) ConvolveRowReference(frame, kernel, y);
    }
    if (!expected.pixels.empty() && std::memcmp(expected.pixels.data(), storage.image().pixels.data(),
                                                expected.pixels.size() * sizeof(BMM_Color_64)) != 0)
        std::abort();
    return 0;
}
