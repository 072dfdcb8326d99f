// RenderWare chunk trees of texture dictionary entries: reading, layout checks, writing, and the walk over the
// textures.
#include "shrinker/FRwChunk.h"

#include <cstring>
#include <new>
#include <utility>

#include "Core/Inc/CoreAssert.h"
#include "Core/Inc/CoreUtil.h"
#include "shrinker/FMemoryWriter.h"
#include "shrinker/FShrinkStats.h"
#include "shrinker/FTexturePictures.h"
#include "shrinker/FTextureLoss.h"
#include "shrinker/FTxdImage.h"

namespace
{
// A dictionary sits at depth 0 and its images at depth 1; no container is read deeper, which also bounds the
// reader's recursion whatever the bytes say.
const int32_t MaxContainerDepth = 1;

// A dictionary of more chunks than this is not one the game made (a few hundred textures of three chunks each);
// it is taken as malformed, which also bounds the tree whatever the entry's size.
const int32_t MaxChunks = 65536;

struct FReadCursor
{
    const uint8_t* Bytes;
    int64_t NumBytes;
    int64_t Pos;
    int32_t NumChunks;

    int64_t Left() const { return NumBytes - Pos; }
};

// Appends a chunk to List. Lists start with room for two (an image holds exactly its struct and its
// extension) and double, so that a list never holds more than twice the chunks read into it: with at least 12
// bytes of entry behind every chunk, the tree costs a small multiple of the entry whatever the bytes say.
FRwChunk& AddChunk(TDynArray<FRwChunk>& List)
{
    if (List.Num() == List.Max())
        List.Reserve(List.Max() < 2 ? 2 : List.Max() * 2);
    return List[List.Add()];
}

void TraceHeader(const char16_t* Verb, int32_t Depth, const FRwChunkHead& Head)
{
    EngineTrace(u"%s %d Section Header: %s, %d,%d,%d", Verb, Depth, *GetChunkTypeName(Head.Type), int32_t(Head.Size),
                int32_t(int16_t(Head.Version & 0xFFFF)), int32_t(int16_t(Head.Version >> 16)));
}

bool ReadPayload(FReadCursor& Cursor, FRwChunk& Chunk, const char16_t*& Why)
{
    if (Chunk.Head.Size > Cursor.Left())
    {
        Why = u"chunk payload runs past the end of the entry";
        return false;
    }
    // A view: the entry's bytes stay where they are until the tree has been written.
    if (Chunk.Head.Size > 0)
    {
        Chunk.DataBytes.SetView(Cursor.Bytes + Cursor.Pos, int32_t(Chunk.Head.Size));
        Cursor.Pos += Chunk.Head.Size;
    }
    return true;
}

bool ReadChunkList(FReadCursor& Cursor, TDynArray<FRwChunk>& List, int32_t Depth, bool bTraceChunks,
                   const char16_t*& Why)
{
    for (;;)
    {
        if (Cursor.Left() < int64_t(sizeof(FRwChunkHead)))
        {
            Why = u"chunk header cut short";
            return false;
        }
        if (++Cursor.NumChunks > MaxChunks)
        {
            Why = u"more than 65536 chunks";
            return false;
        }
        FRwChunk& Chunk = AddChunk(List);
        std::memcpy(&Chunk.Head, Cursor.Bytes + Cursor.Pos, sizeof(FRwChunkHead));
        Cursor.Pos += sizeof(FRwChunkHead);
        if (bTraceChunks)
            TraceHeader(u"Read", Depth, Chunk.Head);

        switch (Chunk.Head.Type)
        {
            case RWCHUNK_Data:
                if (!ReadPayload(Cursor, Chunk, Why))
                    return false;
                break;
            case RWCHUNK_Extension:
                if (Chunk.Head.Size == 0)
                    return true; // an empty extension ends its level
                if (!ReadPayload(Cursor, Chunk, Why))
                    return false;
                break;
            case RWCHUNK_TxdImage:
            case RWCHUNK_TxdLib:
                if (Depth > MaxContainerDepth)
                {
                    Why = u"containers nested too deeply";
                    return false;
                }
                if (!ReadChunkList(Cursor, Chunk.InnerChunks, Depth + 1, bTraceChunks, Why))
                    return false;
                if (Chunk.Head.Type == RWCHUNK_TxdLib)
                    return true; // the dictionary ends its level
                break;
            default:
                Why = u"unknown chunk type";
                return false;
        }
    }
}

// Size of a chunk's children as they would be stored: the sum of 12 + child Size. 64-bit so that no sum of
// stored sizes can wrap.
uint64_t ChildrenSize(const FRwChunk& Chunk)
{
    uint64_t Sum = 0;
    for (const FRwChunk& Child : Chunk.InnerChunks)
        Sum += sizeof(FRwChunkHead) + uint64_t(Child.Head.Size);
    return Sum;
}

bool IsEmptyExtension(const FRwChunk& Chunk)
{
    return Chunk.Head.Type == RWCHUNK_Extension && Chunk.Head.Size == 0 && Chunk.DataBytes.Num() == 0 &&
           Chunk.InnerChunks.Num() == 0;
}

bool IsPayload(const FRwChunk& Chunk)
{
    return Chunk.Head.Type == RWCHUNK_Data && Chunk.InnerChunks.Num() == 0 &&
           uint64_t(Chunk.DataBytes.Num()) == Chunk.Head.Size;
}

bool IsContainer(const FRwChunk& Chunk, uint32_t Type)
{
    return Chunk.Head.Type == Type && Chunk.DataBytes.Num() == 0 && ChildrenSize(Chunk) == Chunk.Head.Size;
}

// The re-encoding step for one texture. A texture too large to re-encode in the memory there is stays as it is
// and the entry goes on: the step changes nothing that is written before it reports Changed.
ETextureOutcome Reencode(FTxdEntryContext& Context, FTxdImage& Image)
{
    try
    {
        return Context.Reencode(Context, Image);
    }
    catch (const std::bad_alloc&)
    {
        Context.Trace.Logf(u"Keeping %s: not enough memory to decode it", *Context.ImageName);
        return ETextureOutcome::TooLargeToDecode;
    }
}

// One texture of a well-formed dictionary: named, counted, and handed to the re-encoding step unless it is a
// palette texture, which is kept as it is.
ETextureOutcome ProcessImage(FTxdEntryContext& Context, FTxdImage& Image, int32_t Index)
{
    Context.ImageName = Context.TxdName + u"." + Image.GetName();
    Context.ImageIndex = Index;
    int32_t* Count = Context.Stats.MipLevelStats.Find(Image.Header.MipLevels);
    if (Count)
        ++*Count;
    else
        Context.Stats.MipLevelStats.Set(Image.Header.MipLevels, 1);

    // Facts go by the texture as it was found, before any change.
    const uint32_t Kind = GetTextureKind(Image.Header);
    const int32_t Width = Image.Header.Width;
    const int32_t Height = Image.Header.Height;
    const ETextureOutcome Outcome = Image.IsPaletteImage() ? ETextureOutcome::Palette : Reencode(Context, Image);
    Context.Stats.Textures.Count(Kind, Width, Height, Outcome);
    return Outcome;
}

void WriteChunk(FMemoryWriter& Writer, const FRwChunk& Chunk, int32_t Depth, bool bTraceChunks)
{
    if (bTraceChunks)
        TraceHeader(u"Write", Depth, Chunk.Head);
    Writer.Serialize(&Chunk.Head, sizeof(FRwChunkHead));
    appCheck(Chunk.InnerChunks.Num() == 0 || Chunk.DataBytes.Num() == 0);
    for (const FRwChunk& Child : Chunk.InnerChunks)
        WriteChunk(Writer, Child, Depth + 1, bTraceChunks);
    Writer.Serialize(Chunk.DataBytes.GetData(), Chunk.DataBytes.Num());
}

// Writes a stream of known size into a buffer that holds it. The pieces may come from the buffer itself, from
// at or after the write position (a stream rewritten in place).
struct FStreamWriter
{
    uint8_t* Out;
    int64_t Size;
    int64_t Pos;

