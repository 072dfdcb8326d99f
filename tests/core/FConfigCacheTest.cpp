#include <gtest/gtest.h>

#include <string>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/FConfigCacheIni.h"
#include "Core/Inc/FFileManagerWindows.h"
#include "tests/support/TempDir.h"

using Core::Imp::FConfigCacheIni;
using Core::Imp::FConfigFile;

namespace
{
// Sections and pairs in order, as "[Name](key|value)...".
std::string Describe(const FConfigFile& File)
{
    std::string Out;
    for (const auto& Section : File)
    {
        Out += "[" + Section.Key.ToUtf8() + "]";
        for (const auto& Pair : Section.Value)
            Out += "(" + Pair.Key.ToUtf8() + "|" + Pair.Value.ToUtf8() + ")";
    }
    return Out;
}
} // namespace

class FConfigCacheIniTest : public testing::Test
{
protected:
    FTempDir Dir;
    FConfigCacheIni Cache; // made after Dir and gone before it: its flush on destruction lands inside Dir

    FConfigCacheIniTest() { Cache.ConfigDir = Dir.Path(); }
    void Put(const char16_t* Name, const std::string& Text) { ASSERT_TRUE(WriteTestFile(Dir / Name, Text)); }
    std::string Get(const char16_t* Name) { return TestFileText(Dir / Name); }
};

TEST_F(FConfigCacheIniTest, IniLinesParseAsDescribed)
{
    struct FCase
    {
        const char* What;
        std::string Text;
        std::string Expected;
    };
    const FCase Cases[] = {
        {"repeated keys keep file order", "[SkipRules]\r\nskip=radar*\r\nskip=lod_veg\r\n",
         "[SkipRules](skip|radar*)(skip|lod_veg)"},
        {"a UTF-8 mark is no part of the first header", "\xEF\xBB\xBF[SkipRules]\r\nskip=radar*\r\n",
         "[SkipRules](skip|radar*)"},
        {"blanks kept in keys, trailing spaces cut", "[S]\nskip = radar* \n", "[S](skip | radar*)"},
        {"only spaces are trailing blanks", "[S]\na=b\t\n", "[S](a|b\t)"},
        {"several pairs on one line", "[S]\nskip=radar* allow=radar00\n", "[S](skip|radar*)(allow|radar00)"},
        {"tabs part pairs too", "[S]\na=1\tb=2", "[S](a|1)(b|2)"},
        {"quotes around the value go", "[S]\nskip=\"a b\"\n", "[S](skip|a b)"},
        {"quotes inside words stay", "[S]\nskip=\"a b\" c=d\n", "[S](skip|\"a b\")(c|d)"},
        {"a word without '=' is an empty pair", "[S]\na=b c d=e\n", "[S](a|b)(|)(d|e)"},
        {"a lone quote is kept", "[S]\na=\"\n", "[S](a|\")"},
        {"a section given twice", "[A]\na=1\n[B]\nb=2\n[a]\nc=3\n", "[A](a|1)(c|3)[B](b|2)"},
        {"lines outside sections", "x=1\n[A]\na=1\n", "[A](a|1)"},
        {"no comment syntax", "[S]\n;c=1\n#note\nplain\n\n", "[S](;c|1)"},
        {"header names as written", "[ A ]\na=1\n[A] \nb=2\n", "[ A ](a|1)(b|2)"},
        {"empty keys and values", "[S]\n=v\nk=\n", "[S](|v)(k|)"},
        {"CR, LF and empty lines", "[S]\ra=1\r\n\r\nb=2\n\nc=3", "[S](a|1)(b|2)(c|3)"},
        {"an over-long section name is refused with its lines",
         "[A]\na=1\n[" + std::string(251, 'n') + "]\nb=2\n[" + std::string(250, 'n') + "]\nc=3\n",
         "[A](a|1)[" + std::string(250, 'n') + "](c|3)"},
    };
    Core::Imp::FFileManagerWindows FM;
    for (const FCase& Case : Cases)
    {
        Put(u"case.ini", Case.Text);
        FConfigFile File;
        File.Read(&FM, *(Dir / u"case.ini"));
        EXPECT_EQ(Describe(File), Case.Expected) << Case.What;
    }
}

