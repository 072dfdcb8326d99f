// The archive shrinker's driver: plan (open, read and check the directory), process and write each entry in
// directory order, finish (directory rewrite, report).
#include "shrinker/FImgShrinker.h"

#include <new>
#include <utility>

#include "Core/Inc/CoreAssert.h"
#include "Core/Inc/CoreFileRaw.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"
#include "shrinker/FReencodePolicy.h"
#include "shrinker/FRwChunk.h"
#include "shrinker/FSkipRules.h"

std::atomic<int32_t>* GShrinkCancelFlag = nullptr;
std::atomic<int32_t>* GShrinkProgress = nullptr;

namespace
{
// Entries up to this size are read and processed whole. Larger ones (far beyond any real texture dictionary)
// are copied unchanged in pieces, so the entry buffer never grows past it whatever a directory claims.
const int64_t MaxWholeEntry = int64_t(256) << 20;
// The pieces of such copies, and of the filler; the cancel request is looked at between them.
const int64_t CopyPiece = int64_t(16) << 20;
// The directory is held whole (it is written twice); 8 Mi records are 256 MiB of it, hundreds of times what
// the game's archive needs.
const int32_t MaxEntries = 1 << 23;

const char16_t* const PartSuffix = u".pellmor-part";

double Megabytes(int64_t Bytes)
{
    return double(Bytes) / 1e6;
}

// Removes a file that a failed shrink leaves, truncating it first so that nothing of a partial archive survives
// a delete that does not go through.
void RemoveOutput(const FString& Path)
{
    if (CoreOS::FileGetAttributes(*Path) == CoreOS::FILEATTR_Invalid)
        return;
    appFileClose(appFileOpenWrite(*Path));
    appFileDelete(*Path);
}
} // namespace

// One archive shrink. Made, used and destroyed on the thread that runs the shrink; while an entry is processed
// only its FTxdEntryContext changes, the rest is read.
class FImgShrinker
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
    bool RewriteEntry(FFileHandle fhRead, FImgArchiveWriter& Writer, int32_t Index, int64_t& OutBlocks);
    int32_t ProcessEntry(FFileHandle fhRead, const FImgDirEntry& Entry, const FString* TxdName);
    bool WriteEntry(FImgArchiveWriter& Writer, int32_t Length, int64_t& OutBlocks);
    bool CopyBytes(FFileHandle fhRead, int64_t ReadPos, FImgArchiveWriter& Writer, int64_t Count);
    bool Finish(FImgArchiveWriter& Writer);

    void GrowBuffer(int64_t Count);
    bool IsCancelled();
    void PublishProgress(int32_t Index);
    bool Fail(EShrinkFailure Failure, const FString& Reason);
    bool FailWrite();
    bool FailRead(int64_t Pos);

    FShrinkOptions Options;
    FSkipRules SkipRules;
    FShrinkResult Result;
    // The files read and written (DEST, or its temporary), for the reasons.
    FString Source;
    FString Target;

    FImgHeader Header = {IMG_MagicVer2, 0};
    TDynArray<FImgDirEntry> SrcDir;
    // A copy of the source directory whose places are overwritten as entries are written.
    TDynArray<FImgDirEntry> OutDir;
    // The entry buffer, reused for every entry; it only grows, to exactly what an entry needs.
    FByteArray Buffer;
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
    const FString Src(SrcFilename ? SrcFilename : u"");
    Source = Src;

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
            return Fail(EShrinkFailure::CannotCreateDest, FString::Printf(u"cannot create %s", *Target));
        }
        FImgArchiveWriter Writer(fhWrite);
        const bool bDone = Rewrite(fhRead, Writer);
        Result.OutputBytes = Writer.Size();
        return bDone;
    }
    catch (const std::bad_alloc&)
    {
        Buffer.Empty();
        SrcDir.Empty();
        OutDir.Empty();
        return Fail(EShrinkFailure::OutOfMemory, FString::Printf(u"not enough memory to shrink %s", *Src));
    }
}

