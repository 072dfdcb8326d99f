#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include <squish.h>

#include "shrinker/FTextureBoxHalving.h"
#include "shrinker/FTextureResample.h"
#include "shrinker/FTxdImage.h"
#include "tests/support/CaptureDebugOutput.h"
#include "tools/make-sample-game/SampleGame.h"

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

FBytes Resize(const FBytes& Source, int32_t W, int32_t H, int32_t NewW, int32_t NewH,
             EColourWeight Weight = EColourWeight::Plain)
{
    FBytes Out(size_t(NewW) * NewH * 4);
    ResizeImage(Source.data(), W, H, Out.data(), NewW, NewH, Weight);
    return Out;
}

FBytes BoxResize(const FBytes& Source, int32_t W, int32_t H, int32_t NewW, int32_t NewH,
                 EColourWeight Weight = EColourWeight::Plain)
{
    FBytes Out(size_t(NewW) * NewH * 4);
    BoxResizeImage(Source.data(), W, H, Out.data(), NewW, NewH, Weight);
    return Out;
}

FBytes Convert(int32_t W, int32_t H, const FBytes& Source, FPixelFormat From, FPixelFormat To,
               EBlockEncoder Encoder = EBlockEncoder::RangeFit)
{
    FByteArray Out;
    EXPECT_TRUE(ConvertImage(W, H, Source.data(), From, Out, To, int32_t(Source.size()), nullptr, Encoder));
    return FBytes(Out.begin(), Out.end());
}

FBytes Alphas(const FBytes& P)
{
    FBytes A;
    for (size_t i = 3; i < P.size(); i += 4)
        A.push_back(P[i]);
    return A;
}

double SquaredError(const FBytes& A, const FBytes& B)
{
    double Sum = 0.0;
    for (size_t i = 0; i < A.size(); ++i)
        Sum += (double(A[i]) - B[i]) * (double(A[i]) - B[i]);
    return Sum;
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
    // A source shorter than its size says (empty too) is not read past its end.
    for (const int32_t Bytes : {31, 0})
        EXPECT_FALSE(ConvertImage(8, 8, Src.data(), PIXEL_DXT1, Out, PIXEL_RGBA, Bytes));
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

    // The largest-side mode's DXT5 and the box filter (a cut-out and a graded picture, odd sides too).
    const FBytes Dxt5 = Convert(64, 64, Picture(64, 64), PIXEL_RGBA, PIXEL_DXT5);
    FBytes Box(size_t(31) * 20 * 4);
    BoxResizeImage(Picture(64, 41, true).data(), 64, 41, Box.data(), 31, 20);
    const uint64_t Smooth =
        Fnv1a(Fnv1a(Fnv1a(0xcbf29ce484222325ull, Dxt5), Convert(64, 64, Dxt5, PIXEL_DXT5, PIXEL_RGBA)), Box);
    EXPECT_EQ(Smooth, 0x8a929fc7e22ccbf2ull);

    // The finer pixels: the cubic's colour and the bilinear blend weighted by alpha (single precision and the
    // kernel's weights), and the fine encoder (stb_dxt's floating point).
    FShrinkBuffers Buffers;
    FBytes Cubic(size_t(31) * 20 * 4);
    ASSERT_TRUE(ResampleLevel(64, 41, Picture(64, 41, true).data(), PIXEL_RGBA, -1, Cubic.data(), 31, 20, Buffers,
                              nullptr, EResampleFilter::CatmullRom, EColourWeight::ByAlpha));
    uint64_t Fine = Fnv1a(Fnv1a(0xcbf29ce484222325ull, Cubic),
                          Resize(Picture(50, 30, true), 50, 30, 25, 64, EColourWeight::ByAlpha));
    for (FPixelFormat Format : {PIXEL_DXT1, PIXEL_DXT3, PIXEL_DXT5})
        Fine = Fnv1a(Fine, Convert(64, 64, Picture(64, 64, Format == PIXEL_DXT1), PIXEL_RGBA, Format,
                                   EBlockEncoder::Fine));
    EXPECT_EQ(Fine, 0x3839c253e3e3d671ull);
}

