// The re-encoding policy: kinds, statistics, the skip test, dropping levels and resampling single levels.
#include "shrinker/FReencodePolicy.h"

#include "Core/Inc/CoreUtil.h"
#include "shrinker/FTextureUtil.h"

std::atomic<int32_t> GHalveTextures{1};
std::atomic<int32_t> GHalveOpaqueTextures{1};

namespace
{
struct FKind
{
    uint32_t Code;         // TEXKIND_*
    const char16_t* Label; // five characters; empty for no kind
    FPixelFormat Pixels;   // the format of its levels
    int32_t BitsPerPixel;  // what the header must say
    bool bDXT;
    bool bAlpha;
    int32_t Depth;
    uint32_t RasterFormat; // expected Unknown3 of a single-level texture
    const char16_t* RasterTrace;
};

const FKind Kinds[] = {
    {TEXKIND_DXT1, u"DXT1 ", PIXEL_DXT1, 4, true, false, 16, 0x200, u"Image.Header.Unknown3!=0x00000200"},
    {TEXKIND_DXT1A, u"DXT1a", PIXEL_DXT1, 4, true, true, 16, 0x100, u"Image.Header.Unknown3!=0x00000100"},
    {TEXKIND_DXT3, u"DXT3 ", PIXEL_DXT3, 8, true, true, 16, 0x300, u"Image.Header.Unknown3!=0x00000300"},
    {TEXKIND_RGBX, u"RGBX ", PIXEL_RGBA, 32, false, false, 32, 0x600, u"Image.Header.Unknown3!=0x00000600"},
    {TEXKIND_RGBA, u"RGBA ", PIXEL_RGBA, 32, false, true, 32, 0x500, u"Image.Header.Unknown3!=0x00000500"},
};

const FKind* Classify(const FTxdImageHeader& Header)
{
    const uint32_t Code = GetTextureKind(Header);
    for (const FKind& Kind : Kinds)
        if (Kind.Code == Code)
            return &Kind;
    return nullptr;
}

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

// Drops the largest level: the remaining ones stay byte for byte as they were.
void DropLargestLevel(FTxdImage& Image)
{
    Image.MipList.Remove(0);
    Image.Header.MipLevels = uint8_t(Image.Header.MipLevels - 1);
    Image.Header.Width = uint16_t(Image.Header.Width >> 1);
    Image.Header.Height = uint16_t(Image.Header.Height >> 1);
}
} // namespace

ETextureOutcome ReencodeImage(FTxdEntryContext& Context, FTxdImage& Image)
{
    FTxdImageHeader& Header = Image.Header;
    const int32_t Width = Header.Width;
    const int32_t Height = Header.Height;
    // Nothing can be judged of a texture without a level or pixels.
    if (Image.MipList.Num() == 0 || Width == 0 || Height == 0)
        return ETextureOutcome::NotUnderstood;

    const bool bHasAlpha = (Header.FormatFlags & TXDFORMAT_Alpha) != 0;
    const bool bIsDXT = (Header.FormatFlags & TXDFORMAT_Compressed) != 0;
    const int64_t BitsPerPixel = (int64_t(Image.MipList[0].Num()) * 8) / (int64_t(Width) * Height);

    const FKind* Kind = Classify(Header);
    if (Kind)
    {
        // A header that contradicts its own kind is not touched.
        if (BitsPerPixel != Kind->BitsPerPixel || bIsDXT != Kind->bDXT || bHasAlpha != Kind->bAlpha ||
            Header.Depth != Kind->Depth)
        {
            Context.Trace.Logf(u"Keeping %s: its header does not fit its format", *Context.ImageName);
            return ETextureOutcome::NotUnderstood;
        }
        if (Header.MipLevels == 1 && Header.Unknown3 != Kind->RasterFormat)
            Context.Trace.Logf(u"%s", Kind->RasterTrace);
        CountKind(Context.Stats.FormatStats, Kind->Code);
    }

    // Description statistics, made from the size before any reduction.
    const char16_t* Label = Kind ? Kind->Label : u"";
    const char16_t Letter = char16_t(u'a' + BitsNeeded(Width - 1) + BitsNeeded(Height - 1));
    const FString SizeText = FString::Printf(u"%4d x %4d", Width, Height);
    const FString LevelText = FString::Printf(u"x%d", int32_t(Header.MipLevels));
    Count(Context.Stats.DescriptionStats,
          FString::Printf(u"1 %s %c: %s  %s  %s", Label, Letter, Label, *SizeText, *LevelText));
    Count(Context.Stats.DescriptionStats, FString::Printf(u"2 %c: %s", Letter, *SizeText));

    if (Context.MatchSkipRule() == 1)
    {
        Context.Trace.Logf(u"Skipping %s", *Context.ImageName);
        return ETextureOutcome::Skipped;
    }

    if (Header.MipLevels >= 2)
    {
        if (Width < 32 || Height < 32)
            return ETextureOutcome::TooSmall;
        if (GHalveTextures.load())
            DropLargestLevel(Image);
        if (GHalveOpaqueTextures.load() && Header.MipLevels >= 2 && Header.Width >= 32 && Header.Height >= 32 &&
            !bHasAlpha)
            DropLargestLevel(Image);
        return ETextureOutcome::Changed;
    }

    // One level: resample it.
    if (Height < 32)
        return ETextureOutcome::TooSmall;
    int32_t NewWidth = Width;
    int32_t NewHeight = Height;
    if (GHalveTextures.load())
    {
        if (NewWidth >= 32)
            NewWidth >>= 1;
        if (NewHeight >= 32)
            NewHeight >>= 1;
    }
    if (GHalveOpaqueTextures.load() && !bHasAlpha)
    {
        if (NewWidth >= 32)
            NewWidth >>= 1;
        if (NewHeight >= 32)
            NewHeight >>= 1;
    }
    if (NewWidth == Width && NewHeight == Height)
        return ETextureOutcome::TooSmall;
    // Without a known kind the level cannot be decoded, and a block-coded result must fill whole blocks.
    if (!Kind || (Kind->Pixels != PIXEL_RGBA && (NewWidth % 4 != 0 || NewHeight % 4 != 0)))
        return ETextureOutcome::NotUnderstood;

    // The pixels go through the processing thread's buffers, which are reused from texture to texture.
    const FHeldBytes& Level = Image.MipList[0];
    FShrinkBuffers& Buffers = Context.Buffers;
    uint8_t* Resized = Buffers.Resized.SetNum(int64_t(NewWidth) * NewHeight * 4);
    if (!ResampleLevel(Width, Height, Level.GetData(), Kind->Pixels, Level.Num(), Resized, NewWidth, NewHeight, Buffers,
                       &Context.Trace))
        return ETextureOutcome::NotUnderstood;
    if (!ConvertImage(NewWidth, NewHeight, Resized, PIXEL_RGBA, Buffers.Encoded, Kind->Pixels, -1, &Context.Trace))
        return ETextureOutcome::NotUnderstood;
    Image.MipList[0].SetOwned(Buffers.Encoded.GetData(), int32_t(Buffers.Encoded.Num()));
    Header.Width = uint16_t(NewWidth);
    Header.Height = uint16_t(NewHeight);
    return ETextureOutcome::Changed;
}
