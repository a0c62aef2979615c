// PNG for the Windows build through the system's imaging component (WIC): decoding into rows and
// 8- or 16-bit RGBA encoding, with no image library of our own.
#include "ImageIO.h"

#include <windows.h>

#include <initguid.h>
#include <objbase.h>
#include <wincodec.h>

#include <algorithm>
#include <cstring>

namespace {

// The most a deflate stream expands: 258 bytes from every two bits.
constexpr uint64_t kDeflateMaxRatio = 1032;
// The largest PNG file taken whole into memory for the codec.
constexpr uint64_t kMaxPngFileBytes = uint64_t(256) << 20;
// Rows handed to the encoder in one call.
constexpr int kRowsPerWrite = 64;

// COM for the length of one call, on this thread.
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope()
    {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    // RPC_E_CHANGED_MODE: the thread runs COM already, in the other model; it serves as well.
    bool Ready() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT hr_;
};

// An interface pointer released when it goes.
template <class T>
class Com {
public:
    Com() = default;
    ~Com()
    {
        if (p_) p_->Release();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** operator&() { return &p_; }
    T* operator->() const { return p_; }
    T* get() const { return p_; }

private:
    T* p_ = nullptr;
};

std::string Failure(const char* what, HRESULT hr)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s (WIC error 0x%08lX)", what, static_cast<unsigned long>(hr));
    return text;
}

bool MakeFactory(Com<IWICImagingFactory>& factory, std::string& error)
{
    const HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                        reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) error = Failure("the system's imaging component is not available", hr);
    return SUCCEEDED(hr);
}

// How a decoded format is taken: the format rows are copied in, with its channels and depth.
struct Layout {
    WICPixelFormatGUID format;
    int channels, bits;
    bool blueFirst;  // BGR(A) order in memory
};

Layout LayoutFor(const WICPixelFormatGUID& source)
{
    const auto is = [&](const GUID& g) { return IsEqualGUID(source, g) != 0; };
    if (is(GUID_WICPixelFormat16bppGray)) return {GUID_WICPixelFormat16bppGray, 1, 16, false};
    if (is(GUID_WICPixelFormatBlackWhite) || is(GUID_WICPixelFormat2bppGray) || is(GUID_WICPixelFormat4bppGray) ||
        is(GUID_WICPixelFormat8bppGray))
        return {GUID_WICPixelFormat8bppGray, 1, 8, false};
    if (is(GUID_WICPixelFormat48bppRGB)) return {GUID_WICPixelFormat48bppRGB, 3, 16, false};
    if (is(GUID_WICPixelFormat64bppRGBA)) return {GUID_WICPixelFormat64bppRGBA, 4, 16, false};
    if (is(GUID_WICPixelFormat24bppBGR)) return {GUID_WICPixelFormat24bppBGR, 3, 8, true};
    return {GUID_WICPixelFormat32bppBGRA, 4, 8, true};
}

}  // namespace

bool PngSupported() { return true; }
bool PngTakesCompressionLevel() { return false; }

