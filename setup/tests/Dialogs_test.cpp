// The Setup dialog, the About box and the link control, created hidden in process from the real
// resources and driven by messages; and the resources themselves in their three languages.
#include "AboutDialog.h"
#include "InstallFixture.h"
#include "SetupDialog.h"
#include "resource.h"

#include <algorithm>
#include <set>

namespace {

std::string ItemText(HWND dialog, int id)
{
    char text[512] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::string WindowText(HWND window)
{
    char text[512] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

}  // namespace

class SetupDialogTest : public InstallFixture {
protected:
    void Open(const std::string& scriptText)
    {
        Script(scriptText);
        dialog = std::make_unique<SetupDialog>(nullptr, Environment(), packageDir);
        ASSERT_TRUE(dialog->Create());
        hwnd = dialog->Handle();
    }
    void Command(int id, int code)
    {
        SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(GetDlgItem(hwnd, id)));
    }
    std::vector<std::string> ProgressLines() const
    {
        std::vector<std::string> lines;
        for (int i = 0; i < dialog->Progress().Count(); ++i) lines.push_back(dialog->Progress().Line(i));
        return lines;
    }
    std::unique_ptr<SetupDialog> dialog;
    HWND hwnd = nullptr;
};

TEST_F(SetupDialogTest, OpensWithCaptionHostsPathMenuAndIcon)
{
    registry.AddHost("5.0", MakeFakeHost(temp / "max5") + "3dsmax.chm");
    Open("[Product]\nTitle=Kernel Package\nMulti=True\n");
    EXPECT_EQ(WindowText(hwnd), "Kernel Package");
    EXPECT_EQ(dialog->Versions().Count(), 2);
    EXPECT_EQ(ItemText(hwnd, IDC_VERSIONS), "6.0");
    EXPECT_EQ(ItemText(hwnd, IDC_PROGRAM_PATH), hostDir);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(hwnd, IDC_VERSIONS)));

    HMENU systemMenu = GetSystemMenu(hwnd, FALSE);
    char about[128] = "";
    ASSERT_GT(GetMenuStringA(systemMenu, IDM_ABOUT, about, sizeof about, MF_BYCOMMAND), 0);
    EXPECT_STREQ(about, "&About Plug-In Installer...");
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(hwnd, WM_GETICON, ICON_BIG, 0)), dialog->Icon());
    EXPECT_NE(dialog->Icon(), nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageA(hwnd, WM_QUERYDRAGICON, 0, 0)), dialog->Icon());
    EXPECT_EQ(dialog->Logo().URL(), kMakerWebAddress);
}

TEST_F(SetupDialogTest, CaptionFallsBackToTheProgramName)
{
    Open("[Product]\nMAXVer=6.0\n");
    EXPECT_EQ(WindowText(hwnd), "Plug-In Installer");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hwnd, IDC_VERSIONS)));
    EXPECT_EQ(ItemText(hwnd, IDC_VERSIONS), "6.0");
}

TEST_F(SetupDialogTest, SetupListsProgressAnswersPromptsAndDisablesItself)
{
    Source("b.txt");
    Open("[Fonts]\nFile1=missing.ttf\nFile2=b.txt\n[Scripts]\nFile1=b.txt\n");
    SendMessageA(dialog->Progress().Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("stale line"));
    desktop.answers = {IDRETRY, IDABORT};
    Command(IDC_SETUP, BN_CLICKED);
    ASSERT_EQ(desktop.shown.size(), 2u);
    EXPECT_EQ(desktop.shown[1].text, Host("fonts\\missing.ttf") + " : Can't create file!");
    EXPECT_EQ(desktop.shown[1].caption, "Confirm");
    EXPECT_EQ(ProgressLines(), (std::vector<std::string>{"Copy missing.ttf", "-> " + Host("fonts\\"),
                                                         "Skipped missing.ttf (could not be copied)",
                                                         "Skipped b.txt (not copied after Abort)", "Copy b.txt",
                                                         "-> " + Host("scripts\\"), kFinishedInPart}));
    // The list follows the install: its last line, the closing one, is in view.
    HWND list = dialog->Progress().Handle();
    RECT item = {}, client = {};
    SendMessageA(list, LB_GETITEMRECT, dialog->Progress().Count() - 1, reinterpret_cast<LPARAM>(&item));
    GetClientRect(list, &client);
    EXPECT_TRUE(item.top >= 0 && item.bottom <= client.bottom) << item.top << ".." << item.bottom;
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hwnd, IDC_SETUP)));
    // The keyboard still reaches the dialog: the focus is on Exit, which Enter now presses.
    EXPECT_EQ(GetFocus(), GetDlgItem(hwnd, IDCANCEL));
    EXPECT_EQ(LOWORD(SendMessageA(hwnd, DM_GETDEFID, 0, 0)), IDCANCEL);
    EXPECT_TRUE(FileExists(Host("scripts\\b.txt")));
}

