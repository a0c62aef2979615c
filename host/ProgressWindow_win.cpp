// The progress window on Windows: a message-only window whose procedure answers the filter.
#include "ProgressWindow.h"

namespace {

const char kClassName[] = "VPHostProgressWindow";

LRESULT CALLBACK Procedure(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (self && msg >= WM_USER) return self->OnMessage(msg, wParam, lParam);
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

void RegisterOnce()
{
    static bool registered = false;
    if (registered) return;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Procedure;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClassName;
    registered = RegisterClassA(&wc) != 0;
}

}  // namespace

ProgressWindow::ProgressWindow()
{
    RegisterOnce();
    handle_ = CreateWindowExA(0, kClassName, "Video Post", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleA(nullptr), this);
}

ProgressWindow::~ProgressWindow()
{
    if (handle_) DestroyWindow(handle_);
}