bool DecodePng(ByteSource& source, RasterSink& sink, std::string& error)
{
    // The codec reads from memory: the signature already read, then the rest, as it arrives.
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> bytes(signature, signature + 8);
    for (;;) {
        const size_t held = bytes.size();
        if (held > kMaxPngFileBytes) {
            error = "the PNG file is larger than " + std::to_string(kMaxPngFileBytes >> 20) + " MiB";
            return false;
        }
        bytes.resize(held + (1 << 16));
        const size_t n = source.Read(bytes.data() + held, 1 << 16);
        bytes.resize(held + n);
        if (n == 0) break;
    }
    if (!source.error().empty()) {
        error = source.error();
        return false;
    }
    ComScope com;
    Com<IWICImagingFactory> factory;
    if (!com.Ready()) {
        error = "COM cannot start for the system's imaging component";
        return false;
    }
    if (!MakeFactory(factory, error)) return false;
    Com<IWICStream> stream;
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    HRESULT hr = factory->CreateStream(&stream);
    if (SUCCEEDED(hr)) hr = stream->InitializeFromMemory(bytes.data(), static_cast<DWORD>(bytes.size()));
    if (SUCCEEDED(hr)) hr = factory->CreateDecoder(GUID_ContainerFormatPng, nullptr, &decoder);
    if (SUCCEEDED(hr)) hr = decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand);
    if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, &frame);
    UINT width = 0, height = 0;
    WICPixelFormatGUID format{};
    if (SUCCEEDED(hr)) hr = frame->GetSize(&width, &height);
    if (SUCCEEDED(hr)) hr = frame->GetPixelFormat(&format);
    if (FAILED(hr)) {
        error = Failure("bad PNG", hr);
        return false;
    }
    if (width < 1 || height < 1 || width > unsigned(kMaxImageSide) || height > unsigned(kMaxImageSide) ||
        int64_t(width) * height > kMaxImagePixels) {
        error = "the image is too large (" + std::to_string(width) + "x" + std::to_string(height) + ")";
        return false;
    }
    const Layout layout = LayoutFor(format);
    Com<IWICFormatConverter> converter;
    IWICBitmapSource* rows = frame.get();
    if (!IsEqualGUID(format, layout.format)) {
        hr = factory->CreateFormatConverter(&converter);
        if (SUCCEEDED(hr))
            hr = converter->Initialize(frame.get(), layout.format, WICBitmapDitherTypeNone, nullptr, 0.0,
                                       WICBitmapPaletteTypeCustom);
        if (FAILED(hr)) {
            error = Failure("the PNG's pixel format cannot be converted", hr);
            return false;
        }
        rows = converter.get();
    }
    // Never room for more rows than the file's data can inflate to.
    const size_t rowBytes = size_t(width) * layout.channels * (layout.bits / 8);
    const uint64_t rowsBound = uint64_t(bytes.size()) * kDeflateMaxRatio / (rowBytes + 1) + 1;
    if (!sink.Begin({int(width), int(height), layout.channels, layout.bits}, int(std::min<uint64_t>(rowsBound, height)),
                    error))
        return false;
    std::vector<unsigned char> row(rowBytes);
    std::vector<uint16_t> samples(size_t(width) * layout.channels);
    for (UINT y = 0; y < height; ++y) {
        const WICRect rect = {0, INT(y), INT(width), 1};
        hr = rows->CopyPixels(&rect, static_cast<UINT>(rowBytes), static_cast<UINT>(rowBytes), row.data());
        if (FAILED(hr)) {
            error = Failure("bad PNG", hr);
            return false;
        }
        // WIC keeps 16-bit samples in the machine's order, little-endian.
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = layout.bits == 8 ? row[i] : static_cast<uint16_t>(row[2 * i] | row[2 * i + 1] << 8);
        if (layout.blueFirst)
            for (size_t i = 0; i < samples.size(); i += layout.channels) std::swap(samples[i], samples[i + 2]);
        sink.Row(samples.data());
    }
    return true;
}

