// The host's custom controls on Windows: CustEdit (a one-line edit) and SpinnerControl (two
// arrow buttons that step an integer shown in a linked edit), with their interfaces.
#include "CustCtrl.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr const char* kCustEditClass = "CustEdit";
constexpr const char* kSpinnerClass = "SpinnerControl";
// The spinner a CustEdit is linked to, kept as a window property of the edit.
constexpr const char* kLinkedSpinnerProp = "KcfLinkedSpinner";
// Private messages from a linked edit to its spinner.
constexpr UINT kSpinEditCommitted = WM_USER + 1;  // the user finished typing
constexpr UINT kSpinStep = WM_USER + 2;           // wParam: +1 or -1, from the edit's arrow keys
constexpr UINT_PTR kRepeatTimer = 1;
constexpr UINT kFirstRepeatMs = 400;
constexpr UINT kRepeatMs = 50;
constexpr int kTextChars = 64;

WNDPROC editProc = nullptr;  // the system EDIT class's procedure, under CustEdit

// The leading integer of text, saturated; valid when the whole text (blanks aside) is that number.
int ParseInt(const char* text, BOOL* valid)
{
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    const bool any = end != text;
    while (*end == ' ' || *end == '\t') ++end;
    const bool inRange = errno != ERANGE && v >= INT_MIN && v <= INT_MAX;
    if (valid) *valid = any && !*end && inRange;
    if (!any) return 0;
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

void ReadText(HWND window, char (&text)[kTextChars])
{
    text[0] = '\0';
    GetWindowTextA(window, text, kTextChars);
}

void WriteInt(HWND window, int value)
{
    char text[kTextChars];
    std::snprintf(text, sizeof text, "%d", value);
    SetWindowTextA(window, text);
}

bool IsOfClass(HWND window, const char* className)
{
    char name[32] = "";
    return window && GetClassNameA(window, name, sizeof name) && lstrcmpiA(name, className) == 0;
}

// ---- CustEdit ------------------------------------------------------------------------------

class CustEdit final : public ICustEdit {
public:
    explicit CustEdit(HWND window) : window_(window) {}
    void SetText(const TCHAR* text) override { SetWindowTextA(window_, text ? text : ""); }
    void SetText(int value) override { WriteInt(window_, value); }
    int GetInt(BOOL* valid) override
    {
        char text[kTextChars];
        ReadText(window_, text);
        return ParseInt(text, valid);
    }

private:
    HWND window_;
};

LRESULT CALLBACK CustEditProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    HWND spinner = static_cast<HWND>(GetPropA(window, kLinkedSpinnerProp));
    switch (msg) {
    case WM_GETDLGCODE:
        // Enter takes the typed value rather than pressing the dialog's default button.
        if (lParam && reinterpret_cast<const MSG*>(lParam)->message == WM_KEYDOWN &&
            reinterpret_cast<const MSG*>(lParam)->wParam == VK_RETURN)
            return CallWindowProcA(editProc, window, msg, wParam, lParam) | DLGC_WANTALLKEYS;
        break;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            if (spinner) SendMessageA(spinner, kSpinEditCommitted, 0, 0);
            SendMessageA(window, EM_SETSEL, 0, -1);
            return 0;
        }
        if (spinner && (wParam == VK_UP || wParam == VK_DOWN)) {
            SendMessageA(spinner, kSpinStep, wParam == VK_UP ? 1 : static_cast<WPARAM>(-1), 0);
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == '\r') return 0;  // no beep for the Enter taken above
        break;
    case WM_KILLFOCUS:
        if (spinner) SendMessageA(spinner, kSpinEditCommitted, 0, 0);
        break;
    case WM_NCDESTROY:
        RemovePropA(window, kLinkedSpinnerProp);
        break;
    default:
        break;
    }
    return CallWindowProcA(editProc, window, msg, wParam, lParam);
}

// ---- SpinnerControl ------------------------------------------------------------------------

struct SpinnerState {
    int value = 0;
    int minimum = INT_MIN;
    int maximum = INT_MAX;
    HWND edit = nullptr;
    int held = 0;  // +1 up arrow held, -1 down arrow held, 0 none
};

SpinnerState* StateOf(HWND spinner)
{
    return reinterpret_cast<SpinnerState*>(GetWindowLongPtrA(spinner, GWLP_USERDATA));
}

void Notify(HWND spinner, bool buttonDown)
{
    SendMessageA(GetParent(spinner), CC_SPINNER_CHANGE,
                 MAKEWPARAM(GetDlgCtrlID(spinner), buttonDown ? 1 : 0), reinterpret_cast<LPARAM>(spinner));
}

void ShowValue(SpinnerState& s)
{
    if (s.edit) WriteInt(s.edit, s.value);
}

