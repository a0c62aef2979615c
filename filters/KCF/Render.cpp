// The render driver: one frame of the host's Video Post through the convolution engine.
#include "KernelFilter.h"

BOOL KernelFilter::Render(HWND) { return srcmap ? TRUE : FALSE; }
