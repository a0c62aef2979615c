// The control dialog's preset list: the library's names in a sorted list box.
#include "FilterUi.h"

#include "PresetLibrary.h"

#include <cstring>

namespace {

// The item whose text is exactly name (case matters), or LB_ERR.
LRESULT FindExact(HWND list, const char* name)
{
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    char text[kNameChars];
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, i, 0);
        if (length < 0 || length >= kNameChars) continue;
        if (SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text)) == LB_ERR) continue;
        if (std::strcmp(text, name) == 0) return i;
    }
    return LB_ERR;
}

}  // namespace

int LoadPresetList(HWND list, const char* path, const char* name)
{
    FILE* file = OpenPresetLibrary(path);
    if (!file) return 0;
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    char itemName[kNameChars];
    KernelRecord scratch = DefaultKernelRecord();
    while (ReadPreset(file, itemName, &scratch)) {
        const LRESULT added = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(itemName));
        if (added == LB_ERR || added == LB_ERRSPACE) break;
    }
    std::fclose(file);

    // The name itself when it is there; then, as before, the first item that begins with it.
    const LRESULT exact = FindExact(list, name);
    if (exact != LB_ERR) SendMessageA(list, LB_SETCURSEL, exact, 0);
    else if (*name) SendMessageA(list, LB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(name));
    else SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    return 1;
}
