// Host discovery against the test's own registry tree: which hosts are found, the version list
// and its selection, Browse, and bindings that survive failed choices whole.
#include "InstallFixture.h"
#include "SetupDialog.h"
#include "resource.h"

#include <commdlg.h>

// The Setup dialog, created hidden, whose drop-down and program path show what was found.
class DiscoveryTest : public InstallFixture {
protected:
    void SetUp() override
    {
        InstallFixture::SetUp();
        Script("[Product]\nMulti=True\n");
    }

    std::string EditText() const
    {
        char text[512] = "";
        GetDlgItemTextA(dialog->Handle(), IDC_PROGRAM_PATH, text, sizeof text);
        return text;
    }
    std::string SelectedText() const
    {
        const int item = dialog->Versions().Selection();
        if (item < 0) return "(none)";
        char text[64] = "";
        SendMessageA(dropDown, CB_GETLBTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(text));
        return text;
    }
    void Command(int id, int code)
    {
        SendMessageA(dialog->Handle(), WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(dialog->Item(id)));
    }
    void Choose(const char* version)
    {
        SendMessageA(dropDown, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(version));
        Command(IDC_VERSIONS, CBN_SELCHANGE);
    }
    void Browse() { Command(IDC_BROWSE, BN_CLICKED); }
    // Opens the dialog, which loads the script and fills its controls.
    void Open()
    {
        dialog = std::make_unique<SetupDialog>(nullptr, Environment(), packageDir);
        ASSERT_TRUE(dialog->Create());
        dropDown = dialog->Versions().Handle();
        bound = &dialog->Script();
    }

    std::unique_ptr<SetupDialog> dialog;
    HWND dropDown = nullptr;
    InstallScript* bound = nullptr;
};

