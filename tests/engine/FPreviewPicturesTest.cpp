// The preview's close-ups: magnified as a graphics card samples, and cut where the shrink loses the most of what
// is seen.
#include <gtest/gtest.h>

#include "engine/FPreviewPictures.h"

namespace
{
FTexturePicture Flat(int32_t Width, int32_t Height, uint8_t Grey, uint8_t Alpha = 255)
{
    FTexturePicture Picture{Width, Height, {}};
    for (int32_t i = 0; i < Width * Height; ++i)
        for (uint8_t Byte : {Grey, Grey, Grey, Alpha})
            Picture.Rgba.AddItem(Byte);
    return Picture;
}

// Black and white lines one pixel wide over Width x Height at X, Y, with Alpha.
void Stripe(FTexturePicture& Picture, int32_t X, int32_t Y, int32_t Width, int32_t Height, uint8_t Alpha = 255)
{
    for (int32_t Row = Y; Row < Y + Height; ++Row)
        for (int32_t Column = X; Column < X + Width; ++Column)
        {
            uint8_t* Pixel = Picture.Rgba.GetData() + (Row * Picture.Width + Column) * 4;
            Pixel[0] = Pixel[1] = Pixel[2] = Column % 2 ? 255 : 0;
            Pixel[3] = Alpha;
        }
}
} // namespace

TEST(FPreviewPicturesTest, MagnifiesBetweenTexelCentresAndWrapsAroundTheEdge)
{
    // Black and white, twice as wide: each pixel's centre falls a quarter of a texel from a texel's centre, the
    // first one's towards the last texel across the edge.
    FTexturePicture Two = Flat(2, 1, 0);
    Stripe(Two, 1, 0, 1, 1);
    // The part of it from the third pixel on is the same pixels.
    const FTexturePicture Four = MagnifyPicture(Two, 4, 1, 0, 0, 4, 1), Part = MagnifyPicture(Two, 4, 1, 2, 0, 2, 1);
    const uint8_t Expected[] = {64, 64, 191, 191};
    ASSERT_EQ(Four.Rgba.Num() + Part.Rgba.Num(), 24);
    for (int32_t x = 0; x < 4; ++x)
        EXPECT_TRUE(Four.Rgba[x * 4] == Expected[x] && (x < 2 || Part.Rgba[(x - 2) * 4] == Expected[x])) << x;
}

TEST(FPreviewPicturesTest, CloseUpIsWhereTheSeenLossIsLargest)
{
    // Fine lines that the shrink makes flat grey: the close-up holds them, the first such window from the top,
    // then the left.
    FTexturePicture Before = Flat(256, 256, 128);
    Stripe(Before, 160, 64, 32, 32);
    const FTexturePicture After = Flat(64, 64, 128);
    FPreviewDetail Detail = FindPreviewDetail(Before, After);
    EXPECT_EQ(Detail.X * 1000 + Detail.Y, 64 * 1000 + 0);
    ASSERT_TRUE(Detail.Before.Width == PREVIEW_DetailSide && Detail.After.Height == PREVIEW_DetailSide);
    EXPECT_EQ(Detail.Before.Rgba[((96 - 1) * 128 + 97) * 4], 255);
    EXPECT_EQ(Detail.After.Rgba[((96 - 1) * 128 + 97) * 4], 128);

    // A cut-out: lines the game discards (alpha 0), made flat by the shrink, count for nothing beside the few
    // seen ones that it blurs.
    FTexturePicture CutOut = Flat(256, 256, 128, 0);
    Stripe(CutOut, 0, 0, 128, 128, 0);
    Stripe(CutOut, 200, 200, 16, 16);
    FTexturePicture Shrunk = Flat(64, 64, 128, 0);
    Stripe(Shrunk, 50, 50, 4, 4);
    Detail = FindPreviewDetail(CutOut, Shrunk);
    EXPECT_TRUE(Detail.X <= 200 && Detail.X + 128 >= 216 && Detail.Y <= 200 && Detail.Y + 128 >= 216)
        << Detail.X << "," << Detail.Y;

    // Nothing lost: the middle. A texture smaller than the close-up is shown whole.
    Detail = FindPreviewDetail(Flat(512, 256, 7), Flat(128, 64, 7));
    EXPECT_EQ(Detail.X * 1000 + Detail.Y, 192 * 1000 + 64);
    Detail = FindPreviewDetail(Before, After, 300);
    EXPECT_EQ(Detail.Before.Width * Detail.Before.Height, 256 * 256);
    const FTexturePicture Small = MakeSmallPicture(Flat(1024, 512, 3));
    EXPECT_EQ(Small.Width * 1000 + Small.Height, PREVIEW_SmallSide * 1000 + PREVIEW_SmallSide / 2);
}
