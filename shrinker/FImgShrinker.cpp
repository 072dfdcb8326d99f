// The archive shrinker's driver: the IMG version-2 rewrite, the shrink of one archive file and its report.
#include "shrinker/FImgShrinker.h"

#include <cstring>
#include <mutex>
#include <utility>

#include "Core/Inc/CoreAssert.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"
#include "Core/Inc/FConfigCacheIni.h"
#include "Core/Inc/FGlobalVars.h"
#include "shrinker/FReencodePolicy.h"
#include "shrinker/FRwChunk.h"

std::atomic<int32_t>* GShrinkCancelFlag = nullptr;
std::atomic<int32_t>* GShrinkProgress = nullptr;

namespace
{
// The folder that holds a file ("." when the name has none), for asking its free space.
FString DirectoryOf(const char16_t* Filename)
{
    const FString Name(Filename);
    for (int32_t i = Name.Len() - 1; i >= 0; --i)
        if (Name[i] == u'\\' || Name[i] == u'/')
            return Name.Left(i + 1);
    return FString(u".");
}

std::mutex GSkipRulesFileLock;
FString GSkipRulesFile;

bool IsAbsolutePath(const FString& Path)
{
    return Path.Len() > 0 && (Path[0] == u'/' || Path[0] == u'\\' || (Path.Len() > 1 && Path[1] == u':'));
}

const int64_t BlockSize = 2048;
const uint32_t ImgMagicVer2 = 0x32524556; // "VER2"

// Entries up to this size are read and written in one piece. Larger ones (far beyond any real texture
// dictionary) go through in pieces of this size and are copied unchanged, so the entry buffer never grows
// past it whatever a directory claims.
const int64_t MaxWholeEntry = int64_t(256) << 20;

struct FImgHeader
{
    uint32_t Magic;
    uint32_t NumEntries;
};
static_assert(sizeof(FImgHeader) == 8, "FImgHeader is the stored header");

struct FImgDirEntry
{
    uint32_t BlockOffset;
    uint32_t BlockCount;
    char Name[24]; // ANSI code page, zero-terminated within the field; never changed by the rewrite
};
static_assert(sizeof(FImgDirEntry) == 32, "FImgDirEntry is the stored record");

// A texture dictionary is an entry whose name has the extension txd (any case); its TxdName is the name
// before that last ".".
bool GetTxdName(const FImgDirEntry& Entry, FString& OutTxdName)
{
    char Name[sizeof(Entry.Name) + 1];
    std::memcpy(Name, Entry.Name, sizeof(Entry.Name));
    Name[sizeof(Entry.Name)] = 0;
    const FString Text = FString::FromAnsi(Name);
    const char16_t* Dot = appStrrchr(*Text, u'.');
    if (!Dot || appStricmp(Dot + 1, u"txd") != 0)
        return false;
    OutTxdName = Text.Left(int32_t(Dot - *Text));
    return true;
}

template <typename K> void AddCount(TMap<K, int32_t>& Map, const K& Key, int32_t Count)
{
    if (int32_t* Found = Map.Find(Key))
        *Found += Count;
    else
        Map.Set(Key, Count);
}

const char16_t* GetFormatName(uint32_t Code)
{
    switch (Code)
    {
        case 0x44585431:
            return u"DXT1";
        case 0x44586131:
            return u"DXT1a";
        case 0x44585433:
            return u"DXT3";
        case 0x52474241:
            return u"RGBA";
        case 0x52474258:
            return u"RGBX";
    }
    return u"unknown";
}
} // namespace

// ---- Statistics -----------------------------------------------------------------------------------------------

void FShrinkStats::Add(const FShrinkStats& Other)
{
    for (const auto& Pair : Other.MipLevelStats)
        AddCount(MipLevelStats, Pair.Key, Pair.Value);
    for (const auto& Pair : Other.FormatStats)
        AddCount(FormatStats, Pair.Key, Pair.Value);
    for (const auto& Pair : Other.DescriptionStats)
        AddCount(DescriptionStats, Pair.Key, Pair.Value);
}

