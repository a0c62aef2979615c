// The About box and the platform's message box, as the user meets them.
#include "DialogDriver.h"
#include "FilterUi.h"
#include "Messages.h"
#include "Resource.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

constexpr const char* kAboutCaption = "About Kernelcraft Filter";

INT_PTR RunAbout()
{
    KernelFilter filter;
    return RunAboutBox(nullptr, &filter);
}

BOOL CALLBACK CollectChild(HWND child, LPARAM out)
{
    reinterpret_cast<std::vector<HWND>*>(out)->push_back(child);
    return TRUE;
}

std::vector<HWND> Children(HWND window)
{
    std::vector<HWND> children;
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

}  // namespace

TEST(AboutBox, EndsWithOneOnOkAndZeroOnEscape)
{
    EXPECT_EQ(DriveDialog(kAboutCaption, RunAbout, [](HWND d) { Click(d, IDOK); }), 1);
    EXPECT_EQ(DriveDialog(kAboutCaption, RunAbout,
                          [](HWND d) {
                              // The Escape key, through the dialog's own keyboard handling.
                              HWND focus = GetFocus();
                              ASSERT_TRUE(focus == d || IsChild(d, focus));
                              PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 1);
                              PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0000001);
                          }),
              0);
    EXPECT_EQ(DriveDialog(kAboutCaption, RunAbout,
                          [](HWND) {
                              HWND focus = GetFocus();
                              PostMessageA(focus, WM_KEYDOWN, VK_RETURN, 1);  // the default button
                          }),
              1);
}

TEST(AboutBox, Layout)
{
    DriveDialog(kAboutCaption, RunAbout, [](HWND d) {
        RECT client, units = {0, 0, 190, 125};
        GetClientRect(d, &client);
        MapDialogRect(d, &units);
        EXPECT_EQ(client.right, units.right);
        EXPECT_EQ(client.bottom, units.bottom);
        EXPECT_EQ(GetWindowLongA(GetDlgItem(d, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        EXPECT_EQ(ItemText(d, IDOK), "OK");

        std::vector<std::string> lines;
        int logos = 0, frames = 0;
        for (HWND child : Children(d)) {
            char cls[32] = "";
            GetClassNameA(child, cls, sizeof cls);
            const LONG style = GetWindowLongA(child, GWL_STYLE);
            if (lstrcmpiA(cls, "Static") == 0 && (style & SS_TYPEMASK) == SS_BITMAP) {
                ++logos;
                int w = 0, h = 0;
                BitmapPixels(reinterpret_cast<HBITMAP>(SendMessageA(child, STM_GETIMAGE, IMAGE_BITMAP, 0)), w, h);
                EXPECT_EQ(w, 130);
                EXPECT_EQ(h, 33);
            } else if (lstrcmpiA(cls, "Static") == 0 && (style & SS_TYPEMASK) == SS_CENTER) {
                lines.push_back(Text(child));
            } else if (lstrcmpiA(cls, "Button") == 0 && (style & BS_TYPEMASK) == BS_GROUPBOX) {
                ++frames;
                EXPECT_EQ(Text(child), "") << "a frame without text";
            }
        }
        EXPECT_EQ(logos, 1);
        EXPECT_EQ(frames, 1);
        ASSERT_EQ(lines.size(), 6u) << "name, version and four lines of the maker";
        EXPECT_EQ(lines[0], "Kernelcraft Filter");
        EXPECT_EQ(lines[1], "Version 1.1");
        Click(d, IDOK);
    });
}

TEST(PlatformMessage, OneOkButtonOwnedByTheActiveWindowWithTheTextCut)
{
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 50, 50, 200, 100, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    SetActiveWindow(owner);
    const std::string longPath(400, 'p');
    DriveDialog(
        "Error",
        [&] {
            ShowMessage("Error", "Can't open file: %s", longPath.c_str());
            return INT_PTR{0};
        },
        [&](HWND box) {
            EXPECT_EQ(GetWindow(box, GW_OWNER), owner);
            std::vector<std::string> texts;
            int buttons = 0;
            for (HWND child : Children(box)) {
                char cls[32] = "";
                GetClassNameA(child, cls, sizeof cls);
                if (lstrcmpiA(cls, "Button") == 0 && IsWindowVisible(child)) {
                    ++buttons;
                    EXPECT_EQ(Text(child), "OK");
                } else if (lstrcmpiA(cls, "Static") == 0) {
                    texts.push_back(Text(child));
                }
            }
            EXPECT_EQ(buttons, 1);
            EXPECT_NE(std::find(texts.begin(), texts.end(), ("Can't open file: " + longPath).substr(0, 255)),
                      texts.end());
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        });
    DestroyWindow(owner);
}
