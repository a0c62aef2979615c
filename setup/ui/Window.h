// The thin window wrappers of the installer's dialog framework: a window handle and what callers need of it.
#pragma once

#include <windows.h>

#include <string>

namespace ui {

class Window {
public:
    virtual ~Window() = default;
    HWND Handle() const { return hwnd_; }
    std::string Text() const;
    void SetText(const std::string& text) const { SetWindowTextA(hwnd_, text.c_str()); }
    // Attaches a dialog control; subclassed controls override it to hook their procedure.
    virtual void Attach(HWND hwnd) { hwnd_ = hwnd; }
    // Sees every message for this window before the dialog does; true when it consumed it.
    virtual bool PreTranslateMessage(MSG&) { return false; }
    // The parent's WM_CTLCOLOR* reflected back to the control; nullptr lets the parent answer.
    virtual HBRUSH OnReflectedColor(HDC) { return nullptr; }

protected:
    HWND hwnd_ = nullptr;
};

class ListBox : public Window {
public:
    int AddString(const std::string& text) const
    {
        return static_cast<int>(SendMessageA(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    }
    void ResetContent() const
    {
        SendMessageA(hwnd_, LB_RESETCONTENT, 0, 0);
        SendMessageA(hwnd_, LB_SETHORIZONTALEXTENT, 0, 0);
    }
    int Count() const { return static_cast<int>(SendMessageA(hwnd_, LB_GETCOUNT, 0, 0)); }
    std::string Line(int index) const;
    // Widens the horizontal scroll range to take the text whole, never narrows it: a line wider
    // than the list scrolls into view instead of being cut off.
    void ScrollToFit(const std::string& text) const;
    // Scrolls so that the last line is in view.
    void ShowLast() const { SendMessageA(hwnd_, LB_SETTOPINDEX, static_cast<WPARAM>(Count() > 0 ? Count() - 1 : 0), 0); }
};

class ComboBox : public Window {
public:
    int Count() const { return static_cast<int>(SendMessageA(hwnd_, CB_GETCOUNT, 0, 0)); }
};

}  // namespace ui
