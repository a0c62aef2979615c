// setup.exe as a user meets it, in its own process: the Setup dialog driven through its window
// (pick a version, press Setup, answer a failing copy, Exit), then /S on the same host; and the
// package that the build assembles, installed into a host that can then load the filter.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace {

std::string BinDirectory()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string directory = path;
    return directory.substr(0, directory.find_last_of('\\'));
}

// A process of setup.exe with its standard output caught.
class Child {
public:
    Child(const std::string& program, const std::string& arguments, const std::string& directory)
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE write = nullptr;
        CreatePipe(&read_, &write, &inherit, 0);
        SetHandleInformation(read_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = write;
        startup.hStdError = write;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        std::string commandLine = "\"" + program + "\" " + arguments;
        started_ = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  directory.c_str(), &startup, &process_) != FALSE;
        CloseHandle(write);
    }
    ~Child()
    {
        if (started_ && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 99);
        if (started_) {
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        CloseHandle(read_);
    }
    bool Started() const { return started_; }
    DWORD Id() const { return process_.dwProcessId; }
    // Waits for the end and answers the exit code (or 259 when it did not end in time).
    DWORD Finish(DWORD timeoutMs = 20000)
    {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 99);
        else GetExitCodeProcess(process_.hProcess, &code);
        // The process is gone, so the pipe ends once its last lines are read.
        char chunk[512];
        DWORD got = 0;
        while (ReadFile(read_, chunk, sizeof chunk, &got, nullptr) && got > 0) output_.append(chunk, got);
        return code;
    }
    std::vector<std::string> OutputLines() const
    {
        std::vector<std::string> lines;
        std::istringstream text(output_);
        for (std::string line; std::getline(text, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
        }
        return lines;
    }

private:
    PROCESS_INFORMATION process_{};
    HANDLE read_ = nullptr;
    bool started_ = false;
    std::string output_;
};

struct WindowSearch {
    DWORD process;
    const char* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char caption[256] = "";
    GetWindowTextA(window, caption, sizeof caption);
    if (process == search->process && IsWindowVisible(window) && std::string(caption) == search->caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForWindow(DWORD process, const char* caption, HWND other = nullptr)
{
    for (int i = 0; i < 400; ++i) {
        WindowSearch search{process, caption, nullptr};
        EnumWindows(&MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found && search.found != other) return search.found;
        Sleep(50);
    }
    return nullptr;
}

template <typename Condition>
bool WaitUntil(Condition condition)
{
    for (int i = 0; i < 400; ++i) {
        if (condition()) return true;
        Sleep(50);
    }
    return false;
}

// Text of a window of another process, asked of the window itself.
std::string TextOf(HWND window)
{
    char text[1024] = "";
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::vector<std::string> ListLines(HWND list)
{
    std::vector<std::string> lines;
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        // Asked in wide text: the platform carries a list's wide text between processes whole.
        wchar_t line[1024] = L"";
        if (SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0) >= 1024) continue;
        SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(line));
        char narrow[2048] = "";
        WideCharToMultiByte(CP_ACP, 0, line, -1, narrow, sizeof narrow, nullptr, nullptr);
        lines.push_back(narrow);
    }
    return lines;
}