namespace {

// Encodes image as a PNG into png. sixteen: 16-bit RGBA, handed over little-endian unless
// bigEndian; otherwise 8-bit BGRA.
bool EncodeToMemory(IWICImagingFactory* factory, const Image& image, bool sixteen, bool bigEndian,
                    std::vector<unsigned char>& png, std::string& error)
{
    const WICPixelFormatGUID wanted = sixteen ? GUID_WICPixelFormat64bppRGBA : GUID_WICPixelFormat32bppBGRA;
    WICPixelFormatGUID format = wanted;
    Com<IStream> stream;
    Com<IWICBitmapEncoder> encoder;
    Com<IWICBitmapFrameEncode> frame;
    Com<IPropertyBag2> properties;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    if (SUCCEEDED(hr)) hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(&frame, &properties);
    if (SUCCEEDED(hr)) hr = frame->Initialize(properties.get());
    if (SUCCEEDED(hr)) hr = frame->SetSize(UINT(image.width), UINT(image.height));
    if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
    if (FAILED(hr)) {
        error = Failure("the system's PNG encoder cannot start", hr);
        return false;
    }
    if (!IsEqualGUID(format, wanted)) {
        error = std::string("the system's PNG encoder does not write ") + (sixteen ? "16" : "8") +
                "-bit RGBA; write *.pam, or --depth " + (sixteen ? "8" : "16");
        return false;
    }
    const size_t rowBytes = size_t(image.width) * (sixteen ? 8 : 4);
    std::vector<unsigned char> rows(rowBytes * kRowsPerWrite);
    for (int y = 0; y < image.height && SUCCEEDED(hr); y += kRowsPerWrite) {
        const int count = std::min(kRowsPerWrite, image.height - y);
        for (int i = 0; i < count; ++i) {
            unsigned char* row = rows.data() + rowBytes * i;
            PackRow(image, y + i, 4, sixteen ? 16 : 8, row);  // big-endian RGBA
            if (sixteen && !bigEndian) {
                for (size_t b = 0; b < rowBytes; b += 2) std::swap(row[b], row[b + 1]);
            } else if (!sixteen) {
                for (size_t b = 0; b < rowBytes; b += 4) std::swap(row[b], row[b + 2]);  // BGRA
            }
        }
        hr = frame->WritePixels(UINT(count), UINT(rowBytes), UINT(rowBytes * count), rows.data());
    }
    if (SUCCEEDED(hr)) hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    STATSTG stat{};
    if (SUCCEEDED(hr)) hr = stream->Stat(&stat, STATFLAG_NONAME);
    HGLOBAL memory = nullptr;
    if (SUCCEEDED(hr)) hr = GetHGlobalFromStream(stream.get(), &memory);
    if (FAILED(hr)) {
        error = Failure("the system's PNG encoder failed", hr);
        return false;
    }
    const auto* data = static_cast<const unsigned char*>(GlobalLock(memory));
    if (!data || stat.cbSize.QuadPart > GlobalSize(memory)) {
        if (data) GlobalUnlock(memory);
        error = "the encoded PNG cannot be read back from memory";
        return false;
    }
    png.assign(data, data + static_cast<size_t>(stat.cbSize.QuadPart));
    GlobalUnlock(memory);
    return true;
}

// Whether the encoder takes 16-bit samples big-endian. Windows keeps them little-endian, and so
// does every decoder; Wine's PNG encoder takes them big-endian. Told once, by a pixel that goes
// through the encoder and back through the decoder.
bool EncoderTakesBigEndian(IWICImagingFactory* factory)
{
    static int answer = -1;
    if (answer < 0) {
        Image probe;
        probe.width = probe.height = 1;
        probe.pixels = {{0x0102, 0x0304, 0x0506, 0x0708}};
        std::vector<unsigned char> png;
        Raster back;
        std::string error;
        answer = EncodeToMemory(factory, probe, true, false, png, error) && DecodeImage(png, back, error) &&
                 back.samples.size() == 4 && back.samples[0] == 0x0201;
    }
    return answer == 1;
}

}  // namespace

bool EncodePng(AtomicFile& file, const Image& image, const WriteOptions& options, std::string& error)
{
    ComScope com;
    if (!com.Ready()) {
        error = "COM cannot start for the system's imaging component";
        return false;
    }
    Com<IWICImagingFactory> factory;
    if (!MakeFactory(factory, error)) return false;
    const bool sixteen = options.depth != 8;
    std::vector<unsigned char> png;
    if (!EncodeToMemory(factory.get(), image, sixteen, sixteen && EncoderTakesBigEndian(factory.get()), png, error))
        return false;
    file.Write(png.data(), png.size());  // a failed write makes Commit fail and say why
    return true;
}
