// kcftool block and vphost render on POSIX: a full disk and signals during the write leave the old
// OUT whole and no temporary file; long names and symbolic links work; hostile input is refused
// within a small memory limit.
#include "ToolFiles.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace toolfiles;

namespace {

// Starts commandLine (a program of the working directory) with one more environment variable and
// the clean-up signals at their default action.
pid_t Start(const std::string& commandLine, const std::string& variable)
{
    const std::string shell = "exec ./" + commandLine + " >/dev/null 2>&1";
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) env.push_back(*e);
    std::string extra = variable;
    env.push_back(extra.data());
    env.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, s);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    const char* argv[] = {"/bin/sh", "-c", shell.c_str(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", nullptr, &attributes, const_cast<char**>(argv), env.data()) != 0) pid = -1;
    posix_spawnattr_destroy(&attributes);
    return pid;
}

// A temporary file in dir of at least minSize bytes, once the writer has made it; "" if it ended first.
std::string AwaitTemporary(pid_t pid, uintmax_t minSize)
{
    for (int i = 0; i < 3000; ++i) {
        for (const std::string& t : Temporaries(dir)) {
            std::error_code ec;
            if (fs::file_size(t, ec) >= minSize && !ec) return t;
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) return "";
        usleep(10000);
    }
    return "";
}

Outcome Shell(const std::string& command)
{
    const std::string err = Path("stderr.txt");
    const int status = std::system(("{ " + command + "; } >/dev/null 2>" + err).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), Contents(err)};
}

void PutBigEndian(std::string& bytes, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8) bytes += static_cast<char>(v >> s);
}

void PutChunk(std::string& png, const char* type, const std::string& data)
{
    const std::string typed = type + data;
    PutBigEndian(png, static_cast<uint32_t>(data.size()));
    png += typed;
    PutBigEndian(png, crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size())));
}

// A valid PNG header claiming width x height 16-bit RGBA, then the compressed data of two rows.
std::string PngClaiming(uint32_t width, uint32_t height)
{
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string ihdr;
    PutBigEndian(ihdr, width);
    PutBigEndian(ihdr, height);
    ihdr += std::string("\x10\x06\x00\x00\x00", 5);
    PutChunk(png, "IHDR", ihdr);
    const std::string rows(2 * (1 + size_t(width) * 8), '\0');
    std::string packed(compressBound(rows.size()), '\0');
    uLongf size = packed.size();
    compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(rows.data()), rows.size(),
              9);
    packed.resize(size);
    PutChunk(png, "IDAT", packed);
    PutChunk(png, "IEND", "");
    return png;
}

}  // namespace

TEST_F(ToolFiles, FullDiskLeavesTheOldFileWhole)
{
    const std::string disk = fs::absolute(Path("small-disk")).string();
    fs::create_directories(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs (" << std::strerror(errno) << "); needs root";
    struct Unmount {
        std::string path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk};
    for (const Writer& w : writers) Put(disk + "/" + w.outName, std::string("old ") + w.name);
    {
        std::ofstream filler(disk + "/filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), block.size()).flush()) {
        }
    }
    for (const Writer& w : writers) {
        SCOPED_TRACE(w.name);
        const std::string out = disk + "/" + w.outName;
        const Outcome r = RunCapturing(w.command(out));
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
        EXPECT_EQ(Contents(out), std::string("old ") + w.name);
        EXPECT_TRUE(Temporaries(disk).empty());
    }
}

TEST_F(ToolFiles, SignalDuringTheWriteLeavesNoTemporary)
{
    for (const Writer& w : writers) {
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
            SCOPED_TRACE(std::string(w.name) + " " + strsignal(signal));
            const std::string out = Path(w.outName);
            Put(out, "the old bytes");
            // Paused before its last write call: for vphost, with 64 KiB already in the temporary file.
            const pid_t pid = Start(w.command(out), "KCF_TEST_WRITE_FAULT=pause:" + std::to_string(w.writeCalls));
            ASSERT_GT(pid, 0);
            const std::string temporary = AwaitTemporary(pid, w.writeCalls > 1 ? 65536 : 0);
            EXPECT_FALSE(temporary.empty()) << "the writer ended before its temporary file showed";
            kill(pid, signal);
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
            EXPECT_EQ(Contents(out), "the old bytes");
            EXPECT_TRUE(Temporaries(dir).empty());
        }
    }
}

TEST_F(ToolFiles, LongNamesAndSymbolicLinksAreWritten)
{
    for (const Writer& w : writers) {
        SCOPED_TRACE(w.name);
        const std::string extension = fs::path(w.outName).extension().string();
        // A name of 250 characters: the temporary name beside it stays short.
        const std::string longName = Path(std::string(250 - extension.size(), 'n') + extension);
        EXPECT_EQ(RunCapturing(w.command(longName)).status, 0);
        EXPECT_TRUE(fs::is_regular_file(longName));
        fs::remove(longName);

        // A link is written through: the file it leads to gets the new content, the link stays.
        const std::string real = Path(std::string("real") + extension), link = Path(std::string("link") + extension);
        Put(real, "the old bytes");
        fs::remove(link);
        fs::create_symlink(fs::path(real).filename(), link);
        const Outcome r = RunCapturing(w.command(link));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_NE(Contents(real), "the old bytes");
        EXPECT_GE(fs::file_size(real), 612u);
        EXPECT_TRUE(Temporaries(dir).empty());
    }
}

TEST_F(ToolFiles, HostileImagesAreRefusedWithinSmallMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer needs more address space than the limit allows";
#endif
    Put(Path("huge.png"), PngClaiming(65535, 1024));
    Put(Path("huge.pam"), "P7\nWIDTH 8192\nHEIGHT 8192\nDEPTH 4\nMAXVAL 65535\nENDHDR\n" + std::string(600, 'x'));
    Put(Path("sparse.bin"), "");
    fs::resize_file(Path("sparse.bin"), 300u << 20);
    // All of its 512 MiB there (sparse): the frame is taken, and the memory is not there for it.
    const std::string header = "P7\nWIDTH 8192\nHEIGHT 8192\nDEPTH 4\nMAXVAL 65535\nENDHDR\n";
    Put(Path("whole.pam"), header);
    fs::resize_file(Path("whole.pam"), header.size() + (uintmax_t(8192) * 8192 * 8));
    const std::string render = "./vphost render --filter " + moduleName + identityKernel + " --out " + Path("never.pam") + " --in ";
    struct Case {
        std::string command, says;
    };
    const Case cases[] = {
        {render + "/dev/zero", "not a PNG, PAM, PGM or PPM image"},
        {render + Path("sparse.bin"), "not a PNG, PAM, PGM or PPM image"},
        {render + Path("huge.png"), "Not enough image data"},
        {render + Path("huge.pam"), "shorter than its header says"},
        {render + Path("whole.pam"), "whole.pam: not enough memory for a 8192x8192 image"},
        {"cat " + Path("huge.pam") + " | " + render + "/dev/stdin", "shorter than its header says"},
        {"{ printf 'P7\\n'; cat /dev/zero; } | " + render + "/dev/stdin", "longer than 64 characters"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        // 64 MiB of address space: vphost needs about 20; any of these read whole would need hundreds.
        const Outcome r = Shell("ulimit -v 65536; " + c.command);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(Path("never.pam")));
    }
    fs::remove(Path("sparse.bin"));
    fs::remove(Path("whole.pam"));
}
