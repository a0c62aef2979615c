// The install's plan from script text and a bound host, and the script's refused entries, as tables.
#include "SampleHost.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

// One action as a line: what it does, to what, below which folder, and in which copy list (lists
// numbered in their order in the plan, 0 for none).
std::string Shown(const Action& a, std::map<int, int>& lists)
{
    const int list = a.group == 0 ? 0 : lists.try_emplace(a.group, static_cast<int>(lists.size()) + 1).first->second;
    const std::string group = " #" + std::to_string(list);
    switch (a.kind) {
    case ActionKind::kCopy: return "copy " + a.source + " > " + a.target + " in " + a.base + group;
    case ActionKind::kKeep: return "keep " + a.source + " > " + a.target + " in " + a.base + group;
    case ActionKind::kDelete: return "delete " + a.target + " in " + a.base;
    case ActionKind::kRename: return "rename " + a.source + " > " + a.target + " in " + a.base;
    case ActionKind::kMakeDir: return "makedir " + a.target + " in " + a.base;
    case ActionKind::kRegister:
        return std::string(a.ini == HostIni::kMax ? "max" : "plugin") + " [" + a.section + "] " + a.key +
               (a.numbered ? "#" : "") + "=" + a.value + group;
    case ActionKind::kOpen: return "open " + a.target + " (" + a.shown + ")";
    }
    return "?";
}

struct PlanRow {
    const char* name;
    const char* script;
    std::vector<std::string> actions;
    std::function<void(HostBinding&)> host = nullptr;
    std::string refused = {};
};

