// The installer's state: the script SETUP.INI, the product it describes, the bound host, and the
// install and uninstall run against it.
#pragma once

#include "HostDiscovery.h"
#include "HostVersionList.h"
#include "IniFile.h"
#include "IniGuard.h"
#include "InstallPlan.h"
#include "InstallRecord.h"
#include "ProgressLog.h"
#include "ScriptText.h"
#include "Uninstall.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// Where the installer looks outside its script; tests point every part at their own tree.
struct InstallEnvironment {
    HostRegistry registry;
    std::string windowsDirectory;           // empty: ask the platform
    std::string systemDirectory;            // empty: ask the platform
    ProfileWriter* profileWriter = nullptr;  // null: the platform's private-profile write
    // Where each install keeps its record for uninstall, one folder per package and host; empty:
    // no record is kept and nothing can be uninstalled.
    std::string recordBase;
    // The Uninstall key the package is listed under in the system's list of programs; null: not listed.
    HKEY uninstallRoot = nullptr;
    // This program's own file, copied beside the record so that the list of programs can run it;
    // empty: no copy.
    std::string programFile;
};


// The product as the script's [Product] section describes it.
struct ProductRecord {
    float version = 1.0f;
    float maxVer = 3.0f;
    bool multi = false;
    std::string title;
    std::string company;
    std::string product;
    std::string size;
};

class InstallScript {
public:
    explicit InstallScript(InstallEnvironment environment = {});

    // Opens SETUP.INI in the directory, discovers the hosts, shows the program path in the edit
    // (may be null) and reads the product. False when the script does not open.
    bool Load(HWND owner, HWND programPathEdit, const std::string& directory);
    // Runs every step against the bound host. 1 when the install ran, 0 when it was refused.
    int Install(ProgressLog& log);
    // True when the last install ended a copy list on the user's Abort.
    bool AnyAborted() const { return aborted_; }
    // True when the last install or uninstall left something out: a file not copied (Ignore, or an
    // aborted list), a registration that could not be written, a record that could not be kept, or
    // something uninstall could not undo.
    bool Incomplete() const { return aborted_ || leftOut_ || !unwritable_.empty() || recordFailed_ || partial_; }
    // Undoes what the installs of this package recorded on the bound host. 1 when it ran, 0 when it
    // was refused (no host, nothing of ours recorded there).
    int Uninstall(ProgressLog& log);
    // Whether Uninstall would run, asked before the user is: false, with the message Uninstall would
    // show, when it would be refused.
    bool CanUninstall();
    // The package as the user knows it: the script's Product, else its Title (which is the Setup
    // window's caption), else "Plug-In". The question before an uninstall and the list of programs
    // name it so.
    std::string PackageName() const;
    // The record folder of this package on the bound host; empty when no record is kept.
    std::string RecordFolder() const;

    // Binds the host in the directory (both INI files and the program path), all or nothing; a
    // file that does not open is named to the user.
    bool BindHost(const std::string& directory);
    // Binds the drive and directory of a full path, as Browse's choice is bound.
    bool TakeProgramPath(const std::string& fullPath);
    // The entry the Setup dialog selects at start, -1 when the list is empty.
    int StartEntry() const;
    // Makes the entry current: version text, program path and binding. A failed bind keeps the
    // previous binding and version whole.
    bool SelectEntry(int index);
    // The entry that is current, -1 when none is.
    int SelectedEntry() const { return selected_; }
    // The /D directory: the discovered entry of that directory when there is one, else the directory
    // bound as Browse binds it: the entry selected at start gives the version, and stays it.
    bool BindGivenDirectory(std::string directory);

    const ProductRecord& Product() const { return product_; }
    const HostVersionList& Versions() const { return versions_; }
    const std::string& ProgramPath() const { return host_.programPath; }
    const std::string& HostRoot() const { return host_.root; }
    const std::string& CurrentVersion() const { return currentVersion_; }
    const IniFile& Script() const { return script_; }
    const IniFile& MaxIni() const { return host_.maxIni; }
    const IniFile& PluginIni() const { return host_.pluginIni; }
    bool HostBound() const { return !host_.root.empty() && !host_.maxIni.Path().empty() && !host_.pluginIni.Path().empty(); }

private:
    bool TakeScriptText();
    std::string PlatformDirectory(bool system) const;
    // The folders of the bound host that a plan lands in.
    HostBinding Binding() const;
    // The record's folders made, or the user told that nothing can be undone.
    bool PrepareRecord(InstallRecord& record);
    // The program and script beside the record, and the package in the list of programs.
    void FinishRecord(InstallRecord& record);
    void TellUnopened(const std::string& path) const;
    // True when a host is bound to uninstall from; otherwise the user is told, and false.
    bool HostToUninstall() const;
    // The bound host as the uninstall works on it.
    UninstallTarget UninstallTargetOf() const;

    InstallEnvironment environment_;
    HWND owner_ = nullptr;
    IniFile script_;
    ScratchFile scriptCopy_;  // the code-page copy of a marked Unicode script
    HostVersionList versions_;
    BoundHost host_;
    ProductRecord product_;
    std::string currentVersion_;
    int selected_ = -1;
    bool aborted_ = false;
    bool leftOut_ = false;                 // a file was not copied
    std::vector<std::string> unwritable_;  // INI files that refused a registration
    bool recordFailed_ = false;
    bool partial_ = false;                 // uninstall: something could not be undone
    IniGuard iniGuard_;                    // the host INI files' copies while an install writes them
};

// The working folder, whole however long; empty when the platform does not give it.
std::string WorkingDirectory();
// The folder setup.exe itself lies in, without a trailing backslash.
std::string ProgramDirectory();
// Where SETUP.INI is read from: the working folder first; when the script does not open there but
// does in the program's own folder (setup.exe started from elsewhere), that folder. When neither
// holds it, the working folder, so that the message names the folder looked in first.
std::string FindScriptDirectory(const std::string& working = WorkingDirectory(),
                                const std::string& program = ProgramDirectory());

// A string of the program's resources in the user's language, or the English text when the running
// module has none (a test program).
std::string ResourceText(UINT id, const char* english);
