// The archive shrinker's driver: plan (open, read and check the directory), process and write each entry in
// directory order, finish (directory rewrite, report).
#include "shrinker/FImgShrinker.h"

#include <memory>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "Core/Inc/CoreAssert.h"
#include "Core/Inc/CoreFileRaw.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CorePath.h"
#include "Core/Inc/CoreUtil.h"
#include "shrinker/FReencodePolicy.h"
#include "shrinker/FRwChunk.h"
#include "shrinker/FScratchBytes.h"
#include "shrinker/FShrinkPipeline.h"
#include "shrinker/FSkipRules.h"

std::atomic<int32_t>* GShrinkCancelFlag = nullptr;
std::atomic<int32_t>* GShrinkProgress = nullptr;

namespace
{
// Texture dictionaries up to this size are read and processed whole. Larger ones (far beyond any real texture
// dictionary) are copied unchanged in pieces, as every other entry is, so that no buffer grows past it
// whatever a directory claims.
const int64_t MaxWholeEntry = int64_t(256) << 20;
// The pieces of entries copied unchanged, and of the filler; the cancel request is looked at between them.
const int64_t CopyPiece = int64_t(4) << 20;
// Bytes of entries read and not yet written at most, unless the options say otherwise.
const int64_t DefaultInFlightBytes = int64_t(16) << 20;
// The directory is held whole (it is written twice); 8 Mi records are 256 MiB of it, hundreds of times what
// the game's archive needs.
const int32_t MaxEntries = 1 << 23;

const char16_t* const PartSuffix = u".pellmor-part";

double Megabytes(int64_t Bytes)
{
    return double(Bytes) / 1e6;
}

int64_t Min(int64_t A, int64_t B)
{
    return A < B ? A : B;
}

// Removes a file that a failed shrink leaves, truncating it first so that nothing of a partial archive survives
// a delete that does not go through.
// The system's words for the last failed call, without the final period and line end Windows adds.

void RemoveOutput(const FString& Path)
{
    if (!appPathExists(Path))
        return;
    appFileClose(appFileOpenWrite(*Path));
    appFileDelete(*Path);
}

// The threads that process texture dictionaries: as asked, else as many as the machine runs at once.
int32_t GetWorkerCount(int32_t Jobs)
{
    if (Jobs <= 0)
    {
        const unsigned Hardware = std::thread::hardware_concurrency();
        Jobs = Hardware > 0 ? int32_t(Hardware < unsigned(SHRINK_MaxJobs) ? Hardware : unsigned(SHRINK_MaxJobs)) : 1;
    }
    return Jobs < SHRINK_MaxJobs ? Jobs : SHRINK_MaxJobs;
}
} // namespace

// One archive shrink. Made, used and destroyed on the thread that runs the shrink. While the entries go
// through the pipeline, each stage keeps to its own members: the reader to the Read* ones and the source
// handle, the workers to the piece they process and its Pieces entry (the skip rules and options are only read),
// the writer (the calling thread) to the rest.
class FImgShrinker : private FShrinkStages
{
public:
    explicit FImgShrinker(const FShrinkOptions& InOptions);
    FShrinkResult ShrinkFile(const char16_t* DestFilename, const char16_t* SrcFilename);

private:
    bool RefuseSameFile(const FString& Dest, const FString& Src);
    void ShrinkOpenSource(FFileHandle fhRead, const FString& Dest, const FString& Src);
    bool PlanAndRewrite(FFileHandle fhRead, const FString& Src, FFileHandle& fhWrite);
    bool PutInPlace(const FString& Part, const FString& Dest);

    bool Plan(FFileHandle fhRead, const FString& Src);
    bool Rewrite(FFileHandle fhRead, FImgArchiveWriter& Writer);
    bool CopyFiller(FFileHandle fhRead, FImgArchiveWriter& Writer);
    bool Finish(FImgArchiveWriter& Writer);

    // The stages of the pipeline.
    ENextPiece NextPiece(FShrinkWork& Work) override;
    void ReadPiece(FShrinkWork& Work) override;
    void ProcessPiece(FShrinkWork& Work, FShrinkBuffers& Buffers) override;
    bool WritePiece(FShrinkWork& Work) override;
    bool BeginEntry(const FShrinkWork& Work);

