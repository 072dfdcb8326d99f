#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "shrinker/FTextureUtil.h"
#include "tests/support/CaptureDebugOutput.h"

namespace
{
typedef std::vector<uint8_t> FBytes;

// A deterministic picture: gradients, a disc and stripes; graded alpha, or alpha off inside the disc.
FBytes Picture(int32_t W, int32_t H, bool bBinaryAlpha = false)
{
    FBytes P;
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
        {
            const bool bDisc = (x - W / 3) * (x - W / 3) + (y - H / 2) * (y - H / 2) < W * H / 16;
            P.insert(P.end(), {uint8_t(x * 255 / W), bDisc ? uint8_t(30) : uint8_t(y * 255 / H),
                               ((x / 3 + y / 5) & 1) ? uint8_t(220) : uint8_t(x * y),
                               bBinaryAlpha ? uint8_t(bDisc ? 0 : 255) : uint8_t(255 - (x + 2 * y) % 256)});
        }
    return P;
}

FBytes Resize(const FBytes& Source, int32_t W, int32_t H, int32_t NewW, int32_t NewH)
{
    FBytes Out(size_t(NewW) * NewH * 4);
    ResizeImage(Source.data(), W, H, Out.data(), NewW, NewH);
    return Out;
}

FBytes Convert(int32_t W, int32_t H, const FBytes& Source, FPixelFormat From, FPixelFormat To)
{
    FByteArray Out;
    EXPECT_TRUE(ConvertImage(W, H, Source.data(), From, Out, To, int32_t(Source.size())));
    return FBytes(Out.begin(), Out.end());
}

FBytes Alphas(const FBytes& P)
{
    FBytes A;
    for (size_t i = 3; i < P.size(); i += 4)
        A.push_back(P[i]);
    return A;
}

uint64_t Fnv1a(uint64_t Hash, const FBytes& Bytes)
{
    for (uint8_t B : Bytes)
        Hash = (Hash ^ B) * 0x100000001b3ull;
    return Hash;
}
} // namespace

TEST(FTextureUtilTest, OnOffAlphaIsSnappedAndGradedAlphaIsKept)
{
    // 2x1 to 4x1 samples at 0, 0.5, 1 and 1.5 (wrapping to the left pixel).
    EXPECT_EQ(Alphas(Resize({9, 9, 9, 2, 9, 9, 9, 253}, 2, 1, 4, 1)), FBytes({0, 0, 255, 0})); // 127 -> 0
    EXPECT_EQ(Alphas(Resize({9, 9, 9, 2, 9, 9, 9, 255}, 2, 1, 4, 1))[1], 0);                   // 128 -> 0
    EXPECT_EQ(Alphas(Resize({9, 9, 9, 3, 9, 9, 9, 255}, 2, 1, 4, 1)), FBytes({3, 129, 255, 129}));
}

TEST(FTextureUtilTest, RefusedConversionsLeaveTheOutputAlone)
{
    FCaptureDebugOutput Capture;
    const FBytes Src = Picture(8, 8);
    FByteArray Out;
    Out.AddItem(7);
    EXPECT_FALSE(ConvertImage(8, 8, Src.data(), PIXEL_DXT1, Out, PIXEL_DXT3));
    EXPECT_TRUE(Capture.Contains("Could not convert 44585431 to 44585433"));
    // Sides that are not multiples of 4 would make the blocks overrun the level.
    EXPECT_FALSE(ConvertImage(6, 8, Src.data(), PIXEL_RGBA, Out, PIXEL_DXT1));
    EXPECT_FALSE(ConvertImage(8, 2, Src.data(), PIXEL_RGBA, Out, PIXEL_DXT3));
    // A source shorter than its size says is not read past its end.
    EXPECT_FALSE(ConvertImage(8, 8, Src.data(), PIXEL_DXT1, Out, PIXEL_RGBA, 31));
    ASSERT_EQ(Out.Num(), 1);
    EXPECT_EQ(Out[0], 7);
}

// Both systems compile the same block coder sources the same way; both must give these bytes. The resampled pictures
// pin where each pixel samples (in single precision), how it blends and how the far edges wrap round.
TEST(FTextureUtilTest, BlockCodingAndResamplingGiveTheSameBytesOnEveryBuild)
{
    uint64_t Blocks = 0xcbf29ce484222325ull;
    for (const auto& Size : {std::vector<int32_t>{64, 64, 0}, {8, 8, 1}, {256, 128, 0}})
    {
        const FBytes Src = Picture(Size[0], Size[1], Size[2] != 0);
        for (FPixelFormat Format : {PIXEL_DXT1, PIXEL_DXT3})
        {
            const FBytes Coded = Convert(Size[0], Size[1], Src, PIXEL_RGBA, Format);
            Blocks = Fnv1a(Fnv1a(Blocks, Coded), Convert(Size[0], Size[1], Coded, Format, PIXEL_RGBA));
        }
    }
    EXPECT_EQ(Blocks, 0xbc7b2f78eae416cbull);

    const uint64_t Resampled = Fnv1a(Fnv1a(0xcbf29ce484222325ull, Resize(Picture(256, 128), 256, 128, 100, 75)),
                                     Resize(Picture(50, 30, true), 50, 30, 25, 64));
    EXPECT_EQ(Resampled, 0x18c5fada992a22e6ull);
}

TEST(FTextureUtilTest, LevelsResampledStripByStripGiveTheWholeLevelsPixels)
{
    // Heights that blend rows across the decoder's strips and wrap the last row round to the first.
    struct FSize
    {
        int32_t W, H, NewW, NewH;
    };
    FShrinkBuffers Buffers;
    for (const FSize& Size : {FSize{64, 100, 32, 37}, FSize{8, 200, 5, 199}, FSize{256, 64, 128, 16}})
        for (FPixelFormat Format : {PIXEL_DXT1, PIXEL_DXT3, PIXEL_RGBA})
            for (bool bBinaryAlpha : {false, true})
            {
                SCOPED_TRACE(testing::Message() << Size.W << "x" << Size.H << " " << Format << " " << bBinaryAlpha);
                const FBytes Level = Convert(Size.W, Size.H, Picture(Size.W, Size.H, bBinaryAlpha), PIXEL_RGBA, Format);
                const FBytes Whole =
                    Resize(Convert(Size.W, Size.H, Level, Format, PIXEL_RGBA), Size.W, Size.H, Size.NewW, Size.NewH);
                FBytes Strips(Whole.size());
                ASSERT_TRUE(ResampleLevel(Size.W, Size.H, Level.data(), Format, int32_t(Level.size()), Strips.data(),
                                          Size.NewW, Size.NewH, Buffers));
                EXPECT_TRUE(Strips == Whole);
            }
    // A level too short for its size is refused, as a conversion would refuse it.
    FBytes Out(16, 7);
    EXPECT_FALSE(ResampleLevel(8, 8, Out.data(), PIXEL_DXT1, 16, Out.data(), 2, 2, Buffers));
    EXPECT_EQ(Out, FBytes(16, 7));
}
