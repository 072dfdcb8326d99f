// The pictures the preview page draws of a pair beside the two whole textures: the original small, and the part
// where the shrink loses the most, as the original has it and as the game draws the shrunk texture up close.
#pragma once

#include <cstdint>

#include "shrinker/FTexturePictures.h"

enum : int32_t
{
    // The side of the part shown up close, in the original's pixels (less where the texture is smaller).
    PREVIEW_DetailSide = 128,
    // The larger side of the small picture of the whole texture.
    PREVIEW_SmallSide = 96,
};

// The part of a pair shown up close.
struct FPreviewDetail
{
    int32_t X = 0; // its top left corner in the original, in the original's pixels
    int32_t Y = 0;
    FTexturePicture Before; // the original's pixels there, as they are
    FTexturePicture After;  // the same region of the shrunk texture magnified back to the original's size

    bool IsEmpty() const { return Before.IsEmpty() || After.IsEmpty(); }
};

// Picture magnified (or kept) to Width x Height the way a graphics card samples a texture drawn at that size:
// bilinear filtering between texel centres, wrapping around at the edges, in steps of 1/256 of a texel. Only the
// region X, Y, RegionWidth x RegionHeight of the result is made. Picture must not be empty, the region must lie
// in Width x Height (assertions). Any thread.
FTexturePicture MagnifyPicture(const FTexturePicture& Picture, int32_t Width, int32_t Height, int32_t X, int32_t Y,
                               int32_t RegionWidth, int32_t RegionHeight);

// The part of Side x Side pixels (less where the original is smaller) where After, magnified back to Before's
// size, differs the most from Before: the largest sum of squared differences of the red, green and blue seen,
// each weighed by its pixel's alpha, so that pixels the game discards (alpha 0) count for nothing and an edge of a
// cut-out that moves counts as the colour it shows or hides. Among equals the topmost, then the leftmost; where
// nothing differs, the middle. Empty when either picture is. Any thread.
FPreviewDetail FindPreviewDetail(const FTexturePicture& Before, const FTexturePicture& After,
                                 int32_t Side = PREVIEW_DetailSide);

// Picture reduced by the exact area average so that its larger side is at most Side (a copy when it already is).
// Empty when Picture is. Any thread.
FTexturePicture MakeSmallPicture(const FTexturePicture& Picture, int32_t Side = PREVIEW_SmallSide);
