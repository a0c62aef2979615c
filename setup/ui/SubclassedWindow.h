// A control whose window procedure is ours: PreSubclassWindow before the hook, WindowProc after it.
#pragma once

#include "Window.h"

namespace ui {

class SubclassedWindow : public Window {
public:
    ~SubclassedWindow() override;
    void Attach(HWND hwnd) override;

protected:
    // Runs once the handle is known, before our procedure is hooked in.
    virtual void PreSubclassWindow() {}
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The control's own processing.
    LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Detach();
    WNDPROC previous_ = nullptr;
};

}  // namespace ui
