// The application object of the installer's framework: starts the common controls and runs InitInstance.
#pragma once

#include <windows.h>

namespace ui {

class App {
public:
    virtual ~App() = default;
    // Starts the application; answers the process exit code.
    int Run(HINSTANCE instance, const char* commandLine);
    HINSTANCE Instance() const { return instance_; }
    const char* CommandLine() const { return commandLine_; }

protected:
    // Does the application's work; false ends the program (a dialog application ends here).
    virtual bool InitInstance() = 0;
    // The exit code once InitInstance has finished.
    virtual int ExitCode() const { return 0; }

private:
    HINSTANCE instance_ = nullptr;
    const char* commandLine_ = "";
};

}  // namespace ui
