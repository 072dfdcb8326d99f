#include <gtest/gtest.h>

#include <string>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreFileText.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/FFileManagerWindows.h"
#include "tests/support/TempDir.h"

class CoreFileTextTest : public testing::Test
{
protected:
    FTempDir Dir;
    Core::Imp::FFileManagerWindows FM;
};

TEST_F(CoreFileTextTest, LoadDecodesByteOrderMarksAndPlainBytes)
{
    struct FCase
    {
        std::string Bytes;
        std::u16string Text;
    };
    const FCase Cases[] = {
        {std::string("\xFF\xFE" "A\0", 4), u"A"},
        {std::string("\xFE\xFF\0A\x01\x01", 6), u"A\u0101"},
        {"AB", u"AB"},
        {"caf\xE9", u"caf\u00E9"},
        {"\xEF\xBB\xBF[S]\r\ncaf\xC3\xA9", u"[S]\r\ncaf\u00E9"}, // a UTF-8 mark says how to read the rest
        {"\xFF\xFE" "A", u"\u00FF\u00FEA"}, // an odd length is never UTF-16
        {"", u""},
    };
    for (const FCase& Case : Cases)
    {
        const FString Path = Dir / u"t.txt";
        ASSERT_TRUE(WriteTestFile(Path, Case.Bytes));
        FString Result(u"stale");
        EXPECT_TRUE(appLoadFileToString(Result, &FM, *Path));
        EXPECT_EQ(std::u16string(*Result), Case.Text) << Case.Bytes;
        EXPECT_EQ(Result.Len(), int32_t(Case.Text.size()));
    }
    FString Untouched(u"kept");
    EXPECT_FALSE(appLoadFileToString(Untouched, &FM, *(Dir / u"missing.txt")));
    EXPECT_EQ(Untouched, u"kept");
}

TEST_F(CoreFileTextTest, SaveWritesBytesOrLittleEndianWithMark)
{
    EXPECT_TRUE(appSaveStringToFile(FString(u"abc\u00E9"), &FM, *(Dir / u"a.txt")));
    EXPECT_EQ(TestFileText(Dir / u"a.txt"), "abc\xE9");
    EXPECT_TRUE(appSaveStringToFile(FString(u"\u0101x"), &FM, *(Dir / u"w.txt")));
    EXPECT_EQ(TestFileText(Dir / u"w.txt"), std::string("\xFF\xFE\x01\x01x\0", 6));
    FString Back;
    EXPECT_TRUE(appLoadFileToString(Back, &FM, *(Dir / u"w.txt")));
    EXPECT_EQ(Back, u"\u0101x");

    EXPECT_FALSE(appSaveStringToFile(FString(), &FM, *(Dir / u"e.txt")));
    EXPECT_FALSE(TestFileExists(Dir / u"e.txt"));
    EXPECT_FALSE(appSaveStringToFile(FString(u"x"), &FM, *(Dir / u"no/dir.txt")));

    // The text reaches the disk when the writer closes; a failure there is a failed save.
    for (CoreOS::EOsFaultKind Kind : {CoreOS::OSFAULT_Write, CoreOS::OSFAULT_Close})
    {
        CoreOS::ArmOsFault(Kind, 1);
        EXPECT_FALSE(appSaveStringToFile(FString(u"abc"), &FM, *(Dir / u"f.txt"))) << Kind;
        CoreOS::ResetOsFaults();
    }
}
