// PlanApplier: each action of the plan with its progress lines, questions and record entries.
#include "InstallApply.h"

#include "Desktop.h"
#include "InstallScript.h"
#include "Text.h"
#include "resource.h"

namespace {

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

// The lines of a file left out, in the English the code has where the program's strings are not at hand.
const char kCopySkipped[] = "Skipped %s (could not be copied)";
const char kCopyNotTried[] = "Skipped %s (not copied after Abort)";

// A line of the program's strings with the file's name in place of its "%s".
std::string NamedLine(UINT id, const char* english, const std::string& path)
{
    std::string line = ResourceText(id, english);
    const size_t at = line.find("%s");
    return at == std::string::npos ? line : line.replace(at, 2, FileNameOf(path));
}

// A failed action leaves the file as it found it.
void PutBack(const std::string& path, DWORD attributes)
{
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(path.c_str(), attributes);
}

}  // namespace

int AskFailedCopy(HWND owner, const std::string& target)
{
    return ShowFormatted(owner, "%s : Can't create file!", target, "Confirm", MB_ABORTRETRYIGNORE | MB_ICONINFORMATION);
}

void TellError(HWND owner, const char* format, const std::string& argument)
{
    ShowFormatted(owner, format, argument, "Error", MB_OK | MB_ICONSTOP);
}

std::vector<std::string> CreateLevelsBelow(const std::string& base, const std::string& relative)
{
    std::vector<std::string> made;
    if (!Fits(base)) return made;
    for (const std::string& level : LevelsBelow(base, relative)) {
        // A level that stands for another folder is never made below, nor through.
        if (!LinkOnTheWay(base, level).empty()) break;
        if (Fits(level) && CreateDirectoryA(level.c_str(), nullptr)) made.push_back(level);
    }
    return made;
}

void PlanApplier::Apply(const InstallPlan& plan)
{
    int abortedGroup = 0;
    for (const Action& action : plan) {
        if (abortedGroup != 0 && action.group == abortedGroup) {
            // Each file an Abort left out is named, as the one that failed is.
            if (action.kind == ActionKind::kCopy || action.kind == ActionKind::kKeep)
                log_.AddLine(NamedLine(IDS_COPY_NOT_TRIED, kCopyNotTried, action.target));
            continue;
        }
        switch (action.kind) {
        case ActionKind::kCopy:
        case ActionKind::kKeep:
            switch (Copy(action)) {
            case Outcome::kAborted:
                aborted_ = true;
                leftOut_ = true;
                abortedGroup = action.group;
                break;
            case Outcome::kSkipped: leftOut_ = true; break;
            case Outcome::kDone:
            case Outcome::kKept: break;
            }
            break;
        case ActionKind::kDelete: Delete(action); break;
        case ActionKind::kRename: Rename(action); break;
        case ActionKind::kMakeDir:
            for (const std::string& level : CreateLevelsBelow(action.base, action.target))
                if (record_) record_->Add(RecordEntry::MadeDir(level));
            break;
        case ActionKind::kRegister:
            if (!Fits(action.value)) break;
            if (action.numbered) RegisterInList(inis_.Of(action.ini), action.section, action.key, action.value);
            else Register(inis_.Of(action.ini), action.section, action.key, action.value);
            break;
        case ActionKind::kOpen: Open(action); break;
        }
    }
}

