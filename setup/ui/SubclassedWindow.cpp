// Subclassing: our procedure in front of the control's own, with `this` kept as a window property.
#include "SubclassedWindow.h"

namespace ui {

namespace {
const char kThisProperty[] = "KcfSubclassedWindow";
}

SubclassedWindow::~SubclassedWindow() { Detach(); }

void SubclassedWindow::Attach(HWND hwnd)
{
    if (hwnd_ == hwnd && previous_) return;
    Detach();
    Window::Attach(hwnd);
    if (!hwnd) return;
    PreSubclassWindow();
    SetPropA(hwnd, kThisProperty, this);
    previous_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassedWindow::Procedure)));
}

void SubclassedWindow::Detach()
{
    if (hwnd_ && previous_ && IsWindow(hwnd_)) {
        SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        RemovePropA(hwnd_, kThisProperty);
    }
    previous_ = nullptr;
}

LRESULT SubclassedWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return Default(message, wParam, lParam);
}

LRESULT SubclassedWindow::Default(UINT message, WPARAM wParam, LPARAM lParam)
{
    return previous_ ? CallWindowProcA(previous_, hwnd_, message, wParam, lParam)
                     : DefWindowProcA(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK SubclassedWindow::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = static_cast<SubclassedWindow*>(GetPropA(hwnd, kThisProperty));
    if (!self) return DefWindowProcA(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // Hand the window back to its own procedure before it goes.
        const WNDPROC previous = self->previous_;
        self->Detach();
        self->hwnd_ = nullptr;
        return CallWindowProcA(previous, hwnd, message, wParam, lParam);
    }
    try {
        return self->WindowProc(message, wParam, lParam);
    } catch (...) {
        return self->Default(message, wParam, lParam);
    }
}

}  // namespace ui
