// The filter object: its configuration block, required channels and the preset library path.
#include "HostCore.h"
#include "KernelFilter.h"
#include "Platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<int32_t> Words(const unsigned char* block, int from, int count)
{
    std::vector<int32_t> out(count);
    std::memcpy(out.data(), block + 4 * from, 4 * count);
    return out;
}

}  // namespace

TEST(ConfigurationBlock, NewFilterSavesTheDefaults)
{
    KernelFilter filter;
    ASSERT_EQ(filter.EvaluateConfigure(), 612u);
    unsigned char block[612];
    std::memset(block, 0xAB, sizeof block);
    ASSERT_EQ(filter.SaveConfigure(block), TRUE);

    std::vector<int32_t> expected = {static_cast<int32_t>(0x33A25539), 1009, 0, 0, 3};
    expected.insert(expected.end(), 81, 0);
    expected.insert(expected.end(), {1, 0, 0});
    EXPECT_EQ(Words(block, 0, 89), expected);
    EXPECT_EQ(block[356], 0);  // an empty name
}

TEST(ConfigurationBlock, WrongTagChangesNothing)
{
    KernelFilter source;
    source.settings.kernel.weights[40] = 7;
    unsigned char block[612];
    source.SaveConfigure(block);
    block[0] ^= 1;

    KernelFilter target;
    target.settings.kernel.offset = 42;
    const FilterSettings before = target.settings;
    EXPECT_EQ(target.LoadConfigure(block), FALSE);
    EXPECT_EQ(std::memcmp(&before, &target.settings, 612), 0);
}

TEST(ConfigurationBlock, DamagedSizeLoadsAsStored)
{
    for (int32_t size : {4, -1, 0, 81, 1 << 30}) {
        KernelFilter source;
        source.settings.kernel.size = size;
        source.settings.kernel.weights[0] = 1;  // would give 9 by the rule
        unsigned char block[612];
        source.SaveConfigure(block);
        KernelFilter target;
        ASSERT_TRUE(target.LoadConfigure(block));
        EXPECT_EQ(target.settings.kernel.size, size);
    }
}

TEST(ChannelsRequired, FollowsTheSourceMode)
{
    KernelFilter filter;
    const std::pair<int32_t, DWORD> cases[] = {
        {1009, 0}, {1010, 2}, {1011, 4}, {0, 0}, {1012, 0}, {-1, 0}, {1008, 0}};
    for (auto [mode, bits] : cases) {
        filter.settings.sourceMode = mode;
        EXPECT_EQ(filter.ChannelsRequired(), bits) << mode;
    }
}

TEST(PresetLibraryPath, JoinsTheHostDirectory)
{
    SetHostPlugCfgDir("/tmp/plugcfg");
    KernelFilter filter;
    EXPECT_EQ(std::string(PresetLibraryPath()), std::string("/tmp/plugcfg") + kPathSeparator + "ZAV_KCF.SET");
}

TEST(PresetLibraryPath, OverlongDirectoryLeavesThePathEmpty)
{
    // 259 characters fit; one more and the path is left empty rather than truncated.
    const std::string fits(259 - 1 - 11, 'd');
    SetHostPlugCfgDir(fits);
    { KernelFilter filter; }
    EXPECT_EQ(std::strlen(PresetLibraryPath()), 259u);

    SetHostPlugCfgDir(fits + "d");
    { KernelFilter filter; }
    EXPECT_STREQ(PresetLibraryPath(), "");

    SetHostPlugCfgDir(std::string(5000, 'x'));
    { KernelFilter filter; }
    EXPECT_STREQ(PresetLibraryPath(), "");
    SetHostPlugCfgDir("");
}
