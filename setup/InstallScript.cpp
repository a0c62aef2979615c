// InstallScript: loading SETUP.INI, binding a host, running the install steps in their fixed order,
// and the uninstall of what they recorded.
#include "InstallScript.h"

#include "Desktop.h"
#include "InstallApply.h"
#include "Text.h"
#include "Uninstall.h"
#include "resource.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The closing progress line, in English where the program's own strings are not at hand.
const char kInstallFinished[] = "Setup is finished. Restart MAX to load the new plug-ins.";
const char kInstallIncomplete[] =
    "Setup is finished, but not all of it was installed (see above). Restart MAX to load the new plug-ins.";
const char kUninstallFinished[] = "Uninstall is finished.";
const char kUninstallIncomplete[] = "Uninstall is finished, but not all of it could be undone (see above).";

// Scripts beyond this size are read as code-page text without a look at their encoding.
constexpr size_t kLargestScriptLook = 16u << 20;

const UINT kStop = MB_OK | MB_ICONSTOP;

}  // namespace

std::string ResourceText(UINT id, const char* english)
{
    char text[kMaxText + 1] = "";
    const int length = LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof text);
    return length > 0 ? std::string(text, static_cast<size_t>(length)) : std::string(english);
}

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
    if (!script_.OpenIn(where, "SETUP.INI")) {
        TellUnopened(script_.Path());
        return false;
    }
    if (!TakeScriptText()) return false;

    DiscoveredHosts hosts = DiscoverHosts(environment_.registry);
    for (const std::string& path : hosts.unopened) TellUnopened(path);
    if (hosts.found) {
        host_ = std::move(hosts.preferred);
        versions_ = std::move(hosts.versions);
    }
    if (programPathEdit) SetWindowTextA(programPathEdit, host_.programPath.c_str());

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
        if (!scriptCopy_.Create(text) || !script_.Open(scriptCopy_.Path())) {
            TellUnopened(script_.Path());
            return false;
        }
        return true;
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

int InstallScript::Install(ProgressLog& log)
{
    aborted_ = false;
    leftOut_ = false;
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
    const std::vector<ScriptSection> sections = ReadEntries(script_);
    const std::string bad = FirstBadEntry(sections);
    if (!bad.empty()) {
        ShowFormatted(owner_, "%s : Bad entry in SETUP.INI! Nothing was installed.", bad, "Error", kStop);
        return 0;
    }
    const std::string source = JoinPath(script_.FoundIn(), "SETUP_FILES");
    // Without the package's files, the deletes and renames would take the old files and put nothing back.
    if (AnyFileListed(sections) && !IsDirectory(source)) {
        ShowFormatted(owner_, "%s : Can't find folder! Nothing was installed.", source, "Error", kStop);
        return 0;
    }
    std::string refused;
    const InstallPlan plan = BuildPlan(sections, Binding(), source, refused);
    if (!refused.empty()) {
        ShowFormatted(owner_, "%s : Setup will not install into the Windows folder for this entry. Nothing was installed.",
                      refused, "Error", kStop);
        return 0;
    }
    // A folder that stands for another one is not where the host's INI files say the files go.
    if (const std::string link = FirstLinkedDestination(plan); !link.empty()) {
        ShowFormatted(owner_, "%s : Setup will not install through a link. Nothing was installed.", link, "Error", kStop);
        return 0;
    }

    InstallRecord record(RecordFolder());
    // A record that someone else could have made or changed is not ours to add to, nor to trust
    // later with an uninstall: nothing is installed.
    if (const std::string why = environment_.recordBase.empty() ? std::string() : record.Untrusted(); !why.empty()) {
        ShowFormatted(owner_, "%s : Setup will not use it as the install record. Nothing was installed.", why, "Error",
                      kStop);
        return 0;
    }
    const bool recording = !environment_.recordBase.empty() && PrepareRecord(record);
    PlanApplier applier(iniGuard_, {&host_.maxIni, &host_.pluginIni}, owner_, log, recording ? &record : nullptr);
    applier.Apply(plan);
    // Every registration is written or undone: the copies of files that are whole go.
    iniGuard_.Finish();
    aborted_ = applier.Aborted();
    leftOut_ = applier.LeftOut();
    unwritable_ = applier.Unwritable();
    if (recording) FinishRecord(record);
    versions_.Clear();
    log.AddLine(Incomplete() ? ResourceText(IDS_INSTALL_INCOMPLETE, kInstallIncomplete)
                             : ResourceText(IDS_INSTALL_FINISHED, kInstallFinished));
    return 1;
}

