// Host discovery: the registry's host installations, the host binding, the version list and Browse.
#include "Desktop.h"
#include "InstallScript.h"
#include "Text.h"

#include <commdlg.h>

#include <cstring>

namespace {

const char* const kKnownVersions[] = {"3.0", "3.1", "4.0", "5.0", "6.0"};
const char* const kPreferredVersion = "6.0";

// A location of at most 255 characters; a longer one counts as absent, never cut short. Only text
// values count; an expandable one is expanded. A location that is not a full path counts as
// absent too: it would be taken relative to wherever the installer runs.
bool ReadRegistryText(HKEY root, const std::string& subkey, const char* name, std::string& value)
{
    value.clear();
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char buffer[kMaxText + 1] = "";
    DWORD type = 0;
    DWORD size = sizeof buffer;
    const LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    const size_t length = strnlen(buffer, size);
    if (length > kMaxText) return false;  // all 256 bytes used and no terminator
    value.assign(buffer, length);
    if (type == REG_EXPAND_SZ) {
        char expanded[kMaxText + 1] = "";
        const DWORD needed = ExpandEnvironmentStringsA(value.c_str(), expanded, sizeof expanded);
        if (needed == 0 || needed > sizeof expanded) return false;
        value = expanded;
    }
    return !value.empty() && IsFullPath(value);
}

}  // namespace

bool InstallScript::ReadHostLocation(const std::string& version, std::string& value) const
{
    if (LeadingNumber(version) < 6.0)
        return ReadRegistryText(environment_.userRoot, "SOFTWARE\\Autodesk\\3ds max\\" + version + "\\HELP",
                                "3dsmax.chm", value);
    return ReadRegistryText(environment_.machineRoot, "SOFTWARE\\Autodesk\\3DSMAX\\" + version, "Installdir",
                            value);
}

bool InstallScript::OpenHostFiles(std::string& directory, IniFile& maxIni, IniFile& pluginIni) const
{
    AddBackslash(directory);
    if (!maxIni.Open(owner_, directory + "3DSMAX.INI")) return false;
    return pluginIni.Open(owner_, directory + "PLUGIN.INI");
}

bool InstallScript::BindHost(const std::string& directory)
{
    std::string bound = directory;
    IniFile maxIni;
    IniFile pluginIni;
    if (!OpenHostFiles(bound, maxIni, pluginIni)) return false;
    maxIni_ = maxIni;
    pluginIni_ = pluginIni;
    programPath_ = bound;
    hostRoot_ = bound;
    StripOneBackslash(hostRoot_);
    return true;
}

bool InstallScript::TakeProgramPath(const std::string& fullPath)
{
    return BindHost(DriveAndDirectory(fullPath));
}

bool InstallScript::DiscoverHosts()
{
    std::string value;
    if (!ReadHostLocation(kPreferredVersion, value)) return false;
    if (!TakeProgramPath(value)) return false;

    versions_.Clear();
    for (const char* version : kKnownVersions) {
        if (!ReadHostLocation(version, value)) continue;
        std::string directory = DriveAndDirectory(value);
        IniFile maxIni;
        IniFile pluginIni;
        if (OpenHostFiles(directory, maxIni, pluginIni)) versions_.Append(version, directory);
    }
    return true;
}

int InstallScript::StartEntry() const
{
    int start = versions_.Count() > 0 ? 0 : -1;
    for (int i = 0; i < versions_.Count(); ++i)
        if (SameText(versions_.At(i)->directory, programPath_)) start = i;
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

void InstallScript::FillVersionList(HWND dropDown) const
{
    SendMessageA(dropDown, CB_RESETCONTENT, 0, 0);
    const int start = StartEntry();
    for (int i = 0; i < versions_.Count(); ++i) {
        const LRESULT item = SendMessageA(dropDown, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(versions_.At(i)->version.c_str()));
        if (item < 0) continue;
        SendMessageA(dropDown, CB_SETITEMDATA, static_cast<WPARAM>(item), i);
        if (i == start) SendMessageA(dropDown, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
    }
    EnableWindow(dropDown, product_.multi ? TRUE : FALSE);
}

void InstallScript::ApplySelection(HWND dropDown, HWND programPathEdit)
{
    const LRESULT item = SendMessageA(dropDown, CB_GETCURSEL, 0, 0);
    if (item == CB_ERR) return;
    const int index = static_cast<int>(SendMessageA(dropDown, CB_GETITEMDATA, static_cast<WPARAM>(item), 0));
    if (!versions_.At(index)) return;
    if (!SelectEntry(index)) {
        // The binding stayed where it was: show the entry that is still bound, or none.
        WPARAM back = static_cast<WPARAM>(-1);
        const LRESULT count = SendMessageA(dropDown, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i)
            if (selected_ >= 0 && SendMessageA(dropDown, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == selected_)
                back = static_cast<WPARAM>(i);
        SendMessageA(dropDown, CB_SETCURSEL, back, 0);
    }
    SetWindowTextA(programPathEdit, programPath_.c_str());
}

bool InstallScript::Browse(HWND parent, HWND programPathEdit)
{
    OpenFileRequest request;
    request.defaultExtension = "ini";
    request.initialName = "3dsmax.ini";
    request.filter = "Ini Files (*.ini)|*.ini|All Files (*.*)|*.*||";
    request.flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    std::string chosen;
    if (!CurrentDesktop().AskOpenFile(parent, request, chosen)) return false;
    if (!TakeProgramPath(chosen)) return false;
    SetWindowTextA(programPathEdit, programPath_.c_str());
    return true;
}
