// InstallScript: loading SETUP.INI and running the install steps in their fixed order.
#include "InstallScript.h"

#include "Desktop.h"
#include "Text.h"

#include <cstring>

namespace {

// The host directories copied to in step 7, in this order.
const char* const kHostDirectorySections[] = {
    "Root",      "AutoBackup", "Export",   "Expressions", "Fonts",  "Heidi Drivers",   "Help",
    "Images",    "Import",     "Materials", "MaxStart",   "PlugCFG", "Previews",       "Scenes",
    "Scripts",   "Sounds",     "Startup Scripts", "VideoPost",
};

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

void CreateLevelsBelow(const std::string& base, const std::string& relative)
{
    if (!Fits(base)) return;
    size_t i = 0;
    while (i < relative.size()) {
        const BYTE c = static_cast<BYTE>(relative[i]);
        if (IsDBCSLeadByte(c) && i + 1 < relative.size()) {
            i += 2;
            continue;
        }
        if ((c == '\\' || c == '/') && i > 0) {
            const std::string level = JoinPath(base, relative.substr(0, i));
            if (Fits(level)) CreateDirectoryA(level.c_str(), nullptr);
        }
        ++i;
    }
    if (!relative.empty() && !EndsWithBackslash(relative) && relative.back() != '/') {
        const std::string level = JoinPath(base, relative);
        if (Fits(level)) CreateDirectoryA(level.c_str(), nullptr);
    }
}

InstallScript::InstallScript(InstallEnvironment environment) : environment_(std::move(environment)) {}

bool InstallScript::Load(HWND owner, HWND programPathEdit, const std::string& directory)
{
    owner_ = owner;
    std::string where = directory;
    StripOneBackslash(where);
    if (!script_.OpenIn(owner, where, "SETUP.INI")) return false;

    DiscoverHosts();
    if (programPathEdit) SetWindowTextA(programPathEdit, programPath_.c_str());

    std::string value;
    script_.ReadValue("Product", "Title", product_.title);
    script_.ReadValue("Product", "Version", value);
    product_.version = static_cast<float>(LeadingNumber(value));
    script_.ReadValue("Product", "Multi", value);
    product_.multi = SameText(value, "True");
    script_.ReadValue("Product", "MAXVer", value);
    product_.maxVer = static_cast<float>(LeadingNumber(value));
    script_.ReadValue("Product", "Company", product_.company);
    script_.ReadValue("Product", "Product", product_.product);
    script_.ReadValue("Product", "Size", product_.size);
    return true;
}

int InstallScript::Install(ProgressLog& log)
{
    aborted_ = false;
    // The version check compares the host's version at double precision against MAXVer as a float.
    const double current = LeadingNumber(currentVersion_);
    if (!(current >= static_cast<double>(product_.maxVer))) {
        ShowFormatted(owner_, "Can't install on version \"%s\"", currentVersion_, "Error", MB_OK | MB_ICONSTOP);
        return 0;
    }
    // Without a bound host the host-relative steps would have no real directory to work in.
    if (!HostBound()) {
        CurrentDesktop().ShowMessage(owner_, "Can't install without a MAX program path!", "Error",
                                     MB_OK | MB_ICONSTOP);
        return 0;
    }

    const std::string source = JoinPath(script_.FoundIn(), "SETUP_FILES");
    const std::string windows = PlatformDirectory(false);
    if (!windows.empty()) CopyList("Windows", source, windows, false, log);
    const std::string system = PlatformDirectory(true);
    if (!system.empty()) CopyList("System32", source, system, false, log);
    DeleteList(log);
    RenameList(log);
    for (const char* section : kHostDirectorySections) CopyToHostDirectory(section, source, log);
    PluginStep(source, log);
    BitmapStep(source, log);
    ExecuteStep(source, log);
    versions_.Clear();
    return 1;
}

std::string InstallScript::PlatformDirectory(bool system) const
{
    const std::string& given = system ? environment_.systemDirectory : environment_.windowsDirectory;
    if (!given.empty()) return given;
    char buffer[kMaxText + 1] = "";
    const UINT length = system ? GetSystemDirectoryA(buffer, sizeof buffer) : GetWindowsDirectoryA(buffer, sizeof buffer);
    // A result that does not fit comes back as the size needed: never act on it.
    if (length == 0 || length >= sizeof buffer) return {};
    return std::string(buffer, length);
}

bool InstallScript::ResolveHostDir(const char* name, std::string& directory) const
{
    if (std::strcmp(name, "Root") == 0) {
        directory = hostRoot_;
        return !directory.empty();
    }
    return maxIni_.ReadValue("Directories", name, directory);
}

FileResult InstallScript::CopyOne(const std::string& source, const std::string& destination, const std::string& name,
                                  bool keepExisting, ProgressLog& log)
{
    const std::string target = JoinPath(destination, name);
    const bool fits = Fits(source) && Fits(target);
    if (keepExisting && fits && Exists(target)) {
        log.AddLine("Keep " + FileNameOf(target));
        log.AddLine("-> " + DriveAndDirectory(target));
        return kFailedOrSkipped;
    }
    if (fits) SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    log.AddLine("Copy " + FileNameOf(target));
    log.AddLine("-> " + DriveAndDirectory(target));
    // A name with a sub-path needs its directories below the destination.
    if (fits) CreateLevelsBelow(destination, DriveAndDirectory(name));
    for (;;) {
        if (fits && CopyFileA(source.c_str(), target.c_str(), FALSE)) {
            SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
            return kDone;
        }
        const int answer = ShowFormatted(owner_, "%s : Can't create file!", target, "Confirm",
                                         MB_ABORTRETRYIGNORE | MB_ICONINFORMATION);
        if (answer == IDRETRY) continue;
        return answer == IDABORT ? kAborted : kFailedOrSkipped;
    }
}

void InstallScript::CopyList(const char* section, const std::string& source, const std::string& destination, bool help,
                             ProgressLog& log)
{
    std::string name;
    std::string flag;
    std::string title;
    for (int n = 1; script_.ReadNumbered(section, "File", n, name); ++n) {
        const bool keepExisting = script_.ReadNumbered(section, "Keep", n, flag) && SameText(flag, "True");
        if (CopyOne(JoinPath(source, name), destination, name, keepExisting, log) == kAborted) {
            aborted_ = true;
            return;
        }
        if (help && script_.ReadNumbered(section, "Desc", n, title)) {
            const std::string target = JoinPath(destination, name);
            if (Fits(target)) pluginIni_.WriteValue("Help", title.c_str(), target);
        }
    }
}

void InstallScript::CopyToHostDirectory(const char* section, const std::string& source, ProgressLog& log)
{
    std::string destination;
    if (!ResolveHostDir(section, destination)) return;
    std::string addPath;
    if (script_.ReadValue(section, "AddPath", addPath)) {
        CreateLevelsBelow(destination, addPath);
        destination = JoinPath(destination, addPath);
    }
    CopyList(section, source, destination, std::strcmp(section, "Help") == 0, log);
}

void InstallScript::DeleteList(ProgressLog& log)
{
    std::string name;
    for (int n = 1; script_.ReadNumbered("Root", "Delete", n, name); ++n) {
        const std::string path = JoinPath(hostRoot_, name);
        if (Fits(path)) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        log.AddLine("Delete " + FileNameOf(path));
        if (Fits(path)) DeleteFileA(path.c_str());
    }
}

void InstallScript::RenameList(ProgressLog& log)
{
    std::string oldName;
    std::string newName;
    for (int n = 1; script_.ReadNumbered("Root", "Old", n, oldName); ++n) {
        script_.ReadNumbered("Root", "New", n, newName);
        const std::string from = JoinPath(hostRoot_, oldName);
        const std::string to = JoinPath(hostRoot_, newName);
        if (Fits(from)) SetFileAttributesA(from.c_str(), FILE_ATTRIBUTE_NORMAL);
        log.AddLine("Rename " + FileNameOf(from));
        log.AddLine("-> " + FileNameOf(to));
        if (Fits(from) && Fits(to)) MoveFileA(from.c_str(), to.c_str());
    }
}

void InstallScript::PluginStep(const std::string& source, ProgressLog& log)
{
    const char* section = LeadingNumber(currentVersion_) >= 6.0 ? "Plugins6" : "Plugins5";
    std::string destination;
    if (!pluginIni_.ReadValue("Directories", "Additional MAX plug-ins", destination))
        destination = programPath_ + "Plugins";
    StripOneBackslash(destination);
    std::string addPath;
    if (script_.ReadValue(section, "AddPath", addPath)) {
        CreateLevelsBelow(destination, addPath);
        destination = JoinPath(destination, addPath);
        // The host learns of the new directory by this entry; an empty key name is never written.
        std::string desc;
        if (script_.ReadValue(section, "Desc", desc) && Fits(destination))
            pluginIni_.WriteValue("Directories", desc.c_str(), destination);
    }
    CopyList(section, source, destination, false, log);
}

void InstallScript::BitmapStep(const std::string& source, ProgressLog& log)
{
    std::string destination;
    if (!maxIni_.ReadValue("BitmapDirs", "Dir1", destination)) return;
    std::string addPath;
    if (script_.ReadValue("BitmapDirs", "AddPath", addPath)) {
        CreateLevelsBelow(destination, addPath);
        destination = JoinPath(destination, addPath);
        std::string registered;
        for (int k = 1; Fits(destination); ++k) {
            if (!maxIni_.ReadNumbered("BitmapDirs", "Dir", k, registered)) {
                maxIni_.WriteValue("BitmapDirs", ("Dir" + std::to_string(k)).c_str(), destination);
                break;
            }
            if (SameText(registered, destination)) break;
        }
    }
    CopyList("BitmapDirs", source, destination, false, log);
}

void InstallScript::ExecuteStep(const std::string& source, ProgressLog& log)
{
    std::string name;
    for (int n = 1; script_.ReadNumbered("Execute", "File", n, name); ++n) {
        const std::string path = JoinPath(source, name);
        log.AddLine("Execute " + name);
        INT_PTR result = 0;
        if (Fits(path)) {
            const std::string directory = DriveAndDirectory(path);
            result = CurrentDesktop().OpenWithShell(owner_, "open", path, directory.c_str(), SW_SHOWNORMAL);
        }
        if (result <= 32) ShowFormatted(owner_, "%s : Can't execute file!", path, "Error", MB_OK | MB_ICONSTOP);
    }
}