    uint8_t* Take(int64_t Count)
    {
        appCheck(Count >= 0 && Pos + Count <= Size);
        uint8_t* At = Out + Pos;
        Pos += Count;
        return At;
    }
    void Put(const void* Bytes, int64_t Count)
    {
        if (Count > 0)
            std::memmove(Take(Count), Bytes, size_t(Count));
    }
};

void PutChunk(FStreamWriter& Writer, const FRwChunk& Chunk)
{
    Writer.Put(&Chunk.Head, sizeof(FRwChunkHead));
    appCheck(Chunk.InnerChunks.Num() == 0 || Chunk.DataBytes.Num() == 0);
    for (const FRwChunk& Child : Chunk.InnerChunks)
        PutChunk(Writer, Child);
    Writer.Put(Chunk.DataBytes.GetData(), Chunk.DataBytes.Num());
}

// A checked dictionary in pre-order, as WriteChunks writes it, except that the records of changed images are
// written from their parsed form.
void WriteDictionary(FStreamWriter& Writer, const FRwChunk& Dict, const TDynArray<FTxdImage>& Images,
                     const TDynArray<uint8_t>& Changed)
{
    Writer.Put(&Dict.Head, sizeof(FRwChunkHead));
    for (int32_t i = 0; i < Dict.InnerChunks.Num(); ++i)
    {
        const FRwChunk& Child = Dict.InnerChunks[i];
        const int32_t Image = i - 1;
        if (Image < 0 || Image >= Images.Num() || !Changed[Image])
        {
            PutChunk(Writer, Child);
            continue;
        }
        const FRwChunk& Struct = Child.InnerChunks[0];
        Writer.Put(&Child.Head, sizeof(FRwChunkHead));
        Writer.Put(&Struct.Head, sizeof(FRwChunkHead));
        WriteTxdImage(Images[Image], Writer.Take(Struct.Head.Size));
        PutChunk(Writer, Child.InnerChunks[1]);
    }
}

// Reads an entry's chunk tree, checks its layout and parses every texture record. The records stay views into
// their struct chunks' payloads, which are views into Bytes: nothing is copied. False with Why set when the entry
// is not exactly a texture dictionary.
bool ParseDictionary(const uint8_t* Bytes, int32_t NumBytes, TDynArray<FRwChunk>& Roots, TDynArray<FTxdImage>& Images,
                     const char16_t*& Why)
{
    if (!ReadChunks(Bytes, NumBytes, false, Roots, &Why) || !CheckTxdShape(Roots, &Why))
        return false;
    const FRwChunk& Dict = Roots[0];
    Images.Reserve(Dict.InnerChunks.Num() - 2);
    Images.Add(Dict.InnerChunks.Num() - 2);
    for (int32_t i = 0; i < Images.Num(); ++i)
    {
        const FRwChunk& Struct = Dict.InnerChunks[i + 1].InnerChunks[0];
        if (!ParseTxdImage(Struct.DataBytes.GetData(), Struct.DataBytes.Num(), Images[i], &Why))
            return false;
    }
    return true;
}

// A texture as it was found, before the policy looks at it.
FTextureFact FactBefore(const FTxdEntryContext& Context, const FTxdImage& Image, int32_t Index, int64_t Bytes)
{
    FTextureFact Fact;
    Fact.Index = Index;
    Fact.TxdName = Context.TxdName;
    Fact.Name = Image.GetName();
    Fact.Kind = GetTextureKind(Image.Header);
    Fact.D3DFormat = Image.Header.D3DFormat;
    Fact.Depth = Image.Header.Depth;
    Fact.Width = Image.Header.Width;
    Fact.Height = Image.Header.Height;
    Fact.MipLevels = Image.Header.MipLevels;
    Fact.Bytes = Bytes;
    return Fact;
}

// What became of it: a texture that stays keeps its sizes and bytes.
FTextureFact FactAfter(FTextureFact Fact, const FTxdImage& Image, ETextureOutcome Outcome, int64_t Bytes)
{
    const bool bChanged = Outcome == ETextureOutcome::Changed;
    Fact.Outcome = Outcome;
    Fact.NewWidth = bChanged ? Image.Header.Width : Fact.Width;
    Fact.NewHeight = bChanged ? Image.Header.Height : Fact.Height;
    Fact.NewMipLevels = bChanged ? Image.Header.MipLevels : Fact.MipLevels;
    Fact.NewBytes = bChanged ? Bytes : Fact.Bytes;
    return Fact;
}

// What the change from Before to After loses, both largest levels decoded as the game shows them (of a texture
// above SampledPixels, above 0, only the rows the estimate reads). Not measured when either cannot be decoded, or
// the pictures do not fit in memory (the shrink itself goes on).
FTextureLoss MeasureReduction(const FTxdImage& Before, const FTxdImage& After, int64_t SampledPixels)
{
    try
    {
        if (SampledPixels > 0 && int64_t(Before.Header.Width) * Before.Header.Height > SampledPixels)
        {
            FLevelRows OriginalRows, ReducedRows;
            if (!OriginalRows.Open(Before) || !ReducedRows.Open(After))
                return FTextureLoss();
            return EstimateLoss(OriginalRows, ReducedRows, SampledPixels);
        }
        FTexturePicture Original, Reduced;
        if (!DecodeLargestLevel(Before, Original) || !DecodeLargestLevel(After, Reduced))
            return FTextureLoss();
        return MeasureLoss(Original, Reduced);
    }
    catch (const std::bad_alloc&)
    {
        return FTextureLoss();
    }
}

// Hands each texture to the policy and marks those it changed in Changed. A changed record is not written on its
// own: its struct takes the record's new size, and the record goes straight into the rewritten stream. Whether
// any texture changed.
bool ProcessImages(FTxdEntryContext& Context, FRwChunk& Dict, TDynArray<FTxdImage>& Images, TDynArray<uint8_t>& Changed)
{
    bool bChanged = false;
    for (int32_t i = 0; i < Images.Num(); ++i)
    {
        FRwChunk& Struct = Dict.InnerChunks[i + 1].InnerChunks[0];
        FTextureFact Fact;
        if (Context.bKeepFacts)
            Fact = FactBefore(Context, Images[i], i, Struct.DataBytes.Num());
        // The record as parsed: its levels are views of the payload, which stays as it is until the rewrite.
        const FTxdImage Before = Context.bMeasureLoss ? Images[i] : FTxdImage();
        const ETextureOutcome Outcome = ProcessImage(Context, Images[i], i);
        if (Outcome == ETextureOutcome::Changed)
        {
            bChanged = true;
            Changed[i] = 1;
            appCheck(Struct.Head.Size == uint32_t(Struct.DataBytes.Num()));
            Struct.Head.Size = uint32_t(GetTxdImageBytes(Images[i]));
        }
        if (Context.bKeepFacts)
            Context.Facts.AddItem(FactAfter(Fact, Images[i], Outcome, Struct.Head.Size));
        if (Context.bMeasureLoss && Outcome == ETextureOutcome::Changed)
            Context.Facts.Last().Loss = MeasureReduction(Before, Images[i], Context.LossSampledPixels);
        if (Context.bMeasureSteps)
            Context.Facts.Last().Steps = std::move(Context.Steps);
        Context.Steps.Empty();
    }
    return bChanged;
}

// The fit mode's first pass: what the entry holds as its facts count it, the dictionary's stream as a rewrite
// would write it with no record changed (its containers' sizes made up from what they hold).
void TellEntrySizes(FTxdEntryContext& Context, FRwChunk& Dict, int32_t EntryBytes)
{
    UpdateContainerSizes(Dict);
    const int64_t DictionaryBytes = int64_t(sizeof(FRwChunkHead)) + Dict.Head.Size;
    for (FTextureFact& Fact : Context.Facts)
    {
        Fact.EntryBytes = EntryBytes;
        Fact.DictionaryBytes = DictionaryBytes;
    }
}

// Writes the dictionary over the entry's bytes, zeros after it, and sets NumBytes to the new stream's length.
void RewriteDictionary(FRwChunk& Dict, const TDynArray<FTxdImage>& Images, const TDynArray<uint8_t>& Changed,
                       uint8_t* Bytes, int32_t& NumBytes)
{
    UpdateContainerSizes(Dict);
    const int64_t MaxSize = NumBytes;
    const int64_t ResultSize = int64_t(sizeof(FRwChunkHead)) + Dict.Head.Size;
    appCheck(ResultSize <= MaxSize);
    // The stream is written over itself: every chunk, record and level keeps its place or moves towards the
    // front (nothing grows), and they are written in their order, so nothing still to be read is overwritten.
    FStreamWriter Writer = {Bytes, ResultSize, 0};
    WriteDictionary(Writer, Dict, Images, Changed);
    appCheck(Writer.Pos == ResultSize);
    std::memset(Bytes + ResultSize, 0, size_t(MaxSize - ResultSize));
    NumBytes = int32_t(ResultSize);
}
} // namespace

