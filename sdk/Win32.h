// The few Win32 names the filter's portable code uses: the real ones on Windows, a small stand-in elsewhere.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdint>

typedef int BOOL;
typedef unsigned int UINT;
typedef unsigned long ULONG;
typedef unsigned long DWORD;
typedef unsigned short WORD;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef char TCHAR;
typedef void* HINSTANCE;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
#define WM_USER 0x0400

// A window, as far as a plug-in sees one: something that answers messages. The host that owns
// the window fills in proc; SendMessageA calls it synchronously, as Windows does.
struct HWND__;
typedef HWND__* HWND;
typedef LRESULT (*WindowProc)(HWND, UINT, WPARAM, LPARAM);
struct HWND__ {
    WindowProc proc;
    void* user;
};

inline LRESULT SendMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return hWnd && hWnd->proc ? hWnd->proc(hWnd, msg, wParam, lParam) : 0;
}
#endif
