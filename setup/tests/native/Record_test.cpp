// The install record's line format, and its check against the plan of the installed script.
#include "RecordCheck.h"
#include "SampleHost.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Every field of an entry but the fingerprint and the prior value, which no check respells.
std::string Spelled(const RecordEntry& e)
{
    return std::string(RecordKindName(e.kind)) + "|" + e.path + "|" + e.saved + "|" + e.to + "|" + e.section + "|" +
           e.key + "|" + e.value;
}

TEST(RecordLog, EveryKindRoundTripsWithTheCharactersItEscapes)
{
    const std::string odd = "a%b\tc\rd\ne%41";
    const std::vector<RecordEntry> entries = {
        RecordEntry::Copied("C:\\max\\" + odd, "", "7-00ff"), RecordEntry::Copied("C:\\max\\a", "C:\\rec\\kept\\1-a", "1-2"),
        RecordEntry::Deleted("C:\\max\\old.dll", odd), RecordEntry::Renamed("C:\\max\\a.txt", odd),
        RecordEntry::MadeDir(odd), RecordEntry::IniSection("C:\\max\\PLUGIN.INI", odd),
        RecordEntry::IniKey("C:\\max\\3DSMAX.INI", "BitmapDirs", "Dir2", odd, ""),
    };
    std::string log;
    for (const RecordEntry& entry : entries) {
        const std::string line = RecordLine(entry);
        ASSERT_EQ(line.substr(line.size() - 2), "\r\n");
        EXPECT_EQ(line.find_first_of("\r\n"), line.size() - 2) << line;
        RecordEntry back;
        ASSERT_TRUE(ParseRecordLine(line.substr(0, line.size() - 2), back)) << line;
        EXPECT_EQ(Spelled(back) + back.fingerprint + back.prior, Spelled(entry) + entry.fingerprint + entry.prior);
        log += line;
    }
    // A killed install leaves its last line cut short: that line is left out, the rest is whole.
    const std::vector<RecordEntry> read = ParseRecordLog(log + "copied\tC:\\max\\cut");
    ASSERT_EQ(read.size(), entries.size());
    for (size_t i = 0; i < read.size(); ++i) EXPECT_EQ(RecordLine(read[i]), RecordLine(entries[i])) << i;
}

TEST(RecordLog, LinesAsTodaysInstallerWritesThemAndLinesThatAreNoEntry)
{
    const std::vector<RecordEntry> read = ParseRecordLog(
        "copied\tC:\\3dsmax6\\plugins\\ZAV_KCF.flt\t\t81920-0123456789abcdef\r\n"
        "ini\tC:\\3dsmax6\\PLUGIN.INI\tHelp\tKCF Help\tC:\\3dsmax6\\help\\kcf.chm\tC:\\old%25.chm\r\n"
        "unknown\tx\r\n"
        "made\r\n"
        "made\tC:\\a\textra\r\n"
        "\r\n"
        "deleted\tC:\\3dsmax6\\old.dll\tC:\\rec\\kept\\2-old.dll\r\n");
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(Spelled(read[0]), "copied|C:\\3dsmax6\\plugins\\ZAV_KCF.flt|||||");
    EXPECT_EQ(read[0].fingerprint, "81920-0123456789abcdef");
    EXPECT_EQ(Spelled(read[1]), "ini|C:\\3dsmax6\\PLUGIN.INI|||Help|KCF Help|C:\\3dsmax6\\help\\kcf.chm");
    EXPECT_EQ(read[1].prior, "C:\\old%.chm");
    EXPECT_EQ(Spelled(read[2]), "deleted|C:\\3dsmax6\\old.dll|C:\\rec\\kept\\2-old.dll||||");
}

// The plan of a package with a file in a sub-folder, a delete, a rename, help and a bitmap folder.
InstallPlan PlanOn(const std::string& root)
{
    const IniDocument script("[Root]\nFile1=sub\\a.flt\nDelete1=old.dll\nOld1=x.txt\nNew1=y.txt\n"
                             "[Help]\nFile1=h.chm\nDesc1=H Help\n[BitmapDirs]\nAddPath=kcf\\tex\nFile1=t.bmp\n");
    std::string refused;
    return BuildPlan(ReadEntries(script), SampleHost(root), "P", refused);
}

const RecordBounds kBounds = {"C:\\rec\\K 1234", "C:\\max\\3DSMAX.INI", "C:\\max\\PLUGIN.INI"};

