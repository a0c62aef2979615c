// kcftool's preset commands, run as a user runs them: presets, find, and block --preset, all read
// through the dialog's own reader.
#include "PresetLibrary.h"
#include "RunProgram.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
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
        ASSERT_EQ(AppendPreset(library.c_str(), "outer corner", &k), 1);
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
    EXPECT_EQ(Kcftool("presets").status, 1);
}

TEST_F(KcftoolPresets, FindPrintsTheRecordOrExitsOne)
{
    ToolRun run = Kcftool("find --library " + library + " \"Sobel X\"");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(WithoutCarriageReturns(run.out), "Sobel X\n3\n-1 0 1\n-2 0 2\n-1 0 1\n1 128 0\n");

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
    ASSERT_EQ(FindPreset(library.c_str(), "outer corner", &expected), 1);
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
    if (FILE* full = std::fopen("/dev/full", "wb")) {
        const bool refuses = std::fputs("probe", full) < 0 || std::fflush(full) != 0;
        std::fclose(full);
        if (refuses) {
            EXPECT_EQ(Kcftool("block --out /dev/full --preset Emboss --library " + library).status, 1);
        }
    }

    // A preset that is not there, or a clash with the preset's own values, writes no block.
    std::remove(block.c_str());
    for (const std::string& bad : {"--preset Nothing --library " + library, "--preset Emboss --library " + library +
                                   " --divisor 2", "--preset Emboss --library " + library + " --invert",
                                   "--preset Emboss --library " + Path("none.SET")}) {
        run = Kcftool("block --out " + block + " " + bad);
        EXPECT_EQ(run.status, 1) << bad;
        EXPECT_FALSE(std::filesystem::exists(block)) << bad;
    }
}
