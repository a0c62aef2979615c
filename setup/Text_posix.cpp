// The platform's part of the text helpers where the installer's core is built natively: ASCII case,
// a single-byte code page, and the file system through lstat.
#include "Text.h"

#include <sys/stat.h>

#include <cctype>

namespace {

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool StatusOf(const std::string& path, struct stat& status)
{
    return Fits(path) && !path.empty() && lstat(path.c_str(), &status) == 0;
}

}  // namespace

bool SameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

std::string UpperCase(std::string text)
{
    for (char& c : text) c = Upper(c);
    return text;
}

bool IsLeadByte(CodePage, unsigned char) { return false; }

bool Exists(const std::string& path)
{
    struct stat status {};
    return StatusOf(path, status);
}

bool IsDirectory(const std::string& path)
{
    struct stat status {};
    return StatusOf(path, status) && S_ISDIR(status.st_mode);
}

bool IsLink(const std::string& path)
{
    struct stat status {};
    return StatusOf(path, status) && S_ISLNK(status.st_mode);
}
