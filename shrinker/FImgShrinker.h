// The archive shrinker's driver: ShrinkImgFile, the FImgShrinker object of one archive shrink, the rewrite of
// an IMG version-2 archive, the per-entry context of a texture dictionary and the statistics report.
#pragma once

#include <atomic>
#include <cstdint>

#include "Core/Inc/CoreFileRaw.h"
#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateMap.h"
#include "Core/Inc/CoreTemplateString.h"
#include "shrinker/FSkipRules.h"

class FImgShrinker;
class FTxdEntryContext;
struct FTxdImage;

// The cancel request and the progress value (percent) of whoever runs shrinks, or null when there is none.
// The owner points them at its own values while no shrink runs; a shrink reads the pointers once, at its
// start, and then reads the cancel value and writes the progress value from its own thread.
extern std::atomic<int32_t>* GShrinkCancelFlag;
extern std::atomic<int32_t>* GShrinkProgress;

// The skip rules file that every new FImgShrinker reads: FSkipRules::DefaultFile() (SkipRules.ini beside the
// program, through the config cache) until a front end names another one. An absolute path is read as it
// stands, with the config cache's INI syntax but outside its folder. Null or empty goes back to the default.
// Set it while no shrink runs; it is read when a shrinker is made, on any thread.
void SetShrinkSkipRulesFile(const char16_t* File);
FString GetShrinkSkipRulesFile();

// The statistics of the textures seen. Counters only grow by one at a time and a key keeps the place where it
// was first counted, so iterating gives the keys in first-counted order (the report relies on it).
struct FShrinkStats
{
    TMap<int32_t, int32_t> MipLevelStats;    // images per mip-level count
    TMap<uint32_t, int32_t> FormatStats;     // images per kind code ('DXT1', 'DXa1', 'DXT3', 'RGBX', 'RGBA')
    TMap<FString, int32_t> DescriptionStats; // images per description key

    // Adds Other's counts, key by key in Other's order. Adding the statistics of entries one after the other,
    // in entry order, gives exactly what counting all of them into one object would have given.
    void Add(const FShrinkStats& Other);
    bool IsEmpty() const;
    void Empty();
};

// The re-encoding step for one texture: true when it changed the record (which is then written back).
typedef bool (*FReencodeImageFunc)(FTxdEntryContext& Context, FTxdImage& Image);

// What one texture dictionary entry works with. The driver makes one per entry and, when the entry was a
// well-formed dictionary, adds its statistics to the shrinker's in entry order. Everything an entry changes is
// in here; the shrinker itself is only read, so entries may be processed on several threads.
class FTxdEntryContext
{
public:
    FTxdEntryContext(const FImgShrinker& InShrinker, const FString& InTxdName)
        : Shrinker(InShrinker), TxdName(InTxdName)
    {
    }

    // The skip rules' answer for this entry: 0 no rule, 1 skip, 2 allow.
    int32_t MatchSkipRule() const;

    const FImgShrinker& Shrinker;
    // The entry's name without its extension ("a.b" for "a.b.txd").
    const FString TxdName;
    // TxdName + "." + the texture's name, for the texture being processed.
    FString ImageName;
    // What this entry adds to the archive's statistics.
    FShrinkStats Stats;
};

// One archive shrink. Made, used and destroyed on one thread (the one that runs the shrink); while entries are
// processed only their FTxdEntryContext changes.
class FImgShrinker
{
public:
    FImgShrinker();

    // Opens Src, creates (or truncates) Dest, rewrites Src into Dest and traces the report. True when Dest is
    // complete. On false Dest is deleted (unless it could not even be created) and Failure says why. Blocks for
    // the whole rewrite; honours BreakFlag between entries.
    bool ShrinkFile(const char16_t* DestFilename, const char16_t* SrcFilename);