// Sets a value the user chose: clamped to the limits, shown, and announced when it changed.
void UserSets(HWND spinner, SpinnerState& s, long long value, bool buttonDown)
{
    const int clamped = static_cast<int>(std::clamp<long long>(value, s.minimum, s.maximum));
    const bool changed = clamped != s.value;
    s.value = clamped;
    ShowValue(s);
    if (changed) Notify(spinner, buttonDown);
}

// Takes up what the user typed into the linked edit: a number is clamped to the limits, anything
// else gives the edit the value back. Returns whether the edit held something new.
bool TakeEditText(SpinnerState& s, HWND spinner, bool notify)
{
    if (!s.edit) return false;
    char text[kTextChars], shown[kTextChars];
    ReadText(s.edit, text);
    std::snprintf(shown, sizeof shown, "%d", s.value);
    if (std::strcmp(text, shown) == 0) return false;
    BOOL valid = FALSE;
    const int typed = ParseInt(text, &valid);
    if (!valid) {
        ShowValue(s);
        return true;
    }
    const int clamped = std::clamp(typed, s.minimum, s.maximum);
    const bool changed = clamped != s.value;
    s.value = clamped;
    ShowValue(s);
    if (changed && notify) Notify(spinner, false);
    return true;
}

void Paint(HWND spinner, const SpinnerState& s)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(spinner, &ps);
    RECT r;
    GetClientRect(spinner, &r);
    const int middle = (r.top + r.bottom) / 2;
    RECT up = {r.left, r.top, r.right, middle};
    RECT down = {r.left, middle, r.right, r.bottom};
    const UINT disabled = IsWindowEnabled(spinner) ? 0 : DFCS_INACTIVE;
    DrawFrameControl(dc, &up, DFC_SCROLL, DFCS_SCROLLUP | disabled | (s.held > 0 ? DFCS_PUSHED : 0));
    DrawFrameControl(dc, &down, DFC_SCROLL, DFCS_SCROLLDOWN | disabled | (s.held < 0 ? DFCS_PUSHED : 0));
    EndPaint(spinner, &ps);
}

int ArrowAt(HWND spinner, LPARAM lParam)
{
    RECT r;
    GetClientRect(spinner, &r);
    const int y = static_cast<short>(HIWORD(lParam));
    return y < (r.top + r.bottom) / 2 ? 1 : -1;
}

void StopHolding(HWND spinner, SpinnerState& s)
{
    if (!s.held) return;
    s.held = 0;
    KillTimer(spinner, kRepeatTimer);
    if (GetCapture() == spinner) ReleaseCapture();
    InvalidateRect(spinner, nullptr, TRUE);
}

LRESULT CALLBACK SpinnerProc(HWND spinner, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* state = new (std::nothrow) SpinnerState;
        if (!state) return FALSE;
        SetWindowLongPtrA(spinner, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
        return DefWindowProcA(spinner, msg, wParam, lParam);
    }
    SpinnerState* s = StateOf(spinner);
    if (!s) return DefWindowProcA(spinner, msg, wParam, lParam);
    switch (msg) {
    case WM_PAINT:
        Paint(spinner, *s);
        return 0;
    case WM_ENABLE:
        if (!wParam) StopHolding(spinner, *s);
        InvalidateRect(spinner, nullptr, TRUE);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (!IsWindowEnabled(spinner)) return 0;
        TakeEditText(*s, spinner, true);
        s->held = ArrowAt(spinner, lParam);
        SetCapture(spinner);
        SetTimer(spinner, kRepeatTimer, kFirstRepeatMs, nullptr);
        UserSets(spinner, *s, static_cast<long long>(s->value) + s->held, true);
        InvalidateRect(spinner, nullptr, TRUE);
        return 0;
    case WM_TIMER:
        if (wParam == kRepeatTimer && s->held) {
            SetTimer(spinner, kRepeatTimer, kRepeatMs, nullptr);
            UserSets(spinner, *s, static_cast<long long>(s->value) + s->held, true);
        }
        return 0;
    case WM_LBUTTONUP:
        StopHolding(spinner, *s);
        return 0;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != spinner) StopHolding(spinner, *s);
        return 0;
    case kSpinEditCommitted:
        TakeEditText(*s, spinner, true);
        return 0;
    case kSpinStep:
        TakeEditText(*s, spinner, true);
        UserSets(spinner, *s, static_cast<long long>(s->value) + static_cast<int>(wParam), false);
        return 0;
    case WM_NCDESTROY:
        KillTimer(spinner, kRepeatTimer);
        if (s->edit && IsWindow(s->edit) && GetPropA(s->edit, kLinkedSpinnerProp) == spinner)
            RemovePropA(s->edit, kLinkedSpinnerProp);
        SetWindowLongPtrA(spinner, GWLP_USERDATA, 0);
        delete s;
        return DefWindowProcA(spinner, msg, wParam, lParam);
    default:
        return DefWindowProcA(spinner, msg, wParam, lParam);
    }
}

