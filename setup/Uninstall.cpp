// The uninstall: the record's check against the installed script's plan, its undo steps, and
// carrying them out.
#include "Uninstall.h"

#include "Desktop.h"
#include "Text.h"

#include <set>
#include <utility>

std::vector<UndoStep> PlanUndo(const std::vector<RecordEntry>& entries)
{
    using Kind = RecordEntry::Kind;
    // What a later install did to a file or key is undone once, back to what the first found.
    const auto firstOf = [&](size_t last) {
        const RecordEntry& entry = entries[last];
        for (size_t i = 0; i < last; ++i) {
            const RecordEntry& e = entries[i];
            if (e.kind == entry.kind && SameText(e.path, entry.path) &&
                (entry.kind != Kind::kIniKey || (SameText(e.section, entry.section) && SameText(e.key, entry.key))))
                return i;
        }
        return last;
    };
    std::vector<UndoStep> steps;
    std::set<std::pair<Kind, std::string>> done;
    for (size_t i = entries.size(); i-- > 0;) {
        const RecordEntry& entry = entries[i];
        std::string id;
        switch (entry.kind) {
        case Kind::kCopied: id = UpperCase(entry.path); break;
        case Kind::kIniSection: id = UpperCase(entry.path + "|" + entry.section); break;
        case Kind::kIniKey: id = UpperCase(entry.path + "|" + entry.section + "|" + entry.key); break;
        case Kind::kDeleted:
        case Kind::kRenamed:
        case Kind::kMadeDir: break;
        }
        if (!id.empty() && !done.insert({entry.kind, id}).second) continue;
        const bool earlier = entry.kind == Kind::kCopied || entry.kind == Kind::kIniKey;
        steps.push_back({earlier ? firstOf(i) : i, i});
    }
    return steps;
}

bool Uninstaller::Check()
{
    const UINT stop = MB_OK | MB_ICONSTOP;
    // What a record says is carried out with the administrator's rights: only one that no one else
    // could have made or changed.
    if (const std::string why = record_.Folder().empty() ? std::string() : record_.Untrusted(); !why.empty()) {
        ShowFormatted(owner_, "%s : Setup will not read it as the install record. Nothing was undone.", why, "Error", stop);
        return false;
    }
    if (record_.Folder().empty() || !record_.Load()) {
        ShowFormatted(owner_, "%s : Nothing of this package is installed there!", target_.hostRoot, "Error", stop);
        return false;
    }
    // Only what the installed script could have done on this host is undone: its plan is made
    // again from the copy kept with the record, and every entry must be one of its actions.
    const std::string byHand = " Nothing was undone. Remove the package's files by hand, then the record's folder.";
    IniFile installed;
    if (!installed.Open(record_.ScriptPath())) {
        ShowFormatted(owner_, ("%s : Can't read the package's script kept with the install record!" + byHand).c_str(),
                      record_.ScriptPath(), "Error", stop);
        return false;
    }
    const std::vector<ScriptSection> sections = ReadEntries(installed);
    std::string refused;
    const InstallPlan plan =
        FirstBadEntry(sections).empty() ? BuildPlan(sections, target_.binding, {}, refused) : InstallPlan();
    std::vector<RecordEntry> checked;
    const RecordBounds bounds{record_.Folder(), target_.inis.maxIni->Path(), target_.inis.pluginIni->Path()};
    const std::string bad = CheckRecordEntries(record_.Entries(), plan, bounds, checked);
    if (!bad.empty()) {
        ShowFormatted(owner_,
                      ("%s : The install record names what this package's install could not have done!" + byHand).c_str(),
                      record_.LogPath() + ", " + bad, "Error", stop);
        return false;
    }
    record_.TakeChecked(std::move(checked));
    return true;
}

const IniFile* Uninstaller::IniOf(const std::string& path) const
{
    for (const IniFile* ini : {target_.inis.maxIni, target_.inis.pluginIni})
        if (SameText(ini->Path(), path)) return ini;
    return nullptr;  // a file of another binding
}

