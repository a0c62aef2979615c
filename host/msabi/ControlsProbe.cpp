// The custom controls of the SDK stand-in, exported as the host's core library exports them, so that the conformance host can call their interfaces.
#include "CustCtrl.h"

#define PROBE_EXPORT extern "C" __declspec(dllexport)

PROBE_EXPORT void ProbeInitCustomControls(HINSTANCE instance) { InitCustomControls(instance); }
PROBE_EXPORT ICustEdit* ProbeGetICustEdit(HWND control) { return GetICustEdit(control); }
PROBE_EXPORT void ProbeReleaseICustEdit(ICustEdit* edit) { ReleaseICustEdit(edit); }
PROBE_EXPORT ISpinnerControl* ProbeGetISpinner(HWND control) { return GetISpinner(control); }
PROBE_EXPORT void ProbeReleaseISpinner(ISpinnerControl* spinner) { ReleaseISpinner(spinner); }