// The block decoder gives libsquish's bytes: every level of the sample textures of each block kind (both pictures,
// partial blocks at the small levels and odd sides), and random blocks of each format, among them both DXT1 colour
// modes and both DXT5 alpha modes, and equal endpoints.
TEST(FTextureUtilTest, BlocksDecodeToLibsquishsBytes)
{
    auto ExpectLibsquishsBytes = [](int32_t W, int32_t H, const uint8_t* Blocks, FPixelFormat Format)
    {
        SCOPED_TRACE(testing::Message() << W << "x" << H << " " << Format);
        FBytes Theirs(size_t(W) * H * 4);
        const int Flags =
            Format == PIXEL_DXT1 ? squish::kDxt1 : Format == PIXEL_DXT3 ? squish::kDxt3 : squish::kDxt5;
        squish::DecompressImage(Theirs.data(), W, H, Blocks, Flags);
        FByteArray Ours;
        ASSERT_TRUE(ConvertImage(W, H, Blocks, Format, Ours, PIXEL_RGBA));
        EXPECT_TRUE(FBytes(Ours.begin(), Ours.end()) == Theirs);
    };
    using SampleGame::ETextureKind;
    for (ETextureKind Kind : {ETextureKind::Dxt1, ETextureKind::Dxt1a, ETextureKind::Dxt3})
        for (SampleGame::EPicture Picture : {SampleGame::EPicture::Scene, SampleGame::EPicture::Lettering})
            for (const std::vector<int32_t>& Size : {std::vector<int32_t>{256, 128, 9}, {52, 20, 6}})
            {
                SampleGame::FSampleTexture Texture;
                Texture.Kind = Kind;
                Texture.Picture = Picture;
                Texture.Width = uint16_t(Size[0]);
                Texture.Height = uint16_t(Size[1]);
                Texture.MipLevels = uint8_t(Size[2]);
                Texture.Seed = uint64_t(Size[0]) * 7 + uint64_t(Kind);
                const std::vector<uint8_t> Record = SampleGame::MakeTextureRecord(Texture);
                FTxdImage Image;
                ASSERT_TRUE(ParseTxdImage(Record.data(), int32_t(Record.size()), Image));
                for (int32_t Level = 0; Level < Image.MipList.Num(); ++Level)
                    ExpectLibsquishsBytes(std::max(1, Size[0] >> Level), std::max(1, Size[1] >> Level),
                                          Image.MipList[Level].GetData(),
                                          Kind == ETextureKind::Dxt3 ? PIXEL_DXT3 : PIXEL_DXT1);
            }
    // Random halves of 8 bytes, some with equal colour endpoints (bytes 0-1 and 2-3) or equal DXT5 alphas (0 and 1).
    FBytes Random(128 * 128);
    uint32_t Seed = 99;
    for (uint8_t& Byte : Random)
        Byte = uint8_t((Seed = Seed * 1103515245u + 12345u) >> 23);
    for (size_t Half = 0; Half < Random.size(); Half += 8)
    {
        if (Half % 56 == 24)
            std::copy_n(&Random[Half], 2, &Random[Half + 2]);
        if (Half % 56 == 40)
            Random[Half + 1] = Random[Half];
    }
    for (FPixelFormat Format : {PIXEL_DXT1, PIXEL_DXT3, PIXEL_DXT5})
        for (int32_t Side : {128, 125})
            ExpectLibsquishsBytes(Side, Side - 3, Random.data(), Format);
}

// The fine encoder is closer to the pixels than the range fit; each of its colour blocks is in the four-colour mode
// (blocks of one colour, black and white, too), DXT1's clear pixels stay clear and DXT3's alpha is the range fit's.
TEST(FTextureUtilTest, FineBlocksAreCloserInFourColoursAndKeepClearPixels)
{
    for (FPixelFormat Format : {PIXEL_DXT1, PIXEL_DXT3, PIXEL_DXT5})
    {
        SCOPED_TRACE(Format);
        FBytes Src = Picture(64, 64, Format == PIXEL_DXT1);
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 8; ++x)
                std::fill_n(&Src[size_t(y * 64 + x) * 4], 3, uint8_t(x < 4 ? 0 : 255));
        const FBytes Fine = Convert(64, 64, Src, PIXEL_RGBA, Format, EBlockEncoder::Fine);
        const FBytes Fast = Convert(64, 64, Src, PIXEL_RGBA, Format);
        const FBytes Decoded = Convert(64, 64, Fine, Format, PIXEL_RGBA);
        EXPECT_LT(SquaredError(Decoded, Src), SquaredError(Convert(64, 64, Fast, Format, PIXEL_RGBA), Src));
        for (size_t i = 0; i < 64 * 4 * 4; ++i)
            ASSERT_TRUE(i % 256 >= 32 || i % 4 == 3 || Decoded[i] == Src[i]) << i;
        const size_t BlockBytes = Format == PIXEL_DXT1 ? 8 : 16;
        for (size_t b = 0; b < Fine.size() / BlockBytes; ++b)
        {
            const uint8_t* Block = &Fine[b * BlockBytes];
            const uint8_t* Colour = Block + BlockBytes - 8;
            bool bClear = false;
            for (size_t i = 0; i < 16; ++i)
                bClear = bClear || Src[((b / 16 * 4 + i / 4) * 64 + b % 16 * 4 + i % 4) * 4 + 3] < 128;
            EXPECT_EQ(Colour[0] + Colour[1] * 256 > Colour[2] + Colour[3] * 256, Format != PIXEL_DXT1 || !bClear) << b;
            EXPECT_TRUE(Format != PIXEL_DXT3 || std::equal(Block, Block + 8, &Fast[b * BlockBytes]));
        }
        for (size_t i = 3; Format == PIXEL_DXT1 && i < Src.size(); i += 4)
            ASSERT_EQ(Decoded[i], Src[i] < 128 ? 0 : 255);
    }
}

TEST(FTextureUtilTest, LevelsResampledStripByStripGiveTheWholeLevelsPixels)
{
    // Heights that blend rows across the decoder's strips and wrap the last row round to the first; both filters.
    struct FSize
    {
        int32_t W, H, NewW, NewH;
    };
    FShrinkBuffers Buffers;
    for (const FSize& Size : {FSize{64, 100, 32, 37}, FSize{8, 200, 5, 199}, FSize{256, 64, 128, 16}})
        for (FPixelFormat Format : {PIXEL_DXT1, PIXEL_DXT3, PIXEL_RGBA})
            for (bool bBinaryAlpha : {false, true})
                for (EResampleFilter Filter :
                     {EResampleFilter::Bilinear, EResampleFilter::Box, EResampleFilter::CatmullRom})
                    for (EColourWeight Weight : {EColourWeight::Plain, EColourWeight::ByAlpha})
                    {
                        SCOPED_TRACE(testing::Message() << Size.W << "x" << Size.H << " " << Format << " "
                                                        << bBinaryAlpha << " " << int32_t(Filter) << int32_t(Weight));
                        const FBytes Level =
                            Convert(Size.W, Size.H, Picture(Size.W, Size.H, bBinaryAlpha), PIXEL_RGBA, Format);
                        const FBytes Decoded = Convert(Size.W, Size.H, Level, Format, PIXEL_RGBA);
                        FBytes Whole = Filter == EResampleFilter::Box
                                           ? BoxResize(Decoded, Size.W, Size.H, Size.NewW, Size.NewH, Weight)
                                           : Resize(Decoded, Size.W, Size.H, Size.NewW, Size.NewH, Weight);
                        const bool bCubic = Filter == EResampleFilter::CatmullRom;
                        ASSERT_TRUE(!bCubic || ResampleLevel(Size.W, Size.H, Decoded.data(), PIXEL_RGBA,
                                                             int32_t(Decoded.size()), Whole.data(), Size.NewW,
                                                             Size.NewH, Buffers, nullptr, Filter, Weight));
                        FBytes Strips(Whole.size());
                        ASSERT_TRUE(ResampleLevel(Size.W, Size.H, Level.data(), Format, int32_t(Level.size()),
                                                  Strips.data(), Size.NewW, Size.NewH, Buffers, nullptr, Filter,
                                                  Weight));
                        EXPECT_TRUE(Strips == Whole);
                    }
    // A level too short for its size is refused, as a conversion would refuse it.
    FBytes Out(16, 7);
    EXPECT_FALSE(ResampleLevel(8, 8, Out.data(), PIXEL_DXT1, 16, Out.data(), 2, 2, Buffers));
    EXPECT_EQ(Out, FBytes(16, 7));
}

namespace
{
// Pixels of one grey value each, with a graded alpha so that no cut-out rule applies.
FBytes Greys(const std::vector<uint8_t>& Values)
{
    FBytes P;
    for (uint8_t V : Values)
        P.insert(P.end(), {V, V, V, 100});
    return P;
}

// Cut-outs: leaves (overlapping discs) and a fence (bars three pixels wide every seven), alpha 0 or 255.
FBytes CutOut(int32_t W, int32_t H, bool bFence)
{
    FBytes P(size_t(W) * H * 4, 0);
    uint32_t Seed = 12345;
    std::vector<int32_t> Discs;
    for (int32_t i = 0; i < 40; ++i)
        for (int32_t k = 0; k < 3; ++k)
            Discs.push_back(int32_t((Seed = Seed * 1103515245u + 12345u) >> 16) % (k < 2 ? W : W / 6 + 2));
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
        {
            bool bOn = bFence && (x % 7 < 3 || y % 7 < 3);
            for (size_t d = 0; !bFence && d < Discs.size(); d += 3)
                bOn = bOn || (x - Discs[d]) * (x - Discs[d]) + (y - Discs[d + 1]) * (y - Discs[d + 1]) <
                                 Discs[d + 2] * Discs[d + 2];
            uint8_t* Pixel = &P[(size_t(y) * W + x) * 4];
            Pixel[1] = uint8_t(x * 3);
            Pixel[3] = bOn ? 255 : 0;
        }
    return P;
}

double Coverage(const FBytes& P)
{
    size_t On = 0;
    for (size_t i = 3; i < P.size(); i += 4)
        On += P[i] >= 128;
    return 100.0 * double(On) / double(P.size() / 4);
}
} // namespace

// Every output pixel is the mean of the source area it covers, rounded to nearest: pairs for even sides,
// partly covered pixels weighing by the part for odd ones, and no filtering along a side that stays.
TEST(FTextureUtilTest, BoxFilterAveragesTheAreaEachPixelCovers)
{
    EXPECT_EQ(BoxResize(Greys({1, 2, 3, 4}), 2, 2, 1, 1), Greys({3}));    // 2.5 rounds up
    EXPECT_EQ(BoxResize(Greys({1, 2, 3, 5}), 4, 1, 2, 1), Greys({2, 4})); // 1.5 -> 2, 4
    // 5 -> 2: (2a + 2b + c) / 5 and (c + 2d + 2e) / 5.
    EXPECT_EQ(BoxResize(Greys({10, 20, 30, 40, 50}), 5, 1, 2, 1), Greys({18, 42}));
    // 4 -> 3: (3a + b) / 4, (b + c) / 2 and (c + 3d) / 4.
    EXPECT_EQ(BoxResize(Greys({10, 20, 30, 40}), 4, 1, 3, 1), Greys({13, 25, 38}));
    // 3 x 3 -> 1 x 1 is the mean of all nine; 3 x 2 -> 1 x 1 of all six.
    EXPECT_EQ(BoxResize(Greys({0, 9, 18, 27, 36, 45, 54, 63, 72}), 3, 3, 1, 1), Greys({36}));
    EXPECT_EQ(BoxResize(Greys({10, 20, 30, 40, 50, 60}), 3, 2, 1, 1), Greys({35}));
    EXPECT_EQ(BoxResize(Greys({10, 20, 30, 40}), 1, 4, 1, 2), Greys({15, 35}));
    const FBytes Same = Picture(6, 5);
    EXPECT_EQ(BoxResize(Same, 6, 5, 6, 5), Same);
}

// The Catmull-Rom colour: a step shrunk to half its width rings as the cubic does (taps of 7104, 1856, -576 and
// -192 sixteen-thousandths either way, wrapping round), on every row alike however the rows are shrunk or kept;
// alpha is the box filter's.
TEST(FTextureUtilTest, CatmullRomColourRingsAtAStepAndAlphaIsTheBoxFilters)
{
    FBytes Step;
    for (int32_t i = 0; i < 8 * 8; ++i)
        Step.insert(Step.end(), {uint8_t(i % 8 < 4 ? 0 : 255), 0, 0, 100});
    FShrinkBuffers Buffers;
    for (int32_t NewWidth : {4, 3})
    {
        const int32_t NewHeight = NewWidth == 4 ? 4 : 8;
        FBytes Out(size_t(NewWidth) * NewHeight * 4);
        ASSERT_TRUE(ResampleLevel(8, 8, Step.data(), PIXEL_RGBA, -1, Out.data(), NewWidth, NewHeight, Buffers,
                                  nullptr, EResampleFilter::CatmullRom, EColourWeight::ByAlpha));
        for (int32_t i = 0; i < NewWidth * NewHeight; ++i)
            EXPECT_TRUE(Out[i * 4] == Out[i % NewWidth * 4] && Out[i * 4 + 3] == 100) << NewWidth << " " << i;
        EXPECT_TRUE(NewWidth != 4 || FBytes({Out[0], Out[4], Out[8], Out[12]}) == FBytes({14, 14, 241, 241}));
    }
}

// Colour weighted by alpha: a clear pixel's colour does not reach an edge, alpha is the plain average, pixels that
// are all clear keep the plain average, and pixels of one alpha the plain pixels exactly; the bilinear blend too.
TEST(FTextureUtilTest, ColourWeightedByAlphaLeavesClearPixelsOutOfTheEdge)
{
    const EColourWeight ByAlpha = EColourWeight::ByAlpha;
    const FBytes Edge = {0, 0, 0, 0, 200, 100, 50, 200, 9, 9, 9, 0, 1, 1, 1, 0};
    EXPECT_EQ(BoxResize(Edge, 4, 1, 2, 1, ByAlpha), FBytes({200, 100, 50, 100, 5, 5, 5, 0}));
    EXPECT_EQ(BoxResize(Edge, 4, 1, 2, 1), FBytes({100, 50, 25, 100, 5, 5, 5, 0}));
    // 3 -> 2: (2a + b) / 3 and (b + 2c) / 3, the colour weighing by alpha as well.
    EXPECT_EQ(BoxResize(FBytes({90, 90, 90, 0, 30, 30, 30, 60, 60, 60, 60, 120}), 3, 1, 2, 1, ByAlpha),
              FBytes({30, 30, 30, 20, 54, 54, 54, 100}));
    // 2 -> 4 samples at 0, 0.5, 1 and 1.5 (wrapping round).
    EXPECT_EQ(Resize(FBytes(Edge.begin(), Edge.begin() + 8), 2, 1, 4, 1, ByAlpha),
              FBytes({0, 0, 0, 0, 200, 100, 50, 100, 200, 100, 50, 200, 200, 100, 50, 100}));
    FBytes OneAlpha = Picture(64, 41);
    for (size_t i = 3; i < OneAlpha.size(); i += 4)
        OneAlpha[i] = 77;
    for (int32_t NewWidth : {32, 31})
        EXPECT_EQ(BoxResize(OneAlpha, 64, 41, NewWidth, 20, ByAlpha), BoxResize(OneAlpha, 64, 41, NewWidth, 20));
}

// A cut-out keeps its share of visible pixels: within one point at every size, where rounding every average at
// 128 would shift it the same way each time.
TEST(FTextureUtilTest, CutOutsKeepTheirCoverageThroughTheBoxFilter)
{
    struct FSize
    {
        int32_t W, H, NewW, NewH;
    };
    for (bool bFence : {false, true})
        for (const FSize& Size : {FSize{128, 128, 64, 64}, FSize{128, 128, 16, 16}, FSize{99, 61, 49, 30}})
        {
            SCOPED_TRACE(testing::Message() << bFence << " " << Size.NewW << "x" << Size.NewH);
            const FBytes Source = CutOut(Size.W, Size.H, bFence);
            const FBytes Out = BoxResize(Source, Size.W, Size.H, Size.NewW, Size.NewH);
            EXPECT_NEAR(Coverage(Out), Coverage(Source), 1.0);
            for (uint8_t Alpha : Alphas(Out))
                ASSERT_TRUE(Alpha == 0 || Alpha == 255);
        }
    // Nothing opaque stays nothing; everything opaque stays everything.
    EXPECT_EQ(Alphas(BoxResize(FBytes(64, 0), 4, 4, 2, 2)), FBytes(4, 0));
    FBytes Opaque(64, 0);
    for (size_t i = 3; i < Opaque.size(); i += 4)
        Opaque[i] = 254;
    EXPECT_EQ(Alphas(BoxResize(Opaque, 4, 4, 2, 2)), FBytes(4, 255));
}
