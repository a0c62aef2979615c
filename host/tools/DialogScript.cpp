// dialogscript: works a dialog of another program from the command line, so that scripts can pose
// the filter's dialogs for screenshots. Windows only.
//
//   dialogscript CAPTION STEP...   with STEP one of
//     select ID TEXT   select the list box item TEXT, as a click on it does
//     click ID         press the button ID
//     text ID TEXT     put TEXT into the control ID
//     wait MS          let the dialog work for MS milliseconds
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int Fail(const std::string& message)
{
    std::fprintf(stderr, "dialogscript: %s\n", message.c_str());
    return 1;
}

HWND FindDialog(const char* caption)
{
    for (int i = 0; i < 300; ++i) {
        if (HWND found = FindWindowA("#32770", caption); found && IsWindowVisible(found)) return found;
        Sleep(100);
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: dialogscript CAPTION (select ID TEXT | click ID | text ID TEXT | wait MS)...\n");
        return 2;
    }
    HWND dialog = FindDialog(argv[1]);
    if (!dialog) return Fail(std::string("no dialog \"") + argv[1] + "\" within 30 seconds");
    for (int i = 2; i < argc; ++i) {
        const std::string step = argv[i];
        if (i + 1 >= argc) return Fail("missing value after " + step);
        const int id = std::atoi(argv[++i]);
        HWND control = GetDlgItem(dialog, id);
        if (step == "wait") {
            Sleep(static_cast<DWORD>(id));
        } else if (!control) {
            return Fail("no control " + std::to_string(id));
        } else if (step == "click") {
            SendMessageA(control, BM_CLICK, 0, 0);
        } else if (step == "text" && i + 1 < argc) {
            SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[++i]));
        } else if (step == "select" && i + 1 < argc) {
            const std::string text = argv[++i];
            const LRESULT item = SendMessageA(control, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                              reinterpret_cast<LPARAM>(text.c_str()));
            if (item == LB_ERR) return Fail("no item \"" + text + "\" in list " + std::to_string(id));
            SendMessageA(control, LB_SETCURSEL, item, 0);
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(control));
        } else {
            return Fail("unknown step " + step);
        }
    }
    return 0;
}
