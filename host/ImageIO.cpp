// Image files for vphost: format dispatch, the PAM codec, streamed reading into frames and id
// channels, and output through an atomic replace.
#include "ImageIO.h"

#include "HostPlatform.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

bool ReadNetpbmRaster(ByteSource& source, RasterSink& sink, long width, long height, long depth, long maxval,
                      const char* format, std::string& error);

constexpr size_t kPamHeaderLimit = 64 * 1024;
// Room taken at first for an input that does not tell its size.
constexpr uint64_t kFirstRoomBytes = 1 << 20;

bool HasExtension(const std::string& path, const char* ext)
{
    const size_t n = std::strlen(ext);
    if (path.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(path[path.size() - n + i])) != ext[i]) return false;
    return true;
}

// Reads one PAM header token into token; blanks and comment lines before it are skipped. last
// gets the byte that ended it (-1 at the end of the input).
bool NextToken(ByteSource& source, size_t& headerBytes, std::string& token, int& last)
{
    token.clear();
    bool comment = false;
    for (;;) {
        unsigned char c;
        if (headerBytes >= kPamHeaderLimit || source.Read(&c, 1) != 1) {
            last = -1;
            return !token.empty();
        }
        ++headerBytes;
        if (comment) {
            comment = c != '\n';
        } else if (std::isspace(c)) {
            if (!token.empty()) {
                last = c;
                return true;
            }
        } else if (c == '#' && token.empty()) {
            comment = true;
        } else {
            token += static_cast<char>(c);
            if (token.size() > 64) {
                last = -1;
                return false;
            }
        }
    }
}

