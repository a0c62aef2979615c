// The built module as the host sees it: loaded from its file, through its four exports.
#include "HostCore.h"
#include "KernelRecord.h"

#include "ModuleTestMain.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string modulePath;

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(LoadFilterModule(modulePath, module, error)) << error;
    }
    FilterModule module;
};

}  // namespace

TEST_F(ModuleTest, ExportsAnswerAsTheHostExpects)
{
    EXPECT_EQ(module.libVersion(), 0x17700D00u);
    EXPECT_EQ(module.libNumberClasses(), 1);
    ASSERT_NE(module.libDescription(), nullptr);
    EXPECT_GT(std::strlen(module.libDescription()), 0u);
    ClassDesc* desc = module.libClassDesc(0);
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(module.libClassDesc(0), desc);
    EXPECT_EQ(module.libClassDesc(1), nullptr);
    EXPECT_EQ(module.libClassDesc(-1), nullptr);
    EXPECT_EQ(module.libClassDesc(1 << 30), nullptr);
}

TEST_F(ModuleTest, DescriptorIdentity)
{
    ClassDesc* desc = module.libClassDesc(0);
    EXPECT_EQ(desc->IsPublic(), 1);
    EXPECT_EQ(desc->ClassID(), Class_ID(0x33A25539, 0x39933116));
    EXPECT_EQ(desc->SuperClassID(), 0x00000E00u);
    EXPECT_STREQ(desc->Category(), "Image Filter");
    EXPECT_STREQ(desc->ClassName(), "Kernelcraft Filter");
    EXPECT_EQ(desc->NumInterfaces(), 0);
}

TEST_F(ModuleTest, CreatedFilterIdentityAndDefaultBlock)
{
    std::string error;
    ImageFilter* filter = CreateFilter(module, error);
    ASSERT_NE(filter, nullptr) << error;
    EXPECT_STREQ(filter->Description(), "Kernelcraft Filter");
    EXPECT_EQ(filter->Version(), 866276665u);
    EXPECT_EQ(filter->Capability(), 6u);
    EXPECT_GT(std::strlen(filter->AuthorName()), 0u);
    EXPECT_GT(std::strlen(filter->CopyrightMessage()), 0u);
    ASSERT_EQ(filter->EvaluateConfigure(), 612u);

    FilterSettings saved;
    ASSERT_EQ(filter->SaveConfigure(&saved), TRUE);
    const FilterSettings defaults = DefaultFilterSettings();
    EXPECT_EQ(std::memcmp(&saved, &defaults, sizeof saved), 0);
    EXPECT_EQ(filter->ChannelsRequired(), 0u);
    EXPECT_EQ(filter->Render(nullptr), FALSE);  // no source bitmap
    delete filter;
}

int main(int argc, char** argv) { return RunTestsWithModule(argc, argv, modulePath); }
