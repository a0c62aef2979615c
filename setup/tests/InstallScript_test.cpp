// The install script against a fake host: product record, version check, copy lists and their
// prompts, host directories, help, plug-in and bitmap registration, root deletes and renames,
// execute, step order, and the guards against unbound hosts, over-long paths and lost presets.
#include "InstallFixture.h"
#include "Text.h"

#include <algorithm>
#include <functional>

using Lines = std::vector<std::string>;

namespace {

const char kCopyFailed[] = " : Can't create file!";

bool HasLine(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

class ProductTest : public InstallFixture {};

TEST_F(ProductTest, ProductKeysAndTheirDefaults)
{
    Script("[Product]\nTitle=My Plug-In\nVersion=2.5\nMulti=tRUE\nMAXVer=6.0beta\nCompany=Us\nProduct=P\nSize=3 MB\n");
    const ProductRecord& product = Load().Product();
    EXPECT_EQ(product.title, "My Plug-In");
    EXPECT_FLOAT_EQ(product.version, 2.5f);
    EXPECT_TRUE(product.multi);
    EXPECT_FLOAT_EQ(product.maxVer, 6.0f);
    EXPECT_EQ(product.company, "Us");
    EXPECT_EQ(product.product, "P");
    EXPECT_EQ(product.size, "3 MB");

    Script("[Product]\nMulti=yes\nMAXVer=none\nTitle=\n");
    const ProductRecord& bare = Load().Product();
    EXPECT_EQ(bare.title, "");
    EXPECT_FALSE(bare.multi);
    EXPECT_FLOAT_EQ(bare.maxVer, 0.0f);
    EXPECT_FLOAT_EQ(bare.version, 0.0f);
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(ProductTest, MissingScriptKeepsInitialRecordAndEndsInVersionRefusal)
{
    InstallScript missing(Environment());
    EXPECT_FALSE(missing.Load(nullptr, nullptr, packageDir + "\\"));
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].text, packageDir + "\\SETUP.INI : Can't open file!");
    EXPECT_EQ(desktop.shown[0].caption, "Error");
    EXPECT_EQ(desktop.shown[0].type, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    EXPECT_FLOAT_EQ(missing.Product().maxVer, 3.0f);
    EXPECT_FLOAT_EQ(missing.Product().version, 1.0f);
    EXPECT_EQ(missing.Versions().Count(), 0);  // no discovery without a script

    EXPECT_EQ(missing.Install(log), 0);
    EXPECT_EQ(desktop.shown.back().text, "Can't install on version \"\"");
    EXPECT_TRUE(log.lines.empty());
}

class VersionCheckTest : public InstallFixture {
protected:
    void SetUp() override
    {
        InstallFixture::SetUp();
        host5 = MakeFakeHost(temp / "max5");
        registry.AddHost("5.0", host5 + "3dsmax.chm");
        Source("a.txt");
    }
    // Loads and selects the 5.0 host.
    void LoadOn5()
    {
        Load();
        for (int i = 0; i < script->Versions().Count(); ++i) {
            if (script->Versions().At(i)->version == "5.0") {
                ASSERT_TRUE(script->SelectEntry(i));
            }
        }
        ASSERT_EQ(script->CurrentVersion(), "5.0");
    }
    std::string host5;
};

TEST_F(VersionCheckTest, LowerHostIsRefusedWithoutTouchingAnything)
{
    Script("[Product]\nMAXVer=6.0\n[Root]\nFile1=a.txt\nDelete1=3DSMAX.INI\n[Plugins5]\nFile1=a.txt\n");
    LoadOn5();
    EXPECT_EQ(Install(), 0);
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].text, "Can't install on version \"5.0\"");
    EXPECT_EQ(desktop.shown[0].caption, "Error");
    EXPECT_EQ(desktop.shown[0].type, static_cast<UINT>(MB_OK | MB_ICONSTOP));
    EXPECT_TRUE(log.lines.empty());
    EXPECT_FALSE(FileExists(host5 + "a.txt"));
    EXPECT_TRUE(FileExists(host5 + "3DSMAX.INI"));
    EXPECT_EQ(script->Versions().Count(), 2);  // a refused install leaves the list as it was
}

