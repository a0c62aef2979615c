// The in-memory bitmap storage: bounds-checked row access and the channel lookup.
#include "MemoryBitmap.h"

#include <algorithm>

bool MemoryStorage::InRange(int x, int y, int count) const
{
    return x >= 0 && y >= 0 && count >= 0 && y < image_.height && x <= image_.width && count <= image_.width - x;
}

int MemoryStorage::GetPixels(int x, int y, int count, BMM_Color_64* dest)
{
    if (!dest || !InRange(x, y, count)) return 0;
    const auto first = image_.pixels.begin() + (static_cast<size_t>(y) * image_.width + x);
    std::copy(first, first + count, dest);
    return 1;
}

int MemoryStorage::PutPixels(int x, int y, int count, const BMM_Color_64* src)
{
    ++putCalls;
    if (!src || !InRange(x, y, count)) return 0;
    std::copy(src, src + count, image_.pixels.begin() + (static_cast<size_t>(y) * image_.width + x));
    return 1;
}

void* MemoryStorage::GetChannel(uint32_t channelId, uint32_t& channelType)
{
    if (channelId == GB_CHAN_MTL_EFFECTS && hasMaterial_) {
        channelType = GB_TYPE_UINT8;
        return material_.data();
    }
    if (channelId == GB_CHAN_OBJECT && hasObject_) {
        channelType = GB_TYPE_UINT16;
        return object_.data();
    }
    return nullptr;
}
