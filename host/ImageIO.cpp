// Image files for vphost: format dispatch, the PAM codec, conversions, and safe output.
#include "ImageIO.h"

#include "HostPlatform.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

bool ReadFileBytes(const std::string& path, std::vector<unsigned char>& bytes, std::string& error)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    unsigned char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    if (std::ferror(file.get())) {
        error = path + ": read error";
        return false;
    }
    return true;
}

bool HasExtension(const std::string& path, const char* ext)
{
    const size_t n = std::strlen(ext);
    if (path.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(path[path.size() - n + i])) != ext[i]) return false;
    return true;
}

// One PAM header token: skips blanks and comment lines.
bool NextToken(const std::vector<unsigned char>& b, size_t& pos, std::string& token)
{
    token.clear();
    while (pos < b.size()) {
        if (b[pos] == '#') {
            while (pos < b.size() && b[pos] != '\n') ++pos;
        } else if (std::isspace(b[pos])) {
            ++pos;
        } else {
            break;
        }
    }
    while (pos < b.size() && !std::isspace(b[pos]) && token.size() < 64) token += static_cast<char>(b[pos++]);
    return !token.empty();
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

bool WritePam(std::FILE* file, const Image& image)
{
    std::fprintf(file, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n", image.width,
                 image.height);
    std::vector<unsigned char> row(static_cast<size_t>(image.width) * 8);
    for (int y = 0; y < image.height; ++y) {
        PackRow16(image, y, row.data());
        if (std::fwrite(row.data(), 1, row.size(), file) != row.size()) return false;
    }
    return true;
}

}  // namespace

void PackRow16(const Image& image, int y, unsigned char* row)
{
    const BMM_Color_64* p = image.pixels.data() + static_cast<size_t>(y) * image.width;
    for (int x = 0; x < image.width; ++x, ++p) {
        const uint16_t v[4] = {p->r, p->g, p->b, p->a};
        for (int c = 0; c < 4; ++c) {
            *row++ = static_cast<unsigned char>(v[c] >> 8);
            *row++ = static_cast<unsigned char>(v[c] & 0xFF);
        }
    }
}

bool DecodePam(const std::vector<unsigned char>& b, Raster& out, std::string& error)
{
    size_t pos = 0;
    std::string token;
    if (!NextToken(b, pos, token) || token != "P7") {
        error = "not a PAM file";
        return false;
    }
    long width = -1, height = -1, depth = -1, maxval = -1;
    for (;;) {
        if (!NextToken(b, pos, token)) {
            error = "PAM header ends before ENDHDR";
            return false;
        }
        if (token == "ENDHDR") break;
        long* field = token == "WIDTH" ? &width : token == "HEIGHT" ? &height : token == "DEPTH" ? &depth
                    : token == "MAXVAL" ? &maxval : nullptr;
        std::string value;
        if (!NextToken(b, pos, value)) {
            error = "PAM header ends inside " + token;
            return false;
        }
        if (field && !ParseHeaderNumber(value, *field)) {
            error = "PAM header: bad " + token + " value";
            return false;
        }
    }
    // The header ends with one newline after ENDHDR.
    if (pos >= b.size() || b[pos] != '\n') {
        error = "PAM header: ENDHDR is not followed by a newline";
        return false;
    }
    ++pos;
    if (!CheckSize(width, height, error)) return false;
    if (depth < 1 || depth > 4) {
        error = "PAM: DEPTH must be 1 to 4";
        return false;
    }
    if (maxval != 255 && maxval != 65535) {
        error = "PAM: MAXVAL must be 255 or 65535";
        return false;
    }
    const int bytesPerSample = maxval == 255 ? 1 : 2;
    const size_t count = static_cast<size_t>(width) * height * depth;
    if (b.size() - pos < count * bytesPerSample) {
        error = "PAM: the file is shorter than its header says";
        return false;
    }
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.channels = static_cast<int>(depth);
    out.bits = bytesPerSample * 8;
    out.samples.resize(count);
    for (size_t i = 0; i < count; ++i)
        out.samples[i] = bytesPerSample == 1 ? b[pos + i] : static_cast<uint16_t>(b[pos + 2 * i] << 8 | b[pos + 2 * i + 1]);
    return true;
}

bool DecodeImage(const std::vector<unsigned char>& bytes, Raster& out, std::string& error)
{
    static const unsigned char pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), pngSignature, 8) == 0) return DecodePng(bytes, out, error);
    if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '7') return DecodePam(bytes, out, error);
    error = "not a PNG or PAM image";
    return false;
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
        error = "an id image must be " + std::to_string(bits) + "-bit gray (this one is " + std::to_string(raster.bits) +
                "-bit with " + std::to_string(raster.channels) + " channels)";
        return false;
    }
    out.width = raster.width;
    out.height = raster.height;
    out.bits = bits;
    out.values = std::move(raster.samples);
    return true;
}

namespace {

bool ReadRaster(const std::string& path, Raster& raster, std::string& error)
{
    std::vector<unsigned char> bytes;
    if (!ReadFileBytes(path, bytes, error)) return false;
    if (DecodeImage(bytes, raster, error)) return true;
    error = path + ": " + error;
    return false;
}

}  // namespace

bool ReadImage(const std::string& path, Image& out, std::string& error)
{
    Raster raster;
    if (!ReadRaster(path, raster, error)) return false;
    RasterToImage(raster, out);
    return true;
}

bool ReadIdImage(const std::string& path, int bits, IdImage& out, std::string& error)
{
    Raster raster;
    if (!ReadRaster(path, raster, error)) return false;
    if (RasterToIds(std::move(raster), bits, out, error)) return true;
    error = path + ": " + error;
    return false;
}

bool WriteImage(const std::string& path, const Image& image, std::string& error)
{
    const bool pam = HasExtension(path, ".pam");
    if (!pam && !PngSupported()) {
        error = path + ": this build writes PAM only; name the output *.pam";
        return false;
    }
    const std::string temp = path + ".tmp" + std::to_string(ProcessId());
    std::FILE* file = std::fopen(temp.c_str(), "wb");
    if (!file) {
        error = path + ": cannot write: " + std::strerror(errno);
        return false;
    }
    bool ok = pam ? WritePam(file, image) : EncodePng(file, image, error);
    ok = (std::fflush(file) == 0) && ok;
    ok = (std::fclose(file) == 0) && ok;
    if (ok && ReplaceFileWith(temp, path)) return true;
    RemoveFile(temp);
    if (error.empty()) error = path + ": cannot write the file";
    else error = path + ": " + error;
    return false;
}
