// kcftool's preset commands, run as a user runs them: presets, find, and block --preset, all read
// through the dialog's own reader; add, the dialog's Save, killed in the middle and run from two
// processes at once.
#include "PresetLibrary.h"
#include "RunProgram.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// Files sit in the working directory, where the programs are, so that both builds name them alike.
const std::string dir = "kcftool_preset_files";
const std::string library = dir + "/ZAV_KCF.SET";

std::string Path(const std::string& name) { return dir + "/" + name; }

struct ToolRun {
    int status;
    std::string out, err;
};

ToolRun Kcftool(const std::string& args)
{
    const std::string out = Path("stdout.txt"), err = Path("stderr.txt");
    std::remove(out.c_str());
    std::remove(err.c_str());
    const int status = RunProgram("kcftool " + args + " >" + out + " 2>" + err, false);
    return {status, ReadFileBytes(out), ReadFileBytes(err)};
}

FilterSettings ReadBlock(const std::string& path)
{
    FilterSettings s = {};
    const std::string bytes = ReadFileBytes(path);
    EXPECT_EQ(bytes.size(), sizeof s) << path;
    if (bytes.size() == sizeof s) std::memcpy(&s, bytes.data(), sizeof s);
    return s;
}

// Sets or (with an empty value) clears the disk fault the next kcftool started from here meets.
void SetLibraryFault(const std::string& value)
{
    static char text[64];
    std::snprintf(text, sizeof text, "KCFTOOL_LIBRARY_FAULT=%s", value.c_str());
    putenv(text);
}


class KcftoolPresets : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(dir);
        WriteFileBytes(library, ReadFileBytes("testdata/ZAV_KCF.SET"));
        KernelRecord k = DefaultKernelRecord();
        k.weights[0] = 4;
        k.weights[40] = -2;
        k.size = 9;
        k.divisor = 3;
        k.offset = 17;
        k.invert = 1;
        ASSERT_TRUE(AppendPreset(library.c_str(), "outer corner", &k));
    }
    MessageRecorder user;
};

}  // namespace

