// The starter preset library: the committed file is what the table writes, and every kernel in
// the table is what its name promises.
#include "PresetLibrary.h"
#include "StarterPresets.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <set>

namespace {

// The committed library, copied beside the tests by the build.
const char kCommitted[] = "testdata/ZAV_KCF.SET";

int64_t Sum(const KernelRecord& k) { return std::accumulate(std::begin(k.weights), std::end(k.weights), int64_t{0}); }

}  // namespace

TEST(StarterPresets, CommittedLibraryIsWhatTheTableWrites)
{
    ScratchDir dir;
    const std::string fresh = dir.File("ZAV_KCF.SET");
    ASSERT_TRUE(WriteStarterPresets(fresh.c_str()));
    const std::string committed = ReadFileBytes(kCommitted);
    ASSERT_FALSE(committed.empty()) << kCommitted;
    EXPECT_EQ(ReadFileBytes(fresh), committed) << "run scripts/make-presets.sh";
    EXPECT_FALSE(WriteStarterPresets(fresh.c_str())) << "never appends to an existing library";

    // And it reads back as the table, record by record.
    const auto table = StarterPresets();
    FILE* f = std::fopen(kCommitted, "rb");
    ASSERT_NE(f, nullptr);
    char name[kNameChars];
    KernelRecord k = DefaultKernelRecord();
    size_t i = 0;
    for (; ReadPreset(f, name, &k); ++i) {
        ASSERT_LT(i, table.size());
        EXPECT_EQ(name, table[i].name);
        EXPECT_EQ(std::memcmp(&k, &table[i].record, sizeof k), 0) << name;
    }
    std::fclose(f);
    EXPECT_EQ(i, table.size());
}

TEST(StarterPresets, KernelsDoWhatTheirNamesSay)
{
    std::set<std::string> names;
    for (const auto& p : StarterPresets()) {
        const KernelRecord& k = p.record;
        SCOPED_TRACE(p.name);
        EXPECT_TRUE(names.insert(p.name).second) << "names are unique";
        EXPECT_EQ(k.size, KernelSizeOf(k.weights));
        EXPECT_EQ(k.invert, 0);
        if (p.name.find("Blur") != std::string::npos || p.name.find("Sharpen") != std::string::npos ||
            p.name.find("Unsharp") != std::string::npos) {
            EXPECT_EQ(Sum(k), k.divisor) << "keeps the brightness of flat areas";
            EXPECT_EQ(k.offset, 0);
        } else {
            EXPECT_EQ(Sum(k), 0) << "flat areas give the offset";
            // Gradients and the emboss show both directions of a change around mid grey.
            const bool signedChange = p.name.find("Sobel") == 0 || p.name.find("Prewitt") == 0 || p.name == "Emboss";
            EXPECT_EQ(k.offset, signedChange ? 32768 : 0);
        }
    }
    for (const char* expected : {"Box Blur 3x3", "Box Blur 5x5", "Box Blur 7x7", "Box Blur 9x9", "Gaussian Blur 3x3",
                                 "Gaussian Blur 5x5", "Sharpen", "Unsharp Mask 5x5", "Laplacian Edges", "Sobel X",
                                 "Sobel Y", "Prewitt X", "Prewitt Y", "Emboss", "Outline"})
        EXPECT_TRUE(names.count(expected)) << expected;

    // Sizes follow the blocks: the box blurs are 3, 5, 7 and 9 wide.
    const auto table = StarterPresets();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(table[i].record.size, 3 + 2 * i);
    // The X gradients rise to the right, the Y gradients downwards.
    for (const auto& p : table) {
        const int32_t* w = p.record.weights;
        if (p.name.ends_with(" X")) {
            EXPECT_GT(w[4 * 9 + 5], w[4 * 9 + 3]) << p.name;
        }
        if (p.name.ends_with(" Y")) {
            EXPECT_GT(w[5 * 9 + 4], w[3 * 9 + 4]) << p.name;
        }
    }
}
