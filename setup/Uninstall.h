// The uninstall: an install record read back, checked against the installed script's plan
// (RecordCheck.h), turned into undo steps, and carried out.
#pragma once

#include "InstallApply.h"
#include "InstallPlan.h"
#include "InstallRecord.h"
#include "ProgressLog.h"
#include "RecordCheck.h"

#include <string>
#include <vector>

// One thing to undo: a host file, folder, INI key or section, by the indices of the earliest
// entry that names it (what was there before the first install) and the latest (what the last
// install left).
struct UndoStep {
    size_t first;
    size_t last;
};

// The steps of a record's entries: one for each file, folder, key and section, newest first.
std::vector<UndoStep> PlanUndo(const std::vector<RecordEntry>& entries);

// The host an uninstall works on: its folder, the folders its INI files name (the installed
// script's plan is made again on them), and the INI files themselves.
struct UninstallTarget {
    std::string hostRoot;
    HostBinding binding;
    HostInis inis;
};

class Uninstaller {
public:
    Uninstaller(InstallRecord& record, UninstallTarget target, HWND owner, IniGuard& guard)
        : record_(record), target_(std::move(target)), owner_(owner), guard_(guard)
    {
    }
    // Loads the record and checks every entry; false, the user told why, when nothing of the
    // package is recorded for this host or the record cannot be trusted. Nothing is changed.
    bool Check();
    // Undoes what the checked record says, with a line for each step. What could not be undone
    // stays in the record, for a second run; a record undone whole is removed.
    void Run(ProgressLog& log, HKEY uninstallRoot);
    // Something could not be undone.
    bool Partial() const { return partial_; }
    const std::vector<std::string>& Unwritable() const { return unwritable_; }

private:
    // Undoes one step; false when it could not be.
    bool Undo(const UndoStep& step, PlanApplier& writer, ProgressLog& log);
    const IniFile* IniOf(const std::string& path) const;

    InstallRecord& record_;
    UninstallTarget target_;
    HWND owner_;
    IniGuard& guard_;
    bool partial_ = false;
    std::vector<std::string> unwritable_;
};
