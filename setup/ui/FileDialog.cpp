// File-open dialog through GetOpenFileName.
#include "FileDialog.h"

#include <commdlg.h>

#include <cstring>

namespace ui {

std::string FilterForPlatform(const char* filter)
{
    std::string converted = filter ? filter : "";
    for (char& c : converted)
        if (c == '|') c = '\0';
    converted += '\0';
    return converted;
}

bool RunFileOpenDialog(HWND owner, const OpenFileRequest& request, std::string& chosen)
{
    char file[MAX_PATH] = "";
    if (request.initialName) lstrcpynA(file, request.initialName, sizeof file);
    const std::string filter = FilterForPlatform(request.filter);
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrDefExt = request.defaultExtension;
    ofn.Flags = request.flags | OFN_EXPLORER;
    if (!GetOpenFileNameA(&ofn)) return false;
    chosen = file;
    return true;
}

}  // namespace ui
