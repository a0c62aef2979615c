// The install's first two stages: SETUP.INI read into typed entries by one table of sections, and
// the ordered list of actions those entries come to on one host, checked before anything is touched.
// The uninstall builds the same plan again, to check its record against.
#pragma once

#include "IniText.h"

#include <map>
#include <string>
#include <vector>

// Where a section's files go.
enum class Destination {
    kWindows,        // the Windows folder
    kSystem,         // the Windows system folder
    kHostRoot,       // the host's program folder; also its deletes and renames
    kHostDirectory,  // the key of the section's name in 3DSMAX.INI [Directories]
    kPlugins,        // the additional plug-in folder of PLUGIN.INI, or the program's Plugins
    kBitmapDirs,     // 3DSMAX.INI [BitmapDirs] Dir1
    kExecute,        // nowhere: each file is opened where it lies
};

// One section the installer reads. Section names are fixed: a section not in the table is never read.
struct SectionKind {
    const char* name;
    Destination destination;
    bool registersHelp;  // DescN: file N is registered in PLUGIN.INI [Help]
    bool takesAddPath;
};

// Every section, in the order the install acts on them.
const std::vector<SectionKind>& SectionTable();

struct ScriptFile {
    std::string name;   // relative to SETUP_FILES and to the destination
    bool keep = false;  // KeepN=True: copied only when not there yet
    std::string desc;   // DescN, for sections that register help
};

struct ScriptRename {
    std::string from;
    std::string to;  // empty when NewN is missing
};

// One section as read: every list up to its first gap.
struct ScriptSection {
    const SectionKind* kind = nullptr;
    std::vector<ScriptFile> files;
    std::string addPath;
    std::string desc;                    // plug-in sections: the key the new folder is registered under
    std::vector<std::string> deletes;    // host root only
    std::vector<ScriptRename> renames;   // host root only
};

// The script's sections in table order, from the script file itself (IniFile) or its text read
// whole (IniDocument).
std::vector<ScriptSection> ReadEntries(const IniSource& script);
// The first entry that would act outside its folder, or write a key its INI file could not hold,
// as "[Section] Key=value"; empty when every entry is sound.
std::string FirstBadEntry(const std::vector<ScriptSection>& sections);
bool AnyFileListed(const std::vector<ScriptSection>& sections);

// Which host INI file a registration goes to.
enum class HostIni { kMax, kPlugin };

enum class ActionKind {
    kCopy,      // source -> target, overwriting
    kKeep,      // source -> target only when the target is not there (KeepN)
    kDelete,    // target, from the host root
    kRename,    // source -> target, in the host root
    kMakeDir,   // the levels of target below base that are not there
    kRegister,  // section/key=value into the host INI file
    kOpen,      // target, opened by the shell
};

struct Action {
    ActionKind kind = ActionKind::kCopy;
    std::string source;
    std::string target;
    std::string base;   // kMakeDir: the folder the levels are made below
    std::string shown;  // kOpen: the script's value as written
    HostIni ini = HostIni::kPlugin;
    std::string section;
    std::string key;
    std::string value;
    int group = 0;  // the copy list an action belongs to: Abort ends the rest of its group
    // kRegister: key is a stem, and the value goes to the first free numbered key (Dir1, Dir2, ...)
    // unless one of them holds it already; the host stops reading such a list at its first gap.
    bool numbered = false;
};

// An action of a kind with the fields that say what it acts on, in their order of declaration.
inline Action MakeAction(ActionKind kind, std::string source = {}, std::string target = {}, std::string base = {},
                         std::string shown = {})
{
    Action action;
    action.kind = kind;
    action.source = std::move(source);
    action.target = std::move(target);
    action.base = std::move(base);
    action.shown = std::move(shown);
    return action;
}

using InstallPlan = std::vector<Action>;

// The folders of one host that a plan's entries land in, as the host's registry entry and INI
// files name them when the plan is made.
struct HostBinding {
    std::string root;              // the program folder, without a trailing backslash
    std::string version;           // the host version the binding was made for ("6.0")
    std::string windowsDirectory;  // empty: none to be had, and the section installs nothing
    std::string systemDirectory;
    std::map<std::string, std::string> directories;  // 3DSMAX.INI [Directories], by section name
    std::string additionalPlugins;                   // PLUGIN.INI [Directories] Additional MAX plug-ins
    std::string firstBitmapDir;                      // 3DSMAX.INI [BitmapDirs] Dir1
};

// The ordered actions of the script's entries on a bound host; source is the package's
// SETUP_FILES folder. A folder of the host's INI files that lies in the Windows folder (a
// section other than [Windows] and [System32] never installs there) gives no plan: refused says
// which, as "folder (FILE [Section] Key)".
InstallPlan BuildPlan(const std::vector<ScriptSection>& sections, const HostBinding& host, const std::string& source,
                      std::string& refused);
// The first folder a plan copies into or makes folders below that is a link; empty when none is.
std::string FirstLinkedDestination(const InstallPlan& plan);
