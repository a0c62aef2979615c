// Window wrappers: text of windows, list lines and the width a list scrolls over.
#include "Window.h"

#include <vector>

namespace ui {

std::string Window::Text() const
{
    const int length = GetWindowTextLengthA(hwnd_);
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    const int got = GetWindowTextA(hwnd_, buffer.data(), length + 1);
    return std::string(buffer.data(), got > 0 ? static_cast<size_t>(got) : 0);
}

std::string ListBox::Line(int index) const
{
    const LRESULT length = SendMessageA(hwnd_, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR) return {};
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    const LRESULT got = SendMessageA(hwnd_, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    return got == LB_ERR ? std::string() : std::string(buffer.data(), static_cast<size_t>(got));
}

void ListBox::ScrollToFit(const std::string& text) const
{
    HDC dc = GetDC(hwnd_);
    if (!dc) return;
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageA(hwnd_, WM_GETFONT, 0, 0));
    HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
    SIZE size{};
    const BOOL measured = GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    if (old) SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    // A little room on the right, so that the last character does not touch the border.
    const LONG wanted = size.cx + 2 * GetSystemMetrics(SM_CXEDGE);
    if (measured && wanted > SendMessageA(hwnd_, LB_GETHORIZONTALEXTENT, 0, 0))
        SendMessageA(hwnd_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(wanted), 0);
}

}  // namespace ui