FString GetChunkTypeName(uint32_t Type)
{
    switch (Type)
    {
        case RWCHUNK_Data:
            return u"rwDATA";
        case RWCHUNK_String:
            return u"rwSTRING";
        case RWCHUNK_Extension:
            return u"rwEXTENTON";
        case RWCHUNK_Texture:
            return u"rwTEXTURE";
        case RWCHUNK_Material:
            return u"rwMATERIAL";
        case RWCHUNK_MaterialList:
            return u"rwMATERIALLIST";
        case RWCHUNK_FrameList:
            return u"rwFRAMELIST";
        case RWCHUNK_Geometry:
            return u"rwGEOMETRY";
        case RWCHUNK_Clump:
            return u"rwCLUMP";
        case RWCHUNK_Atomic:
            return u"rwATOMIC";
        case RWCHUNK_TxdImage:
            return u"rwTXDIMAGE";
        case RWCHUNK_TxdLib:
            return u"rwTXDLIB";
        case RWCHUNK_GeometryList:
            return u"rwGEOMETRYLIST";
        case RWCHUNK_MaterialSplit:
            return u"rwMATERIALSPLIT";
        case RWCHUNK_Frame:
            return u"rwFRAME";
    }
    return FString::Printf(u"%d (0x%8x)", int32_t(Type), Type);
}

