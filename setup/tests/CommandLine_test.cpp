// setup.exe's command line: silent switches, quoted values and the directory taking the rest.
#include "CommandLine.h"

#include <gtest/gtest.h>

TEST(CommandLine, SilentSwitchesAndValues)
{
    const SetupOptions none = ParseCommandLine("");
    EXPECT_FALSE(none.silent);
    EXPECT_TRUE(none.error.empty());

    const SetupOptions all = ParseCommandLine("/s /LOG=\"C:\\my logs\\setup.log\" /D=C:\\Program Files\\max 6");
    EXPECT_TRUE(all.silent);
    EXPECT_EQ(all.logFile, "C:\\my logs\\setup.log");
    EXPECT_EQ(all.directory, "C:\\Program Files\\max 6");
    EXPECT_TRUE(all.error.empty());

    EXPECT_EQ(ParseCommandLine("/S /D=\"C:\\max 6\\\"").directory, "C:\\max 6\\");
    EXPECT_EQ(ParseCommandLine("  /S   /log=x.log ").logFile, "x.log");
}

TEST(CommandLine, UnknownSwitchesAreReported)
{
    EXPECT_EQ(ParseCommandLine("/S /Q").error, "Unknown switch: /Q");
    EXPECT_EQ(ParseCommandLine("/Silent").error, "Unknown switch: /Silent");
    EXPECT_FALSE(ParseCommandLine("/Silent").silent);
    // A log switch that names no file is refused, not taken as "no log".
    for (const char* line : {"/S /LOG=", "/S /LOG=\"\" /D=C:\\max"})
        EXPECT_EQ(ParseCommandLine(line).error, "Bad switch: /LOG= names no file") << line;
}

TEST(CommandLine, HelpAndUninstallSwitches)
{
    EXPECT_TRUE(ParseCommandLine("/?").help);
    EXPECT_TRUE(ParseCommandLine("/?").error.empty());
    const SetupOptions quiet = ParseCommandLine("/s /u /D=C:\\max 6");
    EXPECT_TRUE(quiet.silent && quiet.uninstall && !quiet.help);
    EXPECT_EQ(quiet.directory, "C:\\max 6");
    // Only the switches themselves: anything longer stays unknown.
    EXPECT_EQ(ParseCommandLine("/?x").error, "Unknown switch: /?x");
    EXPECT_EQ(ParseCommandLine("/Uninstall").error, "Unknown switch: /Uninstall");
}
