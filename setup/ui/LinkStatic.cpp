// LinkStatic: attach (underlined font, hand cursor, tooltip), colours, clicks and resizing.
#include "LinkStatic.h"

#include "Desktop.h"
#include "Text.h"
#include "resource.h"

HCURSOR LinkStatic::handCursor = nullptr;
bool LinkStatic::handCursorTried = false;

LinkStatic::~LinkStatic()
{
    if (underlined_) DeleteObject(underlined_);
}

void LinkStatic::LoadHandCursor()
{
    if (handCursorTried) return;
    handCursorTried = true;
    char windows[kMaxText + 1] = "";
    const UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length > 0 && length < sizeof windows) {
        const std::string help = std::string(windows) + "\\winhlp32.exe";
        if (Fits(help)) {
            if (HMODULE module = LoadLibraryExA(help.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
                if (HCURSOR cursor = LoadCursorA(module, MAKEINTRESOURCEA(106)))
                    handCursor = CopyCursor(cursor);
                FreeLibrary(module);
            }
        }
    }
    // Where the help viewer brings no hand, the system's own is the same picture.
    if (!handCursor) handCursor = LoadCursorA(nullptr, IDC_HAND);
}

void LinkStatic::PreSubclassWindow()
{
    if (url_.empty()) url_ = Text();

    // Clicks and the cursor message reach a static control only when it notifies.
    SetWindowLongPtrA(hwnd_, GWL_STYLE, GetWindowLongPtrA(hwnd_, GWL_STYLE) | SS_NOTIFY);

    if (HFONT font = reinterpret_cast<HFONT>(SendMessageA(hwnd_, WM_GETFONT, 0, 0))) {
        LOGFONTA description{};
        if (GetObjectA(font, sizeof description, &description)) {
            description.lfUnderline = TRUE;
            if (underlined_) DeleteObject(underlined_);
            underlined_ = CreateFontIndirectA(&description);
            if (underlined_) SendMessageA(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(underlined_), TRUE);
        }
    }

    LoadHandCursor();

    if (tip_.Create(hwnd_)) {
        RECT area{};
        GetClientRect(hwnd_, &area);
        tip_.AddTool(hwnd_, IDC_TOOL, area, url_);
    }
}

void LinkStatic::SetURL(const std::string& url)
{
    url_ = url;
    if (!hwnd_ || !IsWindow(hwnd_)) return;
    ShowWindow(hwnd_, SW_HIDE);
    const LONG_PTR style = GetWindowLongPtrA(hwnd_, GWL_STYLE);
    // Left-aligned and centered text statics only: pictures and right-aligned text keep their size.
    if ((style & (0x2 | 0x4 | 0x8)) == 0) ResizeToText();
    tip_.UpdateTipText(hwnd_, IDC_TOOL, url_);
    ShowWindow(hwnd_, SW_SHOW);
}

void LinkStatic::ResizeToText()
{
    const std::string text = Text();
    HDC dc = GetDC(hwnd_);
    if (!dc) return;
    HGDIOBJ old = underlined_ ? SelectObject(dc, underlined_) : nullptr;
    SIZE extent{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    if (old) SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);

    RECT client{};
    GetClientRect(hwnd_, &client);
    RECT outer{};
    GetWindowRect(hwnd_, &outer);
    MapWindowPoints(nullptr, GetParent(hwnd_), reinterpret_cast<POINT*>(&outer), 2);
    const int borderX = ((outer.right - outer.left) - (client.right - client.left)) / 2;
    const int borderY = ((outer.bottom - outer.top) - (client.bottom - client.top)) / 2;
    RECT area{outer.left + borderX, outer.top + borderY, outer.right - borderX, outer.bottom - borderY};

    const LONG_PTR style = GetWindowLongPtrA(hwnd_, GWL_STYLE);
    const int height = area.bottom - area.top;
    if (style & SS_CENTERIMAGE) {
        const int shrink = (height - extent.cy) / 2;
        area.top += shrink;
        area.bottom -= shrink;
    } else {
        area.bottom = area.top + extent.cy;
    }
    const int width = area.right - area.left;
    if (style & SS_CENTER) {
        const int shrink = (width - extent.cx) / 2;
        area.left += shrink;
        area.right -= shrink;
    } else if (style & SS_RIGHT) {
        area.left = area.right - extent.cx;
    } else {
        area.right = area.left + extent.cx;
    }
    MoveWindow(hwnd_, area.left - borderX, area.top - borderY, (area.right - area.left) + 2 * borderX,
               (area.bottom - area.top) + 2 * borderY, TRUE);
}

void LinkStatic::OpenLink() const
{
    if (CurrentDesktop().OpenWithShell(nullptr, "open", url_, nullptr, SW_SHOW) <= 32)
        CurrentDesktop().Beep(MB_ICONEXCLAMATION);
}

bool LinkStatic::PreTranslateMessage(MSG& message)
{
    tip_.RelayEvent(message);
    return false;
}

HBRUSH LinkStatic::OnReflectedColor(HDC dc)
{
    SetTextColor(dc, RGB(0, 0, 255));
    SetBkMode(dc, TRANSPARENT);
    return static_cast<HBRUSH>(GetStockObject(HOLLOW_BRUSH));
}

LRESULT LinkStatic::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETCURSOR:
        if (handCursor) {
            SetCursor(handCursor);
            return TRUE;
        }
        break;
    case WM_LBUTTONDOWN:
        OpenLink();
        break;
    default:
        break;
    }
    return Default(message, wParam, lParam);
}