bool ParseHeaderNumber(const std::string& text, long& value)
{
    if (text.empty() || text.size() > 9) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

bool CheckSize(long width, long height, std::string& error)
{
    if (width < 1 || height < 1) {
        error = "the image has no pixels";
        return false;
    }
    if (width > kMaxImageSide || height > kMaxImageSide || int64_t(width) * height > kMaxImagePixels) {
        error = "the image is too large (" + std::to_string(width) + "x" + std::to_string(height) + ")";
        return false;
    }
    return true;
}

// Makes room for one more row of perRow values, never for more rows than the image has: at most
// double what is held, so memory follows the rows that have arrived.
template <class T>
T* AppendRow(std::vector<T>& values, size_t perRow, size_t rows)
{
    const size_t held = values.size();
    if (held + perRow > values.capacity())
        values.reserve(std::min(perRow * rows, std::max(held + perRow, values.capacity() * 2)));
    values.resize(held + perRow);
    return values.data() + held;
}

std::string IdDepthError(int bits, int haveBits, int haveChannels)
{
    return "an id image must be " + std::to_string(bits) + "-bit gray (this one is " + std::to_string(haveBits) +
           "-bit with " + std::to_string(haveChannels) + " channels)";
}

// Decoded samples kept as they are.
class RasterStore : public RasterSink {
public:
    explicit RasterStore(Raster& raster) : r_(raster) {}
    bool Begin(const RasterLayout& l, int rowsBound, std::string&) override
    {
        r_ = Raster{l.width, l.height, l.channels, l.bits, {}};
        r_.samples.reserve(PerRow() * rowsBound);
        return true;
    }
    void Row(const uint16_t* samples) override
    {
        std::copy(samples, samples + PerRow(), AppendRow(r_.samples, PerRow(), r_.height));
    }

private:
    size_t PerRow() const { return size_t(r_.width) * r_.channels; }
    Raster& r_;
};

// Decoded rows straight into a host frame.
class FrameSink : public RasterSink {
public:
    explicit FrameSink(Image& image) : image_(image) {}
    bool Begin(const RasterLayout& l, int rowsBound, std::string&) override
    {
        layout_ = l;
        image_ = Image{};
        image_.width = l.width;
        image_.height = l.height;
        image_.pixels.reserve(size_t(l.width) * rowsBound);
        return true;
    }
    void Row(const uint16_t* s) override
    {
        const uint16_t scale = layout_.bits == 8 ? 257 : 1;
        const auto v = [&](int c) { return static_cast<uint16_t>(s[c] * scale); };
        BMM_Color_64* p = AppendRow(image_.pixels, size_t(layout_.width), layout_.height);
        for (int x = 0; x < layout_.width; ++x, ++p, s += layout_.channels) {
            switch (layout_.channels) {
            case 1: *p = {v(0), v(0), v(0), 65535}; break;
            case 2: *p = {v(0), v(0), v(0), v(1)}; break;
            case 3: *p = {v(0), v(1), v(2), 65535}; break;
            default: *p = {v(0), v(1), v(2), v(3)}; break;
            }
        }
    }
    const RasterLayout& layout() const { return layout_; }

private:
    Image& image_;
    RasterLayout layout_;
};

// Decoded rows as an id channel of one bit depth; anything else is refused before any room is taken.
class IdSink : public RasterSink {
public:
    IdSink(IdImage& ids, int bits) : ids_(ids), bits_(bits) {}
    bool Begin(const RasterLayout& l, int rowsBound, std::string& error) override
    {
        layout_ = l;
        if (l.channels != 1 || l.bits != bits_) {
            error = IdDepthError(bits_, l.bits, l.channels);
            return false;
        }
        ids_ = IdImage{l.width, l.height, bits_, {}};
        ids_.values.reserve(size_t(l.width) * rowsBound);
        return true;
    }
    void Row(const uint16_t* samples) override
    {
        std::copy(samples, samples + ids_.width, AppendRow(ids_.values, size_t(ids_.width), ids_.height));
    }
    const RasterLayout& layout() const { return layout_; }

private:
    IdImage& ids_;
    int bits_;
    RasterLayout layout_;
};

// PAM (RGBA), PPM (RGB) or PGM (gray) at the depth asked for.
void WriteNetpbm(AtomicFile& file, const Image& image, int channels, int depth)
{
    char header[160];
    const int maxval = depth == 8 ? 255 : 65535;
    const int n = channels == 4 ? std::snprintf(header, sizeof header,
                                                "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL %d\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
                                                image.width, image.height, maxval)
                                : std::snprintf(header, sizeof header, "P%c\n%d %d\n%d\n", channels == 1 ? '5' : '6',
                                                image.width, image.height, maxval);
    file.Write(header, static_cast<size_t>(n));
    std::vector<unsigned char> row(static_cast<size_t>(image.width) * channels * (depth / 8));
    for (int y = 0; y < image.height && !file.Failed(); ++y) {
        PackRow(image, y, channels, depth, row.data());
        file.Write(row.data(), row.size());
    }
}

// The number of channels a netpbm name is written with; 0 for any other name.
int NetpbmChannels(const std::string& path)
{
    return HasExtension(path, ".pam") ? 4 : HasExtension(path, ".ppm") ? 3 : HasExtension(path, ".pgm") ? 1 : 0;
}

// Reads path through sink, with the reason prefixed by path on failure; running out of memory is
// one of the reasons.
template <class Sink>
bool ReadThrough(const std::string& path, Sink& sink, std::string& error)
{
    FileSource source;
    if (!source.Open(path, error)) return false;
    bool ok;
    try {
        ok = DecodeImage(source, sink, error);
    } catch (const std::bad_alloc&) {
        const RasterLayout& l = sink.layout();
        error = "not enough memory for a " + std::to_string(l.width) + "x" + std::to_string(l.height) + " image";
        ok = false;
    }
    if (!ok) error = path + ": " + error;
    return ok;
}

}  // namespace

FileSource::~FileSource()
{
    if (file_) std::fclose(file_);
}

bool FileSource::Open(const std::string& path, std::string& error)
{
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    size_ = RegularFileSize(file_);
    return true;
}

size_t FileSource::Read(unsigned char* out, size_t size)
{
    const size_t n = std::fread(out, 1, size, file_);
    consumed_ += n;
    if (n < size && std::ferror(file_) && error_.empty()) error_ = std::string("read error: ") + std::strerror(errno);
    return n;
}

uint64_t FileSource::Remaining() const
{
    return size_ == kUnknown ? kUnknown : size_ > consumed_ ? size_ - consumed_ : 0;
}

size_t MemorySource::Read(unsigned char* out, size_t size)
{
    const size_t n = std::min(size, bytes_.size() - pos_);
    if (n) std::memcpy(out, bytes_.data() + pos_, n);
    pos_ += n;
    return n;
}

