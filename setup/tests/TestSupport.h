// Test support for the installer: private folders and registry trees, file helpers, a fake host,
// a desktop that answers as told and records what it was shown, a collecting log, and a profile
// write that fails as a full disk does.
#pragma once

#include "Desktop.h"
#include "IniFile.h"
#include "InstallScript.h"
#include "ProgressLog.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

// A folder of the test's own under %TEMP%, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);
bool FileExists(const std::string& path);
void MakeDir(const std::string& path);
// Removes the folder and everything in it.
void RemoveTree(const std::string& path);
std::string IniValue(const std::string& path, const char* section, const char* key);

// Every file and folder below root, by its path relative to root: "folder" and its attributes, or
// the attributes a user sees (read-only, hidden, system) and the file's bytes.
using FileTree = std::map<std::string, std::string>;
FileTree TreeOf(const std::string& root);
inline bool IsFolderEntry(const std::string& state) { return state.rfind("folder", 0) == 0; }

// A registry tree of the test's own under HKEY_CURRENT_USER, standing in for the machine's.
class RegistryTree {
public:
    RegistryTree();
    ~RegistryTree();
    RegistryTree(const RegistryTree&) = delete;
    RegistryTree& operator=(const RegistryTree&) = delete;
    // "machine" or "user" subkey path below HKEY_CURRENT_USER.
    const std::string& Base() const { return base_; }
    void SetText(bool machine, const std::string& subkey, const char* name, const std::string& value);
    // Any type, any bytes: for values that are not what the installer looks for.
    void SetRaw(bool machine, const std::string& subkey, const char* name, DWORD type, const std::string& bytes);
    // Registers a host 6.0 and above by its install directory, an older one by its help file.
    void AddHost(const std::string& version, const std::string& value);
    // Host discovery's roots, and the "uninstall" subkey standing in for the system's Uninstall key.
    InstallEnvironment Environment() const;
    HKEY Uninstall() const { return uninstall_; }

private:
    std::string base_;
    HKEY machine_ = nullptr;
    HKEY user_ = nullptr;
    HKEY uninstall_ = nullptr;
};

// A host installation: program directory with 3DSMAX.INI ([Directories], [BitmapDirs]) and
// PLUGIN.INI, and the folders they name. Answers the program directory, ending in a backslash.
struct FakeHostOptions {
    bool bitmapDir = true;
    bool additionalPlugins = true;
    bool pluginIni = true;
};
std::string MakeFakeHost(const std::string& directory, const FakeHostOptions& options = {});

struct ShownMessage {
    std::string text;
    std::string caption;
    UINT type;
};

class ScriptedDesktop : public Desktop {
public:
    int ShowMessage(HWND owner, const std::string& text, const char* caption, UINT type) override;
    INT_PTR OpenWithShell(HWND owner, const char* verb, const std::string& file, const char* directory,
                          int show) override;
    bool AskOpenFile(HWND owner, const OpenFileRequest& request, std::string& chosen) override;
    void Beep(UINT type) override { beeps.push_back(type); }

    std::deque<int> answers;            // message box answers, in order; then Ignore / OK
    std::vector<ShownMessage> shown;
    struct Opened {
        std::string verb, file, directory;
        int show;
    };
    std::vector<Opened> opened;
    INT_PTR shellResult = 42;
    std::deque<std::string> filesToChoose;  // empty: the file-open dialog is cancelled
    OpenFileRequest lastRequest;
    std::vector<UINT> beeps;
};

class VectorLog : public ProgressLog {
public:
    void AddLine(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};

// Profile writes through the platform, except write number failAt (counted from 1 over all files):
// that one cuts the file to half its size and answers success, as a write on a full disk can. With
// holdCopyOpen it also keeps the file's copy open, as a virus scanner might, so that the copy
// cannot be renamed back into place.
class FullDiskWriter : public ProfileWriter {
public:
    ~FullDiskWriter() override;
    bool Write(const char* section, const char* key, const char* value, const std::string& path) override;
    int failAt = 0;  // 0: no write fails
    bool holdCopyOpen = false;
    int writes = 0;

private:
    HANDLE held_ = INVALID_HANDLE_VALUE;
};