    bool IsCancelRequested() const;
    bool IsCancelled();
    void PublishProgress(int32_t Index);
    bool Fail(EShrinkFailure Failure, const FString& Reason);
    bool FailWrite();
    bool FailOutOfMemory();
    bool FailRead(int64_t Pos);

    // What the stages know of a piece in flight beyond its FShrinkWork, kept by the piece's slot: planned by the
    // reader, filled in by the worker that processes it, added up and cleared by the writer.
    struct FPieceState
    {
        FString TxdName; // the texture dictionary's name without ".txd"; empty for any other entry
        std::unique_ptr<FTxdEntryContext> Context; // what processing made of the dictionary
        bool bMalformed = false;
    };

    FShrinkOptions Options;
    FSkipRules SkipRules;
    FShrinkResult Result;
    // The source and the file being written (DEST, or its temporary), for the reasons.
    FString SrcPath;
    FString Target;

    FImgHeader Header = {IMG_MagicVer2, 0};
    TDynArray<FImgDirEntry> SrcDir;
    // A copy of the source directory whose places are overwritten as entries are written.
    TDynArray<FImgDirEntry> OutDir;
    // The content digests, hashed as the bytes pass: the source's entries by the reader, the output's by the
    // writer, the rest on the calling thread before the pipeline starts or after it has ended.
    FImgDigest SourceDigest;
    FImgDigest OutputDigest;

    // The reader's: the source, the next piece to plan, and why reading stopped early (None: it did not).
    FFileHandle ReadFile = nullptr;
    int32_t ReadIndex = 0;
    int64_t ReadOffset = 0;
    bool bReadWhole = false;
    FString ReadTxdName;
    EShrinkFailure ReadStop = EShrinkFailure::None;

    std::vector<FPieceState> Pieces = std::vector<FPieceState>(SHRINKPIPE_MaxPieces);

    // The writer's: the destination, the block where the next entry would start in the source if entries lay
    // back to back, the block where it goes in the destination, and the blocks of the entry being written.
    FImgArchiveWriter* Writer = nullptr;
    int64_t SourceBlock = 0;
    int64_t DestBlock = 0;
    int64_t EntryBlocks = 0;
};

FImgShrinker::FImgShrinker(const FShrinkOptions& InOptions) : Options(InOptions)
{
    if (!Options.Reencode)
        Options.Reencode = &ReencodeImage;
    if (!Options.Cancel)
        Options.Cancel = GShrinkCancelFlag;
    if (!Options.Progress)
        Options.Progress = GShrinkProgress;
    if (Options.SkipRulesFile.IsEmpty())
        Options.SkipRulesFile = FSkipRules::DefaultFile();
}

FShrinkResult FImgShrinker::ShrinkFile(const char16_t* DestFilename, const char16_t* SrcFilename)
{
    GHalveTextures.store(1);
    GHalveOpaqueTextures.store(1);
    const FString Dest(DestFilename ? DestFilename : u"");
    SrcPath = SrcFilename ? SrcFilename : u"";
    const FString& Src = SrcPath;

    if (Options.bDryRun || !RefuseSameFile(Dest, Src))
    {
        FFileHandle fhRead = appFileOpenRead(*Src);
        if (!fhRead)
        {
            EngineTrace(u"Cant read %s", *Src);
            Fail(EShrinkFailure::CannotReadSource, FString::Printf(u"cannot open %s for reading", *Src));
        }
        else
        {
            ShrinkOpenSource(fhRead, Dest, Src);
            appFileClose(fhRead);
        }
    }

    Result.bOk = Result.Failure == EShrinkFailure::None;
    Result.ReportLines = Result.Stats.GetReportLines();
    for (const FString& Line : Result.ReportLines)
        EngineTrace(u"%s", *Line);
    return std::move(Result);
}

// The source by identity, not by name: another spelling or a hard link of it is refused as well. With
// bReplaceWhenDone the temporary must not be the source either, since it is truncated first.
bool FImgShrinker::RefuseSameFile(const FString& Dest, const FString& Src)
{
    FString Same;
    if (CoreOS::IsSameFile(*Dest, *Src))
        Same = Dest;
    else if (Options.bReplaceWhenDone && CoreOS::IsSameFile(*(Dest + PartSuffix), *Src))
        Same = Dest + PartSuffix;
    else
        return false;
    const FString Reason = FString::Printf(u"%s and %s are the same file", *Same, *Src);
    EngineTrace(u"%s", *Reason);
    return !Fail(EShrinkFailure::SameFile, Reason);
}