// A line wider than the list is not cut off: the list scrolls sideways as far as its widest line.
TEST_F(SetupDialogTest, LinesWiderThanTheListScrollIntoView)
{
    Open("[Fonts]\nFile1=missing.ttf\n");
    desktop.answers = {IDABORT};
    Command(IDC_SETUP, BN_CLICKED);
    HWND list = dialog->Progress().Handle();
    EXPECT_TRUE(GetWindowLongA(list, GWL_STYLE) & WS_HSCROLL);
    HDC dc = GetDC(list);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    for (const std::string& line : ProgressLines()) {
        SIZE size{};
        GetTextExtentPoint32A(dc, line.c_str(), static_cast<int>(line.size()), &size);
        widest = std::max(widest, size.cx);
    }
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    RECT client{};
    GetClientRect(list, &client);
    ASSERT_GT(widest, client.right);  // the closing line is wider than the list
    EXPECT_GE(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0), widest);
}

// Uninstall names the package, not its installer; when nothing of it is there it says so at once.
struct UninstallRow {
    const char* name;
    const char* product;  // the [Product] keys
    bool installed;
    const char* shown;     // the package's name in the question; null: the "nothing there" message
};

class UninstallDialogTest : public SetupDialogTest, public ::testing::WithParamInterface<UninstallRow> {};

TEST_P(UninstallDialogTest, AsksByThePackagesNameOrSaysNothingIsThere)
{
    const UninstallRow& row = GetParam();
    Source("p.dlo");
    Script(std::string("[Product]\n") + row.product + "[Root]\nFile1=p.dlo\n");
    if (row.installed) {
        Load();
        ASSERT_EQ(Install(), 1);
    }
    desktop.answers = {IDNO};
    dialog = std::make_unique<SetupDialog>(nullptr, Environment(), packageDir, true);
    ASSERT_TRUE(dialog->Create());
    hwnd = dialog->Handle();
    const std::string root = dialog->Script().HostRoot();
    const std::string listedAs = dialog->Script().RecordFolder();
    SendMessageA(hwnd, SetupDialog::kStartUninstall, 0, 0);
    ASSERT_EQ(desktop.shown.size(), 1u);
    if (row.shown) {
        EXPECT_EQ(desktop.shown[0].text, std::string("Remove ") + row.shown + " (" + root + ") from this MAX installation?");
        EXPECT_EQ(desktop.shown[0].caption, "Uninstall");
        // The list of programs names it alike.
        char value[512] = "";
        DWORD size = sizeof value;
        RegGetValueA(registry.Uninstall(), listedAs.substr(listedAs.find_last_of('\\') + 1).c_str(), "DisplayName",
                     RRF_RT_REG_SZ, nullptr, value, &size);
        EXPECT_EQ(value, std::string(row.shown) + " (" + root + ")");
    } else {
        EXPECT_EQ(desktop.shown[0].text, root + " : Nothing of this package is installed there!");
        EXPECT_EQ(desktop.shown[0].caption, "Error");
    }
    EXPECT_TRUE(FileExists(Host("p.dlo")) == row.installed);
}

INSTANTIATE_TEST_SUITE_P(
    SetupDialog, UninstallDialogTest,
    ::testing::Values(UninstallRow{"ProductKeyNamesIt", "Title=Kernel Package Setup\nProduct=Kernel Package\n", true,
                                   "Kernel Package"},
                      UninstallRow{"TitleWithoutProduct", "Title=Kernel Package\n", true, "Kernel Package"},
                      UninstallRow{"NothingInstalled", "Title=Kernel Package Setup\nProduct=Kernel Package\n", false,
                                   nullptr}),
    [](const ::testing::TestParamInfo<UninstallRow>& row) { return std::string(row.param.name); });