TEST_F(DiscoveryTest, OnlyTheSixIsListedAndSelected)
{
    Open();
    ASSERT_EQ(bound->Versions().Count(), 1);
    EXPECT_EQ(SelectedText(), "6.0");
    EXPECT_EQ(EditText(), hostDir);
    EXPECT_EQ(bound->CurrentVersion(), "6.0");
    EXPECT_EQ(bound->MaxIni().Path(), hostDir + "3DSMAX.INI");
    EXPECT_EQ(bound->PluginIni().Path(), hostDir + "PLUGIN.INI");
    EXPECT_EQ(bound->HostRoot() + "\\", hostDir);
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(DiscoveryTest, FiveAndSixWithMultiAndChoosingFive)
{
    const std::string host5 = MakeFakeHost(temp / "max5");
    registry.AddHost("5.0", host5 + "3dsmax.chm");
    Open();
    ASSERT_EQ(SendMessageA(dropDown, CB_GETCOUNT, 0, 0), 2);
    char first[16] = "";
    SendMessageA(dropDown, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(first));
    EXPECT_STREQ(first, "5.0");
    EXPECT_EQ(SelectedText(), "6.0");  // its directory is the program path
    EXPECT_TRUE(IsWindowEnabled(dropDown));

    Choose("5.0");
    EXPECT_EQ(EditText(), host5);
    EXPECT_EQ(bound->CurrentVersion(), "5.0");
    EXPECT_EQ(bound->MaxIni().Path(), host5 + "3DSMAX.INI");
    EXPECT_EQ(bound->PluginIni().Path(), host5 + "PLUGIN.INI");
}

TEST_F(DiscoveryTest, WithoutMultiTheListIsDisabledButShowsTheSelection)
{
    registry.AddHost("5.0", MakeFakeHost(temp / "max5") + "3dsmax.chm");
    Script("[Product]\nTitle=x\n");
    Open();
    EXPECT_FALSE(IsWindowEnabled(dropDown));
    EXPECT_EQ(SelectedText(), "6.0");
}

TEST_F(DiscoveryTest, InstalldirWithoutTrailingBackslashNamesItsParent)
{
    // "…\max6" names the folder that holds max6; the configuration files are looked for there.
    const std::string parentHost = MakeFakeHost(temp / "hosts");
    registry.AddHost("6.0", parentHost + "max6");
    Open();
    EXPECT_EQ(EditText(), parentHost);
    EXPECT_EQ(bound->MaxIni().Path(), parentHost + "3DSMAX.INI");
}

TEST_F(DiscoveryTest, NoPreferredHostMeansNoScanAndNoPath)
{
    registry.AddHost("6.0", "");
    registry.AddHost("5.0", MakeFakeHost(temp / "max5") + "3dsmax.chm");
    Open();
    EXPECT_EQ(bound->Versions().Count(), 0);
    EXPECT_EQ(EditText(), "");
    EXPECT_EQ(SelectedText(), "(none)");
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(DiscoveryTest, CandidatesWithoutConfigurationFilesAreLeftOutWithAMessage)
{
    const std::string broken = MakeFakeHost(temp / "max4", {.pluginIni = false});
    registry.AddHost("4.0", broken + "3dsmax.chm");
    registry.AddHost("3.0", temp / "nowhere\\3dsmax.chm");
    Open();
    ASSERT_EQ(bound->Versions().Count(), 1);
    EXPECT_EQ(bound->Versions().At(0)->version, "6.0");
    ASSERT_EQ(desktop.shown.size(), 2u);
    EXPECT_EQ(desktop.shown[0].text, temp / "nowhere\\3DSMAX.INI : Can't open file!");
    EXPECT_EQ(desktop.shown[1].text, broken + "PLUGIN.INI : Can't open file!");
    EXPECT_EQ(desktop.shown[1].caption, "Error");
}

TEST_F(DiscoveryTest, RegistryValuesLongerThanTheBufferCountAsAbsent)
{
    // A long value is never read cut short, which here would name a real host folder.
    const std::string host5 = MakeFakeHost(temp / "max5");
    std::string longValue = host5 + std::string(300 - host5.size(), 'x');
    registry.AddHost("5.0", longValue);
    registry.AddHost("4.0", host5 + std::string(255 - host5.size(), 'y'));  // exactly 255: read
    Open();
    ASSERT_EQ(bound->Versions().Count(), 2);
    EXPECT_EQ(bound->Versions().At(0)->version, "4.0");
    EXPECT_EQ(bound->Versions().At(1)->version, "6.0");
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(DiscoveryTest, BrowseBindsTheChosenFolderAndKeepsTheVersion)
{
    const std::string other = MakeFakeHost(temp / "other");
    Open();
    desktop.filesToChoose = {other + "3dsmax.ini"};
    Browse();
    EXPECT_STREQ(desktop.lastRequest.defaultExtension, "ini");
    EXPECT_STREQ(desktop.lastRequest.initialName, "3dsmax.ini");
    EXPECT_STREQ(desktop.lastRequest.filter, "Ini Files (*.ini)|*.ini|All Files (*.*)|*.*||");
    EXPECT_EQ(desktop.lastRequest.flags, static_cast<DWORD>(OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT));
    EXPECT_EQ(EditText(), other);
    EXPECT_EQ(bound->ProgramPath(), other);
    EXPECT_EQ(bound->PluginIni().Path(), other + "PLUGIN.INI");
    EXPECT_EQ(bound->CurrentVersion(), "6.0");

    Browse();  // cancelled
    EXPECT_EQ(EditText(), other);
}

TEST_F(DiscoveryTest, FailedBrowseKeepsTheWholeBinding)
{
    const std::string halfHost = MakeFakeHost(temp / "half", {.pluginIni = false});
    Open();
    desktop.filesToChoose = {halfHost + "3dsmax.ini"};
    Browse();
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].text, halfHost + "PLUGIN.INI : Can't open file!");
    EXPECT_EQ(EditText(), hostDir);
    EXPECT_EQ(bound->ProgramPath(), hostDir);
    EXPECT_EQ(bound->MaxIni().Path(), hostDir + "3DSMAX.INI");
    EXPECT_EQ(bound->PluginIni().Path(), hostDir + "PLUGIN.INI");
}

TEST_F(DiscoveryTest, FailedSelectionKeepsBindingVersionAndShownEntry)
{
    const std::string host5 = MakeFakeHost(temp / "max5");
    registry.AddHost("5.0", host5 + "3dsmax.chm");
    Open();
    DeleteFileA((host5 + "PLUGIN.INI").c_str());  // gone since the scan
    Choose("5.0");
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(SelectedText(), "6.0");
    EXPECT_EQ(EditText(), hostDir);
    EXPECT_EQ(bound->CurrentVersion(), "6.0");
    EXPECT_EQ(bound->MaxIni().Path(), hostDir + "3DSMAX.INI");
}

TEST_F(DiscoveryTest, AfterAnInstallSelectionChangesDoNothing)
{
    registry.AddHost("5.0", MakeFakeHost(temp / "max5") + "3dsmax.chm");
    Open();
    Command(IDC_SETUP, BN_CLICKED);
    ASSERT_EQ(dialog->Progress().Line(dialog->Progress().Count() - 1), kFinished);
    Choose("5.0");
    EXPECT_EQ(EditText(), hostDir);
    EXPECT_EQ(bound->CurrentVersion(), "6.0");
}
