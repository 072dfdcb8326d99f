// Pixel work of the re-encoding policy: decoding a texture level to 32-bit pixels, resampling them, and
// encoding them back into the level's own format (block coding by libsquish).
//
// Every routine here works only on what it is given and on the caller's output: calls on different images may
// run on any threads at once. Nothing blocks beyond the computation itself; nothing is kept between calls.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"

// A pixel format: the value of a four-character constant, read as one big-endian 32-bit word.
typedef uint32_t FPixelFormat;

enum : FPixelFormat
{
    // 4 bytes per pixel, rows top to bottom, no padding; byte 3 is alpha. The game's A8R8G8B8 and X8R8G8B8
    // rasters are handled as this byte for byte: nothing reorders channels, since the resampler treats the
    // first three bytes alike.
    PIXEL_RGBA = 0x52474241,
    // Block formats: 8 bytes (DXT1, also with 1-bit alpha) or 16 bytes (DXT3) per 4x4 block.
    PIXEL_DXT1 = 0x44585431,
    PIXEL_DXT3 = 0x44585433,
};

// The resampler's working image: Width * Height pixels, row-major, each the 4 bytes of an RGBA pixel as they
// lie in memory.
struct FRgbaImage
{
    int32_t Width;
    int32_t Height;
    TDynArray<uint32_t> Pixels;

    // Both sizes must be non-zero (assertion). Makes Width * Height zero pixels and, when InPixels is given,
    // copies Width * Height * 4 bytes from it.
    FRgbaImage(int32_t InWidth, int32_t InHeight, const void* InPixels = nullptr);

    // Copies the pixels out as InWidth * InHeight * 4 bytes; the image must have exactly that size (assertion).
    void CopyTo(void* Dest, int32_t InWidth, int32_t InHeight) const;
};

// Changes Width x Height pixels from one format to another; the supported pairs are RGBA to RGBA (a copy),
// RGBA to DXT1 or DXT3 (libsquish CompressImage) and DXT1 or DXT3 to RGBA (DecompressImage).
//
// Source holds the level in SourceFormat; the caller keeps it. Out (the caller's) is resized to exactly the
// bytes produced, growing with zeros, and filled. SourceBytes, when not negative, is how many bytes Source
// holds; a source too short for the size is refused instead of being read past its end.
//
// Returns false, traces, and leaves Out as it was when the pair is not supported ("Could not convert %x to %x"),
// when a block encoding is asked for a size that is not a multiple of 4 on both sides (the blocks would not
// fill the output exactly) or when the source is too short. Any thread; the block coder runs on the calling
// thread only.
bool ConvertImage(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, FByteArray& Out,
                  FPixelFormat OutFormat, int32_t SourceBytes = -1);

// Resamples Source (SourceWidth x SourceHeight RGBA pixels) to NewWidth x NewHeight with a bilinear filter in
// 8.8 fixed point and wrap-around addressing (the right edge blends with the left, the bottom with the top).
// When every source alpha is 0, 1, 2, 253, 254 or 255, the result's alphas are snapped to 0 or 255.
// Dest is the caller's and must hold NewWidth * NewHeight * 4 bytes; all of them are written. Every size must
// be non-zero (assertion). Any thread.
void ResizeImage(const void* Source, int32_t SourceWidth, int32_t SourceHeight, void* Dest, int32_t NewWidth,
                 int32_t NewHeight);
