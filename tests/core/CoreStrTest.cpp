#include <gtest/gtest.h>

#include <string>

#include "Core/Inc/Core.h"

namespace
{
std::string Fmt(const char16_t* Format, ...)
{
    char16_t Buffer[512];
    va_list Args;
    va_start(Args, Format);
    appFormatV(Buffer, 512, Format, Args);
    va_end(Args);
    return FString(Buffer).ToUtf8();
}
} // namespace

TEST(CoreStrTest, FormatsTheConversionsTheSystemUses)
{
    EXPECT_EQ(Fmt(u"%s:%4d images are %s", u"1 DXT1 a", 7, u"shrunk"), "1 DXT1 a:   7 images are shrunk");
    EXPECT_EQ(Fmt(u"%4d x %4d", 1024, 32), "1024 x   32");
    EXPECT_EQ(Fmt(u"%d (0x%8x)", 4660, 4660), "4660 (0x    1234)");
    EXPECT_EQ(Fmt(u"Could not convert %x to %x", 0x44585431u, 0x44585433u), "Could not convert 44585431 to 44585433");
    EXPECT_EQ(Fmt(u"%02d:%02d:%02d:%04d", 9, 5, 7, 42), "09:05:07:0042");
    EXPECT_EQ(Fmt(u"%c: %s", u'A', u"x"), "A: x");
    EXPECT_EQ(Fmt(u"%f", 0.25), "0.250000");
    EXPECT_EQ(Fmt(u"%.2f|%8.3f|%-6.1f|", -1.005, 3.14159, 2.0), "-1.00|   3.142|2.0   |");
    EXPECT_EQ(Fmt(u"%i %u %X %o %%", -12, 4000000000u, 0xBEEFu, 8u), "-12 4000000000 BEEF 10 %");
    EXPECT_EQ(Fmt(u"%lld %I64d %zu", -9000000000LL, 5000000000LL, size_t(7)), "-9000000000 5000000000 7");
    EXPECT_EQ(Fmt(u"[%-5s][%5s][%.2s][%*d]", u"ab", u"ab", u"abc", 4, 3), "[ab   ][   ab][ab][   3]");
    EXPECT_EQ(Fmt(u"%hs and %s", "narrow", nullptr), "narrow and (null)");
    EXPECT_EQ(Fmt(u"%+d %05d %-4d| %#x", 5, -42, 3, 255u), "+5 -0042 3   | 0xff");
}

TEST(CoreStrTest, FixedBufferFormatterCutsAndTerminates)
{
    char16_t Buffer[10];
    for (char16_t& Unit : Buffer)
        Unit = u'#';
    EXPECT_EQ(appSprintfFixed(Buffer, 10, u"%s", u"0123456789abc"), -1);
    EXPECT_EQ(FString(Buffer), u"01234567"); // Size - 2 characters
    EXPECT_EQ(Buffer[8], 0);
    EXPECT_EQ(Buffer[9], 0);

    char16_t Fits[10];
    Fits[9] = u'#';
    EXPECT_EQ(appSprintfFixed(Fits, 10, u"%d", 1234), 4);
    EXPECT_EQ(FString(Fits), u"1234");
    EXPECT_EQ(Fits[9], u'#'); // untouched when nothing was cut
}

// The map's text keys rest on both: spellings that compare equal hash equal.
TEST(CoreStrTest, CaseInsensitiveCompareAndHashFoldOnlyAscii)
{
    EXPECT_EQ(appStrHashNoCase(u"gta3.img"), appStrHashNoCase(u"GTA3.IMG"));
    EXPECT_NE(appStrHashNoCase(u"gta3.img"), appStrHashNoCase(u"gta3.imh"));
    EXPECT_EQ(appStricmp(u"Models\\GTA3.img", u"models\\gta3.IMG"), 0);
    EXPECT_NE(appStricmp(u"\u00e9", u"\u00c9"), 0);
    EXPECT_LT(appStricmp(u"abc", u"ABD"), 0);
}
