// The fit mode's plan: which textures of an archive (or of several archives together) are brought down, and how
// far, so that the archives come out at most the size asked with the least loss close up. A first pass over the
// archives measures every texture's whole halvings (numbers only, no pixels are kept); PlanFit chooses; a second
// pass makes what the plan says.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "shrinker/FTextureLoss.h"

struct FTextureFact;

// One whole halving of a texture, as measured from the original: the record's size after it and what the player
// loses close up (FTextureLoss::SquaredError: summed over the pixels and the colour channels).
struct FTextureStep
{
    int64_t NewBytes = 0;
    double SquaredError = 0;
    int64_t Pixels = 0; // the original's pixels the loss counts (FTextureLoss::Pixels)
};

// The measures of archives, added one texture fact at a time in the order a shrink tells them.
struct FFitMeasure
{
    struct FTexture
    {
        int32_t Archive = 0;
        int32_t Entry = 0;
        int32_t Index = 0;
        int64_t Bytes = 0;             // the record as it is
        int64_t Pixels = 0;            // its largest level's, as it is
        TDynArray<FTextureStep> Steps; // one halving, two, ... as far as the texture may go
    };
    struct FEntry
    {
        int32_t Archive = 0;
        int32_t Entry = 0;
        int64_t Bytes = 0;           // the entry's blocks in the archive as it is
        int64_t DictionaryBytes = 0; // its dictionary's stream as a rewrite writes it with nothing changed
    };
    TDynArray<int64_t> ArchiveBytes; // each archive as a shrink that changes no texture writes it
    TDynArray<FEntry> Entries;       // the dictionaries that have a texture with steps
    TDynArray<FTexture> Textures;    // the textures that have steps
    int64_t Pixels = 0;              // the largest levels' of every texture counted, as they are

    // Counts Fact of archive Archive (ArchiveBytes must already hold a place for it).
    void Add(int32_t Archive, const FTextureFact& Fact);
};

// What the plan makes of one archive.
struct FFitArchivePlan
{
    struct FChoice
    {
        int32_t Entry = 0;
        int32_t Index = 0;
        int32_t Depth = 0; // whole halvings, 1 or more
    };
    TDynArray<FChoice> Choices; // by entry, then texture; textures that stay are not here
    int64_t PlannedBytes = 0;   // the archive as the plan makes it

    // The halvings the plan gives texture Index of entry Entry (0: it stays as it is).
    int32_t DepthOf(int32_t Entry, int32_t Index) const;
};

struct FFitPlan
{
    TDynArray<FFitArchivePlan> Archives; // in the measure's order
    int64_t TargetBytes = 0;
    int64_t PlannedBytes = 0; // all the archives as the plan makes them
    bool bMet = false;        // PlannedBytes is at most TargetBytes
    double SquaredError = 0;  // what the plan loses, added over its textures
};

// Chooses the halvings that bring the archives of Measure down to at most TargetBytes together with the least
// loss: each texture's halvings are reduced to the lower convex hull of its loss against the bytes it saves, and
// the hull's steps of all textures are taken in order of least added loss per byte saved (ties in archive, entry
// and texture order) until the archives fit. An archive's size counts its entries in whole blocks, as a shrink
// writes them. When every step does not reach TargetBytes, every step is taken and bMet is false.
FFitPlan PlanFit(const FFitMeasure& Measure, int64_t TargetBytes);

// One size the fit can reach and the least loss there, over every texture (those that stay as they are lose
// nothing), as FLossTally::All counts it.
struct FFitCurvePoint
{
    int64_t Bytes = 0;
    FTextureLoss Loss;
};

// The trade the fit chooses from: the archives of Measure together, from no change to every step taken, the
// steps in PlanFit's order. At most MostPoints points (2 or more), spread evenly over the sizes, the first and the
// last among them; the sizes fall and the loss rises from one to the next.
TDynArray<FFitCurvePoint> TraceFitCurve(const FFitMeasure& Measure, int32_t MostPoints);
