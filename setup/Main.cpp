// setup.exe's entry point.
#include "SetupApp.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    SetupApp app;
    return app.Run(instance, commandLine);
}
