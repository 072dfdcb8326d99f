// Pixel work of the re-encoding policy: decoding a texture level to 32-bit pixels, resampling them, and
// encoding them back into the level's own format (block coding by libsquish).
//
// Every routine here works only on what it is given and on the caller's output: calls on different images may
// run on any threads at once. Nothing blocks beyond the computation itself; nothing is kept between calls.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "shrinker/FScratchBytes.h"

class FEntryTrace;

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

// Changes Width x Height pixels from one format to another; the supported pairs are RGBA to RGBA (a copy),
// RGBA to DXT1 or DXT3 (libsquish CompressImage) and DXT1 or DXT3 to RGBA (DecompressImage).
//
// Source holds the level in SourceFormat; the caller keeps it. Out (the caller's) is resized to exactly the
// bytes produced, growing with zeros, and filled. SourceBytes, when not negative, is how many bytes Source
// holds; a source too short for the size is refused instead of being read past its end.
//
// Returns false, traces (to Trace when given, else straight to EngineTrace), and leaves Out as it was when the
// pair is not supported ("Could not convert %x to %x"), when a block encoding is asked for a size that is not a
// multiple of 4 on both sides (the blocks would not fill the output exactly) or when the source is too short.
// Any thread; the block coder runs on the calling thread only.
bool ConvertImage(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, FByteArray& Out,
                  FPixelFormat OutFormat, int32_t SourceBytes = -1, FEntryTrace* Trace = nullptr);
// The same into a reused buffer: afterwards Out.Num() is exactly the bytes produced; nothing is cleared first.
bool ConvertImage(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, FScratchBytes& Out,
                  FPixelFormat OutFormat, int32_t SourceBytes = -1, FEntryTrace* Trace = nullptr);

// Resamples Source (SourceWidth x SourceHeight RGBA pixels) to NewWidth x NewHeight with a bilinear filter in
// 8.8 fixed point and wrap-around addressing (the right edge blends with the left, the bottom with the top).
// When every source alpha is 0, 1, 2, 253, 254 or 255, the result's alphas are snapped to 0 or 255.
// Dest is the caller's and must hold NewWidth * NewHeight * 4 bytes; all of them are written. Every size must be
// positive (assertion). Any thread.
void ResizeImage(const void* Source, int32_t SourceWidth, int32_t SourceHeight, void* Dest, int32_t NewWidth,
                 int32_t NewHeight);

// Decodes a level (RGBA, DXT1 or DXT3) and resamples it to NewWidth x NewHeight into Dest, which must hold
// NewWidth * NewHeight * 4 bytes: the same pixels as ConvertImage to RGBA followed by ResizeImage. A block-coded
// level is decoded a strip of rows at a time, each row resampled as soon as its source rows are there, so the
// level is never held decoded whole; RGBA levels are read where they are. Buffers holds the strips and the
// column table. Returns false, traced as ConvertImage traces and with Dest untouched, when the level cannot be
// decoded. Every size must be positive (assertion). Any thread; the block decoder runs on the calling thread.
bool ResampleLevel(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, int32_t SourceBytes,
                   void* Dest, int32_t NewWidth, int32_t NewHeight, FShrinkBuffers& Buffers,
                   FEntryTrace* Trace = nullptr);
