// A loose texture dictionary: a .txd file of its own, as mods drop them and the game's data files name them.
// It is shrunk exactly as the same dictionary is shrunk as an entry of an archive, and written without the
// archive's padding.
#pragma once

#include <cstdint>

#include "shrinker/FImgShrinker.h"

enum : int64_t
{
    // A loose dictionary larger than this is copied as it is: it is held whole while it is shrunk.
    TXDFILE_MaxBytes = int64_t(256) << 20,
};

// Shrinks the loose dictionary SrcFilename into DestFilename with Options (settings, skip rules, dry run,
// OnTexture, loss measures, the fit mode's plan for entry 0; Jobs does not matter: one dictionary is one piece
// of work). The new file holds the dictionary's new stream when a texture changed, else the source's bytes
// exactly: a file that is no texture dictionary, a damaged one and one above TXDFILE_MaxBytes are copied as they
// are and counted as a malformed entry. The fit mode without a plan measures the file alone first and plans it to
// fit in what its settings ask of it. SourceDigest and OutputDigest are appHash64 of the whole files' bytes.
// Writing goes to DEST.pellmor-part, renamed over DEST once complete; on failure nothing is left behind and an
// existing DEST stays as it was. A dry run writes nothing and sets OutputBytes. Blocks; any thread.
FShrinkResult ShrinkTxdFile(const char16_t* DestFilename, const char16_t* SrcFilename, const FShrinkOptions& Options);

// Whether the file at Path starts as a texture dictionary does (its first chunk's type); false when it cannot be
// read.
bool LooksLikeTxdFile(const char16_t* Path);

// ShrinkTxdFile when SrcFilename is a loose dictionary (LooksLikeTxdFile), else ShrinkImgFile: the file as the
// game would load it, shrunk.
FShrinkResult ShrinkGameFile(const char16_t* DestFilename, const char16_t* SrcFilename, const FShrinkOptions& Options);
