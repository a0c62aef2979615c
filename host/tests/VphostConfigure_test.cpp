// vphost configure and about, end to end under Wine: the user works the filter's control dialog in
// the vphost process (typing a kernel, previewing, saving, picking a preset, choosing a source),
// presses OK, and renders with the block that results; Cancel leaves the block alone.
#include "ConvolveEngine.h"
#include "HostCore.h"
#include "ImageIO.h"
#include "KernelRecord.h"
#include "PresetLibrary.h"

#include <windows.h>

#include "ModuleTestMain.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string moduleName;
const std::string dir = "vphost_configure_files";

std::string Path(const std::string& name) { return dir + "\\" + name; }

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A vphost run in its own process, with its windows reached from here as another program would.
class VphostProcess {
public:
    explicit VphostProcess(const std::string& args)
    {
        std::string command = "vphost.exe " + args;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                  &info_) != 0;
    }
    ~VphostProcess()
    {
        if (!started_) return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 99);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    bool Started() const { return started_; }

    // The process's dialog of this caption, once it shows; null after 30 seconds.
    HWND WaitForDialog(const char* caption) const
    {
        for (int i = 0; i < 600; ++i) {
            HWND found = nullptr;
            while ((found = FindWindowExA(nullptr, found, "#32770", caption)) != nullptr) {
                DWORD pid = 0;
                GetWindowThreadProcessId(found, &pid);
                if (pid == info_.dwProcessId && IsWindowVisible(found)) return found;
            }
            if (WaitForSingleObject(info_.hProcess, 50) != WAIT_TIMEOUT) return nullptr;
        }
        return nullptr;
    }
    // The exit code, or -1 when it does not end within 30 seconds.
    int Wait() const
    {
        if (WaitForSingleObject(info_.hProcess, 30000) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        return static_cast<int>(code);
    }

private:
    bool started_ = false;
    PROCESS_INFORMATION info_ = {};
};

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
void SetText(HWND dialog, int id, const char* text)
{
    SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

class VphostConfigure : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::filesystem::copy_file("testdata\\ZAV_KCF.SET", library);
    }
    const std::string library = Path("ZAV_KCF.SET");
    const std::string block = Path("filter.blk");
};

}  // namespace

TEST_F(VphostConfigure, TheUsersRoadFromTheDialogToARenderedFrame)
{
    VphostProcess vphost("configure --filter " + moduleName + " --config " + block + " --plugcfg " + dir);
    ASSERT_TRUE(vphost.Started());
    HWND d = vphost.WaitForDialog("Kernelcraft Filter Control");
    ASSERT_NE(d, nullptr) << "the control dialog did not open";

    // Type a kernel, preview it, and save it under a name of its own.
    SetText(d, 1016 + 9 * 3 + 4, "-1");
    SetText(d, 1016 + 9 * 4 + 4, "2");
    Click(d, 3);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, 3)));
    SetText(d, 1103, "Vertical edge");
    Click(d, 4);

    // Pick a preset from the list, as a click on it does.
    std::vector<std::string> names;
    ASSERT_TRUE(ListPresetNames(library.c_str(), names));
    const auto at = std::find(names.begin(), names.end(), "Sharpen");
    ASSERT_NE(at, names.end());
    HWND list = GetDlgItem(d, 1101);
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), static_cast<LRESULT>(names.size())) << "Save refilled the list";
    SendMessageA(list, LB_SETCURSEL, at - names.begin(), 0);
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(1101, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));

    // Choose the object channel, id 2000 (the panel of the sample), and press OK.
    Click(d, 1011);
    SetText(d, 1013, "2000");
    PostMessageA(GetDlgItem(d, IDOK), BM_CLICK, 0, 0);
    ASSERT_EQ(vphost.Wait(), 0);

    KernelRecord saved = DefaultKernelRecord();
    ASSERT_EQ(FindPreset(library.c_str(), "Vertical edge", &saved), 1);
    EXPECT_EQ(saved.weights[3 * 9 + 4], -1);
    EXPECT_EQ(saved.weights[4 * 9 + 4], 2);

    const std::string bytes = ReadBytes(block);
    ASSERT_EQ(bytes.size(), sizeof(FilterSettings));
    FilterSettings s;
    std::memcpy(&s, bytes.data(), sizeof s);
    KernelRecord sharpen = DefaultKernelRecord();
    ASSERT_EQ(FindPreset(library.c_str(), "Sharpen", &sharpen), 1);
    EXPECT_EQ(std::memcmp(&s.kernel, &sharpen, sizeof sharpen), 0);
    EXPECT_STREQ(s.presetName, "Sharpen");
    EXPECT_EQ(s.sourceMode, 1011);
    EXPECT_EQ(s.objectId, 2000);
    EXPECT_EQ(s.tag, kSettingsTag);

    // Render the sample with that block: the reference engine on the object channel's id 2000.
    const std::string out = Path("out.pam");
    const std::string command = "vphost.exe render --filter " + moduleName + " --config " + block +
                                " --in testdata\\sample.pam --obj-ids testdata\\sample-obj.pam --out " + out +
                                " --plugcfg " + dir + " >NUL 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    Image in, rendered;
    IdImage ids;
    std::string error;
    ASSERT_TRUE(ReadImage("testdata\\sample.pam", in, error)) << error;
    ASSERT_TRUE(ReadIdImage("testdata\\sample-obj.pam", 16, ids, error)) << error;
    ASSERT_TRUE(ReadImage(out, rendered, error)) << error;
    Image expected = in;
    int32_t sub[kGridCells];
    ExtractSubKernel(s.kernel.weights, s.kernel.size, sub);
    const ConvolveFrame frame = {in.pixels.data(), expected.pixels.data(), in.width, in.height, nullptr,
                                 ids.values.data(), GB_CHAN_OBJECT};
    const ConvolveKernel kernel = {sub, s.kernel.size, s.kernel.divisor, s.kernel.offset, s.kernel.invert, s.objectId};
    for (int y = 0; y < in.height; ++y) ConvolveRowReference(frame, kernel, y);
    ASSERT_EQ(rendered.pixels.size(), expected.pixels.size());
    int different = 0, changed = 0;
    for (size_t i = 0; i < expected.pixels.size(); ++i) {
        const BMM_Color_64 p = rendered.pixels[i], q = expected.pixels[i], o = in.pixels[i];
        different += p.r != q.r || p.g != q.g || p.b != q.b || p.a != q.a;
        changed += p.r != o.r || p.g != o.g || p.b != o.b;
    }
    EXPECT_EQ(different, 0);
    EXPECT_GT(changed, 0) << "the panel was sharpened";
}

