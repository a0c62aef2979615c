// The read stage: the table of sections, SETUP.INI read into typed entries, and their check.
#include "InstallPlan.h"

#include "Text.h"

const std::vector<SectionKind>& SectionTable()
{
    using D = Destination;
    static const std::vector<SectionKind> table = {
        {"Windows", D::kWindows, false, false},
        {"System32", D::kSystem, false, false},
        {"Root", D::kHostRoot, false, true},
        {"AutoBackup", D::kHostDirectory, false, true},
        {"Export", D::kHostDirectory, false, true},
        {"Expressions", D::kHostDirectory, false, true},
        {"Fonts", D::kHostDirectory, false, true},
        {"Heidi Drivers", D::kHostDirectory, false, true},
        {"Help", D::kHostDirectory, true, true},
        {"Images", D::kHostDirectory, false, true},
        {"Import", D::kHostDirectory, false, true},
        {"Materials", D::kHostDirectory, false, true},
        {"MaxStart", D::kHostDirectory, false, true},
        {"PlugCFG", D::kHostDirectory, false, true},
        {"Previews", D::kHostDirectory, false, true},
        {"Scenes", D::kHostDirectory, false, true},
        {"Scripts", D::kHostDirectory, false, true},
        {"Sounds", D::kHostDirectory, false, true},
        {"Startup Scripts", D::kHostDirectory, false, true},
        {"VideoPost", D::kHostDirectory, false, true},
        {"Plugins5", D::kPlugins, false, true},
        {"Plugins6", D::kPlugins, false, true},
        {"BitmapDirs", D::kBitmapDirs, false, true},
        {"Execute", D::kExecute, false, false},
    };
    return table;
}

std::vector<ScriptSection> ReadEntries(const IniSource& script)
{
    std::vector<ScriptSection> sections;
    for (const SectionKind& kind : SectionTable()) {
        // Each section is read once: the names checked before the install are the names it acts on.
        const IniSection list = script.Section(kind.name);
        ScriptSection section;
        section.kind = &kind;
        std::string value;
        for (int n = 1; list.Numbered("File", n, value); ++n) {
            ScriptFile file;
            file.name = value;
            file.keep = kind.destination != Destination::kExecute && list.Numbered("Keep", n, value) &&
                        SameText(value, "True");
            if (kind.registersHelp) list.Numbered("Desc", n, file.desc);
            section.files.push_back(std::move(file));
        }
        if (kind.takesAddPath) list.Value("AddPath", section.addPath);
        if (kind.destination == Destination::kPlugins) list.Value("Desc", section.desc);
        if (kind.destination == Destination::kHostRoot) {
            for (int n = 1; list.Numbered("Delete", n, value); ++n) section.deletes.push_back(value);
            for (int n = 1; list.Numbered("Old", n, value); ++n) {
                ScriptRename rename;
                rename.from = value;
                list.Numbered("New", n, rename.to);
                section.renames.push_back(std::move(rename));
            }
        }
        sections.push_back(std::move(section));
    }
    return sections;
}

namespace {

std::string Entry(const char* section, const std::string& key, const std::string& value)
{
    std::string entry = section;  // built in place: GCC 12 warns falsely on a one-letter string in front
    entry.insert(entry.begin(), '[');
    return entry + "] " + key + "=" + value;
}

// An entry of a numbered list by its index in the list ("File", 0 -> "File1").
std::string Entry(const char* section, const char* stem, size_t index, const std::string& value)
{
    return Entry(section, NumberedKey(stem, static_cast<int>(index) + 1), value);
}

}  // namespace

std::string FirstBadEntry(const std::vector<ScriptSection>& sections)
{
    for (const ScriptSection& section : sections) {
        const char* name = section.kind->name;
        for (size_t i = 0; i < section.files.size(); ++i) {
            const ScriptFile& file = section.files[i];
            if (!StaysInside(file.name)) return Entry(name, "File", i, file.name);
            if (!file.desc.empty() && !IsIniKeyName(file.desc)) return Entry(name, "Desc", i, file.desc);
        }
        if (!section.addPath.empty() && !StaysInside(section.addPath)) return Entry(name, "AddPath", section.addPath);
        if (!section.desc.empty() && !IsIniKeyName(section.desc)) return Entry(name, "Desc", section.desc);
    }
    for (const ScriptSection& section : sections) {
        const char* name = section.kind->name;
        for (size_t i = 0; i < section.deletes.size(); ++i)
            if (!StaysInside(section.deletes[i])) return Entry(name, "Delete", i, section.deletes[i]);
        for (size_t i = 0; i < section.renames.size(); ++i) {
            const ScriptRename& rename = section.renames[i];
            if (!StaysInside(rename.from)) return Entry(name, "Old", i, rename.from);
            if (!rename.to.empty() && !StaysInside(rename.to)) return Entry(name, "New", i, rename.to);
        }
    }
    return {};
}

bool AnyFileListed(const std::vector<ScriptSection>& sections)
{
    for (const ScriptSection& section : sections)
        if (!section.files.empty()) return true;
    return false;
}

namespace {

// A registration action: section/key=value into one of the host's INI files.
Action Registration(HostIni ini, const char* section, const std::string& key, const std::string& value)
{
    Action action;
    action.kind = ActionKind::kRegister;
    action.ini = ini;
    action.section = section;
    action.key = key;
    action.value = value;
    return action;
}

}  // namespace

