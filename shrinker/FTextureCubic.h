// The colour of a resize by the Catmull-Rom cubic: sharper than the box filter's area average, for the smooth
// shrinks, which take their alpha (and a cut-out's coverage) from the box filter (FTextureBoxHalving.h).
//
// One object per resize, used by one thread; nothing is kept between resizes. Nothing blocks.
#pragma once

#include <cstdint>

#include "shrinker/FScratchBytes.h"
#include "shrinker/FTextureBoxHalving.h"

// Fed the source rows in order, overwrites the colour (the first three bytes) of Dest's pixels with the
// Catmull-Rom cubic's: the kernel (Keys' cubic with a = -1/2: 1 at the centre, 0 at every other whole pixel, small
// negative lobes between one and two pixels out) widened by the ratio of the sides, weights rounded to 2.14 fixed
// point that add up to 1 exactly, wrap-around addressing (textures tile), sums in IEEE single precision (the same
// on every build), rounded to nearest and clamped to 0..255. An unchanged side is not filtered.
//
// With Weight ByAlpha the colour is weighted by alpha, as the box filter weighs it. Weights that may be negative
// make that unsteady where the cubic's own alpha is low, next to the edge of a cut-out, where the negative lobes
// hold much of the alpha: a pixel whose alpha by the cubic is below a quarter keeps the colour Dest already holds
// (the box filter's). Opaque pixels get the plain cubic exactly.
//
// A destination row is written when a source row past its last one comes in (when the box filter, fed the same
// row first, has written it too), the last ones and those whose kernel wraps round from the far edge at Finish
// (after the box filter's). Dest and the buffers are the caller's: Taps holds the taps, Sums a few rows of sums.
class FCubicColour
{
public:
    // Sides no larger than the source's (assertion).
    FCubicColour(int32_t Width, int32_t Height, int32_t NewWidth, int32_t NewHeight, uint8_t* Dest,
                 EColourWeight Weight, FScratchBytes& Taps, FScratchBytes& Sums);

    // The next source row's Width pixels.
    void AddRow(const uint8_t* Row);
    // After the last row.
    void Finish();

private:
    struct FTaps
    {
        int32_t First; // the first of the pixel's taps in the index and weight arrays
        int32_t Count; // how many
        int32_t Low;   // the first and last source index the taps reach, before wrapping round
        int32_t High;
    };
    struct FContribution
    {
        int32_t DestRow;
        float Weight;
    };

    void FinishRow(int32_t DestRow);

    const int32_t Width;
    const int32_t NewWidth;
    const int32_t NewHeight;
    uint8_t* const Dest;
    const bool bByAlpha;
    FTaps* ColumnTaps = nullptr;
    int32_t* ColumnIndex = nullptr;
    float* ColumnWeight = nullptr;
    FTaps* RowTaps = nullptr;
    // Per source row, where its contributions to the destination rows start in Contributions (Height + 1 entries).
    int32_t* ContributionStart = nullptr;
    FContribution* Contributions = nullptr;
    // Per destination row: its last source row (-1 when it wraps round: complete at Finish), and its slot of sums.
    int32_t* RowEnd = nullptr;
    int32_t* RowSlot = nullptr;
    // One source row's colour times alpha and alpha, and the slots of the destination rows being summed down, laid
    // out alike (per source column, times the weights). A slot is summed across when its row is complete.
    float* Premultiplied = nullptr;
    float* Slots = nullptr;
    int32_t SourceRow = 0;
    int32_t NextRow = 0; // the next destination row to finish as the rows come in
};