PlanApplier::Outcome PlanApplier::Copy(const Action& action)
{
    const std::string& target = action.target;
    const bool fits = Fits(action.source) && Fits(target);
    if (action.kind == ActionKind::kKeep && fits && Exists(target)) {
        log_.AddLine("Kept " + FileNameOf(target) + " (already there)");
        log_.AddLine("-> " + DriveAndDirectory(target));
        return Outcome::kKept;
    }
    log_.AddLine("Copy " + FileNameOf(target));
    log_.AddLine("-> " + DriveAndDirectory(target));
    // Every try starts afresh, since the user may have cleared whatever stopped the last one before
    // answering Retry: the folders, what was there before, and the copy itself.
    for (;;) {
        // A name with a sub-path needs its directories below the destination.
        if (fits)
            for (const std::string& level : CreateLevelsBelow(action.base, DriveAndDirectory(action.shown)))
                if (record_) record_->Add(RecordEntry::MadeDir(level));
        // What is there now is kept for uninstall, attributes and all: a file an earlier install of
        // ours put there is not the user's.
        std::string kept;
        // Nothing is copied through a link: it would write wherever the link points.
        bool ready = fits && LinkOnTheWay(action.base, target).empty();
        if (ready && record_ && Exists(target) && !record_->CopiedBefore(target)) {
            kept = record_->Keep(target, false);
            ready = !kept.empty();
        }
        const DWORD attributes = fits ? MakeWritable(target) : INVALID_FILE_ATTRIBUTES;
        if (ready && CopyFileA(action.source.c_str(), target.c_str(), FALSE)) {
            SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (record_) record_->Add(RecordEntry::Copied(target, kept, Fingerprint(target)));
            return Outcome::kDone;
        }
        // A copy that failed part-way is undone from the kept file; the kept file goes, so that
        // the next try keeps what is there then.
        if (!kept.empty()) {
            if (Fingerprint(target) != Fingerprint(kept)) MoveFileExA(kept.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
            SetFileAttributesA(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(kept.c_str());
        }
        PutBack(target, attributes);
        const int answer = AskFailedCopy(owner_, target);
        if (answer == IDRETRY) continue;
        log_.AddLine(NamedLine(IDS_COPY_SKIPPED, kCopySkipped, target));
        return answer == IDABORT ? Outcome::kAborted : Outcome::kSkipped;
    }
}

void PlanApplier::Delete(const Action& action)
{
    const std::string& path = action.target;
    const bool fits = Fits(path) && LinkOnTheWay(action.base, path).empty();
    if (fits && record_ && Exists(path)) {
        // Moved into the record, attributes and all, not deleted: uninstall puts it back.
        log_.AddLine("Delete " + FileNameOf(path));
        const std::string kept = record_->Keep(path, true);
        if (!kept.empty()) record_->Add(RecordEntry::Deleted(path, kept));
        return;
    }
    const DWORD attributes = fits ? MakeWritable(path) : INVALID_FILE_ATTRIBUTES;
    log_.AddLine("Delete " + FileNameOf(path));
    bool deleted = false;
    if (fits) {
        deleted = DeleteFileA(path.c_str()) != FALSE;
    }
    if (!deleted) PutBack(path, attributes);
}

void PlanApplier::Rename(const Action& action)
{
    const std::string& from = action.source;
    const std::string& to = action.target;
    const bool fits = Fits(from) && Fits(to) && LinkOnTheWay(action.base, from).empty() &&
                      LinkOnTheWay(action.base, to).empty();
    const DWORD attributes = fits ? MakeWritable(from) : INVALID_FILE_ATTRIBUTES;
    log_.AddLine("Rename " + FileNameOf(from));
    log_.AddLine("-> " + FileNameOf(to));
    if (fits && MoveFileA(from.c_str(), to.c_str())) {
        if (record_) record_->Add(RecordEntry::Renamed(from, to));
        return;
    }
    PutBack(from, attributes);
}

void PlanApplier::Open(const Action& action)
{
    const std::string& path = action.target;
    log_.AddLine("Execute " + action.shown);
    INT_PTR result = 0;
    if (Fits(path)) {
        const std::string directory = DriveAndDirectory(path);
        result = CurrentDesktop().OpenWithShell(owner_, "open", path, directory.c_str(), SW_SHOWNORMAL);
    }
    if (result <= 32) TellError(owner_, "%s : Can't execute file!", path);
}

bool PlanApplier::Refused(const IniFile& ini) const
{
    for (const std::string& told : unwritable_)
        if (told == ini.Path()) return true;
    return false;
}

bool PlanApplier::Register(const IniFile& ini, const std::string& section, const std::string& key,
                           const std::string& value)
{
    if (Refused(ini)) return false;
    std::string prior;
    ini.ReadValue(section.c_str(), key.c_str(), prior);
    const bool newSection = !IniGuard::HasSection(ini.Path(), section.c_str());
    const IniWrite result = guard_.Write(ini, section.c_str(), key, value);
    if (result != IniWrite::kWritten) {
        Report(ini, result);
        return false;
    }
    // Recorded before its key, so that uninstall, going backwards, empties the section first.
    if (record_ && newSection) record_->Add(RecordEntry::IniSection(ini.Path(), section));
    if (record_) record_->Add(RecordEntry::IniKey(ini.Path(), section, key, value, prior));
    return true;
}

bool PlanApplier::RegisterInList(const IniFile& ini, const std::string& section, const std::string& stem,
                                 const std::string& value)
{
    std::string registered;
    for (int k = 1;; ++k) {
        if (!ini.ReadNumbered(section.c_str(), stem.c_str(), k, registered))
            return Register(ini, section, NumberedKey(stem.c_str(), k), value);
        StripOneBackslash(registered);
        if (SameText(registered, value)) return true;
    }
}

bool PlanApplier::UnregisterFromList(const IniFile& ini, const std::string& section, const std::string& stem,
                                     const std::string& key)
{
    int k = 0;
    if (!KeyNumber(key, stem, k) || k < 1) return Unregister(ini, section, key);
    std::string next;
    while (ini.ReadNumbered(section.c_str(), stem.c_str(), k + 1, next))
        if (!Register(ini, section, NumberedKey(stem.c_str(), k++), next)) return false;
    return Unregister(ini, section, NumberedKey(stem.c_str(), k));
}

bool PlanApplier::RemoveEmptySection(const IniFile& ini, const std::string& section)
{
    if (Refused(ini)) return false;
    const IniWrite result = guard_.RemoveEmptySection(ini, section.c_str());
    if (result == IniWrite::kWritten) return true;
    Report(ini, result);
    return false;
}

bool PlanApplier::Unregister(const IniFile& ini, const std::string& section, const std::string& key)
{
    if (Refused(ini)) return false;
    const IniWrite result = guard_.Remove(ini, section.c_str(), key);
    if (result == IniWrite::kWritten) return true;
    Report(ini, result);
    return false;
}

void PlanApplier::Report(const IniFile& ini, IniWrite result)
{
    unwritable_.push_back(ini.Path());
    const std::string copy = IniGuard::CopyPathOf(ini.Path());
    std::string text = ini.Path() + " : Can't write file!";
    if (result == IniWrite::kCopyKept)
        text += " It could not be put back as it was; what it held before the install is kept in " + copy + ".";
    else if (result == IniWrite::kCopyInTheWay)
        text += " " + copy + " is in the way, and this install did not make it: if an earlier install left it there, it may "
                "be the only whole copy, to put back in place of the file; if not, delete it.";
    TellError(owner_, "%s", text);
}
