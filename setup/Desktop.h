// The one seam between the installer and the user's desktop: message boxes, the shell's open,
// the file-open dialog and the beep. Silent mode and the tests install their own.
#pragma once

#include <windows.h>

#include <string>

// What the file-open dialog is asked for; the filter is written "Name|*.ext|...||".
struct OpenFileRequest {
    const char* defaultExtension = nullptr;
    const char* initialName = nullptr;
    const char* filter = nullptr;
    DWORD flags = 0;
};

class Desktop {
public:
    virtual ~Desktop() = default;
    // Shows a modal message box; answers the button id (IDOK, IDABORT, IDRETRY, IDIGNORE, ...).
    virtual int ShowMessage(HWND owner, const std::string& text, const char* caption, UINT type) = 0;
    // Asks the shell to open a file or link; answers the shell's result (32 or less is a failure).
    virtual INT_PTR OpenWithShell(HWND owner, const char* verb, const std::string& file,
                                  const char* directory, int show) = 0;
    // Runs the file-open dialog; true with the chosen full path, false when cancelled.
    virtual bool AskOpenFile(HWND owner, const OpenFileRequest& request, std::string& chosen) = 0;
    virtual void Beep(UINT type) = 0;
};

// The desktop everything goes through: the real one unless an override is in place.
Desktop& CurrentDesktop();

// Puts another desktop in place for its own lifetime.
class DesktopOverride {
public:
    explicit DesktopOverride(Desktop& desktop);
    ~DesktopOverride();
    DesktopOverride(const DesktopOverride&) = delete;
    DesktopOverride& operator=(const DesktopOverride&) = delete;

private:
    Desktop* previous_;
};

// Shows "format" with one string argument, as every installer message is built.
int ShowFormatted(HWND owner, const char* format, const std::string& argument, const char* caption, UINT type);
