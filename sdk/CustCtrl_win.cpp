// The host's custom controls on Windows.
#include "CustCtrl.h"

void InitCustomControls(HINSTANCE) {}
