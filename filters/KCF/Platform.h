// What differs between the Windows module and the native one, in one place.
#pragma once

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
constexpr bool kWindowsCommandLine = true;  // words quoted for the C runtime's argument rules
#else
constexpr char kPathSeparator = '/';
constexpr bool kWindowsCommandLine = false;  // words quoted for a POSIX shell
#endif
