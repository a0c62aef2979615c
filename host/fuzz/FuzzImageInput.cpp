// Fuzz target: vphost's image input on arbitrary bytes, as a frame and as both kinds of id channel.
#include "ImageIO.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<unsigned char> bytes(data, data + size);
    Raster raster;
    std::string error;
    if (!DecodeImage(bytes, raster, error)) {
        if (error.empty()) std::abort();  // every refusal says why
        return 0;
    }
    if (raster.width < 1 || raster.height < 1 || raster.width > kMaxImageSide || raster.height > kMaxImageSide ||
        raster.samples.size() != static_cast<size_t>(raster.width) * raster.height * raster.channels)
        std::abort();
    Image image;
    RasterToImage(raster, image);
    for (int bits : {8, 16}) {
        IdImage ids;
        const bool ok = RasterToIds(raster, bits, ids, error);
        if (ok != (raster.channels == 1 && raster.bits == bits)) std::abort();
    }
    return 0;
}