bool FShrinkStats::IsEmpty() const
{
    return MipLevelStats.Num() == 0 && FormatStats.Num() == 0 && DescriptionStats.Num() == 0;
}

void FShrinkStats::Empty()
{
    MipLevelStats.Empty();
    FormatStats.Empty();
    DescriptionStats.Empty();
}

int32_t FTxdEntryContext::MatchSkipRule() const
{
    return Shrinker.MatchSkipRule(TxdName);
}

// ---- The shrinker object --------------------------------------------------------------------------------------

void SetShrinkSkipRulesFile(const char16_t* File)
{
    std::lock_guard<std::mutex> Lock(GSkipRulesFileLock);
    GSkipRulesFile = File ? File : u"";
}

FString GetShrinkSkipRulesFile()
{
    std::lock_guard<std::mutex> Lock(GSkipRulesFileLock);
    return GSkipRulesFile.IsEmpty() ? FString(FSkipRules::DefaultFile()) : GSkipRulesFile;
}

FImgShrinker::FImgShrinker()
    : BreakFlag(nullptr), PercentDone(nullptr), Reencode(&ReencodeImage), SkipRulesFile(GetShrinkSkipRulesFile()),
      bDryRun(false), OutputBytes(0), WritePos(0)
{
}

void FImgShrinker::LoadSkipRules()
{
    if (!IsAbsolutePath(SkipRulesFile))
    {
        SkipRules.Load(*SkipRulesFile);
        return;
    }
    // A file named by the user: the same INI syntax and the same rule (its section, else the built-in list),
    // but read where it is rather than below the config cache's folder.
    if (SkipRules.ExactRules.Num() > 0)
        return;
    SkipRules.Empty();
    Core::Imp::FConfigFile File;
    File.Read(GGlobalVars()->GetFileManager(), *SkipRulesFile);
    if (const Core::Service::FConfigSection* Section = File.Find(FString(u"SkipRules")))
    {
        for (const auto& Pair : *Section)
            SkipRules.AddSkipRule(Pair.Key, Pair.Value);
        return;
    }
    SkipRules.LoadDefaults();
}

int32_t FImgShrinker::MatchSkipRule(const FString& Name) const
{
    return SkipRules.MatchSkipRule(Name);
}

bool FImgShrinker::ReadAt(FFileHandle fhRead, int64_t Pos, uint8_t* Dest, int64_t Count)
{
    appCheck(Count >= 0 && Count <= MaxWholeEntry);
    uint32_t Got = 0;
    if (appFileSeek(fhRead, Pos))
        Got = appFileRead(fhRead, Dest, uint32_t(Count));
    else
        EngineTrace(u"appFileRead  BytesRead!=Length  %d!=%d", 0, int32_t(Count));
    // What the source does not hold reads as zeros, never as what an earlier entry left in the buffer.
    if (Got < Count)
        std::memset(Dest + Got, 0, size_t(Count - Got));
    return Got == Count;
}

bool FImgShrinker::WriteAll(FFileHandle fhWrite, const uint8_t* Bytes, int64_t Count)
{
    appCheck(Count >= 0 && Count <= UINT32_MAX);
    if (bDryRun || appFileWrite(fhWrite, Bytes, uint32_t(Count)) == Count)
    {
        WritePos += Count;
        if (WritePos > OutputBytes)
            OutputBytes = WritePos;
        return true;
    }
    Failure = u"writing the destination came up short (is the disk full?)";
    return false;
}

bool FImgShrinker::CopyBytes(FFileHandle fhRead, int64_t ReadPos, FFileHandle fhWrite, int64_t Count,
                             FByteArray& Buffer)
{
    while (Count > 0)
    {
        const int64_t Piece = Count < MaxWholeEntry ? Count : MaxWholeEntry;
        if (Buffer.Num() < Piece)
        {
            Buffer.Reserve(int32_t(Piece));
            Buffer.Add(int32_t(Piece) - Buffer.Num());
        }
        ReadAt(fhRead, ReadPos, Buffer.GetData(), Piece);
        if (!WriteAll(fhWrite, Buffer.GetData(), Piece))
            return false;
        ReadPos += Piece;
        Count -= Piece;
    }
    return true;
}