TEST_F(VphostConfigure, CancelLeavesTheBlockAlone)
{
    FilterSettings s = DefaultFilterSettings();
    s.kernel.weights[40] = 3;
    std::strcpy(s.presetName, "before");
    {
        std::ofstream out(block, std::ios::binary);
        out.write(reinterpret_cast<const char*>(&s), sizeof s);
    }
    const std::string before = ReadBytes(block);
    VphostProcess vphost("configure --filter " + moduleName + " --config " + block + " --plugcfg " + dir);
    HWND d = vphost.WaitForDialog("Kernelcraft Filter Control");
    ASSERT_NE(d, nullptr);
    char text[32] = "";
    SendMessageA(GetDlgItem(d, 1016 + 40), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "3") << "the block was loaded before the dialog opened";
    SetText(d, 1016 + 40, "9");
    PostMessageA(GetDlgItem(d, IDCANCEL), BM_CLICK, 0, 0);
    EXPECT_EQ(vphost.Wait(), 0);
    EXPECT_EQ(ReadBytes(block), before);
}

TEST_F(VphostConfigure, AboutOpensTheAboutBox)
{
    VphostProcess vphost("about --filter " + moduleName);
    HWND d = vphost.WaitForDialog("About Kernelcraft Filter");
    ASSERT_NE(d, nullptr);
    PostMessageA(GetDlgItem(d, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(vphost.Wait(), 0);
}

TEST_F(VphostConfigure, RefusesADamagedBlockWithoutOpeningTheDialog)
{
    {
        std::ofstream out(block, std::ios::binary);
        out << "not a block";
    }
    VphostProcess vphost("configure --filter " + moduleName + " --config " + block + " --plugcfg " + dir);
    EXPECT_EQ(vphost.Wait(), 1);
    EXPECT_EQ(ReadBytes(block), "not a block");
}

TEST(FilterModule, TakesItsControlClassesBackWhenUnloaded)
{
    // A class left registered after unloading would point into freed code when the module is
    // loaded again elsewhere.
    for (int round = 0; round < 2; ++round) {
        HMODULE handle = nullptr;
        {
            FilterModule module;
            std::string error;
            ASSERT_TRUE(LoadFilterModule(moduleName, module, error)) << error;
            handle = GetModuleHandleA(moduleName.c_str());
            ASSERT_NE(handle, nullptr);
            WNDCLASSEXA info{};
            info.cbSize = sizeof info;
            EXPECT_TRUE(GetClassInfoExA(handle, "CustEdit", &info)) << round;
            EXPECT_TRUE(GetClassInfoExA(handle, "SpinnerControl", &info)) << round;
        }
        EXPECT_EQ(GetModuleHandleA(moduleName.c_str()), nullptr) << "unloaded";
        WNDCLASSEXA info{};
        info.cbSize = sizeof info;
        EXPECT_FALSE(GetClassInfoExA(handle, "CustEdit", &info)) << round;
        EXPECT_FALSE(GetClassInfoExA(handle, "SpinnerControl", &info)) << round;
    }
}

int main(int argc, char** argv) { return RunTestsWithModule(argc, argv, moduleName); }