TEST_F(SetupDialogTest, RefusedInstallAlsoDisablesSetup)
{
    Open("[Product]\nMAXVer=9.0\n");
    Command(IDC_SETUP, BN_CLICKED);
    ASSERT_EQ(desktop.shown.size(), 1u);
    EXPECT_EQ(desktop.shown[0].text, "Can't install on version \"6.0\"");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(hwnd, IDC_SETUP)));
    EXPECT_TRUE(ProgressLines().empty());
}

TEST_F(SetupDialogTest, VersionChoiceAndBrowseUpdateThePath)
{
    const std::string host5 = MakeFakeHost(temp / "max5");
    registry.AddHost("5.0", host5 + "3dsmax.chm");
    const std::string other = MakeFakeHost(temp / "other");
    Open("[Product]\nMulti=True\n");
    SendMessageA(GetDlgItem(hwnd, IDC_VERSIONS), CB_SETCURSEL, 0, 0);
    Command(IDC_VERSIONS, CBN_SELCHANGE);
    EXPECT_EQ(ItemText(hwnd, IDC_PROGRAM_PATH), host5);
    EXPECT_EQ(dialog->Script().CurrentVersion(), "5.0");

    desktop.filesToChoose = {other + "3DSMAX.INI"};
    Command(IDC_BROWSE, BN_CLICKED);
    EXPECT_EQ(ItemText(hwnd, IDC_PROGRAM_PATH), other);
    EXPECT_EQ(dialog->Script().CurrentVersion(), "5.0");
}

namespace {
int aboutBoxesSeen = 0;
void CALLBACK CloseAboutBox(HWND, UINT, UINT_PTR, DWORD)
{
    if (HWND about = FindWindowA(nullptr, "About Varnotek Plug-In Installer")) {
        ++aboutBoxesSeen;
        PostMessageA(about, WM_COMMAND, IDOK, 0);
    }
}
}  // namespace

TEST_F(SetupDialogTest, SystemCommandsSixteenToThirtyOneOpenTheAboutBox)
{
    Open("[Product]\nTitle=t\n");
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &CloseAboutBox);
    aboutBoxesSeen = 0;
    SendMessageA(hwnd, WM_SYSCOMMAND, 16, 0);
    SendMessageA(hwnd, WM_SYSCOMMAND, 31, 0);
    EXPECT_EQ(aboutBoxesSeen, 2);
    SendMessageA(hwnd, WM_SYSCOMMAND, 32, 0);
    EXPECT_EQ(aboutBoxesSeen, 2);
    KillTimer(nullptr, timer);
    EXPECT_TRUE(IsWindowEnabled(hwnd));  // the owner is given back when the box closes
}

TEST_F(SetupDialogTest, ExitClosesTheDialog)
{
    Open("[Product]\nTitle=t\n");
    Command(IDCANCEL, BN_CLICKED);
    EXPECT_FALSE(IsWindow(hwnd));
}

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(about.Create());
        hwnd = about.Handle();
    }
    ScriptedDesktop desktop;
    DesktopOverride use{desktop};
    AboutDialog about{nullptr};
    HWND hwnd = nullptr;
};

TEST_F(LinkTest, AboutLinksCarryTheMakersAddresses)
{
    EXPECT_EQ(WindowText(hwnd), "About Varnotek Plug-In Installer");
    EXPECT_EQ(about.WebLink().URL(), kMakerWebAddress);
    EXPECT_EQ(about.MailLink().URL(), std::string("mailto:") + kMakerMailAddress);
    EXPECT_EQ(about.MailLink().Tip().TipText(about.MailLink().Handle(), IDC_TOOL), about.MailLink().URL());
    EXPECT_EQ(about.WebLink().Tip().TipText(about.WebLink().Handle(), IDC_TOOL), kMakerWebAddress);
}

TEST_F(LinkTest, ClickOpensTheLinkAndAFailureOnlyBeeps)
{
    SendMessageA(about.WebLink().Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    ASSERT_EQ(desktop.opened.size(), 1u);
    EXPECT_EQ(desktop.opened[0].verb, "open");
    EXPECT_EQ(desktop.opened[0].file, kMakerWebAddress);
    EXPECT_EQ(desktop.opened[0].directory, "");
    EXPECT_EQ(desktop.opened[0].show, SW_SHOW);
    EXPECT_TRUE(desktop.beeps.empty());

    desktop.shellResult = 31;
    SendMessageA(about.MailLink().Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    EXPECT_EQ(desktop.beeps, (std::vector<UINT>{MB_ICONEXCLAMATION}));
    EXPECT_TRUE(desktop.shown.empty());
}

TEST_F(LinkTest, LooksLikeALink)
{
    HWND link = about.WebLink().Handle();
    // Blue text on a hollow brush.
    HDC dc = GetDC(link);
    const LRESULT brush = SendMessageA(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(link));
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(brush), GetStockObject(HOLLOW_BRUSH));
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 255));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    ReleaseDC(link, dc);
    // Underlined.
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(link, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_TRUE(font.lfUnderline);
    // The hand over it.
    ASSERT_NE(LinkStatic::HandCursor(), nullptr);
    EXPECT_EQ(SendMessageA(link, WM_SETCURSOR, reinterpret_cast<WPARAM>(link), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), TRUE);
    EXPECT_EQ(GetCursor(), LinkStatic::HandCursor());
}

