// Text and path helpers of the installer: joins, code-page aware separators, splitting and numbers.
#include "Text.h"

#include <cstdlib>

namespace {

// Start offset of every character of the text, walking DBCS lead and trail bytes as one character.
template <typename Visit>
void ForEachChar(const std::string& text, UINT codePage, Visit visit)
{
    size_t i = 0;
    while (i < text.size()) {
        const size_t step =
            (IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[i])) && i + 1 < text.size()) ? 2 : 1;
        visit(i, step);
        i += step;
    }
}

// Offset just past the last '\\' or '/' character, or past "X:" when there is none; 0 when neither.
size_t DirectoryEnd(const std::string& path, UINT codePage)
{
    size_t end = 0;
    if (path.size() >= 2 && path[1] == ':' && !IsDBCSLeadByteEx(codePage, static_cast<BYTE>(path[0]))) end = 2;
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

bool EndsWithBackslash(const std::string& text, UINT codePage)
{
    bool last = false;
    ForEachChar(text, codePage, [&](size_t at, size_t step) { last = step == 1 && text[at] == '\\'; });
    return last;
}

void StripOneBackslash(std::string& text, UINT codePage)
{
    if (EndsWithBackslash(text, codePage)) text.pop_back();
}

void AddBackslash(std::string& text, UINT codePage)
{
    if (!EndsWithBackslash(text, codePage)) text += '\\';
}

std::string DriveAndDirectory(const std::string& path, UINT codePage)
{
    return path.substr(0, DirectoryEnd(path, codePage));
}

std::string FileNameOf(const std::string& path, UINT codePage)
{
    return path.substr(DirectoryEnd(path, codePage));
}

bool SameText(const std::string& a, const std::string& b)
{
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

double LeadingNumber(const std::string& text)
{
    return std::strtod(text.c_str(), nullptr);
}
