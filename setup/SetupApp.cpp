// SetupApp: parses the command line and runs the Setup dialog or the silent install.
#include "SetupApp.h"

#include "CommandLine.h"
#include "SetupDialog.h"
#include "SilentInstall.h"
#include "Text.h"
#include "resource.h"

bool SetupApp::InitInstance()
{
    const SetupOptions options = ParseCommandLine(CommandLine());
    if (options.help && options.error.empty()) {
        ShowUsage(ResourceText(IDS_DEFAULT_TITLE, "Plug-In Installer"));
        exitCode_ = 0;
        return false;
    }
    const InstallEnvironment environment = EnvironmentFromProcess();
    if (options.silent) {
        exitCode_ = RunSilent(options, environment, {});
        return false;
    }
    SetupDialog dialog(nullptr, environment, {}, options.uninstall, options.directory);
    dialog.DoModal();
    return false;
}
