// kcftool block and vphost render as users run them: a write that fails leaves the old OUT whole and
// no temporary file; OUT that is not a regular file is refused and left as it was.
#include "ModuleTestMain.h"
#include "ToolFiles.h"

#include <algorithm>

using namespace toolfiles;

TEST_F(ToolFiles, FailedWriteLeavesTheOldFileWhole)
{
    // The seam makes the Nth write call fail, or write half and then fail as a full disk does.
    const char* faults[] = {"fail:1", "short:1", "fail:2"};
    for (const Writer& w : writers) {
        for (const char* fault : faults) {
            if (fault == std::string("fail:2") && w.writeCalls < 2) continue;
            for (bool existed : {true, false}) {
                SCOPED_TRACE(std::string(w.name) + " " + fault + (existed ? ", OUT existed" : ", no OUT"));
                const std::string out = Path(w.outName);
                fs::remove(out);
                if (existed) Put(out, "the old bytes");
                Outcome r;
                {
                    ScopedEnvironment seam("KCF_TEST_WRITE_FAULT", fault);
                    r = RunCapturing(w.command(out));
                }
                EXPECT_EQ(r.status, 1);
                EXPECT_NE(r.err.find(out + ": cannot write: "), std::string::npos) << r.err;
                EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
                if (existed) {
                    EXPECT_EQ(Contents(out), "the old bytes");
                } else {
                    EXPECT_FALSE(fs::exists(out));
                }
                EXPECT_TRUE(Temporaries(dir).empty());
            }
        }
    }
}

TEST_F(ToolFiles, OnlyRegularFilesAreReplaced)
{
    const std::string folder = Path("a-folder");
    fs::create_directories(folder);
    Put(folder + "/inside.txt", "kept");
    struct Target {
        std::string path;
        fs::file_type type;
    };
    std::vector<Target> targets = {{folder, fs::file_type::directory}};
#ifdef _WIN32
    targets.push_back({"NUL", fs::file_type::unknown});
#else
    const std::string fifo = Path("a-fifo");
    fs::remove(fifo);
    ASSERT_EQ(std::system(("mkfifo " + fifo).c_str()), 0);
    targets.push_back({fifo, fs::file_type::fifo});
    targets.push_back({"/dev/null", fs::file_type::character});
#endif
    for (const Writer& w : writers) {
        for (const Target& t : targets) {
            SCOPED_TRACE(std::string(w.name) + " --out " + t.path);
            const Outcome r = RunCapturing(w.command(t.path));
            EXPECT_EQ(r.status, 1);
            EXPECT_NE(r.err.find("not a regular file; it is left as it was"), std::string::npos) << r.err;
            if (t.type != fs::file_type::unknown) {
                EXPECT_EQ(fs::symlink_status(t.path).type(), t.type);
            }
        }
    }
    EXPECT_EQ(Contents(folder + "/inside.txt"), "kept");
    EXPECT_TRUE(Temporaries(dir).empty());
}

int main(int argc, char** argv) { return RunTestsWithModule(argc, argv, moduleName); }

// A sequence whose frames' writes fail (the fault injected into every frame's process): each frame
// is named with the write's reason, an old file stays whole, and no temporary file is left.
TEST_F(ToolFiles, SequenceWithFailingWritesLeavesEveryOldFrame)
{
    for (int f : {2, 3})
        fs::copy_file(Path("in.pam"), Path("in-" + std::to_string(f) + ".pam"), fs::copy_options::overwrite_existing);
    Put(Path("seq-2.pam"), "the old frame 2");
    fs::remove(Path("seq-3.pam"));
    Outcome r;
    {
        ScopedEnvironment seam("KCF_TEST_WRITE_FAULT", "short:1");
        r = RunCapturing("vphost render --filter " + moduleName + identityKernel + " --frames 2-3 --jobs 2 --in " +
                         Path("in-%d.pam") + " --out " + Path("seq-%d.pam") + " --plugcfg " + dir);
    }
    EXPECT_EQ(r.status, 1) << r.err;
    for (int f : {2, 3}) {
        const std::string out = Path("seq-" + std::to_string(f) + ".pam");
        EXPECT_NE(r.err.find("frame " + std::to_string(f) + " failed: " + out + ": cannot write: "), std::string::npos)
            << r.err;
    }
    EXPECT_EQ(Contents(Path("seq-2.pam")), "the old frame 2");
    EXPECT_FALSE(fs::exists(Path("seq-3.pam")));
    EXPECT_TRUE(Temporaries(dir).empty());
}
