// The progress window natively: the SDK's stand-in window, whose procedure is ours.
#include "ProgressWindow.h"

namespace {

LRESULT Procedure(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return static_cast<ProgressWindow*>(hWnd->user)->OnMessage(msg, wParam, lParam);
}

}  // namespace

ProgressWindow::ProgressWindow() : handle_(new HWND__{Procedure, this}) {}

ProgressWindow::~ProgressWindow() { delete handle_; }
