// InstallScript: loading SETUP.INI and running the install steps in their fixed order.
#include "InstallScript.h"

#include "Desktop.h"
#include "Text.h"
#include "resource.h"

#include <cstring>
#include <vector>

namespace {

// The host directories copied to in step 7, in this order.
const char* const kHostDirectorySections[] = {
    "Root",      "AutoBackup", "Export",   "Expressions", "Fonts",  "Heidi Drivers",   "Help",
    "Images",    "Import",     "Materials", "MaxStart",   "PlugCFG", "Previews",       "Scenes",
    "Scripts",   "Sounds",     "Startup Scripts", "VideoPost",
};

// Every section that holds a list, in the order the install reads them.
const char* const kListSections[] = {
    "Windows",  "System32", "Root",     "AutoBackup", "Export",    "Expressions", "Fonts",   "Heidi Drivers",
    "Help",     "Images",   "Import",   "Materials",  "MaxStart",  "PlugCFG",     "Previews", "Scenes",
    "Scripts",  "Sounds",   "Startup Scripts", "VideoPost", "Plugins5", "Plugins6", "BitmapDirs", "Execute",
};

// The closing progress line, in English where the program's own strings are not at hand.
const char kInstallFinished[] = "Setup is finished. Restart MAX to load the new plug-ins.";
const char kInstallIncomplete[] =
    "Setup is finished, but not all of it was installed (see above). Restart MAX to load the new plug-ins.";

// A string of the program's resources in the user's language, or the English text when the
// running module has none (a test program).
std::string ResourceText(UINT id, const char* english)
{
    char text[kMaxText + 1] = "";
    const int length = LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof text);
    return length > 0 ? std::string(text, static_cast<size_t>(length)) : std::string(english);
}

// Scripts beyond this size are read as code-page text without a look at their encoding.
constexpr size_t kLargestScriptLook = 16u << 20;

const UINT kStop = MB_OK | MB_ICONSTOP;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const std::string& path)
{
    const DWORD attributes = Fits(path) ? GetFileAttributesA(path.c_str()) : INVALID_FILE_ATTRIBUTES;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Clears what keeps a file from being overwritten, deleted or renamed; answers the attributes to
// put back when the action fails, or INVALID_FILE_ATTRIBUTES when there is nothing to put back.
DWORD MakeWritable(const std::string& path)
{
    const DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                           FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD before = GetFileAttributesA(path.c_str());
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return before == INVALID_FILE_ATTRIBUTES ? before : (before & settable ? before & settable : FILE_ATTRIBUTE_NORMAL);
}

// A failed action leaves the file as it found it.
void PutBack(const std::string& path, DWORD attributes)
{
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path.c_str(), attributes);
}

std::string Entry(const char* section, const std::string& key, const std::string& value)
{
    return "[" + std::string(section) + "] " + key + "=" + value;
}

// The first entry that would act outside its folder, or write a key its INI file could not hold,
// as "[Section] Key=value"; empty when every entry is sound. Only keys the install reads count.
std::string FirstBadEntry(const std::map<std::string, IniSection>& lists)
{
    std::string value;
    for (const char* name : kListSections) {
        const IniSection& list = lists.at(name);
        const bool help = std::strcmp(name, "Help") == 0;
        for (int n = 1; list.Numbered("File", n, value); ++n) {
            if (!StaysInside(value)) return Entry(name, "File" + std::to_string(n), value);
            if (help && list.Numbered("Desc", n, value) && !IsIniKeyName(value))
                return Entry(name, "Desc" + std::to_string(n), value);
        }
        const bool platform = std::strcmp(name, "Windows") == 0 || std::strcmp(name, "System32") == 0 ||
                              std::strcmp(name, "Execute") == 0;
        if (!platform && list.Value("AddPath", value) && !StaysInside(value)) return Entry(name, "AddPath", value);
        if (std::strncmp(name, "Plugins", 7) == 0 && list.Value("Desc", value) && !IsIniKeyName(value))
            return Entry(name, "Desc", value);
    }
    const IniSection& root = lists.at("Root");
    for (int n = 1; root.Numbered("Delete", n, value); ++n)
        if (!StaysInside(value)) return Entry("Root", "Delete" + std::to_string(n), value);
    for (int n = 1; root.Numbered("Old", n, value); ++n) {
        if (!StaysInside(value)) return Entry("Root", "Old" + std::to_string(n), value);
        if (root.Numbered("New", n, value) && !StaysInside(value)) return Entry("Root", "New" + std::to_string(n), value);
    }
    return {};
}

