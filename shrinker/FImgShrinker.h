// The archive shrinker's entry point: ShrinkImgFile rewrites an IMG version-2 archive into a new one whose
// texture dictionaries have smaller textures, and says how that went.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"
#include "shrinker/FFitPlan.h"
#include "shrinker/FImgArchive.h"
#include "shrinker/FShrinkSettings.h"
#include "shrinker/FShrinkStats.h"

// The cancel request and the progress value (percent) of whoever runs shrinks, or null when there is none.
// The owner points them at its own values while no shrink runs; a shrink reads the pointers once, at its
// start, and then reads the cancel value and writes the progress value from its own thread.
extern std::atomic<int32_t>* GShrinkCancelFlag;
extern std::atomic<int32_t>* GShrinkProgress;

// Threads that process texture dictionaries at most: a larger FShrinkOptions::Jobs counts as this.
enum : int32_t
{
    SHRINK_MaxJobs = 64,
};

struct FShrinkOptions : FShrinkChoice
{
    FReencodeImageFunc Reencode = nullptr;    // null: ReencodeImage; called on several threads at once
                                              // unless Jobs is 1
    bool bDryRun = false;                     // process every entry, write nothing
    std::atomic<int32_t>* Cancel = nullptr;   // null: GShrinkCancelFlag as it is at the call
    std::atomic<int32_t>* Progress = nullptr; // null: GShrinkProgress as it is at the call
    bool bReplaceWhenDone = false;            // write DEST through a temporary file beside it (DEST +
                                              // ".pellmor-part"), renamed over DEST only when complete
    int64_t InFlightBytes = 0;                // with Jobs above 1, bytes of entries read and not yet written at
                                              // most (a larger entry goes through alone); 0: 16 MiB
    // A dry run that only works out sizes: every texture's plan and checks are made as in a shrink, but a single
    // level that would be resampled is not decoded, resampled or encoded; the sizes, statistics and facts are
    // those of the full dry run, at a fraction of its time. Only with bDryRun; OutputDigest then means nothing.
    bool bSizesOnly = false;
    // When set, every texture of every well-formed dictionary is told here, on the calling thread, in entry
    // order and in each dictionary's order, as its entry is written (also in a dry run).
    std::function<void(const FTextureFact&)> OnTexture;
    // With OnTexture: each changed texture's loss is measured and told in its fact (the original's and the new
    // largest level decoded and compared); costs a decode of both. Not with bSizesOnly, which makes no pixels.
    bool bMeasureLoss = false;
    // With bMeasureLoss: a texture of more than this many pixels (above 0) has its loss estimated from about as
    // many, rows picked as EstimateLoss picks them, decoded only where those rows lie; 0: every pixel is compared.
    int64_t LossSampledPixels = 0;
    // The fit mode: what the plan makes of this archive (FFitPlan.h), made by whoever planned several archives
    // together; null: the archive is measured and planned alone first, to fit in FitShare bytes when above 0,
    // else in what its settings ask of it.
    const FFitArchivePlan* FitPlan = nullptr;
    int64_t FitShare = 0;
    // The share of the progress value this run fills: from ProgressBase, ProgressSpan percent wide.
    int32_t ProgressBase = 0;
    int32_t ProgressSpan = 100;
};

enum class EShrinkFailure : int32_t
{
    None,
    CannotReadSource,
    CannotCreateDest,
    SameFile,
    NotAnArchive,
    Damaged,
    Cancelled,
    WriteFailed,
    ReadFailed, // the source could not be read where it holds data (a failing device)
    OutOfMemory,
    TooLarge, // past what the format can address, or a directory larger than the shrinker holds
};

