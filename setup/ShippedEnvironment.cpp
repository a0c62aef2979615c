// setup.exe as it ships sees the machine and nothing else.
//
// It reads no environment variable: an elevated installer must not be steered by what a process
// of the same user can set beforehand (HKCU\\Environment). The test build's stand-in, which a test
// can point at a fake host, is setup/tests/TestEnvironment.cpp, linked only into setup_seams.exe.
#include "SetupApp.h"

InstallEnvironment EnvironmentFromProcess() { return MachineEnvironment(); }
