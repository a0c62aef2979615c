// The record of an install (its folder, the program and script kept beside it, the package in the
// system's list of programs) and the uninstall that reads it back.
#include "Uninstall.h"

#include "Desktop.h"
#include "InstallApply.h"
#include "InstallScript.h"
#include "Text.h"
#include "resource.h"

#include <cstdio>
#include <map>
#include <set>
#include <tuple>

namespace {

const char kUninstallFinished[] = "Uninstall is finished.";
const char kUninstallIncomplete[] = "Uninstall is finished, but not all of it could be undone (see above).";

void SetText(HKEY key, const char* name, const std::string& value)
{
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
}

// The same file, whatever the spelling of its path?
bool SameFile(const std::string& a, const std::string& b)
{
    char fullA[MAX_PATH] = "";
    char fullB[MAX_PATH] = "";
    return GetFullPathNameA(a.c_str(), MAX_PATH, fullA, nullptr) && GetFullPathNameA(b.c_str(), MAX_PATH, fullB, nullptr) &&
           SameText(fullA, fullB);
}

}  // namespace

std::string InstallScript::RecordFolder() const
{
    if (environment_.recordBase.empty() || hostRoot_.empty()) return {};
    return RecordFolderFor(environment_.recordBase, product_.title, hostRoot_);
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
        RemoveRecord(record);
        return;
    }
    const std::string program = JoinPath(record.Folder(), "setup.exe");
    const std::string script = JoinPath(record.Folder(), "SETUP.INI");
    // The script as the install read it: the code-page copy of a Unicode one.
    const std::string original = scriptCopy_.Path().empty() ? JoinPath(script_.FoundIn(), "SETUP.INI") : scriptCopy_.Path();
    // New files, never ones that were there: an earlier copy of ours goes first.
    const auto copyNew = [](const std::string& from, const std::string& to) {
        DeleteFileA(to.c_str());
        return CopyFileA(from.c_str(), to.c_str(), TRUE) != FALSE;
    };
    bool kept = true;
    if (!environment_.programFile.empty() && !SameFile(environment_.programFile, program))
        kept = copyNew(environment_.programFile, program);
    if (!SameFile(original, script)) kept = copyNew(original, script) && kept;
    if (record.Failed() || !kept) {
        recordFailed_ = true;
        TellError(owner_, "%s : Can't write file! Uninstall will not be able to undo all of this install.", record.LogPath());
    }
    if (!environment_.uninstallRoot) return;
    HKEY key = nullptr;
    if (RegCreateKeyExA(environment_.uninstallRoot, RecordName(record.Folder()).c_str(), 0, nullptr, 0, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        recordFailed_ = true;
        TellError(owner_, "%s : Can't list the package among the installed programs!", RecordName(record.Folder()));
        return;
    }
    char version[32] = "";
    std::snprintf(version, sizeof version, "%g", static_cast<double>(product_.version));
    SetText(key, "DisplayName", PackageName() + " (" + hostRoot_ + ")");
    SetText(key, "DisplayVersion", version);
    SetText(key, "Publisher", product_.company);
    SetText(key, "InstallLocation", hostRoot_);
    SetText(key, "UninstallString", "\"" + program + "\" /U /D=" + hostRoot_);
    SetText(key, "QuietUninstallString", "\"" + program + "\" /S /U /D=" + hostRoot_);
    const DWORD one = 1;
    RegSetValueExA(key, "NoModify", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    RegSetValueExA(key, "NoRepair", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    RegCloseKey(key);
}

void InstallScript::RemoveRecord(const InstallRecord& record)
{
    if (environment_.uninstallRoot) RegDeleteKeyA(environment_.uninstallRoot, RecordName(record.Folder()).c_str());
    DeleteFileA(record.LogPath().c_str());
    DeleteFileA(JoinPath(record.Folder(), "SETUP.INI").c_str());
    RemoveDirectoryA(JoinPath(record.Folder(), "kept").c_str());
    const std::string program = JoinPath(record.Folder(), "setup.exe");
    // A running program cannot delete its own file: when uninstall runs from the record's copy, the
    // copy and its folder go when the system next starts.
    if (Exists(program) && !DeleteFileA(program.c_str())) {
        MoveFileExA(program.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        MoveFileExA(record.Folder().c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return;
    }
    RemoveDirectoryA(record.Folder().c_str());
    RemoveDirectoryA(environment_.recordBase.c_str());  // only when no other record is left
}

std::string InstallScript::PackageName() const
{
    if (!product_.product.empty()) return product_.product;
    return product_.title.empty() ? "Plug-In" : product_.title;
}

bool InstallScript::LoadRecordForUninstall(InstallRecord& record)
{
    if (!HostBound()) {
        CurrentDesktop().ShowMessage(owner_, "Can't uninstall without a MAX program path!", "Error", MB_OK | MB_ICONSTOP);
        return false;
    }
    // What a record says is carried out with the administrator's rights: only one that no one else
    // could have made or changed.
    if (const std::string why = record.Folder().empty() ? std::string() : record.Untrusted(); !why.empty()) {
        ShowFormatted(owner_, "%s : Setup will not read it as the install record. Nothing was undone.", why, "Error",
                      MB_OK | MB_ICONSTOP);
        return false;
    }
    if (record.Folder().empty() || !record.Load()) {
        ShowFormatted(owner_, "%s : Nothing of this package is installed there!", hostRoot_, "Error", MB_OK | MB_ICONSTOP);
        return false;
    }
    // Only what the installed script could have done on this host is undone: its plan is made
    // again from the copy kept with the record, and every entry must be one of its actions.
    const char kByHand[] = " Nothing was undone. Remove the package's files by hand, then the record's folder.";
    const std::string kept = JoinPath(record.Folder(), "SETUP.INI");
    IniFile installed;
    if (!FileOpensForReading(kept) || !installed.Open(owner_, kept)) {
        ShowFormatted(owner_, (std::string("%s : Can't read the package's script kept with the install record!") + kByHand).c_str(),
                      kept, "Error", MB_OK | MB_ICONSTOP);
        return false;
    }
    const std::vector<ScriptSection> sections = ReadEntries(installed);
    std::string refused;
    const InstallPlan plan = FirstBadEntry(sections).empty() ? BuildPlan(sections, Binding(), {}, refused) : InstallPlan();
    std::vector<RecordEntry> checked;
    const std::string bad =
        CheckRecordEntries(record.Entries(), plan, {record.Folder(), maxIni_.Path(), pluginIni_.Path()}, checked);
    if (!bad.empty()) {
        ShowFormatted(owner_,
                      (std::string("%s : The install record names what this package's install could not have done!") +
                       kByHand)
                          .c_str(),
                      record.LogPath() + ", " + bad, "Error", MB_OK | MB_ICONSTOP);
        return false;
    }
    record.TakeChecked(std::move(checked));
    return true;
}

bool InstallScript::CanUninstall()
{
    InstallRecord record(RecordFolder());
    return LoadRecordForUninstall(record);
}

int InstallScript::Uninstall(ProgressLog& log)
{
    aborted_ = false;
    leftOut_ = false;
    unwritable_.clear();
    recordFailed_ = false;
    partial_ = false;
    InstallRecord record(RecordFolder());
    if (!LoadRecordForUninstall(record)) return 0;

    PlanApplier writer(iniGuard_, {&maxIni_, &pluginIni_}, owner_, log, nullptr);
    const auto failed = [&](const char* format, const std::string& path) {
        partial_ = true;
        std::string text = format;
        text.replace(text.find("%s"), 2, path);
        log.AddLine("Error: " + text);
    };
    const auto fileLines = [&](const char* word, const std::string& path, const char* note = "") {
        std::string line = word;
        line += ' ';
        log.AddLine(line + FileNameOf(path) + note);
        log.AddLine("-> " + DriveAndDirectory(path));
    };

    // What was there before is the first entry's; what was installed, the last one's.
    const std::vector<RecordEntry>& entries = record.Entries();
    std::set<std::string> done;
    // What could not be undone stays in the record, for a second run.
    std::vector<RecordEntry> remaining;
    const auto keepFor = [&](const RecordEntry& first, const RecordEntry& last) {
        remaining.insert(remaining.begin(), last);
        if (&first != &last) remaining.insert(remaining.begin(), first);
    };
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const RecordEntry& last = *it;
        switch (last.kind) {
        case RecordEntry::Kind::kCopied: {
            std::string id = last.path;
            CharUpperBuffA(id.data(), static_cast<DWORD>(id.size()));
            if (!done.insert("f" + id).second) break;
            const RecordEntry& first = *record.CopiedBefore(last.path);
            const std::string& before = first.saved;
            const std::string now = Fingerprint(last.path);
            if (!now.empty() && now != last.fingerprint) {
                // The user's own since the install: kept, and so is what it replaced.
                fileLines("Kept", last.path, " (changed since it was installed)");
                if (!before.empty()) log.AddLine("(the file it replaced is kept in " + before + ")");
                break;
            }
            SetFileAttributesA(last.path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!before.empty()) {
                fileLines("Restore", last.path);
                if (!MoveFileExA(before.c_str(), last.path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
                    failed("%s : Can't restore file!", last.path);
                    keepFor(first, last);
                }
            } else if (!now.empty()) {
                fileLines("Remove", last.path);
                if (!DeleteFileA(last.path.c_str())) {
                    failed("%s : Can't remove file!", last.path);
                    keepFor(first, last);
                }
            }
            break;
        }
        case RecordEntry::Kind::kDeleted:
            if (!Exists(last.saved)) break;
            fileLines("Restore", last.path);
            if (Exists(last.path) || !MoveFileExA(last.saved.c_str(), last.path.c_str(), MOVEFILE_COPY_ALLOWED)) {
                failed("%s : Can't restore file! Another file is in its place.", last.path);
                keepFor(last, last);
            }
            break;
        case RecordEntry::Kind::kRenamed:
            if (!Exists(last.to) || Exists(last.path)) break;
            log.AddLine("Rename " + FileNameOf(last.to));
            log.AddLine("-> " + FileNameOf(last.path));
            if (!MoveFileA(last.to.c_str(), last.path.c_str())) {
                failed("%s : Can't rename file!", last.to);
                keepFor(last, last);
            }
            break;
        case RecordEntry::Kind::kMadeDir:
            // Only an empty folder goes: what the user put there stays.
            if (!RemoveDirectoryA(last.path.c_str()) && Exists(last.path)) keepFor(last, last);
            break;
        case RecordEntry::Kind::kIniSection: {
            // A section the install made: once its keys are gone, its header goes too.
            std::string id = last.path + "|" + last.section;
            CharUpperBuffA(id.data(), static_cast<DWORD>(id.size()));
            if (!done.insert("s" + id).second) break;
            const IniFile& ini = SameText(last.path, maxIni_.Path()) ? maxIni_ : pluginIni_;
            if (!SameText(ini.Path(), last.path)) break;
            if (!writer.RemoveEmptySection(ini, last.section)) {
                partial_ = true;
                keepFor(last, last);
            }
            break;
        }
        case RecordEntry::Kind::kIniKey: {
            std::string id = last.path + "|" + last.section + "|" + last.key;
            CharUpperBuffA(id.data(), static_cast<DWORD>(id.size()));
            if (!done.insert("k" + id).second) break;
            const IniFile& ini = SameText(last.path, maxIni_.Path()) ? maxIni_ : pluginIni_;
            if (!SameText(ini.Path(), last.path)) break;  // a file of another binding
            std::string now;
            ini.ReadValue(last.section.c_str(), last.key.c_str(), now);
            if (now.empty()) break;  // already gone
            if (now != last.value) {
                log.AddLine("Kept [" + last.section + "] " + last.key + " (changed since it was installed)");
                log.AddLine("-> " + ini.Path());
                break;
            }
            const RecordEntry& first = *record.KeyBefore(last.path, last.section, last.key);
            const std::string& prior = first.prior;
            bool undone = true;
            if (!prior.empty() && prior != last.value) {
                undone = writer.Register(ini, last.section, last.key, prior);
            } else if (prior.empty() && SameText(last.section, "BitmapDirs") && last.key.size() > 3 &&
                       SameText(last.key.substr(0, 3), "Dir")) {
                // The host stops reading the list at a gap: the later entries move up one.
                int k = std::atoi(last.key.c_str() + 3);
                std::string next;
                while (undone && k > 0 && ini.ReadNumbered("BitmapDirs", "Dir", k + 1, next))
                    undone = writer.Register(ini, "BitmapDirs", NumberedKey("Dir", k++), next);
                if (undone) undone = writer.Unregister(ini, "BitmapDirs", NumberedKey("Dir", k));
            } else if (prior.empty()) {
                undone = writer.Unregister(ini, last.section, last.key);
            }
            if (!undone) {
                partial_ = true;
                keepFor(first, last);
            }
            break;
        }
        }
    }
    iniGuard_.Finish();
    unwritable_ = writer.Unwritable();
    // A record that could not all be undone keeps what is left, with the program beside it, to try
    // again; folders made by the install stay listed only while a later run may empty them.
    if (!Incomplete()) {
        RemoveRecord(record);
    } else if (!record.Rewrite(remaining)) {
        log.AddLine("Error: " + record.LogPath() + " : Can't write file!");
    }
    log.AddLine(Incomplete() ? ResourceText(IDS_UNINSTALL_INCOMPLETE, kUninstallIncomplete)
                             : ResourceText(IDS_UNINSTALL_FINISHED, kUninstallFinished));
    return 1;
}
