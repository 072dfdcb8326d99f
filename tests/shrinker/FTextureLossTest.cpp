// What a reduced texture loses against its original, on pictures whose loss is known.
#include <gtest/gtest.h>

#include <cmath>

#include "shrinker/FTextureLoss.h"
#include "shrinker/FTexturePictures.h"

namespace
{
FTexturePicture Picture(int32_t Width, int32_t Height, uint32_t (*Pixel)(int32_t X, int32_t Y))
{
    FTexturePicture Made;
    Made.Width = Width;
    Made.Height = Height;
    for (int32_t Y = 0; Y < Height; ++Y)
        for (int32_t X = 0; X < Width; ++X)
        {
            const uint32_t Rgba = Pixel(X, Y);
            for (int32_t Shift : {24, 16, 8, 0})
                Made.Rgba.AddItem(uint8_t(Rgba >> Shift));
        }
    return Made;
}

uint32_t Flat(int32_t, int32_t) { return 0x6496C8FF; }
uint32_t Checkers(int32_t X, int32_t Y) { return (X + Y) % 2 ? 0xFFFFFFFF : 0x000000FF; }
uint32_t Gray(int32_t, int32_t) { return 0x808080FF; }
// A ramp of 4 texels and the same ramp magnified twice with bilinear filtering between texel centres, wrapping
// around: 0, 64, 128, 192 and then back to 0.
uint32_t Ramp(int32_t X, int32_t) { return uint32_t(X * 64) << 24 | 0xFF; }
uint32_t RampMagnified(int32_t X, int32_t)
{
    const double At = (X + 0.5) / 2 - 0.5;
    const int32_t Left = int32_t(std::floor(At));
    const double Towards = At - Left;
    const double A = ((Left + 4) % 4) * 64.0, B = ((Left + 5) % 4) * 64.0;
    return uint32_t(A + (B - A) * Towards) << 24 | 0xFF;
}
// A cut-out whose clear pixels hold colours that no one sees.
uint32_t CutOut(int32_t X, int32_t) { return X % 2 ? 0xFF00FF00 : 0x6496C8FF; }
} // namespace

TEST(FTextureLossTest, KnownPicturesLoseWhatTheyMust)
{
    // A flat texture loses nothing; a one-pixel checkerboard becomes gray: everything is lost.
    EXPECT_TRUE(std::isinf(MeasureLoss(Picture(8, 8, Flat), Picture(4, 4, Flat)).Psnr()));
    const FTextureLoss Checkerboard = MeasureLoss(Picture(8, 8, Checkers), Picture(4, 4, Gray));
    EXPECT_EQ(Checkerboard.Pixels, 64);
    EXPECT_LT(Checkerboard.Psnr(), 6.1);
    // A top level that is the next one magnified loses nothing (but the rounding of its stored bytes).
    EXPECT_GT(MeasureLoss(Picture(8, 1, RampMagnified), Picture(4, 1, Ramp)).Psnr(), 50.0);
    // The pixels the alpha test discards do not count; with none left nothing is measured.
    const FTextureLoss Cut = MeasureLoss(Picture(8, 8, CutOut), Picture(4, 4, Flat));
    EXPECT_EQ(Cut.Pixels, 32);
    EXPECT_TRUE(std::isinf(Cut.Psnr()));
    EXPECT_FALSE(MeasureLoss(Picture(8, 8, Flat), FTexturePicture()).IsMeasured());
}
