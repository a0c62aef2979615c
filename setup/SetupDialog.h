// The Setup dialog: product caption, host versions, program path, Browse, progress list, Setup and Exit.
#pragma once

#include "InstallScript.h"
#include "ui/LinkStatic.h"
#include "ui/Dialog.h"

#include <string>

class SetupDialog : public ui::Dialog {
public:
    // Posted when the dialog opens for uninstall: ask, then undo the install with its lines listed.
    static constexpr UINT kStartUninstall = WM_APP + 1;

    // The script is looked for in scriptDirectory, or as FindScriptDirectory has it when it is
    // empty. With uninstall, the dialog asks at once whether to uninstall from the host it picks, or
    // says that nothing of the package is there and closes.
    // A given directory is bound as /S /D= binds it.
    SetupDialog(HWND parent, InstallEnvironment environment, std::string scriptDirectory = {}, bool uninstall = false,
                std::string directory = {});

    InstallScript& Script() { return script_; }
    LinkStatic& Logo() { return logo_; }
    const ui::ListBox& Progress() const { return progress_; }
    const ui::ComboBox& Versions() const { return versions_; }
    HICON Icon() const { return icon_; }

protected:
    void DoDataExchange(ui::DataExchange& exchange) override;
    BOOL OnInitDialog() override;
    void OnCancel() override { ui::Dialog::OnCancel(); }
    bool OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    // The versions found, with the entry of the bound host selected; enabled only for a script that
    // lets the user choose.
    void FillVersionList();
    // Binds the selected version's host and shows its program path; a host that no longer opens
    // leaves the binding, and the selection, where they were.
    void ApplySelection();
    // The file-open dialog for a host's 3DSMAX.INI: its folder is bound, the version stays.
    void Browse();
    void OnSetup();
    void OnUninstall();
    // After one install or uninstall: Setup stays disabled, the keyboard goes to Exit.
    void Done();
    void PaintMinimized();

    LinkStatic logo_;
    ui::ListBox progress_;
    ui::ComboBox versions_;
    InstallScript script_;
    std::string scriptDirectory_;
    bool uninstall_;
    std::string directory_;
    HICON icon_;
};

// Progress lines into a list box, in the order added.
class ListBoxLog : public ProgressLog {
public:
    explicit ListBoxLog(const ui::ListBox& list) : list_(list) {}
    void AddLine(const std::string& line) override;

private:
    const ui::ListBox& list_;
};