bool FImgShrinker::RewriteArchive(FFileHandle fhRead, FFileHandle fhWrite)
{
    Failure.Empty();
    WritePos = 0;
    OutputBytes = 0;

    FImgHeader Header = {0, 0};
    appFileRead(fhRead, &Header, sizeof(Header));
    if (Header.Magic != ImgMagicVer2)
    {
        Failure = u"the source is not an IMG version-2 archive";
        return false;
    }

    const int64_t NumEntries = Header.NumEntries;
    const int64_t DirBytes = NumEntries * int64_t(sizeof(FImgDirEntry));
    const int64_t SourceSize = CoreOS::FileGetSize(fhRead);
    if (SourceSize >= 0 && int64_t(sizeof(Header)) + DirBytes > SourceSize)
    {
        Failure = u"the source's directory runs past the end of the file";
        return false;
    }
    if (DirBytes > MaxWholeEntry)
    {
        Failure = u"the source's directory is too large";
        return false;
    }
    TDynArray<FImgDirEntry> SrcDir{int32_t(NumEntries)};
    appFileRead(fhRead, SrcDir.GetData(), uint32_t(DirBytes));

    if (NumEntries == 0)
        return WriteAll(fhWrite, reinterpret_cast<const uint8_t*>(&Header), sizeof(Header));

    const int64_t FirstBlock = SrcDir[0].BlockOffset;
    const int64_t FillerBytes = FirstBlock * BlockSize - int64_t(sizeof(Header)) - DirBytes;
    if (FillerBytes < 0)
    {
        Failure = u"the source's first entry starts inside its directory";
        return false;
    }

    // A damaged directory can claim far more data than the source holds (the missing bytes are written as
    // zeros). A truncated archive misses part of its own size at most; a directory that claims more than that
    // again, or more than the destination's disk can take, is refused before anything is written, rather than
    // filling the disk with zeros.
    if (!bDryRun && SourceSize >= 0)
    {
        const int64_t Limit = int64_t(1) << 62;
        int64_t Claimed = FirstBlock * BlockSize;
        for (const FImgDirEntry& Entry : SrcDir)
            Claimed = Claimed < Limit ? Claimed + int64_t(Entry.BlockCount) * BlockSize : Limit;
        if (Claimed > SourceSize)
        {
            const int64_t Free = CoreOS::FreeDiskSpace(*DestDirectory);
            if (Claimed - SourceSize > SourceSize || (Free >= 0 && Claimed - SourceSize > Free))
            {
                Failure = FString::Printf(u"the source's directory claims %lld MB more than the file holds",
                                          (long long)((Claimed - SourceSize) >> 20));
                EngineTrace(u"%s", *Failure);
                return false;
            }
        }
    }

    LoadSkipRules();

    // The output directory is written once as a placeholder, so that the entries can be streamed in order, and
    // again at the end with their new places.
    TDynArray<FImgDirEntry> OutDir(SrcDir);
    FByteArray Buffer;
    if (!WriteAll(fhWrite, reinterpret_cast<const uint8_t*>(&Header), sizeof(Header)) ||
        !WriteAll(fhWrite, reinterpret_cast<const uint8_t*>(OutDir.GetData()), DirBytes) ||
        !CopyBytes(fhRead, int64_t(sizeof(Header)) + DirBytes, fhWrite, FillerBytes, Buffer))
        return false;

    int64_t ReadBlock = FirstBlock;
    int64_t WriteBlock = FirstBlock;
    uint64_t Progress = 0;
    const int64_t TraceEvery = NumEntries / 20 > 0 ? NumEntries / 20 : 1;
    for (int32_t i = 0; i < int32_t(NumEntries); ++i)
    {
        if (BreakFlag && BreakFlag->load() != 0)
        {
            EngineTrace(u"Breaking...");
            Failure = u"the shrink was cancelled";
            return false;
        }

        const FImgDirEntry& Entry = SrcDir[i];
        if (Entry.BlockOffset != ReadBlock)
        {
            EngineTrace(u"Block gap: %d", int32_t(int64_t(Entry.BlockOffset) - ReadBlock));
            ReadBlock = Entry.BlockOffset;
        }

        if ((bDryRun ? WritePos : appFileTell(fhWrite)) != WriteBlock * BlockSize)
        {
            Failure = u"the destination is not where its directory says the next entry starts";
            return false;
        }

        const int64_t ReadPos = int64_t(Entry.BlockOffset) * BlockSize;
        const int64_t Length = int64_t(Entry.BlockCount) * BlockSize;
        FString EntryTxdName;
        const bool bTxd = GetTxdName(Entry, EntryTxdName);
        if (bTxd)
            TxdName = EntryTxdName;
        int64_t NewBlocks = Entry.BlockCount;
        if (Length <= MaxWholeEntry)
        {
            if (Buffer.Num() < Length)
            {
                Buffer.Reserve(int32_t(Length));
                Buffer.Add(int32_t(Length) - Buffer.Num());
            }
            ReadAt(fhRead, ReadPos, Buffer.GetData(), Length);
            int32_t NewLength = int32_t(Length);
            if (bTxd)
            {
                FTxdEntryContext Context(*this, TxdName);
                if (ProcessTxdEntry(Context, Buffer.GetData(), NewLength) != TXDENTRY_Malformed)
                    Stats.Add(Context.Stats);
            }
            NewBlocks = (NewLength + BlockSize - 1) / BlockSize;
            if (!WriteAll(fhWrite, Buffer.GetData(), NewBlocks * BlockSize))
                return false;
        }
        else
        {
            if (bTxd)
                EngineTrace(u"Copying %s.txd unchanged: too large", *TxdName);
            if (!CopyBytes(fhRead, ReadPos, fhWrite, Length, Buffer))
                return false;
        }
        if (WriteBlock > UINT32_MAX)
        {
            Failure = u"the destination would grow past what the directory can address";
            return false;
        }
        OutDir[i].BlockOffset = uint32_t(WriteBlock);
        OutDir[i].BlockCount = uint32_t(NewBlocks);
        ReadBlock += Entry.BlockCount;
        WriteBlock += NewBlocks;

        const int32_t Percent = int32_t(Progress / uint64_t(NumEntries));
        if (i % TraceEvery == 0)
            EngineTrace(u"PercentDone: %d", Percent);
        if (PercentDone)
            PercentDone->store(Percent);
        Progress += 101;
    }

    if (!bDryRun && (!appFileSeek(fhWrite, 0) || appFileTell(fhWrite) != 0))
    {
        Failure = u"the destination cannot be rewound to write its directory";
        return false;
    }
    WritePos = 0;
    return WriteAll(fhWrite, reinterpret_cast<const uint8_t*>(&Header), sizeof(Header)) &&
           WriteAll(fhWrite, reinterpret_cast<const uint8_t*>(OutDir.GetData()), DirBytes);
}

