#include <gtest/gtest.h>

#include "Core/Inc/CoreFormat.h"
#include "shrinker/FShrinkSettings.h"

// The text form reads back as the same value, the smoothing's origin included; anything else is refused.
TEST(FShrinkSettingsTest, TextFormReadsBackAndUnknownTextIsRefused)
{
    FShrinkSettings StandardSmooth = FShrinkSettings::Standard();
    StandardSmooth.Smooth = ESmoothChoice::Smooth;
    FShrinkSettings Picking = FShrinkSettings::LargestSide(8192);
    Picking.Smooth = ESmoothChoice::NoSmooth;
    const struct
    {
        FShrinkSettings Settings;
        const char16_t* Text;
        const char16_t* Description;
    } Rows[] = {
        {FShrinkSettings::Standard(), u"standard", u"the standard shrink"},
        {StandardSmooth, u"standard smooth", u"the standard shrink, smooth"},
        {FShrinkSettings::LargestSide(512), u"max-side:512", u"at most 512 pixels, smooth"},
        {Picking, u"max-side:8192 no-smooth", u"at most 8192 pixels, not smooth"},
        {FShrinkSettings::KeepQuality(40), u"keep-quality:40", u"no visible change (40 dB), smooth"},
        {FShrinkSettings::KeepQuality(25), u"keep-quality:25", u"every texture at least 25 dB, smooth"},
        {FShrinkSettings::FitIn(600000000), u"fit:600000000", nullptr},
        {FShrinkSettings::FitInPercent(55), u"fit:55%", u"fit in 55% of today's size, smooth"},
    };
    for (const auto& Row : Rows)
    {
        EXPECT_EQ(Row.Settings.ToText(), Row.Text);
        // A size is described in the units of the system's file manager.
        EXPECT_EQ(Row.Settings.Describe(), Row.Description ? FString(Row.Description)
                                                           : u"fit in " + appFormatMegabytes(600000000) + u", smooth");
        FShrinkSettings Read = StandardSmooth;
        EXPECT_TRUE(FShrinkSettings::FromText(FString(Row.Text), Read));
        EXPECT_TRUE(Read == Row.Settings);
    }
    for (const char16_t* Bad :
         {u"", u"Standard", u"standard  smooth", u"standard smooth ", u"max-side:15", u"max-side:8193",
          u"max-side:0512", u"max-side:", u"max-side:5x", u"standard fast", u"max-side:512 smooth smooth",
          u"keep-quality:19", u"keep-quality:61", u"keep-quality:", u"fit:0", u"fit:100%", u"fit:%", u"fit:-5"})
    {
        FShrinkSettings Read = Picking;
        EXPECT_FALSE(FShrinkSettings::FromText(FString(Bad), Read)) << FString(Bad).ToUtf8();
        EXPECT_TRUE(Read == Picking);
    }
    EXPECT_FALSE(FShrinkSettings::IsValidMaxSide(15));
    EXPECT_TRUE(FShrinkSettings::IsValidMaxSide(16));

    // Asked or by default, the same smoothing makes the same archive.
    FShrinkSettings Asked = FShrinkSettings::LargestSide(512);
    Asked.Smooth = ESmoothChoice::Smooth;
    EXPECT_TRUE(Asked.MakesSameArchive(FShrinkSettings::LargestSide(512)));
    EXPECT_FALSE(Asked == FShrinkSettings::LargestSide(512));
    EXPECT_FALSE(StandardSmooth.MakesSameArchive(FShrinkSettings::Standard()));
    EXPECT_FALSE(FShrinkSettings::LargestSide(256).MakesSameArchive(FShrinkSettings::LargestSide(512)));
    EXPECT_FALSE(FShrinkSettings::KeepQuality(30).MakesSameArchive(FShrinkSettings::KeepQuality(40)));
    EXPECT_FALSE(FShrinkSettings::FitIn(1000).MakesSameArchive(FShrinkSettings::FitInPercent(10)));
    // A share of a size that does not divide by 100 rounds down, without overflowing a large one.
    EXPECT_EQ(FShrinkSettings::FitInPercent(55).FitTarget(999), 549);
    EXPECT_EQ(FShrinkSettings::FitInPercent(99).FitTarget(INT64_MAX / 10), INT64_MAX / 10 / 100 * 99 + 79);
}
