// The host's bitmaps: 64-bit pixels, the storage behind a bitmap and its G-buffer channels.
#pragma once

#include "MsAbi.h"

#include <cstdint>

// One pixel: four unsigned 16-bit channels.
struct BMM_Color_64 {
    uint16_t r, g, b, a;
};
static_assert(sizeof(BMM_Color_64) == 8);

// G-buffer channel identifiers (bit values) and their per-pixel types.
constexpr uint32_t GB_CHAN_MTL_EFFECTS = 2;  // material effects id, 8 bits a pixel
constexpr uint32_t GB_CHAN_OBJECT = 4;       // object id, 16 bits a pixel
constexpr uint32_t GB_TYPE_UINT8 = 1;
constexpr uint32_t GB_TYPE_UINT16 = 2;

// The host-side pixel store of a bitmap; the host implements it.
class BitmapStorage {
public:
    MSABI_DELETING_DESTRUCTOR(BitmapStorage)
    virtual uint16_t Width() const = 0;
    virtual uint16_t Height() const = 0;
    // Copies count pixels of row y, from column x on, into dest; returns 1 on success.
    virtual int GetPixels(int x, int y, int count, BMM_Color_64* dest) = 0;
    // Stores count pixels into row y, from column x on; returns 1 on success.
    virtual int PutPixels(int x, int y, int count, const BMM_Color_64* src) = 0;
    // The per-pixel array of a G-buffer channel (row-major, width x height), or null if absent.
    virtual void* GetChannel(uint32_t channelId, uint32_t& channelType) = 0;

    virtual ~BitmapStorage() = default;
};

// A bitmap as the host hands it to a filter.
class Bitmap {
public:
    explicit Bitmap(BitmapStorage* storage = nullptr) : storage_(storage) {}
    MSABI_DELETING_DESTRUCTOR(Bitmap)
    virtual ~Bitmap() = default;
    BitmapStorage* Storage() const { return storage_; }
    int Width() const { return storage_ ? storage_->Width() : 0; }
    int Height() const { return storage_ ? storage_->Height() : 0; }
    int PutPixels(int x, int y, int count, const BMM_Color_64* src)
    {
        return storage_ ? storage_->PutPixels(x, y, count, src) : 0;
    }

private:
    BitmapStorage* storage_;
};
