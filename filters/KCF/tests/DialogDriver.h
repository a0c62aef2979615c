// Drives a modal dialog from inside its own message loop, as a user would through its controls,
// and reads what the dialog shows. Windows tests only.
#pragma once

#include "PreviewKernel.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace dialogdriver {

struct Pending {
    std::string caption;
    std::function<void(HWND)> script;
    UINT_PTR timer = 0;
    DWORD started = 0;
    bool ran = false;
};

inline Pending& Current()
{
    static Pending pending;
    return pending;
}

inline HWND FindDialog(const std::string& caption)
{
    HWND found = FindWindowA("#32770", caption.c_str());
    DWORD pid = 0;
    if (found && GetWindowThreadProcessId(found, &pid) == GetCurrentThreadId() && IsWindowVisible(found)) return found;
    return nullptr;
}

inline void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
{
    Pending& p = Current();
    HWND dialog = FindDialog(p.caption);
    if (!dialog) {
        // A dialog that never shows fails the test rather than hanging it.
        if (GetTickCount() - p.started > 20000) {
            KillTimer(nullptr, p.timer);
            ADD_FAILURE() << "no dialog \"" << p.caption << "\" appeared";
        }
        return;
    }
    KillTimer(nullptr, p.timer);
    p.ran = true;
    p.script(dialog);
    // A script stopped by a failed assertion leaves the dialog open: close it.
    if (::testing::Test::HasFatalFailure() && IsWindow(dialog)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

}  // namespace dialogdriver

// Calls open, which runs a modal dialog titled caption, and runs script on that dialog once it is
// up, inside the dialog's own loop. script must close the dialog. Returns what open returned.
inline INT_PTR DriveDialog(const std::string& caption, const std::function<INT_PTR()>& open,
                           const std::function<void(HWND)>& script)
{
    auto& p = dialogdriver::Current();
    p.caption = caption;
    p.script = script;
    p.ran = false;
    p.started = GetTickCount();
    p.timer = SetTimer(nullptr, 0, 10, dialogdriver::Tick);
    const INT_PTR result = open();
    KillTimer(nullptr, p.timer);
    EXPECT_TRUE(p.ran) << "the script never ran on \"" << caption << "\"";
    return result;
}

inline void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

inline std::string Text(HWND window)
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

inline std::string ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }

inline void SetItemText(HWND dialog, int id, const std::string& text) { SetDlgItemTextA(dialog, id, text.c_str()); }

// Types text into a control that has the focus, replacing what it held.
inline void TypeInto(HWND dialog, int id, const std::string& text)
{
    HWND control = GetDlgItem(dialog, id);
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    SendMessageA(control, EM_SETSEL, 0, -1);
    SendMessageA(control, WM_CHAR, VK_BACK, 1);
    for (char c : text) SendMessageA(control, WM_CHAR, static_cast<unsigned char>(c), 1);
}

inline bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
inline bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

// The list box's items, top to bottom.
inline std::vector<std::string> ListItems(HWND list)
{
    std::vector<std::string> items;
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[512] = "";
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        items.emplace_back(text);
    }
    return items;
}

inline std::string SelectedItem(HWND list)
{
    const LRESULT i = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (i == LB_ERR) return "<none>";
    char text[512] = "";
    SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    return text;
}

// Clicks a list item with the mouse, so that the list box itself tells the dialog.
inline bool ClickListItem(HWND list, const std::string& text)
{
    const LRESULT i = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
    if (i == LB_ERR) return false;
    SendMessageA(list, LB_SETTOPINDEX, i, 0);
    RECT r;
    SendMessageA(list, LB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(list, WM_LBUTTONUP, 0, at);
    return true;
}

// A 32-bit top-down DIB description of width x height pixels.
inline BITMAPINFO TopDown32Info(int width, int height)
{
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    return bi;
}

// The pixels of a bitmap, top row first.
inline std::vector<Rgb8> BitmapPixels(HBITMAP bitmap, int& width, int& height)
{
    BITMAP info = {};
    GetObjectA(bitmap, sizeof info, &info);
    width = info.bmWidth;
    height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
    std::vector<RGBQUAD> quads(static_cast<size_t>(width) * height);
    BITMAPINFO bi = TopDown32Info(width, height);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, height, quads.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    std::vector<Rgb8> out;
    out.reserve(quads.size());
    for (const RGBQUAD& q : quads) out.push_back({q.rgbRed, q.rgbGreen, q.rgbBlue});
    return out;
}

// What a window shows on the screen now, inside its client area.
inline std::vector<Rgb8> ScreenPixels(HWND window, int width, int height)
{
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO bi = TopDown32Info(width, height);
    void* bits = nullptr;
    HBITMAP target = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, target);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
    std::vector<Rgb8> out;
    const auto* quads = static_cast<const RGBQUAD*>(bits);
    for (int i = 0; i < width * height; ++i) out.push_back({quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue});
    SelectObject(memory, old);
    DeleteObject(target);
    DeleteDC(memory);
    ReleaseDC(window, source);
    return out;
}

// A 24-bit BMP file's pixels, top row first (the sample picture, read without the window system).
inline bool ReadBmp24(const char* path, std::vector<Rgb8>& pixels, int& width, int& height)
{
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return false;
    std::vector<unsigned char> bytes;
    unsigned char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    auto u32 = [&](size_t at) { return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24; };
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M' || (bytes[28] | bytes[29] << 8) != 24) return false;
    const uint32_t offset = u32(10);
    width = static_cast<int>(u32(18));
    const int32_t rawHeight = static_cast<int32_t>(u32(22));
    height = rawHeight < 0 ? -rawHeight : rawHeight;
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    if (bytes.size() < offset + stride * height) return false;
    pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const int fileRow = rawHeight < 0 ? y : height - 1 - y;
        const unsigned char* row = bytes.data() + offset + fileRow * stride;
        for (int x = 0; x < width; ++x) pixels[y * width + x] = {row[3 * x + 2], row[3 * x + 1], row[3 * x]};
    }
    return true;
}
