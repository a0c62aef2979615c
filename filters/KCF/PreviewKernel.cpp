// The preview's convolution: the sample widened to the host's 16-bit scale, Render's engine, and back to 8 bits.
#include "PreviewKernel.h"

#include "ConvolveDispatch.h"
#include "FrameMemory.h"
#include "KernelRecord.h"

#include <algorithm>

namespace {

// Two frame copies of the engine's kind, given back on every path.
class PreviewFrames {
public:
    explicit PreviewFrames(size_t pixels) : bytes_(2 * pixels * sizeof(BMM_Color_64))
    {
        block_ = static_cast<BMM_Color_64*>(AllocateFrameMemory(bytes_));
        pixels_ = pixels;
    }
    ~PreviewFrames()
    {
        if (block_) FreeFrameMemory(block_, bytes_);
    }
    PreviewFrames(const PreviewFrames&) = delete;
    PreviewFrames& operator=(const PreviewFrames&) = delete;

    bool Ready() const { return block_ != nullptr; }
    BMM_Color_64* Source() { return block_; }
    BMM_Color_64* Work() { return block_ + pixels_; }

private:
    size_t bytes_;
    size_t pixels_ = 0;
    BMM_Color_64* block_ = nullptr;
};

}  // namespace

bool PreviewConvolve(const Rgb8* in, int width, int height, const int32_t* block, int size, int32_t divisor,
                     int32_t offset, int32_t invert, Rgb8* out)
{
    if (width <= 0 || height <= 0) return true;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (!IsKernelSize(size)) {
        std::copy(in, in + count, out);
        return true;
    }
    PreviewFrames frames(count);
    if (!frames.Ready()) return false;
    BMM_Color_64* source = frames.Source();
    for (size_t i = 0; i < count; ++i)
        source[i] = {static_cast<uint16_t>(in[i].r * 257u), static_cast<uint16_t>(in[i].g * 257u),
                     static_cast<uint16_t>(in[i].b * 257u), 65535};
    std::copy(source, source + count, frames.Work());

    const ConvolveFrame frame = {source, frames.Work(), width, height, nullptr, nullptr, 0};
    const ConvolveKernel kernel = {block, size, divisor, offset, invert, -1};
    ConvolveRunner runner(frame, kernel);
    for (int y = 0; y < height; ++y) runner.Row(y);

    const BMM_Color_64* work = frames.Work();
    for (size_t i = 0; i < count; ++i)
        out[i] = {PreviewLevel(work[i].r), PreviewLevel(work[i].g), PreviewLevel(work[i].b)};
    return true;
}
