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
    void ResetContent() const { SendMessageA(hwnd_, CB_RESETCONTENT, 0, 0); }
    // Adds an item carrying data; answers its index (the list may sort), or -1 when it was not added.
    int AddItem(const std::string& text, LPARAM data) const
    {
        const LRESULT item = SendMessageA(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (item < 0) return -1;
        SendMessageA(hwnd_, CB_SETITEMDATA, static_cast<WPARAM>(item), data);
        return static_cast<int>(item);
    }
    // The index of the item carrying data, or -1.
    int FindData(LPARAM data) const
    {
        for (int i = 0; i < Count(); ++i)
            if (SendMessageA(hwnd_, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == data) return i;
        return -1;
    }
    int Selection() const { return static_cast<int>(SendMessageA(hwnd_, CB_GETCURSEL, 0, 0)); }
    LPARAM DataOf(int index) const { return SendMessageA(hwnd_, CB_GETITEMDATA, static_cast<WPARAM>(index), 0); }
    // -1 selects nothing.
    void Select(int index) const { SendMessageA(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
};

}  // namespace ui