// Replaces DEST by the finished temporary. DEST is deleted first (a rename does not replace a file), so only
// the moment between the two leaves neither; before it an existing DEST is as it was.
bool FImgShrinker::PutInPlace(const FString& Part, const FString& Dest)
{
    const bool bDestExists = CoreOS::FileGetAttributes(*Dest) != CoreOS::FILEATTR_Invalid;
    if ((!bDestExists || CoreOS::FileDelete(*Dest)) && CoreOS::FileMove(*Part, *Dest))
        return true;
    return Fail(EShrinkFailure::WriteFailed, FString::Printf(u"cannot put %s in place of %s", *Part, *Dest));
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
    Header.NumEntries = uint32_t(Check.NumEntries);
    if (!ReadImgDirectory(fhRead, Check.NumEntries, SrcDir))
        return Fail(EShrinkFailure::CannotReadSource, FString::Printf(u"cannot read %s", *Src));
    OutDir = SrcDir;
    SkipRules.Load(*Options.SkipRulesFile);
    return true;
}

// ---- Rewrite ----------------------------------------------------------------------------------------------------

bool FImgShrinker::Rewrite(FFileHandle fhRead, FImgArchiveWriter& Writer)
{
    // The directory goes out twice: now as a placeholder, so that the entries can be streamed in order, and at
    // the end with their new places.
    const int32_t NumEntries = SrcDir.Num();
    if (!Writer.WriteDirectory(Header, OutDir))
        return FailWrite();
    if (NumEntries == 0)
        return Finish(Writer);
    const int64_t DirEnd = Writer.Position();
    if (!CopyBytes(fhRead, DirEnd, Writer, SrcDir[0].DataOffset() - DirEnd))
        return false;

    int64_t ReadBlock = SrcDir[0].BlockOffset;
    int64_t WriteBlock = ReadBlock;
    for (int32_t i = 0; i < NumEntries; ++i)
    {
        if (IsCancelled())
            return false;
        const FImgDirEntry& Entry = SrcDir[i];
        if (Entry.BlockOffset != ReadBlock)
        {
            EngineTrace(u"Block gap: %d", int32_t(int64_t(Entry.BlockOffset) - ReadBlock));
            ReadBlock = Entry.BlockOffset;
        }
        appCheck(Writer.Position() == WriteBlock * IMG_BlockSize);
        if (WriteBlock > UINT32_MAX)
            return Fail(EShrinkFailure::TooLarge,
                        FString::Printf(u"%s would grow past what an IMG archive can address", *Target));

        int64_t NewBlocks = 0;
        if (!RewriteEntry(fhRead, Writer, i, NewBlocks))
            return false;
        OutDir[i].BlockOffset = uint32_t(WriteBlock);
        OutDir[i].BlockCount = uint32_t(NewBlocks);
        ReadBlock += Entry.BlockCount;
        WriteBlock += NewBlocks;
        PublishProgress(i);
    }
    return Finish(Writer);
}

// One entry: read, processed and written whole, or copied in pieces when it is too large to hold.
bool FImgShrinker::RewriteEntry(FFileHandle fhRead, FImgArchiveWriter& Writer, int32_t Index, int64_t& OutBlocks)
{
    const FImgDirEntry& Entry = SrcDir[Index];
    FString TxdName;
    const bool bTxd = GetImgTxdName(Entry, TxdName);
    if (Entry.DataBytes() > MaxWholeEntry)
    {
        if (bTxd)
        {
            EngineTrace(u"Copying %s.txd unchanged: too large", *TxdName);
            ++Result.Stats.Textures.MalformedEntries;
        }
        OutBlocks = Entry.BlockCount;
        return CopyBytes(fhRead, Entry.DataOffset(), Writer, Entry.DataBytes());
    }
    const int32_t NewLength = ProcessEntry(fhRead, Entry, bTxd ? &TxdName : nullptr);
    return NewLength >= 0 && WriteEntry(Writer, NewLength, OutBlocks);
}