class Spinner final : public ISpinnerControl {
public:
    explicit Spinner(HWND window) : window_(window) {}
    void LinkToEdit(HWND edit, EditSpinnerType) override
    {
        SpinnerState* s = StateOf(window_);
        if (!s) return;
        if (s->edit && IsWindow(s->edit)) RemovePropA(s->edit, kLinkedSpinnerProp);
        s->edit = edit;
        if (edit) {
            SetPropA(edit, kLinkedSpinnerProp, window_);
            ShowValue(*s);
        }
    }
    void SetLimits(int minimum, int maximum, BOOL limitCurrent) override
    {
        SpinnerState* s = StateOf(window_);
        if (!s) return;
        s->minimum = std::min(minimum, maximum);
        s->maximum = std::max(minimum, maximum);
        if (limitCurrent && (s->value < s->minimum || s->value > s->maximum)) {
            s->value = std::clamp(s->value, s->minimum, s->maximum);
            ShowValue(*s);
        }
    }
    void SetValue(int value, int notify) override
    {
        SpinnerState* s = StateOf(window_);
        if (!s) return;
        s->value = value;
        ShowValue(*s);
        if (notify) Notify(window_, false);
    }
    int GetIVal() override
    {
        SpinnerState* s = StateOf(window_);
        if (!s) return 0;
        TakeEditText(*s, window_, false);
        return s->value;
    }

private:
    HWND window_;
};

// A class description with every member zero but its size, as the class calls want it.
WNDCLASSEXA EmptyClass()
{
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    return wc;
}

}  // namespace

void InitCustomControls(HINSTANCE hInstance)
{
    WNDCLASSEXA existing = EmptyClass();
    if (!editProc) {
        WNDCLASSEXA edit = EmptyClass();
        if (!GetClassInfoExA(nullptr, "EDIT", &edit)) return;
        editProc = edit.lpfnWndProc;
    }
    if (!GetClassInfoExA(hInstance, kCustEditClass, &existing)) {
        WNDCLASSEXA wc = EmptyClass();
        GetClassInfoExA(nullptr, "EDIT", &wc);
        wc.style &= ~CS_GLOBALCLASS;
        wc.lpfnWndProc = CustEditProc;
        wc.hInstance = hInstance;
        wc.lpszClassName = kCustEditClass;
        RegisterClassExA(&wc);
    }
    if (!GetClassInfoExA(hInstance, kSpinnerClass, &existing)) {
        WNDCLASSEXA wc = EmptyClass();
        wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
        wc.lpfnWndProc = SpinnerProc;
        wc.hInstance = hInstance;
        wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kSpinnerClass;
        RegisterClassExA(&wc);
    }
}

void ReleaseCustomControls(HINSTANCE hInstance)
{
    UnregisterClassA(kCustEditClass, hInstance);
    UnregisterClassA(kSpinnerClass, hInstance);
}

ICustEdit* GetICustEdit(HWND control)
{
    return IsOfClass(control, kCustEditClass) ? new (std::nothrow) CustEdit(control) : nullptr;
}

void ReleaseICustEdit(ICustEdit* edit) { delete static_cast<CustEdit*>(edit); }

ISpinnerControl* GetISpinner(HWND control)
{
    return IsOfClass(control, kSpinnerClass) && StateOf(control) ? new (std::nothrow) Spinner(control) : nullptr;
}

void ReleaseISpinner(ISpinnerControl* spinner) { delete static_cast<Spinner*>(spinner); }

ISpinnerControl* SetupIntSpinner(HWND dialog, int spinId, int editId, int minimum, int maximum, int value)
{
    ISpinnerControl* spinner = GetISpinner(GetDlgItem(dialog, spinId));
    if (!spinner) return nullptr;
    spinner->LinkToEdit(GetDlgItem(dialog, editId), EDITTYPE_INT);
    spinner->SetLimits(minimum, maximum, FALSE);
    spinner->SetValue(value, FALSE);
    return spinner;
}

void CenterWindow(HWND window, HWND parent)
{
    RECT area;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) {
        area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    RECT over = area;
    if (parent && IsWindowVisible(parent) && !IsIconic(parent)) GetWindowRect(parent, &over);
    RECT self;
    GetWindowRect(window, &self);
    const int width = self.right - self.left, height = self.bottom - self.top;
    int x = over.left + (over.right - over.left - width) / 2;
    int y = over.top + (over.bottom - over.top - height) / 2;
    x = std::max<int>(area.left, std::min<int>(x, area.right - width));
    y = std::max<int>(area.top, std::min<int>(y, area.bottom - height));
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
