// Silent mode: a desktop that writes messages to the log and answers Abort, and a log that writes
// every line to standard output and the log file.
#include "SilentInstall.h"

#include "Desktop.h"
#include "Text.h"

#include <vector>

namespace {

// Windows XP's AttachConsole, looked up: Windows 2000 lacks it, and would refuse to start a program
// that imports it. Null there.
using AttachConsoleFunction = BOOL(WINAPI*)(DWORD processId);
AttachConsoleFunction FindAttachConsole()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel ? reinterpret_cast<AttachConsoleFunction>(
                        reinterpret_cast<void*>(GetProcAddress(kernel, "AttachConsole")))
                  : nullptr;
}

// Standard output, or the console the program was started from when output is not redirected
// (from Windows XP on); null when there is neither, as on Windows 2000 started from a console
// without redirection: the log file still gets every line.
HANDLE ConsoleOutput()
{
    constexpr DWORD kParentProcess = static_cast<DWORD>(-1);  // ATTACH_PARENT_PROCESS
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) {
        output = nullptr;
        static const AttachConsoleFunction attachConsole = FindAttachConsole();
        if (attachConsole && attachConsole(kParentProcess)) {
            output = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                 0, nullptr);
            if (output == INVALID_HANDLE_VALUE) output = nullptr;
        }
    }
    return output;
}

class SilentLog final : public ProgressLog {
public:
    SilentLog(HANDLE file, std::string path) : output_(ConsoleOutput()), file_(file), path_(std::move(path)) {}
    void AddLine(const std::string& line) override
    {
        const std::string text = line + "\r\n";
        WriteAll(output_, text);
        if (file_ && !WriteAll(file_, text)) FileFailed();
    }
    // Flushes the log file; a write the system held back may fail only now.
    void Close()
    {
        if (file_ && !FlushFileBuffers(file_)) FileFailed();
        if (file_) CloseHandle(file_);
        file_ = nullptr;
    }
    // True when the log file lost a line.
    bool LogFailed() const { return failed_; }

private:
    static bool WriteAll(HANDLE target, const std::string& text)
    {
        if (target == nullptr || target == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        return WriteFile(target, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
               written == text.size();
    }
    // A log that lost a line says so where it still can, and takes no more lines: it ends at the
    // last line it holds.
    void FileFailed()
    {
        failed_ = true;
        CloseHandle(file_);
        file_ = nullptr;
        WriteAll(output_, "Error: " + path_ + " : Can't write file! The log is incomplete.\r\n");
    }

    HANDLE output_ = nullptr;
    HANDLE file_;
    std::string path_;
    bool failed_ = false;
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

}  // namespace

void ShowUsage(const std::string& caption)
{
    const std::string text = kUsageText;
    if (HANDLE output = ConsoleOutput()) {
        DWORD written = 0;
        WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    CurrentDesktop().ShowMessage(nullptr, text, caption.c_str(), MB_OK | MB_ICONINFORMATION);
}

int RunSilent(const SetupOptions& options, const InstallEnvironment& environment, const std::string& scriptDirectory)
{
    HANDLE file = nullptr;
    if (!options.logFile.empty()) {
        file = Fits(options.logFile) ? CreateFileA(options.logFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                                     : INVALID_HANDLE_VALUE;
    }
    SilentLog log(file == INVALID_HANDLE_VALUE ? nullptr : file, options.logFile);
    int exitCode = kSilentRefused;
    if (file == INVALID_HANDLE_VALUE) {
        log.AddLine("Error: " + options.logFile + " : Can't create file!");
    } else if (!options.error.empty()) {
        log.AddLine("Error: " + options.error);
    } else {
        SilentDesktop desktop(log);
        DesktopOverride silent(desktop);
        InstallScript script(environment);
        if (script.Load(nullptr, nullptr, scriptDirectory.empty() ? FindScriptDirectory() : scriptDirectory)) {
            const bool bound = options.directory.empty() ? (script.SelectEntry(script.StartEntry()), true)
                                                         : script.BindGivenDirectory(options.directory);
            const int ran = !bound ? 0 : options.uninstall ? script.Uninstall(log) : script.Install(log);
            if (ran == 1) exitCode = script.Incomplete() ? kSilentAborted : kSilentInstalled;
        }
    }
    log.Close();
    // The install is not undone for its log, but a run whose log is incomplete did not all it was asked.
    if (log.LogFailed() && exitCode == kSilentInstalled) exitCode = kSilentAborted;
    return exitCode;
}
