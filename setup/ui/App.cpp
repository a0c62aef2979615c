// Application start: common controls, then the application's own InitInstance.
#include "App.h"

#include <commctrl.h>

namespace ui {

int App::Run(HINSTANCE instance, const char* commandLine)
{
    instance_ = instance;
    commandLine_ = commandLine ? commandLine : "";
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    try {
        InitInstance();
    } catch (...) {
        return 3;
    }
    return ExitCode();
}

}  // namespace ui