void CopyTree(const std::string& from, const std::string& to)
{
    MakeDir(to);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((from + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) CopyTree(from + "\\" + name, to + "\\" + name);
        else CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

using Lines = std::vector<std::string>;

FileTree Snapshot(const std::string& root) { return TreeOf(root); }

// The one package listed below an Uninstall key, and a value of it.
std::string ListedValue(HKEY root, const std::string& under, const char* name, std::string* subkey = nullptr)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, under.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
    char child[256] = "";
    DWORD size = sizeof child;
    std::string value;
    if (RegEnumKeyExA(key, 0, child, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        char text[1024] = "";
        DWORD length = sizeof text;
        if (RegGetValueA(key, child, name, RRF_RT_REG_SZ, nullptr, text, &length) == ERROR_SUCCESS) value = text;
        if (subkey) *subkey = child;
    }
    RegCloseKey(key);
    return value;
}

// Runs a command line as the list of programs does: the quoted program, then its switches.
DWORD RunCommandLine(const std::string& line, const std::string& directory)
{
    const size_t close = line.find('"', 1);
    Child run(line.substr(1, close - 1), line.substr(close + 2), directory);
    return run.Started() ? run.Finish() : 999;
}

const char kFinishedInPart[] =
    "Setup is finished, but not all of it was installed (see above). Restart MAX to load the new plug-ins.";

// Presses a message box's button once the box of that caption is up; answers the box's text.
std::string AnswerMessageBox(DWORD process, const char* caption, int button)
{
    HWND box = WaitForWindow(process, caption);
    if (!box) return "(no box)";
    std::string text;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[32] = "";
        GetClassNameA(child, name, sizeof name);
        if (std::string(name) == "Static") text += TextOf(child);
    }
    PostMessageA(box, WM_COMMAND, button, 0);
    return text;
}

}  // namespace

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host6 = MakeFakeHost(temp / "max6");
        host5 = MakeFakeHost(temp / "max5");
        registry.AddHost("6.0", host6);
        registry.AddHost("5.0", host5 + "3dsmax.chm");
        SetEnvironmentVariableA("KCF_SETUP_HOST_REGISTRY", registry.Base().c_str());
        SetEnvironmentVariableA("KCF_SETUP_RECORD_DIR", (temp / "records").c_str());
        packageDir = temp / "package";
        MakeDir(packageDir);
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("KCF_SETUP_HOST_REGISTRY", nullptr);
        SetEnvironmentVariableA("KCF_SETUP_RECORD_DIR", nullptr);
    }

    TempDir temp;
    RegistryTree registry;
    std::string host6;
    std::string host5;
    std::string packageDir;
};

