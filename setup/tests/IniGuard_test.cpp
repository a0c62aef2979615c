// The check after each INI write: which files still hold every line they held plus the new key.
#include "IniGuard.h"
#include "ScriptText.h"

#include <gtest/gtest.h>

namespace {

std::string Utf16(const std::string& ascii)
{
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) bytes += std::string{c, '\0'};
    return bytes;
}

struct Case {
    const char* name;
    std::string before;
    std::string after;
    bool whole;
};

}  // namespace

TEST(IniGuardCheck, KeepsEveryLinePlusTheKey)
{
    const std::string file = "; mine\r\n[Directories]\r\nA=1\r\nK=old\r\nB=2\r\n[Help]\r\nH=h\r\n";
    const Case cases[] = {
        {"key replaced in place", file, "; mine\r\n[Directories]\r\nA=1\r\nK=C:\\v\r\nB=2\r\n[Help]\r\nH=h\r\n", true},
        {"key added, other key's case kept", "[directories]\r\nA=1\r\n", "[directories]\r\nA=1\r\nk=C:\\v\r\n", true},
        {"new section at the end", "[Help]\r\nH=h", "[Help]\r\nH=h\r\n[Directories]\r\nK=C:\\v\r\n", true},
        {"empty file", "", "[Directories]\r\nK=C:\\v\r\n", true},
        {"blank lines and spaces dropped, as Wine writes",
         "; mine\n\n[ Directories ]\n  A = 1  \nK=old\n", "; mine\r\n[Directories]\r\nA=1\r\nK=C:\\v\r\n", true},
        {"Unicode file", Utf16("[Directories]\r\nA=1\r\n"), Utf16("[Directories]\r\nA=1\r\nK=C:\\v\r\n"), true},
        {"cut short after the key", file, "; mine\r\n[Directories]\r\nA=1\r\nK=C:\\v\r\n", false},
        {"cut inside a line", file, "; mine\r\n[Directories]\r\nA=1\r\nK=C:\\v\r\nB=2\r\n[Help]\r\nH=", false},
        {"emptied", file, "", false},
        {"a line lost in the middle", file, "; mine\r\n[Directories]\r\nK=C:\\v\r\nB=2\r\n[Help]\r\nH=h\r\n", false},
        {"key not written", file, file, false},
        {"another value", file, "; mine\r\n[Directories]\r\nA=1\r\nK=C:\\w\r\nB=2\r\n[Help]\r\nH=h\r\n", false},
        {"key written twice", "[Directories]\r\n", "[Directories]\r\nK=C:\\v\r\nK=C:\\v\r\n", false},
        {"a stray line", "[Directories]\r\n", "[Directories]\r\nK=C:\\v\r\nX=1\r\n", false},
        {"section header again", "[Directories]\r\nA=1\r\n", "[Directories]\r\nA=1\r\n[Directories]\r\nK=C:\\v\r\n",
         false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KeepsEveryLinePlusTheKey(c.before, c.after, "Directories", "K", "C:\\v"), c.whole) << c.name;
}

// The write under every copy and record the installer makes: true only when the platform took it.
TEST(WriteAllAndClose, TrueOnlyWhenEveryStepSucceeds)
{
    char folder[MAX_PATH] = "", name[MAX_PATH] = "";
    ASSERT_NE(GetTempPathA(sizeof folder, folder), 0u);
    ASSERT_NE(GetTempFileNameA(folder, "kcw", 0, name), 0u);
    struct Row {
        const char* what;
        DWORD access;
        std::string bytes;
        bool written;
        std::string after;  // the file's bytes afterwards
    } const rows[] = {
        {"bytes", GENERIC_WRITE, "[Directories]\r\n", true, "[Directories]\r\n"},
        {"nothing to write", GENERIC_WRITE, "", true, ""},
        {"a handle that cannot write", GENERIC_READ, "lost", false, ""},
    };
    for (const Row& row : rows) {
        HANDLE file = CreateFileA(name, row.access, 0, nullptr, row.access == GENERIC_READ ? OPEN_EXISTING : CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << row.what;
        EXPECT_EQ(WriteAllAndClose(file, row.bytes), row.written) << row.what;
        std::string bytes;
        EXPECT_TRUE(ReadWholeFile(name, 1024, bytes)) << row.what;
        EXPECT_EQ(bytes, row.after) << row.what;
    }
    EXPECT_FALSE(WriteAllAndClose(INVALID_HANDLE_VALUE, "lost"));
    DeleteFileA(name);
}