// Everything after the source is open: the rewrite, then the destination's end: complete, put in place, or
// removed.
void FImgShrinker::ShrinkOpenSource(FFileHandle fhRead, const FString& Dest, const FString& Src)
{
    EngineTrace(u"Reading %s", *Src);
    Target = Options.bReplaceWhenDone ? Dest + PartSuffix : Dest;
    FFileHandle fhWrite = nullptr;
    bool bDone = PlanAndRewrite(fhRead, Src, fhWrite);
    if (bDone && !Options.bDryRun)
        EngineTrace(u"Writing %s", *Dest);
    if (fhWrite)
    {
        // What the system could not write until the close (or the flush) is a short write as well.
        const bool bFlushed = !bDone || !Options.bReplaceWhenDone || CoreOS::FileFlush(fhWrite);
        const bool bClosed = CoreOS::FileClose(fhWrite);
        if (bDone && (!bFlushed || !bClosed))
            bDone = FailWrite();
    }
    if (bDone && Options.bReplaceWhenDone && !Options.bDryRun)
        bDone = PutInPlace(Target, Dest);
    if (!bDone)
    {
        EngineTrace(u"Error processing %s->%s", *Src, *Dest);
        if (!Options.bDryRun && Result.Failure != EShrinkFailure::CannotCreateDest)
            RemoveOutput(Target);
    }
}

// Plans, creates the destination (none in a dry run) and rewrites. An allocation that fails on the way ends the
// shrink here, with the memory given back first.
bool FImgShrinker::PlanAndRewrite(FFileHandle fhRead, const FString& Src, FFileHandle& fhWrite)
{
    try
    {
        if (!Plan(fhRead, Src))
            return false;
        fhWrite = Options.bDryRun ? nullptr : appFileOpenWrite(*Target);
        if (!Options.bDryRun && !fhWrite)
        {
            EngineTrace(u"Cant create %s", *Target);
            // The temporary's own name means nothing to the user; the file they named does.
            const FString Named = Options.bReplaceWhenDone ? Target.Left(Target.Len() - appStrlen(PartSuffix)) : Target;
            return Fail(EShrinkFailure::CannotCreateDest,
                        FString::Printf(u"cannot create %s: %s", *Named, *LastSystemError()));
        }
        FImgArchiveWriter Writer(fhWrite);
        const bool bDone = Rewrite(fhRead, Writer);
        Result.OutputBytes = Writer.Size();
        return bDone;
    }
    catch (const std::bad_alloc&)
    {
        SrcDir.Empty();
        OutDir.Empty();
        return FailOutOfMemory();
    }
}

// Replaces DEST by the finished temporary in one rename: at every moment DEST is the old file or the new one.
bool FImgShrinker::PutInPlace(const FString& Part, const FString& Dest)
{
    if (CoreOS::FileReplace(*Part, *Dest))
        return true;
    return Fail(EShrinkFailure::WriteFailed,
                FString::Printf(u"cannot put the new archive in place of %s: %s", *Dest, *LastSystemError()));
}

// ---- Plan -------------------------------------------------------------------------------------------------------