// The lookups the programs make (a string, a flag): the last value of a key, names without regard to case, a
// buffer's text cut to fit. (The other getters run under the fuzz target.)
TEST_F(FConfigCacheIniTest, QueriesFindTheLastValueAndConvertIt)
{
    Put(u"q.ini", "[S]\r\nk=first\r\nk=second\r\nflag=TRUE\r\none= 1\r\n");
    FString Value;
    EXPECT_TRUE(Cache.GetString(u"s", u"K", Value, u"Q.INI"));
    EXPECT_EQ(Value, u"second");
    char16_t Buffer[4];
    EXPECT_TRUE(Cache.GetStringBuffer(u"S", u"k", Buffer, 4, u"q"));
    EXPECT_EQ(FString(Buffer), u"sec");
    bool bValue = false;
    EXPECT_TRUE(Cache.GetBool(u"S", u"flag", bValue, u"q") && bValue);
    EXPECT_TRUE(Cache.GetBool(u"S", u"one", bValue, u"q") && bValue);
    EXPECT_TRUE(Cache.GetBool(u"S", u"k", bValue, u"q") && !bValue);
    EXPECT_FALSE(Cache.GetBool(u"Missing", u"k", bValue, u"q") || Cache.GetString(u"S", u"k", Value, u"absent"));
}

TEST_F(FConfigCacheIniTest, NamesResolveToOneHeldFileReadOnce)
{
    EXPECT_EQ(FConfigCacheIni::CacheName(nullptr), u"System.ini");
    EXPECT_EQ(FConfigCacheIni::CacheName(u"abc"), u"abc.ini");
    EXPECT_EQ(FConfigCacheIni::CacheName(u"../SkipRules.ini"), u"../SkipRules.ini");

    EXPECT_EQ(Cache.GetSectionPtr(u"S", false, true, nullptr), nullptr);
    EXPECT_EQ(Cache.Num(), 0); // a missing file is not held, so it is found once it exists
    Put(u"System.ini", "[S]\nk=v\n");
    EXPECT_EQ(FString(Cache.GetStr(u"S", u"k", nullptr)), u"v");
    EXPECT_EQ(FString(Cache.GetStr(u"S", u"k", u"system.ini")), u"v");
    EXPECT_EQ(Cache.Num(), 1);

    // The skip rules' lookup, as the product makes it: read-only, never creating, never marking the file
    // changed, and ini/../SkipRules.ini needs no directory ini.
    FConfigCacheIni Product;
    Product.ConfigDir = Dir / u"ini/";
    Put(u"SkipRules.ini", "[SkipRules]\nskip=radar*\n");
    FConfigSection* Rules = Product.GetSectionPtr(u"SkipRules", false, true, u"../SkipRules.ini");
    ASSERT_NE(Rules, nullptr);
    EXPECT_EQ(Rules->Num(), 1);
    EXPECT_EQ(Product.GetSectionPtr(u"Other", false, true, u"../SkipRules.ini"), nullptr);
    EXPECT_EQ(Product.FindConfigFile(u"../SkipRules.ini", false)->Dirty, 0);

    Put(u"System.ini", "[S]\nk=edited\n");
    EXPECT_EQ(FString(Cache.GetStr(u"S", u"k", nullptr)), u"v"); // held files are not read again
    Cache.Flush(true, u"System.ini");
    EXPECT_EQ(FString(Cache.GetStr(u"S", u"k", nullptr)), u"edited");

    const std::u16string Long(251, u'n');
    Cache.SetString(u"S", u"k", u"v", Long.c_str(), true);
    Cache.SetString(Long.c_str(), u"k", u"v", u"new", true);
    EXPECT_EQ(Cache.GetSectionPtr(Long.c_str(), true, false, u"new"), nullptr);
    EXPECT_EQ(Cache.FindConfigFile(Long.c_str(), true), nullptr);
    EXPECT_EQ(Cache.Num(), 1); // nothing was made for the refused names
}

