// Reading the host's frame into memory, finding its G-buffer channels, and writing it back.
#include "ImageAccess.h"

#include "ConvolveDispatch.h"
#include "FrameMemory.h"
#include "ImageFilter.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

FrameAllocator gFrameAllocator = nullptr;

// Frame copies start on a 64-byte boundary, so that the engine can stream whole cache lines into
// the work buffer. A header just before the frame remembers how the block was taken.
struct FrameHeader {
    void* block;
    size_t bytes;  // as allocated
    bool fromSeam;
};
constexpr size_t kFrameAlignment = 64;
constexpr size_t kFrameSlack = (kFrameAlignment + sizeof(FrameHeader)) / sizeof(BMM_Color_64) + 1;

BMM_Color_64* AlignedFrame(const FrameHeader& header)
{
    const uintptr_t first = reinterpret_cast<uintptr_t>(header.block) + sizeof(FrameHeader);
    auto* frame = reinterpret_cast<BMM_Color_64*>((first + kFrameAlignment - 1) & ~uintptr_t(kFrameAlignment - 1));
    std::memcpy(reinterpret_cast<char*>(frame) - sizeof(FrameHeader), &header, sizeof(FrameHeader));
    return frame;
}

void FreeFrame(BMM_Color_64* frame)
{
    if (!frame) return;
    FrameHeader header;
    std::memcpy(&header, reinterpret_cast<char*>(frame) - sizeof(FrameHeader), sizeof(FrameHeader));
    if (header.fromSeam)
        std::free(header.block);
    else
        FreeFrameMemory(header.block, header.bytes);
}

}  // namespace

void SetFrameAllocator(FrameAllocator allocator) { gFrameAllocator = allocator; }

ImageAccess::ImageAccess(HWND progress, Bitmap* map) : progressWindow(progress), bitmap(map)
{
    if (bitmap && bitmap->Storage()) {
        width = bitmap->Width();
        height = bitmap->Height();
    }
    work = ReadFrame();
    if (!work && width > 0 && height > 0) ready = false;
}

ImageAccess::~ImageAccess() { FreeFrame(work); }

BMM_Color_64* ImageAccess::ReadFrame()
{
    if (width <= 0 || height <= 0) return nullptr;
    const uint64_t count = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (count > SIZE_MAX / sizeof(BMM_Color_64) - kFrameSlack) return nullptr;
    const size_t elements = static_cast<size_t>(count) + kFrameSlack;
    const FrameHeader header = {gFrameAllocator ? gFrameAllocator(elements, sizeof(BMM_Color_64))
                                               : AllocateFrameMemory(elements * sizeof(BMM_Color_64)),
                                elements * sizeof(BMM_Color_64), gFrameAllocator != nullptr};
    if (!header.block) return nullptr;
    BMM_Color_64* frame = AlignedFrame(header);
    BitmapStorage* storage = bitmap ? bitmap->Storage() : nullptr;
    if (storage) {
        for (int y = 0; y < height; ++y) storage->GetPixels(0, y, width, frame + static_cast<size_t>(y) * width);
    }
    return frame;
}

void ImageAccess::WriteBack()
{
    if (!work || !bitmap) return;
    // The bitmap's size is read again; never more rows or columns than the buffer holds.
    const int rows = bitmap->Storage() ? bitmap->Height() : 0;
    const int columns = bitmap->Storage() ? bitmap->Width() : 0;
    if (rows != height || columns != width) return;
    for (int y = 0; y < height; ++y) bitmap->PutPixels(0, y, width, work + static_cast<size_t>(y) * width);
}

int ImageAccess::RequestChannel(uint32_t channelId)
{
    requestedChannels |= channelId;
    BitmapStorage* storage = bitmap ? bitmap->Storage() : nullptr;
    uint32_t type = 0;
    if (channelId == GB_CHAN_MTL_EFFECTS) {
        materialChannel = storage ? static_cast<const uint8_t*>(storage->GetChannel(channelId, type)) : nullptr;
        return materialChannel ? 1 : 0;
    }
    if (channelId == GB_CHAN_OBJECT) {
        objectChannel = storage ? static_cast<const uint16_t*>(storage->GetChannel(channelId, type)) : nullptr;
        return objectChannel ? 1 : 0;
    }
    return 0;
}

KernelImage::KernelImage(HWND progress, Bitmap* map) : ImageAccess(progress, map)
{
    if (!ready) return;
    source = ReadFrame();
    if (!source && width > 0 && height > 0) {
        ready = false;
        FreeFrame(work);
        work = nullptr;
    }
}

KernelImage::~KernelImage() { FreeFrame(source); }

int KernelImage::Convolve(const ConvolveKernel& kernel, ConvolveRun* run)
{
    if (run) *run = ConvolveRun{};
    if (height <= 0) return 1;
    const ConvolveFrame frame = {source, work, width, height, materialChannel, objectChannel, requestedChannels};
    // Plans the kernel and takes the engine's scratch rows once; the rows themselves run one by one.
    ConvolveRunner runner(frame, kernel);
    BOOL abort = FALSE;
    int result = 1;
    for (int y = 0; y < height && result; ++y) {
        SendMessageA(progressWindow, FLT_PROGRESS, static_cast<WPARAM>(y), static_cast<LPARAM>(height - 1));
        SendMessageA(progressWindow, FLT_CHECKABORT, 0, reinterpret_cast<LPARAM>(&abort));
        if (abort)
            result = 0;
        else if (frame.work)
            runner.Row(y);
    }
    if (run) *run = runner.Record();
    return result;
}
