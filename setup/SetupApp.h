// The installer's application object: the Setup dialog, or a silent install for /S.
#pragma once

#include "InstallScript.h"
#include "ui/App.h"

class SetupApp : public ui::App {
protected:
    bool InitInstance() override;
    int ExitCode() const override { return exitCode_; }

private:
    int exitCode_ = 0;
};

// The machine's registry and folders (records below the common application data folder, the
// package listed under HKEY_LOCAL_MACHINE's Uninstall key), unless KCF_SETUP_HOST_REGISTRY names a
// key under HKEY_CURRENT_USER whose "machine" and "user" subkeys stand in for HKEY_LOCAL_MACHINE
// and HKEY_CURRENT_USER in host discovery, and whose "uninstall" subkey stands in for the Uninstall
// key; KCF_SETUP_RECORD_DIR then names the records' folder. The end-to-end tests and the screenshot
// script use them to show setup.exe a fake host without touching the machine's own keys.
InstallEnvironment EnvironmentFromProcess();
