// Fuzz target: an install record as anyone may write it, read into entries and checked against the
// plan of a fixed script on a fixed host; every entry the check accepts names only the plan's paths.
#include "RecordCheck.h"
#include "SampleHost.h"
#include "Text.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Require(bool holds)
{
    if (!holds) std::abort();
}

const char kScript[] =
    "[Root]\nFile1=sub\\a.flt\nDelete1=old.dll\nOld1=x.txt\nNew1=y.txt\n[Help]\nFile1=h.chm\nDesc1=H Help\n"
    "[Plugins6]\nAddPath=kcf\nDesc=KCF plug-ins\nFile1=ZAV_KCF.flt\n[BitmapDirs]\nAddPath=kcf\\tex\nFile1=t.bmp\n"
    "[System32]\nFile1=k.dll\n";

InstallPlan FixedPlan()
{
    std::string refused;
    return BuildPlan(ReadEntries(IniDocument(kScript)), SampleHost("C:\\3dsmax6"), "C:\\package\\SETUP_FILES", refused);
}

const RecordBounds kBounds = {"C:\\ProgramData\\Plug-In Installer\\KCF 0123abcd", "C:\\3dsmax6\\3DSMAX.INI",
                              "C:\\3dsmax6\\PLUGIN.INI"};

// A path the plan names in any field, spelled as the plan spells it.
bool Planned(const InstallPlan& plan, const std::string& path)
{
    for (const Action& action : plan) {
        if (path == action.target || path == action.source || path == action.value) return true;
        if (action.kind == ActionKind::kMakeDir)
            for (const std::string& level : LevelsBelow(action.base, action.target))
                if (path == level) return true;
        if (action.kind == ActionKind::kCopy || action.kind == ActionKind::kKeep)
            for (const std::string& level : LevelsBelow(action.base, DriveAndDirectory(action.shown)))
                if (path == level) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const InstallPlan plan = FixedPlan();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<RecordEntry> entries = ParseRecordLog(text);
    // What was read is written back the same way and reads back the same.
    std::string written;
    for (const RecordEntry& entry : entries) written += RecordLine(entry);
    const std::vector<RecordEntry> again = ParseRecordLog(written);
    Require(again.size() == entries.size());
    for (size_t i = 0; i < entries.size(); ++i) Require(RecordLine(again[i]) == RecordLine(entries[i]));

    std::vector<RecordEntry> checked;
    if (!CheckRecordEntries(entries, plan, kBounds, checked).empty()) return 0;
    Require(checked.size() == entries.size());
    const std::string kept = JoinPath(kBounds.folder, "kept");
    for (const RecordEntry& entry : checked) {
        switch (entry.kind) {
        case RecordEntry::Kind::kCopied:
        case RecordEntry::Kind::kDeleted:
            Require(Planned(plan, entry.path));
            Require(entry.saved.empty() || DriveAndDirectory(entry.saved) == kept + "\\");
            Require(entry.kind == RecordEntry::Kind::kCopied || !entry.saved.empty());
            break;
        case RecordEntry::Kind::kRenamed: Require(Planned(plan, entry.path) && Planned(plan, entry.to)); break;
        case RecordEntry::Kind::kMadeDir: Require(Planned(plan, entry.path)); break;
        case RecordEntry::Kind::kIniKey:
            Require(Planned(plan, entry.value));
            [[fallthrough]];
        case RecordEntry::Kind::kIniSection: Require(entry.path == kBounds.maxIni || entry.path == kBounds.pluginIni); break;
        }
    }
    return 0;
}
