// What an archive shrink counts, and what one texture dictionary entry works with while it is processed: the
// statistics (the traced report's maps and the typed texture facts), the entry context and the type of the
// re-encoding step.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateMap.h"
#include "Core/Inc/CoreTemplateString.h"
#include "shrinker/FEntryTrace.h"
#include "shrinker/FFitPlan.h"
#include "shrinker/FScratchBytes.h"
#include "shrinker/FShrinkSettings.h"
#include "shrinker/FSkipRules.h"
#include "shrinker/FTextureLoss.h"

class FTxdEntryContext;
struct FTxdImage;

// What became of one texture of a well-formed dictionary.
enum class ETextureOutcome : int32_t
{
    Changed,          // made smaller
    Skipped,          // left by the skip rules
    TooSmall,         // no side big enough (the largest-side mode: no side above the one asked)
    Palette,          // a palette texture, kept
    NotUnderstood,    // no kind, a header that contradicts its kind, or levels that cannot be decoded or encoded
    BrokenLevels,     // the level that would become the largest holds fewer bytes than its size needs, kept
    TooLargeToDecode, // re-encoding it needed more memory than there is, kept
};

// One texture as a shrink found it, and what became of it. The sizes and levels "after" are those "before" when
// the texture stays as it is.
struct FTextureFact
{
    int32_t Entry = 0; // the dictionary's place in the archive's directory
    int32_t Index = 0; // the texture's place in its dictionary, from 0
    FString TxdName;   // the dictionary's name without ".txd"
    FString Name;      // the texture's own name
    uint32_t Kind = 0; // as GetTextureKind gives it (0: no kind of ours, a palette texture too)
    uint32_t D3DFormat = 0;
    int32_t Depth = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    int32_t MipLevels = 0;
    int32_t NewWidth = 0;
    int32_t NewHeight = 0;
    int32_t NewMipLevels = 0;
    int64_t Bytes = 0;                                  // the texture's record, before
    int64_t NewBytes = 0;                               // and after
    ETextureOutcome Outcome = ETextureOutcome::Changed; // Changed, or why it stays as it is
    // What a changed texture loses (FTextureLoss.h), when the shrink was asked to measure it; else not measured.
    FTextureLoss Loss;
    // The fit mode's measuring pass: the whole halvings the texture may take (none when it stays as it is), and
    // its entry's blocks and dictionary stream as FFitMeasure counts them.
    TDynArray<FTextureStep> Steps;
    int64_t EntryBytes = 0;
    int64_t DictionaryBytes = 0;

    // The format for people: the kind's name ("DXT1a"), else "palette", the four characters of the format
    // ("DXT5") or "format N".
    FString FormatName() const;
};

// What the changed textures of an archive (or of several) lose together, and the ones that lose the most.
struct FLossTally
{
    enum : int32_t
    {
        WorstKept = 10,
    };
    FTextureLoss Changed; // the measured textures' pixels and squared errors, added
    FTextureLoss All;     // the same with the pixels of the textures that stay as they are (which lose nothing)
    int32_t Measured = 0; // textures whose loss was measured
    TDynArray<FTextureFact> Worst; // those of the lowest PSNR, lowest first, at most WorstKept

    // Counts Fact: its loss when it was measured, its largest level's pixels when it stays as it is.
    void Add(const FTextureFact& Fact);
};

struct FTextureSizeCount
{
    int32_t Width;
    int32_t Height;
    int32_t Count;
};

// The textures of an archive, counted by what became of them, by kind and by original size.
struct FTextureFacts
{
    int32_t Total = 0;         // textures in well-formed dictionaries
    int32_t Changed = 0;       // made smaller
    int32_t Skipped = 0;       // left by the skip rules
    int32_t TooSmall = 0;      // no side big enough
    int32_t Palette = 0;       // palette textures, kept
    int32_t NotUnderstood = 0; // no kind / cannot be decoded, kept
    int32_t BrokenLevels = 0;  // a level to be promoted is cut short, kept
    int32_t TooLargeToDecode = 0;
    // Total == Changed + Skipped + TooSmall + Palette + NotUnderstood + BrokenLevels + TooLargeToDecode, always.
    // Beside the outcomes: textures of the largest-side mode that stay above the side asked, because a
    // block-coded side would stop being a multiple of 4 or the last level cannot be decoded. Most are still
    // Changed (as far as they go); the rest are NotUnderstood.
    int32_t CannotReachSide = 0;
    TMap<uint32_t, int32_t> PerKind;    // kind code -> count; 0 for a texture of no kind, so the rows add up to Total
    TDynArray<FTextureSizeCount> Sizes; // by original size, in first-seen order
    int32_t MalformedEntries = 0;       // texture dictionary entries copied unchanged because not well-formed