bool FImgShrinker::Plan(FFileHandle fhRead, const FString& Src)
{
    const FImgArchiveCheck Check = CheckImgFile(fhRead);
    switch (Check.Result)
    {
        case EImgCheck::Ok:
            break;
        case EImgCheck::Unreadable:
            return Fail(EShrinkFailure::CannotReadSource, FString::Printf(u"cannot read %s", *Src));
        case EImgCheck::NotAnArchive:
            return Fail(EShrinkFailure::NotAnArchive, FString::Printf(u"%s is not an IMG version-2 archive", *Src));
        case EImgCheck::Damaged:
        {
            Result.Damage = Check.Damage;
            const FString Reason =
                Check.Damage.BytesPastEnd > IMG_UnpaddedTail
                    ? FString::Printf(u"%s is damaged: %d entries (%.1f MB) lie past the end of the file", *Src,
                                      Check.Damage.EntriesPastEnd, Megabytes(Check.Damage.BytesPastEnd))
                    : FString::Printf(u"%s is damaged: its entries claim %.1f MB, more than twice the %.1f MB "
                                      u"of the file",
                                      *Src, Megabytes(Check.Damage.BytesClaimed), Megabytes(Check.FileBytes));
            EngineTrace(u"%s", *Reason);
            return Fail(EShrinkFailure::Damaged, Reason);
        }
    }
    if (Check.NumEntries > MaxEntries)
        return Fail(EShrinkFailure::TooLarge, FString::Printf(u"the directory of %s holds %d entries, more than %d",
                                                              *Src, Check.NumEntries, MaxEntries));
    Result.SourceBytes = Check.FileBytes;
    Header.NumEntries = uint32_t(Check.NumEntries);
    if (!ReadImgDirectory(fhRead, Check.NumEntries, SrcDir))
        return Fail(EShrinkFailure::CannotReadSource, FString::Printf(u"cannot read %s", *Src));
    OutDir = SrcDir;
    SourceDigest.Directory.Update(&Header, sizeof(Header));
    SourceDigest.Directory.Update(SrcDir.GetData(), size_t(SrcDir.Num()) * sizeof(FImgDirEntry));
    SkipRules.Load(*Options.SkipRulesFile);
    Result.SkipRulesDigest = SkipRules.Digest();
    return true;
}

// ---- Rewrite ----------------------------------------------------------------------------------------------------

bool FImgShrinker::Rewrite(FFileHandle fhRead, FImgArchiveWriter& InWriter)
{
    // The directory goes out twice: now as a placeholder, so that the entries can be streamed in order, and at
    // the end with their new places.
    if (!InWriter.WriteDirectory(Header, OutDir))
        return FailWrite();
    if (SrcDir.Num() == 0)
        return Finish(InWriter);
    if (!CopyFiller(fhRead, InWriter))
        return false;

    ReadFile = fhRead;
    Writer = &InWriter;
    SourceBlock = DestBlock = SrcDir[0].BlockOffset;
    const int64_t InFlight = Options.InFlightBytes > 0 ? Options.InFlightBytes : DefaultInFlightBytes;
    if (!RunShrinkPipeline(*this, GetWorkerCount(Options.Jobs), InFlight))
        return false;
    // Every piece the reader planned is written; if it stopped early, that is the shrink's end.
    if (ReadStop == EShrinkFailure::Cancelled)
    {
        EngineTrace(u"Breaking...");
        return Fail(EShrinkFailure::Cancelled, FString(u"the shrink was cancelled"));
    }
    if (ReadStop == EShrinkFailure::OutOfMemory)
        return FailOutOfMemory();
    return Finish(InWriter);
}

// The bytes between the directory and the first entry, copied as they are, in pieces.
bool FImgShrinker::CopyFiller(FFileHandle fhRead, FImgArchiveWriter& InWriter)
{
    FScratchBytes Piece;
    int64_t Pos = InWriter.Position();
    for (int64_t Left = SrcDir[0].DataOffset() - Pos; Left > 0;)
    {
        const int64_t Count = Min(Left, CopyPiece);
        if (!ReadImgBytes(fhRead, Pos, Piece.SetNum(Count), Count))
            return FailRead(Pos);
        if (!InWriter.Write(Piece.GetData(), Count))
            return FailWrite();
        SourceDigest.Filler.Update(Piece.GetData(), size_t(Count));
        OutputDigest.Filler.Update(Piece.GetData(), size_t(Count));
        Pos += Count;
        Left -= Count;
        if (Left > 0 && IsCancelled())
            return false;
    }
    return true;
}

bool FImgShrinker::Finish(FImgArchiveWriter& InWriter)
{
    if (!InWriter.WriteDirectory(Header, OutDir))
        return FailWrite();
    OutputDigest.Directory.Update(&Header, sizeof(Header));
    OutputDigest.Directory.Update(OutDir.GetData(), size_t(OutDir.Num()) * sizeof(FImgDirEntry));
    Result.SourceDigest = SourceDigest.Digest();
    Result.OutputDigest = OutputDigest.Digest();
    return true;
}

// ---- The pipeline's stages --------------------------------------------------------------------------------------

