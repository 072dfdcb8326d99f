// A loose texture dictionary shrunk as an archive's entry is: read whole, the entry's stage over its bytes, the
// new stream (or the bytes as they were) written beside the destination and renamed over it.
#include "shrinker/FTxdFileShrinker.h"

#include <new>

#include "Core/Inc/CoreFileRaw.h"
#include "Core/Inc/CoreHash.h"
#include "Core/Inc/CorePath.h"
#include "Core/Inc/CoreUtil.h"
#include "shrinker/FFitPlan.h"
#include "shrinker/FReencodePolicy.h"
#include "shrinker/FRwChunk.h"
#include "shrinker/FShrinkStats.h"
#include "shrinker/FSkipRules.h"

namespace
{
const char16_t* const PartSuffix = u".pellmor-part";

// The dictionary's name as the skip rules and the facts know it: the file's name without ".txd".
FString TxdNameOf(const FString& Path)
{
    FString Name = appPathFileName(Path);
    if (Name.Len() > 4 && appStricmp(*Name.Mid(Name.Len() - 4), u".txd") == 0)
        Name = Name.Left(Name.Len() - 4);
    return Name;
}

// Reads the whole file at Path into Bytes, Size its size. False with the reason; Bytes stays empty for a file
// above Most bytes, which is copied rather than shrunk.
bool ReadWhole(const FString& Path, int64_t Most, FByteArray& Bytes, int64_t& Size, FString& Why)
{
    FFileHandle File = appFileOpenRead(*Path);
    if (!File)
    {
        Why = FString::Printf(u"cannot open %s for reading: %s", *Path, *LastSystemError());
        return false;
    }
    Size = CoreOS::FileGetSize(File);
    bool bOk = Size >= 0;
    if (bOk && Size <= Most)
    {
        Bytes.SetNum(int32_t(Size));
        bOk = Size == 0 || appFileRead(File, Bytes.GetData(), uint32_t(Size)) == uint32_t(Size);
    }
    appFileClose(File);
    if (!bOk)
        Why = FString::Printf(u"cannot read %s: %s", *Path, *LastSystemError());
    return bOk;
}

// Copies the file at Src to Target a piece at a time: the loose file too large to hold whole.
bool CopyFile(const FString& Src, const FString& Target, uint64_t& Digest, int64_t& Bytes)
{
    FFileHandle In = appFileOpenRead(*Src);
    FFileHandle Out = In ? appFileOpenWrite(*Target) : nullptr;
    bool bOk = In && Out;
    FHash64 Hash;
    FByteArray Piece;
    Piece.SetNum(4 << 20);
    Bytes = 0;
    while (bOk)
    {
        const uint32_t Read = appFileRead(In, Piece.GetData(), uint32_t(Piece.Num()));
        if (Read == 0)
            break;
        Hash.Update(Piece.GetData(), Read);
        bOk = appFileWrite(Out, Piece.GetData(), Read) == Read;
        Bytes += Read;
    }
    Digest = Hash.Digest();
    appFileClose(In);
    const bool bFlushed = !Out || CoreOS::FileFlush(Out);
    const bool bClosed = !Out || CoreOS::FileClose(Out);
    return bOk && bFlushed && bClosed;
}

class FTxdFileShrinker
{
public:
    explicit FTxdFileShrinker(const FShrinkOptions& InOptions);
    FShrinkResult Shrink(const FString& Dest, const FString& Src);

private:
    // The entry's stage over Bytes with Plan (the fit mode's second pass) or measuring (its first); what came of
    // it. Facts go to Measure when given, else to OnTexture.
    ETxdEntryResult Process(FByteArray& Bytes, int32_t& Length, const FFitArchivePlan* Plan, FFitMeasure* Measure);
    bool Write(const FString& Dest, const uint8_t* Bytes, int64_t Length);
    bool Fail(EShrinkFailure Failure, const FString& Reason);

