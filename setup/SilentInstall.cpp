// Silent mode: a desktop that writes messages to the log and answers Abort, and a log that writes
// every line to standard output and the log file.
#include "SilentInstall.h"

#include "Desktop.h"
#include "Text.h"

#include <vector>

namespace {

class SilentLog final : public ProgressLog {
public:
    explicit SilentLog(HANDLE file) : file_(file)
    {
        output_ = GetStdHandle(STD_OUTPUT_HANDLE);
        if (output_ == nullptr || output_ == INVALID_HANDLE_VALUE) {
            // Started from a console without redirection: write to that console.
            if (AttachConsole(ATTACH_PARENT_PROCESS))
                output_ = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
        }
    }
    void AddLine(const std::string& line) override
    {
        const std::string text = line + "\r\n";
        for (HANDLE target : {output_, file_}) {
            if (target == nullptr || target == INVALID_HANDLE_VALUE) continue;
            DWORD written = 0;
            WriteFile(target, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        }
    }

private:
    HANDLE output_ = nullptr;
    HANDLE file_;
};

class SilentDesktop final : public Desktop {
public:
    explicit SilentDesktop(ProgressLog& log) : log_(log) {}
    int ShowMessage(HWND, const std::string& text, const char* caption, UINT type) override
    {
        if ((type & MB_TYPEMASK) == MB_ABORTRETRYIGNORE) {
            log_.AddLine(std::string(caption) + ": " + text + " (Abort)");
            return IDABORT;
        }
        log_.AddLine(std::string(caption) + ": " + text);
        return IDOK;
    }
    // Nothing is opened without a user at the desk; the Execute line stands in the log.
    INT_PTR OpenWithShell(HWND, const char*, const std::string&, const char*, int) override { return 33; }
    bool AskOpenFile(HWND, const OpenFileRequest&, std::string&) override { return false; }
    void Beep(UINT) override {}

private:
    ProgressLog& log_;
};

std::string WorkingDirectory()
{
    std::vector<char> buffer(kMaxText + 1);
    DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    return std::string(buffer.data(), length < buffer.size() ? length : 0);
}

// The /D directory: the discovered entry of that directory when there is one, else the directory
// bound as Browse binds it, keeping the version found at start.
bool BindGivenDirectory(InstallScript& script, std::string directory)
{
    AddBackslash(directory);
    for (int i = 0; i < script.Versions().Count(); ++i)
        if (SameText(script.Versions().At(i)->directory, directory)) return script.SelectEntry(i);
    return script.BindHost(directory);
}

}  // namespace

int RunSilent(const SetupOptions& options, const InstallEnvironment& environment, const std::string& scriptDirectory)
{
    HANDLE file = nullptr;
    if (!options.logFile.empty()) {
        file = Fits(options.logFile) ? CreateFileA(options.logFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                                     : INVALID_HANDLE_VALUE;
    }
    SilentLog log(file == INVALID_HANDLE_VALUE ? nullptr : file);
    int exitCode = kSilentRefused;
    if (file == INVALID_HANDLE_VALUE) {
        log.AddLine("Error: " + options.logFile + " : Can't create file!");
    } else if (!options.error.empty()) {
        log.AddLine("Error: " + options.error);
    } else {
        SilentDesktop desktop(log);
        DesktopOverride silent(desktop);
        InstallScript script(environment);
        if (script.Load(nullptr, nullptr, scriptDirectory.empty() ? WorkingDirectory() : scriptDirectory)) {
            const bool bound = options.directory.empty() ? (script.SelectEntry(script.StartEntry()), true)
                                                         : BindGivenDirectory(script, options.directory);
            if (bound && script.Install(log) == 1) exitCode = script.Incomplete() ? kSilentAborted : kSilentInstalled;
        }
    }
    if (file && file != INVALID_HANDLE_VALUE) CloseHandle(file);
    return exitCode;
}
