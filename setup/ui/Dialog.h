// The dialog base of the installer's framework: modal loop with PreTranslateMessage, the
// OnInitDialog/OnCancel/DoDataExchange hooks and control binding.
#pragma once

#include "Window.h"

#include <vector>

namespace ui {

class Dialog;

// Binds dialog controls to their wrappers; one pass per UpdateData.
class DataExchange {
public:
    DataExchange(Dialog& dialog, bool save) : dialog_(dialog), save_(save) {}
    void Control(int id, Window& control);
    bool Saving() const { return save_; }

private:
    Dialog& dialog_;
    bool save_;
};

class Dialog : public Window {
public:
    Dialog(int templateId, HWND parent);
    ~Dialog() override;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally and answers the value given to EndDialog.
    INT_PTR DoModal();
    // Creates the dialog without running it (it stays hidden); tests drive it by messages.
    bool Create();
    void EndDialog(INT_PTR result);
    bool UpdateData(bool save);
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual void DoDataExchange(DataExchange&) {}
    // A WM_COMMAND; true when handled.
    virtual bool OnCommand(int id, int code, HWND control);
    // Any other message; true with a result when handled.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);

private:
    friend class DataExchange;
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool PreTranslate(MSG& message);

    int templateId_;
    HWND parent_;
    bool modal_ = false;
    bool ended_ = false;
    INT_PTR result_ = 0;
    std::vector<Window*> bound_;
};

}  // namespace ui