void Uninstaller::Run(ProgressLog& log, HKEY uninstallRoot)
{
    PlanApplier writer(guard_, target_.inis, owner_, log, nullptr);
    const std::vector<RecordEntry>& entries = record_.Entries();
    // What could not be undone stays in the record, in its order, for a second run.
    std::vector<RecordEntry> remaining;
    for (const UndoStep& step : PlanUndo(entries)) {
        if (Undo(step, writer, log)) continue;
        remaining.insert(remaining.begin(), entries[step.last]);
        if (step.first != step.last) remaining.insert(remaining.begin(), entries[step.first]);
    }
    guard_.Finish();
    unwritable_ = writer.Unwritable();
    // A record that could not all be undone keeps what is left, with the program beside it, to try
    // again; folders made by the install stay listed only while a later run may empty them.
    if (!partial_ && unwritable_.empty()) record_.Remove(uninstallRoot);
    else if (!record_.Rewrite(remaining)) log.AddLine("Error: " + record_.LogPath() + " : Can't write file!");
}

bool Uninstaller::Undo(const UndoStep& step, PlanApplier& writer, ProgressLog& log)
{
    const RecordEntry& first = record_.Entries()[step.first];
    const RecordEntry& last = record_.Entries()[step.last];
    const auto failed = [&](const char* format, const std::string& path) {
        partial_ = true;
        std::string text = format;
        text.replace(text.find("%s"), 2, path);
        log.AddLine("Error: " + text);
        return false;
    };
    const auto fileLines = [&](const char* word, const std::string& path, const char* note = "") {
        log.AddLine(std::string(word) + " " + FileNameOf(path) + note);
        log.AddLine("-> " + DriveAndDirectory(path));
    };
    switch (last.kind) {
    case RecordEntry::Kind::kCopied: {
        const std::string& before = first.saved;
        const std::string now = Fingerprint(last.path);
        if (!now.empty() && now != last.fingerprint) {
            // The user's own since the install: kept, and so is what it replaced.
            fileLines("Kept", last.path, " (changed since it was installed)");
            if (!before.empty()) log.AddLine("(the file it replaced is kept in " + before + ")");
            return true;
        }
        SetFileAttributesA(last.path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!before.empty()) {
            fileLines("Restore", last.path);
            if (!MoveFileExA(before.c_str(), last.path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
                return failed("%s : Can't restore file!", last.path);
        } else if (!now.empty()) {
            fileLines("Remove", last.path);
            if (!DeleteFileA(last.path.c_str())) return failed("%s : Can't remove file!", last.path);
        }
        return true;
    }
    case RecordEntry::Kind::kDeleted:
        if (!Exists(last.saved)) return true;
        fileLines("Restore", last.path);
        if (Exists(last.path) || !MoveFileExA(last.saved.c_str(), last.path.c_str(), MOVEFILE_COPY_ALLOWED))
            return failed("%s : Can't restore file! Another file is in its place.", last.path);
        return true;
    case RecordEntry::Kind::kRenamed:
        if (!Exists(last.to) || Exists(last.path)) return true;
        log.AddLine("Rename " + FileNameOf(last.to));
        log.AddLine("-> " + FileNameOf(last.path));
        if (!MoveFileA(last.to.c_str(), last.path.c_str())) return failed("%s : Can't rename file!", last.to);
        return true;
    case RecordEntry::Kind::kMadeDir:
        // Only an empty folder goes: what the user put there stays, and so does its entry.
        return RemoveDirectoryA(last.path.c_str()) || !Exists(last.path);
    case RecordEntry::Kind::kIniSection: {
        // A section the install made: once its keys are gone, its header goes too.
        const IniFile* ini = IniOf(last.path);
        if (!ini || writer.RemoveEmptySection(*ini, last.section)) return true;
        partial_ = true;
        return false;
    }
    case RecordEntry::Kind::kIniKey: {
        const IniFile* ini = IniOf(last.path);
        if (!ini) return true;
        std::string now;
        ini->ReadValue(last.section.c_str(), last.key.c_str(), now);
        if (now.empty()) return true;  // already gone
        if (now != last.value) {
            log.AddLine("Kept [" + last.section + "] " + last.key + " (changed since it was installed)");
            log.AddLine("-> " + ini->Path());
            return true;
        }
        const std::string& prior = first.prior;
        bool undone = true;
        if (!prior.empty() && prior != last.value) undone = writer.Register(*ini, last.section, last.key, prior);
        else if (prior.empty() && SameText(last.section, "BitmapDirs"))
            undone = writer.UnregisterFromList(*ini, last.section, "Dir", last.key);
        else if (prior.empty())
            undone = writer.Unregister(*ini, last.section, last.key);
        if (!undone) partial_ = true;
        return undone;
    }
    }
    return true;
}
