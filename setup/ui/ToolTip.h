// A tooltip control with the few operations a link control needs.
#pragma once

#include <windows.h>

#include <string>

namespace ui {

class ToolTip {
public:
    ToolTip() = default;
    ~ToolTip();
    ToolTip(const ToolTip&) = delete;
    ToolTip& operator=(const ToolTip&) = delete;

    bool Create(HWND owner);
    bool AddTool(HWND window, UINT id, const RECT& area, const std::string& text);
    void UpdateTipText(HWND window, UINT id, const std::string& text);
    void RelayEvent(MSG& message);
    std::string TipText(HWND window, UINT id) const;
    HWND Handle() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

}  // namespace ui
