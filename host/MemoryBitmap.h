// A host bitmap held in memory: the frame vphost renders, with optional G-buffer channels.
#pragma once

#include "Bitmap.h"

#include <cstdint>
#include <vector>

struct Image {
    int width = 0;
    int height = 0;
    std::vector<BMM_Color_64> pixels;  // row-major, row 0 first
};

struct IdImage {
    int width = 0;
    int height = 0;
    int bits = 8;                  // 8 or 16
    std::vector<uint16_t> values;  // row-major
};

class MemoryStorage : public BitmapStorage {
public:
    explicit MemoryStorage(Image image) : image_(std::move(image)) {}

    uint16_t Width() const override { return static_cast<uint16_t>(image_.width); }
    uint16_t Height() const override { return static_cast<uint16_t>(image_.height); }
    int GetPixels(int x, int y, int count, BMM_Color_64* dest) override;
    int PutPixels(int x, int y, int count, const BMM_Color_64* src) override;
    void* GetChannel(uint32_t channelId, uint32_t& channelType) override;

    // Gives the frame a material effects (8-bit) or object (16-bit) channel.
    void SetMaterialChannel(std::vector<uint8_t> ids) { material_ = std::move(ids); hasMaterial_ = true; }
    void SetObjectChannel(std::vector<uint16_t> ids) { object_ = std::move(ids); hasObject_ = true; }

    const Image& image() const { return image_; }
    int putCalls = 0;

private:
    bool InRange(int x, int y, int count) const;

    Image image_;
    std::vector<uint8_t> material_;
    std::vector<uint16_t> object_;
    bool hasMaterial_ = false;
    bool hasObject_ = false;
};
