// Texture pixels to and from the block coders.
#include "shrinker/FTextureCoding.h"

#include <climits>
#include <cstring>

#include <squish.h>

#include "Core/Inc/Core.h"
#include "shrinker/FEntryTrace.h"
#include "shrinker/FTextureBlocks.h"

namespace
{
// Our formats name the block coder's two flavours by their pixel format; colours are fitted along their range
// (fast, and good enough for textures that are being made smaller anyway), with the default colour metric and
// no weighting by alpha.
int SquishFlags(FPixelFormat Format)
{
    const int Coder = Format == PIXEL_DXT1 ? squish::kDxt1 : Format == PIXEL_DXT3 ? squish::kDxt3 : squish::kDxt5;
    return Coder | squish::kColourRangeFit;
}

bool IsBlockFormat(FPixelFormat Format)
{
    return GetBlockBytes(Format) > 0;
}

bool SourceTooShort(int32_t SourceBytes, int32_t Needed)
{
    return SourceBytes >= 0 && SourceBytes < Needed;
}

// The bytes a conversion produces, or -1 (traced) when it cannot be made. Checks everything before anything is
// written, so that a refused conversion leaves the output as it was.
int32_t ConvertedBytes(int32_t Width, int32_t Height, FPixelFormat SourceFormat, FPixelFormat OutFormat,
                       int32_t SourceBytes, FEntryTrace& Trace)
{
    const int32_t RgbaBytes = GetRasterBytes(Width, Height, 4);
    if (SourceFormat == PIXEL_RGBA && OutFormat == PIXEL_RGBA)
    {
        if (RgbaBytes >= 0 && !SourceTooShort(SourceBytes, RgbaBytes))
            return RgbaBytes;
        Trace.Logf(TEXT("Could not convert %x to %x: no %d x %d pixels"), SourceFormat, OutFormat, Width, Height);
        return -1;
    }
    if (SourceFormat == PIXEL_RGBA && IsBlockFormat(OutFormat))
    {
        // The blocks fill the output exactly only when both sides are multiples of 4; otherwise the coder
        // would write past the bytes the level may hold, so such a size is refused.
        const int32_t Bits = GetBlockBytes(OutFormat) / 2;
        const int32_t BytesReq = RgbaBytes >= 0 ? int32_t(int64_t(Width) * Height * Bits / 8) : -1;
        const int32_t ResultBytesReq =
            RgbaBytes >= 0 ? squish::GetStorageRequirements(Width, Height, SquishFlags(OutFormat)) : -2;
        if (RgbaBytes >= 0 && BytesReq == ResultBytesReq && !SourceTooShort(SourceBytes, RgbaBytes))
            return BytesReq;
        Trace.Logf(TEXT("Could not convert %x to %x: %d x %d is not made of whole blocks"), SourceFormat, OutFormat,
                   Width, Height);
        return -1;
    }
    if (IsBlockFormat(SourceFormat) && OutFormat == PIXEL_RGBA)
    {
        // Partial blocks at the right and bottom edges are fine here: the coder reads whole blocks and writes
        // only the pixels inside the image.
        const int32_t BlockBytes =
            RgbaBytes >= 0 ? squish::GetStorageRequirements(Width, Height, SquishFlags(SourceFormat)) : -1;
        if (RgbaBytes >= 0 && !SourceTooShort(SourceBytes, BlockBytes))
            return RgbaBytes;
        Trace.Logf(TEXT("Could not convert %x to %x: no %d x %d blocks"), SourceFormat, OutFormat, Width, Height);
        return -1;
    }
    Trace.Logf(TEXT("Could not convert %x to %x"), SourceFormat, OutFormat);
    return -1;
}

// Makes a conversion that ConvertedBytes has accepted, into Out bytes.
void Convert(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, uint8_t* Out,
             FPixelFormat OutFormat, int32_t OutBytes, EBlockEncoder Encoder)
{
    if (OutBytes == 0)
        return;
    if (SourceFormat == PIXEL_RGBA && OutFormat == PIXEL_RGBA)
        std::memcpy(Out, Source, size_t(OutBytes));
    else if (SourceFormat == PIXEL_RGBA && Encoder == EBlockEncoder::Fine)
        EncodeFineBlocks(Width, Height, static_cast<const uint8_t*>(Source), OutFormat, Out);
    else if (SourceFormat == PIXEL_RGBA)
        squish::CompressImage(static_cast<const squish::u8*>(Source), Width, Height, Out, SquishFlags(OutFormat));
    else
        DecodeBlocks(Width, Height, static_cast<const uint8_t*>(Source), SourceFormat, Out);
}

// The output buffer made Bytes long, for either kind of buffer.
uint8_t* Sized(FByteArray& Out, int32_t Bytes)
{
    Out.SetNum(Bytes);
    return Out.GetData();
}

uint8_t* Sized(FScratchBytes& Out, int32_t Bytes)
{
    return Out.SetNum(Bytes);
}

template <typename TOut>
bool ConvertInto(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, TOut& Out,
                 FPixelFormat OutFormat, int32_t SourceBytes, FEntryTrace* Trace, EBlockEncoder Encoder)
{
    FEntryTrace Direct;
    const int32_t OutBytes =
        ConvertedBytes(Width, Height, SourceFormat, OutFormat, SourceBytes, Trace ? *Trace : Direct);
    if (OutBytes < 0)
        return false;
    Convert(Width, Height, Source, SourceFormat, Sized(Out, OutBytes), OutFormat, OutBytes, Encoder);
    return true;
}
} // namespace

bool ConvertImage(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, FByteArray& Out,
                  FPixelFormat OutFormat, int32_t SourceBytes, FEntryTrace* Trace, EBlockEncoder Encoder)
{
    return ConvertInto(Width, Height, Source, SourceFormat, Out, OutFormat, SourceBytes, Trace, Encoder);
}

bool ConvertImage(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, FScratchBytes& Out,
                  FPixelFormat OutFormat, int32_t SourceBytes, FEntryTrace* Trace, EBlockEncoder Encoder)
{
    return ConvertInto(Width, Height, Source, SourceFormat, Out, OutFormat, SourceBytes, Trace, Encoder);
}

int32_t GetConvertedBytes(int32_t Width, int32_t Height, FPixelFormat SourceFormat, FPixelFormat OutFormat,
                          int32_t SourceBytes, FEntryTrace* Trace)
{
    FEntryTrace Direct;
    return ConvertedBytes(Width, Height, SourceFormat, OutFormat, SourceBytes, Trace ? *Trace : Direct);
}

int32_t GetBlockBytes(FPixelFormat Format)
{
    return Format == PIXEL_DXT1 ? 8 : (Format == PIXEL_DXT3 || Format == PIXEL_DXT5) ? 16 : 0;
}

int32_t GetRasterBytes(int32_t Width, int32_t Height, int32_t BytesPerPixel)
{
    if (Width < 0 || Height < 0)
        return -1;
    const int64_t Bytes = int64_t(Width) * Height * BytesPerPixel;
    return Bytes <= INT32_MAX ? int32_t(Bytes) : -1;
}

size_t GetBlockRowBytes(int32_t Width, FPixelFormat Format)
{
    return size_t((Width + 3) / 4) * size_t(GetBlockBytes(Format));
}

void DecodeBlockRows(int32_t Width, int32_t Rows, const uint8_t* Blocks, FPixelFormat Format, uint8_t* Dest)
{
    DecodeBlocks(Width, Rows, Blocks, Format, Dest);
}
