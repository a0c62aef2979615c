// The filter's dialogs on Windows.
#include "KernelFilter.h"
#include "Module.h"

#include <commctrl.h>

void InitPlatformControls() { InitCommonControls(); }

void KernelFilter::ShowAbout(HWND) {}

BOOL KernelFilter::ShowControl(HWND) { return FALSE; }