TEST_F(KcftoolPresets, PresetsPrintsTheNamesInTheListsOrder)
{
    const ToolRun run = Kcftool("presets --library " + library);
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> names;
    ASSERT_TRUE(ListPresetNames(library.c_str(), names));
    std::string expected;
    for (const auto& n : names) expected += n + "\n";
    EXPECT_EQ(WithoutCarriageReturns(run.out), expected);
    EXPECT_EQ(names.front(), "Box Blur 3x3");
    EXPECT_EQ(names[8], "outer corner") << "without regard to case";
    EXPECT_EQ(names[9], "Outline");

    const ToolRun missing = Kcftool("presets --library " + Path("none.SET"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("Can't open file: " + Path("none.SET")), std::string::npos) << missing.err;
    EXPECT_EQ(Kcftool("presets").status, 2) << "a usage error";
}

TEST_F(KcftoolPresets, FindPrintsTheRecordOrExitsOne)
{
    ToolRun run = Kcftool("find --library " + library + " \"Sobel X\"");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(WithoutCarriageReturns(run.out), "Sobel X\n3\n-1 0 1\n-2 0 2\n-1 0 1\n1 32768 0\n");

    run = Kcftool("find --library " + library + " \"outer corner\"");
    ASSERT_EQ(run.status, 0);
    const std::string text = WithoutCarriageReturns(run.out);
    EXPECT_EQ(text.substr(0, 31), "outer corner\n9\n4 0 0 0 0 0 0 0 ");
    EXPECT_NE(text.find("\n0 0 0 0 -2 0 0 0 0\n"), std::string::npos);
    EXPECT_NE(text.find("\n3 17 1\n"), std::string::npos);

    for (const char* absent : {"\"sobel x\"", "Sobel", "\"Sobel X \""}) {
        run = Kcftool("find --library " + library + " " + absent);
        EXPECT_EQ(run.status, 1) << absent;
        EXPECT_EQ(run.out, "") << absent;
    }
    run = Kcftool("find --library " + Path("none.SET") + " Sharpen");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Can't open file"), std::string::npos);
}

TEST_F(KcftoolPresets, BlockTakesTheKernelFromAPreset)
{
    const std::string block = Path("preset.blk");
    std::remove(block.c_str());
    ToolRun run = Kcftool("block --out " + block + " --preset \"outer corner\" --library " + library +
                      " --source mtl --mtl-id 7");
    ASSERT_EQ(run.status, 0) << run.err;
    FilterSettings s = ReadBlock(block);
    KernelRecord expected = DefaultKernelRecord();
    ASSERT_TRUE(FindPreset(library.c_str(), "outer corner", &expected));
    EXPECT_EQ(std::memcmp(&s.kernel, &expected, sizeof expected), 0);
    EXPECT_STREQ(s.presetName, "outer corner");
    EXPECT_EQ(s.sourceMode, kSourceMaterialEffects);
    EXPECT_EQ(s.materialId, 7);

    run = Kcftool("block --out " + block + " --preset Emboss --library " + library + " --name \"My emboss\"");
    ASSERT_EQ(run.status, 0) << run.err;
    s = ReadBlock(block);
    EXPECT_STREQ(s.presetName, "My emboss");
    EXPECT_EQ(s.kernel.weights[3 * 9 + 3], -2);
    EXPECT_EQ(s.kernel.size, 3);

    // A block that cannot be written is a failure, also where fclose keeps quiet about it.
    // Only the device: opening a missing /dev/full for writing would make a file of that name.
    if (FILE* full = std::filesystem::is_character_file("/dev/full") ? std::fopen("/dev/full", "wb") : nullptr) {
        const bool refuses = std::fputs("probe", full) < 0 || std::fflush(full) != 0;
        std::fclose(full);
        if (refuses) {
            EXPECT_EQ(Kcftool("block --out /dev/full --preset Emboss --library " + library).status, 1);
        }
    }

    // A preset that is not there (1), or a clash with the preset's own values (2: a usage error),
    // writes no block.
    std::remove(block.c_str());
    const std::pair<std::string, int> refused[] = {
        {"--preset Nothing --library " + library, 1},
        {"--preset Emboss --library " + library + " --divisor 2", 2},
        {"--preset Emboss --library " + library + " --invert", 2},
        {"--preset Emboss --library " + Path("none.SET"), 1}};
    for (const auto& [bad, status] : refused) {
        run = Kcftool("block --out " + block + " " + bad);
        EXPECT_EQ(run.status, status) << bad;
        EXPECT_FALSE(std::filesystem::exists(block)) << bad;
    }
}

TEST_F(KcftoolPresets, AddSavesAsTheDialogDoes)
{
    const std::string block = Path("from.blk");
    ASSERT_EQ(Kcftool("block --out " + block + " --kernel \"0 0 0 0 0; 0 0 0 0 0; 0 0 6 0 0; 0 0 0 0 0; 0 0 0 0 1\" "
                      "--divisor 7 --name \"From a block\"").status, 0);
    const std::string missing = Path("new.SET");
    std::remove(missing.c_str());
    struct Row {
        std::string args;
        int status;
        std::string message;  // on standard error
        std::string stored;   // the name that must now be in the library, when the add succeeds
    };
    const std::vector<Row> rows = {
        {"--library " + library + " --name Ridge --kernel \"-1 2 -1; -1 2 -1; -1 2 -1\" --divisor 2 --offset 9 --invert",
         0, "", "Ridge"},
        {"--library " + library + " --from " + block, 0, "", "From a block"},
        {"--library " + library + " --from " + block + " --name \"Block, renamed\"", 0, "", "Block, renamed"},
        {"--library " + library + " --name Ridge --kernel \"1 1 1; 1 1 1; 1 1 1\"", 1, "Change the filter name!", ""},
        {"--library " + library + " --name Sharpen", 1, "Change the filter name!", ""},
        {"--library " + library + " --name \"\"", 1, "Input the filter name!", ""},
        {"--library " + library + " --from " + block + " --divisor 3", 2, "either --from", ""},
        {"--library " + library + " --name X --divisor 100000", 2, "divisor", ""},
        {"--library " + library + " --name X --source mtl", 2, "not --source", ""},
        {"--library " + library + " --from " + library, 1, "612 bytes", ""},
        {"--name X", 2, "add needs --library", ""},
        {"--library " + missing + " --name First", 0, "Can't open file: " + missing, "First"},
    };
    for (const Row& row : rows) {
        const std::string before = ReadFileBytes(library);
        const ToolRun run = Kcftool("add " + row.args);
        EXPECT_EQ(run.status, row.status) << row.args << "\n" << run.err;
        EXPECT_EQ(run.out, "") << row.args;
        if (row.message.empty()) EXPECT_EQ(run.err, "") << row.args;
        else EXPECT_NE(run.err.find(row.message), std::string::npos) << row.args << "\n" << run.err;
        if (row.status != 0) {
            EXPECT_EQ(ReadFileBytes(library), before) << row.args;
        }
    }
    KernelRecord k = DefaultKernelRecord();
    ASSERT_TRUE(FindPreset(library.c_str(), "Ridge", &k));
    EXPECT_EQ(k.size, 3);
    EXPECT_EQ(k.weights[3 * 9 + 4], 2);
    EXPECT_EQ(k.divisor, 2);
    EXPECT_EQ(k.offset, 9);
    EXPECT_EQ(k.invert, 1);
    ASSERT_TRUE(FindPreset(library.c_str(), "From a block", &k));
    EXPECT_EQ(k.size, 5) << "the size follows the weights, as in the dialog";
    EXPECT_EQ(k.weights[6 * 9 + 6], 1);
    EXPECT_EQ(k.divisor, 7);
    ASSERT_TRUE(FindPreset(library.c_str(), "Block, renamed", &k));
    EXPECT_TRUE(FindPreset(missing.c_str(), "First", &k));
}

TEST_F(KcftoolPresets, AKilledSaveLeavesTheOldLibraryOrTheWholeRecord)
{
    // kcftool is killed at each disk step of a save in turn (in the middle of it, for a write),
    // into a library and into none yet. The library is then the old one (still none) or the old one
    // with the whole record; the next save, by another process, finds the lock free and adds its
    // record whole.
    const std::string starter = ReadFileBytes(library);
    const std::string add = "add --library " + library + " --kernel \"1 2 1; 2 4 2; 1 2 1\" --divisor 16 --name ";
    for (const bool exists : {true, false}) {
        const std::string old = exists ? starter : "";
        const size_t oldRecords = exists ? ReadPresetFile(library).size() : 0;
        int killed = 0;
        for (int step = 1; step < 20; ++step) {
            const std::string what = "step " + std::to_string(step) + (exists ? "" : ", no library yet");
            std::remove(library.c_str());
            if (exists) WriteFileBytes(library, old);
            SetLibraryFault("kill:" + std::to_string(step));
            const ToolRun run = Kcftool(add + "Dying");
            SetLibraryFault("");
            if (run.status == 0) break;  // a save has no step this far
            ++killed;
            auto records = ReadPresetFile(library);
            if (!exists && records.empty()) {
                EXPECT_FALSE(std::filesystem::exists(library)) << what;
            } else {
                const std::string after = ReadFileBytes(library);
                EXPECT_EQ(after.substr(0, old.size()), old) << what;
                ASSERT_TRUE(records.size() == oldRecords || records.size() == oldRecords + 1) << what;
                if (records.size() > oldRecords) {
                    EXPECT_EQ(records.back().name, "Dying") << what;
                    EXPECT_EQ(records.back().record.weights[40], 4) << what;
                    EXPECT_EQ(records.back().record.divisor, 16) << what;
                } else {
                    EXPECT_EQ(after, old) << what;
                }
            }

            ASSERT_EQ(Kcftool(add + "Living").status, 0) << what;
            records = ReadPresetFile(library);
            ASSERT_FALSE(records.empty());
            EXPECT_EQ(records.back().name, "Living") << what;
            EXPECT_EQ(records.back().record.divisor, 16) << what;
        }
        EXPECT_GE(killed, 5) << "create, write, flush, close, rename";
    }
}

TEST_F(KcftoolPresets, TwoProcessesAddingAtOnceLoseNothing)
{
    // Two streams of kcftool add run at once, each its own record per run, and both try the same
    // shared names now and then: every record is there, whole, and every shared name exactly once.
    // There is no library at first, so the first saves also race to make it.
    std::remove(library.c_str());
#ifdef _WIN32
    const int perStream = 40;  // two program starts (cmd and kcftool) under Wine take a good part of a second
#else
    const int perStream = 500;
#endif
    const int shareEvery = 10;
    std::map<std::string, int> wins;
    std::vector<std::string> failures[2];
    auto stream = [&](int s) {
        for (int i = 1; i <= perStream; ++i) {
            // Names built by insertion: GCC 12 warns falsely on a one-letter string in front.
            std::string name = std::to_string(i);
            name.insert(name.begin(), "AB"[s]);
            const std::string kernel = " --kernel \"0 0 0; 0 " + std::to_string(i) + " 0; 0 0 0\" --divisor " +
                                       std::to_string(s + 1);
            if (RunProgram("kcftool add --library " + library + " --name " + name + kernel) != 0)
                failures[s].push_back(name);
            if (i % shareEvery == 0) {
                std::string shared = std::to_string(i);
                shared.insert(shared.begin(), 'S');
                if (RunProgram("kcftool add --library " + library + " --name " + shared + kernel) == 0)
                    failures[s].push_back("won " + shared);
            }
        }
    };
    RunSideBySide(stream);
    std::set<std::string> sharedWins;
    for (int s = 0; s < 2; ++s)
        for (const std::string& f : failures[s]) {
            ASSERT_EQ(f.rfind("won ", 0), 0u) << "add of " << f << " failed";
            EXPECT_TRUE(sharedWins.insert(f.substr(4)).second) << f << ": two saves of one name both succeeded";
        }
    EXPECT_EQ(sharedWins.size(), static_cast<size_t>(perStream / shareEvery));

    const auto records = ReadPresetFile(library);
    EXPECT_EQ(records.size(), static_cast<size_t>(2 * perStream + perStream / shareEvery));
    std::map<std::string, int> seen;
    for (const PresetEntry& r : records) {
        ++seen[r.name];
        const int i = std::atoi(r.name.c_str() + 1);
        ASSERT_TRUE(i >= 1 && i <= perStream) << r.name;
        EXPECT_EQ(r.record.size, 3) << r.name;
        EXPECT_EQ(r.record.weights[40], i) << r.name << ": a record whole, not spliced";
        if (r.name[0] != 'S') {
            EXPECT_EQ(r.record.divisor, r.name[0] == 'A' ? 1 : 2) << r.name;
        }
        EXPECT_EQ(r.record.offset, 0) << r.name;
    }
    for (int s = 0; s < 2; ++s)
        for (int i = 1; i <= perStream; ++i) {
            std::string name = std::to_string(i);
            name.insert(name.begin(), "AB"[s]);
            EXPECT_EQ(seen[name], 1) << name;
        }
    for (const std::string& shared : sharedWins) EXPECT_EQ(seen[shared], 1) << shared;
}

TEST_F(KcftoolPresets, ShowAsArgsPastesBackTheSameBlock)
{
    // What show --as-args prints, pasted after "kcftool block --out" on this platform's command
    // line (a POSIX shell, or cmd), gives the block back byte for byte. A name that cmd cannot
    // take safely (it reads no escaped quote, and acts on & | < > ^ % !) is left out there, with a
    // note: pasted, it must run nothing, and give the block without its name.
    const std::string rows9 = "\"0 0 0 0 0 0 0 0 0; 0 0 0 0 0 0 0 0 0; 0 0 4 0 0 0 0 0 0; 0 0 0 0 0 0 0 0 0;"
                              " 0 0 0 0 1 0 0 0 0; 0 0 0 0 0 0 0 0 0; 0 0 0 0 0 0 0 0 0; 0 0 0 0 0 0 0 0 0;"
                              " 0 0 0 0 0 0 0 0 -7\"";
#ifdef _WIN32
    const bool cmd = true;
#else
    const bool cmd = false;
#endif
    const struct {
        std::string options;
        std::string hostileName;  // empty: none; written into the block, not passed through a shell
    } made[] = {
        {"--kernel \"0 -1 0; -1 5 -1; 0 -1 0\" --name Sharpen", ""},
        {"--kernel \"1 2 1; 2 4 2; 1 2 1\" --normalize --offset 50% --invert --source mtl --mtl-id 15", ""},
        {"--kernel " + rows9 + " --divisor -99999 --source obj --obj-id 65535", "it's \"odd\" & <x> | a\\b"},
        {"--kernel \"0 0 0; 0 1 0; 0 0 0\"", "x\" & echo INJECTED & \""},
        {"--kernel \"0 0 0; 0 2 0; 0 0 0\"", "100% ^sure! $(echo INJECTED) `echo INJECTED`"},
        {"--preset \"Sobel X\" --library testdata/ZAV_KCF.SET", ""},
    };
    for (const auto& row : made) {
        const std::string& options = row.options;
        const bool leftOut = cmd && !row.hostileName.empty();
        ASSERT_EQ(Kcftool("block --out " + Path("named.blk") + " " + options).status, 0) << options;
        const std::string unnamed = ReadFileBytes(Path("named.blk"));
        std::string block = unnamed;
        if (!row.hostileName.empty()) {
            block.replace(offsetof(FilterSettings, presetName), row.hostileName.size(), row.hostileName);
            WriteFileBytes(Path("named.blk"), block);
        }
        // What pasting must give back: the block itself, or without its name where that was left out.
        WriteFileBytes(Path("expected.blk"), leftOut ? unnamed : block);
        const ToolRun printed = Kcftool("show --as-args " + Path("named.blk"));
        ASSERT_EQ(printed.status, 0) << printed.err;
        if (leftOut) {
            EXPECT_NE(printed.err.find("--name is left out"), std::string::npos) << printed.err;
            EXPECT_EQ(printed.out.find("--name"), std::string::npos) << printed.out;
        } else {
            EXPECT_EQ(printed.err, "") << options;
        }
        std::string args = printed.out;
        while (!args.empty() && (args.back() == '\n' || args.back() == '\r')) args.pop_back();
        const ToolRun again = Kcftool("block --out " + Path("second.blk") + " " + args);
        ASSERT_EQ(again.status, 0) << args << "\n" << again.err;
        EXPECT_EQ(again.out.find("INJECTED"), std::string::npos) << args;
        EXPECT_EQ(ReadFileBytes(Path("second.blk")), ReadFileBytes(Path("expected.blk"))) << args;
    }
}

TEST_F(KcftoolPresets, ExitStatusSaysWhatWentWrong)
{
    // 2: the command line cannot be carried out as written; 1: a file or a name is not there.
    ASSERT_EQ(Kcftool("block --out " + Path("ok.blk")).status, 0);
    const struct {
        std::string args;
        int status;
        const char* said;
    } rows[] = {
        {"block --out " + Path("x.blk") + " --bogus 1", 2, "unknown option --bogus"},
        {"block --out " + Path("x.blk") + " --divisor 5 --normalize", 2, "--normalize"},
        {"show", 2, "show takes"},
        {"presets", 2, "presets takes"},
        {"find --library testdata/ZAV_KCF.SET", 2, "find takes"},
        {"add --library " + library + " --name A --offset 200%", 2, "200%"},
        {"frobnicate", 2, "unknown command"},
        {"show " + Path("missing.blk"), 1, "cannot open"},
        {"show testdata/ZAV_KCF.SET", 1, "this one is "},
        {"find --library testdata/ZAV_KCF.SET \"sobel x\"", 1, "did you mean \"Sobel X\""},
        {"block --out " + Path("x.blk") + " --preset \"Box Blur 3\" --library testdata/ZAV_KCF.SET", 1,
         "did you mean \"Box Blur 3x3\""},
        {"find --library " + Path("none.SET") + " Sharpen", 1, "Can't open file"},
    };
    for (const auto& row : rows) {
        const ToolRun run = Kcftool(row.args);
        EXPECT_EQ(run.status, row.status) << row.args << "\n" << run.err;
        EXPECT_NE(run.err.find(row.said), std::string::npos) << row.args << "\n" << run.err;
    }
    // The size message names the file's real size.
    const ToolRun sized = Kcftool("show testdata/ZAV_KCF.SET");
    EXPECT_NE(sized.err.find(std::to_string(ReadFileBytes("testdata/ZAV_KCF.SET").size())), std::string::npos) << sized.err;
}
