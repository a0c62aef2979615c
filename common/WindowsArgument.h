// An argument in the form the Windows C runtime splits back out of a command line, for the
// programs that write command lines: vphost for its child processes, kcftool for the user.
#pragma once

#include <string>

// text in double quotes, each quote escaped and the backslashes before a quote (or before the
// closing one) doubled, so that the C runtime reads back exactly text.
inline std::string QuotedWindowsArgument(const std::string& text)
{
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}
