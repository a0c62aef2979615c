// A program that breaks the platform rules on purpose, so that the platform checks are seen to fail.
#include <windows.h>

extern "C" __declspec(dllimport) ULONGLONG WINAPI GetTickCount64();  // first in Windows Vista

int main()
{
    asm volatile("pxor %xmm0, %xmm0");  // SSE2, outside the engine's dispatched objects
    return static_cast<int>(GetTickCount64() & 1);
}