// Reads the entry into the buffer and hands a texture dictionary to its stage; returns the entry's new length,
// or -1 when the source could not be read. The statistics of a well-formed dictionary join the archive's here,
// in entry order.
int32_t FImgShrinker::ProcessEntry(FFileHandle fhRead, const FImgDirEntry& Entry, const FString* TxdName)
{
    const int32_t Length = int32_t(Entry.DataBytes());
    GrowBuffer(Length);
    if (!ReadImgBytes(fhRead, Entry.DataOffset(), Buffer.GetData(), Length))
    {
        FailRead(Entry.DataOffset());
        return -1;
    }
    if (!TxdName)
        return Length;
    int32_t NewLength = Length;
    FTxdEntryContext Context(SkipRules, Options.Reencode, *TxdName);
    if (ProcessTxdEntry(Context, Buffer.GetData(), NewLength) == TXDENTRY_Malformed)
        ++Result.Stats.Textures.MalformedEntries;
    else
        Result.Stats.Add(Context.Stats);
    return NewLength;
}

// Writes the buffer's first Length bytes as whole blocks: a shrunk dictionary is followed by zeros, an
// unchanged entry goes out exactly as its source blocks, padding included.
bool FImgShrinker::WriteEntry(FImgArchiveWriter& Writer, int32_t Length, int64_t& OutBlocks)
{
    OutBlocks = (int64_t(Length) + IMG_BlockSize - 1) / IMG_BlockSize;
    return Writer.Write(Buffer.GetData(), OutBlocks * IMG_BlockSize) || FailWrite();
}

bool FImgShrinker::CopyBytes(FFileHandle fhRead, int64_t ReadPos, FImgArchiveWriter& Writer, int64_t Count)
{
    for (bool bFirst = true; Count > 0; bFirst = false)
    {
        if (!bFirst && IsCancelled())
            return false;
        const int64_t Piece = Count < CopyPiece ? Count : CopyPiece;
        GrowBuffer(Piece);
        if (!ReadImgBytes(fhRead, ReadPos, Buffer.GetData(), Piece))
            return FailRead(ReadPos);
        if (!Writer.Write(Buffer.GetData(), Piece))
            return FailWrite();
        ReadPos += Piece;
        Count -= Piece;
    }
    return true;
}

bool FImgShrinker::Finish(FImgArchiveWriter& Writer)
{
    return Writer.WriteDirectory(Header, OutDir) || FailWrite();
}

// ---- Helpers ----------------------------------------------------------------------------------------------------

void FImgShrinker::GrowBuffer(int64_t Count)
{
    appCheck(Count <= MaxWholeEntry);
    if (Buffer.Num() < Count)
    {
        Buffer.Reserve(int32_t(Count));
        Buffer.Add(int32_t(Count) - Buffer.Num());
    }
}

bool FImgShrinker::IsCancelled()
{
    if (!Options.Cancel || Options.Cancel->load() == 0)
        return false;
    EngineTrace(u"Breaking...");
    return !Fail(EShrinkFailure::Cancelled, FString(u"the shrink was cancelled"));
}

// Progress after entry i of N is floor(101 * i / N): it reaches 100 only for archives of 101 entries or more.
void FImgShrinker::PublishProgress(int32_t Index)
{
    const int64_t NumEntries = SrcDir.Num();
    const int32_t Percent = int32_t(uint64_t(Index) * 101 / uint64_t(NumEntries));
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
                FString::Printf(u"reading %s failed near byte %lld (is the disk or the file damaged?)", *Source,
                                (long long)Pos));
}

// ---- Entry points -----------------------------------------------------------------------------------------------

FShrinkResult ShrinkImgFile(const char16_t* DestFilename, const char16_t* SrcFilename, const FShrinkOptions& Options)
{
    FImgShrinker Shrinker(Options);
    return Shrinker.ShrinkFile(DestFilename, SrcFilename);
}

bool ShrinkImgFile(const char16_t* DestFilename, const char16_t* SrcFilename)
{
    return ShrinkImgFile(DestFilename, SrcFilename, FShrinkOptions()).bOk;
}