HostBinding InstallScript::Binding() const
{
    HostBinding host;
    host.root = host_.root;
    host.version = currentVersion_;
    host.windowsDirectory = PlatformDirectory(false);
    host.systemDirectory = PlatformDirectory(true);
    for (const SectionKind& kind : SectionTable()) {
        std::string directory;
        if (kind.destination == Destination::kHostDirectory && host_.maxIni.ReadValue("Directories", kind.name, directory))
            host.directories[kind.name] = directory;
    }
    host_.pluginIni.ReadValue("Directories", "Additional MAX plug-ins", host.additionalPlugins);
    host_.maxIni.ReadValue("BitmapDirs", "Dir1", host.firstBitmapDir);
    return host;
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

void InstallScript::TellUnopened(const std::string& path) const
{
    ShowFormatted(owner_, "%s : Can't open file!", path, "Error", kStop);
}

bool InstallScript::BindHost(const std::string& directory)
{
    std::string unopened;
    if (BindHostFolder(directory, host_, unopened)) return true;
    TellUnopened(unopened);
    return false;
}

bool InstallScript::TakeProgramPath(const std::string& fullPath) { return BindHost(DriveAndDirectory(fullPath)); }

int InstallScript::StartEntry() const
{
    int start = versions_.Count() > 0 ? 0 : -1;
    for (int i = 0; i < versions_.Count(); ++i)
        if (SameText(versions_.At(i)->directory, host_.programPath)) start = i;
    return start;
}

bool InstallScript::SelectEntry(int index)
{
    const HostEntry* entry = versions_.At(index);
    if (!entry || !BindHost(entry->directory)) return false;
    currentVersion_ = entry->version;
    selected_ = index;
    return true;
}

bool InstallScript::BindGivenDirectory(std::string directory)
{
    AddBackslash(directory);
    for (int i = 0; i < versions_.Count(); ++i)
        if (SameText(versions_.At(i)->directory, directory)) return SelectEntry(i);
    SelectEntry(StartEntry());
    return BindHost(directory);
}

std::string InstallScript::PackageName() const
{
    if (!product_.product.empty()) return product_.product;
    return product_.title.empty() ? "Plug-In" : product_.title;
}

std::string InstallScript::RecordFolder() const
{
    if (environment_.recordBase.empty() || host_.root.empty()) return {};
    return RecordFolderFor(environment_.recordBase, product_.title, host_.root);
}

bool InstallScript::PrepareRecord(InstallRecord& record)
{
    recordFailed_ = false;
    if (record.Prepare()) {
        record.Load();  // an earlier install's entries: what was there before it stays its
        return true;
    }
    recordFailed_ = true;
    TellError(owner_, "%s : Can't create folder! Uninstall will not be able to undo this install.", record.Folder());
    return false;
}

void InstallScript::FinishRecord(InstallRecord& record)
{
    // Nothing of ours there: nothing to list, nothing to undo.
    if (record.Entries().empty() && !record.Failed()) {
        record.Remove(environment_.uninstallRoot);
        return;
    }
    // The script as the install read it: the code-page copy of a Unicode one.
    const std::string script = scriptCopy_.Path().empty() ? JoinPath(script_.FoundIn(), "SETUP.INI") : scriptCopy_.Path();
    if (!record.KeepProgramAndScript(environment_.programFile, script) || record.Failed()) {
        recordFailed_ = true;
        TellError(owner_, "%s : Can't write file! Uninstall will not be able to undo all of this install.", record.LogPath());
    }
    char version[32] = "";
    std::snprintf(version, sizeof version, "%g", static_cast<double>(product_.version));
    if (!record.List(environment_.uninstallRoot,
                     {PackageName() + " (" + host_.root + ")", version, product_.company, host_.root})) {
        recordFailed_ = true;
        TellError(owner_, "%s : Can't list the package among the installed programs!", RecordName(record.Folder()));
    }
}

bool InstallScript::HostToUninstall() const
{
    if (HostBound()) return true;
    CurrentDesktop().ShowMessage(owner_, "Can't uninstall without a MAX program path!", "Error", kStop);
    return false;
}

UninstallTarget InstallScript::UninstallTargetOf() const
{
    return {host_.root, Binding(), {&host_.maxIni, &host_.pluginIni}};
}

bool InstallScript::CanUninstall()
{
    if (!HostToUninstall()) return false;
    InstallRecord record(RecordFolder());
    return Uninstaller(record, UninstallTargetOf(), owner_, iniGuard_).Check();
}

int InstallScript::Uninstall(ProgressLog& log)
{
    aborted_ = false;
    leftOut_ = false;
    unwritable_.clear();
    recordFailed_ = false;
    partial_ = false;
    if (!HostToUninstall()) return 0;
    InstallRecord record(RecordFolder());
    Uninstaller uninstaller(record, UninstallTargetOf(), owner_, iniGuard_);
    if (!uninstaller.Check()) return 0;
    uninstaller.Run(log, environment_.uninstallRoot);
    partial_ = uninstaller.Partial();
    unwritable_ = uninstaller.Unwritable();
    log.AddLine(Incomplete() ? ResourceText(IDS_UNINSTALL_INCOMPLETE, kUninstallIncomplete)
                             : ResourceText(IDS_UNINSTALL_FINISHED, kUninstallFinished));
    return 1;
}
