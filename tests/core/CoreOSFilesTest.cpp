#include <gtest/gtest.h>

#include <string>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"
#include "tests/support/TempDir.h"

// The path rules the logic above relies on, the same on both systems.
TEST(CoreOSFilesTest, DotDotIsAppliedToTheTextBeforeLookingUp)
{
    FTempDir Dir;
    ASSERT_TRUE(WriteTestFile(Dir / u"SkipRules.ini", "x"));
    // Windows resolves ".." by text, so a directory "ini" need not exist.
    EXPECT_NE(CoreOS::FileGetAttributes(*(Dir / u"ini/../SkipRules.ini")), CoreOS::FILEATTR_Invalid);
    EXPECT_NE(CoreOS::FileGetAttributes(*(Dir / u"INI\\.\\..\\skiprules.INI")), CoreOS::FILEATTR_Invalid);
}

TEST(CoreOSFilesTest, CopyOntoItselfFailsAndKeepsTheFile)
{
    FTempDir Dir;
    const FString Path = Dir / u"gta3.img";
    ASSERT_TRUE(WriteTestFile(Path, "data"));
    EXPECT_FALSE(CoreOS::FileCopy(*Path, *Path, false));
    std::string Bytes;
    ASSERT_TRUE(ReadTestFile(Path, Bytes));
    EXPECT_EQ(Bytes, "data");
}
