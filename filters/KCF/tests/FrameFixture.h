// Test frames: an in-memory host bitmap with helpers to fill, read and render it.
#pragma once

#include "ImageAccess.h"
#include "MemoryBitmap.h"
#include "ProgressWindow.h"

#include <functional>
#include <memory>
#include <vector>

inline BMM_Color_64 Gray(uint16_t v, uint16_t a = 65535) { return {v, v, v, a}; }

inline Image MakeImage(int width, int height, const std::function<BMM_Color_64(int x, int y)>& pixel)
{
    Image image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image.pixels[static_cast<size_t>(y) * width + x] = pixel(x, y);
    return image;
}

inline Image Uniform(int width, int height, uint16_t v)
{
    return MakeImage(width, height, [v](int, int) { return Gray(v); });
}

// A host frame ready for one KernelImage.
struct TestFrame {
    explicit TestFrame(Image image) : storage(std::move(image)), bitmap(&storage) {}
    MemoryStorage storage;
    Bitmap bitmap;
    ProgressWindow progress;

    const BMM_Color_64& At(int x, int y) const
    {
        return storage.image().pixels[static_cast<size_t>(y) * storage.image().width + x];
    }
};

// Runs one Convolve over the frame (whole image unless channel is given) and writes it back.
inline int ConvolveFrameWith(TestFrame& f, const std::vector<int32_t>& weights, int size, int divisor, int offset,
                             int invert, int maskId = -1, uint32_t channel = 0)
{
    KernelImage image(f.progress.Handle(), &f.bitmap);
    if (channel) image.RequestChannel(channel);
    const int result = image.Convolve(ConvolveKernel{weights.data(), size, divisor, offset, invert, maskId});
    image.WriteBack();
    return result;
}

inline std::vector<int32_t> Identity(int size)
{
    std::vector<int32_t> w(size * size, 0);
    w[size * size / 2] = 1;
    return w;
}