bool AnyFileListed(const std::map<std::string, IniSection>& lists)
{
    std::string value;
    for (const auto& list : lists)
        if (list.second.Value("File1", value)) return true;
    return false;
}

}  // namespace

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

std::string ProgramDirectory()
{
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return {};
        // A name that filled the buffer may have been cut short: ask again with more room.
        if (length < buffer.size()) {
            std::string directory = DriveAndDirectory(std::string(buffer.data(), length));
            StripOneBackslash(directory);
            return directory;
        }
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string FindScriptDirectory(const std::string& working, const std::string& program)
{
    const auto holdsScript = [](std::string directory) {
        StripOneBackslash(directory);
        return !directory.empty() && FileOpensForReading(JoinPath(directory, "SETUP.INI"));
    };
    if (!holdsScript(working) && holdsScript(program)) return program;
    return working;
}

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

InstallScript::InstallScript(InstallEnvironment environment)
    : environment_(std::move(environment)),
      iniGuard_(environment_.profileWriter ? *environment_.profileWriter : PlatformProfileWriter())
{
}

bool InstallScript::Load(HWND owner, HWND programPathEdit, const std::string& directory)
{
    owner_ = owner;
    std::string where = directory;
    StripOneBackslash(where);
    if (!script_.OpenIn(owner, where, "SETUP.INI") || !TakeScriptText()) return false;

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

bool InstallScript::TakeScriptText()
{
    std::string bytes;
    std::string text;
    if (!ReadWholeFile(script_.Path(), kLargestScriptLook, bytes)) return true;
    switch (DecodeScript(bytes, text)) {
    case ScriptEncoding::kCodePage:
        return true;
    case ScriptEncoding::kConverted:
        // The profile functions read the copy; the package is still where the script was found.
        if (scriptCopy_.Create(text)) return script_.Open(owner_, scriptCopy_.Path());
        ShowFormatted(owner_, "%s : Can't open file!", script_.Path(), "Error", kStop);
        return false;
    case ScriptEncoding::kNotText:
        ShowFormatted(owner_, "%s : Can't read file! Save it as ANSI, UTF-8 or Unicode text.", script_.Path(),
                      "Error", kStop);
        return false;
    case ScriptEncoding::kOutsideCodePage:
        ShowFormatted(owner_, "%s : Can't read file! It holds characters this system's code page does not have.",
                      script_.Path(), "Error", kStop);
        return false;
    }
    return false;
}

InstallScript::ScriptLists InstallScript::ReadLists() const
{
    ScriptLists lists;
    for (const char* name : kListSections) lists.emplace(name, script_.ReadSection(name));
    return lists;
}

int InstallScript::Install(ProgressLog& log)
{
    aborted_ = false;
    unwritable_.clear();
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

    // A script that names something outside its folders is refused whole: half an install of a
    // broken package is worse than none.
    const ScriptLists lists = ReadLists();
    const std::string bad = FirstBadEntry(lists);
    if (!bad.empty()) {
        ShowFormatted(owner_, "%s : Bad entry in SETUP.INI! Nothing was installed.", bad, "Error", kStop);
        return 0;
    }
    const std::string source = JoinPath(script_.FoundIn(), "SETUP_FILES");
    // Without the package's files, the deletes and renames would take the old files and put nothing back.
    if (AnyFileListed(lists) && !IsDirectory(source)) {
        ShowFormatted(owner_, "%s : Can't find folder! Nothing was installed.", source, "Error", kStop);
        return 0;
    }

    const std::string windows = PlatformDirectory(false);
    if (!windows.empty()) CopyList(lists.at("Windows"), source, windows, false, log);
    const std::string system = PlatformDirectory(true);
    if (!system.empty()) CopyList(lists.at("System32"), source, system, false, log);
    DeleteList(lists.at("Root"), log);
    RenameList(lists.at("Root"), log);
    for (const char* section : kHostDirectorySections) CopyToHostDirectory(section, lists.at(section), source, log);
    PluginStep(lists.at(LeadingNumber(currentVersion_) >= 6.0 ? "Plugins6" : "Plugins5"), source, log);
    BitmapStep(lists.at("BitmapDirs"), source, log);
    ExecuteStep(lists.at("Execute"), source, log);
    // Every registration is written or undone: the copies of files that are whole go.
    iniGuard_.Finish();
    versions_.Clear();
    log.AddLine(Incomplete() ? ResourceText(IDS_INSTALL_INCOMPLETE, kInstallIncomplete)
                             : ResourceText(IDS_INSTALL_FINISHED, kInstallFinished));
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
    // A directory that is not a full path would land wherever the installer happens to run.
    return maxIni_.ReadValue("Directories", name, directory) && IsFullPath(directory);
}

FileResult InstallScript::CopyOne(const std::string& source, const std::string& destination, const std::string& name,
                                  bool keepExisting, ProgressLog& log)
{
    const std::string target = JoinPath(destination, name);
    const bool fits = Fits(source) && Fits(target);
    if (keepExisting && fits && Exists(target)) {
        log.AddLine("Kept " + FileNameOf(target) + " (already there)");
        log.AddLine("-> " + DriveAndDirectory(target));
        return kFailedOrSkipped;
    }
    const DWORD kept = fits ? MakeWritable(target) : INVALID_FILE_ATTRIBUTES;
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
        PutBack(target, kept);
        return answer == IDABORT ? kAborted : kFailedOrSkipped;
    }
}

void InstallScript::CopyList(const IniSection& list, const std::string& source, const std::string& destination,
                             bool help, ProgressLog& log)
{
    std::string name;
    std::string flag;
    std::string title;
    for (int n = 1; list.Numbered("File", n, name); ++n) {
        const bool keepExisting = list.Numbered("Keep", n, flag) && SameText(flag, "True");
        if (CopyOne(JoinPath(source, name), destination, name, keepExisting, log) == kAborted) {
            aborted_ = true;
            return;
        }
        if (help && list.Numbered("Desc", n, title)) {
            const std::string target = JoinPath(destination, name);
            if (Fits(target)) Register(pluginIni_, "Help", title, target);
        }
    }
}

void InstallScript::CopyToHostDirectory(const char* section, const IniSection& list, const std::string& source,
                                        ProgressLog& log)
{
    std::string destination;
    if (!ResolveHostDir(section, destination)) return;
    std::string addPath;
    if (list.Value("AddPath", addPath)) {
        CreateLevelsBelow(destination, addPath);
        destination = JoinPath(destination, addPath);
    }
    CopyList(list, source, destination, std::strcmp(section, "Help") == 0, log);
}

void InstallScript::DeleteList(const IniSection& root, ProgressLog& log)
{
    std::string name;
    for (int n = 1; root.Numbered("Delete", n, name); ++n) {
        const std::string path = JoinPath(hostRoot_, name);
        const DWORD kept = Fits(path) ? MakeWritable(path) : INVALID_FILE_ATTRIBUTES;
        log.AddLine("Delete " + FileNameOf(path));
        if (!Fits(path) || !DeleteFileA(path.c_str())) PutBack(path, kept);
    }
}

void InstallScript::RenameList(const IniSection& root, ProgressLog& log)
{
    std::string oldName;
    std::string newName;
    for (int n = 1; root.Numbered("Old", n, oldName); ++n) {
        root.Numbered("New", n, newName);
        const std::string from = JoinPath(hostRoot_, oldName);
        const std::string to = JoinPath(hostRoot_, newName);
        const DWORD kept = Fits(from) ? MakeWritable(from) : INVALID_FILE_ATTRIBUTES;
        log.AddLine("Rename " + FileNameOf(from));
        log.AddLine("-> " + FileNameOf(to));
        if (!Fits(from) || !Fits(to) || !MoveFileA(from.c_str(), to.c_str())) PutBack(from, kept);
    }
}

void InstallScript::PluginStep(const IniSection& list, const std::string& source, ProgressLog& log)
{
    std::string destination;
    // A registered directory that is not a full path is no place the installer can find: the
    // program's own plug-in folder, which the host always reads, takes the files instead.
    if (!pluginIni_.ReadValue("Directories", "Additional MAX plug-ins", destination) || !IsFullPath(destination))
        destination = programPath_ + "Plugins";
    StripOneBackslash(destination);
    std::string addPath;
    if (list.Value("AddPath", addPath)) {
        CreateLevelsBelow(destination, addPath);
        destination = JoinPath(destination, addPath);
        // The host learns of the new directory by this entry; an empty key name is never written.
        std::string desc;
        if (list.Value("Desc", desc) && Fits(destination)) Register(pluginIni_, "Directories", desc, destination);
    }
    CopyList(list, source, destination, false, log);
}

void InstallScript::BitmapStep(const IniSection& list, const std::string& source, ProgressLog& log)
{
    std::string destination;
    if (!maxIni_.ReadValue("BitmapDirs", "Dir1", destination) || !IsFullPath(destination)) return;
    // "...\maps\" and "...\maps" are one folder: joined with one backslash, compared alike.
    StripOneBackslash(destination);
    std::string addPath;
    if (list.Value("AddPath", addPath)) {
        CreateLevelsBelow(destination, addPath);
        destination = JoinPath(destination, addPath);
        std::string registered;
        for (int k = 1; Fits(destination); ++k) {
            if (!maxIni_.ReadNumbered("BitmapDirs", "Dir", k, registered)) {
                Register(maxIni_, "BitmapDirs", "Dir" + std::to_string(k), destination);
                break;
            }
            StripOneBackslash(registered);
            if (SameText(registered, destination)) break;
        }
    }
    CopyList(list, source, destination, false, log);
}

void InstallScript::Register(const IniFile& ini, const char* section, const std::string& key, const std::string& value)
{
    for (const std::string& told : unwritable_)
        if (told == ini.Path()) return;
    const IniWrite result = iniGuard_.Write(ini, section, key, value);
    if (result == IniWrite::kWritten) return;
    unwritable_.push_back(ini.Path());
    const std::string copy = IniGuard::CopyPathOf(ini.Path());
    std::string text = ini.Path() + " : Can't write file!";
    if (result == IniWrite::kCopyKept)
        text += " It could not be put back as it was; what it held before the install is kept in " + copy + ".";
    else if (result == IniWrite::kCopyInTheWay)
        text += " " + copy + ", kept by an earlier install, is in the way: put it back in place of the file, or delete it.";
    CurrentDesktop().ShowMessage(owner_, text, "Error", kStop);
}

void InstallScript::ExecuteStep(const IniSection& list, const std::string& source, ProgressLog& log)
{
    std::string name;
    for (int n = 1; list.Numbered("File", n, name); ++n) {
        const std::string path = JoinPath(source, name);
        log.AddLine("Execute " + name);
        INT_PTR result = 0;
        if (Fits(path)) {
            const std::string directory = DriveAndDirectory(path);
            result = CurrentDesktop().OpenWithShell(owner_, "open", path, directory.c_str(), SW_SHOWNORMAL);
        }
        if (result <= 32) ShowFormatted(owner_, "%s : Can't execute file!", path, "Error", kStop);
    }
}