const PlanRow kPlanRows[] = {
    {"EverySectionKindInTheFixedOrder",
     "[Execute]\nFile1=docs\\readme.txt\nKeep1=True\n[BitmapDirs]\nFile1=m.bmp\n[Plugins6]\nFile1=p.dlo\n"
     "[Help]\nFile1=h.chm\nDesc1=H Help\n[Root]\nFile1=r.txt\nDesc1=Not Help\n[System32]\nFile1=s.dll\n"
     "[Windows]\nFile1=w.dll\n[Scripts]\nFile1=sub\\a.ms\n",
     {"copy P\\w.dll > C:\\WINDOWS\\w.dll in C:\\WINDOWS #1", "copy P\\s.dll > C:\\WINDOWS\\system32\\s.dll in C:\\WINDOWS\\system32 #2",
      "copy P\\r.txt > C:\\max\\r.txt in C:\\max #3", "copy P\\h.chm > C:\\max\\help\\h.chm in C:\\max\\help #4",
      "plugin [Help] H Help=C:\\max\\help\\h.chm #4",
      "copy P\\sub\\a.ms > C:\\max\\scripts\\sub\\a.ms in C:\\max\\scripts #5",
      "copy P\\p.dlo > D:\\more\\p.dlo in D:\\more #6", "copy P\\m.bmp > C:\\max\\maps\\m.bmp in C:\\max\\maps #7",
      "open P\\docs\\readme.txt (docs\\readme.txt)"}},
    // Sections match without regard to case; a list ends at its first gap or empty value.
    {"ListsEndAtTheFirstGapOrEmptyValue", "[root]\nFile1=one.txt\nFile3=three.txt\n[Help]\nfile1=one.chm\nFile2=\nFile3=x\n",
     {"copy P\\one.txt > C:\\max\\one.txt in C:\\max #1", "copy P\\one.chm > C:\\max\\help\\one.chm in C:\\max\\help #2"}},
    {"KeepOnlyWhenTrue", "[Root]\nFile1=a.ini\nKeep1=true\nFile2=b.ini\nKeep2=yes\nFile3=c.ini\nKeep3=\"True\"\n",
     {"keep P\\a.ini > C:\\max\\a.ini in C:\\max #1", "copy P\\b.ini > C:\\max\\b.ini in C:\\max #1",
      "keep P\\c.ini > C:\\max\\c.ini in C:\\max #1"}},
    {"DeletesAndRenamesComeFirstInTheRoot",
     "[Root]\nFile1=r.txt\nAddPath=Vendor\\Sub\nDelete1=old.dll\nDelete2=sub\\x.dll\nOld1=a.txt\nNew1=b.txt\nOld2=ro.txt\n",
     {"delete C:\\max\\old.dll in C:\\max", "delete C:\\max\\sub\\x.dll in C:\\max",
      "rename C:\\max\\a.txt > C:\\max\\b.txt in C:\\max", "rename C:\\max\\ro.txt > C:\\max\\ in C:\\max",
      "makedir Vendor\\Sub in C:\\max", "copy P\\r.txt > C:\\max\\Vendor\\Sub\\r.txt in C:\\max\\Vendor\\Sub #1"}},
    {"UnboundOrRelativeFoldersTakeNothing", "[Fonts]\nFile1=f.ttf\n[Sounds]\nFile1=s.wav\n[Windows]\nFile1=w.dll\n",
     {}, [](HostBinding& h) { h.windowsDirectory.clear(); }},
    {"PluginFolderWithAddPathAndDescIsRegistered", "[Plugins6]\nAddPath=Sub\nDesc=Sub plug-ins\nFile1=p.dlo\n",
     {"makedir Sub in D:\\more", "plugin [Directories] Sub plug-ins=D:\\more\\Sub #0",
      "copy P\\p.dlo > D:\\more\\Sub\\p.dlo in D:\\more\\Sub #1"}},
    {"PluginFolderWithoutDescRegistersNothing", "[Plugins6]\nAddPath=Deeper\\Still\nFile1=p.dlo\n",
     {"makedir Deeper\\Still in D:\\more", "copy P\\p.dlo > D:\\more\\Deeper\\Still\\p.dlo in D:\\more\\Deeper\\Still #1"}},
    {"ProgramPluginsFolderWithoutAFullAdditionalOne", "[Plugins6]\nFile1=p.dlo\nDesc=Unused\n",
     {"copy P\\p.dlo > C:\\max\\Plugins\\p.dlo in C:\\max\\Plugins #1"},
     [](HostBinding& h) { h.additionalPlugins = "plugins"; }},
    {"Plugins6OnVersion6", "[Plugins5]\nFile1=five.dlo\n[Plugins6]\nFile1=six.dlo\n",
     {"copy P\\six.dlo > D:\\more\\six.dlo in D:\\more #1"}},
    {"Plugins5BelowVersion6", "[Plugins5]\nFile1=five.dlo\n[Plugins6]\nFile1=six.dlo\n",
     {"copy P\\five.dlo > D:\\more\\five.dlo in D:\\more #1"}, [](HostBinding& h) { h.version = "5.1"; }},
    {"BitmapFolderIsRegisteredByNumber", "[BitmapDirs]\nAddPath=Tex\nFile1=t.bmp\n",
     {"makedir Tex in C:\\max\\maps", "max [BitmapDirs] Dir#=C:\\max\\maps\\Tex #0",
      "copy P\\t.bmp > C:\\max\\maps\\Tex\\t.bmp in C:\\max\\maps\\Tex #1"}},
    {"MissingDir1SkipsTheBitmapStep", "[BitmapDirs]\nAddPath=Tex\nFile1=t.bmp\n", {},
     [](HostBinding& h) { h.firstBitmapDir.clear(); }},
    {"RelativeDir1SkipsTheBitmapStep", "[BitmapDirs]\nAddPath=Tex\nFile1=t.bmp\n", {},
     [](HostBinding& h) { h.firstBitmapDir = "maps"; }},
    {"NoHostRootNoRootStep", "[Root]\nFile1=r.txt\nDelete1=x\n", {}, [](HostBinding& h) { h.root.clear(); }},
    // A folder of the host's INI files in the Windows folder gives no plan, whether or not the
    // script has a section for it.
    {"HostFolderInTheWindowsFolderIsRefused", "[Root]\nFile1=r.txt\n", {},
     [](HostBinding& h) { h.directories["Scripts"] = "c:\\windows\\Scripts"; },
     "c:\\windows\\Scripts (3DSMAX.INI [Directories] Scripts)"},
    {"PluginFolderInTheSystemFolderIsRefused", "[Plugins6]\nFile1=p.dlo\n", {},
     [](HostBinding& h) { h.additionalPlugins = "C:\\WINDOWS\\SYSTEM32\\"; },
     "C:\\WINDOWS\\SYSTEM32\\ (PLUGIN.INI [Directories] Additional MAX plug-ins)"},
    {"BitmapFolderInTheWindowsFolderIsRefused", "[BitmapDirs]\nFile1=t.bmp\n", {},
     [](HostBinding& h) { h.firstBitmapDir = "C:\\WINDOWS"; }, "C:\\WINDOWS (3DSMAX.INI [BitmapDirs] Dir1)"},
    {"AFolderBesideTheWindowsFolderIsNotInIt", "[BitmapDirs]\nFile1=t.bmp\n",
     {"copy P\\t.bmp > C:\\WINDOWS2\\t.bmp in C:\\WINDOWS2 #1"}, [](HostBinding& h) { h.firstBitmapDir = "C:\\WINDOWS2"; }},
};

