// The About box: binds the two links and gives them their addresses.
#include "AboutDialog.h"

#include "resource.h"

const char kMakerWebAddress[] = "http://www.varnotek.example/";
const char kMakerMailAddress[] = "support@varnotek.example";

AboutDialog::AboutDialog(HWND parent) : ui::Dialog(IDD_ABOUT, parent) {}

void AboutDialog::DoDataExchange(ui::DataExchange& exchange)
{
    exchange.Control(IDC_LOGO, webLink_);
    exchange.Control(IDC_EMAIL, mailLink_);
}

BOOL AboutDialog::OnInitDialog()
{
    ui::Dialog::OnInitDialog();
    if (HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_SETUP)))
        SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    webLink_.SetURL(kMakerWebAddress);
    mailLink_.SetURL(std::string("mailto:") + kMakerMailAddress);
    return TRUE;
}
