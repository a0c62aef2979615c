// Text and path helpers of the installer: joins, code-page aware separators, splitting and numbers;
// the platform's part (case, code pages, the file system) is in Text_win.cpp and Text_posix.cpp.
#include "Text.h"

#include <algorithm>

#include <cctype>
#include <cstdlib>

namespace {

// Start offset of every character of the text, walking DBCS lead and trail bytes as one character.
template <typename Visit>
void ForEachChar(const std::string& text, CodePage codePage, Visit visit)
{
    size_t i = 0;
    while (i < text.size()) {
        const size_t step =
            (IsLeadByte(codePage, static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
        visit(i, step);
        i += step;
    }
}

// Offset just past the last '\\' or '/' character, or past "X:" when there is none; 0 when neither.
size_t DirectoryEnd(const std::string& path, CodePage codePage)
{
    size_t end = 0;
    if (path.size() >= 2 && path[1] == ':' && !IsLeadByte(codePage, static_cast<unsigned char>(path[0]))) end = 2;
    ForEachChar(path, codePage, [&](size_t at, size_t step) {
        if (step == 1 && (path[at] == '\\' || path[at] == '/')) end = at + 1;
    });
    return end;
}

}  // namespace

std::string JoinPath(const std::string& directory, const std::string& name)
{
    std::string joined;
    joined.reserve(directory.size() + 1 + name.size());
    joined += directory;
    joined += '\\';
    joined += name;
    return joined;
}

bool EndsWithBackslash(const std::string& text, CodePage codePage)
{
    bool last = false;
    ForEachChar(text, codePage, [&](size_t at, size_t step) { last = step == 1 && text[at] == '\\'; });
    return last;
}

void StripOneBackslash(std::string& text, CodePage codePage)
{
    if (EndsWithBackslash(text, codePage)) text.pop_back();
}

void AddBackslash(std::string& text, CodePage codePage)
{
    if (!EndsWithBackslash(text, codePage)) text += '\\';
}

std::string DriveAndDirectory(const std::string& path, CodePage codePage)
{
    return path.substr(0, DirectoryEnd(path, codePage));
}

std::string FileNameOf(const std::string& path, CodePage codePage)
{
    return path.substr(DirectoryEnd(path, codePage));
}

bool IsFullPath(const std::string& path)
{
    const auto separator = [](char c) { return c == '\\' || c == '/'; };
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && separator(path[2]))
        return true;
    // "\\server\share", but not the device namespaces "\\.\" and "\\?\".
    return path.size() >= 3 && separator(path[0]) && separator(path[1]) && !separator(path[2]) &&
           path[2] != '.' && path[2] != '?';
}

namespace {

// A part of a path that the platform would take for the folder itself, its parent or a device.
bool IsSpecialPart(const std::string& part)
{
    if (part.find_first_not_of(". ") == std::string::npos) return !part.empty();
    // Devices answer to their name with any extension and trailing spaces: "nul.txt", "COM1 ".
    std::string base = part.substr(0, part.find('.'));
    base.erase(base.find_last_not_of(' ') + 1);
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* device : kDevices)
        if (SameText(base, device)) return true;
    return base.size() == 4 && (SameText(base.substr(0, 3), "COM") || SameText(base.substr(0, 3), "LPT")) &&
           std::isdigit(static_cast<unsigned char>(base[3]));
}

}  // namespace

bool StaysInside(const std::string& relative, CodePage codePage)
{
    if (relative.empty() || relative[0] == '\\' || relative[0] == '/') return false;
    bool inside = true;
    size_t partStart = 0;
    ForEachChar(relative, codePage, [&](size_t at, size_t step) {
        if (step != 1) return;
        const char c = relative[at];
        if (c == ':') inside = false;
        if (c == '\\' || c == '/') {
            if (IsSpecialPart(relative.substr(partStart, at - partStart))) inside = false;
            partStart = at + 1;
        }
    });
    return inside && !IsSpecialPart(relative.substr(partStart));
}

bool IsIniKeyName(const std::string& text)
{
    return !text.empty() && text.find('=') == std::string::npos && text[0] != '[' && text[0] != ';';
}

double LeadingNumber(const std::string& text)
{
    return std::strtod(text.c_str(), nullptr);
}

bool IsWithin(std::string path, std::string folder)
{
    StripOneBackslash(path);
    StripOneBackslash(folder);
    if (folder.empty() || path.size() < folder.size()) return false;
    if (path.size() == folder.size()) return SameText(path, folder);
    return path[folder.size()] == '\\' && SameText(path.substr(0, folder.size()), folder);
}

std::string NumberedKey(const char* stem, int number) { return stem + std::to_string(number); }

bool KeyNumber(const std::string& key, const std::string& stem, int& number)
{
    const size_t digits = key.size() - std::min(key.size(), stem.size());
    if (digits == 0 || digits > 9 || !SameText(key.substr(0, stem.size()), stem) ||
        key.find_first_not_of("0123456789", stem.size()) != std::string::npos)
        return false;
    number = 0;
    for (size_t i = stem.size(); i < key.size(); ++i) number = number * 10 + (key[i] - '0');
    return true;
}

std::vector<std::string> LevelsBelow(const std::string& base, const std::string& relative, CodePage codePage)
{
    std::vector<std::string> levels;
    ForEachChar(relative, codePage, [&](size_t at, size_t step) {
        if (step == 1 && at > 0 && (relative[at] == '\\' || relative[at] == '/'))
            levels.push_back(JoinPath(base, relative.substr(0, at)));
    });
    const size_t end = DirectoryEnd(relative, codePage);
    if (!relative.empty() && end != relative.size()) levels.push_back(JoinPath(base, relative));
    return levels;
}

std::string LinkOnTheWay(const std::string& base, const std::string& path, CodePage codePage)
{
    std::string folder = base;
    StripOneBackslash(folder, codePage);
    if (IsLink(folder)) return folder;
    if (!IsWithin(path, folder) || path.size() <= folder.size() + 1) return {};
    for (const std::string& level : LevelsBelow(folder, path.substr(folder.size() + 1), codePage))
        if (IsLink(level)) return level;
    return {};
}
