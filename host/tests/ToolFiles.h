// What the tests of the files vphost and kcftool read and write share: the two writers as commands,
// a scratch folder beside the programs, and a look for temporary files left behind.
#pragma once

#include "ImageIO.h"
#include "RunProgram.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace toolfiles {

namespace fs = std::filesystem;

inline std::string moduleName;  // the filter module's file name in the working directory
inline const std::string dir = "tool_files";

inline std::string Path(const std::string& name) { return dir + "/" + name; }

inline std::string Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void Put(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// AtomicFile's temporary files in folder.
inline std::vector<std::string> Temporaries(const std::string& folder)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().rfind(".~kcf", 0) == 0) found.push_back(entry.path().string());
    return found;
}

// A program that writes OUT: its command line for a given OUT, and the name OUT gets in tests.
struct Writer {
    const char* name;
    std::string (*command)(const std::string& out);
    const char* outName;
    int writeCalls;  // how many write calls its output takes
};

inline std::string KcftoolBlock(const std::string& out) { return "kcftool block --out " + out; }
// A kernel that is not all zero: vphost warns of one that is, and these tests count the lines it writes.
inline const std::string identityKernel = " --kernel \"0 0 0; 0 1 0; 0 0 0\"";
inline std::string VphostRender(const std::string& out)
{
    return "vphost render --filter " + moduleName + identityKernel + " --in " + Path("in.pam") + " --out " + out +
           " --plugcfg " + dir;
}

// vphost's input: 100 x 100 16-bit RGBA, an output of two 64 KiB writes.
inline const Writer writers[] = {{"kcftool", KcftoolBlock, "out.blk", 1}, {"vphost", VphostRender, "out.pam", 2}};

struct Outcome {
    int status;
    std::string err;
};

inline Outcome RunCapturing(const std::string& commandLine)
{
    // A file of its own each time: under Wine a program just ended may hold the last one a moment.
    static int runs = 0;
    const std::string err = Path("stderr-" + std::to_string(++runs) + ".txt");
#ifdef _WIN32
    const int status = RunProgram(commandLine + " >NUL 2>" + err, false);
#else
    const int status = RunProgram(commandLine + " >/dev/null 2>" + err, false);
#endif
    return {status, Contents(err)};
}

// Sets an environment variable for the programs this process starts, while it lives.
class ScopedEnvironment {
public:
    ScopedEnvironment(const std::string& name, const std::string& value) : name_(name)
    {
#ifdef _WIN32
        // The C runtime's copy goes to programs that system() starts, the system's to the others.
        _putenv((name + "=" + value).c_str());
        SetEnvironmentVariableA(name.c_str(), value.c_str());
#else
        setenv(name.c_str(), value.c_str(), 1);
#endif
    }
    ~ScopedEnvironment()
    {
#ifdef _WIN32
        _putenv((name_ + "=").c_str());
        SetEnvironmentVariableA(name_.c_str(), nullptr);
#else
        unsetenv(name_.c_str());
#endif
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
};

class ToolFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        fs::remove_all(dir);
        fs::create_directories(dir);
        Image in;
        in.width = in.height = 100;
        std::mt19937 rng(5);
        for (int i = 0; i < 100 * 100; ++i)
            in.pixels.push_back({uint16_t(rng()), uint16_t(rng()), uint16_t(rng()), uint16_t(rng())});
        std::string error;
        ASSERT_TRUE(WriteImage(Path("in.pam"), in, error)) << error;
    }
};

}  // namespace toolfiles
