#include <gtest/gtest.h>

#include "Core/Inc/Core.h"
#include "shrinker/FTxdImage.h"
#include "tests/support/TxdBuilder.h"

TEST(FTxdImageTest, ParsedRecordIsWrittenBackAsStoredWithoutTrailingBytes)
{
    FTestTexture Tex;
    Tex.Name = "wall";
    Tex.D3DFormat = 21;
    Tex.Depth = 32;
    Tex.FormatFlags = 1;
    Tex.Width = Tex.Height = 4;
    Tex.Levels = {FBytes(64, 0x42)};
    const FBytes Exact = TxdRecord(Tex);
    Tex.Trailing = {9, 9, 9};
    const FBytes WithTrailing = TxdRecord(Tex);

    FTxdImage Image;
    ASSERT_TRUE(ParseTxdImage(WithTrailing.data(), int32_t(WithTrailing.size()), Image));
    EXPECT_EQ(Image.GetName(), u"wall");
    ASSERT_EQ(Image.MipList.Num(), 1);
    EXPECT_EQ(Image.MipList[0].Kind, FHeldBytes::HELD_View);
    EXPECT_EQ(Image.MipList[0].GetData(), WithTrailing.data() + 92); // a view, nothing copied
    const FByteArray Written = WriteTxdImage(Image);
    EXPECT_EQ(FBytes(Written.begin(), Written.end()), Exact);

    // A level the policy replaces is owned; the header it wrote is carried as it now stands.
    Image.MipList[0].SetOwned(WithTrailing.data() + 92, 8);
    Image.Header.Width = Image.Header.Height = 2;
    EXPECT_EQ(Image.MipList[0].Kind, FHeldBytes::HELD_Owned);
    const FByteArray Smaller = WriteTxdImage(Image);
    EXPECT_EQ(Smaller.Num(), 88 + 4 + 8);
    EXPECT_EQ(Smaller[80], 2);
}
