// IniFile: private-profile reads and writes by path, with the open check and its message.
#include "IniFile.h"

#include "Desktop.h"
#include "Text.h"

#include <vector>

bool FileOpensForReading(const std::string& path)
{
    if (path.empty() || !Fits(path)) return false;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool IniFile::Open(HWND owner, const std::string& path)
{
    owner_ = owner;
    path_ = path;
    if (FileOpensForReading(path_)) return true;
    ShowFormatted(owner_, "%s : Can't open file!", path_, "Error", MB_OK | MB_ICONSTOP);
    return false;
}

bool IniFile::OpenIn(HWND owner, const std::string& directory, const char* name)
{
    foundIn_ = directory;
    return Open(owner, JoinPath(directory, name));
}

bool IniFile::ReadValue(const char* section, const char* key, std::string& value) const
{
    value.clear();
    if (path_.empty() || !Fits(path_)) return false;
    // Read whole values: a long one must never reach a caller cut short.
    std::vector<char> buffer(kMaxText + 1);
    for (;;) {
        const DWORD got = GetPrivateProfileStringA(section, key, "", buffer.data(),
                                                   static_cast<DWORD>(buffer.size()), path_.c_str());
        if (got + 1 < buffer.size() || buffer.size() >= 65536) {
            value.assign(buffer.data(), got);
            break;
        }
        buffer.resize(buffer.size() * 4);
    }
    return !value.empty();
}

bool IniFile::ReadNumbered(const char* section, const char* stem, int number, std::string& value) const
{
    const std::string key = std::string(stem) + std::to_string(number);
    return ReadValue(section, key.c_str(), value);
}

bool IniFile::WriteValue(const char* section, const char* key, const std::string& value) const
{
    if (path_.empty() || !Fits(path_)) return false;
    return WritePrivateProfileStringA(section, key, value.c_str(), path_.c_str()) != FALSE;
}