struct FShrinkResult
{
    bool bOk = false;
    EShrinkFailure Failure = EShrinkFailure::None;
    FString Reason;                 // one plain line for people: "...is damaged: 120 entries (35.2 MB) lie past
                                    // the end of the file"; empty on success
    FShrinkStats Stats;             // the statistics (and the texture facts)
    TDynArray<FString> ReportLines; // the report lines as traced
    int64_t OutputBytes = 0;        // bytes written (dry run: that would be written)
    FImgDamage Damage;              // set when Failure is Damaged
    // Content digests (DigestImgArchive's) of the source as it was read and of the archive written (dry run:
    // that would be written), computed as the bytes pass; and the digest of the skip rules in effect
    // (FSkipRules::Digest). Set when bOk.
    uint64_t SourceDigest = 0;
    uint64_t OutputDigest = 0;
    uint64_t SkipRulesDigest = 0;
    int64_t SourceBytes = 0; // the source file's size, once its directory was checked
    // The fit mode, planned here alone: the size the archive was to fit in (the plan met it when OutputBytes is at
    // most that); 0 otherwise.
    int64_t FitTarget = 0;
};

// Shrinks the archive SrcFilename into DestFilename. Blocks for the whole shrink. With Jobs 1 everything runs on
// the calling thread; otherwise one thread reads, Jobs threads process texture dictionaries and the calling
// thread writes, entries strictly in directory order. Either way the destination, the statistics, the report,
// the trace lines (each entry's lines come out in entry order) and the progress values are the same. The cancel
// value is read and progress published between entries (and between the pieces of entries copied unchanged);
// a cancel stops within the entries in flight.
//
// Before anything is opened for writing, the source's directory is read and checked: a destination that is the
// source itself, a source that is no version-2 archive, a damaged one (entries missing past its end) and one too
// large to rewrite are refused without a destination file being made. On success the destination holds the
// complete archive (in a dry run nothing is written and OutputBytes is the size it would have). On failure the
// source is untouched and no destination is left behind: a partial one is removed, and an older file of that
// name too (unless bReplaceWhenDone, which leaves an existing DEST as it was and removes only its temporary).
// Allocation failures and short writes are failures with a reason, never an end of the program. The report
// lines are traced in every case and cover what was processed.
FShrinkResult ShrinkImgFile(const char16_t* DestFilename, const char16_t* SrcFilename, const FShrinkOptions& Options);
// The fit mode's first pass over one archive: a dry run that changes no texture and measures each one's whole
// halvings into Measure as its archive number Archive, with ArchiveBytes[Archive] set to what the dry run writes.
// Fails as a dry run of ShrinkImgFile fails.
FShrinkResult MeasureForFit(const char16_t* SrcFilename, const FShrinkOptions& Options, int32_t Archive,
                            FFitMeasure& Measure);
// The fit mode's first pass over several archives together: each measured in turn into Measure (MeasureForFit,
// archive i of Sources as archive i; each run fills the progress value from Options.ProgressBase over
// Options.ProgressSpan), Bytes their sizes added. BeforeEach, when given, is told the index of each archive before
// it is measured. Returns the first failure, as a dry run of that archive fails (Failed says which, else -1).
FShrinkResult MeasureTogether(const TDynArray<FString>& Sources, const FShrinkOptions& Options, FFitMeasure& Measure,
                              int64_t& Bytes, int32_t& Failed, const std::function<void(int32_t)>& BeforeEach = {});
// The fit mode over several archives together: measured (MeasureTogether), then planned to fit in the size
// Options.Settings asks of all of them (FitTarget of their sizes added). Fails as MeasureTogether does; bOk with
// Plan made, its archives in the order of Sources.
FShrinkResult PlanFitTogether(const TDynArray<FString>& Sources, const FShrinkOptions& Options, FFitPlan& Plan,
                              int32_t& Failed, const std::function<void(int32_t)>& BeforeEach = {});
// The calling thread's last system error in words, for a failure's reason, without the stop the system ends it
// with.
FString LastSystemError();
// The engine's plain entry: default options; true exactly when the result is bOk.
bool ShrinkImgFile(const char16_t* DestFilename, const char16_t* SrcFilename);
