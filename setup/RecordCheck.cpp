// The uninstall's check of an install record against the plan of the installed script.
#include "RecordCheck.h"

#include "Text.h"

namespace {

// A planned path an entry may name, with the folder of the host it lies below.
struct Planned {
    std::string path;
    std::string base;
};

const Planned* Find(const std::vector<Planned>& planned, const std::string& path)
{
    for (const Planned& p : planned)
        if (SameText(p.path, path)) return &p;
    return nullptr;
}

}  // namespace

std::string CheckRecordEntries(const std::vector<RecordEntry>& entries, const InstallPlan& plan,
                               const RecordBounds& bounds, std::vector<RecordEntry>& checked)
{
    using Kind = RecordEntry::Kind;
    // What the plan could have made: files, the folders below each destination, and registrations.
    std::vector<Planned> files, deletes, folders;
    for (const Action& action : plan) {
        switch (action.kind) {
        case ActionKind::kCopy:
        case ActionKind::kKeep:
            files.push_back({action.target, action.base});
            for (const std::string& level : LevelsBelow(action.base, DriveAndDirectory(action.shown)))
                folders.push_back({level, action.base});
            break;
        case ActionKind::kMakeDir:
            for (const std::string& level : LevelsBelow(action.base, action.target)) folders.push_back({level, action.base});
            break;
        case ActionKind::kDelete: deletes.push_back({action.target, action.base}); break;
        case ActionKind::kRename:
        case ActionKind::kRegister:
        case ActionKind::kOpen: break;
        }
    }
    const std::string keptFolder = JoinPath(bounds.folder, "kept");
    // A saved copy: a file of the record's own kept folder, named as the install names them.
    // Both rewrite the path they are given in the record folder's or the binding's own spelling.
    const auto keptPath = [&](std::string& path) {
        const std::string saved = path;
        path = JoinPath(keptFolder, FileNameOf(saved));
        return SameText(saved, path) && StaysInside(FileNameOf(saved)) && LinkOnTheWay(bounds.folder, path).empty();
    };
    const auto iniPath = [&](std::string& path, HostIni& which) {
        const std::string file = path;
        which = SameText(file, bounds.maxIni) ? HostIni::kMax : HostIni::kPlugin;
        path = which == HostIni::kMax ? bounds.maxIni : bounds.pluginIni;
        return !path.empty() && SameText(file, path);
    };
    const auto registered = [&](HostIni which, const RecordEntry& entry, bool anyKey) {
        for (const Action& action : plan) {
            if (action.kind != ActionKind::kRegister || action.ini != which || !SameText(action.section, entry.section))
                continue;
            if (anyKey) return true;
            // A numbered list's key is whichever was free: the stem and a number from 1.
            int number = 0;
            const bool keyMatches = action.numbered ? KeyNumber(entry.key, action.key, number) && number >= 1
                                                    : SameText(entry.key, action.key);
            if (keyMatches && entry.value == action.value) return true;
        }
        return false;
    };

    checked.clear();
    for (size_t i = 0; i < entries.size(); ++i) {
        RecordEntry entry = entries[i];
        const Planned* planned = nullptr;
        bool sound = false;
        switch (entry.kind) {
        case Kind::kCopied:
            planned = Find(files, entry.path);
            sound = planned && (entry.saved.empty() || keptPath(entry.saved));
            break;
        case Kind::kDeleted:
            planned = Find(deletes, entry.path);
            sound = planned && keptPath(entry.saved);
            break;
        case Kind::kRenamed:
            for (const Action& action : plan)
                if (action.kind == ActionKind::kRename && SameText(action.source, entry.path) && SameText(action.target, entry.to)) {
                    entry.path = action.source;
                    entry.to = action.target;
                    sound = LinkOnTheWay(action.base, action.source).empty() && LinkOnTheWay(action.base, action.target).empty();
                }
            break;
        case Kind::kMadeDir: planned = Find(folders, entry.path); sound = planned != nullptr; break;
        case Kind::kIniKey:
        case Kind::kIniSection: {
            HostIni which = HostIni::kPlugin;
            sound = iniPath(entry.path, which) && registered(which, entry, entry.kind == Kind::kIniSection);
            break;
        }
        }
        if (planned) {
            entry.path = planned->path;
            sound = sound && LinkOnTheWay(planned->base, planned->path).empty();
        }
        if (!sound) {
            const RecordEntry& shown = entries[i];
            std::string what = RecordKindName(shown.kind);
            what += " " + shown.path;
            if (!shown.section.empty()) what += " [" + shown.section + "] " + shown.key;
            return "entry " + std::to_string(i + 1) + " (" + what + ")";
        }
        checked.push_back(std::move(entry));
    }
    return {};
}