class PlanTable : public ::testing::TestWithParam<PlanRow> {};

TEST_P(PlanTable, Row)
{
    const PlanRow& row = GetParam();
    HostBinding host = SampleHost();
    if (row.host) row.host(host);
    const std::vector<ScriptSection> sections = ReadEntries(IniDocument(row.script));
    ASSERT_EQ(FirstBadEntry(sections), "");
    std::string refused = "stale";
    std::vector<std::string> actions;
    std::map<int, int> lists;
    for (const Action& action : BuildPlan(sections, host, "P", refused)) actions.push_back(Shown(action, lists));
    EXPECT_EQ(actions, row.actions);
    EXPECT_EQ(refused, row.refused);
}

INSTANTIATE_TEST_SUITE_P(Installer, PlanTable, ::testing::ValuesIn(kPlanRows),
                         [](const ::testing::TestParamInfo<PlanRow>& row) { return std::string(row.param.name); });

// Names that leave their folder, by "..", a drive, a root, a stream or a device, and keys an INI
// file could not hold: the first is named, files of every section before deletes and renames.
TEST(FirstBadEntry, NamesTheFirstEntryThatWouldLeaveItsFolder)
{
    struct Case {
        const char* script;
        const char* bad;
    };
    const Case cases[] = {
        {"[Fonts]\nFile1=..\\..\\escaped.ttf\n", "[Fonts] File1=..\\..\\escaped.ttf"},
        {"[Plugins6]\nFile1=../../escaped.dlo\n", "[Plugins6] File1=../../escaped.dlo"},
        {"[Scripts]\nFile1=docs\\..\\..\\escaped.ms\n", "[Scripts] File1=docs\\..\\..\\escaped.ms"},
        {"[Root]\nFile1=a.txt\nFile2=\"..\\quoted.txt\"\n", "[Root] File2=..\\quoted.txt"},
        {"[Root]\nFile1=C:\\victim.txt\n", "[Root] File1=C:\\victim.txt"},
        {"[Root]\nFile1=C:escaped.txt\n", "[Root] File1=C:escaped.txt"},
        {"[Scripts]\nFile1=\\escaped.ms\n", "[Scripts] File1=\\escaped.ms"},
        {"[Root]\nFile1=\\\\server\\share\\x\n", "[Root] File1=\\\\server\\share\\x"},
        {"[Root]\nFile1=a.txt:hidden\n", "[Root] File1=a.txt:hidden"},
        {"[System32]\nFile1=drivers\\nul.sys\n", "[System32] File1=drivers\\nul.sys"},
        {"[Root]\nFile1=COM1\n", "[Root] File1=COM1"},
        {"[Root]\nFile1=...\\a.txt\n", "[Root] File1=...\\a.txt"},
        {"[Images]\nAddPath=..\\elsewhere\nFile1=a.txt\n", "[Images] AddPath=..\\elsewhere"},
        {"[Execute]\nFile1=..\\victim.txt\n", "[Execute] File1=..\\victim.txt"},
        {"[Plugins5]\nFile1=..\\a.dlo\n", "[Plugins5] File1=..\\a.dlo"},
        {"[Plugins6]\nAddPath=Sub\nDesc=Standard MAX plug-ins=C:\\x\n", "[Plugins6] Desc=Standard MAX plug-ins=C:\\x"},
        {"[Help]\nFile1=a.chm\nDesc1=[Directories]\n", "[Help] Desc1=[Directories]"},
        {"[Help]\nFile1=a.chm\nDesc1=;note\n", "[Help] Desc1=;note"},
        {"[Root]\nDelete1=a.dll\nDelete2=..\\victim.txt\n", "[Root] Delete2=..\\victim.txt"},
        {"[Root]\nOld1=..\\victim.txt\nNew1=mine.txt\n", "[Root] Old1=..\\victim.txt"},
        {"[Root]\nOld1=a.txt\nNew1=..\\moved.txt\n", "[Root] New1=..\\moved.txt"},
        {"[Root]\nDelete1=..\\first.txt\n[BitmapDirs]\nFile1=..\\second.bmp\n", "[BitmapDirs] File1=..\\second.bmp"},
        // Sound: dots inside a name, device names as part of a longer one, a rename without a new name.
        {"[Root]\nFile1=a..b.txt\nFile2=null.txt\nFile3=COM10\nOld1=a.txt\n[Help]\nFile1=h.chm\nDesc1=H Help\n", ""},
        {"[Root]\nDesc1=[not read outside help]\n[Windows]\nDesc1=;\n", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FirstBadEntry(ReadEntries(IniDocument(c.script))), c.bad) << c.script;
    }
}

