// Dialog base: `this` bound at WM_INITDIALOG, a modal loop that lets controls pre-translate, and
// no exception ever leaving the dialog procedure.
#include "Dialog.h"

#include <algorithm>

namespace ui {

void DataExchange::Control(int id, Window& control)
{
    HWND item = GetDlgItem(dialog_.Handle(), id);
    if (control.Handle() != item) control.Attach(item);
    auto& bound = dialog_.bound_;
    if (std::find(bound.begin(), bound.end(), &control) == bound.end()) bound.push_back(&control);
}

Dialog::Dialog(int templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

Dialog::~Dialog()
{
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

bool Dialog::Create()
{
    ended_ = false;
    hwnd_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_), parent_,
                               &Dialog::Procedure, reinterpret_cast<LPARAM>(this));
    return hwnd_ != nullptr;
}

INT_PTR Dialog::DoModal()
{
    modal_ = true;
    if (!Create()) {
        modal_ = false;
        return -1;
    }
    const bool ownerWasEnabled = parent_ && IsWindowEnabled(parent_);
    if (ownerWasEnabled) EnableWindow(parent_, FALSE);
    if (!ended_) ShowWindow(hwnd_, SW_SHOW);
    MSG message;
    while (!ended_) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got < 0) break;
        if (PreTranslate(message)) continue;
        if (IsDialogMessageA(hwnd_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (ownerWasEnabled) EnableWindow(parent_, TRUE);
    if (parent_ && GetActiveWindow() == hwnd_) SetActiveWindow(parent_);
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    modal_ = false;
    return result_;
}

void Dialog::EndDialog(INT_PTR result)
{
    result_ = result;
    ended_ = true;
    if (!modal_ && hwnd_) {
        DestroyWindow(hwnd_);
        hwnd_ = nullptr;
    }
}

bool Dialog::UpdateData(bool save)
{
    DataExchange exchange(*this, save);
    DoDataExchange(exchange);
    return true;
}

BOOL Dialog::OnInitDialog()
{
    UpdateData(false);
    return TRUE;
}

bool Dialog::OnCommand(int id, int, HWND)
{
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

bool Dialog::PreTranslate(MSG& message)
{
    for (Window* control : bound_)
        if (control->Handle() && control->Handle() == message.hwnd && control->PreTranslateMessage(message))
            return true;
    return false;
}

INT_PTR Dialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
        for (Window* control : bound_)
            if (control->Handle() == reinterpret_cast<HWND>(lParam))
                if (HBRUSH brush = control->OnReflectedColor(reinterpret_cast<HDC>(wParam)))
                    return reinterpret_cast<INT_PTR>(brush);
        return FALSE;
    default:
        break;
    }
    INT_PTR result = 0;
    if (!OnMessage(message, wParam, lParam, result)) return FALSE;
    return result;
}

INT_PTR CALLBACK Dialog::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        self->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        self->bound_.clear();
        self->ended_ = true;
        if (self->hwnd_ == hwnd) self->hwnd_ = nullptr;
        return FALSE;
    }
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        return FALSE;
    }
}

}  // namespace ui
