// PNG decoding and 16-bit RGBA encoding with libpng.
#include "ImageIO.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace {

struct ReadSource {
    const std::vector<unsigned char>* bytes;
    size_t pos;
};

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
    auto* src = static_cast<ReadSource*>(png_get_io_ptr(png));
    if (src->bytes->size() - src->pos < count) png_error(png, "the PNG data ends early");
    std::memcpy(out, src->bytes->data() + src->pos, count);
    src->pos += count;
}

// Everything libpng touches between setjmp and longjmp lives here, so no C++ object is skipped.
struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngRead() { png_destroy_read_struct(&png, &info, nullptr); }
};

}  // namespace

bool PngSupported() { return true; }

bool DecodePng(const std::vector<unsigned char>& bytes, Raster& out, std::string& error)
{
    ErrorSink sink{};
    ReadSource source{&bytes, 0};
    PngRead r;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &sink, OnError, OnWarning);
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

    std::vector<png_bytep> rows;
    std::vector<unsigned char> data;
    if (setjmp(png_jmpbuf(r.png))) {
        error = std::string("bad PNG: ") + sink.message;
        return false;
    }
    png_read_info(r.png, r.info);
    const png_uint_32 width = png_get_image_width(r.png, r.info);
    const png_uint_32 height = png_get_image_height(r.png, r.info);
    if (int64_t(width) * height > kMaxImagePixels) png_error(r.png, "the image is too large");
    const int colorType = png_get_color_type(r.png, r.info);
    const int bitDepth = png_get_bit_depth(r.png, r.info);
    // Palettes and low bit depths become 8-bit samples; a tRNS chunk becomes alpha.
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(r.png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(r.png);
    if (png_get_valid(r.png, r.info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(r.png);
    png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);

    const int channels = png_get_channels(r.png, r.info);
    const int bits = png_get_bit_depth(r.png, r.info);
    const size_t rowBytes = png_get_rowbytes(r.png, r.info);
    if (channels < 1 || channels > 4 || (bits != 8 && bits != 16) ||
        rowBytes != size_t(width) * channels * (bits / 8))
        png_error(r.png, "unsupported PNG layout");
    data.resize(rowBytes * height);
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = data.data() + y * rowBytes;
    png_read_image(r.png, rows.data());
    png_read_end(r.png, nullptr);

    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.channels = channels;
    out.bits = bits;
    const size_t count = size_t(width) * height * channels;
    out.samples.resize(count);
    for (size_t i = 0; i < count; ++i)
        out.samples[i] = bits == 8 ? data[i] : static_cast<uint16_t>(data[2 * i] << 8 | data[2 * i + 1]);
    return true;
}

bool EncodePng(std::FILE* file, const Image& image, std::string& error)
{
    ErrorSink sink{};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, OnError, OnWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = "out of memory";
        return false;
    }
    std::vector<unsigned char> row(static_cast<size_t>(image.width) * 8);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = std::string("cannot write PNG: ") + sink.message;
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, image.width, image.height, 16, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        PackRow16(image, y, row.data());
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}
