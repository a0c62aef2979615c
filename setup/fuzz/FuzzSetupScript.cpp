// Fuzz target: SETUP.INI as anyone may write it, read into entries, checked, and planned on a fixed
// host; a script the check passes never acts outside the folder each action belongs to.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const HostBinding host = SampleHost("C:\\3dsmax6");
    const std::vector<ScriptSection> sections = ReadEntries(IniDocument(std::string(reinterpret_cast<const char*>(data), size)));
    Require(sections.size() == SectionTable().size());
    const std::string bad = FirstBadEntry(sections);
    std::string refused;
    const InstallPlan plan = BuildPlan(sections, host, "C:\\package\\SETUP_FILES", refused);
    Require(refused.empty());  // none of the fixed host's folders lies in the Windows folder
    if (!bad.empty()) return 0;
    for (const Action& action : plan) {
        switch (action.kind) {
        case ActionKind::kCopy:
        case ActionKind::kKeep:
        case ActionKind::kDelete:
        case ActionKind::kRename:
            Require(IsWithin(action.target, action.base) && action.target.size() > action.base.size());
            Require(action.kind != ActionKind::kRename || IsWithin(action.source, action.base));
            Require(!IsWithin(action.base, host.windowsDirectory) || action.base == host.windowsDirectory ||
                    action.base == host.systemDirectory);
            break;
        case ActionKind::kMakeDir:
            Require(StaysInside(action.target));
            for (const std::string& level : LevelsBelow(action.base, action.target)) Require(IsWithin(level, action.base));
            break;
        case ActionKind::kRegister:
            Require(IsIniKeyName(action.key));
            break;
        case ActionKind::kOpen:
            Require(IsWithin(action.target, "C:\\package\\SETUP_FILES"));
            break;
        }
    }
    return 0;
}
