// PNG decoding, streamed row by row, and 8- or 16-bit RGBA encoding: at the default level by ISA-L's
// deflate on several threads where the build has it, otherwise and at any other level by libpng.
#include "ImageIO.h"

#include <png.h>

#ifdef KCF_HAVE_ISAL
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <functional>
#include <memory>
#include <new>
#include <system_error>
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

// The messages of failures that libpng reports by longjmp, built out of line: a string made in the
// function that called setjmp is one the compiler warns may be clobbered.
[[gnu::noinline]] void SayWhy(std::string& error, const char* prefix, const char* why)
{
    error = prefix;
    error += why;
}

// The input's own failure when it had one (a read error), else libpng's word on the file.
[[gnu::noinline]] void SayWhyNotRead(std::string& error, const ByteSource& source, const char* why)
{
    error = source.error();
    if (error.empty()) SayWhy(error, "bad PNG: ", why);
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
        SayWhyNotRead(error, source, message.message);
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

// The image is filtered and deflated in stripes of rows of about kStripeBytes, up to kThreads at
// a time, each on a thread of its own; their buffers serve stripe after stripe. The stripes follow
// the image alone, so that every machine writes the same bytes.
constexpr size_t kStripeBytes = 1 << 20;
constexpr size_t kThreads = 8;

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

// A run of whole rows, filtered and deflated on its own, without the history of the rows before it:
// the blocks of all but the image's last stripe end on a byte boundary (a full flush) and the last
// ends the stream, so that the stripes, in order, are one deflate stream.
struct Stripe {
    int firstRow = 0, rows = 0;
    bool last = false;
    std::unique_ptr<unsigned char[]> filtered, out, packed;  // taken at the first stripe, then reused
    size_t outBytes = 0;
    uint32_t adler = 1;  // of the stripe's filtered bytes
    bool ok = false;
};

// Filters the stripe's rows by Up (the row above subtracted: the cheapest filter that keeps what
// neighbouring rows share) and deflates them at ISA-L's level 1. mostRows: the most a stripe holds.
void DeflateStripe(const Image& image, int depth, int mostRows, Stripe& s) noexcept
{
    const size_t rowBytes = static_cast<size_t>(image.width) * 4 * (depth / 8);
    const size_t lineBytes = rowBytes + 1;
    const size_t most = lineBytes * static_cast<size_t>(mostRows);
    const size_t room = most + most / 16 + 1024;  // more than stored blocks of a stripe take
    s.ok = false;
    if (!s.filtered) s.filtered.reset(new (std::nothrow) unsigned char[most]);
    if (!s.out) s.out.reset(new (std::nothrow) unsigned char[room]);
    if (!s.packed) s.packed.reset(new (std::nothrow) unsigned char[2 * rowBytes]);
    if (!s.filtered || !s.out || !s.packed) return;

    unsigned char *current = s.packed.get(), *above = s.packed.get() + rowBytes;
    if (s.firstRow > 0) PackRow(image, s.firstRow - 1, 4, depth, above);
    else std::memset(above, 0, rowBytes);
    for (int i = 0; i < s.rows; ++i) {
        PackRow(image, s.firstRow + i, 4, depth, current);
        unsigned char* line = s.filtered.get() + static_cast<size_t>(i) * lineBytes;
        line[0] = PNG_FILTER_VALUE_UP;
        for (size_t x = 0; x < rowBytes; ++x) line[1 + x] = static_cast<unsigned char>(current[x] - above[x]);
        std::swap(current, above);
    }
    const size_t size = lineBytes * static_cast<size_t>(s.rows);
    s.adler = isal_adler32(1, s.filtered.get(), size);

    isal_zstream z;
    isal_deflate_stateless_init(&z);
    z.level = 1;
    z.flush = s.last ? NO_FLUSH : FULL_FLUSH;
    z.end_of_stream = s.last ? 1 : 0;
    z.next_in = s.filtered.get();
    z.avail_in = static_cast<uint32_t>(size);
    z.next_out = s.out.get();
    z.avail_out = static_cast<uint32_t>(room);
    s.ok = isal_deflate_stateless(&z) == COMP_OK && z.avail_in == 0;
    s.outBytes = room - z.avail_out;
}

// The default level, chosen for speed. False when it wrote nothing (no room for the stripes'
// buffers: libpng then writes the image row by row) or when writing failed (written).
bool EncodeFastPng(AtomicFile& file, const Image& image, int depth, bool& written)
{
    written = false;
    if (image.width < 1 || image.height < 1) return false;  // libpng refuses it, and says why
    const size_t lineBytes = static_cast<size_t>(image.width) * 4 * (depth / 8) + 1;
    const int mostRows = static_cast<int>(std::clamp<size_t>(kStripeBytes / lineBytes, 1, size_t(image.height)));
    std::vector<Stripe> stripes(kThreads);
    uLong adlerOfAll = 1;
    bool ok = true;
    for (int y = 0; ok && y < image.height;) {
        // A round: up to one stripe a thread, the first on this one; then written in order.
        size_t count = 0;
        for (; count < stripes.size() && y < image.height; ++count) {
            Stripe& s = stripes[count];
            s.firstRow = y;
            s.rows = std::min(mostRows, image.height - y);
            y += s.rows;
            s.last = y == image.height;
        }
        std::vector<std::thread> helpers;
        for (size_t i = 1; i < count; ++i) {
            try {
                helpers.emplace_back(DeflateStripe, std::cref(image), depth, mostRows, std::ref(stripes[i]));
            } catch (const std::system_error&) {
                DeflateStripe(image, depth, mostRows, stripes[i]);  // no thread to be had: this one does it
            }
        }
        DeflateStripe(image, depth, mostRows, stripes[0]);
        for (std::thread& t : helpers) t.join();
        for (size_t i = 0; i < count; ++i)
            if (!stripes[i].ok) return false;  // only the first round takes memory, before anything is written

        if (!written) {
            written = true;
            static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
            unsigned char header[13] = {};
            PutBigEndian(header, static_cast<uint32_t>(image.width));
            PutBigEndian(header + 4, static_cast<uint32_t>(image.height));
            header[8] = static_cast<unsigned char>(depth);
            header[9] = PNG_COLOR_TYPE_RGB_ALPHA;  // compression, filter method and interlace: 0
            // The zlib stream's header: deflate, a 32 KB window, the fastest level.
            const unsigned char zlibHeader[2] = {0x78, 0x01};
            ok = file.Write(signature, sizeof signature) && WriteChunk(file, "IHDR", header, sizeof header) &&
                 WriteChunk(file, "IDAT", zlibHeader, sizeof zlibHeader);
        }
        for (size_t i = 0; ok && i < count; ++i) {
            const Stripe& s = stripes[i];
            adlerOfAll = adler32_combine(adlerOfAll, s.adler, static_cast<z_off_t>(lineBytes * size_t(s.rows)));
            ok = WriteChunk(file, "IDAT", s.out.get(), s.outBytes);
        }
    }
    unsigned char adler[4];  // the zlib stream's end: the Adler-32 of every filtered byte
    PutBigEndian(adler, static_cast<uint32_t>(adlerOfAll));
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
        // Nothing written (no room for the stripes' buffers): libpng streams it row by row.
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
        SayWhy(error, "cannot write PNG: ", sink.message);
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
