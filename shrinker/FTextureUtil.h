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
    // Block formats: 8 bytes (DXT1, also with 1-bit alpha) or 16 bytes (DXT3, DXT5) per 4x4 block.
    PIXEL_DXT1 = 0x44585431,
    PIXEL_DXT3 = 0x44585433,
    PIXEL_DXT5 = 0x44585435,
};

// Bytes of one 4x4 block of a block format (8 or 16); 0 for RGBA and any other format.
int32_t GetBlockBytes(FPixelFormat Format);

// How a level is resampled to a smaller size.
enum class EResampleFilter : int32_t
{
    // The bilinear filter of ResizeImage: a halving by a power of two picks one pixel of every block.
    Bilinear,
    // The exact area average (BoxResizeImage): a 2x2 box at every halving, fractional weights where a side is
    // odd. A cut-out keeps its coverage.
    Box,
};

// Changes Width x Height pixels from one format to another; the supported pairs are RGBA to RGBA (a copy),
// RGBA to DXT1, DXT3 or DXT5 (libsquish CompressImage) and DXT1, DXT3 or DXT5 to RGBA (DecompressImage).
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

// The bytes ConvertImage would produce for the same arguments, or -1 where it would refuse (traced as it
// traces). Nothing is converted.
int32_t GetConvertedBytes(int32_t Width, int32_t Height, FPixelFormat SourceFormat, FPixelFormat OutFormat,
                          int32_t SourceBytes = -1, FEntryTrace* Trace = nullptr);

// Resamples Source (SourceWidth x SourceHeight RGBA pixels) to NewWidth x NewHeight with a bilinear filter in
// 8.8 fixed point and wrap-around addressing (the right edge blends with the left, the bottom with the top).
// When every source alpha is 0, 1, 2, 253, 254 or 255, the result's alphas are snapped to 0 or 255.
// Dest is the caller's and must hold NewWidth * NewHeight * 4 bytes; all of them are written. Every size must be
// positive (assertion). Any thread.
void ResizeImage(const void* Source, int32_t SourceWidth, int32_t SourceHeight, void* Dest, int32_t NewWidth,
                 int32_t NewHeight);

// Shrinks Source (SourceWidth x SourceHeight RGBA pixels) to NewWidth x NewHeight, each no larger than the
// source's side, by the exact area average: every destination pixel is the mean of the source area it covers
// (partly covered pixels weigh by the part), rounded to nearest, for the four bytes alike. Halving an even side
// averages pairs; an unchanged side is not filtered.
//
// When every source alpha is 0, 1, 2, 253, 254 or 255 (a cut-out), the result's alphas become 0 or 255 such
// that exactly as many pixels are opaque as keep the source's share of alphas of 128 or more (rounded to the
// nearest count): the pixels of the largest averaged alphas, ties taken in the order of an ordered-dither
// matrix. Dest is the caller's and must hold NewWidth * NewHeight * 4 bytes; all are written. Any thread.
void BoxResizeImage(const void* Source, int32_t SourceWidth, int32_t SourceHeight, void* Dest, int32_t NewWidth,
                    int32_t NewHeight);

// Decodes a level (RGBA, DXT1, DXT3 or DXT5) and resamples it to NewWidth x NewHeight into Dest, which must hold
// NewWidth * NewHeight * 4 bytes: the same pixels as ConvertImage to RGBA followed by ResizeImage (Filter
// Bilinear) or BoxResizeImage (Filter Box, which needs a size no larger than the level's). A block-coded
// level is decoded a strip of rows at a time, each row resampled as soon as its source rows are there, so the
// level is never held decoded whole; RGBA levels are read where they are. Buffers holds the strips, the column
// table and the box filter's sums. Returns false, traced as ConvertImage traces and with Dest untouched, when the level
// cannot be decoded. Every size must be positive (assertion). Any thread; the block decoder runs on the calling thread.
bool ResampleLevel(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, int32_t SourceBytes,
                   void* Dest, int32_t NewWidth, int32_t NewHeight, FShrinkBuffers& Buffers,
                   FEntryTrace* Trace = nullptr, EResampleFilter Filter = EResampleFilter::Bilinear);