TEST(RecordCheck, AcceptsOnlyWhatThePlanCouldHaveMade)
{
    const InstallPlan plan = PlanOn("C:\\max");
    using E = RecordEntry;
    struct Case {
        const char* name;
        RecordEntry entry;
        std::string spelled;  // as checked; empty: refused
    };
    const Case cases[] = {
        {"copied", E::Copied("c:\\MAX\\SUB\\A.FLT", "", "f"), "copied|C:\\max\\sub\\a.flt|||||"},
        {"copied over a kept file", E::Copied("C:\\max\\sub\\a.flt", "C:\\REC\\K 1234\\kept\\1-a.flt", "f"),
         "copied|C:\\max\\sub\\a.flt|C:\\rec\\K 1234\\kept\\1-a.flt||||"},
        {"deleted", E::Deleted("C:\\max\\old.dll", "C:\\rec\\K 1234\\kept\\2-old.dll"),
         "deleted|C:\\max\\old.dll|C:\\rec\\K 1234\\kept\\2-old.dll||||"},
        {"renamed", E::Renamed("C:\\max\\X.txt", "C:\\max\\y.TXT"), "renamed|C:\\max\\x.txt||C:\\max\\y.txt|||"},
        {"made a file's folder", E::MadeDir("C:\\max\\sub"), "made|C:\\max\\sub|||||"},
        {"made an AddPath level", E::MadeDir("C:\\max\\maps\\kcf"), "made|C:\\max\\maps\\kcf|||||"},
        {"made the AddPath", E::MadeDir("C:\\max\\maps\\kcf\\tex"), "made|C:\\max\\maps\\kcf\\tex|||||"},
        {"help key", E::IniKey("c:\\max\\plugin.ini", "help", "H HELP", "C:\\max\\help\\h.chm", ""),
         "ini|C:\\max\\PLUGIN.INI|||help|H HELP|C:\\max\\help\\h.chm"},
        {"numbered bitmap key", E::IniKey("C:\\max\\3DSMAX.INI", "BitmapDirs", "Dir12", "C:\\max\\maps\\kcf\\tex", "x"),
         "ini|C:\\max\\3DSMAX.INI|||BitmapDirs|Dir12|C:\\max\\maps\\kcf\\tex"},
        {"section", E::IniSection("C:\\max\\PLUGIN.INI", "Help"), "section|C:\\max\\PLUGIN.INI|||Help||"},
        // What the plan could not have made.
        {"copied elsewhere", E::Copied("C:\\max\\other.flt", "", "f"), ""},
        {"copied out by ..", E::Copied("C:\\max\\..\\victim.txt", "", "f"), ""},
        {"saved from outside kept", E::Copied("C:\\max\\sub\\a.flt", "C:\\evil\\a.flt", "f"), ""},
        {"saved through ..", E::Copied("C:\\max\\sub\\a.flt", "C:\\rec\\K 1234\\kept\\..\\a.flt", "f"), ""},
        {"saved below kept", E::Copied("C:\\max\\sub\\a.flt", "C:\\rec\\K 1234\\kept\\x\\a.flt", "f"), ""},
        {"deleted without a kept copy", E::Deleted("C:\\max\\old.dll", ""), ""},
        {"deleted in the system folder", E::Deleted("C:\\WINDOWS\\system32\\old.dll", "C:\\rec\\K 1234\\kept\\1-old.dll"), ""},
        {"renamed elsewhere", E::Renamed("C:\\max\\x.txt", "C:\\max\\z.txt"), ""},
        {"renamed backwards", E::Renamed("C:\\max\\y.txt", "C:\\max\\x.txt"), ""},
        {"made the host folder", E::MadeDir("C:\\max"), ""},
        {"made below a made folder", E::MadeDir("C:\\max\\sub\\deeper"), ""},
        {"made in the Windows folder", E::MadeDir("C:\\WINDOWS\\sub"), ""},
        {"key of another file", E::IniKey("C:\\WINDOWS\\win.ini", "Help", "H Help", "C:\\max\\help\\h.chm", ""), ""},
        {"key with another value", E::IniKey("C:\\max\\PLUGIN.INI", "Help", "H Help", "C:\\evil.chm", ""), ""},
        {"key in another INI", E::IniKey("C:\\max\\3DSMAX.INI", "Help", "H Help", "C:\\max\\help\\h.chm", ""), ""},
        {"numbered key without a number", E::IniKey("C:\\max\\3DSMAX.INI", "BitmapDirs", "Dir", "C:\\max\\maps\\kcf\\tex", ""), ""},
        {"numbered key from nought", E::IniKey("C:\\max\\3DSMAX.INI", "BitmapDirs", "Dir0", "C:\\max\\maps\\kcf\\tex", ""), ""},
        {"numbered key with more", E::IniKey("C:\\max\\3DSMAX.INI", "BitmapDirs", "Dir1x", "C:\\max\\maps\\kcf\\tex", ""), ""},
        {"section the plan writes nothing to", E::IniSection("C:\\max\\PLUGIN.INI", "Directories"), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<RecordEntry> checked;
        const std::vector<RecordEntry> entries = {E::MadeDir("C:\\max\\sub"), c.entry};
        const std::string why = CheckRecordEntries(entries, plan, kBounds, checked);
        if (c.spelled.empty()) {
            // Refused whole, with the entry named.
            EXPECT_EQ(why.rfind("entry 2 (" + std::string(RecordKindName(c.entry.kind)) + " " + c.entry.path, 0), 0u)
                << why;
        } else {
            EXPECT_EQ(why, "");
            ASSERT_EQ(checked.size(), 2u);
            EXPECT_EQ(Spelled(checked[1]), c.spelled);
        }
    }
}

// No entry acts through a link: a host folder that is one refuses what lies below it.
TEST(RecordCheck, RefusesPathsThroughALink)
{
    char folder[] = "/tmp/kcf-record-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string real = std::string(folder) + "/real";
    const std::string link = std::string(folder) + "/max";
    ASSERT_EQ(mkdir(real.c_str(), 0700), 0);
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);

    for (const std::string& root : {real, link}) {
        const InstallPlan plan = PlanOn(root);
        const bool linked = root == link;
        EXPECT_EQ(FirstLinkedDestination(plan), linked ? link : "");
        for (const RecordEntry& entry : {RecordEntry::Copied(root + "\\sub\\a.flt", "", "f"),
                                         RecordEntry::Renamed(root + "\\x.txt", root + "\\y.txt")}) {
            std::vector<RecordEntry> checked;
            EXPECT_EQ(CheckRecordEntries({entry}, plan, kBounds, checked).empty(), !linked) << root;
        }
    }
    unlink(link.c_str());
    rmdir(real.c_str());
    rmdir(folder);
}

}  // namespace
