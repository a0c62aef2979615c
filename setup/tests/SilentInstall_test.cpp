// Silent mode in process: the chosen host, the log file, messages in the log and the exit codes.
#include "InstallFixture.h"
#include "SilentInstall.h"

#include <sstream>

namespace {

std::vector<std::string> LogLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::istringstream text(ReadText(path));
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

class SilentTest : public InstallFixture {
protected:
    int Run(const std::string& commandLine)
    {
        return RunSilent(ParseCommandLine(commandLine), Environment(), packageDir);
    }
    std::string LogPath() const { return temp / "setup.log"; }
};

TEST_F(SilentTest, InstallsOnTheStartHostWithTheDialogsLines)
{
    Source("a.dlo");
    Source("readme.txt");
    Script("[Product]\nMAXVer=6.0\n[Plugins6]\nFile1=a.dlo\n[Execute]\nFile1=readme.txt\n");
    EXPECT_EQ(Run("/S /LOG=" + LogPath()), kSilentInstalled);
    EXPECT_TRUE(FileExists(Host("plugins\\a.dlo")));
    EXPECT_EQ(LogLines(LogPath()),
              (std::vector<std::string>{"Copy a.dlo", "-> " + Host("plugins\\"), "Execute readme.txt", kFinished}));
    EXPECT_TRUE(desktop.shown.empty());   // no box: the silent desktop answered
    EXPECT_TRUE(desktop.opened.empty());  // and nothing was opened
}

TEST_F(SilentTest, FailingCopyIsAbortedAndLogged)
{
    Source("b.txt");
    Script("[Fonts]\nFile1=missing.ttf\nFile2=b.txt\n[Scripts]\nFile1=b.txt\n");
    EXPECT_EQ(Run("/S /LOG=" + LogPath()), kSilentAborted);
    // The files left out are named in the log as in the dialog's list.
    EXPECT_EQ(LogLines(LogPath()),
              (std::vector<std::string>{"Copy missing.ttf", "-> " + Host("fonts\\"),
                                        "Confirm: " + Host("fonts\\missing.ttf") + " : Can't create file! (Abort)",
                                        "Skipped missing.ttf (could not be copied)",
                                        "Skipped b.txt (not copied after Abort)", "Copy b.txt",
                                        "-> " + Host("scripts\\"), kFinishedInPart}));
    EXPECT_FALSE(FileExists(Host("fonts\\b.txt")));
    EXPECT_TRUE(FileExists(Host("scripts\\b.txt")));
}

TEST_F(SilentTest, RefusedRegistrationIsNotASuccess)
{
    Source("a.dlo");
    Script("[Plugins6]\nAddPath=Sub\nDesc=Sub plug-ins\nFile1=a.dlo\n");
    const std::string pluginIni = Host("PLUGIN.INI");
    const std::string before = ReadText(pluginIni);
    // A read-only file is not written; one cut short by a full disk is put back as it was.
    for (const bool fullDisk : {false, true}) {
        SCOPED_TRACE(fullDisk ? "full disk" : "read-only");
        SetFileAttributesA(pluginIni.c_str(), fullDisk ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY);
        writer.failAt = fullDisk ? writer.writes + 1 : 0;
        EXPECT_EQ(Run("/S /LOG=" + LogPath()), kSilentAborted);
        EXPECT_TRUE(FileExists(Host("plugins\\Sub\\a.dlo")));
        EXPECT_EQ(LogLines(LogPath()).at(0), "Error: " + pluginIni + " : Can't write file!");
        EXPECT_EQ(ReadText(pluginIni), before);
        EXPECT_FALSE(FileExists(pluginIni + ".kcfbak"));
    }
}

// The log is written to the end or the run says it is not: standard output names the log file,
// and an install that went well exits 2.
TEST_F(SilentTest, LogThatCannotBeWrittenIsReported)
{
    const std::string full = "Z:\\dev\\full";  // Wine's view of the Linux device that is always full
    HANDLE device = CreateFileA(full.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    const bool isDevice = device != INVALID_HANDLE_VALUE && GetFileType(device) == FILE_TYPE_CHAR;
    if (device != INVALID_HANDLE_VALUE) CloseHandle(device);
    if (!isDevice) GTEST_SKIP() << "needs the device " << full;
    Source("a.dlo");
    Script("[Plugins6]\nFile1=a.dlo\n");
    const std::string outputPath = temp / "stdout.txt";
    HANDLE output = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    const HANDLE previous = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, output);
    const int exitCode = Run("/S /LOG=" + full);
    SetStdHandle(STD_OUTPUT_HANDLE, previous);
    CloseHandle(output);
    EXPECT_EQ(exitCode, kSilentAborted);
    EXPECT_TRUE(FileExists(Host("plugins\\a.dlo")));
    EXPECT_EQ(LogLines(outputPath), (std::vector<std::string>{"Copy a.dlo",
                                                              "Error: " + full + " : Can't write file! The log is incomplete.",
                                                              "-> " + Host("plugins\\"), kFinished}));
}

TEST_F(SilentTest, RefusalsExitNonZero)
{
    Script("[Product]\nMAXVer=7.0\n");
    EXPECT_EQ(Run("/S /LOG=" + LogPath()), kSilentRefused);
    EXPECT_EQ(LogLines(LogPath()), (std::vector<std::string>{"Error: Can't install on version \"6.0\""}));

    registry.AddHost("6.0", "");
    Script("[Root]\nFile1=x\n");
    EXPECT_EQ(Run("/S /LOG=" + LogPath()), kSilentRefused);
    EXPECT_EQ(LogLines(LogPath()), (std::vector<std::string>{"Error: Can't install without a MAX program path!"}));

    registry.AddHost("6.0", hostDir);
    Script("[Root]\nDelete1=..\\x\n");
    EXPECT_EQ(Run("/S /LOG=" + LogPath()), kSilentRefused);
    EXPECT_EQ(LogLines(LogPath()),
              (std::vector<std::string>{"Error: [Root] Delete1=..\\x : Bad entry in SETUP.INI! Nothing was installed."}));

    EXPECT_EQ(Run("/S /X"), kSilentRefused);
    EXPECT_EQ(Run("/S /LOG="), kSilentRefused);
    EXPECT_EQ(Run("/S /LOG=" + temp / "no\\such\\folder.log"), kSilentRefused);
    DeleteFileA((packageDir + "\\SETUP.INI").c_str());
    EXPECT_EQ(Run("/S /LOG=" + LogPath()), kSilentRefused);
    EXPECT_EQ(LogLines(LogPath()).at(0), "Error: " + packageDir + "\\SETUP.INI : Can't open file!");
}

TEST_F(SilentTest, GivenDirectoryChoosesItsHost)
{
    const std::string host5 = MakeFakeHost(temp / "max5");
    registry.AddHost("5.0", host5 + "3dsmax.chm");
    const std::string other = MakeFakeHost(temp / "other dir");
    Source("p5.dlu");
    Source("p6.dlu");
    // Each version's section names its own file, so that the files tell which section ran.
    Script("[Product]\nMAXVer=5.0\n[Plugins5]\nFile1=p5.dlu\n[Plugins6]\nFile1=p6.dlu\n");

    // A discovered host's folder brings its version with it: Plugins5.
    EXPECT_EQ(Run("/S /D=" + temp / "MAX5"), kSilentInstalled);
    EXPECT_TRUE(FileExists(host5 + "plugins\\p5.dlu"));
    EXPECT_FALSE(FileExists(host5 + "plugins\\p6.dlu"));

    // Any other folder is bound as Browse binds it, with the version found at start (6.0): it
    // passes MAXVer and takes Plugins6.
    for (const char* maxVer : {"5.0", "6.0"}) {
        SCOPED_TRACE(maxVer);
        Script(std::string("[Product]\nMAXVer=") + maxVer + "\n[Plugins5]\nFile1=p5.dlu\n[Plugins6]\nFile1=p6.dlu\n");
        DeleteFileA((other + "plugins\\p6.dlu").c_str());
        EXPECT_EQ(Run("/S /LOG=" + LogPath() + " /D=" + other), kSilentInstalled);
        EXPECT_TRUE(FileExists(other + "plugins\\p6.dlu"));
        EXPECT_FALSE(FileExists(other + "plugins\\p5.dlu"));
        EXPECT_EQ(LogLines(LogPath()).back(), kFinished);
    }

    EXPECT_EQ(Run("/S /LOG=" + LogPath() + " /D=" + temp / "nothing here"), kSilentRefused);
    EXPECT_EQ(LogLines(LogPath()).at(0), "Error: " + temp / "nothing here\\3DSMAX.INI : Can't open file!");
}

TEST_F(SilentTest, ScriptIsReadFromTheWorkingFolderThenTheProgramsFolder)
{
    const std::string empty = temp / "empty";
    MakeDir(empty);
    Script("[Product]\n");
    EXPECT_EQ(FindScriptDirectory(packageDir, empty), packageDir);
    EXPECT_EQ(FindScriptDirectory(empty, packageDir), packageDir);
    EXPECT_EQ(FindScriptDirectory(empty + "\\", packageDir), packageDir);
    // Both hold one: the working folder's, as always.
    WriteText(empty + "\\SETUP.INI", "[Product]\n");
    EXPECT_EQ(FindScriptDirectory(empty, packageDir), empty);
    // Neither: the working folder, which the message then names.
    const std::string none = temp / "none";
    MakeDir(none);
    EXPECT_EQ(FindScriptDirectory(none, temp / "also none"), none);
}
