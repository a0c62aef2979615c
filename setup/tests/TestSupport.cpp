// Test support: folders, files, registry trees, fake hosts and the scripted desktop.
#include "TestSupport.h"

#include <fstream>
#include <sstream>

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(child);
            else DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

namespace {

void DeleteKeyTree(HKEY root, const std::string& subkey)
{
    HKEY key;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    char name[256];
    for (;;) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        DeleteKeyTree(key, name);
    }
    RegCloseKey(key);
    RegDeleteKeyA(root, subkey.c_str());
}

int counter = 0;

}  // namespace

TempDir::TempDir()
{
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    std::string base = temp;
    if (!base.empty() && base.back() == '\\') base.pop_back();
    path_ = base + "\\kcfsetup-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter) + "-" +
            std::to_string(GetTickCount());
    CreateDirectoryA(path_.c_str(), nullptr);
}

TempDir::~TempDir() { RemoveTree(path_); }

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

namespace {

void AddTree(const std::string& root, const std::string& relative, FileTree& tree)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((root + (relative.empty() ? "" : "\\" + relative) + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = relative.empty() ? name : relative + "\\" + name;
        const DWORD seen = found.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        const bool folder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        tree[path] = folder ? "folder " + std::to_string(seen) : std::to_string(seen) + " " + ReadText(root + "\\" + path);
        if (folder) AddTree(root, path, tree);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

FileTree TreeOf(const std::string& root)
{
    FileTree tree;
    AddTree(root, "", tree);
    return tree;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeDir(const std::string& path) { CreateDirectoryA(path.c_str(), nullptr); }

std::string IniValue(const std::string& path, const char* section, const char* key)
{
    char value[1024] = "";
    GetPrivateProfileStringA(section, key, "", value, sizeof value, path.c_str());
    return value;
}

RegistryTree::RegistryTree()
{
    base_ = "Software\\KcfSetupTests\\" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    RegCreateKeyExA(HKEY_CURRENT_USER, (base_ + "\\machine").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &machine_, nullptr);
    RegCreateKeyExA(HKEY_CURRENT_USER, (base_ + "\\user").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user_,
                    nullptr);
    RegCreateKeyExA(HKEY_CURRENT_USER, (base_ + "\\uninstall").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &uninstall_, nullptr);
}

RegistryTree::~RegistryTree()
{
    RegCloseKey(machine_);
    RegCloseKey(user_);
    RegCloseKey(uninstall_);
    DeleteKeyTree(HKEY_CURRENT_USER, base_);
}

void RegistryTree::SetText(bool machine, const std::string& subkey, const char* name, const std::string& value)
{
    SetRaw(machine, subkey, name, REG_SZ, std::string(value.c_str(), value.size() + 1));
}

void RegistryTree::SetRaw(bool machine, const std::string& subkey, const char* name, DWORD type, const std::string& bytes)
{
    HKEY key;
    RegCreateKeyExA(machine ? machine_ : user_, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

void RegistryTree::AddHost(const std::string& version, const std::string& value)
{
    if (std::stod(version) >= 6.0) SetText(true, "SOFTWARE\\Autodesk\\3DSMAX\\" + version, "Installdir", value);
    else SetText(false, "SOFTWARE\\Autodesk\\3ds max\\" + version + "\\HELP", "3dsmax.chm", value);
}

InstallEnvironment RegistryTree::Environment() const
{
    InstallEnvironment environment;
    environment.registry.machineRoot = machine_;
    environment.registry.userRoot = user_;
    environment.uninstallRoot = uninstall_;
    return environment;
}

std::string MakeFakeHost(const std::string& directory, const FakeHostOptions& options)
{
    MakeDir(directory);
    const char* folders[] = {"fonts", "help", "plugcfg", "scripts", "maps", "plugins", "images"};
    for (const char* folder : folders) MakeDir(directory + "\\" + folder);
    std::string maxIni = "[Directories]\r\n";
    maxIni += "Fonts=" + directory + "\\fonts\r\n";
    maxIni += "Help=" + directory + "\\help\r\n";
    maxIni += "PlugCFG=" + directory + "\\plugcfg\r\n";
    maxIni += "Scripts=" + directory + "\\scripts\r\n";
    maxIni += "Images=" + directory + "\\images\r\n";
    maxIni += "[BitmapDirs]\r\n";
    if (options.bitmapDir) maxIni += "Dir1=" + directory + "\\maps\r\n";
    WriteText(directory + "\\3DSMAX.INI", maxIni);
    if (options.pluginIni) {
        std::string pluginIni = "[Directories]\r\n";
        if (options.additionalPlugins) pluginIni += "Additional MAX plug-ins=" + directory + "\\plugins\\\r\n";
        pluginIni += "[Help]\r\n";
        WriteText(directory + "\\PLUGIN.INI", pluginIni);
    }
    return directory + "\\";
}

int ScriptedDesktop::ShowMessage(HWND, const std::string& text, const char* caption, UINT type)
{
    shown.push_back({text, caption, type});
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return (type & MB_TYPEMASK) == MB_ABORTRETRYIGNORE ? IDIGNORE : IDOK;
}

INT_PTR ScriptedDesktop::OpenWithShell(HWND, const char* verb, const std::string& file, const char* directory, int show)
{
    opened.push_back({verb ? verb : "", file, directory ? directory : "", show});
    return shellResult;
}

bool ScriptedDesktop::AskOpenFile(HWND, const OpenFileRequest& request, std::string& chosen)
{
    lastRequest = request;
    if (filesToChoose.empty()) return false;
    chosen = filesToChoose.front();
    filesToChoose.pop_front();
    return true;
}

FullDiskWriter::~FullDiskWriter()
{
    if (held_ != INVALID_HANDLE_VALUE) CloseHandle(held_);
}

bool FullDiskWriter::Write(const char* section, const char* key, const char* value, const std::string& path)
{
    if (++writes != failAt) return PlatformProfileWriter().Write(section, key, value, path);
    const std::string bytes = ReadText(path);
    WriteText(path, bytes.substr(0, bytes.size() / 2));
    if (holdCopyOpen)
        held_ = CreateFileA((path + ".kcfbak").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    return true;
}