void PackRow(const Image& image, int y, int channels, int depth, unsigned char* row)
{
    const BMM_Color_64* p = image.pixels.data() + static_cast<size_t>(y) * image.width;
    for (int x = 0; x < image.width; ++x, ++p) {
        uint16_t v[4] = {p->r, p->g, p->b, p->a};
        if (channels == 1 && !(p->r == p->g && p->g == p->b))
            v[0] = static_cast<uint16_t>((uint64_t(p->r) * 299 + uint64_t(p->g) * 587 + uint64_t(p->b) * 114 + 500) / 1000);
        for (int c = 0; c < channels; ++c) {
            if (depth == 8) {
                *row++ = static_cast<unsigned char>(EightBitLevel(v[c]));
            } else {
                *row++ = static_cast<unsigned char>(v[c] >> 8);
                *row++ = static_cast<unsigned char>(v[c] & 0xFF);
            }
        }
    }
}

bool DecodePam(ByteSource& source, RasterSink& sink, std::string& error)
{
    size_t headerBytes = 2;
    std::string token;
    int last = 0;
    unsigned char c;
    if (source.Read(&c, 1) != 1 || !std::isspace(c)) {
        error = "not a PAM file";
        return false;
    }
    ++headerBytes;
    long width = -1, height = -1, depth = -1, maxval = -1;
    for (;;) {
        if (!NextToken(source, headerBytes, token, last)) {
            error = token.size() > 64                ? "PAM header: a word longer than 64 characters"
                  : headerBytes >= kPamHeaderLimit ? "PAM header longer than 64 KiB"
                                                   : "PAM header ends before ENDHDR";
            return false;
        }
        if (token == "ENDHDR") break;
        long* field = token == "WIDTH" ? &width : token == "HEIGHT" ? &height : token == "DEPTH" ? &depth
                    : token == "MAXVAL" ? &maxval : nullptr;
        std::string value;
        if (last < 0 || !NextToken(source, headerBytes, value, last)) {
            error = "PAM header ends inside " + token;
            return false;
        }
        if (field && !ParseHeaderNumber(value, *field)) {
            error = "PAM header: bad " + token + " value";
            return false;
        }
    }
    // The header ends with one newline after ENDHDR.
    if (last != '\n') {
        error = "PAM header: ENDHDR is not followed by a newline";
        return false;
    }
    if (!CheckSize(width, height, error)) return false;
    if (depth < 1 || depth > 4) {
        error = "PAM: DEPTH must be 1 to 4";
        return false;
    }
    if (maxval != 255 && maxval != 65535) {
        error = "PAM: MAXVAL must be 255 or 65535";
        return false;
    }
    return ReadNetpbmRaster(source, sink, width, height, depth, maxval, "PAM", error);
}

bool DecodePnm(ByteSource& source, int channels, RasterSink& sink, std::string& error)
{
    const char* const format = channels == 1 ? "PGM" : "PPM";
    size_t headerBytes = 2;
    long values[3];
    std::string token;
    int last = 0;
    // Width, height and maxval, each ended by a blank; one blank byte before the samples.
    for (long& value : values) {
        if (!NextToken(source, headerBytes, token, last) || last < 0 || !ParseHeaderNumber(token, value)) {
            error = std::string(format) + " header: a width, height and maxval are expected";
            return false;
        }
    }
    if (!CheckSize(values[0], values[1], error)) return false;
    if (values[2] != 255 && values[2] != 65535) {
        error = std::string(format) + ": maxval must be 255 or 65535";
        return false;
    }
    return ReadNetpbmRaster(source, sink, values[0], values[1], channels, values[2], format, error);
}

namespace {

bool ReadNetpbmRaster(ByteSource& source, RasterSink& sink, long width, long height, long depth, long maxval,
                      const char* format, std::string& error)
{
    const int bytesPerSample = maxval == 255 ? 1 : 2;
    const size_t perRow = static_cast<size_t>(width) * depth;
    const size_t rowBytes = perRow * bytesPerSample;
    const uint64_t remaining = source.Remaining();
    const std::string shortFile = std::string(format) + ": the file is shorter than its header says";
    if (remaining != ByteSource::kUnknown && remaining < uint64_t(rowBytes) * height) {
        error = shortFile;
        return false;
    }
    const uint64_t rowsBound = remaining != ByteSource::kUnknown ? uint64_t(height)
                                                                  : std::max<uint64_t>(1, kFirstRoomBytes / rowBytes);
    if (!sink.Begin({int(width), int(height), int(depth), bytesPerSample * 8},
                    int(std::min<uint64_t>(rowsBound, uint64_t(height))), error))
        return false;
    std::vector<unsigned char> bytes(rowBytes);
    std::vector<uint16_t> samples(perRow);
    for (long y = 0; y < height; ++y) {
        if (source.Read(bytes.data(), rowBytes) != rowBytes) {
            error = source.error().empty() ? shortFile : source.error();
            return false;
        }
        for (size_t i = 0; i < perRow; ++i)
            samples[i] = bytesPerSample == 1 ? bytes[i] : static_cast<uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
        sink.Row(samples.data());
    }
    return true;
}

}  // namespace