bool ReadChunks(const uint8_t* Bytes, int32_t NumBytes, bool bTraceChunks, TDynArray<FRwChunk>& Roots,
                const char16_t** Reason)
{
    appCheck(Roots.Num() == 0);
    FReadCursor Cursor = {Bytes, NumBytes, 0, 0};
    const char16_t* Why = nullptr;
    const bool bRead = ReadChunkList(Cursor, Roots, 0, bTraceChunks, Why);
    if (Reason)
        *Reason = Why;
    return bRead;
}

bool CheckTxdShape(const TDynArray<FRwChunk>& Roots, const char16_t** Reason)
{
    const char16_t* Dummy = nullptr;
    const char16_t*& Why = Reason ? *Reason : Dummy;
    if (Roots.Num() != 1 || Roots[0].Head.Type != RWCHUNK_TxdLib)
    {
        Why = u"not a single texture dictionary";
        return false;
    }
    const FRwChunk& Dict = Roots[0];
    if (!IsContainer(Dict, RWCHUNK_TxdLib))
    {
        Why = u"dictionary size differs from its contents";
        return false;
    }
    const int32_t NumChildren = Dict.InnerChunks.Num();
    if (NumChildren < 2 || !IsPayload(Dict.InnerChunks[0]) || Dict.InnerChunks[0].DataBytes.Num() != 4 ||
        !IsEmptyExtension(Dict.InnerChunks[NumChildren - 1]))
    {
        Why = u"dictionary does not hold a 4-byte struct first and an empty extension last";
        return false;
    }
    for (int32_t i = 1; i < NumChildren - 1; ++i)
    {
        const FRwChunk& Image = Dict.InnerChunks[i];
        if (Image.Head.Type != RWCHUNK_TxdImage)
        {
            Why = u"dictionary holds something other than images between its struct and its extension";
            return false;
        }
        if (!IsContainer(Image, RWCHUNK_TxdImage))
        {
            Why = u"image size differs from its contents";
            return false;
        }
        if (Image.InnerChunks.Num() != 2 || !IsPayload(Image.InnerChunks[0]) ||
            Image.InnerChunks[0].DataBytes.Num() == 0 || !IsEmptyExtension(Image.InnerChunks[1]))
        {
            Why = u"image does not hold exactly a struct with payload and an empty extension";
            return false;
        }
    }
    return true;
}

