// The second pass of a preview: the chosen textures' dictionaries read again, decoded as they are and as the
// shrink makes them.
#include "shrinker/FTexturePictures.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "shrinker/FReencodePolicy.h"
#include "shrinker/FRwChunk.h"
#include "shrinker/FSkipRules.h"
#include "shrinker/FTxdImage.h"

namespace
{
// The format level 0 is stored in, or 0 when the shrinker does not decode it.
FPixelFormat StoredFormat(const FTxdImage& Image)
{
    if (const FTextureKind* Kind = FindTextureKind(GetTextureKind(Image.Header)))
        return Kind->Pixels;
    return Image.Header.D3DFormat == D3DFMT_DXT5 && Image.Header.Depth == 16 ? FPixelFormat(PIXEL_DXT5) : 0;
}

// The dictionary's texture Index decoded, or an empty picture.
FTexturePicture DecodeTexture(const uint8_t* Bytes, int32_t NumBytes, int32_t Index)
{
    TDynArray<FRwChunk> Roots;
    TDynArray<FTxdImage> Images;
    FTexturePicture Picture;
    if (ReadTxdImages(Bytes, NumBytes, Roots, Images) && Index < Images.Num())
        DecodeLargestLevel(Images[Index], Picture);
    return Picture;
}

// Every pair of the dictionary at Entry: its textures before, then after the shrink of Options.
void DecodeEntry(FFileHandle File, const FImgDirEntry& Dir, int32_t Entry, const FSkipRules& SkipRules,
                 const FShrinkOptions& Options, TDynArray<FTexturePair>& Pairs)
{
    FString TxdName;
    if (!GetImgTxdName(Dir, TxdName) || Dir.DataBytes() > INT32_MAX)
        return;
    FByteArray Bytes;
    Bytes.SetNum(int32_t(Dir.DataBytes()));
    if (!ReadImgBytes(File, Dir.DataOffset(), Bytes.GetData(), Bytes.Num()))
        return;
    FByteArray Shrunk(Bytes);
    int32_t ShrunkBytes = Shrunk.Num();
    FEntryTrace Trace;
    std::unique_ptr<FTxdEntryContext> Context(new FTxdEntryContext(
        SkipRules, Options.Reencode ? Options.Reencode : &ReencodeImage, TxdName, &Trace, nullptr, Options.Settings));
    Context->FitPlan = Options.FitPlan;
    Context->Entry = Entry;
    const bool bShrunk = ProcessTxdEntry(*Context, Shrunk.GetData(), ShrunkBytes) != TXDENTRY_Malformed;
    for (FTexturePair& Pair : Pairs)
    {
        if (Pair.Fact.Entry != Entry)
            continue;
        Pair.Before = DecodeTexture(Bytes.GetData(), Bytes.Num(), Pair.Fact.Index);
        if (bShrunk)
            Pair.After = DecodeTexture(Shrunk.GetData(), ShrunkBytes, Pair.Fact.Index);
    }
}
} // namespace

bool DecodeLargestLevel(const FTxdImage& Image, FTexturePicture& Picture)
{
    const FPixelFormat Format = StoredFormat(Image);
    if (!Format || Image.MipList.Num() == 0)
        return false;
    const FHeldBytes& Level = Image.MipList[0];
    FByteArray Rgba;
    if (!ConvertImage(Image.Header.Width, Image.Header.Height, Level.GetData(), Format, Rgba, PIXEL_RGBA, Level.Num()))
        return false;
    ShowAsTheGameDoes(Image, std::move(Rgba), Picture);
    return true;
}

bool FLevelRows::Open(const FTxdImage& Image)
{
    Format = StoredFormat(Image);
    if (!Format || Image.MipList.Num() == 0)
        return false;
    Width = Image.Header.Width;
    Height = Image.Header.Height;
    const FHeldBytes& Stored = Image.MipList[0];
    if (GetConvertedBytes(Width, Height, Format, PIXEL_RGBA, Stored.Num()) < 0)
        return false;
    Level = Stored.GetData();
    const FTextureKind* Kind = FindTextureKind(GetTextureKind(Image.Header));
    bSwap = Format == PIXEL_RGBA;
    bOpaque = Kind && !Kind->bAlpha;
    BandRows = GetBlockBytes(Format) > 0 ? 4 : 1;
    Pixels.reset(new uint8_t[size_t(Width) * size_t(Height) * 4]);
    Decoded.assign(size_t((Height + BandRows - 1) / BandRows), 0);
    return true;
}

const uint8_t* FLevelRows::Row(int32_t Y)
{
    const int32_t Band = Y / BandRows;
    const size_t RowBytes = size_t(Width) * 4;
    uint8_t* First = Pixels.get() + size_t(Band) * BandRows * RowBytes;
    if (!Decoded[size_t(Band)])
    {
        const int32_t Rows = std::min(BandRows, Height - Band * BandRows);
        if (BandRows == 4)
            DecodeBlockRows(Width, Rows, Level + size_t(Band) * GetBlockRowBytes(Width, Format), Format, First);
        else
            std::memcpy(First, Level + size_t(Band) * RowBytes, RowBytes);
        for (size_t i = 0; i + 3 < RowBytes * size_t(Rows); i += 4)
        {
            if (bSwap)
                std::swap(First[i], First[i + 2]);
            if (bOpaque)
                First[i + 3] = 255;
        }
        Decoded[size_t(Band)] = 1;
    }
    return First + size_t(Y - Band * BandRows) * RowBytes;
}

void ShowAsTheGameDoes(const FTxdImage& Image, FByteArray&& Rgba, FTexturePicture& Picture)
{
    // A 32-bit level is stored blue, green, red, alpha (the game's A8R8G8B8 read byte by byte).
    const FTextureKind* Kind = FindTextureKind(GetTextureKind(Image.Header));
    const bool bSwap = StoredFormat(Image) == PIXEL_RGBA;
    const bool bOpaque = Kind && !Kind->bAlpha;
    for (int32_t i = 0; i + 3 < Rgba.Num(); i += 4)
    {
        if (bSwap)
            std::swap(Rgba[i], Rgba[i + 2]);
        if (bOpaque)
            Rgba[i + 3] = 255;
    }
    Picture.Width = Image.Header.Width;
    Picture.Height = Image.Header.Height;
    Picture.Rgba = std::move(Rgba);
}

bool DecodeTexturePairs(const char16_t* SrcFilename, const FShrinkOptions& Options, TDynArray<FTexturePair>& Pairs)
{
    TDynArray<FImgDirEntry> Directory;
    if (!ReadImgDirectory(SrcFilename, Directory))
        return false;
    FFileHandle File = appFileOpenRead(SrcFilename);
    if (!File)
        return false;
    FSkipRules SkipRules;
    SkipRules.Load(Options.SkipRulesFile.IsEmpty() ? FSkipRules::DefaultFile() : *Options.SkipRulesFile);
    TDynArray<int32_t> Done;
    for (const FTexturePair& Pair : Pairs)
    {
        const int32_t Entry = Pair.Fact.Entry;
        if (Entry < 0 || Entry >= Directory.Num() || Done.FindItemIndex(Entry) >= 0)
            continue;
        Done.AddItem(Entry);
        DecodeEntry(File, Directory[Entry], Entry, SkipRules, Options, Pairs);
    }
    appFileClose(File);
    return true;
}
