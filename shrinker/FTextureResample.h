// Resampling texture pixels to a smaller size: the bilinear filter, and a level resampled in its own format
// by any of the filters without being held decoded whole.
//
// Every routine here works only on what it is given and on the caller's output: calls on different images may
// run on any threads at once. Nothing blocks beyond the computation itself; nothing is kept between calls.
#pragma once

#include <cstdint>

#include "shrinker/FScratchBytes.h"
#include "shrinker/FTextureBoxHalving.h"
#include "shrinker/FTextureCoding.h"

class FEntryTrace;

// How a level is resampled to a smaller size.
enum class EResampleFilter : int32_t
{
    // The bilinear filter of ResizeImage: a halving by a power of two picks one pixel of every block.
    Bilinear,
    // The exact area average (BoxResizeImage): a 2x2 box at every halving, fractional weights where a side is
    // odd. A cut-out keeps its coverage.
    Box,
    // Alpha as the box filter makes it (a cut-out keeps its coverage), colour by the Catmull-Rom cubic
    // (BoxResampleLevel with EBoxColour::CatmullRom): sharper, closer to a Lanczos downscale.
    CatmullRom,
};

// Resamples Source (SourceWidth x SourceHeight RGBA pixels) to NewWidth x NewHeight with a bilinear filter in
// 8.8 fixed point and wrap-around addressing (the right edge blends with the left, the bottom with the top).
// With Weight ByAlpha, the colour of a pixel whose four neighbours' alphas differ is their blend weighted by
// alpha (16.16 shares, rounded once); alpha and every other pixel are the plain blend.
// When every source alpha is 0, 1, 2, 253, 254 or 255, the result's alphas are snapped to 0 or 255.
// Dest is the caller's and must hold NewWidth * NewHeight * 4 bytes; all of them are written. Every size must be
// positive (assertion). Any thread.
void ResizeImage(const void* Source, int32_t SourceWidth, int32_t SourceHeight, void* Dest, int32_t NewWidth,
                 int32_t NewHeight, EColourWeight Weight = EColourWeight::Plain);

// Decodes a level (RGBA, DXT1, DXT3 or DXT5) and resamples it to NewWidth x NewHeight into Dest, which must hold
// NewWidth * NewHeight * 4 bytes: the same pixels as ConvertImage to RGBA followed by ResizeImage (Filter
// Bilinear) or BoxResizeImage (Filter Box, which needs a size no larger than the level's, as CatmullRom does), each
// with Weight. A block-coded level is decoded a strip of rows at a time, each row resampled as soon as its source
// rows are there, so the level is never held decoded whole; RGBA levels are read where they are. Buffers holds the
// strips, the column table and the filters' sums. Returns false, traced as ConvertImage traces and with Dest untouched, when the level
// cannot be decoded. Every size must be positive (assertion). Any thread; the block decoder runs on the calling thread.
bool ResampleLevel(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, int32_t SourceBytes,
                   void* Dest, int32_t NewWidth, int32_t NewHeight, FShrinkBuffers& Buffers,
                   FEntryTrace* Trace = nullptr, EResampleFilter Filter = EResampleFilter::Bilinear,
                   EColourWeight Weight = EColourWeight::Plain);