bool FImgShrinker::ShrinkFile(const char16_t* DestFilename, const char16_t* SrcFilename)
{
    bool bResult = false;
    Failure.Empty();
    GHalveTextures.store(1);
    GHalveOpaqueTextures.store(1);
    Stats.MipLevelStats.Empty();

    FFileHandle fhRead = appFileOpenRead(SrcFilename);
    if (!fhRead)
    {
        EngineTrace(u"Cant read %s", SrcFilename);
        Failure = FString::Printf(u"cannot open %s for reading", SrcFilename);
    }
    else if (bDryRun)
    {
        EngineTrace(u"Reading %s", SrcFilename);
        bResult = RewriteArchive(fhRead, nullptr);
        appFileClose(fhRead);
    }
    else
    {
        FFileHandle fhWrite = appFileOpenWrite(DestFilename);
        if (!fhWrite)
        {
            EngineTrace(u"Cant create %s", DestFilename);
            Failure = FString::Printf(u"cannot create %s", DestFilename);
        }
        else
        {
            EngineTrace(u"Reading %s", SrcFilename);
            DestDirectory = DirectoryOf(DestFilename);
            bResult = RewriteArchive(fhRead, fhWrite);
            if (bResult)
                EngineTrace(u"Writing %s", DestFilename);
            if (!CoreOS::FileClose(fhWrite) && bResult)
            {
                bResult = false;
                Failure = FString::Printf(u"cannot finish writing %s", DestFilename);
            }
            if (!bResult)
            {
                EngineTrace(u"Error processing %s->%s", SrcFilename, DestFilename);
                // Truncate first, so that nothing of a partial archive survives a delete that does not go through.
                appFileClose(appFileOpenWrite(DestFilename));
                appFileDelete(DestFilename);
            }
        }
        appFileClose(fhRead);
    }

    ReportLines = TraceReport();
    return bResult;
}

