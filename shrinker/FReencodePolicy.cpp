// The re-encoding policy: the kind check, statistics, the skip test, the plan of what a texture becomes, dropping
// levels and resampling single levels.
#include "shrinker/FReencodePolicy.h"

#include <algorithm>
#include <cstring>

#include "Core/Inc/CoreUtil.h"
#include "shrinker/FTextureLoss.h"
#include "shrinker/FTexturePictures.h"
#include "shrinker/FTextureResample.h"

std::atomic<int32_t> GHalveTextures{1};
std::atomic<int32_t> GHalveOpaqueTextures{1};

namespace
{
// What a texture becomes: the levels dropped from its front, then the size of what is left. A size other than
// that of the largest level left is reached by resampling it, which only a texture of one level can be.
// Outcome is Changed when the texture is to change, otherwise why it stays as it is (nothing else is read then).
struct FTexturePlan
{
    ETextureOutcome Outcome;
    int32_t DropLevels;
    int32_t NewWidth;
    int32_t NewHeight;
    bool bStoppedShort; // the largest-side mode could not bring the texture down to the side asked
};

// Bits needed to write N: 0 for 0, 1 for 1, 2 for 2 and 3, 9 for 256.
int32_t BitsNeeded(int32_t N)
{
    int32_t Bits = 0;
    for (; N > 0; N >>= 1)
        ++Bits;
    return Bits;
}

void Count(TMap<FString, int32_t>& Map, const FString& Key)
{
    if (int32_t* Found = Map.Find(Key))
        ++*Found;
    else
        Map.Set(Key, 1);
}

void CountKind(TMap<uint32_t, int32_t>& Map, uint32_t Code)
{
    if (int32_t* Found = Map.Find(Code))
        ++*Found;
    else
        Map.Set(Code, 1);
}

// Whether the header says what a record of Kind must: the bits per pixel of its largest level, compression,
// alpha and depth.
bool FitsKind(const FTxdImage& Image, const FTextureKind& Kind)
{
    const FTxdImageHeader& Header = Image.Header;
    const int64_t BitsPerPixel = (int64_t(Image.MipList[0].Num()) * 8) / (int64_t(Header.Width) * Header.Height);
    const bool bAlpha = (Header.FormatFlags & TXDFORMAT_Alpha) != 0;
    const bool bCompressed = (Header.FormatFlags & TXDFORMAT_Compressed) != 0;
    return BitsPerPixel == Kind.BitsPerPixel && bCompressed == Kind.bCompressed && bAlpha == Kind.bAlpha &&
           Header.Depth == Kind.Depth;
}

// A texture of a known kind whose header contradicts it is not touched (false); one that fits is counted by its
// kind. A texture of no known kind goes on uncounted.
bool CheckKind(FTxdEntryContext& Context, const FTxdImage& Image, const FTextureKind* Kind)
{
    if (!Kind)
        return true;
    if (!FitsKind(Image, *Kind))
    {
        Context.Trace.Logf(u"Keeping %s: its header does not fit its format", *Context.ImageName);
        return false;
    }
    if (Image.Header.MipLevels == 1 && Image.Header.Unknown3 != Kind->RasterFormat)
        Context.Trace.Logf(u"Image.Header.Unknown3!=0x%08x", Kind->RasterFormat);
    CountKind(Context.Stats.FormatStats, Kind->Code);
    return true;
}

// The description statistics, made from the size before any reduction.
void CountDescription(FShrinkStats& Stats, const FTxdImageHeader& Header, const FTextureKind* Kind)
{
    const int32_t Width = Header.Width;
    const int32_t Height = Header.Height;
    const char16_t* Label = Kind ? Kind->Label : u"";
    const char16_t Letter = char16_t(u'a' + BitsNeeded(Width - 1) + BitsNeeded(Height - 1));
    const FString SizeText = FString::Printf(u"%4d x %4d", Width, Height);
    const FString LevelText = FString::Printf(u"x%d", int32_t(Header.MipLevels));
    Count(Stats.DescriptionStats, FString::Printf(u"1 %s %c: %s  %s  %s", Label, Letter, Label, *SizeText, *LevelText));
    Count(Stats.DescriptionStats, FString::Printf(u"2 %c: %s", Letter, *SizeText));
}

// The standard shrink, in one or two halving steps (the second for opaque textures only, each as the driver
// allows). A texture of several levels loses its largest level in each step while both sides are at least 32 and
// a level would be left; a texture of one level at least 32 high is resampled, each step halving every side of
// 32 or more.
FTexturePlan PlanStandard(const FTxdImageHeader& Header)
{
    const bool bOpaque = (Header.FormatFlags & TXDFORMAT_Alpha) == 0;
    const int32_t Steps = (GHalveTextures.load() ? 1 : 0) + (GHalveOpaqueTextures.load() && bOpaque ? 1 : 0);
    FTexturePlan Plan = {ETextureOutcome::Changed, 0, Header.Width, Header.Height, false};
    if (Header.MipLevels >= 2)
    {
        if (Plan.NewWidth < 32 || Plan.NewHeight < 32)
            Plan.Outcome = ETextureOutcome::TooSmall;
        for (int32_t Step = 0; Step < Steps && Plan.Outcome == ETextureOutcome::Changed; ++Step)
            if (Header.MipLevels - Plan.DropLevels >= 2 && Plan.NewWidth >= 32 && Plan.NewHeight >= 32)
            {
                ++Plan.DropLevels;
                Plan.NewWidth >>= 1;
                Plan.NewHeight >>= 1;
            }
        return Plan;
    }
    if (Header.Height < 32)
        Plan.Outcome = ETextureOutcome::TooSmall;
    for (int32_t Step = 0; Step < Steps; ++Step)
    {
        if (Plan.NewWidth >= 32)
            Plan.NewWidth >>= 1;
        if (Plan.NewHeight >= 32)
            Plan.NewHeight >>= 1;
    }
    if (Plan.NewWidth == Header.Width && Plan.NewHeight == Header.Height)
        Plan.Outcome = ETextureOutcome::TooSmall;
    return Plan;
}

// A side halved as mip levels halve: never below 1.
int32_t HalfSide(int32_t Side)
{
    return Side > 1 ? Side >> 1 : 1;
}

// The largest-side mode: whole halvings until the larger side is MaxSide or less. Levels are dropped while
// there are smaller ones (the authored levels are kept); what is still too large then is the one level left,
// resampled. A block-coded texture keeps sides that are multiples of 4, so it stops at the last size that does
// (marked bStoppedShort), as does a texture whose last level cannot be decoded (LevelFormat 0). Textures at or
// below MaxSide are TooSmall, which leaves them byte for byte.
FTexturePlan PlanLargestSide(const FTxdImageHeader& Header, int32_t MaxSide, FPixelFormat LevelFormat, bool bBlockCoded)
{
    FTexturePlan Plan = {ETextureOutcome::Changed, 0, Header.Width, Header.Height, false};
    int32_t Halvings = 0;
    while (Plan.NewWidth > MaxSide || Plan.NewHeight > MaxSide)
    {
        const int32_t Width = HalfSide(Plan.NewWidth);
        const int32_t Height = HalfSide(Plan.NewHeight);
        if (bBlockCoded && (Width % 4 != 0 || Height % 4 != 0))
        {
            Plan.bStoppedShort = true;
            break;
        }
        Plan.NewWidth = Width;
        Plan.NewHeight = Height;
        ++Halvings;
    }
    if (Halvings == 0)
    {
        Plan.Outcome = Plan.bStoppedShort ? ETextureOutcome::NotUnderstood : ETextureOutcome::TooSmall;
        return Plan;
    }
    Plan.DropLevels = Halvings < Header.MipLevels - 1 ? Halvings : Header.MipLevels - 1;
    if (Plan.DropLevels < Halvings && !LevelFormat)
    {
        // The last level cannot be decoded: it is as far as the texture goes.
        Plan.bStoppedShort = true;
        Plan.NewWidth = Header.Width;
        Plan.NewHeight = Header.Height;
        for (int32_t i = 0; i < Plan.DropLevels; ++i)
        {
            Plan.NewWidth = HalfSide(Plan.NewWidth);
            Plan.NewHeight = HalfSide(Plan.NewHeight);
        }
        if (Plan.DropLevels == 0)
            Plan.Outcome = ETextureOutcome::NotUnderstood;
    }
    return Plan;
}

// Bytes a level of Width x Height needs: whole blocks for a block format, else the bits per pixel of the
// texture's largest level.
int64_t LevelBytesNeeded(const FTxdImage& Image, FPixelFormat LevelFormat, int32_t Width, int32_t Height)
{
    const int32_t BlockBytes = GetBlockBytes(LevelFormat);
    if (BlockBytes > 0)
        return int64_t((Width + 3) / 4) * ((Height + 3) / 4) * BlockBytes;
    const FTxdImageHeader& Header = Image.Header;
    const int64_t BitsPerPixel = (int64_t(Image.MipList[0].Num()) * 8) / (int64_t(Header.Width) * Header.Height);
    return int64_t(Width) * Height * BitsPerPixel / 8;
}

// Whether the level that dropping DropLevels would make the largest is cut short: a texture whose small levels
// are broken would show them close up.
bool IsPromotedLevelShort(const FTxdImage& Image, FPixelFormat LevelFormat, int32_t DropLevels)
{
    if (DropLevels <= 0 || DropLevels >= Image.MipList.Num())
        return false;
    int32_t Width = Image.Header.Width;
    int32_t Height = Image.Header.Height;
    for (int32_t i = 0; i < DropLevels; ++i)
    {
        Width = HalfSide(Width);
        Height = HalfSide(Height);
    }
    return Image.MipList[DropLevels].Num() < LevelBytesNeeded(Image, LevelFormat, Width, Height);
}

// Drops the Count largest levels: the remaining ones stay byte for byte as they were.
void DropLevels(FTxdImage& Image, int32_t Count)
{
    for (int32_t i = 0; i < Count; ++i)
    {
        Image.MipList.Remove(0);
        Image.Header.MipLevels = uint8_t(Image.Header.MipLevels - 1);
        Image.Header.Width = uint16_t(HalfSide(Image.Header.Width));
        Image.Header.Height = uint16_t(HalfSide(Image.Header.Height));
    }
}

// A dry run that only works out sizes: the checks of decoding the level and of encoding the new size, and zeros
// of the encoded size in the thread's buffer in place of the encoded pixels.
bool SizeOneLevel(FTxdEntryContext& Context, const FTxdImage& Image, FPixelFormat LevelFormat, int32_t NewWidth,
                  int32_t NewHeight)
{
    const FHeldBytes& Level = Image.MipList[0];
    if (GetConvertedBytes(Image.Header.Width, Image.Header.Height, LevelFormat, PIXEL_RGBA, Level.Num(),
                          &Context.Trace) < 0)
        return false;
    const int32_t Bytes = GetConvertedBytes(NewWidth, NewHeight, PIXEL_RGBA, LevelFormat, -1, &Context.Trace);
    if (Bytes < 0)
        return false;
    std::memset(Context.Buffers.Encoded.SetNum(Bytes), 0, size_t(Bytes));
    return true;
}

EResampleFilter ResampleFilterFor(const FShrinkSettings& Settings)
{
    if (!Settings.IsSmooth())
        return EResampleFilter::Bilinear;
    // The fit takes the area average: what it loses close up is as low (28.6 dB at the standard shrink's size on
    // the lettered sample, the cubic 28.55), and its first pass, which sketches every halving of every texture,
    // takes half as long again with the cubic.
    return Settings.Mode == EShrinkMode::Fit ? EResampleFilter::Box : EResampleFilter::CatmullRom;
}

// Colour is weighted by alpha only where alpha means something: the fourth byte of an opaque kind's pixels (the
// X of a 32-bit RGBX level) may hold anything.
EColourWeight ColourWeightFor(const FShrinkSettings& Settings, const FTxdImage& Image)
{
    const bool bAlpha = (Image.Header.FormatFlags & TXDFORMAT_Alpha) != 0;
    return Settings.UsesFinePixels() && bAlpha ? EColourWeight::ByAlpha : EColourWeight::Plain;
}

// Decodes the texture's one level, resamples it to NewWidth x NewHeight and encodes it again in its own format;
// with bSizesOnly, only its size is made (SizeOneLevel).
ETextureOutcome ResampleOneLevel(FTxdEntryContext& Context, FTxdImage& Image, FPixelFormat LevelFormat,
                                 int32_t NewWidth, int32_t NewHeight, bool bSizesOnly)
{
    // Without a known format the level cannot be decoded, and a block-coded result must fill whole blocks.
    if (!LevelFormat || (LevelFormat != PIXEL_RGBA && (NewWidth % 4 != 0 || NewHeight % 4 != 0)))
        return ETextureOutcome::NotUnderstood;
    // The pixels go through the processing thread's buffers, which are reused from texture to texture.
    FTxdImageHeader& Header = Image.Header;
    const FHeldBytes& Level = Image.MipList[0];
    FShrinkBuffers& Buffers = Context.Buffers;
    const EResampleFilter Filter = ResampleFilterFor(Context.Settings);
    const EColourWeight Weight = ColourWeightFor(Context.Settings, Image);
    const EBlockEncoder Encoder = Context.Settings.UsesFinePixels() ? EBlockEncoder::Fine : EBlockEncoder::RangeFit;
    if (bSizesOnly)
    {
        if (!SizeOneLevel(Context, Image, LevelFormat, NewWidth, NewHeight))
            return ETextureOutcome::NotUnderstood;
    }
    else
    {
        uint8_t* Resized = Buffers.Resized.SetNum(int64_t(NewWidth) * NewHeight * 4);
        if (!ResampleLevel(Header.Width, Header.Height, Level.GetData(), LevelFormat, Level.Num(), Resized, NewWidth,
                           NewHeight, Buffers, &Context.Trace, Filter, Weight))
            return ETextureOutcome::NotUnderstood;
        if (!ConvertImage(NewWidth, NewHeight, Resized, PIXEL_RGBA, Buffers.Encoded, LevelFormat, -1, &Context.Trace,
                          Encoder))
            return ETextureOutcome::NotUnderstood;
    }
    Image.MipList[0].SetOwned(Buffers.Encoded.GetData(), int32_t(Buffers.Encoded.Num()));
    Header.Width = uint16_t(NewWidth);
    Header.Height = uint16_t(NewHeight);
    return ETextureOutcome::Changed;
}

ETextureOutcome ApplyPlan(FTxdEntryContext& Context, FTxdImage& Image, FPixelFormat LevelFormat,
                          const FTexturePlan& Plan)
{
    if (Plan.bStoppedShort)
        ++Context.Stats.Textures.CannotReachSide;
    if (Plan.Outcome != ETextureOutcome::Changed)
        return Plan.Outcome;
    if (IsPromotedLevelShort(Image, LevelFormat, Plan.DropLevels))
    {
        Context.Trace.Logf(u"Keeping %s: the level it would show first is cut short", *Context.ImageName);
        return ETextureOutcome::BrokenLevels;
    }
    DropLevels(Image, Plan.DropLevels);
    if (Plan.NewWidth == Image.Header.Width && Plan.NewHeight == Image.Header.Height)
        return ETextureOutcome::Changed;
    return ResampleOneLevel(Context, Image, LevelFormat, Plan.NewWidth, Plan.NewHeight, Context.bSizesOnly);
}

// DXT5 is no kind of the standard shrink (which leaves a single level of it alone); the largest-side mode
// resamples it with the block coder's DXT5, when its header says what a DXT5 record must.
bool IsDxt5(const FTxdImage& Image)
{
    const FTxdImageHeader& Header = Image.Header;
    const int64_t Pixels = int64_t(Header.Width) * Header.Height;
    return Header.D3DFormat == D3DFMT_DXT5 && Header.Depth == 16 && (Header.FormatFlags & TXDFORMAT_Compressed) &&
           (int64_t(Image.MipList[0].Num()) * 8) / Pixels == 8;
}

// The format the texture's levels are decoded from and encoded to, or 0 when they cannot be.
FPixelFormat GetLevelFormat(const FTxdEntryContext& Context, const FTxdImage& Image, const FTextureKind* Kind)
{
    if (Kind)
        return Kind->Pixels;
    if (Context.Settings.Mode != EShrinkMode::Standard && IsDxt5(Image))
        return PIXEL_DXT5;
    return 0;
}

bool IsBlockCoded(const FTxdImage& Image, FPixelFormat LevelFormat)
{
    return LevelFormat ? GetBlockBytes(LevelFormat) > 0 : (Image.Header.FormatFlags & TXDFORMAT_Compressed) != 0;
}

// What the texture becomes in the shrink the player chose.
FTexturePlan PlanTexture(const FTxdEntryContext& Context, const FTxdImage& Image, FPixelFormat LevelFormat)
{
    const FShrinkSettings& Settings = Context.Settings;
    if (Settings.Mode == EShrinkMode::Standard)
        return PlanStandard(Image.Header);
    return PlanLargestSide(Image.Header, Settings.MaxSide, LevelFormat, IsBlockCoded(Image, LevelFormat));
}

// The pixels of a large texture that the fit mode's first pass compares at each depth: enough for a close
// estimate of its loss, far fewer than the 1,048,576 of a 1024 x 1024 texture.
const int64_t FitMeasuredPixels = 8192;

// The plan of Depth whole halvings of a texture: the largest-side mode's way to a side of its larger side halved
// Depth times. TooSmall when the depth would take a side below SHRINK_MinKeptSide or stop short of the size (a
// block-coded side that would stop being a multiple of 4, a last level that cannot be decoded).
FTexturePlan PlanDepth(const FTxdImage& Image, FPixelFormat LevelFormat, int32_t Depth)
{
    const FTxdImageHeader& Header = Image.Header;
    const int32_t Side = std::max(int32_t(Header.Width), int32_t(Header.Height)) >> Depth;
    FTexturePlan Plan = PlanLargestSide(Header, std::max(Side, 1), LevelFormat, IsBlockCoded(Image, LevelFormat));
    if (Plan.Outcome == ETextureOutcome::Changed &&
        (Plan.bStoppedShort || std::min(Plan.NewWidth, Plan.NewHeight) < SHRINK_MinKeptSide))
        Plan.Outcome = ETextureOutcome::TooSmall;
    return Plan;
}

// A texture brought down by Depth whole halvings (PlanDepth), made on Image. Changed, or why it could not be.
ETextureOutcome MakeDepth(FTxdEntryContext& Context, FTxdImage& Image, FPixelFormat LevelFormat, int32_t Depth)
{
    const FTexturePlan Plan = PlanDepth(Image, LevelFormat, Depth);
    if (Plan.Outcome != ETextureOutcome::Changed)
        return Plan.Outcome;
    if (IsPromotedLevelShort(Image, LevelFormat, Plan.DropLevels))
        return ETextureOutcome::BrokenLevels;
    DropLevels(Image, Plan.DropLevels);
    if (Plan.NewWidth == Image.Header.Width && Plan.NewHeight == Image.Header.Height)
        return ETextureOutcome::Changed;
    return ResampleOneLevel(Context, Image, LevelFormat, Plan.NewWidth, Plan.NewHeight, Context.bSizesOnly);
}

// The pixels a sketch resamples from: a level decoded as stored, or the last sketch's resampled pixels.
struct FSketchSource
{
    int32_t Width = 0;
    int32_t Height = 0;
    FByteArray Rgba; // empty until a depth needs it
};

// What a first pass of the fit mode needs of a depth, at a fraction of making it: the record sized (its one level
// resampled only in size, as a dry run that only works out sizes does) and the picture the player would see,
// before the resampled level's blocks are coded again. A resampled depth is resampled from the depth before it
// (Source, which it then replaces), not from the original: close enough to choose by, at a third of the work. Its
// colour is averaged plainly: along that chain, colour weighted by alpha strays from what the loss counts (colour
// wherever the alpha test keeps a pixel), and plans chosen by it lost more (27.5 against 28.3 dB on the lettered
// sample at the standard shrink's size).
ETextureOutcome SketchDepth(FTxdEntryContext& Context, FTxdImage& Trial, FPixelFormat LevelFormat, int32_t Depth,
                            FSketchSource& Source, FTexturePicture& Reduced)
{
    const FTexturePlan Plan = PlanDepth(Trial, LevelFormat, Depth);
    if (Plan.Outcome != ETextureOutcome::Changed)
        return Plan.Outcome;
    if (IsPromotedLevelShort(Trial, LevelFormat, Plan.DropLevels))
        return ETextureOutcome::BrokenLevels;
    DropLevels(Trial, Plan.DropLevels);
    // A level of its own is read where it lies, only where the estimate looks (Reduced stays empty).
    if (Plan.NewWidth == Trial.Header.Width && Plan.NewHeight == Trial.Header.Height)
        return ETextureOutcome::Changed;
    const FHeldBytes& Level = Trial.MipList[0];
    if (Source.Rgba.Num() == 0)
    {
        Source.Width = Trial.Header.Width;
        Source.Height = Trial.Header.Height;
        if (!LevelFormat || !ConvertImage(Source.Width, Source.Height, Level.GetData(), LevelFormat, Source.Rgba,
                                          PIXEL_RGBA, Level.Num()))
            return ETextureOutcome::NotUnderstood;
    }
    FByteArray Resized;
    Resized.SetNum(Plan.NewWidth * Plan.NewHeight * 4);
    if (!ResampleLevel(Source.Width, Source.Height, Source.Rgba.GetData(), PIXEL_RGBA, Source.Rgba.Num(),
                       Resized.GetData(), Plan.NewWidth, Plan.NewHeight, Context.Buffers, &Context.Trace,
                       ResampleFilterFor(Context.Settings), EColourWeight::Plain))
        return ETextureOutcome::NotUnderstood;
    const ETextureOutcome Sized = ResampleOneLevel(Context, Trial, LevelFormat, Plan.NewWidth, Plan.NewHeight, true);
    if (Sized != ETextureOutcome::Changed)
        return Sized;
    Source.Width = Plan.NewWidth;
    Source.Height = Plan.NewHeight;
    Source.Rgba = Resized;
    ShowAsTheGameDoes(Trial, std::move(Resized), Reduced);
    return ETextureOutcome::Changed;
}

// Walks a texture's whole halvings, shallowest first, each made from the original and measured against it,
// until one cannot be made or Visit says to stop (a deeper halving loses more). Visit(Depth, Trial, Loss) gets
// each one. With bSketch, each depth is only sketched (SketchDepth) and its loss estimated from a part of a large
// texture's pixels (EstimateLoss); Trial then holds the right sizes, not the pixels. What ended the walk: Changed
// when Visit stopped it or every depth was visited, else why the first depth that could not be made could not.
// NotUnderstood when the original cannot be decoded.
template <typename FVisit>
ETextureOutcome WalkDepths(FTxdEntryContext& Context, const FTxdImage& Image, FPixelFormat LevelFormat, bool bSketch,
                           FVisit&& Visit)
{
    FTexturePicture Original;
    FLevelRows OriginalLevel;
    FSketchSource Source;
    if (!bSketch)
    {
        if (!DecodeLargestLevel(Image, Original))
            return ETextureOutcome::NotUnderstood;
    }
    else if (Image.MipList.Num() == 1 && LevelFormat)
    {
        // A level that will be resampled is decoded once, for the sketches and for the original picture.
        Source.Width = Image.Header.Width;
        Source.Height = Image.Header.Height;
        const FHeldBytes& Level = Image.MipList[0];
        if (!ConvertImage(Source.Width, Source.Height, Level.GetData(), LevelFormat, Source.Rgba, PIXEL_RGBA,
                          Level.Num()))
            return ETextureOutcome::NotUnderstood;
        ShowAsTheGameDoes(Image, FByteArray(Source.Rgba), Original);
    }
    else if (!OriginalLevel.Open(Image))
        return ETextureOutcome::NotUnderstood;
    FPictureRows OriginalPicture(Original);
    FRowSource& OriginalRows = Original.IsEmpty() ? static_cast<FRowSource&>(OriginalLevel) : OriginalPicture;
    for (int32_t Depth = 1;; ++Depth)
    {
        FTxdImage Trial = Image;
        FTexturePicture Reduced;
        ETextureOutcome Made;
        if (bSketch)
            Made = SketchDepth(Context, Trial, LevelFormat, Depth, Source, Reduced);
        else if ((Made = MakeDepth(Context, Trial, LevelFormat, Depth)) == ETextureOutcome::Changed &&
                 !DecodeLargestLevel(Trial, Reduced))
            Made = ETextureOutcome::NotUnderstood;
        if (Made != ETextureOutcome::Changed)
            return Made;
        FPictureRows ReducedPicture(Reduced);
        FLevelRows ReducedLevel;
        if (Reduced.IsEmpty() && !ReducedLevel.Open(Trial))
            return ETextureOutcome::NotUnderstood;
        FRowSource& ReducedRows = Reduced.IsEmpty() ? static_cast<FRowSource&>(ReducedLevel) : ReducedPicture;
        if (!Visit(Depth, Trial, EstimateLoss(OriginalRows, ReducedRows, bSketch ? FitMeasuredPixels : 0)))
            return ETextureOutcome::Changed;
    }
}

void LogBrokenLevels(FTxdEntryContext& Context, ETextureOutcome Outcome)
{
    if (Outcome == ETextureOutcome::BrokenLevels)
        Context.Trace.Logf(u"Keeping %s: the level it would show first is cut short", *Context.ImageName);
}

// The keep-quality mode: the deepest whole halving whose loss close up stays at or above the dB asked. The
// texture becomes the deepest that passed; it stays as it is when none did (TooSmall, or why the first depth
// could not be made).
ETextureOutcome KeepQuality(FTxdEntryContext& Context, FTxdImage& Image, FPixelFormat LevelFormat)
{
    FTxdImage Kept;
    bool bKept = false;
    const ETextureOutcome Walked = WalkDepths(Context, Image, LevelFormat, false,
                                              [&](int32_t, FTxdImage& Trial, const FTextureLoss& Loss)
                                              {
                                                  if (Loss.Psnr() < Context.Settings.MinPsnr)
                                                      return false;
                                                  Kept = std::move(Trial);
                                                  bKept = true;
                                                  return true;
                                              });
    if (bKept)
    {
        Image = std::move(Kept);
        return ETextureOutcome::Changed;
    }
    const ETextureOutcome Outcome = Walked == ETextureOutcome::Changed ? ETextureOutcome::TooSmall : Walked;
    LogBrokenLevels(Context, Outcome);
    return Outcome;
}

// The fit mode's first pass: every whole halving the texture may take, measured into Context.Steps; the texture
// stays as it is (TooSmall when it may take none).
ETextureOutcome MeasureSteps(FTxdEntryContext& Context, const FTxdImage& Image, FPixelFormat LevelFormat)
{
    const ETextureOutcome Walked = WalkDepths(Context, Image, LevelFormat, true,
                                              [&](int32_t, FTxdImage& Trial, const FTextureLoss& Loss)
                                              {
                                                  FTextureStep Step;
                                                  Step.NewBytes = GetTxdImageBytes(Trial);
                                                  Step.SquaredError = Loss.SquaredError;
                                                  Step.Pixels = Loss.Pixels;
                                                  Context.Steps.AddItem(Step);
                                                  return true;
                                              });
    if (Context.Steps.Num() > 0)
        return ETextureOutcome::TooSmall;
    return Walked == ETextureOutcome::Changed ? ETextureOutcome::TooSmall : Walked;
}

// The fit mode's second pass: the halvings the plan gives the texture.
ETextureOutcome FitToPlan(FTxdEntryContext& Context, FTxdImage& Image, FPixelFormat LevelFormat)
{
    const int32_t Depth = Context.FitPlan ? Context.FitPlan->DepthOf(Context.Entry, Context.ImageIndex) : 0;
    if (Depth == 0)
        return ETextureOutcome::TooSmall;
    const ETextureOutcome Outcome = MakeDepth(Context, Image, LevelFormat, Depth);
    LogBrokenLevels(Context, Outcome);
    return Outcome;
}
} // namespace

