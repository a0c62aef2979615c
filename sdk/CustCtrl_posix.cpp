// Outside Windows there are no windows to register.
#include "CustCtrl.h"

void InitCustomControls(HINSTANCE) {}
void ReleaseCustomControls(HINSTANCE) {}
