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

// The machine's registry and folders: records below the common application data folder, the
// package listed under HKEY_LOCAL_MACHINE's Uninstall key.
InstallEnvironment MachineEnvironment();
// What setup.exe runs on: the machine's (ShippedEnvironment.cpp), or in the test build
// setup_seams.exe a fake host that a test names (tests/TestEnvironment.cpp).
InstallEnvironment EnvironmentFromProcess();
