// Uninstall against a fake host: install then uninstall leaves every folder and both INI files byte
// for byte as they were; files and keys the user changed since are kept; the list of programs.
#include "InstallFixture.h"
#include "SilentInstall.h"

#include <algorithm>
#include <map>

namespace {

using Tree = FileTree;
using Lines = std::vector<std::string>;

bool HasLine(const Lines& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string KeyText(HKEY root, const std::string& subkey, const char* name)
{
    char value[1024] = "";
    DWORD size = sizeof value;
    if (RegGetValueA(root, subkey.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) return {};
    return value;
}

int SubkeyCount(HKEY root)
{
    DWORD count = 0;
    RegQueryInfoKeyA(root, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    return static_cast<int>(count);
}

const char kUninstalled[] = "Uninstall is finished.";
const char kUninstalledInPart[] = "Uninstall is finished, but not all of it could be undone (see above).";

// A script that uses every section and key, on a host with files for it to replace, delete and rename.
const char kEverySection[] =
    "[Product]\nTitle=Every Section\nVersion=2.5\nCompany=Us\nMAXVer=6.0\n"
    "[Windows]\nFile1=w.dll\n[System32]\nFile1=s.dll\n"
    "[Root]\nFile1=old.txt\nFile2=docs\\en\\r.txt\nDelete1=gone.txt\nOld1=a.cfg\nNew1=a.cfg.old\n"
    "[Fonts]\nAddPath=Ours\nFile1=f.ttf\n[Help]\nFile1=h.chm\nDesc1=Every Help\n"
    "[PlugCFG]\nFile1=p.set\nKeep1=True\nFile2=mine.set\nKeep2=True\n"
    "[Plugins6]\nAddPath=Every\nDesc=Every plug-ins\nFile1=e.dlo\n[Plugins5]\nFile1=five.dlo\n"
    "[BitmapDirs]\nAddPath=EveryMaps\nFile1=m.bmp\n[Execute]\nFile1=readme.txt\n";

}  // namespace

class UninstallTest : public InstallFixture {
protected:
    void SetUp() override
    {
        InstallFixture::SetUp();
        for (const char* name : {"w.dll", "s.dll", "old.txt", "docs\\en\\r.txt", "f.ttf", "h.chm", "p.set", "mine.set",
                                 "e.dlo", "five.dlo", "m.bmp", "readme.txt"})
            Source(name, std::string("new ") + name);
        WriteText(Host("old.txt"), "the host's own old.txt");
        SetFileAttributesA(Host("old.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        WriteText(Host("gone.txt"), "deleted by the script");
        WriteText(Host("a.cfg"), "renamed by the script");
        WriteText(Host("plugcfg\\mine.set"), "the user's presets");
        Script(kEverySection);
    }
    Tree Snapshot() const { return TreeOf(temp.Path()); }
    int Uninstall()
    {
        Load();
        return script->Uninstall(log);
    }
};

TEST_F(UninstallTest, InstallThenUninstallLeavesEverythingAsItWas)
{
    const Tree before = Snapshot();
    Load();
    ASSERT_EQ(Install(), 1);
    ASSERT_EQ(log.lines.back(), kFinished);
    ASSERT_NE(Snapshot(), before);
    EXPECT_EQ(IniValue(Host("3DSMAX.INI"), "BitmapDirs", "Dir2"), Host("maps\\EveryMaps"));
    // Listed among the installed programs, with a way back that runs the kept copy.
    const std::string folder = script->RecordFolder();
    const std::string name = folder.substr(folder.find_last_of('\\') + 1);
    EXPECT_EQ(KeyText(registry.Uninstall(), name, "DisplayName"), "Every Section (" + temp / "max6" + ")");
    EXPECT_EQ(KeyText(registry.Uninstall(), name, "DisplayVersion"), "2.5");
    EXPECT_EQ(KeyText(registry.Uninstall(), name, "Publisher"), "Us");
    EXPECT_EQ(KeyText(registry.Uninstall(), name, "QuietUninstallString"),
              "\"" + folder + "\\setup.exe\" /S /U /D=" + temp / "max6");
    EXPECT_TRUE(FileExists(folder + "\\SETUP.INI"));
    // The files the install replaced or deleted are kept with the record, never in the host.
    EXPECT_FALSE(FileExists(Host("gone.txt")));

    log.lines.clear();
    EXPECT_EQ(Uninstall(), 1);
    EXPECT_EQ(log.lines.back(), kUninstalled);
    EXPECT_TRUE(HasLine(log.lines, "Restore old.txt"));
    EXPECT_TRUE(HasLine(log.lines, "Remove e.dlo"));
    EXPECT_FALSE(HasLine(log.lines, "Remove mine.set"));  // found there by Keep: never ours
    EXPECT_EQ(Snapshot(), before);
    EXPECT_FALSE(FileExists(folder));
    EXPECT_EQ(SubkeyCount(registry.Uninstall()), 0);
    EXPECT_TRUE(desktop.shown.empty());

    // Nothing of ours is left there now: refused.
    EXPECT_EQ(Uninstall(), 0);
    EXPECT_EQ(desktop.shown.back().text, temp / "max6" + " : Nothing of this package is installed there!");
}

TEST_F(UninstallTest, SectionsTheInstallMadeGoWithTheirKeys)
{
    // A PLUGIN.INI without [Help]: the install makes the section, uninstall takes it away again,
    // and a section that was there empty before stays.
    WriteText(Host("PLUGIN.INI"), "[Directories]\r\nAdditional MAX plug-ins=" + Host("plugins\\") + "\r\n[Empty]\r\n");
    const Tree before = Snapshot();
    Load();
    ASSERT_EQ(Install(), 1);
    EXPECT_EQ(IniValue(Host("PLUGIN.INI"), "Help", "Every Help"), Host("help\\h.chm"));
    log.lines.clear();
    EXPECT_EQ(Uninstall(), 1);
    EXPECT_EQ(log.lines.back(), kUninstalled);
    EXPECT_EQ(Snapshot(), before);
    EXPECT_NE(ReadText(Host("PLUGIN.INI")).find("[Empty]"), std::string::npos);
}

TEST_F(UninstallTest, WhatTheUserChangedSinceIsKept)
{
    Load();
    ASSERT_EQ(Install(), 1);
    // The user's own presets in the starter library; a second install on top keeps them, and
    // what was there before the first; then the user points a key of ours elsewhere.
    WriteText(Host("plugcfg\\p.set"), "starter plus the user's own");
    Load();
    ASSERT_EQ(Install(), 1);
    EXPECT_EQ(ReadText(Host("plugcfg\\p.set")), "starter plus the user's own");
    WritePrivateProfileStringA("Directories", "Every plug-ins", "D:\\elsewhere", Host("PLUGIN.INI").c_str());

    log.lines.clear();
    EXPECT_EQ(Uninstall(), 1);
    EXPECT_EQ(log.lines.back(), kUninstalled);
    EXPECT_TRUE(HasLine(log.lines, "Kept p.set (changed since it was installed)"));
    EXPECT_EQ(ReadText(Host("plugcfg\\p.set")), "starter plus the user's own");
    EXPECT_EQ(IniValue(Host("PLUGIN.INI"), "Directories", "Every plug-ins"), "D:\\elsewhere");
    // The rest undone, to what was there before the first install.
    EXPECT_EQ(ReadText(Host("old.txt")), "the host's own old.txt");
    EXPECT_FALSE(FileExists(Host("plugins\\Every\\e.dlo")));
    EXPECT_EQ(IniValue(Host("PLUGIN.INI"), "Help", "Every Help"), "");
}

TEST_F(UninstallTest, BitmapListIsRenumberedWithoutAGap)
{
    Load();
    ASSERT_EQ(Install(), 1);
    const std::string maxIni = Host("3DSMAX.INI");
    ASSERT_EQ(IniValue(maxIni, "BitmapDirs", "Dir2"), Host("maps\\EveryMaps"));
    WritePrivateProfileStringA("BitmapDirs", "Dir3", "D:\\later", maxIni.c_str());
    WritePrivateProfileStringA("BitmapDirs", "Dir4", "D:\\latest", maxIni.c_str());
    EXPECT_EQ(Uninstall(), 1);
    EXPECT_EQ(IniValue(maxIni, "BitmapDirs", "Dir1"), Host("maps"));
    EXPECT_EQ(IniValue(maxIni, "BitmapDirs", "Dir2"), "D:\\later");
    EXPECT_EQ(IniValue(maxIni, "BitmapDirs", "Dir3"), "D:\\latest");
    EXPECT_EQ(IniValue(maxIni, "BitmapDirs", "Dir4"), "");
}

// What cannot be undone (a file the script deleted has another in its place) is named, exit 2, and
// the record keeps it, with the deleted file, so that a second run finishes the job.
TEST_F(UninstallTest, WhatCannotBeUndoneIsNamedAndCanBeRetried)
{
    const Tree before = Snapshot();
    Load();
    ASSERT_EQ(Install(), 1);
    const std::string gone = Host("gone.txt");
    WriteText(gone, "someone else's");
    const std::string logPath = records / "uninstall.log";  // outside the tree compared
    EXPECT_EQ(RunSilent(ParseCommandLine("/S /U /LOG=" + logPath), Environment(), packageDir), kSilentAborted);
    const std::string text = ReadText(logPath);
    EXPECT_NE(text.find("Error: " + gone + " : Can't restore file! Another file is in its place."), std::string::npos)
        << text;
    EXPECT_NE(text.find(kUninstalledInPart), std::string::npos);
    EXPECT_FALSE(FileExists(Host("plugins\\Every\\e.dlo")));  // the rest is undone
    EXPECT_EQ(SubkeyCount(registry.Uninstall()), 1);              // and still listed
    DeleteFileA(gone.c_str());
    EXPECT_EQ(RunSilent(ParseCommandLine("/S /U /LOG=" + logPath), Environment(), packageDir), kSilentInstalled);
    EXPECT_EQ(ReadText(logPath), "Restore gone.txt\r\n-> " + hostDir + "\r\n" + kUninstalled + "\r\n");
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(SubkeyCount(registry.Uninstall()), 0);
    EXPECT_EQ(RunSilent(ParseCommandLine("/S /U"), Environment(), packageDir), kSilentRefused);
}

// Uninstall writes the INI files through the same guard: a write cut short by a full disk is put
// back, the key stays, and the run says it is not done.
TEST_F(UninstallTest, IniCutShortDuringUninstallIsPutBack)
{
    Load();
    ASSERT_EQ(Install(), 1);
    const std::string pluginIni = Host("PLUGIN.INI");
    const std::string installed = ReadText(pluginIni);
    writer.failAt = writer.writes + 1;
    EXPECT_EQ(Uninstall(), 1);
    EXPECT_TRUE(script->Incomplete());
    EXPECT_EQ(log.lines.back(), kUninstalledInPart);
    const std::string after = ReadText(pluginIni);
    // Whichever INI file the first removal went to is whole, with our key still in it.
    if (after != installed) {
        EXPECT_EQ(IniValue(Host("3DSMAX.INI"), "BitmapDirs", "Dir2"), Host("maps\\EveryMaps"));
    }
    EXPECT_FALSE(FileExists(pluginIni + ".kcfbak"));
    ASSERT_FALSE(desktop.shown.empty());
    EXPECT_NE(desktop.shown[0].text.find(" : Can't write file!"), std::string::npos);
}

// A record that names anything the installed script could not have done on this host is refused
// whole, the entry named, and nothing anywhere is touched: each row adds one entry to an honest
// record (or takes the kept script away), as someone who could write the record would. The check's
// every rule is a row of the native RecordCheck table; these rows show the uninstall acting on it.
TEST_F(UninstallTest, RecordsNamingWhatThePackageCouldNotDoAreRefusedWhole)
{
    struct Case {
        const char* name;
        std::string line;  // appended to the log; {h} the host folder with its backslash, {t} the test's tree,
                           // {l} a folder that is a link
        const char* shows;
        const char* script = "";  // appended to the kept script, with 3DSMAX.INI's Scripts folder the link
    };
    const Case cases[] = {
        {"a file outside the host", "deleted\t{h}..\\victim.txt\t{k}\\9-victim.txt", "(deleted {h}..\\victim.txt)"},
        {"no kept script", "", "SETUP.INI : Can't read the package's script kept with the install record!"},
        {"a folder the plan names, through a link", "made\t{l}\\Ours", "(made {l}\\Ours)",
         "[Scripts]\nAddPath=Ours\nFile1=x.ms\n"},
    };
    Load();
    ASSERT_EQ(Install(), 1);
    const std::string folder = script->RecordFolder();
    const std::string logPath = folder + "\\install.log";
    const std::string honest = ReadText(logPath);
    const std::string kept = ReadText(folder + "\\SETUP.INI");
    const std::string maxIni = ReadText(Host("3DSMAX.INI"));
    WriteText(temp / "victim.txt", "someone else's");
    const auto expand = [&](std::string text) {
        for (const auto& [word, meaning] :
             {std::pair<std::string, std::string>{"{h}", hostDir}, {"{t}", temp.Path()}, {"{k}", folder + "\\kept"},
              {"{l}", KCF_TEST_FOLDER_LINK}})
            for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + meaning.size()))
                text.replace(at, word.size(), meaning);
        return text;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.line.empty()) DeleteFileA((folder + "\\SETUP.INI").c_str());
        else WriteText(logPath, honest + expand(c.line) + "\r\n");
        if (*c.script) {
            WriteText(folder + "\\SETUP.INI", kept + c.script);
            WritePrivateProfileStringA("Directories", "Scripts", KCF_TEST_FOLDER_LINK, Host("3DSMAX.INI").c_str());
        }
        const Tree before = Snapshot();
        desktop.shown.clear();
        log.lines.clear();
        EXPECT_EQ(Uninstall(), 0);
        ASSERT_EQ(desktop.shown.size(), 1u);
        EXPECT_NE(desktop.shown[0].text.find(expand(c.shows)), std::string::npos) << desktop.shown[0].text;
        EXPECT_NE(desktop.shown[0].text.find("Nothing was undone. Remove the package's files by hand"), std::string::npos);
        EXPECT_TRUE(log.lines.empty());
        EXPECT_EQ(Snapshot(), before);
        WriteText(logPath, honest);
        WriteText(folder + "\\SETUP.INI", kept);
        WriteText(Host("3DSMAX.INI"), maxIni);
    }
    // The honest record still undoes everything.
    desktop.shown.clear();
    EXPECT_EQ(Uninstall(), 1);
    EXPECT_EQ(log.lines.back(), kUninstalled);
}
