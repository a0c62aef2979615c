// Tooltip control: creation, one tool per id, relayed mouse messages.
#include "ToolTip.h"

#include <commctrl.h>

namespace ui {

namespace {
TOOLINFOA MakeInfo(HWND window, UINT id, const char* text)
{
    TOOLINFOA info{};
    info.cbSize = TTTOOLINFOA_V2_SIZE;  // understood by every version of the common controls
    info.hwnd = window;
    info.uId = id;
    info.lpszText = const_cast<char*>(text);
    return info;
}
}  // namespace

ToolTip::~ToolTip()
{
    if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
}

bool ToolTip::Create(HWND owner)
{
    hwnd_ = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, GetModuleHandleA(nullptr), nullptr);
    return hwnd_ != nullptr;
}

bool ToolTip::AddTool(HWND window, UINT id, const RECT& area, const std::string& text)
{
    TOOLINFOA info = MakeInfo(window, id, text.c_str());
    info.rect = area;
    return SendMessageA(hwnd_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info)) != FALSE;
}

void ToolTip::UpdateTipText(HWND window, UINT id, const std::string& text)
{
    TOOLINFOA info = MakeInfo(window, id, text.c_str());
    SendMessageA(hwnd_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&info));
}

void ToolTip::RelayEvent(MSG& message)
{
    if (hwnd_) SendMessageA(hwnd_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&message));
}

std::string ToolTip::TipText(HWND window, UINT id) const
{
    char text[512] = "";
    TOOLINFOA info = MakeInfo(window, id, text);
    SendMessageA(hwnd_, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&info));
    return text;
}

}  // namespace ui
