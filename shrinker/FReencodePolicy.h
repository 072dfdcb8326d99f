// The re-encoding policy: whether and how one texture of a texture dictionary is made smaller.
#pragma once

#include "shrinker/FImgShrinker.h"
#include "shrinker/FTxdImage.h"

// Decides for one parsed texture whether it becomes smaller, makes it so, and counts it in the statistics of
// its entry (Context.Stats.FormatStats and DescriptionStats). Returns true when it changed the record (the
// caller then writes it back), false when the record is untouched. It may change Width, Height, MipLevels and
// MipList, nothing else.
//
// Called once per texture of every well-formed dictionary, in order, after the texture has been counted in
// Context.Stats.MipLevelStats and Context.ImageName set; never for palette textures (Depth 8). The skip rules
// are asked through Context.MatchSkipRule(). Runs on the thread that processes the entry and touches nothing
// but Context and Image.
bool ReencodeImage(FTxdEntryContext& Context, FTxdImage& Image);
