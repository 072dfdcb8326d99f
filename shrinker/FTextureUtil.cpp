// Texture pixels: format changes through libsquish and the bilinear resampler.
#include <climits>
#include <cstdint>
#include <cstring>

#include <squish.h>

#include "Core/Inc/Core.h"
#include "shrinker/FTextureUtil.h"

namespace
{
// Our formats name the block coder's two flavours by their pixel format; colours are fitted along their range
// (fast, and good enough for textures that are being made smaller anyway), with the default colour metric and
// no weighting by alpha.
int SquishFlags(FPixelFormat Format)
{
    return Format == PIXEL_DXT1 ? (squish::kDxt1 | squish::kColourRangeFit) : (squish::kDxt3 | squish::kColourRangeFit);
}

bool IsBlockFormat(FPixelFormat Format)
{
    return Format == PIXEL_DXT1 || Format == PIXEL_DXT3;
}

// Width * Height * BytesPerPixel when it fits a signed 32-bit count, else -1.
int32_t RasterBytes(int32_t Width, int32_t Height, int32_t BytesPerPixel)
{
    if (Width < 0 || Height < 0)
        return -1;
    const int64_t Bytes = int64_t(Width) * Height * BytesPerPixel;
    return Bytes <= INT32_MAX ? int32_t(Bytes) : -1;
}

bool SourceTooShort(int32_t SourceBytes, int32_t Needed)
{
    return SourceBytes >= 0 && SourceBytes < Needed;
}

// One byte (channel) of a pixel: the blend of the four neighbours in 8.8 fixed point, truncating each step.
inline uint8_t Bilinear(uint8_t C00, uint8_t C10, uint8_t C01, uint8_t C11, int32_t Ax, int32_t Ay)
{
    const int32_t Top = (C00 * (256 - Ax) + C10 * Ax) / 256;
    const int32_t Bottom = (C01 * (256 - Ax) + C11 * Ax) / 256;
    return uint8_t((Top * (256 - Ay) + Bottom * Ay) / 256);
}

// The sample position of destination index I along one axis: the source index and the 8-bit fraction.
// Every product is a float, rounded to single precision where it is stored (no wider intermediate: the
// build has no x87 code and no fused multiply-add), so the positions are the same on every build.
struct FSamplePos
{
    int32_t I0;
    int32_t I1;
    int32_t A;
};

FSamplePos SamplePos(int32_t I, float Reciprocal, int32_t SourceSize)
{
    const float U = static_cast<float>(static_cast<float>(I) * Reciprocal);
    const float F = static_cast<float>(static_cast<float>(SourceSize) * U);
    const int32_t I0 = static_cast<int32_t>(F);
    const int32_t A = static_cast<int32_t>(static_cast<float>(F - static_cast<float>(I0)) * 256.0f);
    // Wrap-around addressing: the far edge blends with the near one.
    return FSamplePos{I0 % SourceSize, (I0 + 1) % SourceSize, A};
}
} // namespace

FRgbaImage::FRgbaImage(int32_t InWidth, int32_t InHeight, const void* InPixels) : Width(InWidth), Height(InHeight)
{
    appCheck(InWidth && InHeight);
    appCheck(RasterBytes(InWidth, InHeight, 4) >= 0);
    Pixels.Empty();
    Pixels.Add(Width * Height);
    if (InPixels)
        std::memcpy(Pixels.GetData(), InPixels, size_t(Width) * size_t(Height) * 4);
}

void FRgbaImage::CopyTo(void* Dest, int32_t InWidth, int32_t InHeight) const
{
    // The expressions are the reported assertion texts, written as they are to be read.
    // clang-format off
    appCheck(Width==InWidth);
    appCheck(Height==InHeight);
    // clang-format on
    std::memcpy(Dest, Pixels.GetData(), size_t(InWidth) * size_t(InHeight) * 4);
}