TEST_F(EndToEndTest, DialogThenSilentOnTheSameHost)
{
    MakeDir(packageDir + "\\SETUP_FILES");
    WriteText(packageDir + "\\SETUP_FILES\\f.ttf", "font");
    WriteText(packageDir + "\\SETUP_FILES\\k.set", "presets");
    WriteText(packageDir + "\\SETUP_FILES\\p5.dlu", "five");
    WriteText(packageDir + "\\SETUP_FILES\\p6.dlu", "six");
    WriteText(packageDir + "\\SETUP.INI",
              "[Product]\nTitle=End To End\nMulti=True\nMAXVer=5.0\n[Fonts]\nFile1=missing.ttf\nFile2=f.ttf\n"
              "[PlugCFG]\nFile1=k.set\nKeep1=True\n[Plugins5]\nFile1=p5.dlu\n[Plugins6]\nFile1=p6.dlu\n");
    const std::string setup = BinDirectory() + "\\setup_seams.exe";  // the test build: a fake host

    Child dialogRun(setup, "", packageDir);
    ASSERT_TRUE(dialogRun.Started());
    HWND dialog = WaitForWindow(dialogRun.Id(), "End To End");
    ASSERT_NE(dialog, nullptr);
    HWND versions = GetDlgItem(dialog, 1008);
    HWND path = GetDlgItem(dialog, 1006);
    HWND setupButton = GetDlgItem(dialog, 1015);
    EXPECT_EQ(TextOf(path), host6);

    // Pick 5.0, the first of the sorted list.
    SendMessageA(versions, CB_SETCURSEL, 0, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1008, CBN_SELCHANGE), reinterpret_cast<LPARAM>(versions));
    EXPECT_EQ(TextOf(path), host5);

    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(1015, BN_CLICKED), reinterpret_cast<LPARAM>(setupButton));
    // The failing copy asks; Retry asks again, Abort ends the Fonts list.
    HWND question = WaitForWindow(dialogRun.Id(), "Confirm");
    ASSERT_NE(question, nullptr);
    bool textShown = false;
    for (HWND child = GetWindow(question, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        textShown = textShown || TextOf(child) == host5 + "fonts\\missing.ttf : Can't create file!";
    EXPECT_TRUE(textShown);
    EXPECT_NE(GetDlgItem(question, IDABORT), nullptr);
    EXPECT_NE(GetDlgItem(question, IDRETRY), nullptr);
    EXPECT_NE(GetDlgItem(question, IDIGNORE), nullptr);
    PostMessageA(question, WM_COMMAND, IDRETRY, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(question); }));
    HWND again = WaitForWindow(dialogRun.Id(), "Confirm");
    ASSERT_NE(again, nullptr);
    PostMessageA(again, WM_COMMAND, IDABORT, 0);

    ASSERT_TRUE(WaitUntil([&] { return !IsWindowEnabled(setupButton); }));
    const Lines shown = ListLines(GetDlgItem(dialog, 1012));
    EXPECT_EQ(shown, (Lines{"Copy missing.ttf", "-> " + host5 + "fonts\\", "Skipped missing.ttf (could not be copied)",
                            "Skipped f.ttf (not copied after Abort)", "Copy k.set", "-> " + host5 + "plugcfg\\",
                            "Copy p5.dlu", "-> " + host5 + "plugins\\", kFinishedInPart}));
    EXPECT_EQ(ReadText(host5 + "plugins\\p5.dlu"), "five");
    EXPECT_FALSE(FileExists(host5 + "fonts\\f.ttf"));
    EXPECT_FALSE(FileExists(host6 + "plugins\\p6.dlu"));

    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(dialogRun.Finish(), 0u);

    // The same install without a window: same steps, same lines, the question answered Abort.
    WriteText(host5 + "plugcfg\\k.set", "the user's own");
    const std::string logPath = temp / "setup.log";
    Child silentRun(setup, "/S /LOG=\"" + logPath + "\" /D=" + host5, packageDir);
    ASSERT_TRUE(silentRun.Started());
    EXPECT_EQ(silentRun.Finish(), 2u);
    const Lines expected{"Copy missing.ttf",
                         "-> " + host5 + "fonts\\",
                         "Confirm: " + host5 + "fonts\\missing.ttf : Can't create file! (Abort)",
                         "Skipped missing.ttf (could not be copied)",
                         "Skipped f.ttf (not copied after Abort)",
                         "Kept k.set (already there)",
                         "-> " + host5 + "plugcfg\\",
                         "Copy p5.dlu",
                         "-> " + host5 + "plugins\\",
                         kFinishedInPart};
    EXPECT_EQ(silentRun.OutputLines(), expected);
    std::istringstream logText(ReadText(logPath));
    Lines logged;
    for (std::string line; std::getline(logText, line);) logged.push_back(line.substr(0, line.find('\r')));
    EXPECT_EQ(logged, expected);
    EXPECT_EQ(ReadText(host5 + "plugcfg\\k.set"), "the user's own");
}

class PackageTest : public EndToEndTest {
protected:
    void SetUp() override
    {
        EndToEndTest::SetUp();
        CopyTree(BinDirectory() + "\\..\\dist", packageDir);
        // The test build of setup.exe, which the fake host's registry tree can be named to.
        CopyFileA((BinDirectory() + "\\setup_seams.exe").c_str(), (packageDir + "\\setup.exe").c_str(), FALSE);
    }
    // Run in the package's folder, or, with from, in another: the script is found beside setup.exe.
    DWORD InstallSilently(const std::string& from = {})
    {
        Child run(packageDir + "\\setup.exe", "/S", from.empty() ? packageDir : from);
        return run.Started() ? run.Finish() : 999;
    }
};

