// Path helpers: joins, separators in double-byte code pages, splitting and leading numbers.
#include "Text.h"

#include <gtest/gtest.h>

TEST(PathText, SplittingAndJoining)
{
    EXPECT_EQ(JoinPath("C:\\max", "a\\b.txt"), "C:\\max\\a\\b.txt");
    EXPECT_EQ(DriveAndDirectory("C:\\max\\a\\b.txt"), "C:\\max\\a\\");
    EXPECT_EQ(DriveAndDirectory("C:\\max\\6"), "C:\\max\\");
    EXPECT_EQ(DriveAndDirectory("C:\\max\\6\\"), "C:\\max\\6\\");
    EXPECT_EQ(DriveAndDirectory("C:b.txt"), "C:");
    EXPECT_EQ(DriveAndDirectory("b.txt"), "");
    EXPECT_EQ(FileNameOf("C:\\max\\a/b.txt"), "b.txt");
    EXPECT_EQ(FileNameOf("C:\\max\\"), "");

    std::string path = "C:\\max\\";
    StripOneBackslash(path);
    EXPECT_EQ(path, "C:\\max");
    StripOneBackslash(path);
    EXPECT_EQ(path, "C:\\max");
    AddBackslash(path);
    AddBackslash(path);
    EXPECT_EQ(path, "C:\\max\\");
    EXPECT_TRUE(Fits(std::string(255, 'x')));
    EXPECT_FALSE(Fits(std::string(256, 'x')));
}

TEST(PathText, DoubleByteTrailBytesAreNotSeparators)
{
    // In code page 932 the second byte of 0x95 0x5C is a trail byte, not a backslash.
    const std::string name = "C:\\\x95\x5C";
    EXPECT_FALSE(EndsWithBackslash(name, 932));
    std::string stripped = name;
    StripOneBackslash(stripped, 932);
    EXPECT_EQ(stripped, name);
    EXPECT_EQ(FileNameOf(name + "\\x.ini", 932), "x.ini");
    EXPECT_EQ(DriveAndDirectory(name + "x.ini", 932), "C:\\");
    EXPECT_EQ(FileNameOf(name, 932), "\x95\x5C");
}

TEST(PathText, FullPathsAndNamesThatStayInside)
{
    EXPECT_TRUE(IsFullPath("C:\\max"));
    EXPECT_TRUE(IsFullPath("c:/max"));
    EXPECT_TRUE(IsFullPath("\\\\server\\share\\max"));
    for (const char* path : {"", "max", "\\max", "C:max", "1:\\max", "\\\\.\\COM1", "\\\\?\\C:\\max"})
        EXPECT_FALSE(IsFullPath(path)) << path;

    for (const char* name : {"a.txt", "sub\\a.txt", "a..b.txt", "..a", "null.txt", "COM10", "console.txt", "sub\\"})
        EXPECT_TRUE(StaysInside(name)) << name;
    for (const char* name : {"", "..", ".", "a\\. \\b", "/a", "a\\..", "LPT9", "con .txt", "Aux", "a\\CONOUT$", "a:b"})
        EXPECT_FALSE(StaysInside(name)) << name;
    // A trail byte equal to a backslash does not end a part: "\x95\x5C.." is one name in code page 932.
    EXPECT_TRUE(StaysInside("\x95\x5C..", 932));

    EXPECT_TRUE(IsIniKeyName("Sub plug-ins"));
    for (const char* key : {"", "a=b", "[S]", ";note"}) EXPECT_FALSE(IsIniKeyName(key)) << key;
}

TEST(PathText, LeadingNumbers)
{
    EXPECT_DOUBLE_EQ(LeadingNumber("6.0"), 6.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("5.1 beta"), 5.1);
    EXPECT_DOUBLE_EQ(LeadingNumber(""), 0.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("six"), 0.0);
    EXPECT_TRUE(SameText("C:\\Max\\", "c:\\MAX\\"));
}