TEST_F(VersionCheckTest, EqualOrMissingMaxVerPasses)
{
    Script("[Product]\nMAXVer=5.0\n[Root]\nFile1=a.txt\n");
    LoadOn5();
    EXPECT_EQ(Install(), 1);
    EXPECT_TRUE(FileExists(host5 + "a.txt"));

    Script("[Root]\nFile1=a.txt\n");
    LoadOn5();
    EXPECT_EQ(Install(), 1);
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(VersionCheckTest, HostVersionAtDoubleAgainstMaxVerAtFloat)
{
    // 3.1 as a float lies just below 3.1 as a double: host 3.1 passes MAXVer 3.1.
    const std::string host31 = MakeFakeHost(temp / "max31");
    registry.AddHost("3.1", host31 + "3dsmax.chm");
    Script("[Product]\nMAXVer=3.1\n[Root]\nFile1=a.txt\n");
    Load();
    ASSERT_EQ(script->Versions().At(0)->version, "3.1");
    ASSERT_TRUE(script->SelectEntry(0));
    EXPECT_EQ(Install(), 1);
    EXPECT_TRUE(FileExists(host31 + "a.txt"));

    // MAXVer 5.0000001 is 5.0 as a float, so host 5.0 passes; 5.01 stays above it.
    Script("[Product]\nMAXVer=5.0000001\n[Root]\nFile1=a.txt\n");
    LoadOn5();
    EXPECT_EQ(Install(), 1);
    Script("[Product]\nMAXVer=5.01\n[Root]\nFile1=a.txt\n");
    LoadOn5();
    EXPECT_EQ(Install(), 0);
}

class CopyListTest : public InstallFixture {};

TEST_F(CopyListTest, ReadOnlyTargetIsOverwrittenWithoutAQuestion)
{
    Source("a.dll", "new");
    WriteText(Host("a.dll"), "old");
    SetFileAttributesA(Host("a.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    Script("[Root]\nFile1=a.dll\n");
    Load();
    EXPECT_EQ(Install(), 1);
    EXPECT_EQ(ReadText(Host("a.dll")), "new");
    EXPECT_EQ(GetFileAttributesA(Host("a.dll").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(desktop.shown.empty());
    EXPECT_EQ(log.lines, (Lines{"Copy a.dll", "-> " + hostDir, kFinished}));
}

TEST_F(CopyListTest, FailedCopyAsksAbortRetryIgnore)
{
    Source("b.txt");
    Script("[Root]\nFile1=missing.txt\nFile2=b.txt\n");
    Load();
    // Retry fails again; Ignore goes on with the next file.
    desktop.answers = {IDRETRY, IDIGNORE};
    EXPECT_EQ(Install(), 1);
    ASSERT_EQ(desktop.shown.size(), 2u);
    for (const ShownMessage& message : desktop.shown) {
        EXPECT_EQ(message.text, Host("missing.txt") + kCopyFailed);
        EXPECT_EQ(message.caption, "Confirm");
        EXPECT_EQ(message.type, static_cast<UINT>(MB_ABORTRETRYIGNORE | MB_ICONINFORMATION));
    }
    EXPECT_TRUE(FileExists(Host("b.txt")));
    EXPECT_FALSE(script->AnyAborted());
    // Lines are added before the copy is tried, once per file; the file left out is named.
    EXPECT_EQ(log.lines, (Lines{"Copy missing.txt", "-> " + hostDir, "Skipped missing.txt (could not be copied)",
                                "Copy b.txt", "-> " + hostDir, kFinishedInPart}));
}

// A desktop that does something while the copy question is open, as a user would before Retry.
struct DeskWithAHand : ScriptedDesktop {
    std::function<void()> whileAsked;
    int ShowMessage(HWND owner, const std::string& text, const char* caption, UINT type) override
    {
        if (whileAsked) whileAsked();
        return ScriptedDesktop::ShowMessage(owner, text, caption, type);
    }
};

// What stands in the way of a copy: made before the install, cleared while the question is open.
struct Obstacle {
    const char* name;
    bool hostFileBefore;  // the target holds a file of the host's own that the copy replaces
    std::function<void(const std::string& source, const std::string& target)> block;
    std::function<void(const std::string& source, const std::string& target)> clear;
};

HANDLE heldTarget = INVALID_HANDLE_VALUE;

const Obstacle kObstacles[] = {
    {"SourceMissing", false, [](const std::string&, const std::string&) {},
     [](const std::string& source, const std::string&) { WriteText(source, "new"); }},
    {"FolderInTheWay", false, [](const std::string&, const std::string& target) { MakeDir(target); },
     [](const std::string&, const std::string& target) { RemoveDirectoryA(target.c_str()); }},
    {"TargetHeldOpen", true,
     [](const std::string&, const std::string& target) {
         heldTarget = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
     },
     [](const std::string&, const std::string&) {
         CloseHandle(heldTarget);
         heldTarget = INVALID_HANDLE_VALUE;
     }},
};

class RetryTest : public InstallFixture, public ::testing::WithParamInterface<Obstacle> {};

// Retry tries the whole copy again, whatever made the first try fail, and what it copies is
// recorded as it is: uninstall takes the host back to what it was before the install.
TEST_P(RetryTest, CopiesOnceTheObstacleIsGoneAndUninstallPutsTheHostBack)
{
    const Obstacle& obstacle = GetParam();
    const std::string target = Host("plugins\\p.dlo");
    if (obstacle.name != std::string("SourceMissing")) Source("p.dlo", "new");
    if (obstacle.hostFileBefore) WriteText(target, "the host's own");
    Script("[Product]\nTitle=Retry\n[Plugins6]\nFile1=p.dlo\n");
    const FileTree before = TreeOf(hostDir);
    obstacle.block(SourcePath("p.dlo"), target);
    DeskWithAHand hand;
    hand.answers = {IDRETRY};
    hand.whileAsked = [&] { obstacle.clear(SourcePath("p.dlo"), target); };
    DesktopOverride use(hand);
    Load();
    EXPECT_EQ(Install(), 1);
    EXPECT_EQ(hand.shown.size(), 1u);
    EXPECT_EQ(ReadText(target), "new");
    EXPECT_EQ(log.lines, (Lines{"Copy p.dlo", "-> " + Host("plugins\\"), kFinished}));

    log.lines.clear();
    Load();
    ASSERT_EQ(script->Uninstall(log), 1);
    EXPECT_EQ(TreeOf(hostDir), before);
    EXPECT_EQ(log.lines.back(), "Uninstall is finished.");
}

INSTANTIATE_TEST_SUITE_P(CopyList, RetryTest, ::testing::ValuesIn(kObstacles),
                         [](const ::testing::TestParamInfo<Obstacle>& row) { return std::string(row.param.name); });

// A copy answered Ignore or Abort: each file left out has a line of its own, the closing line says
// that not all was installed, and what was installed is recorded for uninstall.
struct SkipRow {
    const char* name;
    int answer;
    Lines expected;  // after the lines of k.set and ZAV_KCF.flt
};

class SkipTest : public InstallFixture, public ::testing::WithParamInterface<SkipRow> {};

TEST_P(SkipTest, FilesLeftOutAreListedAndWhatWentInIsRecorded)
{
    const SkipRow& row = GetParam();
    Source("k.set");
    Source("ZAV_KCF.flt");
    Source("more.dlo");
    Script("[Product]\nTitle=Skip\n[PlugCFG]\nFile1=k.set\nKeep1=True\n[Plugins6]\nFile1=ZAV_KCF.flt\nFile2=more.dlo\n");
    MakeDir(Host("plugins\\ZAV_KCF.flt"));  // a folder where the filter goes
    const FileTree before = TreeOf(hostDir);
    desktop.answers = {row.answer};
    Load();
    EXPECT_EQ(Install(), 1);
    EXPECT_TRUE(script->Incomplete());
    Lines expected{"Copy k.set", "-> " + Host("plugcfg\\"), "Copy ZAV_KCF.flt", "-> " + Host("plugins\\"),
                   "Skipped ZAV_KCF.flt (could not be copied)"};
    for (const std::string& line : row.expected) expected.push_back(line == "->" ? "-> " + Host("plugins\\") : line);
    expected.push_back(kFinishedInPart);
    EXPECT_EQ(log.lines, expected);
    EXPECT_TRUE(FileExists(Host("plugcfg\\k.set")));
    EXPECT_TRUE(FileExists(script->RecordFolder() + "\\install.log"));

    log.lines.clear();
    Load();
    ASSERT_EQ(script->Uninstall(log), 1);
    EXPECT_TRUE(HasLine(log.lines, "Remove k.set"));
    EXPECT_EQ(TreeOf(hostDir), before);
}

INSTANTIATE_TEST_SUITE_P(
    CopyList, SkipTest,
    ::testing::Values(SkipRow{"Ignore", IDIGNORE, {"Copy more.dlo", "->"}},
                      SkipRow{"Abort", IDABORT, {"Skipped more.dlo (not copied after Abort)"}}),
    [](const ::testing::TestParamInfo<SkipRow>& row) { return std::string(row.param.name); });

TEST_F(CopyListTest, AbortEndsTheSectionWhileLaterStepsStillRun)
{
    Source("f2.ttf");
    Source("x.chm");
    Source("p.dlu");
    Source("m.bmp");
    Source("go.txt");
    Script("[Fonts]\nFile1=missing.ttf\nFile2=f2.ttf\n[Help]\nFile1=x.chm\n[Plugins6]\nFile1=p.dlu\n"
           "[BitmapDirs]\nFile1=m.bmp\n[Execute]\nFile1=go.txt\n");
    Load();
    desktop.answers = {IDABORT};
    EXPECT_EQ(Install(), 1);
    EXPECT_TRUE(script->AnyAborted());
    EXPECT_FALSE(FileExists(Host("fonts\\f2.ttf")));
    EXPECT_TRUE(FileExists(Host("help\\x.chm")));
    EXPECT_TRUE(FileExists(Host("plugins\\p.dlu")));
    EXPECT_TRUE(FileExists(Host("maps\\m.bmp")));
    ASSERT_EQ(desktop.opened.size(), 1u);
    EXPECT_FALSE(HasLine(log.lines, "Copy f2.ttf"));
}

TEST_F(CopyListTest, SubPathNamesGetTheirFoldersBelowTheDestination)
{
    Source("docs\\en\\read.txt");
    Script("[Scripts]\nFile1=docs\\en\\read.txt\n");
    Load();
    EXPECT_EQ(Install(), 1);
    EXPECT_TRUE(desktop.shown.empty());
    EXPECT_EQ(ReadText(Host("scripts\\docs\\en\\read.txt")), "payload");
    EXPECT_EQ(log.lines, (Lines{"Copy read.txt", "-> " + Host("scripts\\docs\\en\\"), kFinished}));
}

TEST_F(CopyListTest, MissingDestinationFolderIsNotCreated)
{
    // A [Directories] entry naming a folder that is not there: the copy fails and asks, as before.
    WriteText(Host("3DSMAX.INI"), "[Directories]\nSounds=" + Host("nosounds") + "\n");
    Source("s.wav");
    Script("[Sounds]\nFile1=s.wav\n");
    Load();
    EXPECT_EQ(Install(), 1);
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].text, Host("nosounds\\s.wav") + kCopyFailed);
    EXPECT_FALSE(FileExists(Host("nosounds")));
}

class HostDirectoryTest : public InstallFixture {};

TEST_F(HostDirectoryTest, AddPathCreatesEveryLevel)
{
    Source("a.ms");
    Source("b.ms");
    Script("[Scripts]\nAddPath=Vendor\nFile1=a.ms\n[Images]\nAddPath=Deep\\Er\\Still\nFile1=b.ms\n");
    Load();
    EXPECT_EQ(Install(), 1);
    EXPECT_TRUE(FileExists(Host("scripts\\Vendor\\a.ms")));
    EXPECT_TRUE(FileExists(Host("images\\Deep\\Er\\Still\\b.ms")));
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(HostDirectoryTest, HelpFilesAreRegisteredAlsoAfterIgnore)
{
    Source("x.chm");
    Script("[Help]\nFile1=x.chm\nDesc1=X Help\nFile2=y.chm\nDesc2=Y Help\nFile3=x.chm\n");
    Load();
    EXPECT_EQ(Install(), 1);
    EXPECT_EQ(IniValue(Host("PLUGIN.INI"), "Help", "X Help"), Host("help\\x.chm"));
    EXPECT_EQ(IniValue(Host("PLUGIN.INI"), "Help", "Y Help"), Host("help\\y.chm"));
    EXPECT_EQ(desktop.shown.size(), 1u);
}

class PluginStepTest : public InstallFixture {};

TEST_F(PluginStepTest, AddPathAndDescRegisterTheNewDirectory)
{
    Source("p.dlo");
    Script("[Plugins6]\nAddPath=Sub\nDesc=Sub plug-ins\nFile1=p.dlo\n");
    Load();
    EXPECT_EQ(Install(), 1);
    EXPECT_TRUE(FileExists(Host("plugins\\Sub\\p.dlo")));
    EXPECT_EQ(IniValue(Host("PLUGIN.INI"), "Directories", "Sub plug-ins"), Host("plugins\\Sub"));
    EXPECT_EQ(log.lines, (Lines{"Copy p.dlo", "-> " + Host("plugins\\Sub\\"), kFinished}));
}

class BitmapStepTest : public InstallFixture {};

TEST_F(BitmapStepTest, AlreadyRegisteredDirectoryAddsNoEntry)
{
    WriteText(Host("3DSMAX.INI"), "[BitmapDirs]\nDir1=" + Host("maps") + "\nDir2=" + Host("MAPS\\TEX") + "\n");
    Source("t.bmp");
    Script("[BitmapDirs]\nAddPath=Tex\nFile1=t.bmp\n");
    Load();
    EXPECT_EQ(Install(), 1);
    EXPECT_TRUE(FileExists(Host("maps\\Tex\\t.bmp")));
    EXPECT_EQ(IniValue(Host("3DSMAX.INI"), "BitmapDirs", "Dir3"), "");
}

TEST_F(BitmapStepTest, NewDirectoryTakesTheFirstFreeNumber)
{
    WriteText(Host("3DSMAX.INI"), "[BitmapDirs]\nDir1=" + Host("maps") + "\nDir2=C:\\other\nDir4=C:\\far\n");
    Source("t.bmp");
    Script("[BitmapDirs]\nAddPath=Tex\nFile1=t.bmp\n");
    Load();
    EXPECT_EQ(Install(), 1);
    EXPECT_EQ(IniValue(Host("3DSMAX.INI"), "BitmapDirs", "Dir3"), Host("maps\\Tex"));
    EXPECT_EQ(IniValue(Host("3DSMAX.INI"), "BitmapDirs", "Dir4"), "C:\\far");
}

// A Dir1 written with a trailing backslash is the same folder: one backslash in the join, and a
// folder already listed (with or without its backslash) is not listed twice.
TEST_F(BitmapStepTest, Dir1WithATrailingBackslashJoinsAndComparesAsWithout)
{
    Source("t.bmp");
    Script("[BitmapDirs]\nAddPath=Extra\nFile1=t.bmp\n");
    const std::string maxIni = Host("3DSMAX.INI");
    struct Case {
        const char* name;
        std::string dir2;  // already listed before the install; empty: none
        std::string expected;
    };
    for (const Case& c : {Case{"not listed", "", Host("maps\\Extra")},
                          Case{"listed without backslash", Host("maps\\Extra"), Host("maps\\Extra")},
                          Case{"listed with backslash", Host("maps\\EXTRA\\"), Host("maps\\EXTRA\\")}}) {
        SCOPED_TRACE(c.name);
        MakeFakeHost(temp / "max6");
        WritePrivateProfileStringA("BitmapDirs", "Dir1", Host("maps\\").c_str(), maxIni.c_str());
        if (!c.dir2.empty()) WritePrivateProfileStringA("BitmapDirs", "Dir2", c.dir2.c_str(), maxIni.c_str());
        Load();
        EXPECT_EQ(Install(), 1);
        EXPECT_EQ(IniValue(maxIni, "BitmapDirs", "Dir2"), c.expected);
        EXPECT_EQ(IniValue(maxIni, "BitmapDirs", "Dir3"), "");
        EXPECT_TRUE(FileExists(Host("maps\\Extra\\t.bmp")));
    }
}

class RootListTest : public InstallFixture {};

TEST_F(RootListTest, DeletesAndRenamesInTheHostRoot)
{
    WriteText(Host("old.dll"), "x");
    SetFileAttributesA(Host("old.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteText(Host("a.txt"), "a");
    WriteText(Host("ro.txt"), "r");
    SetFileAttributesA(Host("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    Script("[Root]\nDelete1=old.dll\nDelete2=gone.dll\nDelete3=sub\\x.dll\n"
           "Old1=a.txt\nNew1=b.txt\nOld2=none.txt\nNew2=c.txt\nOld3=ro.txt\n");
    Load();
    EXPECT_EQ(Install(), 1);
    EXPECT_FALSE(FileExists(Host("old.dll")));
    EXPECT_EQ(ReadText(Host("b.txt")), "a");
    EXPECT_FALSE(FileExists(Host("c.txt")));
    // Without NewN the rename has nowhere to go; the old file stays as it was, still read-only.
    EXPECT_TRUE(FileExists(Host("ro.txt")));
    EXPECT_NE(GetFileAttributesA(Host("ro.txt").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(desktop.shown.empty());
    EXPECT_EQ(log.lines, (Lines{"Delete old.dll", "Delete gone.dll", "Delete x.dll", "Rename a.txt",
                                       "-> b.txt", "Rename none.txt", "-> c.txt", "Rename ro.txt", "-> ", kFinished}));
}

class ExecuteStepTest : public InstallFixture {};

TEST_F(ExecuteStepTest, OpensEachFileWhereItLiesAndReportsFailures)
{
    Script("[Execute]\nFile1=docs\\readme.txt\nFile2=setup2.exe\n");
    Load();
    desktop.shellResult = 2;  // file not found
    EXPECT_EQ(Install(), 1);
    ASSERT_EQ(desktop.opened.size(), 2u);
    EXPECT_EQ(desktop.opened[0].verb, "open");
    EXPECT_EQ(desktop.opened[0].file, SourcePath("docs\\readme.txt"));
    EXPECT_EQ(desktop.opened[0].directory, SourcePath("docs\\"));
    EXPECT_EQ(desktop.opened[0].show, SW_SHOWNORMAL);
    ASSERT_EQ(desktop.shown.size(), 2u);
    EXPECT_EQ(desktop.shown[1].text, SourcePath("setup2.exe") + " : Can't execute file!");
    EXPECT_EQ(desktop.shown[1].caption, "Error");
    EXPECT_EQ(log.lines, (Lines{"Execute docs\\readme.txt", "Execute setup2.exe", kFinished}));
}

class StepOrderTest : public InstallFixture {};

TEST_F(StepOrderTest, StepsRunInTheirFixedOrderAndEmptyTheVersionList)
{
    for (const char* name : {"w.dll", "s.dll", "r.txt", "f.ttf", "h.chm", "c.cfg", "p.dlo", "m.bmp", "e.txt"})
        Source(name);
    WriteText(Host("del.txt"), "");
    WriteText(Host("ren.txt"), "");
    // Sections written in an order of their own: the program's order wins.
    Script("[Execute]\nFile1=e.txt\n[BitmapDirs]\nFile1=m.bmp\n[Plugins6]\nFile1=p.dlo\n[PlugCFG]\nFile1=c.cfg\n"
           "[Help]\nFile1=h.chm\n[Fonts]\nFile1=f.ttf\n[Root]\nFile1=r.txt\nOld1=ren.txt\nNew1=ren2.txt\n"
           "Delete1=del.txt\n[System32]\nFile1=s.dll\n[Windows]\nFile1=w.dll\n");
    Load();
    EXPECT_EQ(Install(), 1);
    std::vector<std::string> actions;
    for (const std::string& line : log.lines)
        if (line.rfind("-> ", 0) != 0) actions.push_back(line);
    EXPECT_EQ(actions, (Lines{"Copy w.dll", "Copy s.dll", "Delete del.txt", "Rename ren.txt", "Copy r.txt",
                                     "Copy f.ttf", "Copy h.chm", "Copy c.cfg", "Copy p.dlo", "Copy m.bmp",
                                     "Execute e.txt", kFinished}));
    EXPECT_TRUE(FileExists(temp / "windows\\w.dll"));
    EXPECT_TRUE(FileExists(temp / "system32\\s.dll"));
    EXPECT_EQ(script->Versions().Count(), 0);
    EXPECT_EQ(script->ProgramPath(), hostDir);  // the binding stays
}

class GuardTest : public InstallFixture {};

TEST_F(GuardTest, NoHostBoundRefusesBeforeTouchingAnything)
{
    registry.SetText(true, "SOFTWARE\\Autodesk\\3DSMAX\\6.0", "Installdir", "");
    Source("w.dll");
    Script("[Windows]\nFile1=w.dll\n[Root]\nFile1=w.dll\n");
    Load();
    EXPECT_EQ(script->ProgramPath(), "");
    EXPECT_EQ(Install(), 0);
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].text, "Can't install without a MAX program path!");
    EXPECT_EQ(desktop.shown[0].caption, "Error");
    EXPECT_FALSE(FileExists(temp / "windows\\w.dll"));
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(GuardTest, PathsThatDoNotFitAreNeverActedOnCutShort)
{
    const std::string longName(240, 'n');
    const std::string cut = Host(longName).substr(0, kMaxText);
    Source("short.txt");
    WriteText(cut, "keep");  // what a cut-short path would hit
    Script("[Root]\nFile1=" + longName + "\nDelete1=" + longName + "\nOld1=" + longName + "\nNew1=x.txt\n");
    Load();
    desktop.answers = {IDRETRY, IDIGNORE};
    EXPECT_EQ(Install(), 1);
    // The copy asks with the whole target path, never a cut one; Retry asks again.
    ASSERT_EQ(desktop.shown.size(), 2u);
    EXPECT_EQ(desktop.shown[0].text, Host(longName) + kCopyFailed);
    EXPECT_EQ(ReadText(cut), "keep");
    EXPECT_FALSE(FileExists(Host("x.txt")));
    EXPECT_TRUE(HasLine(log.lines, "Delete " + longName));
    EXPECT_TRUE(HasLine(log.lines, "Rename " + longName));
}

TEST_F(GuardTest, ValuesLongerThanABufferAreReadWhole)
{
    const std::string longTitle(400, 't');
    Script("[Product]\nTitle=" + longTitle + "\n");
    EXPECT_EQ(Load().Product().title, longTitle);
    std::string value;
    IniFile unattached;
    EXPECT_FALSE(unattached.ReadValue("Product", "Title", value));
    EXPECT_FALSE(unattached.WriteValue("Product", "Title", "x"));
}

class KeepFlagTest : public InstallFixture {};

TEST_F(KeepFlagTest, KeepCopiesOnlyWhenTheTargetIsAbsent)
{
    Source("ZAV_KCF.SET", "starter");
    Source("other.cfg", "new");
    Script("[PlugCFG]\nFile1=ZAV_KCF.SET\nKeep1=True\nFile2=other.cfg\n");
    Load();
    EXPECT_EQ(Install(), 1);
    EXPECT_EQ(ReadText(Host("plugcfg\\ZAV_KCF.SET")), "starter");

    // An upgrade: the user's own library stays, files without the flag are overwritten as always.
    WriteText(Host("plugcfg\\ZAV_KCF.SET"), "mine");
    SetFileAttributesA(Host("plugcfg\\ZAV_KCF.SET").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteText(Host("plugcfg\\other.cfg"), "old");
    log.lines.clear();
    Load();
    EXPECT_EQ(Install(), 1);
    EXPECT_EQ(ReadText(Host("plugcfg\\ZAV_KCF.SET")), "mine");
    EXPECT_NE(GetFileAttributesA(Host("plugcfg\\ZAV_KCF.SET").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(ReadText(Host("plugcfg\\other.cfg")), "new");
    EXPECT_EQ(log.lines, (Lines{"Kept ZAV_KCF.SET (already there)", "-> " + Host("plugcfg\\"), "Copy other.cfg",
                                       "-> " + Host("plugcfg\\"), kFinished}));
}
