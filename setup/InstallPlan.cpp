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

std::vector<ScriptSection> ReadEntries(const IniFile& script)
{
    std::vector<ScriptSection> sections;
    for (const SectionKind& kind : SectionTable()) {
        // Each section is read once: the names checked before the install are the names it acts on.
        const IniSection list = script.ReadSection(kind.name);
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

std::string Numbered(const char* stem, size_t index) { return stem + std::to_string(index + 1); }

}  // namespace

std::string FirstBadEntry(const std::vector<ScriptSection>& sections)
{
    for (const ScriptSection& section : sections) {
        const char* name = section.kind->name;
        for (size_t i = 0; i < section.files.size(); ++i) {
            const ScriptFile& file = section.files[i];
            if (!StaysInside(file.name)) return Entry(name, Numbered("File", i), file.name);
            if (!file.desc.empty() && !IsIniKeyName(file.desc)) return Entry(name, Numbered("Desc", i), file.desc);
        }
        if (!section.addPath.empty() && !StaysInside(section.addPath)) return Entry(name, "AddPath", section.addPath);
        if (!section.desc.empty() && !IsIniKeyName(section.desc)) return Entry(name, "Desc", section.desc);
    }
    for (const ScriptSection& section : sections) {
        const char* name = section.kind->name;
        for (size_t i = 0; i < section.deletes.size(); ++i)
            if (!StaysInside(section.deletes[i])) return Entry(name, Numbered("Delete", i), section.deletes[i]);
        for (size_t i = 0; i < section.renames.size(); ++i) {
            const ScriptRename& rename = section.renames[i];
            if (!StaysInside(rename.from)) return Entry(name, Numbered("Old", i), rename.from);
            if (!rename.to.empty() && !StaysInside(rename.to)) return Entry(name, Numbered("New", i), rename.to);
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
