// Hostile inputs to the installer, one row each: what Install answers, every message the user sees,
// and every file or folder that changed anywhere in the test's tree, which must be exactly the row's.
#include "InstallFixture.h"
#include "Text.h"

#include <algorithm>
#include <functional>
#include <map>

class HostileInputs;

namespace {

const std::string kName255 = std::string(251, 'n') + ".txt";
const std::string kName300 = std::string(296, 'm') + ".txt";
const char kMachine6[] = "SOFTWARE\\Autodesk\\3DSMAX\\6.0";

struct Row {
    const char* name;
    std::function<void(HostileInputs&)> arrange;
    int result = 1;                       // what Install answers
    std::vector<std::string> shown = {};  // "Caption: text" of every message, in order
    // Relative to the test's tree: "+" created, "-" removed, "~" changed (contents or attributes).
    std::vector<std::string> changes = {};
    std::deque<int> answers = {};             // to the copy question; then Ignore
    std::vector<std::string> locked = {};     // held open without sharing while the install runs
    std::function<void(HostileInputs&)> check = nullptr;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

using Tree = FileTree;

std::vector<std::string> Changes(const Tree& before, const Tree& after)
{
    std::vector<std::string> changes;
    for (const auto& [path, state] : before) {
        const auto now = after.find(path);
        if (now == after.end()) changes.push_back("-" + path);
        else if (now->second != state) changes.push_back("~" + path);
    }
    for (const auto& entry : after)
        if (!before.count(entry.first)) changes.push_back("+" + entry.first);
    std::sort(changes.begin(), changes.end());
    return changes;
}

std::string Utf16(const std::wstring& text, bool little)
{
    std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
    for (wchar_t c : text) {
        const char low = static_cast<char>(c & 0xFF);
        const char high = static_cast<char>(c >> 8);
        bytes += little ? std::string{low, high} : std::string{high, low};
    }
    return bytes;
}

}  // namespace

class HostileInputs : public InstallFixture, public ::testing::WithParamInterface<Row> {
public:
    using InstallFixture::desktop;
    using InstallFixture::Host;
    using InstallFixture::hostDir;
    using InstallFixture::log;
    using InstallFixture::packageDir;
    using InstallFixture::registry;
    using InstallFixture::script;
    using InstallFixture::Source;
    using InstallFixture::temp;
    using InstallFixture::writer;

    // {host} {pkg} {temp} {n255} {n300} and the row's own words, replaced by what they stand for.
    std::string Expand(std::string text) const
    {
        std::map<std::string, std::string> all = words;
        all.insert({{"{host}", hostDir}, {"{pkg}", packageDir}, {"{temp}", temp.Path()}, {"{n255}", kName255},
                    {"{n300}", kName300}});
        for (const auto& [word, meaning] : all)
            for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + meaning.size()))
                text.replace(at, word.size(), meaning);
        return text;
    }
    void Script(const std::string& text) { InstallFixture::Script(Expand(text)); }
    void Write(const std::string& relative, const std::string& text) { WriteText(temp / relative, Expand(text)); }
    void Location(const std::string& value) { registry.SetText(true, kMachine6, "Installdir", Expand(value)); }
    // A full path of the given length below the host directory, for directory values.
    std::string LongDirectory(const char* word, size_t length, char fill)
    {
        return words[word] = hostDir + std::string(length - hostDir.size(), fill);
    }

    std::map<std::string, std::string> words;
    int listed = 0;  // host versions found when the script loaded
};

