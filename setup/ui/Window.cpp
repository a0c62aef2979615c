// Window wrappers: text of windows and list lines.
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

}  // namespace ui
