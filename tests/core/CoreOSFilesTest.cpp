#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"
#include "tests/support/TempDir.h"

namespace
{
std::vector<std::string> Found(const FString& Wildcard)
{
    std::vector<std::string> Names;
    CoreOS::FindFiles(*Wildcard,
                      [](void* Context, const char16_t* Name, bool) {
                          if (appStrcmp(Name, u".") != 0 && appStrcmp(Name, u"..") != 0)
                              static_cast<std::vector<std::string>*>(Context)->push_back(FString(Name).ToUtf8());
                      },
                      &Names);
    std::sort(Names.begin(), Names.end());
    return Names;
}
} // namespace

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

TEST(CoreOSFilesTest, NamesWithoutADotMatchAsIfEndingInOne)
{
    FTempDir Dir;
    for (const char16_t* Name : {u"plain", u"a.txt"})
        ASSERT_TRUE(WriteTestFile(Dir / Name, ""));
    using V = std::vector<std::string>;
    EXPECT_EQ(Found(Dir / u"*.*"), (V{"a.txt", "plain"}));
    EXPECT_EQ(Found(Dir / u"plain.*"), (V{"plain"}));
}
