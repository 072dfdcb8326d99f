// FTxdImage: one texture of a texture dictionary, parsed from the payload of its image's struct chunk (the
// texture native record), and the writer that turns it back into bytes.
//
// A parsed record's levels are views into the payload it was parsed from: the payload must outlive the record
// and must not change until the record has been written. Records are used by one thread at a time.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"
#include "shrinker/FHeldBytes.h"
#include "shrinker/FTextureCoding.h"

// The 88-byte record header exactly as stored (little-endian; both targets are little-endian machines).
struct FTxdImageHeader
{
    uint32_t PlatformId;  // carried through
    uint32_t FilterFlags; // carried through
    char Name[32];        // ANSI code page, zero-terminated within the field
    char MaskName[32];    // carried through
    uint32_t Unknown3;    // raster format word
    uint32_t D3DFormat;   // "DXT1"/"DXT3" as a little-endian word, or a Direct3D format number (21, 22)
    uint16_t Width;       // of the largest level
    uint16_t Height;
    uint8_t Depth;       // bits per pixel: 16 block-compressed, 32, or 8 for a palette texture
    uint8_t MipLevels;   // number of levels that follow
    uint8_t RasterType;  // carried through
    uint8_t FormatFlags; // TXDFORMAT_* bits
};
static_assert(sizeof(FTxdImageHeader) == 88, "FTxdImageHeader is the stored header");
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "Texture records and chunk headers are copied as they are stored: little-endian machines only"
#endif

enum : uint8_t
{
    TXDFORMAT_Alpha = 0x01,      // the raster has alpha
    TXDFORMAT_Compressed = 0x08, // the raster is block-compressed
};

// The kinds textures are sorted into, as four-character codes. 'DXa1' (DXT1 with 1-bit alpha) and 'RGBX' (no
// alpha) are not pixel formats of their own: their pixels are DXT1 and RGBA.
enum : uint32_t
{
    TEXKIND_None = 0,
    TEXKIND_DXT1 = 0x44585431,
    TEXKIND_DXT1A = 0x44586131,
    TEXKIND_DXT3 = 0x44585433,
    TEXKIND_RGBX = 0x52474258,
    TEXKIND_RGBA = 0x52474241,
};

// The record's D3DFormat word: "DXT1" / "DXT3" read little-endian for block-compressed rasters, else a Direct3D
// format number.
enum : uint32_t
{
    D3DFMT_A8R8G8B8 = 21,
    D3DFMT_X8R8G8B8 = 22,
    D3DFMT_DXT1 = 0x31545844,
    D3DFMT_DXT3 = 0x33545844,
    D3DFMT_DXT5 = 0x35545844,
};

// Everything the shrinker knows of one texture kind: its names, the pixel format of its levels, and what the
// header of a record of that kind says.
struct FTextureKind
{
    uint32_t Code;         // TEXKIND_*
    const char16_t* Name;  // in reports: "DXT1", "DXT1a", "DXT3", "RGBX", "RGBA"
    const char16_t* Label; // the name in five characters, in the description statistics: "DXT1 ", "DXT1a"
    FPixelFormat Pixels;   // the format of its levels
    int32_t BitsPerPixel;  // of its largest level
    bool bCompressed;      // TXDFORMAT_Compressed set
    bool bAlpha;           // TXDFORMAT_Alpha set
    int32_t Depth;         // the header's Depth
    uint32_t RasterFormat; // the Unknown3 word of a single-level texture
};

// The texture's kind from its format word and alpha bit; TEXKIND_None for any other format and for palette
// textures (Depth 8). Says nothing about whether the rest of the header fits the kind.
uint32_t GetTextureKind(const FTxdImageHeader& Header);
// The kind of a TEXKIND_* code; null for TEXKIND_None and any other code.
const FTextureKind* FindTextureKind(uint32_t Kind);
// The kind's Name; "unknown" for any other code.
const char16_t* GetTextureKindName(uint32_t Kind);

enum : int32_t
{
    TXDIMAGE_HeaderSize = 88,
};

struct FTxdImage
{
    FTxdImageHeader Header = {};
    TDynArray<FHeldBytes> MipList; // largest level first; views into the parsed record, or owned once replaced;
                                   // empty for a palette image

    // A palette image (Depth 8) is kept as it is: its palette's size depends on flags that vary from tool to
    // tool, so where its levels start is not known, and its levels are never read.
    bool IsPaletteImage() const { return Header.Depth == 8; }
    // The texture's Name field as text (ANSI code page).
    FString GetName() const;
};

// Parses one record from Count bytes at Data into Image (which must be fresh). The levels become views into
// Data. Returns false, with a short description in *Reason when asked, when the record does not fit in Count
// bytes: a header under 88 bytes, a level count or a level size running past the end. Nothing is read past
// Count bytes. Bytes after the last level are allowed and not kept. Of a palette image only the header is read
// (the struct chunk bounds the rest of its record).
bool ParseTxdImage(const uint8_t* Data, int32_t Count, FTxdImage& Image, const char16_t** Reason = nullptr);

// The record in its stored form: the header as it now stands, then each level's byte count and bytes.
// Palette textures cannot be written, and Header.MipLevels must equal MipList.Num() (assertions).
FByteArray WriteTxdImage(const FTxdImage& Image);
// The same into Out, which must hold GetTxdImageBytes(Image) bytes; returns that count. Out may lie over the
// bytes the record was parsed from, at or before the record's start (a stream rewritten in place).
int32_t WriteTxdImage(const FTxdImage& Image, uint8_t* Out);
// The size of the record in its stored form.
int32_t GetTxdImageBytes(const FTxdImage& Image);