    // Counts one texture: Kind as GetTextureKind gives it, its size before any change, and its outcome.
    void Count(uint32_t Kind, int32_t Width, int32_t Height, ETextureOutcome Outcome);
    // Adds Other's counts; kinds and sizes new here are appended in Other's order.
    void Add(const FTextureFacts& Other);
    // The textures left as they are for a reason other than the skip rules (too small, palette, not understood,
    // broken levels, too large to decode).
    int32_t KeptAsTheyAre() const;

    // Where each size stands in Sizes: (Width << 16 | Height) -> index. Kept by Count and Add, so that an
    // archive of many distinct sizes is still counted in linear time.
    TMap<uint32_t, int32_t> SizeIndex;
};

// The statistics of the textures seen. The maps' counters only grow and a key keeps the place where it was
// first counted, so iterating gives the keys in first-counted order (the report relies on it).
struct FShrinkStats
{
    TMap<int32_t, int32_t> MipLevelStats;    // images per mip-level count
    TMap<uint32_t, int32_t> FormatStats;     // images per kind code ('DXT1', 'DXa1', 'DXT3', 'RGBX', 'RGBA')
    TMap<FString, int32_t> DescriptionStats; // images per description key
    FTextureFacts Textures;

    // Adds Other's counts, key by key in Other's order. Adding the statistics of entries one after the other,
    // in entry order, gives exactly what counting all of them into one object would have given.
    void Add(const FShrinkStats& Other);

    // The report lines, in the order they are traced: images per mip-level count ("%d images have %d
    // MipLevels"), per kind ("%d images have %s format"), then the description lines (those of "2 " keys before
    // those of "1 " keys, each group descending). Zero counts are left out.
    TDynArray<FString> GetReportLines() const;
};

// The re-encoding step for one texture. It returns Changed when it changed the record (which is then written
// back) and otherwise why the record stays as it is.
typedef ETextureOutcome (*FReencodeImageFunc)(FTxdEntryContext& Context, FTxdImage& Image);

// What one texture dictionary entry works with. The driver makes one per entry and, when the entry was a
// well-formed dictionary, adds its statistics to the archive's in entry order. Everything an entry changes is
// in here (or in the trace and the buffers it was given); the skip rules are only read, so entries may be
// processed on several threads.
class FTxdEntryContext
{
public:
    // SkipRules must outlive the context; Reencode must not be null. InTrace, when given, receives the entry's
    // trace lines (otherwise they are traced at once); InBuffers, when given, are the processing thread's
    // buffers (otherwise the context uses its own). Both must outlive the context.
    FTxdEntryContext(const FSkipRules& InSkipRules, FReencodeImageFunc InReencode, const FString& InTxdName,
                     FEntryTrace* InTrace = nullptr, FShrinkBuffers* InBuffers = nullptr,
                     const FShrinkSettings& InSettings = FShrinkSettings());

    // The skip rules' answer for this entry: 0 no rule, 1 skip, 2 allow. Asked of the rules once per entry.
    int32_t MatchSkipRule() const;

private:
    FEntryTrace OwnTrace;
    FShrinkBuffers OwnBuffers;
    mutable int32_t SkipMatch = -1;

public:
    const FSkipRules& SkipRules;
    // The re-encoding step applied to each texture that is not a palette texture.
    const FReencodeImageFunc Reencode;
    // The entry's name without its extension ("a.b" for "a.b.txd").
    const FString TxdName;
    // What the player chose for the whole shrink.
    const FShrinkSettings Settings;
    // TxdName + "." + the texture's name, for the texture being processed.
    FString ImageName;
    // What this entry adds to the archive's statistics.
    FShrinkStats Stats;
    // With bKeepFacts, one fact per texture of a well-formed dictionary, in its order (Entry is left 0: the
    // driver knows it).
    bool bKeepFacts = false;
    // New records are only sized, not made: a single level to be resampled becomes zeros of the size its
    // encoding would have, after the same checks (FShrinkOptions::bSizesOnly).
    bool bSizesOnly = false;
    // With bKeepFacts too, each changed texture's loss is measured into its fact (FShrinkOptions::bMeasureLoss).
    bool bMeasureLoss = false;
    int64_t LossSampledPixels = 0; // FShrinkOptions::LossSampledPixels
    TDynArray<FTextureFact> Facts;
    // The fit mode's first pass (with bKeepFacts): no texture changes; each one's whole halvings are measured into
    // Steps, which its fact takes.
    bool bMeasureSteps = false;
    TDynArray<FTextureStep> Steps;
    // The fit mode's second pass: what the plan makes of this archive, and the entry's place in it (the texture's
    // place in its dictionary is ImageIndex).
    const FFitArchivePlan* FitPlan = nullptr;
    int32_t Entry = 0;
    int32_t ImageIndex = 0;
    // Where the entry's trace lines go, and the buffers its textures are re-encoded in.
    FEntryTrace& Trace;
    FShrinkBuffers& Buffers;
};
