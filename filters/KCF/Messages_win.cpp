// On Windows a message is a modal message box with one OK button, owned by the active window.
#include "Messages.h"

#include <windows.h>

void PlatformShowMessage(const char* text, const char* caption)
{
    MessageBoxA(GetActiveWindow(), text, caption, MB_OK);
}
