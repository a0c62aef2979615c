// The control dialog's preset list: the library's names in a sorted list box.
#include "FilterUi.h"

#include "PresetLibrary.h"

#include <cstring>
#include <string>
#include <vector>

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

bool LoadPresetList(HWND list, const char* path, const char* name)
{
    // In file order: the list box sorts them by the system's rules, names it finds equal as added.
    std::vector<std::string> names;
    if (!ReadPresetNames(path, names)) return false;
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const std::string& itemName : names) {
        const LRESULT added = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(itemName.c_str()));
        if (added == LB_ERR || added == LB_ERRSPACE) break;
    }

    // The name itself when it is there; then, as before, the first item that begins with it.
    const LRESULT exact = FindExact(list, name);
    if (exact != LB_ERR) SendMessageA(list, LB_SETCURSEL, exact, 0);
    else if (*name) SendMessageA(list, LB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(name));
    else SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    return true;
}