TEST_F(PackageTest, InstallsAFilterTheHostCanLoad)
{
    ASSERT_TRUE(FileExists(packageDir + "\\setup.exe"));
    ASSERT_TRUE(FileExists(packageDir + "\\SETUP_FILES\\ZAV_KCF.flt"));
    EXPECT_EQ(IniValue(packageDir + "\\SETUP.INI", "Product", "MAXVer"), "6.0");
    EXPECT_EQ(IniValue(packageDir + "\\SETUP.INI", "Product", "Multi"), "True");
    EXPECT_NE(IniValue(packageDir + "\\SETUP.INI", "Product", "Title"), "");
    EXPECT_EQ(InstallSilently(temp.Path()), 0u);

    const std::string installed = host6 + "plugins\\ZAV_KCF.flt";
    ASSERT_TRUE(FileExists(installed));
    HMODULE module = LoadLibraryA(installed.c_str());
    ASSERT_NE(module, nullptr);
    using Description = const char* (*)();
    using Count = int (*)();
    auto description = reinterpret_cast<Description>(reinterpret_cast<void*>(GetProcAddress(module, "LibDescription")));
    auto count = reinterpret_cast<Count>(reinterpret_cast<void*>(GetProcAddress(module, "LibNumberClasses")));
    ASSERT_NE(description, nullptr);
    ASSERT_NE(count, nullptr);
    EXPECT_GT(std::string(description()).size(), 0u);
    EXPECT_EQ(count(), 1);
    FreeLibrary(module);

    // A 5.0 host is refused: the module is built for release 6.
    SetEnvironmentVariableA("KCF_SETUP_HOST_REGISTRY", nullptr);
    Child refused(packageDir + "\\setup.exe", "/S /D=" + host5, packageDir);
    EXPECT_EQ(refused.Finish(), 1u);
    EXPECT_FALSE(FileExists(host5 + "plugins\\ZAV_KCF.flt"));
}

TEST_F(PackageTest, UpgradeKeepsTheUsersPresets)
{
    const std::string starter = packageDir + "\\SETUP_FILES\\ZAV_KCF.SET";
    ASSERT_TRUE(FileExists(starter)) << "the package must hold the starter presets";
    EXPECT_EQ(InstallSilently(), 0u);
    const std::string presets = host6 + "plugcfg\\ZAV_KCF.SET";
    EXPECT_EQ(ReadText(presets), ReadText(starter));

    WriteText(presets, "the user's own kernels");
    WriteText(host6 + "plugins\\ZAV_KCF.flt", "an older module");
    EXPECT_EQ(InstallSilently(), 0u);
    EXPECT_EQ(ReadText(presets), "the user's own kernels");
    EXPECT_EQ(ReadText(host6 + "plugins\\ZAV_KCF.flt"), ReadText(packageDir + "\\SETUP_FILES\\ZAV_KCF.flt"));
}

TEST_F(PackageTest, QuestionMarkShowsTheSwitches)
{
    Child help(packageDir + "\\setup.exe", "/?", temp.Path());
    ASSERT_TRUE(help.Started());
    const std::string shown = AnswerMessageBox(help.Id(), "Plug-In Installer", IDOK);
    EXPECT_NE(shown.find("/S"), std::string::npos) << shown;
    EXPECT_NE(shown.find("/LOG=FILE"), std::string::npos) << shown;
    EXPECT_EQ(help.Finish(), 0u);
    const Lines output = help.OutputLines();
    ASSERT_FALSE(output.empty());
    EXPECT_EQ(output[0], "setup.exe [/S] [/U] [/LOG=FILE] [/D=PROGRAMDIR]");
    EXPECT_FALSE(FileExists(host6 + "plugins\\ZAV_KCF.flt"));  // nothing installed

    // An unknown switch is still refused, with exit code 1.
    Child unknown(packageDir + "\\setup.exe", "/S /? /X", packageDir);
    EXPECT_EQ(unknown.Finish(), 1u);
    EXPECT_EQ(unknown.OutputLines(), (Lines{"Error: Unknown switch: /X"}));
}

// The shipped package installed, then uninstalled as the list of programs does it, by the copy kept
// beside the record: the host's folder and both INI files are byte for byte as before.
TEST_F(PackageTest, UninstallFromTheListOfProgramsLeavesTheHostAsItWas)
{
    const auto before = Snapshot(temp / "max6");
    EXPECT_EQ(InstallSilently(), 0u);
    ASSERT_TRUE(FileExists(host6 + "plugins\\ZAV_KCF.flt"));
    const std::string uninstallKey = registry.Base() + "\\uninstall";
    const std::string quiet = ListedValue(HKEY_CURRENT_USER, uninstallKey, "QuietUninstallString");
    ASSERT_EQ(quiet.rfind("\"" + temp / "records\\", 0), 0u) << quiet;
    EXPECT_NE(ListedValue(HKEY_CURRENT_USER, uninstallKey, "DisplayName").find(temp / "max6"), std::string::npos);

    EXPECT_EQ(RunCommandLine(quiet, temp.Path()), 0u);
    EXPECT_EQ(Snapshot(temp / "max6"), before);
    EXPECT_EQ(ListedValue(HKEY_CURRENT_USER, uninstallKey, "QuietUninstallString"), "");
    // Only the running copy of setup.exe may be left, to go when the system next starts.
    for (const auto& entry : Snapshot(temp / "records")) {
        if (!IsFolderEntry(entry.second)) {
            EXPECT_EQ(entry.first.substr(entry.first.size() - 10), "\\setup.exe");
        }
    }
}