bool ConvertImage(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, FByteArray& Out,
                  FPixelFormat OutFormat, int32_t SourceBytes)
{
    const int32_t RgbaBytes = RasterBytes(Width, Height, 4);

    if (SourceFormat == PIXEL_RGBA && OutFormat == PIXEL_RGBA)
    {
        if (RgbaBytes < 0 || SourceTooShort(SourceBytes, RgbaBytes))
        {
            EngineTrace(TEXT("Could not convert %x to %x: no %d x %d pixels"), SourceFormat, OutFormat, Width, Height);
            return false;
        }
        Out.SetNum(RgbaBytes);
        if (RgbaBytes)
            std::memcpy(Out.GetData(), Source, size_t(RgbaBytes));
        return true;
    }

    if (SourceFormat == PIXEL_RGBA && IsBlockFormat(OutFormat))
    {
        const int Flags = SquishFlags(OutFormat);
        // The blocks fill the output exactly only when both sides are multiples of 4; otherwise the coder
        // would write past the bytes the level may hold, so such a size is refused.
        const int32_t Bits = OutFormat == PIXEL_DXT1 ? 4 : 8;
        const int32_t BytesReq = RgbaBytes >= 0 ? int32_t(int64_t(Width) * Height * Bits / 8) : -1;
        const int32_t ResultBytesReq = RgbaBytes >= 0 ? squish::GetStorageRequirements(Width, Height, Flags) : -2;
        if (RgbaBytes < 0 || BytesReq != ResultBytesReq || SourceTooShort(SourceBytes, RgbaBytes))
        {
            EngineTrace(TEXT("Could not convert %x to %x: %d x %d is not made of whole blocks"), SourceFormat,
                        OutFormat, Width, Height);
            return false;
        }
        Out.SetNum(BytesReq);
        if (BytesReq)
        {
            squish::CompressImage(static_cast<const squish::u8*>(Source), Width, Height, Out.GetData(), Flags);
        }
        return true;
    }

    if (IsBlockFormat(SourceFormat) && OutFormat == PIXEL_RGBA)
    {
        const int Flags = SquishFlags(SourceFormat);
        // Partial blocks at the right and bottom edges are fine here: the coder reads whole blocks and writes
        // only the pixels inside the image.
        const int32_t BlockBytes = RgbaBytes >= 0 ? squish::GetStorageRequirements(Width, Height, Flags) : -1;
        if (RgbaBytes < 0 || SourceTooShort(SourceBytes, BlockBytes))
        {
            EngineTrace(TEXT("Could not convert %x to %x: no %d x %d blocks"), SourceFormat, OutFormat, Width, Height);
            return false;
        }
        Out.SetNum(RgbaBytes);
        if (RgbaBytes)
        {
            squish::DecompressImage(Out.GetData(), Width, Height, Source, Flags);
        }
        return true;
    }

    EngineTrace(TEXT("Could not convert %x to %x"), SourceFormat, OutFormat);
    return false;
}

void ResizeImage(const void* Source, int32_t SourceWidth, int32_t SourceHeight, void* Dest, int32_t NewWidth,
                 int32_t NewHeight)
{
    const FRgbaImage SourceImage(SourceWidth, SourceHeight, Source);
    FRgbaImage DestImage(NewWidth, NewHeight);

    const float Rx = 1.0f / static_cast<float>(NewWidth);
    const float Ry = 1.0f / static_cast<float>(NewHeight);

    // Pixels are handled as their 4 bytes in memory order; byte 3 is alpha.
    const uint8_t* Src = reinterpret_cast<const uint8_t*>(SourceImage.Pixels.GetData());
    uint8_t* Dst = reinterpret_cast<uint8_t*>(DestImage.Pixels.GetData());
    const size_t SrcPitch = size_t(SourceWidth) * 4;

    // Every row samples the same columns.
    TDynArray<FSamplePos> Columns(NewWidth);
    for (int32_t x = 0; x < NewWidth; ++x)
        Columns[x] = SamplePos(x, Rx, SourceWidth);
    const FSamplePos* Column = Columns.GetData();

    for (int32_t y = 0; y < NewHeight; ++y)
    {
        const FSamplePos Py = SamplePos(y, Ry, SourceHeight);
        const uint8_t* Row0 = Src + size_t(Py.I0) * SrcPitch;
        const uint8_t* Row1 = Src + size_t(Py.I1) * SrcPitch;
        uint8_t* Out = Dst + size_t(y) * size_t(NewWidth) * 4;
        for (int32_t x = 0; x < NewWidth; ++x, Out += 4)
        {
            const FSamplePos& Px = Column[x];
            const uint8_t* P00 = Row0 + size_t(Px.I0) * 4;
            const uint8_t* P10 = Row0 + size_t(Px.I1) * 4;
            const uint8_t* P01 = Row1 + size_t(Px.I0) * 4;
            const uint8_t* P11 = Row1 + size_t(Px.I1) * 4;
            for (int32_t c = 0; c < 4; ++c)
                Out[c] = Bilinear(P00[c], P10[c], P01[c], P11[c], Px.A, Py.A);
        }
    }

    // A source whose alpha is only on/off (give or take 2, as block decoding leaves it) keeps a 1-bit alpha:
    // the filter's in-between values at its edges are snapped back.
    bool bGradedAlpha = false;
    const size_t SourceBytes = size_t(SourceWidth) * size_t(SourceHeight) * 4;
    for (size_t i = 3; i < SourceBytes && !bGradedAlpha; i += 4)
        bGradedAlpha = Src[i] >= 3 && Src[i] <= 252;
    if (!bGradedAlpha)
    {
        const size_t DestBytes = size_t(NewWidth) * size_t(NewHeight) * 4;
        for (size_t i = 3; i < DestBytes; i += 4)
            Dst[i] = Dst[i] > 128 ? 255 : 0;
    }

    DestImage.CopyTo(Dest, NewWidth, NewHeight);
}