    // Copies the archive at the start of fhRead into the empty file fhWrite, entry by entry in directory order,
    // packing the entries back to back and handing each texture dictionary to ProcessTxdEntry. True when every
    // entry, the header and the directory have been written. False (with Failure set) when the source is not a
    // version-2 archive, its directory runs past its end, its first entry starts inside its directory, a write
    // comes up short, or the shrink was cancelled; the destination then holds a partial archive. The handles
    // stay open. Short reads of entries and filler are zero-filled and traced; the rewrite goes on.
    bool RewriteArchive(FFileHandle fhRead, FFileHandle fhWrite);

    // The report lines of the statistics, in the order they are traced: images per mip-level count, per kind,
    // then the description lines (those of "2 " keys before those of "1 " keys, each group descending).
    static TDynArray<FString> GetReportLines(const FShrinkStats& InStats);
    // Traces the report lines of Stats and returns them.
    TDynArray<FString> TraceReport() const;

    // Skip rules. LoadSkipRules runs once per archive, before the first entry, on the shrink's thread; after it
    // MatchSkipRule only reads, from any thread.
    void LoadSkipRules();
    int32_t MatchSkipRule(const FString& Name) const;

    // The archive's statistics: the sum of those of the well-formed dictionaries processed so far.
    FShrinkStats Stats;
    // Cancel request and progress (percent) of the caller, or null.
    std::atomic<int32_t>* BreakFlag;
    std::atomic<int32_t>* PercentDone;
    // The name of the last texture dictionary entry met, without its extension.
    FString TxdName;
    // The re-encoding step applied to each texture (ReencodeImage unless a caller puts another one here).
    FReencodeImageFunc Reencode;
    // The rule set and the rules file it is read from (through the config cache).
    FSkipRules SkipRules;
    FString SkipRulesFile;
    // Why the last ShrinkFile or RewriteArchive returned false, as one line; empty after success.
    FString Failure;
    // A dry run processes every entry exactly as a shrink does but writes nothing: ShrinkFile then opens only
    // the source, and RewriteArchive takes no destination handle.
    bool bDryRun;
    // Bytes of the destination written by the last RewriteArchive (in a dry run: that it would have written).
    int64_t OutputBytes;
    // The report traced at the end of the last ShrinkFile.
    TDynArray<FString> ReportLines;

private:
    bool CopyBytes(FFileHandle fhRead, int64_t ReadPos, FFileHandle fhWrite, int64_t Count, FByteArray& Buffer);
    bool ReadAt(FFileHandle fhRead, int64_t Pos, uint8_t* Dest, int64_t Count);
    bool WriteAll(FFileHandle fhWrite, const uint8_t* Bytes, int64_t Count);

    // Where the next write goes, counted by WriteAll (a dry run has no file to ask).
    int64_t WritePos;
    // The destination's folder, whose free space bounds the zeros a damaged directory may ask for ("." when
    // RewriteArchive is called without ShrinkFile).
    FString DestDirectory{u"."};
};

// What a caller can ask ShrinkImgFile for besides the result.
struct FShrinkReport
{
    FString Failure;          // why the result was false; empty after success
    TDynArray<FString> Lines; // the report lines as traced
    FShrinkStats Stats;       // the statistics behind them
    int64_t OutputBytes = 0;  // size of the destination written, or in a dry run the size it would have
};

struct FShrinkImgOptions
{
    // Filled in when not null.
    FShrinkReport* Report = nullptr;
    // The re-encoding step for each texture; null for ReencodeImage.
    FReencodeImageFunc Reencode = nullptr;
    // Process every entry but write nothing (DestFilename is not used); Report->OutputBytes gives the size the
    // shrunk archive would have.
    bool bDryRun = false;
    // The skip rules file for this shrink; empty for GetShrinkSkipRulesFile().
    FString SkipRulesFile;
};

// Shrinks the archive SrcFilename into DestFilename with a fresh FImgShrinker connected to GShrinkCancelFlag
// and GShrinkProgress. True when the destination is complete; otherwise no destination is left behind (unless
// it could not even be created). Blocks for the whole shrink, on the calling thread.
bool ShrinkImgFile(const char16_t* DestFilename, const char16_t* SrcFilename);
bool ShrinkImgFile(const char16_t* DestFilename, const char16_t* SrcFilename, const FShrinkImgOptions& Options);
