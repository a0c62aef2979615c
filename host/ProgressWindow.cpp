// The progress window's answers to a rendering filter.
#include "ProgressWindow.h"

#include "ImageFilter.h"

#include <cstdio>

LRESULT ProgressWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == FLT_PROGRESS) {
        currentRow_ = static_cast<int>(wParam);
        progressRows.push_back(currentRow_);
        if (showBar) DrawBar(currentRow_, static_cast<int>(lParam));
        return 0;
    }
    if (msg == FLT_CHECKABORT) {
        ++checkAbortQueries;
        if (abortAtRow >= 0 && currentRow_ == abortAtRow && lParam) *reinterpret_cast<BOOL*>(lParam) = TRUE;
        return 0;
    }
    return 0;
}

void ProgressWindow::DrawBar(int row, int lastRow)
{
    const int total = lastRow + 1;
    if (total <= 0) return;
    const int done = row + 1;
    // Redraw only when the bar moves, so that tall frames do not flood the terminal.
    const int width = 40;
    const int filled = static_cast<int>(static_cast<long long>(done) * width / total);
    const int before = static_cast<int>(static_cast<long long>(row) * width / total);
    if (row != 0 && done != total && filled == before) return;
    char bar[width + 1];
    for (int i = 0; i < width; ++i) bar[i] = i < filled ? '#' : '.';
    bar[width] = '\0';
    std::fprintf(stderr, "\rrendering [%s] %d/%d rows", bar, done, total);
    if (done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
}
