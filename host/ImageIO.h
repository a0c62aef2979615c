// vphost's image files: PNG, PAM, PGM and PPM, read into host frames and id channels, and written
// at 8 or 16 bits without ever leaving a partial file behind.
#pragma once

#include "AtomicFile.h"
#include "MemoryBitmap.h"

#include <cstdint>
#include <cstdio>
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

// An image's bytes, read once from the start: a file or a block of memory.
class ByteSource {
public:
    static constexpr uint64_t kUnknown = UINT64_MAX;
    virtual ~ByteSource() = default;
    // Up to size bytes; fewer only where the data ends or reading fails (then error() says why).
    virtual size_t Read(unsigned char* out, size_t size) = 0;
    // The bytes left when the source knows (a regular file, memory), else kUnknown.
    virtual uint64_t Remaining() const = 0;
    virtual std::string error() const { return {}; }
};

// The bytes of a file, streamed; only a regular file tells its size.
class FileSource : public ByteSource {
public:
    ~FileSource() override;
    bool Open(const std::string& path, std::string& error);
    size_t Read(unsigned char* out, size_t size) override;
    uint64_t Remaining() const override;
    std::string error() const override { return error_; }

private:
    std::FILE* file_ = nullptr;
    uint64_t size_ = kUnknown, consumed_ = 0;
    std::string error_;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
    size_t Read(unsigned char* out, size_t size) override;
    uint64_t Remaining() const override { return bytes_.size() - pos_; }

private:
    const std::vector<unsigned char>& bytes_;
    size_t pos_ = 0;
};

struct RasterLayout {
    int width = 0, height = 0, channels = 0, bits = 0;
};

// Where a decoder puts an image's rows, in order from row 0.
class RasterSink {
public:
    virtual ~RasterSink() = default;
    // The layout, before any row. rowsBound is the most rows the input can still hold: room is
    // taken for that many at first, for more only as rows arrive. False (error says why) refuses.
    virtual bool Begin(const RasterLayout& layout, int rowsBound, std::string& error) = 0;
    // One row of width x channels samples at the layout's bit depth.
    virtual void Row(const uint16_t* samples) = 0;
};

// Decoders stream their input: the signature first, then the header, then row by row, failing at
// the first row the input does not hold. Memory grows with the rows read, never ahead of the data.
bool DecodeImage(ByteSource& source, RasterSink& sink, std::string& error);
// The same after the signature has been read: PNG's eight bytes, PAM's "P7", PGM's "P5", PPM's "P6".
bool DecodePng(ByteSource& source, RasterSink& sink, std::string& error);
bool DecodePam(ByteSource& source, RasterSink& sink, std::string& error);
bool DecodePnm(ByteSource& source, int channels, RasterSink& sink, std::string& error);
// The whole of bytes into a raster (tests and the fuzz target).
bool DecodeImage(const std::vector<unsigned char>& bytes, Raster& out, std::string& error);

// Converts decoded samples to a host frame: 8-bit values scaled by 257, a missing alpha becomes 65535.
void RasterToImage(const Raster& raster, Image& out);
// Takes decoded samples as an id channel; they must be one channel of exactly the given bit depth.
bool RasterToIds(Raster raster, int bits, IdImage& out, std::string& error);

// Reads a colour image: 8-bit values scaled by 257, a missing alpha becomes 65535.
bool ReadImage(const std::string& path, Image& out, std::string& error);
// Reads a one-channel id image of exactly the given bit depth (8 or 16).
bool ReadIdImage(const std::string& path, int bits, IdImage& out, std::string& error);
// How an image is written. compression is PNG's zlib level 0..9; -1 takes kFastPngCompression.
struct WriteOptions {
    int depth = 16;  // bits a sample: 8 or 16
    int compression = -1;
};
// The PNG level written unless the user asks for another, chosen for speed: the native build then
// filters every row by Up and deflates with ISA-L on several threads, several times as fast as
// libpng's level 1 for files no larger (docs/performance.md).
constexpr int kFastPngCompression = 1;

// Whether path's extension names a format this build writes; error says which it does.
bool CanWriteImage(const std::string& path, std::string& error);
// Writes by the extension: ".png" RGBA, ".pam" RGBA, ".ppm" RGB, ".pgm" gray (the colour's own
// value where red, green and blue are equal, else its luma, 0.299 R + 0.587 G + 0.114 B).
bool WriteImage(const std::string& path, const Image& image, std::string& error);
bool WriteImage(const std::string& path, const Image& image, const WriteOptions& options, std::string& error);

// A 16-bit sample at 8 bits: the nearest level, (v * 255 + 32767) / 65535, so that v * 257 gives
// back v.
inline uint16_t EightBitLevel(uint16_t v) { return static_cast<uint16_t>((uint32_t(v) * 255 + 32767) / 65535); }
// Row y of image as big-endian samples: channels 1 (gray), 3 (RGB) or 4 (RGBA), at depth 8 or 16.
void PackRow(const Image& image, int y, int channels, int depth, unsigned char* row);

bool EncodePng(AtomicFile& file, const Image& image, const WriteOptions& options, std::string& error);
bool PngSupported();
// Whether the PNG encoder takes a compression level (the Windows system codec chooses its own).
bool PngTakesCompressionLevel();
