// The host's main window, which owns a filter's About box and control dialog as the Video Post
// window does. Where there are no windows (outside Windows) there is none.
#pragma once

#include "Win32.h"

class HostWindow {
public:
    explicit HostWindow(const char* title);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // Null when the platform has no windows or the window could not be made.
    HWND Handle() const { return handle_; }
    // Whether this build can show a filter's dialogs at all.
    static bool Available();

private:
    HWND handle_ = nullptr;
};
