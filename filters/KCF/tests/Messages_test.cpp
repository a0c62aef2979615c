// ShowMessage: printf formatting cut at 255 characters, and the seam that stands in for the user.
#include "Messages.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

TEST(ShowMessage, FormatsAndCutsAt255Characters)
{
    MessageRecorder user;
    ShowMessage("Error", "Can't open file: %s", "C:\\plugcfg\\ZAV_KCF.SET");
    ShowMessage("Caption", "%d%%", 42);
    const std::string path = "C:\\" + std::string(300, 'd') + "\\ZAV_KCF.SET";
    ShowMessage("Error", "Can't open file: %s", path.c_str());
    ASSERT_EQ(user.messages.size(), 3u);
    EXPECT_EQ(user.messages[0].text, "Can't open file: C:\\plugcfg\\ZAV_KCF.SET");
    EXPECT_EQ(user.messages[0].caption, "Error");
    EXPECT_EQ(user.messages[1].text, "42%");
    EXPECT_EQ(user.messages[1].caption, "Caption");
    EXPECT_EQ(user.messages[2].text, ("Can't open file: " + path).substr(0, 255));
}

TEST(ShowMessage, SinksNestAndRestore)
{
    MessageRecorder outer;
    {
        MessageRecorder inner;
        ShowMessage("A", "inner");
        EXPECT_EQ(inner.messages.size(), 1u);
    }
    ShowMessage("B", "outer");
    ASSERT_EQ(outer.messages.size(), 1u);
    EXPECT_EQ(outer.messages[0].text, "outer");
}
