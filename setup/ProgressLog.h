// Where the install's progress lines go: the Setup dialog's list box, the silent log, or a test.
#pragma once

#include <string>

class ProgressLog {
public:
    virtual ~ProgressLog() = default;
    virtual void AddLine(const std::string& line) = 0;
};
