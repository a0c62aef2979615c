// The preview on Windows: the sample picture's pixels in, PreviewConvolve, and the result shown
// as a bitmap of the dialog's own in the picture control, so that it survives a repaint.
#include "FilterUi.h"

#include "Module.h"
#include "PreviewKernel.h"

#include <memory>
#include <new>

namespace {

// The picture control's own picture, and the preview shown in its place, as window properties.
constexpr const char* kOriginalProp = "KcfOriginalPicture";
constexpr const char* kPreviewProp = "KcfPreviewPicture";

BITMAPINFO TopDown32(int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// Reads a bitmap's pixels, row by row from the top; false when they cannot be had.
bool ReadPixels(HBITMAP bitmap, int width, int height, Rgb8* out)
{
    std::unique_ptr<RGBQUAD[]> quads(new (std::nothrow) RGBQUAD[static_cast<size_t>(width) * height]);
    if (!quads) return false;
    BITMAPINFO info = TopDown32(width, height);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, height, quads.get(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != height) return false;
    for (int i = 0; i < width * height; ++i) out[i] = {quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue};
    return true;
}

// A new bitmap holding the pixels, or null.
HBITMAP MakeBitmap(const Rgb8* pixels, int width, int height)
{
    BITMAPINFO info = TopDown32(width, height);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) {
        if (bitmap) DeleteObject(bitmap);
        return nullptr;
    }
    auto* quads = static_cast<RGBQUAD*>(bits);
    for (int i = 0; i < width * height; ++i) quads[i] = {pixels[i].b, pixels[i].g, pixels[i].r, 0};
    GdiFlush();
    return bitmap;
}

// Puts bitmap into the picture control and frees the preview it replaces.
void ShowPicture(HWND picture, HBITMAP bitmap, bool isPreview)
{
    if (!GetPropA(picture, kOriginalProp) && isPreview) {
        auto original = reinterpret_cast<HANDLE>(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
        if (original) SetPropA(picture, kOriginalProp, original);
    }
    SendMessageA(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
    HBITMAP oldPreview = static_cast<HBITMAP>(GetPropA(picture, kPreviewProp));
    if (isPreview) SetPropA(picture, kPreviewProp, bitmap);
    else RemovePropA(picture, kPreviewProp);
    if (oldPreview && oldPreview != bitmap) DeleteObject(oldPreview);
    InvalidateRect(picture, nullptr, TRUE);
}

}  // namespace

void PreviewKernel(HWND picture, int bitmapId, const PackedKernel& kernel)
{
    auto sample = static_cast<HBITMAP>(
        LoadImageA(ModuleInstance(), MAKEINTRESOURCEA(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!sample) return;
    BITMAP info = {};
    GetObjectA(sample, sizeof info, &info);
    const int width = info.bmWidth, height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
    const size_t count = static_cast<size_t>(width) * height;
    std::unique_ptr<Rgb8[]> in(new (std::nothrow) Rgb8[count]);
    std::unique_ptr<Rgb8[]> out(new (std::nothrow) Rgb8[count]);
    HBITMAP result = nullptr;
    if (in && out && width > 0 && height > 0 && ReadPixels(sample, width, height, in.get()) &&
        PreviewConvolve(in.get(), width, height, kernel.weights, kernel.size, kernel.divisor, kernel.offset,
                        kernel.invert, out.get()))
        result = MakeBitmap(out.get(), width, height);
    DeleteObject(sample);
    if (result) ShowPicture(picture, result, true);
}

void ReleasePreview(HWND picture)
{
    if (!GetPropA(picture, kPreviewProp)) return;
    ShowPicture(picture, static_cast<HBITMAP>(GetPropA(picture, kOriginalProp)), false);
    RemovePropA(picture, kOriginalProp);
}

void FitPictureToImage(HWND picture)
{
    auto image = reinterpret_cast<HBITMAP>(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP info = {};
    if (!image || !GetObjectA(image, sizeof info, &info)) return;
    RECT frame = {0, 0, info.bmWidth, info.bmHeight < 0 ? -info.bmHeight : info.bmHeight};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(picture, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongA(picture, GWL_EXSTYLE)));
    RECT now;
    GetWindowRect(picture, &now);
    MapWindowPoints(nullptr, GetParent(picture), reinterpret_cast<POINT*>(&now), 2);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    const int x = (now.left + now.right - width) / 2, y = (now.top + now.bottom - height) / 2;
    SetWindowPos(picture, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}