    FShrinkOptions Options;
    FSkipRules SkipRules;
    FString TxdName;
    FShrinkResult Result;
};

FTxdFileShrinker::FTxdFileShrinker(const FShrinkOptions& InOptions) : Options(InOptions)
{
    if (!Options.Reencode)
        Options.Reencode = &ReencodeImage;
    if (Options.SkipRulesFile.IsEmpty())
        Options.SkipRulesFile = FSkipRules::DefaultFile();
}

bool FTxdFileShrinker::Fail(EShrinkFailure Failure, const FString& Reason)
{
    Result.Failure = Failure;
    Result.Reason = Reason;
    EngineTrace(u"%s", *Reason);
    return false;
}

ETxdEntryResult FTxdFileShrinker::Process(FByteArray& Bytes, int32_t& Length, const FFitArchivePlan* Plan,
                                          FFitMeasure* Measure)
{
    FTxdEntryContext Context(SkipRules, Options.Reencode, TxdName, nullptr, nullptr, Options.Settings);
    Context.bKeepFacts = Measure || Options.OnTexture;
    const bool bMeasureSteps = Measure != nullptr;
    const bool bMeasures = Options.Settings.Mode == EShrinkMode::KeepQuality || bMeasureSteps;
    Context.bSizesOnly = Options.bDryRun && Options.bSizesOnly && !bMeasures;
    Context.bMeasureSteps = bMeasureSteps;
    Context.FitPlan = Plan;
    Context.bMeasureLoss = Context.bKeepFacts && Options.bMeasureLoss && !Context.bSizesOnly && !bMeasureSteps;
    Context.LossSampledPixels = Options.LossSampledPixels;
    const ETxdEntryResult Processed = ProcessTxdEntry(Context, Bytes.GetData(), Length);
    if (Processed == TXDENTRY_Malformed)
        ++Result.Stats.Textures.MalformedEntries;
    else if (!Measure)
        Result.Stats.Add(Context.Stats);
    for (const FTextureFact& Fact : Context.Facts)
        if (Measure)
            Measure->Add(0, Fact);
        else if (Options.OnTexture)
            Options.OnTexture(Fact);
    return Processed;
}

bool FTxdFileShrinker::Write(const FString& Dest, const uint8_t* Bytes, int64_t Length)
{
    const FString Part = Dest + PartSuffix;
    FFileHandle Out = appFileOpenWrite(*Part);
    if (!Out)
        return Fail(EShrinkFailure::CannotCreateDest,
                    FString::Printf(u"cannot create %s: %s", *Part, *LastSystemError()));
    const bool bWritten = Length == 0 || appFileWrite(Out, Bytes, uint32_t(Length)) == uint32_t(Length);
    const bool bFlushed = CoreOS::FileFlush(Out);
    const bool bClosed = CoreOS::FileClose(Out);
    if (!bWritten || !bFlushed || !bClosed)
    {
        Fail(EShrinkFailure::WriteFailed, FString::Printf(u"cannot write %s: %s", *Part, *LastSystemError()));
        appFileDelete(*Part);
        return false;
    }
    if (CoreOS::FileReplace(*Part, *Dest))
        return true;
    Fail(EShrinkFailure::WriteFailed,
         FString::Printf(u"cannot put the new dictionary in place of %s: %s", *Dest, *LastSystemError()));
    appFileDelete(*Part);
    return false;
}

FShrinkResult FTxdFileShrinker::Shrink(const FString& Dest, const FString& Src)
{
    GHalveTextures.store(1);
    GHalveOpaqueTextures.store(1);
    TxdName = TxdNameOf(Src);
    SkipRules.Load(*Options.SkipRulesFile);
    Result.SkipRulesDigest = SkipRules.Digest();
    EngineTrace(u"Reading %s", *Src);
    if (!Options.bDryRun && (CoreOS::IsSameFile(*Dest, *Src) || CoreOS::IsSameFile(*(Dest + PartSuffix), *Src)))
    {
        Fail(EShrinkFailure::SameFile, FString::Printf(u"%s is the source itself; name another file", *Dest));
        return std::move(Result);
    }
    FByteArray Bytes;
    FString Why;
    try
    {
        if (!ReadWhole(Src, TXDFILE_MaxBytes, Bytes, Result.SourceBytes, Why))
        {
            Fail(EShrinkFailure::CannotReadSource, Why);
            return std::move(Result);
        }
        if (Result.SourceBytes > TXDFILE_MaxBytes)
        {
            // Held whole it would not fit the pipeline's bounds: copied piece by piece, as a damaged one is.
            EngineTrace(u"Copying %s unchanged: larger than %lld bytes", *Src, (long long)TXDFILE_MaxBytes);
            ++Result.Stats.Textures.MalformedEntries;
            Result.OutputBytes = Result.SourceBytes;
            const FString Part = Dest + PartSuffix;
            if (!Options.bDryRun &&
                (!CopyFile(Src, Part, Result.SourceDigest, Result.OutputBytes) || !CoreOS::FileReplace(*Part, *Dest)))
            {
                Fail(EShrinkFailure::WriteFailed, FString::Printf(u"cannot copy %s to %s: %s", *Src, *Dest,
                                                                  *LastSystemError()));
                appFileDelete(*Part);
                return std::move(Result);
            }
            Result.OutputDigest = Result.SourceDigest;
            Result.bOk = true;
            return std::move(Result);
        }
        Result.SourceDigest = appHash64(Bytes.GetData(), size_t(Bytes.Num()));
        FFitPlan Plan;
        const FFitArchivePlan* FitPlan = Options.FitPlan;
        if (Options.Settings.Mode == EShrinkMode::Fit && !FitPlan)
        {
            // Alone: the halvings measured on a copy, then planned to fit in what the settings ask.
            FByteArray Copy = Bytes;
            int32_t Length = Copy.Num();
            FFitMeasure Measure;
            Measure.ArchiveBytes.AddItem(Copy.Num());
            Process(Copy, Length, nullptr, &Measure);
            Result.FitTarget = Options.FitShare > 0 ? Options.FitShare : Options.Settings.FitTarget(Bytes.Num());
            Plan = PlanFit(Measure, Result.FitTarget);
            FitPlan = &Plan.Archives[0];
        }
        if (Options.Cancel && Options.Cancel->load())
        {
            Fail(EShrinkFailure::Cancelled, FString(u"cancelled"));
            return std::move(Result);
        }
        // A dictionary that changed holds its new stream in its first Length bytes; any other is as it was.
        int32_t Length = Bytes.Num();
        Process(Bytes, Length, FitPlan, nullptr);
        Result.OutputBytes = Length;
        Result.OutputDigest = appHash64(Bytes.GetData(), size_t(Length));
        if (!Options.bDryRun && !Write(Dest, Bytes.GetData(), Length))
            return std::move(Result);
    }
    catch (const std::bad_alloc&)
    {
        Fail(EShrinkFailure::OutOfMemory, FString::Printf(u"not enough memory to shrink %s", *Src));
        return std::move(Result);
    }
    if (Options.Progress)
        Options.Progress->store(100);
    Result.bOk = true;
    Result.ReportLines = Result.Stats.GetReportLines();
    for (const FString& Line : Result.ReportLines)
        EngineTrace(u"%s", *Line);
    return std::move(Result);
}
} // namespace

FShrinkResult ShrinkTxdFile(const char16_t* DestFilename, const char16_t* SrcFilename, const FShrinkOptions& Options)
{
    return FTxdFileShrinker(Options).Shrink(FString(DestFilename ? DestFilename : u""),
                                            FString(SrcFilename ? SrcFilename : u""));
}

bool LooksLikeTxdFile(const char16_t* Path)
{
    FFileHandle File = appFileOpenRead(Path);
    if (!File)
        return false;
    uint32_t Type = 0;
    const bool bRead = appFileRead(File, &Type, sizeof(Type)) == sizeof(Type);
    appFileClose(File);
    return bRead && Type == RWCHUNK_TxdLib;
}

FShrinkResult ShrinkGameFile(const char16_t* DestFilename, const char16_t* SrcFilename, const FShrinkOptions& Options)
{
    return LooksLikeTxdFile(SrcFilename) ? ShrinkTxdFile(DestFilename, SrcFilename, Options)
                                         : ShrinkImgFile(DestFilename, SrcFilename, Options);
}
