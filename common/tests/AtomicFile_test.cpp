// AtomicFile in process: whatever stands at a temporary file's name beforehand is passed over, never
// written through or removed.
#include "AtomicFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string Contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Put(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

}  // namespace

TEST(AtomicFile, NameTakenBeforehandIsPassedOver)
{
    const fs::path dir = fs::absolute("atomicfile_test_files");
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string out = (dir / "out.bin").string();
    const fs::path victim = dir / "victim.txt";
    Put(victim, "victim");
    AtomicFile::RepeatNamesForTesting(0x5eed);

    // The first name the next Open will try, learnt from an Open that is abandoned.
    std::string error, taken;
    {
        AtomicFile probe;
        ASSERT_TRUE(probe.Open(out, error)) << error;
        taken = probe.Temporary();
    }
    ASSERT_FALSE(fs::exists(taken));
    EXPECT_LE(fs::path(taken).filename().string().size(), 12u);

    enum Placed { kFile, kLinkToVictim };
    for (Placed placed : {kFile, kLinkToVictim}) {
#ifdef _WIN32
        if (placed == kLinkToVictim) continue;  // links need a privilege there
#endif
        SCOPED_TRACE(placed == kFile ? "a file" : "a link");
        fs::remove(taken);
        if (placed == kFile) Put(taken, "placed");
        else fs::create_symlink(victim, taken);
        AtomicFile file;
        ASSERT_TRUE(file.Open(out, error)) << error;
        EXPECT_NE(file.Temporary(), taken);
        ASSERT_TRUE(file.Write("new", 3));
        ASSERT_TRUE(file.Commit(error)) << error;
        EXPECT_EQ(Contents(out), "new");
        EXPECT_EQ(Contents(victim), "victim");
        if (placed == kFile) EXPECT_EQ(Contents(taken), "placed");
        else EXPECT_TRUE(fs::is_symlink(taken));
    }
    fs::remove_all(dir);
}
