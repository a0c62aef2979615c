// The host's main window on Windows: a plain top-level window in the middle of the screen.
#include "HostWindow.h"

namespace {

const char kClassName[] = "VPHostMainWindow";

void RegisterOnce()
{
    static bool registered = false;
    if (registered) return;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    wc.lpszClassName = kClassName;
    registered = RegisterClassA(&wc) != 0;
}

}  // namespace

HostWindow::HostWindow(const char* title)
{
    RegisterOnce();
    const int width = 720, height = 540;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    handle_ = CreateWindowExA(0, kClassName, title, WS_OVERLAPPEDWINDOW, x, y, width, height, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    if (handle_) {
        ShowWindow(handle_, SW_SHOWNORMAL);
        UpdateWindow(handle_);
    }
}

HostWindow::~HostWindow()
{
    if (handle_) DestroyWindow(handle_);
}

bool HostWindow::Available() { return true; }