TEST_F(LinkTest, CenteredTextShrinksToItsTextAroundTheSameCentre)
{
    HWND link = about.MailLink().Handle();
    about.MailLink().SetText("x");
    RECT before{};
    GetWindowRect(link, &before);
    about.MailLink().ResizeToText();
    RECT after{};
    GetWindowRect(link, &after);
    EXPECT_LT(after.right - after.left, before.right - before.left);
    EXPECT_GT(after.right - after.left, 0);
    EXPECT_LE(std::abs((after.left + after.right) - (before.left + before.right)), 1);
    EXPECT_EQ(after.top, before.top);
}

INT_PTR CALLBACK PlainDialogProcedure(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// The resources, looked up by language as the platform would for each user.
class ResourceTest : public ::testing::Test {
protected:
    static WORD Lang(WORD primary) { return MAKELANGID(primary, primary == LANG_ENGLISH ? SUBLANG_ENGLISH_US : SUBLANG_DEFAULT); }

    // Every control text of a dialog template in one language, and the dialog's own caption.
    static std::set<std::wstring> DialogTexts(int id, WORD language, std::wstring* caption = nullptr, HWND* keep = nullptr)
    {
        HRSRC found = FindResourceExW(nullptr, reinterpret_cast<LPCWSTR>(RT_DIALOG), MAKEINTRESOURCEW(id), language);
        if (!found) return {};
        auto* dialogTemplate = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(nullptr, found)));
        HWND dialog = CreateDialogIndirectParamW(nullptr, dialogTemplate, nullptr,
                                                 &PlainDialogProcedure, 0);
        std::set<std::wstring> texts;
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t text[256] = L"";
            GetWindowTextW(child, text, 256);
            texts.insert(text);
        }
        if (caption) {
            wchar_t text[256] = L"";
            GetWindowTextW(dialog, text, 256);
            *caption = text;
        }
        if (keep) *keep = dialog;
        else DestroyWindow(dialog);
        return texts;
    }
    static std::wstring String(int id, WORD language)
    {
        HRSRC found = FindResourceExW(nullptr, reinterpret_cast<LPCWSTR>(RT_STRING), MAKEINTRESOURCEW(id / 16 + 1), language);
        if (!found) return {};
        auto* block = static_cast<const WCHAR*>(LockResource(LoadResource(nullptr, found)));
        for (int i = 0; i < id % 16; ++i) block += 1 + *block;
        return std::wstring(block + 1, *block);
    }
};

TEST_F(ResourceTest, SetupDialogTextsInThreeLanguages)
{
    const std::set<std::wstring> english = DialogTexts(IDD_SETUP, Lang(LANG_ENGLISH));
    for (const wchar_t* text : {L"Available MAX Version:", L"MAX program path:", L"&Browse...", L"&Setup", L"E&xit"})
        EXPECT_EQ(english.count(text), 1u) << "English";
    const std::set<std::wstring> japanese = DialogTexts(IDD_SETUP, Lang(LANG_JAPANESE));
    for (const wchar_t* text : {L"使用可能なMAXのバージョン:", L"MAX ディレクトリ:", L"選択(&B)...", L"インストール(&S)", L"終了(&X)"})
        EXPECT_EQ(japanese.count(text), 1u) << "Japanese";
    const std::set<std::wstring> korean = DialogTexts(IDD_SETUP, Lang(LANG_KOREAN));
    for (const wchar_t* text : {L"사용가능한 MAX 버전:", L"MAX 프로그램 경로:", L"선택(&B)...", L"설치(&S)", L"종료(&X)"})
        EXPECT_EQ(korean.count(text), 1u) << "Korean";
}