// setup.exe as Windows XP and Windows 2000 run it: copies whose names Wine gives those versions
// (setup/tests/CMakeLists.txt), which install the package and uninstall it again.
TEST_F(PackageTest, InstallsAndUninstallsUnderTheOldWindowsVersions)
{
    const auto before = Snapshot(temp / "max6");
    for (const char* version : {"winxp", "win2k"}) {
        const std::string setup = packageDir + "\\setup_" + version + ".exe";
        ASSERT_TRUE(CopyFileA((packageDir + "\\setup.exe").c_str(), setup.c_str(), FALSE)) << version;
        Child install(setup, "/S", packageDir);
        EXPECT_EQ(install.Finish(), 0u) << version;
        EXPECT_EQ(ReadText(host6 + "plugins\\ZAV_KCF.flt"), ReadText(packageDir + "\\SETUP_FILES\\ZAV_KCF.flt")) << version;
        Child uninstall(setup, "/S /U /D=" + host6, packageDir);
        EXPECT_EQ(uninstall.Finish(), 0u) << version;
        EXPECT_EQ(Snapshot(temp / "max6"), before) << version;
    }
}

// Without the test's registry tree the package goes into the system's own Uninstall key, which
// Wine's list of programs reads; the dialog's /U asks first and lists what it undoes.
TEST_F(EndToEndTest, ListedForWinesUninstallerAndRemovedByTheDialog)
{
    SetEnvironmentVariableA("KCF_SETUP_HOST_REGISTRY", nullptr);
    MakeDir(packageDir + "\\SETUP_FILES");
    WriteText(packageDir + "\\SETUP_FILES\\p.dlo", "plug-in");
    const std::string title = "Kernelcraft Listing Test " + std::to_string(GetCurrentProcessId());
    WriteText(packageDir + "\\SETUP.INI", "[Product]\nTitle=" + title + "\n[Root]\nFile1=p.dlo\n");
    const std::string setup = BinDirectory() + "\\setup.exe";
    const auto before = Snapshot(temp / "max6");
    Child install(setup, "/S /D=" + host6, packageDir);
    ASSERT_EQ(install.Finish(), 0u);

    const auto listed = [&] {
        Child list("C:\\windows\\system32\\uninstaller.exe", "--list", temp.Path());
        list.Finish();
        // Its lines may come as UTF-16: the title is looked for with the zero bytes taken out.
        for (std::string line : list.OutputLines()) {
            std::erase(line, '\0');
            if (line.find(title) != std::string::npos) return true;
        }
        return false;
    };
    EXPECT_TRUE(listed());

    Child dialogRun(setup, "/U /D=" + host6, packageDir);
    ASSERT_TRUE(dialogRun.Started());
    const std::string question = AnswerMessageBox(dialogRun.Id(), "Uninstall", IDYES);
    EXPECT_EQ(question, "Remove " + title + " (" + temp / "max6" + ") from this MAX installation?");
    HWND dialog = WaitForWindow(dialogRun.Id(), title.c_str());
    ASSERT_NE(dialog, nullptr);
    WaitUntil([&] {
        const Lines shown = ListLines(GetDlgItem(dialog, 1012));
        return !shown.empty() && shown.back() == "Uninstall is finished.";
    });
    EXPECT_EQ(ListLines(GetDlgItem(dialog, 1012)),
              (Lines{"Remove p.dlo", "-> " + host6, "Uninstall is finished."}));
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(dialogRun.Finish(), 0u);
    EXPECT_EQ(Snapshot(temp / "max6"), before);
    EXPECT_FALSE(listed());
}