bool DecodeImage(ByteSource& source, RasterSink& sink, std::string& error)
{
    static const unsigned char pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char head[8];
    size_t n = source.Read(head, 2);
    if (n == 2 && head[0] == 'P' && head[1] == '7') return DecodePam(source, sink, error);
    if (n == 2 && head[0] == 'P' && (head[1] == '5' || head[1] == '6')) {
        unsigned char c;
        if (source.Read(&c, 1) != 1 || !std::isspace(c)) {
            error = "not a PGM or PPM file";
            return false;
        }
        return DecodePnm(source, head[1] == '5' ? 1 : 3, sink, error);
    }
    if (n == 2) n += source.Read(head + 2, 6);
    if (n == 8 && std::memcmp(head, pngSignature, 8) == 0) return DecodePng(source, sink, error);
    error = source.error().empty() ? "not a PNG, PAM, PGM or PPM image" : source.error();
    return false;
}

bool DecodeImage(const std::vector<unsigned char>& bytes, Raster& out, std::string& error)
{
    MemorySource source(bytes);
    RasterStore store(out);
    return DecodeImage(source, store, error);
}

void RasterToImage(const Raster& raster, Image& out)
{
    const int scale = raster.bits == 8 ? 257 : 1;
    out.width = raster.width;
    out.height = raster.height;
    out.pixels.resize(static_cast<size_t>(raster.width) * raster.height);
    const uint16_t* s = raster.samples.data();
    for (BMM_Color_64& p : out.pixels) {
        const auto v = [&](int c) { return static_cast<uint16_t>(s[c] * scale); };
        switch (raster.channels) {
        case 1: p = {v(0), v(0), v(0), 65535}; break;
        case 2: p = {v(0), v(0), v(0), v(1)}; break;
        case 3: p = {v(0), v(1), v(2), 65535}; break;
        default: p = {v(0), v(1), v(2), v(3)}; break;
        }
        s += raster.channels;
    }
}

bool RasterToIds(Raster raster, int bits, IdImage& out, std::string& error)
{
    if (raster.channels != 1 || raster.bits != bits) {
        error = IdDepthError(bits, raster.bits, raster.channels);
        return false;
    }
    out.width = raster.width;
    out.height = raster.height;
    out.bits = bits;
    out.values = std::move(raster.samples);
    return true;
}

bool ReadImage(const std::string& path, Image& out, std::string& error)
{
    FrameSink sink(out);
    return ReadThrough(path, sink, error);
}

bool ReadIdImage(const std::string& path, int bits, IdImage& out, std::string& error)
{
    IdSink sink(out, bits);
    return ReadThrough(path, sink, error);
}

bool CanWriteImage(const std::string& path, std::string& error)
{
    if (NetpbmChannels(path) || (HasExtension(path, ".png") && PngSupported())) return true;
    error = path + ": this build writes " + (PngSupported() ? "*.png, " : "") +
            "*.pam, *.ppm and *.pgm; the name says none of them";
    return false;
}

bool WriteImage(const std::string& path, const Image& image, std::string& error)
{
    return WriteImage(path, image, WriteOptions{}, error);
}

bool WriteImage(const std::string& path, const Image& image, const WriteOptions& options, std::string& error)
{
    if (!CanWriteImage(path, error)) return false;
    const int channels = NetpbmChannels(path);
    AtomicFile file;
    if (!file.Open(path, error)) return false;
    std::string why;
    bool encoded = true;
    if (channels) WriteNetpbm(file, image, channels, options.depth);
    else encoded = EncodePng(file, image, options, why);
    // A failed write is Commit's to report; an encoder's own failure is reported here.
    if (encoded || file.Failed()) return file.Commit(error) && encoded;
    file.Abandon();
    error = path + ": " + why;
    return false;
}