// Texture dictionaries up to MaxWholeEntry are one piece each, for a worker; every other entry is copied in
// pieces of at most CopyPiece. The cancel request is looked at before every piece.
FShrinkStages::ENextPiece FImgShrinker::NextPiece(FShrinkWork& Work)
{
    if (ReadIndex >= SrcDir.Num())
        return NEXT_End;
    if (IsCancelRequested())
    {
        ReadStop = EShrinkFailure::Cancelled;
        return NEXT_Stop;
    }
    const FImgDirEntry& Entry = SrcDir[ReadIndex];
    FPieceState& Piece = Pieces[size_t(Work.Slot)];
    try
    {
        Work.bFirstPiece = ReadOffset == 0;
        if (Work.bFirstPiece)
        {
            const bool bTxd = GetImgTxdName(Entry, ReadTxdName);
            bReadWhole = bTxd && Entry.DataBytes() <= MaxWholeEntry;
            if (!bTxd)
                ReadTxdName.Empty();
        }
        Piece.TxdName = ReadTxdName;
    }
    catch (const std::bad_alloc&)
    {
        ReadStop = EShrinkFailure::OutOfMemory;
        return NEXT_Stop;
    }
    Work.Index = ReadIndex;
    Work.Offset = ReadOffset;
    Work.Length = int32_t(bReadWhole ? Entry.DataBytes() : Min(Entry.DataBytes() - ReadOffset, CopyPiece));
    Work.bProcess = bReadWhole;
    Work.bLastPiece = ReadOffset + Work.Length >= Entry.DataBytes();
    Piece.Context.reset();
    Piece.bMalformed = false;
    Work.bReadFailed = false;
    ReadOffset += Work.Length;
    if (Work.bLastPiece)
    {
        ++ReadIndex;
        ReadOffset = 0;
    }
    return NEXT_Piece;
}

// Pieces are read in order, so the source's entries are hashed here, before a worker changes the bytes.
void FImgShrinker::ReadPiece(FShrinkWork& Work)
{
    Work.bReadFailed =
        !ReadImgBytes(ReadFile, SrcDir[Work.Index].DataOffset() + Work.Offset, Work.Bytes, Work.Length, &Work.Trace);
    if (!Work.bReadFailed)
        SourceDigest.Entries.Update(Work.Bytes, size_t(Work.Length));
}

// A texture dictionary, processed in place; its statistics wait in the piece's context for the writer, which
// adds them to the archive's in entry order.
void FImgShrinker::ProcessPiece(FShrinkWork& Work, FShrinkBuffers& Buffers)
{
    // Zeros stand where the source could not be read; the writer stops the shrink there.
    if (Work.bReadFailed)
        return;
    FPieceState& Piece = Pieces[size_t(Work.Slot)];
    Piece.Context.reset(
        new FTxdEntryContext(SkipRules, Options.Reencode, Piece.TxdName, &Work.Trace, &Buffers, Options.Settings));
    Piece.Context->bKeepFacts = bool(Options.OnTexture);
    // The keep-quality mode and the fit mode's first pass measure every depth they try, which takes the pixels.
    const bool bMeasures = Options.Settings.Mode == EShrinkMode::KeepQuality ||
                           (Options.Settings.Mode == EShrinkMode::Fit && !Options.FitPlan);
    Piece.Context->bSizesOnly = Options.bDryRun && Options.bSizesOnly && !bMeasures;
    Piece.Context->bMeasureSteps = Options.Settings.Mode == EShrinkMode::Fit && !Options.FitPlan;
    Piece.Context->FitPlan = Options.FitPlan;
    Piece.Context->Entry = Work.Index;
    Piece.Context->bMeasureLoss = Piece.Context->bKeepFacts && Options.bMeasureLoss && !Piece.Context->bSizesOnly;
    Piece.Context->LossSampledPixels = Options.LossSampledPixels;
    int32_t NewLength = Work.Length;
    Piece.bMalformed = ProcessTxdEntry(*Piece.Context, Work.Bytes, NewLength) == TXDENTRY_Malformed;
    Work.Length = NewLength;
}

