// The re-encoding policy: whether and how one texture of a texture dictionary is made smaller.
#pragma once

#include <atomic>
#include <cstdint>

#include "shrinker/FShrinkStats.h"
#include "shrinker/FTxdImage.h"

// Allow one halving step for every texture, and a second one for textures without alpha. The driver turns both
// on at the start of every archive; they are read while entries are processed.
extern std::atomic<int32_t> GHalveTextures;
extern std::atomic<int32_t> GHalveOpaqueTextures;

// Decides for one parsed texture whether it becomes smaller, makes it so, and counts it in the statistics of
// its entry (Context.Stats.FormatStats and DescriptionStats). Returns Changed when it changed the record (the
// caller then writes it back), otherwise why the record is untouched. It may change Width, Height, MipLevels and
// MipList, nothing else; the pixel format never changes, so a record never grows.
//
// A texture with several levels loses its largest level (an opaque one possibly the next too) while both sides
// are at least 32; a texture with one level and a height of at least 32 is decoded, resampled to half size on
// each side of 32 or more (twice for an opaque one) and encoded again. Textures whose entry the skip rules name
// are Skipped; those without a side big enough are TooSmall. Textures whose header contradicts its kind, that
// have no level or a zero side, single-level textures of no known kind, and block-coded results whose sides are
// not multiples of 4 are NotUnderstood, and left as they are.
//
// Called once per texture of every well-formed dictionary, in order, after the texture has been counted in
// Context.Stats.MipLevelStats and Context.ImageName set; never for palette textures (Depth 8). The skip rules
// are asked through Context.MatchSkipRule(). Runs on the thread that processes the entry and touches nothing
// but Context and Image.
ETextureOutcome ReencodeImage(FTxdEntryContext& Context, FTxdImage& Image);
