// The pictures of a preview: level 0 of chosen textures decoded before and after a shrink, by a second pass over
// just their dictionaries.
#pragma once

#include <cstdint>

#include <memory>
#include <vector>

#include "Core/Inc/CoreTemplateArray.h"
#include "shrinker/FImgShrinker.h"
#include "shrinker/FTextureCoding.h"
#include "shrinker/FTextureLoss.h"

// Width x Height pixels, 4 bytes each in the order red, green, blue, alpha; rows top to bottom. Empty when the
// level could not be decoded.
struct FTexturePicture
{
    int32_t Width = 0;
    int32_t Height = 0;
    FByteArray Rgba;

    bool IsEmpty() const { return Rgba.Num() == 0; }
};

// One texture seen before and after.
struct FTexturePair
{
    int32_t Archive = 0; // the caller's number for the archive it is in (DecodeTexturePairs leaves it)
    FTextureFact Fact;
    FTexturePicture Before;
    FTexturePicture After;
};

// The largest level of a texture record as the game shows it: the block coder's decoding of a block format, the
// stored bytes of a 32-bit one put in the order red, green, blue, alpha; alpha 255 where the kind has none.
// False for a palette texture and any format that the shrinker does not decode.
bool DecodeLargestLevel(const struct FTxdImage& Image, FTexturePicture& Picture);
// The largest level of a texture as the game shows it (as DecodeLargestLevel makes it), decoded only where rows
// are asked for, a row of blocks at a time: a loss estimated from some rows of a large texture decodes only
// those. The texture's bytes must outlive it.
class FLevelRows : public FRowSource
{
public:
    // False when the level cannot be decoded (Row must not be asked then).
    bool Open(const struct FTxdImage& Image);
    const uint8_t* Row(int32_t Y) override;

private:
    const uint8_t* Level = nullptr;
    FPixelFormat Format = 0;
    bool bSwap = false;
    bool bOpaque = false;
    int32_t BandRows = 1; // rows decoded at once: 4 for a block format
    std::unique_ptr<uint8_t[]> Pixels;
    std::vector<uint8_t> Decoded; // per band of rows
};

// Rgba, the largest level of Image's size decoded as stored (as ConvertImage gives it), as the game shows it, into
// Picture.
void ShowAsTheGameDoes(const struct FTxdImage& Image, FByteArray&& Rgba, FTexturePicture& Picture);

// For each fact of Pairs (the Entry and Index that a dry run of SrcFilename with Options told), decodes the
// texture's largest level as the archive holds it and as the shrink of Options (its settings and skip rules)
// makes it. Each dictionary is read and reworked once. A texture that cannot be decoded keeps empty pictures.
// False when the archive cannot be read. Blocks; the calling thread only.
bool DecodeTexturePairs(const char16_t* SrcFilename, const FShrinkOptions& Options, TDynArray<FTexturePair>& Pairs);
