// A small driver for setup.exe's window, used by the screenshot script: waits for the Setup dialog,
// opens its About box through the system menu command, presses a button, and closes windows.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

HWND WaitForWindow(const char* title, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = FindWindowA(nullptr, title)) return window;
        if (GetTickCount() - start > timeoutMs) return nullptr;
        Sleep(100);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: setup_driver wait|about|close TITLE | press TITLE ID\n");
        return 2;
    }
    const std::string command = argv[1];
    HWND window = WaitForWindow(argv[2], 20000);
    if (!window) {
        std::fprintf(stderr, "setup_driver: no window \"%s\"\n", argv[2]);
        return 1;
    }
    if (command == "about") PostMessageA(window, WM_SYSCOMMAND, 16, 0);
    else if (command == "close") PostMessageA(window, WM_CLOSE, 0, 0);
    else if (command == "press" && argc > 3) PostMessageA(window, WM_COMMAND, MAKEWPARAM(std::atoi(argv[3]), BN_CLICKED), 0);
    else if (command != "wait") return 2;
    // Let the window settle before the caller looks at it (a pressed Setup runs the install).
    Sleep(command == "wait" ? 700 : command == "press" ? 2000 : 300);
    return 0;
}