ETextureOutcome ReencodeImage(FTxdEntryContext& Context, FTxdImage& Image)
{
    // Nothing can be judged of a texture without a level or pixels.
    if (Image.MipList.Num() == 0 || Image.Header.Width == 0 || Image.Header.Height == 0)
        return ETextureOutcome::NotUnderstood;
    const FTextureKind* Kind = FindTextureKind(GetTextureKind(Image.Header));
    if (!CheckKind(Context, Image, Kind))
        return ETextureOutcome::NotUnderstood;
    CountDescription(Context.Stats, Image.Header, Kind);
    if (Context.MatchSkipRule() == 1)
    {
        Context.Trace.Logf(u"Skipping %s", *Context.ImageName);
        return ETextureOutcome::Skipped;
    }
    // What the texture becomes is the policy's one decision; the steps that make it so are shared.
    const FPixelFormat LevelFormat = GetLevelFormat(Context, Image, Kind);
    if (Context.Settings.Mode == EShrinkMode::KeepQuality)
        return KeepQuality(Context, Image, LevelFormat);
    if (Context.Settings.Mode == EShrinkMode::Fit)
        return Context.bMeasureSteps ? MeasureSteps(Context, Image, LevelFormat)
                                     : FitToPlan(Context, Image, LevelFormat);
    return ApplyPlan(Context, Image, LevelFormat, PlanTexture(Context, Image, LevelFormat));
}
