// The Setup dialog: start-up (script, hosts, caption), the system menu's About, Browse, the
// version drop-down it fills, and the Setup and uninstall commands.
#include "SetupDialog.h"

#include "AboutDialog.h"
#include "Desktop.h"
#include "Text.h"
#include "resource.h"
#include "ui/WaitCursor.h"

#include <commdlg.h>

#include <vector>

void ListBoxLog::AddLine(const std::string& line)
{
    list_.AddString(line);
    list_.ScrollToFit(line);
    list_.ShowLast();  // the newest line stays in view, as the install goes on
    UpdateWindow(list_.Handle());
}

SetupDialog::SetupDialog(HWND parent, InstallEnvironment environment, std::string scriptDirectory, bool uninstall,
                         std::string directory)
    : ui::Dialog(IDD_SETUP, parent),
      script_(std::move(environment)),
      scriptDirectory_(std::move(scriptDirectory)),
      uninstall_(uninstall),
      directory_(std::move(directory)),
      icon_(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_SETUP)))
{
}

void SetupDialog::DoDataExchange(ui::DataExchange& exchange)
{
    exchange.Control(IDC_LOGO, logo_);
    exchange.Control(IDC_PROGRESS, progress_);
    exchange.Control(IDC_VERSIONS, versions_);
}

BOOL SetupDialog::OnInitDialog()
{
    ui::Dialog::OnInitDialog();

    char about[kMaxText + 1] = "";
    HMENU systemMenu = GetSystemMenu(hwnd_, FALSE);
    if (systemMenu && LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUT_MENU, about, sizeof about) > 0) {
        AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(systemMenu, MF_STRING, IDM_ABOUT, about);
    }
    SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

    const std::string directory = scriptDirectory_.empty() ? FindScriptDirectory() : scriptDirectory_;
    script_.Load(hwnd_, Item(IDC_PROGRAM_PATH), directory);

    std::string caption = script_.Product().title;
    if (caption.empty()) {
        char fallback[kMaxText + 1] = "";
        LoadStringA(GetModuleHandleA(nullptr), IDS_DEFAULT_TITLE, fallback, sizeof fallback);
        caption = fallback;
    }
    SetText(caption);

    FillVersionList();
    ApplySelection();
    if (!directory_.empty() && script_.BindGivenDirectory(directory_))
        SetWindowTextA(Item(IDC_PROGRAM_PATH), script_.ProgramPath().c_str());
    logo_.SetURL(kMakerWebAddress);
    if (uninstall_) {
        EnableWindow(Item(IDC_SETUP), FALSE);
        PostMessageA(hwnd_, kStartUninstall, 0, 0);
    }
    return TRUE;
}

bool SetupDialog::OnCommand(int id, int code, HWND control)
{
    if (id == IDC_BROWSE && code == BN_CLICKED) {
        Browse();
        return true;
    }
    if (id == IDC_VERSIONS && code == CBN_SELCHANGE) {
        ApplySelection();
        return true;
    }
    if (id == IDC_SETUP && code == BN_CLICKED) {
        OnSetup();
        return true;
    }
    return ui::Dialog::OnCommand(id, code, control);
}

void SetupDialog::FillVersionList()
{
    versions_.ResetContent();
    const HostVersionList& list = script_.Versions();
    const int start = script_.StartEntry();
    for (int i = 0; i < list.Count(); ++i) {
        const int item = versions_.AddItem(list.At(i)->version, i);
        if (i == start && item >= 0) versions_.Select(item);
    }
    EnableWindow(versions_.Handle(), script_.Product().multi ? TRUE : FALSE);
}

void SetupDialog::ApplySelection()
{
    const int item = versions_.Selection();
    if (item < 0) return;
    const int index = static_cast<int>(versions_.DataOf(item));
    if (!script_.Versions().At(index)) return;
    // The binding stayed where it was: show the entry that is still bound, or none.
    if (!script_.SelectEntry(index))
        versions_.Select(script_.SelectedEntry() >= 0 ? versions_.FindData(script_.SelectedEntry()) : -1);
    SetWindowTextA(Item(IDC_PROGRAM_PATH), script_.ProgramPath().c_str());
}

void SetupDialog::Browse()
{
    OpenFileRequest request;
    request.defaultExtension = "ini";
    request.initialName = "3dsmax.ini";
    request.filter = "Ini Files (*.ini)|*.ini|All Files (*.*)|*.*||";
    request.flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    std::string chosen;
    if (CurrentDesktop().AskOpenFile(hwnd_, request, chosen) && script_.TakeProgramPath(chosen))
        SetWindowTextA(Item(IDC_PROGRAM_PATH), script_.ProgramPath().c_str());
}

void SetupDialog::OnSetup()
{
    UpdateData(true);
    progress_.ResetContent();
    {
        ui::WaitCursor wait;
        ListBoxLog log(progress_);
        script_.Install(log);
    }
    Done();
}

void SetupDialog::OnUninstall()
{
    // Nothing to ask about when nothing of the package is there: the user is told so at once.
    if (!script_.CanUninstall()) {
        EndDialog(IDCANCEL);
        return;
    }
    const std::string question = ResourceText(IDS_UNINSTALL_QUESTION, "Remove %s from this MAX installation?");
    if (ShowFormatted(hwnd_, question.c_str(), script_.PackageName() + " (" + script_.HostRoot() + ")", "Uninstall",
                      MB_YESNO | MB_ICONQUESTION) != IDYES) {
        EndDialog(IDCANCEL);
        return;
    }
    progress_.ResetContent();
    {
        ui::WaitCursor wait;
        ListBoxLog log(progress_);
        script_.Uninstall(log);
    }
    Done();
}

void SetupDialog::Done()
{
    // One install per run, whatever it came to. The focus leaves the disabled button for Exit, so
    // that the keyboard (Escape, Enter) still reaches the dialog.
    EnableWindow(Item(IDC_SETUP), FALSE);
    SendMessageA(hwnd_, DM_SETDEFID, IDCANCEL, 0);
    SendMessageA(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDCANCEL)), TRUE);
}

void SetupDialog::PaintMinimized()
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd_, &paint);
    SendMessageA(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(hwnd_, &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon_);
    EndPaint(hwnd_, &paint);
}

bool SetupDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result)
{
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUT) {
            AboutDialog about(hwnd_);
            about.DoModal();
            result = TRUE;
            return true;
        }
        return false;
    case WM_PAINT:
        if (!IsIconic(hwnd_)) return false;
        PaintMinimized();
        result = TRUE;
        return true;
    case kStartUninstall:
        OnUninstall();
        result = TRUE;
        return true;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<INT_PTR>(icon_);
        return true;
    default:
        return false;
    }
}
