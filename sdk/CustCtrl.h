// The host's custom controls: registration of their window classes, and (Windows) their interfaces.
#pragma once

#include "Win32.h"

// Registers the host's custom control window classes for a module; safe to call more than once.
void InitCustomControls(HINSTANCE hInstance);