TEST_F(ResourceTest, AboutBoxAndStringsInThreeLanguages)
{
    std::wstring caption;
    const std::set<std::wstring> english = DialogTexts(IDD_ABOUT, Lang(LANG_ENGLISH), &caption);
    EXPECT_EQ(caption, L"About Varnotek Plug-In Installer");
    EXPECT_EQ(english.count(L"Varnotek Plug-In Installer, Ver 1.2"), 1u);
    EXPECT_EQ(english.count(L"&OK"), 1u);
    EXPECT_EQ(DialogTexts(IDD_ABOUT, Lang(LANG_KOREAN)).count(L"확인(&O)"), 1u);
    EXPECT_EQ(DialogTexts(IDD_ABOUT, Lang(LANG_JAPANESE)).count(L"&OK"), 1u);

    EXPECT_EQ(String(IDS_ABOUT_MENU, Lang(LANG_ENGLISH)), L"&About Plug-In Installer...");
    EXPECT_EQ(String(IDS_ABOUT_MENU, Lang(LANG_KOREAN)), L"Plug-In Installer 정보(&A)...");
    EXPECT_EQ(String(IDS_ABOUT_MENU, Lang(LANG_JAPANESE)), L"&About Plug-In Installer...");
    for (WORD language : {LANG_ENGLISH, LANG_JAPANESE, LANG_KOREAN})
        EXPECT_EQ(String(IDS_DEFAULT_TITLE, Lang(language)), L"Plug-In Installer");
    // The closing progress lines: English as the code has it, the other two in their own script.
    for (int id : {IDS_INSTALL_FINISHED, IDS_INSTALL_INCOMPLETE}) {
        const std::wstring closing = String(id, Lang(LANG_ENGLISH));
        EXPECT_EQ(std::string(closing.begin(), closing.end()), id == IDS_INSTALL_FINISHED ? kFinished : kFinishedInPart);
        EXPECT_NE(String(id, Lang(LANG_JAPANESE)).find(L"MAX を再起動"), std::wstring::npos);
        EXPECT_NE(String(id, Lang(LANG_KOREAN)).find(L"MAX를 다시 시작"), std::wstring::npos);
    }
    // The lines of a file left out: the name goes in once, in each language's own words.
    for (int id : {IDS_COPY_SKIPPED, IDS_COPY_NOT_TRIED}) {
        const std::wstring inEnglish = String(id, Lang(LANG_ENGLISH));
        EXPECT_EQ(inEnglish.rfind(L"Skipped %s (", 0), 0u) << id;
        for (WORD language : {LANG_JAPANESE, LANG_KOREAN}) {
            const std::wstring text = String(id, Lang(language));
            EXPECT_NE(text, inEnglish) << id << " " << language;
            const size_t at = text.find(L"%s");
            EXPECT_TRUE(at != std::wstring::npos && text.find(L"%", at + 1) == std::wstring::npos) << id;
        }
    }
}

// What the installer relies on of the Setup dialog's controls, in every language: versions sorted
// (they arrive ascending), progress lines kept in the order added, a path the user cannot type into.
TEST_F(ResourceTest, SetupControlStylesInThreeLanguages)
{
    for (WORD language : {LANG_ENGLISH, LANG_JAPANESE, LANG_KOREAN}) {
        HWND dialog = nullptr;
        DialogTexts(IDD_SETUP, Lang(language), nullptr, &dialog);
        ASSERT_NE(dialog, nullptr) << language;
        const auto style = [&](int id) { return GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE); };
        EXPECT_TRUE(style(IDC_VERSIONS) & CBS_SORT) << language;
        EXPECT_FALSE(style(IDC_PROGRESS) & LBS_SORT) << language;
        EXPECT_TRUE(style(IDC_PROGRAM_PATH) & ES_READONLY) << language;
        EXPECT_TRUE(style(IDC_SETUP) & BS_DEFPUSHBUTTON) << language;
        EXPECT_TRUE(GetWindowLongA(dialog, GWL_STYLE) & WS_MINIMIZEBOX) << language;
        DestroyWindow(dialog);
    }
}

TEST_F(ResourceTest, ManifestAsksForAdministratorAndCommonControlsSix)
{
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(nullptr, found))),
                               SizeofResource(nullptr, found));
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(IDB_LOGO), MAKEINTRESOURCEA(2)), nullptr);
    EXPECT_NE(FindResourceA(nullptr, MAKEINTRESOURCEA(IDI_SETUP), MAKEINTRESOURCEA(14)), nullptr);
}
