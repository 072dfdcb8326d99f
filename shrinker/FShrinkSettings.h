// FShrinkSettings: what a player chose for one shrink (the standard shrink, a largest side, a quality to keep or a
// size to fit in, smooth or not), as
// the one typed value that travels with the job from the front ends through the engine into the shrinker, and
// its one text form for the engine's job line and the record kept beside the archive.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"

enum class EShrinkMode : int32_t
{
    Standard,    // the fixed shrink: the largest level (or two) dropped, single levels halved once or twice
    LargestSide, // every texture brought down by whole halvings until its larger side is MaxSide or less
    // Every texture brought down by whole halvings as far as what it loses close up stays at or above MinPsnr dB
    // (FTextureLoss.h), never below SHRINK_MinKeptSide on a side.
    KeepQuality,
    // The archive brought down to at most FitBytes (or FitPercent of its size) with the least loss close up: each
    // texture's whole halvings are measured first, then taken in order of least added loss per byte saved, never
    // below SHRINK_MinKeptSide on a side (FFitPlan.h).
    Fit,
};

// Whether single levels are resampled smooth (alpha by the box filter, colour by the Catmull-Rom cubic) or by
// picking: as the mode does by default, or as the player asked.
enum class ESmoothChoice : int32_t
{
    ModeDefault, // smooth in the largest-side mode, picking in the standard shrink
    Smooth,
    NoSmooth,
};

enum : int32_t
{
    SHRINK_MinSide = 16,   // the smallest largest side a player may ask for
    SHRINK_MaxSide = 8192, // and the largest
    SHRINK_MinPsnr = 20,   // the lowest loss in dB a player may ask to keep, and the highest
    SHRINK_MaxPsnr = 60,
    SHRINK_NoVisibleChange = 40, // the loss in dB below which a texture shows no change the player sees
    SHRINK_MinKeptSide = 16,     // the smallest side a texture of the keep-quality and fit modes is brought down to
    SHRINK_MinFitPercent = 1,    // the share of today's size a player may ask to fit in, and the largest
    SHRINK_MaxFitPercent = 99,
};

struct FShrinkSettings
{
    EShrinkMode Mode = EShrinkMode::Standard;
    int32_t MaxSide = 0; // LargestSide: SHRINK_MinSide..SHRINK_MaxSide; 0 in the other modes
    int32_t MinPsnr = 0; // KeepQuality: SHRINK_MinPsnr..SHRINK_MaxPsnr; 0 in the other modes
    // Fit: the size asked, either in bytes (FitBytes above 0) or as a share of the archive's size today
    // (FitPercent, SHRINK_MinFitPercent..SHRINK_MaxFitPercent); both 0 in the other modes, one of them in Fit.
    int64_t FitBytes = 0;
    int32_t FitPercent = 0;
    ESmoothChoice Smooth = ESmoothChoice::ModeDefault;

    // The standard shrink, and the largest-side mode for a valid Side (assertion), with the mode's smoothing.
    static FShrinkSettings Standard();
    static FShrinkSettings LargestSide(int32_t Side);
    // The keep-quality mode for a valid Db (assertion), smooth.
    static FShrinkSettings KeepQuality(int32_t Db);
    // The fit mode for a size in bytes above 0, or for a valid share of today's size (assertions), smooth.
    static FShrinkSettings FitIn(int64_t Bytes);
    static FShrinkSettings FitInPercent(int32_t Percent);
    // The choices a player is shown side by side, in this order: the standard shrink, the standard shrink
    // smooth, and at most 1024, 512, 256 and 128 pixels (smooth, as the mode is by default).
    static TDynArray<FShrinkSettings> Choices();
    // Whether a player may ask for Side as the largest side (for the front ends' usage errors, which name the
    // range SHRINK_MinSide to SHRINK_MaxSide).
    static bool IsValidMaxSide(int64_t Side);
    // Whether a player may ask that every texture keep Db.
    static bool IsValidMinPsnr(int64_t Db);
    static bool IsValidFitPercent(int64_t Percent);
    // The size in bytes the fit mode brings an archive (or archives) of Bytes today down to: FitBytes, or
    // FitPercent of Bytes rounded down. 0 in the other modes.
    int64_t FitTarget(int64_t Bytes) const;

    // Whether single levels are resampled smooth, after the mode's default.
    bool IsSmooth() const;
    // Whether resampled levels get the finer pixels: colour averaged weighted by alpha, so that clear pixels do
    // not bleed into a cut-out's edge, and new blocks from the finer block encoder. Every shrink but the standard
    // one that picks, which keeps the pixels it has always made, byte for byte.
    bool UsesFinePixels() const;
    // Whether both settings make the same archive from the same source and rules: the same mode, side and
    // smoothing, however the smoothing was arrived at.
    bool MakesSameArchive(const FShrinkSettings& Other) const;
    // The same value exactly, the smoothing's origin included.
    bool operator==(const FShrinkSettings& Other) const;
    bool operator!=(const FShrinkSettings& Other) const { return !(*this == Other); }

    // The text form, read back by FromText only: the mode ("standard", "max-side:N", "keep-quality:DB",
    // "fit:BYTES" or "fit:PERCENT%"), then "smooth" or "no-smooth" when the player asked: "standard", "standard
    // smooth", "max-side:512", "max-side:512 no-smooth", "keep-quality:40", "fit:629145600", "fit:55%".
    FString ToText() const;
    // Reads a text that ToText wrote into Out; false, with Out untouched, for any other text (an unknown mode
    // or word, a side out of range, extra blanks).
    static bool FromText(const FString& Text, FShrinkSettings& Out);
    // For people, after the mode's default: "the standard shrink", "the standard shrink, smooth", "at most 512
    // pixels, smooth", "at most 512 pixels, not smooth", "no visible change (40 dB), smooth", "every texture at
    // least 30 dB, smooth", "fit in 600 MB, smooth", "fit in 55% of today's size, smooth".
    FString Describe() const;
};

// What a shrink makes and how it goes about it: the player's choice, the skip rules and the threads. The options
// of a shrink, of an engine job, of a preview and of the command line each hold it as their base, and hand it on
// whole (Choice() = Other.Choice()), so that none of the three is ever left behind on the way.
struct FShrinkChoice
{
    FShrinkSettings Settings; // what the player chose; the standard shrink by default
    FString SkipRulesFile;    // empty: SkipRules.ini beside the program (config cache)
    int32_t Jobs = 0;         // texture dictionaries processed at once: 1 runs a shrink on the calling thread; 0 as
                              // many as the machine runs at once (at most SHRINK_MaxJobs either way)

    FShrinkChoice& Choice() { return *this; }
    const FShrinkChoice& Choice() const { return *this; }
};
