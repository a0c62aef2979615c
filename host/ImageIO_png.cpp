// PNG decoding, streamed row by row, and 8- or 16-bit RGBA encoding: at the default level by ISA-L's
// deflate on several threads where the build has it, otherwise and at any other level by libpng.
#include "ImageIO.h"

#include <png.h>

#ifdef KCF_HAVE_ISAL
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <functional>
#include <new>
#include <thread>
#endif

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

#ifdef KCF_HAVE_ISAL
namespace {

// The filtered image is deflated in up to this many stripes, one thread each; a stripe is at least
// kLeastStripeBytes. The count follows the image alone, so that every machine writes the same bytes.
constexpr size_t kMostStripes = 8;
constexpr size_t kLeastStripeBytes = 64 * 1024;
// IDAT chunks of at most this much data, as encoders commonly write them.
constexpr size_t kIdatBytes = 1 << 20;

void PutBigEndian(unsigned char* out, uint32_t value)
{
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

// One chunk: its length, type, data and the CRC of type and data.
bool WriteChunk(AtomicFile& file, const char* type, const unsigned char* data, size_t size)
{
    unsigned char head[8], crc[4];
    PutBigEndian(head, static_cast<uint32_t>(size));
    std::memcpy(head + 4, type, 4);
    PutBigEndian(crc, crc32_gzip_refl(crc32_gzip_refl(0, head + 4, 4), data, size));
    return file.Write(head, sizeof head) && (size == 0 || file.Write(data, size)) && file.Write(crc, sizeof crc);
}

// A run of the filtered image deflated on its own, without the history of the runs before it: the
// blocks of all but the last end on a byte boundary (a full flush) and the last ends the stream, so
// that the stripes, in order, are one deflate stream.
struct Stripe {
    const unsigned char* in = nullptr;
    size_t size = 0;
    bool last = false;
    std::vector<unsigned char> out;
    bool ok = false;
};

void DeflateStripe(Stripe& s) noexcept
{
    try {
        s.out.resize(s.size + s.size / 16 + 1024);  // more than stored blocks of the stripe take
    } catch (const std::bad_alloc&) {
        return;
    }
    isal_zstream z;
    isal_deflate_stateless_init(&z);
    z.level = 1;
    z.flush = s.last ? NO_FLUSH : FULL_FLUSH;
    z.end_of_stream = s.last ? 1 : 0;
    z.next_in = const_cast<unsigned char*>(s.in);
    z.avail_in = static_cast<uint32_t>(s.size);
    z.next_out = s.out.data();
    z.avail_out = static_cast<uint32_t>(s.out.size());
    s.ok = isal_deflate_stateless(&z) == COMP_OK && z.avail_in == 0;
    s.out.resize(s.out.size() - z.avail_out);
}

// The default level, chosen for speed: every row filtered by Up (the row above subtracted, the
// cheapest filter that keeps what neighbouring rows share) and deflated by ISA-L's level 1 in
// stripes on several threads. It needs the filtered image and its deflated copy in memory at once.
// False when it wrote nothing (no room for that: libpng then writes the image row by row) or when
// writing failed (written).
bool EncodeFastPng(AtomicFile& file, const Image& image, int depth, bool& written)
{
    written = false;
    const size_t rowBytes = static_cast<size_t>(image.width) * 4 * (depth / 8);
    const size_t lineBytes = rowBytes + 1;
    const size_t total = lineBytes * static_cast<size_t>(image.height);
    std::vector<unsigned char> filtered, above, row;
    std::vector<Stripe> stripes(std::clamp<size_t>(total / kLeastStripeBytes, 1, kMostStripes));
    try {
        filtered.resize(total);
        above.assign(rowBytes, 0);
        row.resize(rowBytes);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int y = 0; y < image.height; ++y) {
        PackRow(image, y, 4, depth, row.data());
        unsigned char* line = &filtered[static_cast<size_t>(y) * lineBytes];
        line[0] = PNG_FILTER_VALUE_UP;
        for (size_t x = 0; x < rowBytes; ++x) line[1 + x] = static_cast<unsigned char>(row[x] - above[x]);
        row.swap(above);
    }

    const size_t share = total / stripes.size();
    for (size_t i = 0; i < stripes.size(); ++i) {
        stripes[i].in = filtered.data() + i * share;
        stripes[i].last = i + 1 == stripes.size();
        stripes[i].size = stripes[i].last ? total - i * share : share;
    }
    std::vector<std::thread> helpers;
    for (size_t i = 1; i < stripes.size(); ++i) {
        try {
            helpers.emplace_back(DeflateStripe, std::ref(stripes[i]));
        } catch (const std::exception&) {
            DeflateStripe(stripes[i]);  // no thread to be had: this one deflates it
        }
    }
    DeflateStripe(stripes[0]);
    for (std::thread& t : helpers) t.join();
    for (const Stripe& s : stripes)
        if (!s.ok) return false;

    written = true;
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char header[13] = {};
    PutBigEndian(header, static_cast<uint32_t>(image.width));
    PutBigEndian(header + 4, static_cast<uint32_t>(image.height));
    header[8] = static_cast<unsigned char>(depth);
    header[9] = PNG_COLOR_TYPE_RGB_ALPHA;  // compression, filter method and interlace: 0
    // The zlib stream: its header (deflate, 32 KB window, fastest), the stripes, the Adler-32.
    const unsigned char zlibHeader[2] = {0x78, 0x01};
    unsigned char adler[4];
    PutBigEndian(adler, isal_adler32(1, filtered.data(), total));
    bool ok = file.Write(signature, sizeof signature) && WriteChunk(file, "IHDR", header, sizeof header) &&
              WriteChunk(file, "IDAT", zlibHeader, sizeof zlibHeader);
    for (const Stripe& s : stripes)
        for (size_t at = 0; ok && at < s.out.size(); at += kIdatBytes)
            ok = WriteChunk(file, "IDAT", s.out.data() + at, std::min(kIdatBytes, s.out.size() - at));
    return ok && WriteChunk(file, "IDAT", adler, sizeof adler) && WriteChunk(file, "IEND", nullptr, 0);
}

}  // namespace
#endif

bool EncodePng(AtomicFile& file, const Image& image, const WriteOptions& options, std::string& error)
{
    const int level = options.compression < 0 ? kFastPngCompression : options.compression;
#ifdef KCF_HAVE_ISAL
    if (level == kFastPngCompression) {
        bool written = false;
        if (EncodeFastPng(file, image, options.depth == 8 ? 8 : 16, written)) return true;
        if (written) {
            error = "cannot write PNG: the write failed";
            return false;
        }
        // Nothing written (no room for the whole image at once): libpng streams it row by row.
    }
#endif
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
    png_set_compression_level(png, level);
    // At the default level one cheap filter, Up, rather than a search over all five on every row.
    if (level == kFastPngCompression) png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
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
