// vphost's image files: PNG (native build) and PAM, read into host frames and id channels, and
// written as 16-bit RGBA without ever leaving a partial file behind.
#pragma once

#include "MemoryBitmap.h"

#include <cstdint>
#include <string>
#include <vector>

// Decoded samples of any supported file: channels 1 (gray), 2 (gray+alpha), 3 (RGB) or 4 (RGBA).
struct Raster {
    int width = 0;
    int height = 0;
    int channels = 0;
    int bits = 0;                   // 8 or 16
    std::vector<uint16_t> samples;  // row-major, interleaved, at their own bit depth
};

// The largest frame vphost takes: the host keeps sizes in 16 bits, and memory is finite.
constexpr int kMaxImageSide = 65535;
constexpr int64_t kMaxImagePixels = int64_t(1) << 26;

bool DecodeImage(const std::vector<unsigned char>& bytes, Raster& out, std::string& error);
bool DecodePng(const std::vector<unsigned char>& bytes, Raster& out, std::string& error);
bool DecodePam(const std::vector<unsigned char>& bytes, Raster& out, std::string& error);

// Converts decoded samples to a host frame: 8-bit values scaled by 257, a missing alpha becomes 65535.
void RasterToImage(const Raster& raster, Image& out);
// Takes decoded samples as an id channel; they must be one channel of exactly the given bit depth.
bool RasterToIds(Raster raster, int bits, IdImage& out, std::string& error);

// Reads a colour image: 8-bit values scaled by 257, a missing alpha becomes 65535.
bool ReadImage(const std::string& path, Image& out, std::string& error);
// Reads a one-channel id image of exactly the given bit depth (8 or 16).
bool ReadIdImage(const std::string& path, int bits, IdImage& out, std::string& error);
// Writes 16-bit RGBA: PAM for a ".pam" name, PNG otherwise (where the build has PNG).
bool WriteImage(const std::string& path, const Image& image, std::string& error);

// Row y of image as big-endian 16-bit RGBA samples (width x 8 bytes).
void PackRow16(const Image& image, int y, unsigned char* row);

bool EncodePng(std::FILE* file, const Image& image, std::string& error);
bool PngSupported();
