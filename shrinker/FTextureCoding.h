// Block coding of texture pixels: a level's bytes in its own format (RGBA, or DXT1, DXT3, DXT5 blocks) to and from
// 32-bit pixels, and what each format takes. Blocks are encoded by libsquish or by the fine encoder (EBlockEncoder)
// and decoded by FTextureBlocks.h's decoder, which gives libsquish's bytes in about a third of its time.
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

// Which encoder makes the blocks of pixels coded from RGBA.
enum class EBlockEncoder : int32_t
{
    // libsquish's range fit for every block: fast, and the blocks the standard shrink has always made.
    RangeFit,
    // stb_dxt's high-quality fit (FTextureBlocks.h): closer to the pixels, and faster on opaque blocks. DXT1
    // blocks that hold clear pixels are libsquish's range fit's, which codes DXT1's 1-bit alpha.
    Fine,
};

// Bytes of one 4x4 block of a block format (8 or 16); 0 for RGBA and any other format.
int32_t GetBlockBytes(FPixelFormat Format);

// Changes Width x Height pixels from one format to another; the supported pairs are RGBA to RGBA (a copy),
// RGBA to DXT1, DXT3 or DXT5 (by Encoder) and DXT1, DXT3 or DXT5 to RGBA (the bytes of libsquish's
// DecompressImage).
//
// Source holds the level in SourceFormat; the caller keeps it. Out (the caller's) is resized to exactly the
// bytes produced, growing with zeros, and filled. SourceBytes, when not negative, is how many bytes Source
// holds; a source too short for the size is refused instead of being read past its end.
//
// Returns false, traces (to Trace when given, else straight to EngineTrace), and leaves Out as it was when the
// pair is not supported ("Could not convert %x to %x"), when a block encoding is asked for a size that is not a
// multiple of 4 on both sides (the blocks would not fill the output exactly) or when the source is too short.
// Any thread; the block coders run on the calling thread only.
bool ConvertImage(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, FByteArray& Out,
                  FPixelFormat OutFormat, int32_t SourceBytes = -1, FEntryTrace* Trace = nullptr,
                  EBlockEncoder Encoder = EBlockEncoder::RangeFit);
// The same into a reused buffer: afterwards Out.Num() is exactly the bytes produced; nothing is cleared first.
bool ConvertImage(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, FScratchBytes& Out,
                  FPixelFormat OutFormat, int32_t SourceBytes = -1, FEntryTrace* Trace = nullptr,
                  EBlockEncoder Encoder = EBlockEncoder::RangeFit);

// The bytes ConvertImage would produce for the same arguments, or -1 where it would refuse (traced as it
// traces). Nothing is converted.
int32_t GetConvertedBytes(int32_t Width, int32_t Height, FPixelFormat SourceFormat, FPixelFormat OutFormat,
                          int32_t SourceBytes = -1, FEntryTrace* Trace = nullptr);

// Width * Height * BytesPerPixel when it fits a signed 32-bit count, else -1.
int32_t GetRasterBytes(int32_t Width, int32_t Height, int32_t BytesPerPixel);
// The bytes of one row of 4x4 blocks of a level Width pixels wide in a block Format.
size_t GetBlockRowBytes(int32_t Width, FPixelFormat Format);
// Decodes Rows rows of pixels (a multiple of 4, or the level's last rows) from the blocks at Blocks into Dest,
// which holds Width * Rows * 4 bytes: what ConvertImage to RGBA makes of those rows. The caller has checked the
// level with GetConvertedBytes. Any thread; the block decoder runs on the calling thread.
void DecodeBlockRows(int32_t Width, int32_t Rows, const uint8_t* Blocks, FPixelFormat Format, uint8_t* Dest);
