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
// its entry (Context.Stats.FormatStats and DescriptionStats, and Textures.CannotReachSide). Returns Changed when
// it changed the record (the caller then writes it back), otherwise why the record is untouched. It may change
// Width, Height, MipLevels and MipList, nothing else; the pixel format never changes, so a record never grows.
//
// What a texture becomes follows Context.Settings:
// - The standard shrink: a texture with several levels loses its largest level (an opaque one possibly the next
//   too) while both sides are at least 32; a texture with one level and a height of at least 32 is decoded,
//   resampled to half size on each side of 32 or more (twice for an opaque one) and encoded again.
// - The largest side N: a texture whose larger side is above N is brought down by whole halvings until it is N
//   or less: levels are dropped while smaller ones remain, and the one level left (or the only one) is resampled,
//   DXT5 included. Block-coded sides stay multiples of 4: a texture that cannot reach N so stops at the last size
//   that keeps the rule and is counted in CannotReachSide. Textures at or below N are TooSmall.
// Single levels are resampled smooth when Settings.IsSmooth() (alpha by the box filter, colour by the Catmull-Rom
// cubic), else with the bilinear filter. Every shrink but the standard one that picks makes finer pixels
// (Settings.UsesFinePixels()): colour weighted by alpha, and new blocks from the fine block encoder.
//
// Textures whose entry the skip rules name are Skipped. Textures whose header contradicts its kind, that have no
// level or a zero side, single levels that cannot be decoded, and block-coded results whose sides are not
// multiples of 4 are NotUnderstood; a texture whose level that would become the largest holds fewer bytes than
// its size needs is BrokenLevels; all of them are left as they are.
//
// Called once per texture of every well-formed dictionary, in order, after the texture has been counted in
// Context.Stats.MipLevelStats and Context.ImageName set; never for palette textures (Depth 8). The skip rules
// are asked through Context.MatchSkipRule(). Runs on the thread that processes the entry and touches nothing
// but Context and Image. Throws std::bad_alloc when the pixels do not fit in memory; the record is then not
// to be written.
ETextureOutcome ReencodeImage(FTxdEntryContext& Context, FTxdImage& Image);
