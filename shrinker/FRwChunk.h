// RenderWare chunk trees: reading a texture dictionary entry into chunks, checking that it has exactly the
// layout of a texture dictionary, writing it back, and the walk that hands each texture to the re-encoding
// policy.
//
// Everything here works on the caller's data only (the walk also on its entry context): different entries may
// be processed on different threads at once. Nothing blocks.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"
#include "shrinker/FHeldBytes.h"

class FTxdEntryContext;
struct FTxdImage;

// The chunk types a texture dictionary is built from, and the other well-known ids (named in traces only).
enum ERwChunkType : uint32_t
{
    RWCHUNK_Data = 0x1,
    RWCHUNK_String = 0x2,
    RWCHUNK_Extension = 0x3,
    RWCHUNK_Texture = 0x6,
    RWCHUNK_Material = 0x7,
    RWCHUNK_MaterialList = 0x8,
    RWCHUNK_FrameList = 0xE,
    RWCHUNK_Geometry = 0xF,
    RWCHUNK_Clump = 0x10,
    RWCHUNK_Atomic = 0x14,
    RWCHUNK_TxdImage = 0x15,
    RWCHUNK_TxdLib = 0x16,
    RWCHUNK_GeometryList = 0x1A,
    RWCHUNK_MaterialSplit = 0x50E,
    RWCHUNK_Frame = 0x253F2FE,
};

// The 12-byte chunk header as stored (little-endian). Size counts the bytes after the header that belong to
// the chunk: its payload, or the sum over its children of 12 + child Size. Version is never interpreted.
struct FRwChunkHead
{
    uint32_t Type;
    uint32_t Size;
    uint32_t Version;
};
static_assert(sizeof(FRwChunkHead) == 12, "FRwChunkHead is the stored header");

// One chunk in memory. It has children or payload, never both, and owns its whole subtree. A payload read from
// bytes is a view into them; one set afterwards is owned.
struct FRwChunk
{
    FRwChunkHead Head = {0, 0, 0};
    TDynArray<FRwChunk> InnerChunks;
    FHeldBytes DataBytes;
};

// "rwDATA", "rwTXDIMAGE", ... for the known ids; "%d (0x%8x)" with the id twice for any other.
FString GetChunkTypeName(uint32_t Type);

// Reads the chunk list that starts at Bytes[0] into Roots (which must be empty). A level ends at an empty
// extension chunk; the top level ends right after a dictionary chunk, so the padding after a dictionary is
// never looked at. Nothing is read past NumBytes. Payloads are views into Bytes, which must outlive Roots and
// stay unchanged while the tree is used.
//
// Returns false, with a short description in *Reason when asked, when the bytes cannot be a texture
// dictionary's chunk list: a header cut short, an unknown chunk type, a payload running past the end,
// containers nested deeper than a dictionary's images, or more than 65536 chunks. Roots then holds what was read
// so far. Every list holds at most twice the chunks read into it; payloads hold nothing of their own.
// bTraceChunks traces "Read %d Section Header: %s, %d,%d,%d" per header.
bool ReadChunks(const uint8_t* Bytes, int32_t NumBytes, bool bTraceChunks, TDynArray<FRwChunk>& Roots,
                const char16_t** Reason = nullptr);

// Whether Roots is exactly one texture dictionary: an rwTXDLIB holding a 4-byte rwDATA, any number of
// rwTXDIMAGE and an empty rwEXTENTON, in that order; each image holding an rwDATA with payload and an empty
// rwEXTENTON; every container's Size equal to the sum over its children of 12 + child Size and every payload's
// Size equal to its byte count. False with a short description in *Reason when asked.
bool CheckTxdShape(const TDynArray<FRwChunk>& Roots, const char16_t** Reason = nullptr);

// Sets the Size of every dictionary and image chunk in the tree to the sum over its children of 12 + child
// Size, children first. Payload chunks keep the Size they have.
void UpdateContainerSizes(FRwChunk& Chunk);

// Writes the one top-level chunk of InChunkStack in pre-order, headers exactly as stored (sizes are not
// recomputed here). A tree read and not changed is written back byte for byte.
// bTraceChunks traces "Write %d Section Header: %s, %d,%d,%d" per header.
FByteArray WriteChunks(const TDynArray<FRwChunk>& InChunkStack, bool bTraceChunks);

enum ETxdEntryResult
{
    TXDENTRY_Unchanged, // a texture dictionary none of whose textures changed: the bytes are untouched
    TXDENTRY_Changed,   // the bytes hold a new, shorter or equal stream followed by zeros
    TXDENTRY_Malformed, // not exactly a texture dictionary: the bytes are untouched and nothing was counted
};

// The texture dictionary stage of one archive entry: Bytes holds NumBytes bytes (the entry's whole blocks).
//
// The entry is examined whole before anything changes: chunk tree (at most 65536 chunks), layout and sizes
// (CheckTxdShape), and every texture record. If any of that fails the entry is left as it is, Context gains
// nothing, and the result is TXDENTRY_Malformed (traced with the reason). Otherwise each texture, in order, sets
// Context.ImageName, is counted in Context.Stats.MipLevelStats and, unless it is a palette texture, goes to
// Context.Reencode; its outcome is counted in Context.Stats.Textures. When any texture changed, the tree is
// written back: Bytes then holds the new stream of NumBytes bytes (no more than before) followed by zeros up to
// the old length. Parsing costs a small multiple of NumBytes in memory. With Context.bKeepFacts each texture also
// adds its fact to Context.Facts, in order.
ETxdEntryResult ProcessTxdEntry(FTxdEntryContext& Context, uint8_t* Bytes, int32_t& NumBytes);

// The textures of a texture dictionary entry, parsed as ProcessTxdEntry parses them: Roots gets the chunk tree,
// Images one record per texture in order, views into Bytes (which must outlive both and stay unchanged). False,
// with a short description in *Reason when asked, for an entry that ProcessTxdEntry would copy as it is.
bool ReadTxdImages(const uint8_t* Bytes, int32_t NumBytes, TDynArray<FRwChunk>& Roots, TDynArray<FTxdImage>& Images,
                   const char16_t** Reason = nullptr);