TEST_F(FConfigCacheIniTest, OnlyChangedFilesAreWritten)
{
    Cache.SetString(u"A", u"a", u"1", u"new", true);
    Cache.GetSectionPtr(u"B", true, false, u"new");
    Cache.Flush(false, u"new");
    EXPECT_EQ(Get(u"new.ini"), "[A]\r\na=1\r\n\r\n[B]\r\n\r\n");

    Put(u"keep.ini", "[S]\nk=True\n");
    Cache.SetString(u"S", u"k", u"TRUE", u"keep", true); // equal but for case: no change
    Cache.SetBool(u"S", u"k", true, u"keep");
    Put(u"keep.ini", "changed on disk");
    Cache.Flush(false, nullptr);
    EXPECT_EQ(Get(u"keep.ini"), "changed on disk");

    Cache.SetInt(u"S", u"n", 7, u"keep");
    Cache.SetString(u"S", u"n", u"8", u"keep", false); // without Replace a second pair
    Cache.SetString(u"S", u"w", u"\u0101", u"keep", true);
    Cache.Flush(false, u"KEEP");
    std::string Wide("\xFF\xFE");
    for (char16_t Unit : std::u16string(u"[S]\r\nk=True\r\nn=7\r\nn=8\r\nw=\u0101\r\n\r\n"))
        Wide += {char(Unit & 0xFF), char(Unit >> 8)};
    EXPECT_EQ(Get(u"keep.ini"), Wide);

    Cache.SetString(u"S", u"k", u"y", u"unloaded", true);
    Cache.UnloadFile(u"unloaded");
    Cache.Flush(false, nullptr);
    EXPECT_FALSE(TestFileExists(Dir / u"unloaded.ini"));
}

TEST_F(FConfigCacheIniTest, ExitWritesChangedFilesAndKeepsThoseItCouldNotWrite)
{
    Cache.SetString(u"S", u"k", u"v", u"f", true);
    CoreOS::ArmOsFault(CoreOS::OSFAULT_Write, 1);
    Cache.Exit();
    CoreOS::ResetOsFaults();
    ASSERT_EQ(Cache.Num(), 1); // still held, still changed, for the next flush
    EXPECT_EQ(Cache.FindConfigFile(u"f", false)->Dirty, 1);

    Put(u"e.ini", "[S]\nk=old\n");
    Cache.SetString(u"S", u"k", u"new", u"e", true);
    Cache.Exit();
    EXPECT_EQ(Cache.Num(), 0);
    EXPECT_EQ(Get(u"f.ini"), "[S]\r\nk=v\r\n\r\n");
    EXPECT_EQ(Get(u"e.ini"), "[S]\r\nk=new\r\n\r\n");
    Put(u"e.ini", "[S]\nk=again\n");
    EXPECT_EQ(FString(Cache.GetStr(u"S", u"k", u"e")), u"again"); // still usable, reads afresh
}

TEST(FConfigCacheIniDeathTest, CoreExitFlushesTheRegistrysCache)
{
    EXPECT_EXIT(
        {
            bool bWritten = false;
            {
                FTempDir Dir;
                auto* Cache = static_cast<FConfigCacheIni*>(GGlobalVars()->GetConfigCache());
                Cache->ConfigDir = Dir.Path();
                Cache->SetString(u"S", u"k", u"v", u"exit", true);
                appExit();
                std::string Bytes;
                bWritten = ReadTestFile(Dir / u"exit.ini", Bytes) && Bytes == "[S]\r\nk=v\r\n\r\n" && Cache->Num() == 0;
            }
            CoreOS::ExitProcess(bWritten ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
}