void UpdateContainerSizes(FRwChunk& Chunk)
{
    if (Chunk.Head.Type != RWCHUNK_TxdLib && Chunk.Head.Type != RWCHUNK_TxdImage)
        return;
    for (FRwChunk& Child : Chunk.InnerChunks)
        UpdateContainerSizes(Child);
    const uint64_t Size = ChildrenSize(Chunk);
    appCheck(Size <= UINT32_MAX);
    Chunk.Head.Size = uint32_t(Size);
}

FByteArray WriteChunks(const TDynArray<FRwChunk>& InChunkStack, bool bTraceChunks)
{
    appCheck(InChunkStack.Num() == 1);
    FMemoryWriter Writer;
    Writer.Reserve(int32_t(sizeof(FRwChunkHead) + InChunkStack[0].Head.Size));
    WriteChunk(Writer, InChunkStack[0], 0, bTraceChunks);
    return Writer.Finish();
}

bool ReadTxdImages(const uint8_t* Bytes, int32_t NumBytes, TDynArray<FRwChunk>& Roots, TDynArray<FTxdImage>& Images,
                   const char16_t** Reason)
{
    const char16_t* Why = nullptr;
    const bool bRead = ParseDictionary(Bytes, NumBytes, Roots, Images, Why);
    if (Reason)
        *Reason = Why;
    return bRead;
}

ETxdEntryResult ProcessTxdEntry(FTxdEntryContext& Context, uint8_t* Bytes, int32_t& NumBytes)
{
    // The whole entry is examined before anything changes or is counted.
    TDynArray<FRwChunk> Roots;
    TDynArray<FTxdImage> Images;
    const char16_t* Why = nullptr;
    if (!ParseDictionary(Bytes, NumBytes, Roots, Images, Why))
    {
        Context.Trace.Logf(u"Copying %s.txd unchanged: %s", *Context.TxdName, Why);
        return TXDENTRY_Malformed;
    }
    TDynArray<uint8_t> Changed(Images.Num());
    if (!ProcessImages(Context, Roots[0], Images, Changed))
    {
        if (Context.bMeasureSteps)
            TellEntrySizes(Context, Roots[0], NumBytes);
        return TXDENTRY_Unchanged;
    }
    RewriteDictionary(Roots[0], Images, Changed, Bytes, NumBytes);
    return TXDENTRY_Changed;
}
