// The platform's file-open dialog, asked for one existing or new file name.
#pragma once

#include "../Desktop.h"

namespace ui {

// True with the chosen full path; false when cancelled or when the choice does not fit.
bool RunFileOpenDialog(HWND owner, const OpenFileRequest& request, std::string& chosen);

// "Name|*.ext|...||" as the platform wants it: each '|' a terminator.
std::string FilterForPlatform(const char* filter);

}  // namespace ui