// Writes a piece's first Length bytes as whole blocks: a shrunk dictionary is followed by zeros, an unchanged
// piece goes out exactly as its source blocks, padding included. The entry's place in the directory is known
// with its last piece.
bool FImgShrinker::WritePiece(FShrinkWork& Work)
{
    if (Work.bFirstPiece ? !BeginEntry(Work) : IsCancelled())
        return false;
    if (Work.bOutOfMemory)
        return FailOutOfMemory();
    if (Work.bReadFailed)
        return FailRead(SrcDir[Work.Index].DataOffset() + Work.Offset);
    Work.Trace.Flush();
    FPieceState& Piece = Pieces[size_t(Work.Slot)];
    if (Piece.Context)
    {
        if (Piece.bMalformed)
            ++Result.Stats.Textures.MalformedEntries;
        else
            Result.Stats.Add(Piece.Context->Stats);
        for (FTextureFact& Fact : Piece.Context->Facts)
        {
            Fact.Entry = Work.Index;
            Options.OnTexture(Fact);
        }
        Piece.Context.reset();
    }
    const int64_t Blocks = (int64_t(Work.Length) + IMG_BlockSize - 1) / IMG_BlockSize;
    if (!Writer->Write(Work.Bytes, Blocks * IMG_BlockSize))
        return FailWrite();
    OutputDigest.Entries.Update(Work.Bytes, size_t(Blocks * IMG_BlockSize));
    EntryBlocks += Blocks;
    if (!Work.bLastPiece)
        return true;

    const int32_t Index = Work.Index;
    OutDir[Index].BlockOffset = uint32_t(DestBlock);
    OutDir[Index].BlockCount = uint32_t(EntryBlocks);
    SourceBlock += SrcDir[Index].BlockCount;
    DestBlock += EntryBlocks;
    PublishProgress(Index);
    return true;
}

// What comes before an entry's bytes: the cancel check, the hole before it, where it goes.
bool FImgShrinker::BeginEntry(const FShrinkWork& Work)
{
    if (IsCancelled())
        return false;
    const FImgDirEntry& Entry = SrcDir[Work.Index];
    if (Entry.BlockOffset != SourceBlock)
    {
        EngineTrace(u"Block gap: %d", int32_t(int64_t(Entry.BlockOffset) - SourceBlock));
        SourceBlock = Entry.BlockOffset;
    }
    appCheck(Writer->Position() == DestBlock * IMG_BlockSize);
    if (DestBlock > UINT32_MAX)
        return Fail(EShrinkFailure::TooLarge,
                    FString::Printf(u"%s would grow past what an IMG archive can address", *Target));
    const FString& TxdName = Pieces[size_t(Work.Slot)].TxdName;
    if (!Work.bProcess && !TxdName.IsEmpty())
    {
        EngineTrace(u"Copying %s.txd unchanged: too large", *TxdName);
        ++Result.Stats.Textures.MalformedEntries;
    }
    EntryBlocks = 0;
    return true;
}

// ---- Helpers ----------------------------------------------------------------------------------------------------

bool FImgShrinker::IsCancelRequested() const
{
    return Options.Cancel && Options.Cancel->load() != 0;
}

bool FImgShrinker::IsCancelled()
{
    if (!IsCancelRequested())
        return false;
    EngineTrace(u"Breaking...");
    return !Fail(EShrinkFailure::Cancelled, FString(u"the shrink was cancelled"));
}

// Progress after entry i of N is floor(101 * i / N): it reaches 100 only for archives of 101 entries or more.
void FImgShrinker::PublishProgress(int32_t Index)
{
    const int64_t NumEntries = SrcDir.Num();
    const int32_t Percent =
        Options.ProgressBase + int32_t(uint64_t(Index) * uint64_t(Options.ProgressSpan + 1) / uint64_t(NumEntries));
    const int64_t TraceEvery = NumEntries / 20 > 0 ? NumEntries / 20 : 1;
    if (Index % TraceEvery == 0)
        EngineTrace(u"PercentDone: %d", Percent);
    if (Options.Progress)
        Options.Progress->store(Percent);
}

// Records the first failure; always false, so that a step can return Fail(...).
bool FImgShrinker::Fail(EShrinkFailure Failure, const FString& Reason)
{
    if (Result.Failure == EShrinkFailure::None)
    {
        Result.Failure = Failure;
        Result.Reason = Reason;
    }
    return false;
}

bool FImgShrinker::FailWrite()
{
    return Fail(EShrinkFailure::WriteFailed, FString::Printf(u"writing %s came up short (is the disk full?)", *Target));
}

bool FImgShrinker::FailRead(int64_t Pos)
{
    return Fail(EShrinkFailure::ReadFailed,
                FString::Printf(u"reading %s failed near byte %lld (is the disk or the file damaged?)", *SrcPath,
                                (long long)Pos));
}