// The sections as the profile functions give them: keys of any case, the first of a repeated key,
// the first of a repeated section, spaces and one pair of quotes around values.
TEST(IniDocument, ReadsSectionsAsKeyByKeyReadsDo)
{
    const IniDocument ini("File1=before any section\r\n[ S ]\r\n  File1 = \"..\\x\"  \r\nfile2='single'\r\n"
                          "File3=\"open\r\nFile4=first\r\nFILE4=second\r\n; File5=comment\r\nno equals sign\r\n"
                          "File6= a = b \r\nFile7=\"\"\r\n=no key\r\n[s]\r\nFile8=later\r\n[T]\nA=1");
    const IniSection section = ini.Section("S");
    const char* const expected[] = {"..\\x", "single", "\"open", "first", "", "a = b", "", ""};
    std::string value;
    for (int n = 1; n <= 8; ++n) {
        EXPECT_EQ(section.Numbered("File", n, value), expected[n - 1][0] != '\0') << n;
        EXPECT_EQ(value, expected[n - 1]) << n;
    }
    EXPECT_TRUE(ini.Section("t").Value("a", value));
    EXPECT_EQ(value, "1");
    EXPECT_FALSE(ini.Section("Missing").Value("File1", value));

    // A section read key by key where the platform hands one out cut short.
    const IniSection lookedUp([](const std::string& key, std::string& out) {
        out = key == "File2" ? "two" : "";
        return !out.empty();
    });
    EXPECT_TRUE(lookedUp.Numbered("File", 2, value));
    EXPECT_EQ(value, "two");
    EXPECT_FALSE(lookedUp.Value("File1", value));
}

}  // namespace
