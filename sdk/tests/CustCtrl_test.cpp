// The custom controls as a user meets them: edits read as integers, spinners stepped by their
// arrows and by typing, limits, notifications, and centring a window.
#include "CustCtrl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int kEditId = 201, kSpinId = 202, kOtherId = 203;

std::vector<WPARAM> notifications;

LRESULT CALLBACK ParentProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == CC_SPINNER_CHANGE) {
        notifications.push_back(wParam);
        return 0;
    }
    return DefWindowProcA(window, msg, wParam, lParam);
}

void Pump(DWORD ms)
{
    const DWORD end = GetTickCount() + ms;
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    } while (static_cast<LONG>(GetTickCount() - end) < 0);
}

std::string TextOf(HWND window)
{
    char text[64] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

class CustomControls : public ::testing::Test {
protected:
    void SetUp() override
    {
        HINSTANCE instance = GetModuleHandleA(nullptr);
        InitCustomControls(instance);
        InitCustomControls(instance);  // a second call changes nothing
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = instance;
        wc.lpszClassName = "KcfTestParent";
        RegisterClassA(&wc);
        parent = CreateWindowExA(0, "KcfTestParent", "custom controls", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                                 300, 200, nullptr, nullptr, instance, nullptr);
        edit = CreateWindowExA(WS_EX_CLIENTEDGE, "CustEdit", "", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 10, 10, 60,
                               20, parent, reinterpret_cast<HMENU>(kEditId), instance, nullptr);
        spin = CreateWindowExA(0, "SpinnerControl", "", WS_CHILD | WS_VISIBLE, 70, 10, 12, 20, parent,
                               reinterpret_cast<HMENU>(kSpinId), instance, nullptr);
        other = CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE, 10, 50, 60, 20, parent,
                                reinterpret_cast<HMENU>(kOtherId), instance, nullptr);
        ASSERT_TRUE(parent && edit && spin && other);
        SetForegroundWindow(parent);
        notifications.clear();
    }
    void TearDown() override
    {
        if (spinner) ReleaseISpinner(spinner);
        DestroyWindow(parent);
    }
    void Click(int arrow)  // +1 the up arrow, -1 the down arrow
    {
        const LPARAM at = MAKELPARAM(6, arrow > 0 ? 3 : 17);
        SendMessageA(spin, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(spin, WM_LBUTTONUP, 0, at);
    }
    void Type(const char* text)  // as keystrokes into the focused edit
    {
        SetFocus(edit);
        SendMessageA(edit, EM_SETSEL, 0, -1);
        for (const char* p = text; *p; ++p) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(*p), 1);
    }

    HWND parent = nullptr, edit = nullptr, spin = nullptr, other = nullptr;
    ISpinnerControl* spinner = nullptr;
};

}  // namespace

TEST_F(CustomControls, EditReadsItsTextAsAnInteger)
{
    ICustEdit* e = GetICustEdit(edit);
    ASSERT_NE(e, nullptr);
    e->SetText(-42);
    EXPECT_EQ(TextOf(edit), "-42");
    BOOL valid = FALSE;
    EXPECT_EQ(e->GetInt(&valid), -42);
    EXPECT_TRUE(valid);
    const struct {
        const char* text;
        int value;
        BOOL valid;
    } cases[] = {
        {"", 0, FALSE},         {"abc", 0, FALSE},        {"  17 ", 17, TRUE},   {"12abc", 12, FALSE},
        {"-", 0, FALSE},        {"+8", 8, TRUE},          {"99999999999", 2147483647, FALSE},
        {"-99999999999", -2147483647 - 1, FALSE},         {"2147483647", 2147483647, TRUE},
    };
    for (const auto& c : cases) {
        e->SetText(c.text);
        EXPECT_EQ(TextOf(edit), c.text);
        EXPECT_EQ(e->GetInt(&valid), c.value) << c.text;
        EXPECT_EQ(valid, c.valid) << c.text;
        EXPECT_EQ(e->GetInt(), c.value) << c.text;
    }
    ReleaseICustEdit(e);

    EXPECT_EQ(GetICustEdit(other), nullptr) << "a plain edit is no CustEdit";
    EXPECT_EQ(GetISpinner(edit), nullptr);
    EXPECT_EQ(GetICustEdit(nullptr), nullptr);
}

TEST_F(CustomControls, SpinnerSetUpLimitsAndSilentSet)
{
    spinner = SetupIntSpinner(parent, kSpinId, kEditId, 0, 15, 500);
    ASSERT_NE(spinner, nullptr);
    EXPECT_EQ(spinner->GetIVal(), 500) << "setting up does not clamp the value";
    EXPECT_EQ(TextOf(edit), "500");
    spinner->SetLimits(-5, 5, FALSE);
    EXPECT_EQ(spinner->GetIVal(), 500);
    spinner->SetValue(-70000, FALSE);
    EXPECT_EQ(spinner->GetIVal(), -70000);
    EXPECT_EQ(TextOf(edit), "-70000");
    EXPECT_TRUE(notifications.empty()) << "none of this is the user's doing";

    spinner->SetValue(3, TRUE);
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(LOWORD(notifications[0]), kSpinId);

    spinner->SetLimits(10, 20, TRUE);
    EXPECT_EQ(spinner->GetIVal(), 10) << "limits that clamp";
}