bool FImgShrinker::FailOutOfMemory()
{
    return Fail(EShrinkFailure::OutOfMemory, FString::Printf(u"not enough memory to shrink %s", *SrcPath));
}

// ---- Entry points -----------------------------------------------------------------------------------------------

FString LastSystemError()
{
    char16_t Text[512] = {};
    CoreOS::SystemErrorMessage(CoreOS::LastError(), Text, 512);
    FString Message = Text;
    while (!Message.IsEmpty() && appStrchr(u".\r\n ", Message[Message.Len() - 1]))
        Message = Message.Left(Message.Len() - 1);
    return Message;
}

FShrinkResult MeasureForFit(const char16_t* SrcFilename, const FShrinkOptions& Options, int32_t Archive,
                            FFitMeasure& Measure)
{
    FShrinkOptions Measuring = Options;
    Measuring.bDryRun = true;
    Measuring.bSizesOnly = false;
    Measuring.bMeasureLoss = false;
    Measuring.FitPlan = nullptr;
    Measuring.OnTexture = [&Measure, Archive](const FTextureFact& Fact) { Measure.Add(Archive, Fact); };
    if (Measure.ArchiveBytes.Num() <= Archive)
        Measure.ArchiveBytes.SetNum(Archive + 1);
    FImgShrinker Shrinker(Measuring);
    FShrinkResult Result = Shrinker.ShrinkFile(u"", SrcFilename);
    Measure.ArchiveBytes[Archive] = Result.OutputBytes;
    return Result;
}

FShrinkResult MeasureTogether(const TDynArray<FString>& Sources, const FShrinkOptions& Options, FFitMeasure& Measure,
                              int64_t& Bytes, int32_t& Failed, const std::function<void(int32_t)>& BeforeEach)
{
    FShrinkResult Last;
    Bytes = 0;
    for (int32_t i = 0; i < Sources.Num(); ++i)
    {
        if (BeforeEach)
            BeforeEach(i);
        Last = MeasureForFit(*Sources[i], Options, i, Measure);
        Failed = i;
        if (!Last.bOk)
            return Last;
        Bytes += Last.SourceBytes;
    }
    Failed = -1;
    return Last;
}

FShrinkResult PlanFitTogether(const TDynArray<FString>& Sources, const FShrinkOptions& Options, FFitPlan& Plan,
                              int32_t& Failed, const std::function<void(int32_t)>& BeforeEach)
{
    FFitMeasure Measure;
    int64_t Bytes = 0;
    const FShrinkResult Measured = MeasureTogether(Sources, Options, Measure, Bytes, Failed, BeforeEach);
    if (Measured.bOk)
        Plan = PlanFit(Measure, Options.Settings.FitTarget(Bytes));
    return Measured;
}

FShrinkResult ShrinkImgFile(const char16_t* DestFilename, const char16_t* SrcFilename, const FShrinkOptions& Options)
{
    if (Options.Settings.Mode != EShrinkMode::Fit || Options.FitPlan)
    {
        FImgShrinker Shrinker(Options);
        return Shrinker.ShrinkFile(DestFilename, SrcFilename);
    }
    // An archive planned alone: the first half of the progress measures it, the second makes what the plan says.
    FShrinkOptions First = Options;
    First.ProgressSpan = Options.ProgressSpan / 2;
    FFitMeasure Measure;
    const FShrinkResult Measured = MeasureForFit(SrcFilename, First, 0, Measure);
    if (!Measured.bOk)
        return Measured;
    const int64_t Target = Options.FitShare > 0 ? Options.FitShare : Options.Settings.FitTarget(Measured.SourceBytes);
    const FFitPlan Plan = PlanFit(Measure, Target);
    FShrinkOptions Second = Options;
    Second.FitPlan = &Plan.Archives[0];
    Second.ProgressBase = Options.ProgressBase + First.ProgressSpan;
    Second.ProgressSpan = Options.ProgressSpan - First.ProgressSpan;
    FImgShrinker Shrinker(Second);
    FShrinkResult Result = Shrinker.ShrinkFile(DestFilename, SrcFilename);
    Result.FitTarget = Target;
    return Result;
}

bool ShrinkImgFile(const char16_t* DestFilename, const char16_t* SrcFilename)
{
    return ShrinkImgFile(DestFilename, SrcFilename, FShrinkOptions()).bOk;
}
