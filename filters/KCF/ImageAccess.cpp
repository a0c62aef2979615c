// Reading the host's frame into memory, finding its G-buffer channels, and writing it back.
#include "ImageAccess.h"

#include "ImageFilter.h"

#include <cstdint>
#include <cstdlib>

namespace {
FrameAllocator frameAllocator = nullptr;
}

void SetFrameAllocator(FrameAllocator allocator) { frameAllocator = allocator; }

ImageAccess::ImageAccess(HWND progress, Bitmap* map) : progressWindow(progress), bitmap(map)
{
    if (bitmap && bitmap->Storage()) {
        width = bitmap->Width();
        height = bitmap->Height();
    }
    work = ReadFrame();
    if (!work && width > 0 && height > 0) ready_ = false;
}

ImageAccess::~ImageAccess() { std::free(work); }

BMM_Color_64* ImageAccess::ReadFrame()
{
    if (width <= 0 || height <= 0) return nullptr;
    const uint64_t count = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (count > SIZE_MAX / sizeof(BMM_Color_64)) return nullptr;
    void* memory = frameAllocator ? frameAllocator(static_cast<size_t>(count), sizeof(BMM_Color_64))
                                  : std::calloc(static_cast<size_t>(count), sizeof(BMM_Color_64));
    auto* frame = static_cast<BMM_Color_64*>(memory);
    if (!frame) return nullptr;
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
    if (!ready_) return;
    source = ReadFrame();
    if (!source && width > 0 && height > 0) {
        ready_ = false;
        std::free(work);
        work = nullptr;
    }
}

KernelImage::~KernelImage() { std::free(source); }

int KernelImage::Convolve(int maskId, const int* weights, int size, int divisor, int offset, int invert)
{
    if (height <= 0) return 1;
    const ConvolveFrame frame = {source, work, width, height, materialChannel, objectChannel, requestedChannels};
    const ConvolveKernel kernel = {weights, size, divisor, offset, invert, maskId};
    BOOL abort = FALSE;
    for (int y = 0; y < height; ++y) {
        SendMessageA(progressWindow, FLT_PROGRESS, static_cast<WPARAM>(y), static_cast<LPARAM>(height - 1));
        SendMessageA(progressWindow, FLT_CHECKABORT, 0, reinterpret_cast<LPARAM>(&abort));
        if (abort) return 0;
        if (frame.work) ConvolveRowReference(frame, kernel, y);
    }
    return 1;
}
