// Texture native records: parsing and writing.
#include "shrinker/FTxdImage.h"

#include <climits>
#include <cstring>
#include <utility>

#include "Core/Inc/CoreAssert.h"

FString FTxdImage::GetName() const
{
    char Name[sizeof(Header.Name) + 1];
    std::memcpy(Name, Header.Name, sizeof(Header.Name));
    Name[sizeof(Header.Name)] = 0;
    return FString::FromAnsi(Name);
}

uint32_t GetTextureKind(const FTxdImageHeader& Header)
{
    if (Header.Depth == 8) // a palette image
        return TEXKIND_None;
    switch (Header.D3DFormat)
    {
        case D3DFMT_DXT1:
            return (Header.FormatFlags & TXDFORMAT_Alpha) ? TEXKIND_DXT1A : TEXKIND_DXT1;
        case D3DFMT_DXT3:
            return TEXKIND_DXT3;
        case D3DFMT_X8R8G8B8:
            return TEXKIND_RGBX;
        case D3DFMT_A8R8G8B8:
            return TEXKIND_RGBA;
    }
    return TEXKIND_None;
}

const FTextureKind* FindTextureKind(uint32_t Kind)
{
    static const FTextureKind Kinds[] = {
        {TEXKIND_DXT1, u"DXT1", u"DXT1 ", PIXEL_DXT1, 4, true, false, 16, 0x200},
        {TEXKIND_DXT1A, u"DXT1a", u"DXT1a", PIXEL_DXT1, 4, true, true, 16, 0x100},
        {TEXKIND_DXT3, u"DXT3", u"DXT3 ", PIXEL_DXT3, 8, true, true, 16, 0x300},
        {TEXKIND_RGBX, u"RGBX", u"RGBX ", PIXEL_RGBA, 32, false, false, 32, 0x600},
        {TEXKIND_RGBA, u"RGBA", u"RGBA ", PIXEL_RGBA, 32, false, true, 32, 0x500},
    };
    for (const FTextureKind& Found : Kinds)
        if (Found.Code == Kind)
            return &Found;
    return nullptr;
}

const char16_t* GetTextureKindName(uint32_t Kind)
{
    const FTextureKind* Found = FindTextureKind(Kind);
    return Found ? Found->Name : u"unknown";
}

bool ParseTxdImage(const uint8_t* Data, int32_t Count, FTxdImage& Image, const char16_t** Reason)
{
    const char16_t* Dummy = nullptr;
    const char16_t*& Why = Reason ? *Reason : Dummy;
    if (Count < TXDIMAGE_HeaderSize)
    {
        Why = u"texture record shorter than its header";
        return false;
    }
    std::memcpy(&Image.Header, Data, TXDIMAGE_HeaderSize);
    int64_t Pos = TXDIMAGE_HeaderSize;

    if (Image.IsPaletteImage())
        return true;

    // Every level takes at least its 4-byte count, so a record that claims more levels than its bytes can hold
    // gets no more room than they can.
    const int64_t MostLevels = (Count - Pos) / 4;
    Image.MipList.Reserve(int32_t(Image.Header.MipLevels < MostLevels ? Image.Header.MipLevels : MostLevels));
    for (int32_t Level = 0; Level < Image.Header.MipLevels; ++Level)
    {
        if (Count - Pos < 4)
        {
            Why = u"mip level count runs past the end of the texture record";
            return false;
        }
        uint32_t Size;
        std::memcpy(&Size, Data + Pos, 4);
        Pos += 4;
        if (int64_t(Size) > Count - Pos)
        {
            Why = u"mip level runs past the end of the texture record";
            return false;
        }
        Image.MipList[Image.MipList.Add()].SetView(Data + Pos, int32_t(Size));
        Pos += Size;
    }
    return true;
}

int32_t GetTxdImageBytes(const FTxdImage& Image)
{
    appCheck(Image.Header.Depth != 8);
    appCheck(Image.Header.MipLevels == Image.MipList.Num());
    int64_t Total = TXDIMAGE_HeaderSize;
    for (const FHeldBytes& Mip : Image.MipList)
        Total += 4 + int64_t(Mip.Num());
    appCheck(Total <= INT32_MAX);
    return int32_t(Total);
}

int32_t WriteTxdImage(const FTxdImage& Image, uint8_t* Out)
{
    // Every piece goes to the same place or further forward than where it was parsed from, and the pieces are
    // written in their order, so nothing still to be read is overwritten first.
    const int32_t Total = GetTxdImageBytes(Image);
    std::memcpy(Out, &Image.Header, TXDIMAGE_HeaderSize);
    int32_t Pos = TXDIMAGE_HeaderSize;
    for (const FHeldBytes& Mip : Image.MipList)
    {
        const uint32_t Size = uint32_t(Mip.Num());
        const uint8_t SizeBytes[4] = {uint8_t(Size), uint8_t(Size >> 8), uint8_t(Size >> 16), uint8_t(Size >> 24)};
        std::memcpy(Out + Pos, SizeBytes, 4);
        if (Size)
            std::memmove(Out + Pos + 4, Mip.GetData(), Size);
        Pos += 4 + int32_t(Size);
    }
    return Total;
}

FByteArray WriteTxdImage(const FTxdImage& Image)
{
    FByteArray Bytes;
    Bytes.Add(GetTxdImageBytes(Image));
    WriteTxdImage(Image, Bytes.GetData());
    return Bytes;
}
