// The filter's working view of one Video Post frame: two in-memory copies of the host bitmap, its
// G-buffer channels on request, and the write-back; KernelImage adds the convolution engine.
#pragma once

#include "Bitmap.h"
#include "ConvolveEngine.h"
#include "Win32.h"

#include <cstddef>
#include <cstdint>

struct ConvolveRun;

class ImageAccess {
public:
    ImageAccess(HWND progressWindow, Bitmap* bitmap);
    ~ImageAccess();
    ImageAccess(const ImageAccess&) = delete;
    ImageAccess& operator=(const ImageAccess&) = delete;

    // A new zero-filled width x height buffer holding the frame, its start aligned to 64 bytes, or
    // null when it cannot be allocated.
    BMM_Color_64* ReadFrame();
    // Puts every row of the work buffer back into the bitmap (nothing when there is no work buffer).
    virtual void WriteBack();
    // Finds G-buffer channel 2 (material effects) or 4 (object); 1 when the host has it.
    int RequestChannel(uint32_t channelId);

    // False when a frame copy could not be allocated: then nothing may be read or written back.
    bool Ready() const { return ready; }
    int Width() const { return width; }
    int Height() const { return height; }
    const BMM_Color_64* WorkBuffer() const { return work; }

protected:
    HWND progressWindow;
    Bitmap* bitmap;
    BMM_Color_64* work = nullptr;
    const uint16_t* objectChannel = nullptr;
    const uint8_t* materialChannel = nullptr;
    uint32_t requestedChannels = 0;
    int width = 0;
    int height = 0;
    bool ready = true;
};

class KernelImage : public ImageAccess {
public:
    KernelImage(HWND progressWindow, Bitmap* bitmap);
    ~KernelImage();

    // Filters the frame from the source copy into the work buffer, row by row, telling the progress
    // window before each row and stopping when it asks for abort. 1 when every row was done, 0 on
    // abort. When run is not null it receives what the engine ran on (path, tier, rows).
    int Convolve(const ConvolveKernel& kernel, ConvolveRun* run = nullptr);

private:
    BMM_Color_64* source = nullptr;
};

// Test seam: the allocator behind ReadFrame (calloc semantics, freed with free); null restores
// the platform's frame memory.
using FrameAllocator = void* (*)(size_t count, size_t elementSize);
void SetFrameAllocator(FrameAllocator allocator);
