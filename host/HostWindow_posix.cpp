// Outside Windows the host has no main window and filters show no dialogs.
#include "HostWindow.h"

HostWindow::HostWindow(const char*) {}
HostWindow::~HostWindow() = default;
bool HostWindow::Available() { return false; }
