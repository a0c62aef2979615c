// A static control that behaves as a web link: blue underlined text, hand cursor, tooltip, opens on click.
#pragma once

#include "SubclassedWindow.h"
#include "ToolTip.h"

#include <string>

class LinkStatic : public ui::SubclassedWindow {
public:
    LinkStatic() = default;
    ~LinkStatic() override;

    void SetURL(const std::string& url);
    const std::string& URL() const { return url_; }
    // Opens the link with the shell; a failure only beeps.
    void OpenLink() const;
    // Shrinks a text static to its text, keeping its alignment.
    void ResizeToText();

    bool PreTranslateMessage(MSG& message) override;
    HBRUSH OnReflectedColor(HDC dc) override;
    const ui::ToolTip& Tip() const { return tip_; }
    static HCURSOR HandCursor() { return handCursor; }

protected:
    void PreSubclassWindow() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static void LoadHandCursor();

    std::string url_;
    HFONT underlined_ = nullptr;
    ui::ToolTip tip_;
    static HCURSOR handCursor;  // one per process, loaded once and kept
    static bool handCursorTried;
};
