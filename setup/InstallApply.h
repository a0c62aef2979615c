// The install's last stage: runs a plan action by action, asks the user through message boxes,
// writes the progress lines, and keeps the record that uninstall reads.
#pragma once

#include "IniGuard.h"
#include "InstallPlan.h"
#include "InstallRecord.h"
#include "ProgressLog.h"

#include <windows.h>

#include <string>
#include <vector>

// The questions and messages of an install or uninstall: message boxes owned by owner, through the
// desktop seam that tests and silent mode replace.
// A copy failed: IDABORT, IDRETRY or IDIGNORE.
int AskFailedCopy(HWND owner, const std::string& target);
// "format" with one argument, caption "Error", OK.
void TellError(HWND owner, const char* format, const std::string& argument);

// The host INI files a plan registers in, by their role.
struct HostInis {
    const IniFile* maxIni = nullptr;
    const IniFile* pluginIni = nullptr;
    const IniFile& Of(HostIni which) const { return which == HostIni::kMax ? *maxIni : *pluginIni; }
};

class PlanApplier {
public:
    // record may be null: nothing is kept for uninstall.
    PlanApplier(IniGuard& guard, HostInis inis, HWND owner, ProgressLog& log, InstallRecord* record)
        : guard_(guard), inis_(inis), owner_(owner), log_(log), record_(record)
    {
    }
    void Apply(const InstallPlan& plan);
    bool Aborted() const { return aborted_; }
    // True when a file was not copied: answered Ignore or Abort, or left out after an Abort.
    bool LeftOut() const { return leftOut_; }
    // INI files that refused a registration, each named to the user once.
    const std::vector<std::string>& Unwritable() const { return unwritable_; }

    // Writes a registration through the guard; a file that refuses it is named to the user once
    // and not written again. Answers whether the key now holds the value.
    bool Register(const IniFile& ini, const std::string& section, const std::string& key, const std::string& value);
    // A value for a numbered list (stem 1, stem 2, ...): written to the first free key unless one
    // of them holds it already.
    bool RegisterInList(const IniFile& ini, const std::string& section, const std::string& stem, const std::string& value);
    // Removes a key the same way; answers whether it is gone.
    bool Unregister(const IniFile& ini, const std::string& section, const std::string& key);
    // Removes a key of a numbered list: the host stops reading such a list at its first gap, so the
    // later values move up one key and the last key goes. A key outside the list is removed alone.
    bool UnregisterFromList(const IniFile& ini, const std::string& section, const std::string& stem,
                            const std::string& key);
    // Removes a section that holds no key any more, guarded; false (and the user told) when it cannot.
    bool RemoveEmptySection(const IniFile& ini, const std::string& section);

private:
    // kKept: a Keep file already there; kSkipped: answered Ignore.
    enum class Outcome { kDone, kKept, kAborted, kSkipped };
    Outcome Copy(const Action& action);
    void Delete(const Action& action);
    void Rename(const Action& action);
    void Open(const Action& action);
    bool Refused(const IniFile& ini) const;
    void Report(const IniFile& ini, IniWrite result);

    IniGuard& guard_;
    HostInis inis_;
    HWND owner_;  // owns the message boxes and what the install opens
    ProgressLog& log_;
    InstallRecord* record_;
    bool aborted_ = false;
    bool leftOut_ = false;
    std::vector<std::string> unwritable_;
};

// Creates the directories of a relative sub-path below a base directory, one level at a time;
// failures (also because a level exists) are ignored. Never creates the base itself. Answers the
// levels it made, outermost first.
std::vector<std::string> CreateLevelsBelow(const std::string& base, const std::string& relative);
