// The box filter: shrinking RGBA pixels by the exact area average, and keeping a cut-out's coverage as it goes.
//
// Every routine here works only on what it is given and on the caller's output: calls on different images may
// run on any threads at once. Nothing blocks beyond the computation itself; nothing is kept between calls.
#pragma once

#include <cstdint>

#include "shrinker/FScratchBytes.h"
#include "shrinker/FTextureCoding.h"

// How the filters average colour where they mix pixels. Alpha itself is always averaged plainly.
enum class EColourWeight : int32_t
{
    // Every pixel alike: the standard shrink's pixels.
    Plain,
    // Weighted by alpha, so that clear pixels (whose colour is often black or left over) do not darken or bleed
    // into the edge of a cut-out. Where every pixel mixed is clear, alike; where all have one alpha (an opaque
    // texture), the plain average exactly.
    ByAlpha,
};

// Shrinks Source (SourceWidth x SourceHeight RGBA pixels) to NewWidth x NewHeight, each no larger than the
// source's side, by the exact area average: every destination pixel is the mean of the source area it covers
// (partly covered pixels weigh by the part), rounded to nearest, the colour as Weight says. Halving an even side
// averages pairs; an unchanged side is not filtered.
//
// When every source alpha is 0, 1, 2, 253, 254 or 255 (a cut-out), the result's alphas become 0 or 255 such
// that exactly as many pixels are opaque as keep the source's share of alphas of 128 or more (rounded to the
// nearest count): the pixels of the largest averaged alphas, ties taken in the order of an ordered-dither
// matrix. Dest is the caller's and must hold NewWidth * NewHeight * 4 bytes; all are written. Any thread.
void BoxResizeImage(const void* Source, int32_t SourceWidth, int32_t SourceHeight, void* Dest, int32_t NewWidth,
                    int32_t NewHeight, EColourWeight Weight = EColourWeight::Plain);

// Where the colour of BoxResampleLevel's pixels comes from; alpha is the area average either way.
enum class EBoxColour : int32_t
{
    Area,       // the area average, as BoxResizeImage makes it
    CatmullRom, // the Catmull-Rom cubic (FTextureCubic.h), sharper; the area average where it is unsteady
};

// The same over a level in its own format (RGBA, or blocks decoded a strip of rows at a time, never the level
// whole), into Dest of NewWidth * NewHeight * 4 bytes, the colour as Colour says; Buffers holds the strips, the
// taps and the sums. The caller has checked the level with GetConvertedBytes. Any thread.
void BoxResampleLevel(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, uint8_t* Dest,
                      int32_t NewWidth, int32_t NewHeight, FShrinkBuffers& Buffers,
                      EColourWeight Weight = EColourWeight::Plain, EBoxColour Colour = EBoxColour::Area);
