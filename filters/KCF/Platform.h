// What differs between the Windows module and the native one, in one place.
#pragma once

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif
