// The preview of a sample archive of every texture kind: its pictures and estimate are what a real shrink makes,
// the PNG files hold the pictures and close-ups exactly, and the page's folder is replaced only when it holds a
// page of ours.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CorePath.h"
#include "engine/FPreviewPage.h"
#include "engine/FPreviewPictures.h"
#include "shrinker/FTxdImage.h"
#include "tests/support/TempDir.h"
#include "tools/make-sample-game/SampleGame.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include "stb_image.h"

namespace
{
std::string ReadFile(const FString& Path)
{
    std::ifstream In(Path.ToUtf8(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

// The PNG file read back with stb_image equals the picture it was written from.
bool HoldsPicture(const FString& Path, const FTexturePicture& Picture)
{
    const std::string Png = ReadFile(Path);
    int Width = 0, Height = 0, Channels = 0;
    stbi_uc* Pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(Png.data()), int(Png.size()), &Width,
                                            &Height, &Channels, 4);
    const bool bSame = Pixels && Width == Picture.Width && Height == Picture.Height &&
                       std::equal(Pixels, Pixels + Picture.Rgba.Num(), Picture.Rgba.GetData());
    stbi_image_free(Pixels);
    return bSame;
}
} // namespace

TEST(FPreviewPageTest, PicturesAreTheShrinksOwnAndThePageKeepsThemExactly)
{
    FTempDir Dir;
    const FString Src = Dir / u"gta3.img", Shrunk = Dir / u"shrunk.img", Page = Dir / u"page";
    SampleGame::FSampleGameOptions Sample;
    Sample.Seed = 3;
    Sample.EntryCount = 120;
    Sample.bLettering = true;
    ASSERT_TRUE(SampleGame::WriteSampleImg(Src.ToUtf8(), Sample, nullptr));
    FPreviewRequest Request;
    Request.Archives.AddItem(Src);
    Request.Settings = FShrinkSettings::LargestSide(256);
    Request.Count = 8;
    FPreview Preview;
    ASSERT_TRUE(MakePreview(Request, Preview).bOk);
    ASSERT_EQ(Preview.Pairs.Num(), 8);
    ASSERT_EQ(Preview.Choices.Num(), 6);
    EXPECT_TRUE(Preview.Choices[4].bShown);

    // A real shrink of the same choice: its size is the estimate, and its textures as the archive holds them are
    // the pictures "after", the most saved first.
    FShrinkOptions Options;
    Options.Settings = Request.Settings;
    const FShrinkResult Result = ShrinkImgFile(*Shrunk, *Src, Options);
    ASSERT_TRUE(Result.bOk);
    EXPECT_EQ(Preview.Choices[4].EstimatedBytes, Result.OutputBytes);
    EXPECT_EQ(Preview.EstimatedBytes(), Result.OutputBytes);
    EXPECT_EQ(Preview.Facts.Changed, Result.Stats.Textures.Changed);
    // What the choice loses, over every texture and texture by texture, is a dry run's that measures it; the
    // curve runs from the archive as it is, losing nothing, to the smallest the fit reaches.
    FShrinkOptions Measuring = Options;
    Measuring.bDryRun = true;
    Measuring.bMeasureLoss = true;
    Measuring.LossSampledPixels = PREVIEW_LossSampledPixels;
    FLossTally Loss;
    Measuring.OnTexture = [&Loss](const FTextureFact& Fact) { Loss.Add(Fact); };
    ASSERT_TRUE(ShrinkImgFile(u"", *Src, Measuring).bOk);
    EXPECT_TRUE(Preview.Choices[4].Loss.SquaredError == Loss.All.SquaredError &&
                Preview.Choices[4].Loss.Pixels == Loss.All.Pixels);
    ASSERT_EQ(Preview.LosesMost.Num(), 8);
    for (int32_t i = 0; i < Preview.LosesMost.Num(); ++i)
    {
        EXPECT_EQ(Preview.LosesMost[i].Fact.Name, Loss.Worst[i].Name);
        EXPECT_FALSE(Preview.LosesMost[i].After.IsEmpty());
    }
    ASSERT_GE(Preview.Curve.Num(), 2);
    EXPECT_TRUE(Preview.Curve[0].Bytes >= Preview.Choices[2].EstimatedBytes && Preview.Curve[0].Loss.SquaredError == 0);
    EXPECT_LT(Preview.Curve[Preview.Curve.Num() - 1].Bytes, Preview.Choices[4].EstimatedBytes);
    TDynArray<FTexturePair> Written = Preview.Pairs;
    // A pair whose texture or entry is not in the archive gets no pictures.
    FTexturePair Stray = Preview.Pairs[0];
    Stray.Before = Stray.After = FTexturePicture();
    for (Stray.Fact.Index = 0; Stray.Fact.Index < 64; ++Stray.Fact.Index) // the dictionary's textures, and past them
        Written.AddItem(Stray);
    Stray.Fact.Entry = 100000;
    Written.AddItem(Stray);
    CoreOS::ArmOsFault(CoreOS::OSFAULT_Open, 2); // the archive cannot be opened again once its directory is read
    EXPECT_FALSE(DecodeTexturePairs(*Shrunk, Options, Written));
    CoreOS::ResetOsFaults();
    ASSERT_TRUE(DecodeTexturePairs(*Shrunk, Options, Written));
    EXPECT_TRUE(Written.Last().Before.IsEmpty() && Written.Last().After.IsEmpty());
    EXPECT_TRUE(Written[Written.Num() - 2].Before.IsEmpty());
    for (int32_t i = 0; i < Preview.Pairs.Num(); ++i)
    {
        const FTexturePair& Pair = Preview.Pairs[i];
        SCOPED_TRACE(Pair.Fact.TxdName.ToUtf8() + "." + Pair.Fact.Name.ToUtf8());
        ASSERT_FALSE(Pair.Before.IsEmpty() || Pair.After.IsEmpty());
        // A kind without alpha is drawn opaque, whatever its stored alpha bytes hold.
        const FTextureKind* Kind = FindTextureKind(Pair.Fact.Kind);
        bool bOpaque = true;
        for (int32_t j = 3; j < Pair.Before.Rgba.Num(); j += 4)
            bOpaque = bOpaque && Pair.Before.Rgba[j] == 255;
        EXPECT_TRUE(!Kind || Kind->bAlpha || bOpaque);
        EXPECT_EQ(Pair.After.Width, Pair.Fact.NewWidth);
        EXPECT_TRUE(Written[i].Before.Rgba.Num() == Pair.After.Rgba.Num() &&
                    std::equal(Pair.After.Rgba.begin(), Pair.After.Rgba.end(), Written[i].Before.Rgba.begin()));
        EXPECT_TRUE(i == 0 || Preview.Pairs[i - 1].Fact.Bytes - Preview.Pairs[i - 1].Fact.NewBytes >=
                                  Pair.Fact.Bytes - Pair.Fact.NewBytes);
    }

    FString Why;
    Preview.Pairs[0].Fact.Name = u"<\"R&D\">"; // the archive's names are text on the page, never markup
    ASSERT_TRUE(WritePreviewPage(Page, Preview, Why)) << Why.ToUtf8();
    const std::string Html = ReadFile(appPathJoin(Page, FString(u"index.html")));
    EXPECT_TRUE(Html.find("<svg") != std::string::npos &&
                Html.find("&lt;&quot;R&amp;D&quot;&gt;") != std::string::npos);
    for (int32_t i = 0; i < Preview.Pairs.Num(); ++i)
    {
        EXPECT_TRUE(
            HoldsPicture(appPathJoin(Page, FString::Printf(u"%03d-before.png", i + 1)), Preview.Pairs[i].Before));
        EXPECT_TRUE(HoldsPicture(appPathJoin(Page, FString::Printf(u"%03d-after.png", i + 1)), Preview.Pairs[i].After));
        EXPECT_TRUE(HoldsPicture(appPathJoin(Page, FString::Printf(u"%03d-detail-after.png", i + 1)),
                                 FindPreviewDetail(Preview.Pairs[i].Before, Preview.Pairs[i].After).After));
    }
    // The textures lost the most on follow those saved the most on.
    EXPECT_TRUE(HoldsPicture(appPathJoin(Page, FString::Printf(u"%03d-after.png", Preview.Pairs.Num() + 1)),
                             Preview.LosesMost[0].After));
    // A page of ours is replaced whole; a folder that holds anything else is not touched.
    Preview.Pairs.SetNum(2);
    Preview.LosesMost.Empty();
    ASSERT_TRUE(WritePreviewPage(Page, Preview, Why));
    EXPECT_TRUE(ReadFile(appPathJoin(Page, FString(u"008-after.png"))).empty());
    EXPECT_FALSE(ReadFile(appPathJoin(Page, FString(u"002-after.png"))).empty());
    EXPECT_FALSE(WritePreviewPage(Dir.Path(), Preview, Why));
    EXPECT_FALSE(CanWritePreview(Src, Why));
}
