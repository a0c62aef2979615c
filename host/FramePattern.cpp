// Frame-number patterns and frame ranges, parsed by hand: a user's name is text, never a format.
#include "FramePattern.h"

namespace {

bool ParseFrameNumber(const std::string& text, long& value)
{
    if (text.empty() || text.size() > 8) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

}  // namespace

bool ParseFramePattern(const std::string& text, const char* what, FramePattern& out, std::string& error)
{
    out = FramePattern{};
    const std::string refused = std::string(what) + " '" + text + "': ";
    for (size_t i = 0; i < text.size(); ++i) {
        std::string& part = out.hasField ? out.after : out.before;
        if (text[i] != '%') {
            part += text[i];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '%') {
            part += '%';
            ++i;
            continue;
        }
        int width = 0;
        size_t j = i + 1;
        if (j + 2 < text.size() && text[j] == '0' && text[j + 1] >= '1' && text[j + 1] <= '9' && text[j + 2] == 'd') {
            width = text[j + 1] - '0';
            j += 2;
        } else if (j >= text.size() || text[j] != 'd') {
            error = refused + "the frame number is written %d or %0Nd (N from 1 to 9), and a percent sign %%; '" +
                    text.substr(i, 4) + "' is none of these";
            return false;
        }
        if (out.hasField) {
            error = refused + "more than one frame-number field";
            return false;
        }
        out.hasField = true;
        out.width = width;
        i = j;
    }
    return true;
}

std::string FrameFileName(const FramePattern& pattern, long frame)
{
    if (!pattern.hasField) return pattern.before;
    std::string number = std::to_string(frame);
    if (static_cast<int>(number.size()) < pattern.width) number.insert(0, pattern.width - number.size(), '0');
    return pattern.before + number + pattern.after;
}

bool ParseFrameRange(const std::string& text, long& first, long& last, std::string& error)
{
    const size_t dash = text.find('-');
    const std::string a = text.substr(0, dash), b = dash == std::string::npos ? a : text.substr(dash + 1);
    if (!ParseFrameNumber(a, first) || !ParseFrameNumber(b, last) || first > kMaxFrameNumber ||
        last > kMaxFrameNumber) {
        error = "--frames '" + text + "': give FIRST-LAST or one FRAME, whole numbers from 0 to " +
                std::to_string(kMaxFrameNumber);
        return false;
    }
    if (first > last) {
        error = "--frames '" + text + "': the first frame comes after the last";
        return false;
    }
    if (last - first + 1 > kMaxFrameCount) {
        error = "--frames '" + text + "': " + std::to_string(last - first + 1) + " frames; one run renders at most " +
                std::to_string(kMaxFrameCount);
        return false;
    }
    return true;
}
