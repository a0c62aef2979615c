// Text and path helpers of the installer: fixed limits, joins that refuse to truncate, and splitting.
#pragma once

#include <string>
#include <vector>

// A code page by number; 0 is the system's ANSI code page.
using CodePage = unsigned;
constexpr CodePage kAnsiCodePage = 0;

// Every path and value the installer acts on holds at most this many characters.
constexpr size_t kMaxText = 255;

// True when the text fits the installer's 255-character buffers.
inline bool Fits(const std::string& text) { return text.size() <= kMaxText; }

// "%s\%s": directory, one backslash, name. Never truncated; callers check Fits before acting.
std::string JoinPath(const std::string& directory, const std::string& name);

// Code-page aware (a DBCS trail byte may equal '\\'): does the text end in a backslash character?
bool EndsWithBackslash(const std::string& text, CodePage codePage = kAnsiCodePage);
// Removes one trailing backslash character, if there is one.
void StripOneBackslash(std::string& text, CodePage codePage = kAnsiCodePage);
// Adds a trailing backslash unless there is one.
void AddBackslash(std::string& text, CodePage codePage = kAnsiCodePage);

// Drive and directory of a path, up to and including its last separator ("C:\a\b.txt" -> "C:\a\").
std::string DriveAndDirectory(const std::string& path, CodePage codePage = kAnsiCodePage);
// File name with extension, without drive or directory ("C:\a\b.txt" -> "b.txt").
std::string FileNameOf(const std::string& path, CodePage codePage = kAnsiCodePage);

// A full path: drive letter, colon and separator, or a "\\server\share" name. Anything else would be
// taken relative to a current drive or directory that the installer does not choose.
bool IsFullPath(const std::string& path);
// A script's relative name that stays below the folder it is joined to: not rooted, no drive or
// stream colon, no part made only of dots and spaces ("..", "."), no device name ("NUL", "COM1").
bool StaysInside(const std::string& relative, CodePage codePage = kAnsiCodePage);
// Text that can stand as a key name in an INI file: not empty, no "=", not opening with "[" or ";".
bool IsIniKeyName(const std::string& text);

// Case-insensitive comparison as the platform does it for names and paths.
bool SameText(const std::string& a, const std::string& b);
// The text in upper case as the platform folds it for key names.
std::string UpperCase(std::string text);
// Is the byte the first of a double-byte character in the code page?
bool IsLeadByte(CodePage codePage, unsigned char byte);

// The leading decimal number of a text at double precision; text without one gives 0.0.
double LeadingNumber(const std::string& text);

// The path is the folder or lies below it, names compared as the platform does; a trailing
// backslash on either does not count.
bool IsWithin(std::string path, std::string folder);
// The numbered key of a stem ("Dir", 2 -> "Dir2").
std::string NumberedKey(const char* stem, int number);
// The reverse: true with the number when the key is the stem (any case) followed by digits alone,
// at most nine of them ("dir12", "Dir" -> 12).
bool KeyNumber(const std::string& key, const std::string& stem, int& number);

// The levels of a relative sub-path below a base ("a\b" -> base\a, base\a\b), outermost first;
// a trailing separator adds none.
std::vector<std::string> LevelsBelow(const std::string& base, const std::string& relative, CodePage codePage = kAnsiCodePage);

// File-system checks the stages share. Never asked of a path that does not fit.
bool Exists(const std::string& path);
bool IsDirectory(const std::string& path);
// A link or another reparse point (not followed to what it stands for).
bool IsLink(const std::string& path);
// The first of base, each level below it on the way to path, and path itself that is a link or
// another reparse point, which the installer never acts through; empty when none is.
std::string LinkOnTheWay(const std::string& base, const std::string& path, CodePage codePage = kAnsiCodePage);
