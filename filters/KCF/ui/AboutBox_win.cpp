// The About box: the logo, the filter's name and version, and the maker's notice.
#include "FilterUi.h"

#include "CustCtrl.h"
#include "Module.h"
#include "Resource.h"

namespace {

INT_PTR CALLBACK AboutProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        CenterWindow(dialog, GetParent(dialog));
        SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) EndDialog(dialog, 1);
        else if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

INT_PTR RunAboutBox(HWND parent, KernelFilter* filter)
{
    return DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(IDD_ABOUT), parent, AboutProc,
                           reinterpret_cast<LPARAM>(filter));
}

void KernelFilter::ShowAbout(HWND hWnd) { RunAboutBox(hWnd, this); }
