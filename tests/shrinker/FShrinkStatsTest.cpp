#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shrinker/FShrinkStats.h"
#include "shrinker/FTxdImage.h"
#include "tests/support/CaptureDebugOutput.h"

TEST(FShrinkStatsTest, DescriptionLinesAreSortedDescendingWithoutTheirSortPart)
{
    FShrinkStats Stats;
    Stats.MipLevelStats.Set(7, 5);
    Stats.MipLevelStats.Set(1, 0); // never printed
    Stats.FormatStats.Set(TEXKIND_DXT1, 5);
    Stats.FormatStats.Set(0x12345678, 2);
    Stats.DescriptionStats.Set(u"1 DXT1  g: DXT1     64 x   64  x7", 5);
    Stats.DescriptionStats.Set(u"2 g:   64 x   64", 5);
    Stats.DescriptionStats.Set(u"1 RGBA  g: RGBA     64 x   64  x1", 1);
    Stats.DescriptionStats.Set(u"2 s:  512 x  512", 12);
    EXPECT_EQ(Utf8Lines(Stats.GetReportLines()),
              (std::vector<std::string>{"5 images have 7 MipLevels", "5 images have DXT1 format",
                                        "2 images have unknown format", "  12 images are   512 x  512",
                                        "   5 images are    64 x   64", "   1 images are  RGBA     64 x   64  x1",
                                        "   5 images are  DXT1     64 x   64  x7"}));
}