TEST_P(HostileInputs, Row)
{
    const Row& row = GetParam();
    char previous[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof previous, previous);
    // A relative path anywhere would land in the test's tree, where the snapshot sees it.
    SetCurrentDirectoryA(temp.Path().c_str());
    row.arrange(*this);
    const Tree before = TreeOf(temp.Path());

    std::vector<HANDLE> locks;
    for (const std::string& path : row.locked)
        locks.push_back(CreateFileA((temp / Expand(path)).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    desktop.answers = row.answers;
    script = std::make_unique<InstallScript>(Environment());
    script->Load(nullptr, nullptr, packageDir);
    script->SelectEntry(script->StartEntry());
    listed = script->Versions().Count();
    EXPECT_EQ(script->Install(log), row.result);
    for (HANDLE lock : locks) CloseHandle(lock);

    const Tree after = TreeOf(temp.Path());
    std::vector<std::string> expected;
    for (const std::string& change : row.changes) expected.push_back(Expand(change));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Changes(before, after), expected);
    std::vector<std::string> shown;
    for (const ShownMessage& message : desktop.shown) shown.push_back(message.caption + ": " + message.text);
    std::vector<std::string> expectedShown;
    for (const std::string& text : row.shown) expectedShown.push_back(Expand(text));
    EXPECT_EQ(shown, expectedShown);
    if (row.check) row.check(*this);

    // A script read through a copy leaves no copy behind.
    const std::string readFrom = script->Script().Path();
    script.reset();
    if (!SameText(readFrom, packageDir + "\\SETUP.INI")) {
        EXPECT_FALSE(FileExists(readFrom)) << readFrom;
    }
    SetEnvironmentVariableA("KCF_HOSTILE_HOST", nullptr);
    SetCurrentDirectoryA(previous);
}

namespace {

const char kNoHost[] = "Error: Can't install without a MAX program path!";
const char kBad[] = " : Bad entry in SETUP.INI! Nothing was installed.";
const char kCopyFailed[] = " : Can't create file!";

// A name that leaves its folder: the install is refused before anything is touched.
Row Refused(const char* name, const std::string& script, const std::string& entry,
            std::function<void(HostileInputs&)> more = nullptr)
{
    return {.name = name,
            .arrange = [script, more](HostileInputs& b) {
                b.Source("a.txt");
                b.Write("victim.txt", "mine");
                b.Write("max6\\a.txt", "host's");
                if (more) more(b);
                b.Script("[Windows]\nFile1=a.txt\n" + script);
            },
            .result = 0,
            .shown = {"Error: " + entry + kBad},
            .check = [](HostileInputs& b) {
                EXPECT_TRUE(b.log.lines.empty());
                EXPECT_TRUE(b.desktop.opened.empty());
            }};
}

const Row kRows[] = {
    // Values at and over 255 characters, in every key the script reads.
    {.name = "ProductValuesAt255AndOverAreReadWhole",
     .arrange = [](HostileInputs& b) {
         b.Source("a.txt");
         b.Script("[Product]\nTitle=" + std::string(255, 'T') + "\nVersion=2.5" + std::string(252, '0') +
                  "\nMulti=True" + std::string(251, 'x') + "\nMAXVer=6.0" + std::string(300, '0') +
                  "\nCompany=" + std::string(300, 'C') + "\nProduct=" + std::string(255, 'P') +
                  "\nSize=" + std::string(70000, 'S') + "\n[Root]\nFile1=a.txt\n");
     },
     .changes = {"+max6\\a.txt"},
     .check = [](HostileInputs& b) {
         const ProductRecord& product = b.script->Product();
         EXPECT_EQ(product.title, std::string(255, 'T'));
         EXPECT_EQ(product.company, std::string(300, 'C'));
         EXPECT_EQ(product.product, std::string(255, 'P'));
         EXPECT_EQ(product.size, std::string(70000, 'S'));
         EXPECT_FLOAT_EQ(product.version, 2.5f);
         EXPECT_FLOAT_EQ(product.maxVer, 6.0f);
         EXPECT_FALSE(product.multi);
     }},
    {.name = "FileNamesAt255AndOverAreNeverCopiedCutShort",
     .arrange = [](HostileInputs& b) {
         // What a cut-short target would hit.
         WriteText((b.hostDir + kName255).substr(0, kMaxText), "keep");
         b.Script("[Root]\nFile1={n255}\nFile2={n300}\n");
     },
     .shown = {std::string("Confirm: {host}{n255}") + kCopyFailed, std::string("Confirm: {host}{n300}") + kCopyFailed}},
    {.name = "KeepFlagsAt255AndOverAreNotTrue",
     .arrange = [](HostileInputs& b) {
         b.Source("a.cfg", "new");
         b.Write("max6\\plugcfg\\a.cfg", "old");
         b.Script("[PlugCFG]\nFile1=a.cfg\nKeep1=True" + std::string(251, ' ') + "x\n");
     },
     .changes = {"~max6\\plugcfg\\a.cfg"}},
    {.name = "HelpTitlesAt255AndOverAreRegisteredWhole",
     .arrange = [](HostileInputs& b) {
         b.Source("x.chm");
         b.Source("y.chm");
         b.Script("[Help]\nFile1=x.chm\nDesc1=" + std::string(255, 'X') + "\nFile2=y.chm\nDesc2=" +
                  std::string(300, 'Y') + "\n");
     },
     .changes = {"+max6\\help\\x.chm", "+max6\\help\\y.chm", "~max6\\PLUGIN.INI"},
     .check = [](HostileInputs& b) {
         EXPECT_EQ(IniValue(b.Host("PLUGIN.INI"), "Help", std::string(255, 'X').c_str()), b.Host("help\\x.chm"));
         EXPECT_EQ(IniValue(b.Host("PLUGIN.INI"), "Help", std::string(300, 'Y').c_str()), b.Host("help\\y.chm"));
     }},
    {.name = "PluginKeyOver255IsRegisteredWhole",
     .arrange = [](HostileInputs& b) {
         b.Source("p.dlo");
         b.Script("[Plugins6]\nAddPath=Sub\nDesc=" + std::string(300, 'D') + "\nFile1=p.dlo\n");
     },
     .changes = {"+max6\\plugins\\Sub", "+max6\\plugins\\Sub\\p.dlo", "~max6\\PLUGIN.INI"},
     .check = [](HostileInputs& b) {
         EXPECT_EQ(IniValue(b.Host("PLUGIN.INI"), "Directories", std::string(300, 'D').c_str()),
                   b.Host("plugins\\Sub"));
     }},
    {.name = "AddPathsAt255AndOverCreateNothing",
     .arrange = [](HostileInputs& b) {
         b.Source("a.ms");
         b.Source("p.dlo");
         b.Script("[Scripts]\nAddPath={n255}\nFile1=a.ms\n[Plugins6]\nAddPath={n300}\nDesc=Long\nFile1=p.dlo\n");
     },
     .shown = {std::string("Confirm: {host}scripts\\{n255}\\a.ms") + kCopyFailed,
               std::string("Confirm: {host}plugins\\{n300}\\p.dlo") + kCopyFailed}},
    {.name = "DeletesAndRenamesAt255AndOverActOnNothing",
     .arrange = [](HostileInputs& b) {
         b.Write("max6\\a.txt", "a");
         WriteText((b.hostDir + kName255).substr(0, kMaxText), "keep");
         b.Script("[Root]\nDelete1={n255}\nOld1={n300}\nNew1=x.txt\nOld2=a.txt\nNew2={n255}\n");
     },
     .check = [](HostileInputs& b) { EXPECT_EQ(b.log.lines.size(), 6u); }},
    {.name = "ExecuteNamesAt255AndOverAreNotOpened",
     .arrange = [](HostileInputs& b) { b.Script("[Execute]\nFile1={n255}\nFile2={n300}\n"); },
     .shown = {"Error: {pkg}\\SETUP_FILES\\{n255} : Can't execute file!",
               "Error: {pkg}\\SETUP_FILES\\{n300} : Can't execute file!"},
     .check = [](HostileInputs& b) { EXPECT_TRUE(b.desktop.opened.empty()); }},
    {.name = "HostDirectoriesAt255AndOverTakeNoFiles",
     .arrange = [](HostileInputs& b) {
         for (const char* name : {"f.ttf", "p.dlo", "m.bmp"}) b.Source(name);
         b.LongDirectory("{fonts}", 255, 'f');
         b.LongDirectory("{plugins}", 256, 'p');
         b.LongDirectory("{maps}", 300, 'b');
         b.Write("max6\\3DSMAX.INI", "[Directories]\nFonts={fonts}\n[BitmapDirs]\nDir1={maps}\n");
         b.Write("max6\\PLUGIN.INI", "[Directories]\nAdditional MAX plug-ins={plugins}\n");
         b.Script("[Fonts]\nFile1=f.ttf\n[Plugins6]\nFile1=p.dlo\n[BitmapDirs]\nAddPath=Tex\nFile1=m.bmp\n");
     },
     .shown = {std::string("Confirm: {fonts}\\f.ttf") + kCopyFailed, std::string("Confirm: {plugins}\\p.dlo") + kCopyFailed,
               std::string("Confirm: {maps}\\Tex\\m.bmp") + kCopyFailed}},
    {.name = "HostLocationAt255IsNeverOpenedCutShort",
     .arrange = [](HostileInputs& b) {
         b.words["{location}"] = b.hostDir + std::string(254 - b.hostDir.size(), 'q') + "\\";
         b.Location("{location}");
         b.Script("[Root]\nDelete1=3DSMAX.INI\n");
     },
     .result = 0,
     .shown = {"Error: {location}3DSMAX.INI : Can't open file!", kNoHost}},
    {.name = "HostLocationOver255CountsAsAbsent",
     .arrange = [](HostileInputs& b) {
         b.Location(b.hostDir + std::string(300, 'q') + "\\");
         b.Script("[Root]\nDelete1=3DSMAX.INI\n");
     },
     .result = 0,
     .shown = {kNoHost}},

    // Numbered lists thousands long: every entry is acted on, in order, to the first gap.
    {.name = "FiveThousandEntryListsAreWalkedToTheEnd",
     .arrange = [](HostileInputs& b) {
         b.Write("max6\\plugcfg\\a.cfg", "mine");
         std::string text = "[PlugCFG]\n";
         for (int n = 1; n <= 5000; ++n) text += "File" + std::to_string(n) + "=a.cfg\nKeep" + std::to_string(n) + "=True\n";
         text += "[Root]\n";
         for (int n = 1; n <= 5000; ++n) text += "Delete" + std::to_string(n) + "=gone" + std::to_string(n) + ".txt\n";
         text += "[Execute]\n";
         for (int n = 1; n <= 5000; ++n) text += "File" + std::to_string(n) + "=e" + std::to_string(n) + ".txt\n";
         b.Script(text + "File5002=after-the-gap.txt\n");
     },
     .check = [](HostileInputs& b) {
         ASSERT_EQ(b.log.lines.size(), 20001u);
         EXPECT_EQ(b.log.lines[4999], "Delete gone5000.txt");
         EXPECT_EQ(b.log.lines[14998], "Kept a.cfg (already there)");
         EXPECT_EQ(b.log.lines[19999], "Execute e5000.txt");
         EXPECT_EQ(b.log.lines[20000], kFinished);
         ASSERT_EQ(b.desktop.opened.size(), 5000u);
         EXPECT_EQ(b.desktop.opened.back().file, b.packageDir + "\\SETUP_FILES\\e5000.txt");
     }},

    // Names that leave their folder are refused before anything is touched (every kind of them:
    // tests/native/Plan_test.cpp).
    Refused("FileWithAFullPath", "[Root]\nFile1={temp}\\victim.txt\n", "[Root] File1={temp}\\victim.txt"),
    Refused("DeleteClimbing", "[Root]\nDelete1=..\\victim.txt\n", "[Root] Delete1=..\\victim.txt"),

    // The package's folder of files.
    {.name = "MissingSetupFilesRefusesBeforeAnyDelete",
     .arrange = [](HostileInputs& b) {
         RemoveDirectoryA((b.packageDir + "\\SETUP_FILES").c_str());
         b.Write("max6\\old.dll", "old");
         b.Script("[Root]\nDelete1=old.dll\nFile1=new.dll\n");
     },
     .result = 0,
     .shown = {"Error: {pkg}\\SETUP_FILES : Can't find folder! Nothing was installed."}},
    {.name = "SetupFilesThatIsAFile",
     .arrange = [](HostileInputs& b) {
         RemoveDirectoryA((b.packageDir + "\\SETUP_FILES").c_str());
         b.Write("package\\SETUP_FILES", "not a folder");
         b.Script("[Execute]\nFile1=readme.txt\n");
     },
     .result = 0,
     .shown = {"Error: {pkg}\\SETUP_FILES : Can't find folder! Nothing was installed."}},
    {.name = "MissingSetupFilesWithNothingToCopy",
     .arrange = [](HostileInputs& b) {
         RemoveDirectoryA((b.packageDir + "\\SETUP_FILES").c_str());
         b.Write("max6\\old.dll", "old");
         b.Script("[Root]\nDelete1=old.dll\n");
     },
     .changes = {"-max6\\old.dll"}},

    // Sources that cannot be read, targets that cannot be written.
    {.name = "LockedSourceLeavesTheTargetAsItWas",
     .arrange = [](HostileInputs& b) {
         b.Source("a.dll", "new");
         b.Write("max6\\a.dll", "old");
         SetFileAttributesA(b.Host("a.dll").c_str(), FILE_ATTRIBUTE_READONLY);
         b.Script("[Root]\nFile1=a.dll\n");
     },
     .shown = {std::string("Confirm: {host}a.dll") + kCopyFailed, std::string("Confirm: {host}a.dll") + kCopyFailed},
     .answers = {IDRETRY, IDIGNORE},
     .locked = {"package\\SETUP_FILES\\a.dll"}},
    {.name = "SourceThatIsAFolder",
     .arrange = [](HostileInputs& b) {
         MakeDir(b.packageDir + "\\SETUP_FILES\\a.dll");
         b.Script("[Root]\nFile1=a.dll\n");
     },
     .shown = {std::string("Confirm: {host}a.dll") + kCopyFailed}},
    {.name = "ReadOnlyTargetIsOverwritten",
     .arrange = [](HostileInputs& b) {
         b.Source("a.dll", "new");
         b.Write("max6\\a.dll", "old");
         SetFileAttributesA(b.Host("a.dll").c_str(), FILE_ATTRIBUTE_READONLY);
         b.Script("[Root]\nFile1=a.dll\n");
     },
     .changes = {"~max6\\a.dll"},
     .check = [](HostileInputs& b) { EXPECT_EQ(ReadText(b.Host("a.dll")), "new"); }},
    {.name = "TargetThatIsAFolder",
     .arrange = [](HostileInputs& b) {
         b.Source("a.dll", "new");
         MakeDir(b.Host("a.dll"));
         b.Write("max6\\a.dll\\inside.txt", "inside");
         b.Script("[Root]\nFile1=a.dll\n");
     },
     .shown = {std::string("Confirm: {host}a.dll") + kCopyFailed}},
    {.name = "LockedTargetIsAskedAboutAndKept",
     .arrange = [](HostileInputs& b) {
         b.Source("a.dll", "new");
         b.Source("b.dll", "new");
         b.Write("max6\\a.dll", "old");
         b.Script("[Root]\nFile1=a.dll\nFile2=b.dll\n");
     },
     .shown = {std::string("Confirm: {host}a.dll") + kCopyFailed},
     .answers = {IDABORT},
     .locked = {"max6\\a.dll"},
     .check = [](HostileInputs& b) { EXPECT_TRUE(b.script->Incomplete()); }},

    // The host's INI files.
    {.name = "MissingMaxIniBindsNoHost",
     .arrange = [](HostileInputs& b) {
         DeleteFileA(b.Host("3DSMAX.INI").c_str());
         b.Script("[Product]\nMAXVer=6.0\n[Root]\nDelete1=PLUGIN.INI\n");
     },
     .result = 0,
     .shown = {"Error: {host}3DSMAX.INI : Can't open file!", "Error: Can't install on version \"\""}},
    {.name = "MissingPluginIniBindsNoHost",
     .arrange = [](HostileInputs& b) {
         DeleteFileA(b.Host("PLUGIN.INI").c_str());
         b.Script("[Root]\nDelete1=3DSMAX.INI\n");
     },
     .result = 0,
     .shown = {"Error: {host}PLUGIN.INI : Can't open file!", kNoHost}},
    {.name = "EmptyMaxIniLeavesItsSectionsOut",
     .arrange = [](HostileInputs& b) {
         b.Write("max6\\3DSMAX.INI", "");
         for (const char* name : {"r.txt", "f.ttf", "p.dlo", "m.bmp"}) b.Source(name);
         b.Script("[Root]\nFile1=r.txt\n[Fonts]\nFile1=f.ttf\n[Plugins6]\nFile1=p.dlo\n[BitmapDirs]\nAddPath=T\nFile1=m.bmp\n");
     },
     .changes = {"+max6\\r.txt", "+max6\\plugins\\p.dlo"}},
    {.name = "EmptyPluginIniUsesTheProgramsPluginFolder",
     .arrange = [](HostileInputs& b) {
         b.Write("max6\\PLUGIN.INI", "");
         b.Source("p.dlo");
         b.Script("[Plugins6]\nAddPath=Sub\nDesc=Sub plug-ins\nFile1=p.dlo\n");
     },
     .changes = {"+max6\\plugins\\Sub", "+max6\\plugins\\Sub\\p.dlo", "~max6\\PLUGIN.INI"},
     .check = [](HostileInputs& b) {
         EXPECT_EQ(IniValue(b.Host("PLUGIN.INI"), "Directories", "Sub plug-ins"), b.Host("Plugins\\Sub"));
     }},
    {.name = "ReadOnlyPluginIniIsNotWrittenAndSaysSo",
     .arrange = [](HostileInputs& b) {
         SetFileAttributesA(b.Host("PLUGIN.INI").c_str(), FILE_ATTRIBUTE_READONLY);
         for (const char* name : {"p.dlo", "x.chm", "y.chm"}) b.Source(name);
         b.Script("[Help]\nFile1=x.chm\nDesc1=X\nFile2=y.chm\nDesc2=Y\n"
                  "[Plugins6]\nAddPath=Sub\nDesc=Sub plug-ins\nFile1=p.dlo\n");
     },
     .shown = {"Error: {host}PLUGIN.INI : Can't write file!"},
     .changes = {"+max6\\help\\x.chm", "+max6\\help\\y.chm", "+max6\\plugins\\Sub", "+max6\\plugins\\Sub\\p.dlo"},
     .check = [](HostileInputs& b) { EXPECT_TRUE(b.script->Incomplete()); }},
    {.name = "ReadOnlyMaxIniIsNotWrittenAndSaysSo",
     .arrange = [](HostileInputs& b) {
         SetFileAttributesA(b.Host("3DSMAX.INI").c_str(), FILE_ATTRIBUTE_READONLY);
         b.Source("m.bmp");
         b.Script("[BitmapDirs]\nAddPath=Tex\nFile1=m.bmp\n");
     },
     .shown = {"Error: {host}3DSMAX.INI : Can't write file!"},
     .changes = {"+max6\\maps\\Tex", "+max6\\maps\\Tex\\m.bmp"}},
    // A full disk: the platform cuts the INI file short and answers success.
    {.name = "PluginIniCutShortByAFullDiskIsPutBack",
     .arrange = [](HostileInputs& b) {
         b.writer.failAt = 1;
         for (const char* name : {"p.dlo", "x.chm"}) b.Source(name);
         b.Script("[Help]\nFile1=x.chm\nDesc1=X\n[Plugins6]\nAddPath=Sub\nDesc=Sub plug-ins\nFile1=p.dlo\n");
     },
     .shown = {"Error: {host}PLUGIN.INI : Can't write file!"},
     .changes = {"+max6\\help\\x.chm", "+max6\\plugins\\Sub", "+max6\\plugins\\Sub\\p.dlo"},
     .check = [](HostileInputs& b) { EXPECT_TRUE(b.script->Incomplete()); }},
    {.name = "IniCutShortAfterAGoodWriteIsPutBackAsBeforeTheInstall",
     .arrange = [](HostileInputs& b) {
         b.writer.failAt = 2;  // [Help] is written, [Directories] cut short; 3DSMAX.INI is written
         for (const char* name : {"p.dlo", "x.chm", "m.bmp"}) b.Source(name);
         b.Script("[Help]\nFile1=x.chm\nDesc1=X\n[Plugins6]\nAddPath=Sub\nDesc=Sub plug-ins\nFile1=p.dlo\n"
                  "[BitmapDirs]\nAddPath=Tex\nFile1=m.bmp\n");
     },
     .shown = {"Error: {host}PLUGIN.INI : Can't write file!"},
     .changes = {"+max6\\help\\x.chm", "+max6\\plugins\\Sub", "+max6\\plugins\\Sub\\p.dlo", "+max6\\maps\\Tex",
                 "+max6\\maps\\Tex\\m.bmp", "~max6\\3DSMAX.INI"},
     .check = [](HostileInputs& b) { EXPECT_EQ(IniValue(b.Host("3DSMAX.INI"), "BitmapDirs", "Dir2"), b.Host("maps\\Tex")); }},
    {.name = "IniThatCannotBePutBackKeepsItsCopyAndSaysSo",
     .arrange = [](HostileInputs& b) {
         b.writer.failAt = 1;
         b.writer.holdCopyOpen = true;
         b.Write("max6\\PLUGIN.INI", "; the user's own\r\n[Directories]\r\nMine=C:\\mine\r\n");
         b.Source("p.dlo");
         b.Script("[Plugins6]\nAddPath=Sub\nDesc=Sub plug-ins\nFile1=p.dlo\n");
     },
     .shown = {"Error: {host}PLUGIN.INI : Can't write file! It could not be put back as it was; what it held before "
               "the install is kept in {host}PLUGIN.INI.kcfbak."},
     .changes = {"+max6\\plugins\\Sub", "+max6\\plugins\\Sub\\p.dlo", "~max6\\PLUGIN.INI", "+max6\\PLUGIN.INI.kcfbak"},
     .check = [](HostileInputs& b) {
         EXPECT_EQ(ReadText(b.Host("PLUGIN.INI.kcfbak")), "; the user's own\r\n[Directories]\r\nMine=C:\\mine\r\n");
     }},
    {.name = "CopyKeptByAnEarlierInstallIsNeverOverwritten",
     .arrange = [](HostileInputs& b) {
         b.Write("max6\\PLUGIN.INI.kcfbak", "the only good copy");
         b.Source("p.dlo");
         b.Script("[Plugins6]\nAddPath=Sub\nDesc=Sub plug-ins\nFile1=p.dlo\n");
     },
     .shown = {"Error: {host}PLUGIN.INI : Can't write file! {host}PLUGIN.INI.kcfbak is in the way, and this install did "
               "not make it: if an earlier install left it there, it may be the only whole copy, to put back in place of "
               "the file; if not, delete it."},
     .changes = {"+max6\\plugins\\Sub", "+max6\\plugins\\Sub\\p.dlo"}},
    // Folders of the host's INI files that are not where the host's files belong.
    {.name = "HostFolderInTheWindowsFolderIsRefused",
     .arrange = [](HostileInputs& b) {
         b.Write("max6\\3DSMAX.INI", "[Directories]\r\nScripts={temp}\\windows\\scripts\r\n");
         b.Source("s.ms");
         b.Script("[Scripts]\nFile1=s.ms\n");
     },
     .result = 0,
     .shown = {"Error: {temp}\\windows\\scripts (3DSMAX.INI [Directories] Scripts) : Setup will not install into the "
               "Windows folder for this entry. Nothing was installed."}},
    {.name = "HostFolderThatIsALinkIsRefused",
     .arrange = [](HostileInputs& b) {
         b.Write("max6\\3DSMAX.INI", "[Directories]\r\nScripts=" KCF_TEST_FOLDER_LINK "\r\n");
         b.Source("s.ms");
         b.Script("[Scripts]\nFile1=s.ms\n");
     },
     .result = 0,
     .shown = {"Error: " KCF_TEST_FOLDER_LINK " : Setup will not install through a link. Nothing was installed."}},
    {.name = "DuplicatedSectionsFirstOneCountsNothingLost",
     .arrange = [](HostileInputs& b) {
         b.Write("max6\\3DSMAX.INI", "[Directories]\r\nFonts={host}fonts\r\n[BitmapDirs]\r\nDir1={host}maps\r\n"
                                     "[Directories]\r\nFonts={host}scripts\r\n[BitmapDirs]\r\nDir2={host}maps\\Tex\r\n");
         b.Write("max6\\PLUGIN.INI", "[Directories]\r\nAdditional MAX plug-ins={host}plugins\r\n"
                                     "[Directories]\r\nAdditional MAX plug-ins={host}images\r\n");
         for (const char* name : {"f.ttf", "p.dlo", "m.bmp"}) b.Source(name);
         b.Script("[Fonts]\nFile1=f.ttf\n[Plugins6]\nFile1=p.dlo\n[BitmapDirs]\nAddPath=Tex\nFile1=m.bmp\n");
     },
     .changes = {"+max6\\fonts\\f.ttf", "+max6\\plugins\\p.dlo", "+max6\\maps\\Tex", "+max6\\maps\\Tex\\m.bmp",
                 "~max6\\3DSMAX.INI"},
     .check = [](HostileInputs& b) {
         // The new entry joins the first section; the second stays as it was.
         EXPECT_EQ(ReadText(b.Host("3DSMAX.INI")),
                   b.Expand("[Directories]\r\nFonts={host}fonts\r\n[BitmapDirs]\r\nDir1={host}maps\r\n"
                            "Dir2={host}maps\\Tex\r\n[Directories]\r\nFonts={host}scripts\r\n"
                            "[BitmapDirs]\r\nDir2={host}maps\\Tex\r\n"));
     }},
    {.name = "HostDirectoriesThatAreNotFullPaths",
     .arrange = [](HostileInputs& b) {
         MakeDir(b.temp / "elsewhere");
         b.Write("max6\\3DSMAX.INI", "[Directories]\nFonts=elsewhere\n[BitmapDirs]\nDir1=elsewhere\n");
         b.Write("max6\\PLUGIN.INI", "[Directories]\nAdditional MAX plug-ins=elsewhere\n");
         for (const char* name : {"f.ttf", "p.dlo", "m.bmp"}) b.Source(name);
         b.Script("[Fonts]\nFile1=f.ttf\n[Plugins6]\nFile1=p.dlo\n[BitmapDirs]\nFile1=m.bmp\n");
     },
     .changes = {"+max6\\plugins\\p.dlo"}},

    // The registry's host locations.
    {.name = "EmptyHostLocation",
     .arrange = [](HostileInputs& b) {
         b.Location("");
         b.Script("[Root]\nDelete1=3DSMAX.INI\n");
     },
     .result = 0,
     .shown = {kNoHost}},
    {.name = "HostLocationAsANumber",
     .arrange = [](HostileInputs& b) {
         b.registry.SetRaw(true, kMachine6, "Installdir", REG_DWORD, std::string("\x01\x00\x00\x00", 4));
         b.Script("[Root]\nDelete1=3DSMAX.INI\n");
     },
     .result = 0,
     .shown = {kNoHost}},
    {.name = "HostLocationAsBinaryText",
     .arrange = [](HostileInputs& b) {
         b.registry.SetRaw(true, kMachine6, "Installdir", REG_BINARY, b.hostDir);
         b.Script("[Root]\nDelete1=3DSMAX.INI\n");
     },
     .result = 0,
     .shown = {kNoHost}},
    {.name = "HostLocationAsAList",
     .arrange = [](HostileInputs& b) {
         b.registry.SetRaw(true, kMachine6, "Installdir", REG_MULTI_SZ, b.hostDir + '\0' + '\0');
         b.Script("[Root]\nDelete1=3DSMAX.INI\n");
     },
     .result = 0,
     .shown = {kNoHost}},
    {.name = "ExpandableHostLocationIsExpanded",
     .arrange = [](HostileInputs& b) {
         SetEnvironmentVariableA("KCF_HOSTILE_HOST", b.temp.Path().c_str());
         b.registry.SetRaw(true, kMachine6, "Installdir", REG_EXPAND_SZ, std::string("%KCF_HOSTILE_HOST%\\max6\\") + '\0');
         b.Source("a.txt");
         b.Script("[Root]\nFile1=a.txt\n");
     },
     .changes = {"+max6\\a.txt"}},
    {.name = "HostLocationThatIsNotAFullPath",
     .arrange = [](HostileInputs& b) {
         b.Location("max6\\");
         b.Source("a.txt");
         b.Script("[Root]\nFile1=a.txt\n");
     },
     .result = 0,
     .shown = {kNoHost}},
    {.name = "OlderHostOfTheWrongTypeIsLeftOut",
     .arrange = [](HostileInputs& b) {
         MakeFakeHost(b.temp / "max5");
         b.registry.SetRaw(false, "SOFTWARE\\Autodesk\\3ds max\\5.0\\HELP", "3dsmax.chm", REG_DWORD,
                           std::string("\x05\x00\x00\x00", 4));
         b.Source("a.txt");
         b.Script("[Root]\nFile1=a.txt\n");
     },
     .changes = {"+max6\\a.txt"},
     .check = [](HostileInputs& b) { EXPECT_EQ(b.listed, 1); }},

    // SETUP.INI in Unicode: read when marked, refused clearly when not or when the code page lacks a letter.
    {.name = "Utf8ScriptWithItsMarkIsRead",
     .arrange = [](HostileInputs& b) {
         b.Source("caf\xE9.txt");
         b.Write("package\\SETUP.INI", "\xEF\xBB\xBF[Product]\r\nTitle=Caf\xC3\xA9\r\n[Root]\r\nFile1=caf\xC3\xA9.txt\r\n");
     },
     .changes = {"+max6\\caf\xE9.txt"},
     .check = [](HostileInputs& b) { EXPECT_EQ(b.script->Product().title, "Caf\xE9"); }},
    {.name = "Utf16LittleEndianScriptIsRead",
     .arrange = [](HostileInputs& b) {
         b.Source("caf\xE9.txt");
         WriteText(b.packageDir + "\\SETUP.INI", Utf16(L"[Product]\r\nTitle=Caf\u00E9\r\n[Root]\r\nFile1=caf\u00E9.txt\r\n", true));
     },
     .changes = {"+max6\\caf\xE9.txt"},
     .check = [](HostileInputs& b) { EXPECT_EQ(b.script->Product().title, "Caf\xE9"); }},
    {.name = "Utf16BigEndianScriptIsRead",
     .arrange = [](HostileInputs& b) {
         b.Source("a.txt");
         WriteText(b.packageDir + "\\SETUP.INI", Utf16(L"[Product]\r\nTitle=T\r\n[Root]\r\nFile1=a.txt\r\n", false));
     },
     .changes = {"+max6\\a.txt"},
     .check = [](HostileInputs& b) { EXPECT_EQ(b.script->Product().title, "T"); }},
    {.name = "UnicodeScriptWithLettersTheCodePageLacks",
     .arrange = [](HostileInputs& b) {
         b.Source("a.txt");
         b.Write("package\\SETUP.INI", "\xEF\xBB\xBF[Root]\r\nFile1=a.txt\r\nFile2=\xCE\xA9.txt\r\n");
     },
     .result = 0,
     .shown = {"Error: {pkg}\\SETUP.INI : Can't read file! It holds characters this system's code page does not have.",
               "Error: Can't install on version \"\""}},
    {.name = "Utf16ScriptWithoutItsMark",
     .arrange = [](HostileInputs& b) {
         b.Source("a.txt");
         WriteText(b.packageDir + "\\SETUP.INI", Utf16(L"[Root]\r\nFile1=a.txt\r\n", true).substr(2));
     },
     .result = 0,
     .shown = {"Error: {pkg}\\SETUP.INI : Can't read file! Save it as ANSI, UTF-8 or Unicode text.",
               "Error: Can't install on version \"\""}},
    {.name = "MalformedUtf8AfterTheMark",
     .arrange = [](HostileInputs& b) { b.Write("package\\SETUP.INI", "\xEF\xBB\xBF[Root]\r\nFile1=\xC3(.txt\r\n"); },
     .result = 0,
     .shown = {"Error: {pkg}\\SETUP.INI : Can't read file! Save it as ANSI, UTF-8 or Unicode text.",
               "Error: Can't install on version \"\""}},
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Installer, HostileInputs, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& row) { return std::string(row.param.name); });

// The lists are read a section at a time; what they hold must be what a key-by-key read gives.
TEST(IniSectionReads, AgreeWithKeyByKeyReads)
{
    TempDir temp;
    const std::string path = temp / "a.ini";
    WriteText(path, "[S]\r\n  File1 = \"..\\x\"  \r\nfile2='single'\r\nFile3=\"open\r\nFile4=first\r\nFILE4=second\r\n"
                    "; File5=comment\r\nno equals sign\r\nFile6= a = b \r\nFile7=\"\"\r\n[s]\r\nFile8=later\r\n");
    IniFile ini;
    ASSERT_TRUE(ini.Open(path));
    const IniSection section = ini.ReadSection("S");
    std::string bySection;
    std::string byKey;
    for (int n = 1; n <= 8; ++n) {
        const bool present = section.Numbered("File", n, bySection);
        EXPECT_EQ(present, ini.ReadNumbered("S", "File", n, byKey)) << n;
        EXPECT_EQ(bySection, byKey) << n;
    }
    EXPECT_TRUE(section.Value("FILE1", bySection));
    EXPECT_EQ(bySection, "..\\x");

    // Where the platform hands out only the first characters of a section, the rest is not lost.
    const IniSection limited = ini.ReadSection("S", 40);
    for (int n = 1; n <= 8; ++n) {
        EXPECT_EQ(limited.Numbered("File", n, bySection), ini.ReadNumbered("S", "File", n, byKey)) << n;
        EXPECT_EQ(bySection, byKey) << n;
    }
}
