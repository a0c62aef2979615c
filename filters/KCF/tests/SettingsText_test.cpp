// kcftool's text side: kernels and option values as users type them, and stored blocks.
#include "SettingsText.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool Block(std::vector<std::string> args, FilterSettings& s, std::string& error)
{
    BlockOptions o;
    s = DefaultFilterSettings();
    return ParseBlockOptions(args, s, o, error);
}

}  // namespace

TEST(ParseKernel, PlacesTheBlockCentredAndAppliesTheSizeRule)
{
    KernelRecord k = DefaultKernelRecord();
    std::string error;
    ASSERT_TRUE(ParseKernel("0 -1 0; -1 5 -1; 0 -1 0", k, error)) << error;
    EXPECT_EQ(k.size, 3);
    EXPECT_EQ(k.weights[3 * 9 + 4], -1);
    EXPECT_EQ(k.weights[4 * 9 + 4], 5);
    EXPECT_EQ(k.weights[0], 0);

    ASSERT_TRUE(ParseKernel("1,2,3,4,5;0 0 0 0 0;0 0 1 0 0;0 0 0 0 0;0 0 0 0 0;", k, error)) << error;
    EXPECT_EQ(k.size, 5);
    EXPECT_EQ(k.weights[2 * 9 + 2], 1);
    // A 5-row kernel whose outer ring is zero is a 3x3 kernel, as the dialog would say.
    ASSERT_TRUE(ParseKernel("0 0 0 0 0; 0 1 1 1 0; 0 1 1 1 0; 0 1 1 1 0; 0 0 0 0 0", k, error));
    EXPECT_EQ(k.size, 3);
    ASSERT_TRUE(ParseKernel("-2147483648 0 0; 0 2147483647 0; 0 0 0", k, error)) << error;
    EXPECT_EQ(k.weights[3 * 9 + 3], INT32_MIN);
}

