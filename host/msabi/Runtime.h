// The conformance host's whole runtime: the few system calls it makes, and text output, without a C library.
#pragma once

typedef unsigned int size_t;
typedef int INT_PTR_T;
struct HWND__;
typedef HWND__* HWND;
typedef void* HMODULE;
typedef void* HANDLE;
typedef long LRESULT_T;
typedef unsigned int WPARAM_T;
typedef long LPARAM_T;
typedef LRESULT_T(__stdcall* WNDPROC_T)(HWND, unsigned, WPARAM_T, LPARAM_T);

struct WndClassA {
    unsigned style;
    WNDPROC_T lpfnWndProc;
    int cbClsExtra, cbWndExtra;
    HMODULE hInstance;
    void *hIcon, *hCursor, *hbrBackground;
    const char* lpszMenuName;
    const char* lpszClassName;
};

struct ExceptionRecord {
    unsigned code, flags;
    ExceptionRecord* next;
    void* address;
};
struct ExceptionPointers {
    ExceptionRecord* record;
    void* context;
};

struct OsVersionInfoA {
    unsigned long size, major, minor, build, platform;
    char servicePack[128];
};

extern "C" {
#define KCF_IMPORT __declspec(dllimport)
KCF_IMPORT HMODULE __stdcall LoadLibraryA(const char* name);
KCF_IMPORT int __stdcall FreeLibrary(HMODULE module);
KCF_IMPORT void* __stdcall GetProcAddress(HMODULE module, const char* name);
KCF_IMPORT HMODULE __stdcall GetModuleHandleA(const char* name);
KCF_IMPORT void __stdcall ExitProcess(unsigned code);
KCF_IMPORT HANDLE __stdcall GetStdHandle(unsigned long which);
KCF_IMPORT int __stdcall WriteFile(HANDLE file, const void* data, unsigned long size, unsigned long* written, void* overlapped);
KCF_IMPORT char* __stdcall GetCommandLineA();
KCF_IMPORT HANDLE __stdcall GetProcessHeap();
KCF_IMPORT void* __stdcall HeapAlloc(HANDLE heap, unsigned long flags, size_t bytes);
KCF_IMPORT int __stdcall HeapFree(HANDLE heap, unsigned long flags, void* block);
KCF_IMPORT int __stdcall VirtualProtect(void* address, size_t size, unsigned long protect, unsigned long* old);
KCF_IMPORT unsigned long __stdcall GetVersion();
KCF_IMPORT int __stdcall GetVersionExA(OsVersionInfoA* info);
KCF_IMPORT void* __stdcall AddVectoredExceptionHandler(unsigned long first, long(__stdcall* handler)(ExceptionPointers*));
KCF_IMPORT unsigned short __stdcall RegisterClassA(const WndClassA* wc);
KCF_IMPORT HWND __stdcall CreateWindowExA(unsigned long exStyle, const char* className, const char* name, unsigned long style,
                                          int x, int y, int w, int h, HWND parent, void* menu, HMODULE instance, void* param);
KCF_IMPORT int __stdcall DestroyWindow(HWND window);
KCF_IMPORT LRESULT_T __stdcall DefWindowProcA(HWND window, unsigned msg, WPARAM_T wParam, LPARAM_T lParam);

void* memset(void* dest, int value, size_t count);
void* memcpy(void* dest, const void* src, size_t count);
int memcmp(const void* a, const void* b, size_t count);
}

namespace rt {
int StrCmp(const char* a, const char* b);
size_t StrLen(const char* s);
// Writes to standard output: text, a decimal number, a hexadecimal number.
void Print(const char* text);
void PrintInt(long value);
void PrintHex(unsigned long value);
}  // namespace rt