// ---- Report ---------------------------------------------------------------------------------------------------

TDynArray<FString> FImgShrinker::GetReportLines(const FShrinkStats& InStats)
{
    TDynArray<FString> Lines;
    for (const auto& Pair : InStats.MipLevelStats)
        if (Pair.Value != 0)
            Lines.AddItem(FString::Printf(u"%d images have %d MipLevels", Pair.Value, Pair.Key));
    for (const auto& Pair : InStats.FormatStats)
        if (Pair.Value != 0)
            Lines.AddItem(FString::Printf(u"%d images have %s format", Pair.Value, GetFormatName(Pair.Key)));

    // A description key reads "<sort part>: <text>"; the line is made with the sort part in front, sorted, and
    // printed without it.
    TDynArray<FString> Descriptions;
    for (const auto& Pair : InStats.DescriptionStats)
    {
        if (Pair.Value == 0)
            continue;
        const int32_t Colon = Pair.Key.InStr(u":");
        const FString Left = Colon >= 0 ? Pair.Key.Left(Colon) : FString();
        const FString Right = Colon >= 0 ? Pair.Key.Mid(Colon + 1) : FString();
        Descriptions.AddItem(FString::Printf(u"%s:%4d images are %s", *Left, Pair.Value, *Right));
    }
    // Descending without regard to ASCII case; equal lines keep their order.
    int32_t i = 0;
    while (i + 1 < Descriptions.Num())
    {
        if (appStricmp(*Descriptions[i], *Descriptions[i + 1]) < 0)
        {
            std::swap(Descriptions[i], Descriptions[i + 1]);
            if (i > 0)
                --i;
        }
        else
            ++i;
    }
    for (const FString& Line : Descriptions)
        Lines.AddItem(Line.Mid(Line.InStr(u":") + 1));
    return Lines;
}

TDynArray<FString> FImgShrinker::TraceReport() const
{
    TDynArray<FString> Lines = GetReportLines(Stats);
    for (const FString& Line : Lines)
        EngineTrace(u"%s", *Line);
    return Lines;
}

// ---- Entry point ----------------------------------------------------------------------------------------------

bool ShrinkImgFile(const char16_t* DestFilename, const char16_t* SrcFilename)
{
    return ShrinkImgFile(DestFilename, SrcFilename, FShrinkImgOptions());
}

bool ShrinkImgFile(const char16_t* DestFilename, const char16_t* SrcFilename, const FShrinkImgOptions& Options)
{
    FImgShrinker Shrinker;
    Shrinker.BreakFlag = GShrinkCancelFlag;
    Shrinker.PercentDone = GShrinkProgress;
    if (Options.Reencode)
        Shrinker.Reencode = Options.Reencode;
    if (!Options.SkipRulesFile.IsEmpty())
        Shrinker.SkipRulesFile = Options.SkipRulesFile;
    Shrinker.bDryRun = Options.bDryRun;
    const bool bResult = Shrinker.ShrinkFile(DestFilename ? DestFilename : u"", SrcFilename ? SrcFilename : u"");
    if (Options.Report)
    {
        Options.Report->Failure = Shrinker.Failure;
        Options.Report->Lines = std::move(Shrinker.ReportLines);
        Options.Report->Stats = Shrinker.Stats;
        Options.Report->OutputBytes = Shrinker.OutputBytes;
    }
    return bResult;
}
