// What a texture loses when it is made smaller, as the player sees it close up: the reduced largest level
// magnified back to the original's size with bilinear filtering (as the graphics card does), against the
// original's largest level.
#pragma once

#include <cstdint>

struct FTexturePicture;

// Rows of pixels as the game shows them (4 bytes each: red, green, blue, alpha), asked for one at a time: a
// picture decoded whole, or a level decoded only where rows are asked for (FLevelRows, FTexturePictures.h).
class FRowSource
{
public:
    virtual ~FRowSource() {}
    // Row Y, 0 to Height - 1, Width pixels; valid for as long as the source.
    virtual const uint8_t* Row(int32_t Y) = 0;
    int32_t Width = 0;
    int32_t Height = 0;
};

// The rows of a picture decoded whole.
class FPictureRows : public FRowSource
{
public:
    explicit FPictureRows(const FTexturePicture& InPicture);
    const uint8_t* Row(int32_t Y) override;

private:
    const FTexturePicture& Picture;
};

// The alpha below which the game's alpha test discards a pixel of a cut-out: such pixels are never seen.
const int32_t GAlphaTestReference = 2;

struct FTextureLoss
{
    double SquaredError = 0; // summed over the pixels counted and the three colour channels
    int64_t Pixels = 0;      // the original's pixels counted (those the alpha test keeps)

    // The peak signal-to-noise ratio in dB; infinite when nothing is lost.
    double Psnr() const;
    bool IsMeasured() const { return Pixels > 0; }
};

// Reduced magnified to Original's size (bilinear between texel centres, wrapping at the edges as the game's
// textures do), compared colour by colour with Original at every pixel whose alpha passes the alpha test. Nothing
// is measured (Pixels 0) when either picture is empty or no pixel passes.
FTextureLoss MeasureLoss(const FTexturePicture& Original, const FTexturePicture& Reduced);
// The same, for a picture of more than MostPixels (above 0) from about MostPixels of them: one row of each group
// of rows, picked from a fixed sequence, counts for its group. For choices that weigh many textures, where a
// close estimate of the large ones does.
FTextureLoss EstimateLoss(FRowSource& Original, FRowSource& Reduced, int64_t MostPixels);
