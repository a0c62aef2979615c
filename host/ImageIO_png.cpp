// PNG decoding, streamed row by row, and 8- or 16-bit RGBA encoding with libpng.
#include "ImageIO.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>

namespace {

// The most a deflate stream expands: 258 bytes from every two bits.
constexpr uint64_t kDeflateMaxRatio = 1032;
// Room taken at first for rows of an input that does not tell its size.
constexpr uint64_t kFirstRoomBytes = 1 << 20;

struct ErrorSink {
    char message[200];
};

void OnError(png_structp png, png_const_charp message)
{
    auto* sink = static_cast<ErrorSink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message ? message : "PNG error");
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadBytes(png_structp png, png_bytep out, png_size_t count)
{
    auto* source = static_cast<ByteSource*>(png_get_io_ptr(png));
    if (source->Read(out, count) != count) png_error(png, "the PNG data ends early");
}

void WriteBytes(png_structp png, png_bytep data, png_size_t count)
{
    if (!static_cast<AtomicFile*>(png_get_io_ptr(png))->Write(data, count)) png_error(png, "the write failed");
}

void FlushNothing(png_structp) {}

void ToSamples(const unsigned char* bytes, int bits, std::vector<uint16_t>& samples)
{
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = bits == 8 ? bytes[i] : static_cast<uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
}

// Everything that lives across setjmp and longjmp is here, made before setjmp, so that a longjmp
// skips no constructor or destructor.
struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::vector<unsigned char> image;  // the whole decoded image, for interlaced files only
    std::vector<unsigned char> row;
    std::vector<uint16_t> samples;
    ~PngRead() { png_destroy_read_struct(&png, &info, nullptr); }
};

bool ReadRows(PngRead& r, ByteSource& source, RasterSink& sink, std::string& error);

}  // namespace

bool PngSupported() { return true; }

bool DecodePng(ByteSource& source, RasterSink& sink, std::string& error)
{
    ErrorSink message{};
    PngRead r;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message, OnError, OnWarning);
    if (!r.png) {
        error = "out of memory";
        return false;
    }
    r.info = png_create_info_struct(r.png);
    if (!r.info) {
        error = "out of memory";
        return false;
    }
    png_set_user_limits(r.png, kMaxImageSide, kMaxImageSide);
    png_set_chunk_malloc_max(r.png, 8u << 20);
    png_set_read_fn(r.png, &source, ReadBytes);
    png_set_sig_bytes(r.png, 8);

    if (setjmp(png_jmpbuf(r.png))) {
        error = source.error().empty() ? std::string("bad PNG: ") + message.message : source.error();
        return false;
    }
    return ReadRows(r, source, sink, error);
}

namespace {

// libpng leaves this by longjmp on any error, so it holds nothing that needs destroying.
bool ReadRows(PngRead& r, ByteSource& source, RasterSink& sink, std::string& error)
{
    png_read_info(r.png, r.info);
    const png_uint_32 width = png_get_image_width(r.png, r.info);
    const png_uint_32 height = png_get_image_height(r.png, r.info);
    if (int64_t(width) * height > kMaxImagePixels) png_error(r.png, "the image is too large");
    // The most rows the rest of the input can inflate to, each with its filter byte.
    const uint64_t fileRowBytes = png_get_rowbytes(r.png, r.info) + 1;
    const uint64_t remaining = source.Remaining();
    const uint64_t rowsBound = remaining == ByteSource::kUnknown
                                   ? std::max<uint64_t>(1, kFirstRoomBytes / fileRowBytes)
                                   : remaining * kDeflateMaxRatio / fileRowBytes + 1;

    const int colorType = png_get_color_type(r.png, r.info);
    const int bitDepth = png_get_bit_depth(r.png, r.info);
    // Palettes and low bit depths become 8-bit samples; a tRNS chunk becomes alpha.
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(r.png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(r.png);
    if (png_get_valid(r.png, r.info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(r.png);
    const int passes = png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);

    const int channels = png_get_channels(r.png, r.info);
    const int bits = png_get_bit_depth(r.png, r.info);
    const size_t rowBytes = png_get_rowbytes(r.png, r.info);
    if (channels < 1 || channels > 4 || (bits != 8 && bits != 16) ||
        rowBytes != size_t(width) * channels * (bits / 8))
        png_error(r.png, "unsupported PNG layout");
    // An interlaced image is only whole after its last pass, so it is held whole; never for more
    // rows than the input can hold.
    if (passes > 1 && rowsBound < height) png_error(r.png, "the PNG data ends early");
    if (!sink.Begin({int(width), int(height), channels, bits}, int(std::min<uint64_t>(rowsBound, height)), error))
        return false;
    if (passes > 1) r.image.resize(rowBytes * height);
    else r.row.resize(rowBytes);
    r.samples.resize(size_t(width) * channels);
    if (passes > 1) {
        for (int pass = 0; pass < passes; ++pass)
            for (png_uint_32 y = 0; y < height; ++y) png_read_row(r.png, &r.image[y * rowBytes], nullptr);
        png_read_end(r.png, nullptr);
        for (png_uint_32 y = 0; y < height; ++y) {
            ToSamples(&r.image[y * rowBytes], bits, r.samples);
            sink.Row(r.samples.data());
        }
        return true;
    }
    // One row at a time: a file that ends early fails at its first missing row.
    for (png_uint_32 y = 0; y < height; ++y) {
        png_read_row(r.png, r.row.data(), nullptr);
        ToSamples(r.row.data(), bits, r.samples);
        sink.Row(r.samples.data());
    }
    png_read_end(r.png, nullptr);
    return true;
}

}  // namespace

bool PngTakesCompressionLevel() { return true; }

bool EncodePng(AtomicFile& file, const Image& image, const WriteOptions& options, std::string& error)
{
    ErrorSink sink{};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, OnError, OnWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = "out of memory";
        return false;
    }
    const int depth = options.depth == 8 ? 8 : 16;
    std::vector<unsigned char> row(static_cast<size_t>(image.width) * 4 * (depth / 8));
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = std::string("cannot write PNG: ") + sink.message;
        return false;
    }
    png_set_write_fn(png, &file, WriteBytes, FlushNothing);
    png_set_compression_level(png, options.compression < 0 ? kFastPngCompression : options.compression);
    png_set_IHDR(png, info, image.width, image.height, depth, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        PackRow(image, y, 4, depth, row.data());
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}
