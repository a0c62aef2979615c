// Outside Windows the filter has no dialogs: the About box and the control dialog do nothing.
#include "KernelFilter.h"
#include "Module.h"

void KernelFilter::ShowAbout(HWND) {}

BOOL KernelFilter::ShowControl(HWND) { return FALSE; }

void InitPlatformControls() {}
