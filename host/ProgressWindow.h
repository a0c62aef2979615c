// The Video Post progress window a filter reports to while it renders: answers the progress and
// check-abort messages, can ask for abort at a given row, and shows a progress bar on a terminal.
#pragma once

#include "Win32.h"

#include <vector>

class ProgressWindow {
public:
    ProgressWindow();
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    HWND Handle() const { return handle_; }

    int abortAtRow = -1;      // answer "abort" to the check-abort query of this row
    bool showBar = false;     // draw rows done / rows in all on standard error
    std::vector<int> progressRows;  // wParam of every progress message, in order
    int checkAbortQueries = 0;

    // The message handling, shared by both platforms' window procedures.
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);

private:
    void DrawBar(int row, int lastRow);
    HWND handle_ = nullptr;
    int currentRow_ = -1;
};
