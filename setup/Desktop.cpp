// The real desktop: Win32 message boxes, ShellExecute, the file-open dialog and MessageBeep.
#include "Desktop.h"

#include "ui/FileDialog.h"

#include <shellapi.h>

#include <cstring>

namespace {

class SystemDesktop final : public Desktop {
public:
    int ShowMessage(HWND owner, const std::string& text, const char* caption, UINT type) override
    {
        return MessageBoxA(owner, text.c_str(), caption, type);
    }
    INT_PTR OpenWithShell(HWND owner, const char* verb, const std::string& file, const char* directory,
                          int show) override
    {
        return reinterpret_cast<INT_PTR>(ShellExecuteA(owner, verb, file.c_str(), nullptr, directory, show));
    }
    bool AskOpenFile(HWND owner, const OpenFileRequest& request, std::string& chosen) override
    {
        return ui::RunFileOpenDialog(owner, request, chosen);
    }
    void Beep(UINT type) override { MessageBeep(type); }
};

SystemDesktop systemDesktop;
Desktop* current = &systemDesktop;

}  // namespace

Desktop& CurrentDesktop() { return *current; }

DesktopOverride::DesktopOverride(Desktop& desktop) : previous_(current) { current = &desktop; }

DesktopOverride::~DesktopOverride() { current = previous_; }

int ShowFormatted(HWND owner, const char* format, const std::string& argument, const char* caption, UINT type)
{
    // Every format holds exactly one "%s"; the text is built in full, never cut at a buffer's end.
    std::string text = format;
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, argument);
    return CurrentDesktop().ShowMessage(owner, text, caption, type);
}
