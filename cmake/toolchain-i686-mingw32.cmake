# Cross-compiles for 32-bit Windows with the win32-thread mingw-w64 compilers; tests run under Wine.
# The win32 thread model: libstdc++ and libgcc lock and keep thread data through the Win32 API
# itself. The posix model links winpthreads, which imports GetTickCount64 (Vista) and the vectored
# exception handlers (XP), so that Windows 2000 and XP refuse to load the module.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