TEST(ParseKernel, RefusesMalformedKernelsAndKeepsTheRecord)
{
    const char* bad[] = {"",          "1 2; 3 4",          "1 2 3; 4 5 6",      "1 2 3; 4 5; 6 7 8",
                         "1 2 3 4; 1 2 3; 1 2 3", "a b c; 1 2 3; 1 2 3", "1 2 3; 1 2 3; 1 2 2147483648",
                         "1.5 0 0; 0 0 0; 0 0 0", "0x10 0 0; 0 0 0; 0 0 0", "1 1 1 1 1 1 1 1 1 1; 1; 1",
                         "1;1;1;1;1;1;1;1;1;1;1"};
    for (const char* text : bad) {
        KernelRecord k = DefaultKernelRecord();
        k.weights[40] = 77;
        std::string error;
        EXPECT_FALSE(ParseKernel(text, k, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_EQ(k.weights[40], 77) << text;
    }
}

TEST(BlockOptions, RangesAreTheDialogsAndMessagesNameTheValue)
{
    FilterSettings s;
    std::string error;
    ASSERT_TRUE(Block({"--out", "x", "--divisor", "-99999", "--offset", "99999", "--mtl-id", "15", "--obj-id", "65535",
                       "--source", "obj", "--invert", "--name", "Edge"},
                      s, error))
        << error;
    EXPECT_EQ(s.kernel.divisor, -99999);
    EXPECT_EQ(s.kernel.offset, 99999);
    EXPECT_EQ(s.materialId, 15);
    EXPECT_EQ(s.objectId, 65535);
    EXPECT_EQ(s.sourceMode, kSourceObject);
    EXPECT_EQ(s.kernel.invert, 1);
    EXPECT_STREQ(s.presetName, "Edge");

    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--out", "x", "--divisor", "100000"}, "100000"},
        {{"--out", "x", "--offset", "-100000"}, "-100000"},
        {{"--out", "x", "--mtl-id", "16"}, "16"},
        {{"--out", "x", "--obj-id", "65536"}, "65536"},
        {{"--out", "x", "--obj-id", "-1"}, "-1"},
        {{"--out", "x", "--divisor", "12abc"}, "12abc"},
        {{"--out", "x", "--source", "alpha"}, "alpha"},
        {{"--out", "x", "--name", std::string(256, 'n')}, "255"},
        {{"--out", "x", "--bogus", "1"}, "--bogus"},
        {{"--divisor", "2"}, "--out"},
        {{"--out"}, "--out"},
        {{"--out", "x", "--preset", "Blur"}, "--library"},
        {{"--out", "x", "--offset", "153%"}, "153%"},
        {{"--out", "x", "--offset", "%"}, "%"},
        {{"--out", "x", "--offset", "half%"}, "half%"},
        {{"--out", "x", "--offset", "nan%"}, "nan%"},
        {{"--out", "x", "--divisor", "2", "--normalize"}, "--normalize"},
    };
    for (const auto& [args, named] : refused) {
        EXPECT_FALSE(Block(args, s, error)) << args.back();
        EXPECT_NE(error.find(named), std::string::npos) << error;
    }
}

TEST(BlockOptions, PercentOffsetsAndNormalizedDivisors)
{
    const std::pair<std::string, int32_t> offsets[] = {
        {"50%", 32768}, {"-12.5%", -8192}, {"100%", 65535}, {"0%", 0}, {"152%", 99613}, {"-1", -1}};
    for (const auto& [text, level] : offsets) {
        int32_t out = 7;
        std::string error;
        EXPECT_TRUE(ParseOffset(text, out, error)) << text << ": " << error;
        EXPECT_EQ(out, level) << text;
    }

    // The weights Render uses are those of the stored size's block; none sum to 0 gives 1.
    const struct {
        const char* kernel;
        int32_t divisor;
    } sums[] = {{"1 2 1; 2 4 2; 1 2 1", 16}, {"-1 0 1; -2 0 2; -1 0 1", 1}, {"0 0 0; 0 -3 0; 0 0 -2", -5}};
    for (const auto& c : sums) {
        FilterSettings s;
        std::string error;
        ASSERT_TRUE(Block({"--out", "x", "--kernel", c.kernel, "--normalize"}, s, error)) << error;
        KernelRecord k = s.kernel;
        ASSERT_TRUE(NormalizeDivisor(k, error)) << error;
        EXPECT_EQ(k.divisor, c.divisor) << c.kernel;
    }
    KernelRecord huge = DefaultKernelRecord();
    huge.weights[40] = 100000;
    std::string error;
    EXPECT_FALSE(NormalizeDivisor(huge, error));
    EXPECT_EQ(huge.divisor, 1) << "unchanged";
    EXPECT_NE(error.find("100000"), std::string::npos) << error;
}

TEST(StoredBlock, SizeAndTagAreChecked)
{
    FilterSettings s = DefaultFilterSettings(), out;
    std::vector<unsigned char> bytes(reinterpret_cast<unsigned char*>(&s), reinterpret_cast<unsigned char*>(&s) + 612);
    std::string error;
    EXPECT_TRUE(CheckBlock(bytes, out, error));
    bytes.push_back(0);
    EXPECT_FALSE(CheckBlock(bytes, out, error));
    EXPECT_NE(error.find("613"), std::string::npos);
    bytes.pop_back();
    bytes[3] ^= 0xFF;
    EXPECT_FALSE(CheckBlock(bytes, out, error));
    EXPECT_FALSE(CheckBlock({}, out, error));
}

TEST(StoredBlock, DescriptionOfADamagedBlockStaysInsideIt)
{
    FilterSettings s = DefaultFilterSettings();
    std::memset(s.presetName, 'z', sizeof s.presetName);  // no terminator
    s.kernel.size = 4;
    // Weights at the limits come out whole, every column as wide as the widest.
    s.kernel.weights[0] = INT32_MIN;
    s.kernel.weights[1] = 7;
    const std::string text = DescribeSettings(s);
    EXPECT_NE(text.find("grid:\n    -2147483648           7 "), std::string::npos) << text;
    EXPECT_NE(text.find("damaged"), std::string::npos);
    EXPECT_NE(text.find("\"" + std::string(256, 'z') + "\""), std::string::npos);
    EXPECT_EQ(text.find(std::string(257, 'z')), std::string::npos);
}