InstallPlan BuildPlan(const std::vector<ScriptSection>& sections, const HostBinding& host, const std::string& source,
                      std::string& refused)
{
    InstallPlan plan;
    refused.clear();
    int group = 0;
    const std::string plugins = LeadingNumber(host.version) >= 6.0 ? "Plugins6" : "Plugins5";
    // A folder the host's INI files give: never the Windows folder, which only its own two
    // sections install into.
    const auto inWindows = [&](const std::string& folder, const char* file, const char* section, const std::string& key) {
        if (!refused.empty() || !(IsWithin(folder, host.windowsDirectory) || IsWithin(folder, host.systemDirectory)))
            return false;
        refused = folder + " (" + file + " [" + section + "] " + key + ")";
        return true;
    };
    // Copy list: Abort on one file ends the rest of its group; help is registered after Ignore too.
    const auto copyList = [&](const ScriptSection& section, const std::string& destination) {
        ++group;
        for (const ScriptFile& file : section.files) {
            const std::string target = JoinPath(destination, file.name);
            plan.push_back(MakeAction(file.keep ? ActionKind::kKeep : ActionKind::kCopy, JoinPath(source, file.name),
                                      target, destination, file.name));
            plan.back().group = group;
            if (section.kind->registersHelp && !file.desc.empty() && Fits(target)) {
                plan.push_back(Registration(HostIni::kPlugin, "Help", file.desc, target));
                plan.back().group = group;
            }
        }
    };
    // AddPath: a folder below the destination, made level by level; true when there is one.
    const auto addPath = [&](const ScriptSection& section, std::string& destination) {
        if (section.addPath.empty()) return false;
        plan.push_back(MakeAction(ActionKind::kMakeDir, {}, section.addPath, destination));
        destination = JoinPath(destination, section.addPath);
        return true;
    };

    for (const ScriptSection& section : sections) {
        const char* name = section.kind->name;
        std::string destination;
        switch (section.kind->destination) {
        case Destination::kWindows:
        case Destination::kSystem:
            destination = section.kind->destination == Destination::kSystem ? host.systemDirectory : host.windowsDirectory;
            if (!destination.empty()) copyList(section, destination);
            break;
        case Destination::kHostRoot:
            if (host.root.empty()) break;
            for (const std::string& file : section.deletes)
                plan.push_back(MakeAction(ActionKind::kDelete, {}, JoinPath(host.root, file), host.root));
            for (const ScriptRename& rename : section.renames)
                plan.push_back(MakeAction(ActionKind::kRename, JoinPath(host.root, rename.from),
                                          JoinPath(host.root, rename.to), host.root));
            destination = host.root;
            addPath(section, destination);
            copyList(section, destination);
            break;
        case Destination::kHostDirectory: {
            // A directory that is not a full path would land wherever the installer happens to run.
            const auto given = host.directories.find(name);
            if (given == host.directories.end() || !IsFullPath(given->second)) break;
            destination = given->second;
            if (inWindows(destination, "3DSMAX.INI", "Directories", name)) break;
            addPath(section, destination);
            copyList(section, destination);
            break;
        }
        case Destination::kPlugins:
            if (plugins != name) break;
            // A registered directory that is not a full path is no place the installer can find: the
            // program's own plug-in folder, which the host always reads, takes the files instead.
            destination = host.additionalPlugins;
            if (!IsFullPath(destination)) destination = JoinPath(host.root, "Plugins");
            else if (inWindows(destination, "PLUGIN.INI", "Directories", "Additional MAX plug-ins")) break;
            StripOneBackslash(destination);
            // The host learns of the new directory by this entry; an empty key name is never written.
            if (addPath(section, destination) && !section.desc.empty() && Fits(destination))
                plan.push_back(Registration(HostIni::kPlugin, "Directories", section.desc, destination));
            copyList(section, destination);
            break;
        case Destination::kBitmapDirs:
            if (!IsFullPath(host.firstBitmapDir)) break;
            destination = host.firstBitmapDir;
            if (inWindows(destination, "3DSMAX.INI", "BitmapDirs", "Dir1")) break;
            // "...\\maps\\" and "...\\maps" are one folder: joined with one backslash, compared alike.
            StripOneBackslash(destination);
            if (addPath(section, destination) && Fits(destination)) {
                plan.push_back(Registration(HostIni::kMax, "BitmapDirs", "Dir", destination));
                plan.back().numbered = true;
            }
            copyList(section, destination);
            break;
        case Destination::kExecute:
            for (const ScriptFile& file : section.files)
                plan.push_back(MakeAction(ActionKind::kOpen, {}, JoinPath(source, file.name), {}, file.name));
            break;
        }
    }
    if (!refused.empty()) plan.clear();
    return plan;
}

std::string FirstLinkedDestination(const InstallPlan& plan)
{
    for (const Action& action : plan) {
        if (action.kind != ActionKind::kCopy && action.kind != ActionKind::kKeep && action.kind != ActionKind::kMakeDir)
            continue;
        if (const std::string link = LinkOnTheWay(action.base, action.base); !link.empty()) return link;
    }
    return {};
}
