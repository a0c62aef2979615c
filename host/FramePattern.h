// Frame sequences for vphost: file-name patterns with one frame-number field, and frame ranges.
#pragma once

#include <string>

// The frame numbers vphost takes, and the most frames one run renders.
constexpr long kMaxFrameNumber = 99999999;
constexpr long kMaxFrameCount = 100000;

// A file name with at most one frame-number field: "%d" (the number as it is) or "%0Nd" (padded
// with zeros to N digits, N from 1 to 9). "%%" stands for one percent sign; every other '%' is
// refused, so that a name never reaches a formatting function as a format.
struct FramePattern {
    std::string before, after;  // the text around the field, with "%%" already made '%'
    int width = 0;              // 0 for "%d"
    bool hasField = false;
};

// Parses text; what names the option in the message. A pattern without a field is accepted
// (every frame then names the same file); the caller refuses it where a field is needed.
bool ParseFramePattern(const std::string& text, const char* what, FramePattern& out, std::string& error);
// The file name of one frame.
std::string FrameFileName(const FramePattern& pattern, long frame);

// "FIRST-LAST" or "FRAME": whole numbers 0..kMaxFrameNumber, FIRST <= LAST, at most
// kMaxFrameCount frames.
bool ParseFrameRange(const std::string& text, long& first, long& last, std::string& error);
