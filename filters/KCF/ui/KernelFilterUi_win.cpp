// The platform's own controls that the filter's dialogs use, initialised once at load.
#include "Module.h"

#include <commctrl.h>

void InitPlatformControls() { InitCommonControls(); }