TEST_F(CustomControls, ArrowsStepWithinTheLimits)
{
    spinner = SetupIntSpinner(parent, kSpinId, kEditId, 0, 2, 1);
    Click(+1);
    EXPECT_EQ(spinner->GetIVal(), 2);
    EXPECT_EQ(TextOf(edit), "2");
    ASSERT_EQ(notifications.size(), 1u);
    EXPECT_EQ(LOWORD(notifications[0]), kSpinId);
    Click(+1);  // at the maximum: nothing changes, nothing is announced
    EXPECT_EQ(spinner->GetIVal(), 2);
    EXPECT_EQ(notifications.size(), 1u);
    Click(-1);
    Click(-1);
    Click(-1);
    EXPECT_EQ(spinner->GetIVal(), 0);
    EXPECT_EQ(TextOf(edit), "0");
    EXPECT_EQ(notifications.size(), 3u);

    // A value set beyond the limits steps back into them.
    spinner->SetValue(100, FALSE);
    Click(-1);
    EXPECT_EQ(spinner->GetIVal(), 2);

    // A disabled spinner does not step.
    EnableWindow(spin, FALSE);
    Click(-1);
    EXPECT_EQ(spinner->GetIVal(), 2);
}

TEST_F(CustomControls, HeldArrowRepeats)
{
    spinner = SetupIntSpinner(parent, kSpinId, kEditId, -99999, 99999, 0);
    SendMessageA(spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(6, 3));
    Pump(700);
    SendMessageA(spin, WM_LBUTTONUP, 0, MAKELPARAM(6, 3));
    const int held = spinner->GetIVal();
    EXPECT_GE(held, 3) << "one step, then repeats while held";
    Pump(200);
    EXPECT_EQ(spinner->GetIVal(), held) << "released: no more steps";
    for (WPARAM w : notifications) EXPECT_EQ(HIWORD(w), 1u);
}

TEST_F(CustomControls, TypedValuesAreKeptWithinTheLimits)
{
    spinner = SetupIntSpinner(parent, kSpinId, kEditId, 0, 15, 4);

    Type("99");
    SetFocus(other);  // leaving the edit takes the value
    EXPECT_EQ(TextOf(edit), "15");
    EXPECT_EQ(spinner->GetIVal(), 15);
    ASSERT_EQ(notifications.size(), 1u);

    Type("-3");
    SendMessageA(edit, WM_KEYDOWN, VK_RETURN, 1);  // so does Enter
    EXPECT_EQ(TextOf(edit), "0");
    EXPECT_EQ(spinner->GetIVal(), 0);

    Type("abc");  // not a number: the value stays
    SetFocus(other);
    EXPECT_EQ(TextOf(edit), "0");
    EXPECT_EQ(spinner->GetIVal(), 0);

    // Read before the edit lost its focus, the typed value still counts.
    Type("7");
    EXPECT_EQ(spinner->GetIVal(), 7);
    EXPECT_EQ(TextOf(edit), "7");

    // The arrow keys in the edit step the spinner, from what was typed.
    Type("12");
    SendMessageA(edit, WM_KEYDOWN, VK_UP, 1);
    EXPECT_EQ(spinner->GetIVal(), 13);
    SendMessageA(edit, WM_KEYDOWN, VK_DOWN, 1);
    SendMessageA(edit, WM_KEYDOWN, VK_DOWN, 1);
    EXPECT_EQ(spinner->GetIVal(), 11);
    EXPECT_EQ(TextOf(edit), "11");
}

TEST_F(CustomControls, EnterStaysInTheEdit)
{
    // In a dialog, Enter in a CustEdit takes the value instead of pressing the default button.
    MSG msg = {};
    msg.hwnd = edit;
    msg.message = WM_KEYDOWN;
    msg.wParam = VK_RETURN;
    const LRESULT code = SendMessageA(edit, WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&msg));
    EXPECT_TRUE(code & DLGC_WANTALLKEYS);
    msg.wParam = VK_TAB;
    EXPECT_FALSE(SendMessageA(edit, WM_GETDLGCODE, VK_TAB, reinterpret_cast<LPARAM>(&msg)) & DLGC_WANTALLKEYS);
}

TEST(CenterWindow, CentresOverTheParentInsideTheWorkArea)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 200, 150, 400, 300, nullptr, nullptr,
                                 instance, nullptr);
    HWND box = CreateWindowExA(0, "STATIC", "box", WS_POPUP, 0, 0, 100, 60, owner, nullptr, instance, nullptr);
    ASSERT_TRUE(owner && box);
    CenterWindow(box, owner);
    RECT r;
    GetWindowRect(box, &r);
    EXPECT_EQ(r.left, 200 + (400 - 100) / 2);
    EXPECT_EQ(r.top, 150 + (300 - 60) / 2);
    EXPECT_EQ(r.right - r.left, 100);

    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    SetWindowPos(owner, nullptr, area.right - 50, area.bottom - 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    CenterWindow(box, owner);
    GetWindowRect(box, &r);
    EXPECT_EQ(r.right, area.right) << "kept on the screen";
    EXPECT_EQ(r.bottom, area.bottom);

    ShowWindow(owner, SW_HIDE);  // no visible parent: the work area
    CenterWindow(box, owner);
    GetWindowRect(box, &r);
    EXPECT_EQ(r.left, area.left + (area.right - area.left - 100) / 2);
    DestroyWindow(box);
    DestroyWindow(owner);
}
