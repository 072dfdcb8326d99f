// The engine client: the front end's one handle on the engine. It owns the job server, turns the user's two
// actions into queued jobs, keeps the two prerequisite tests answered in the background, and publishes plain
// status fields that the front end reads on its timer. Every operation runs on the front end's thread and
// returns at once; only the destructor waits (for a running job to end).
#pragma once

#include <atomic>
#include <cstdint>

#include "Core/Inc/Core.h"
#include "engine/FShrinkEngineServer.h"

// Where a running shrink stands, for people: "gta3.img: 123.4 MB of 908.4 MB, 0:42 left".
struct FShrinkProgressInfo
{
    FString Archive;          // the file name of the archive whose turn it is; empty until the first turn
    int32_t ArchiveIndex = 0; // 1-based, of the ArchiveCount archives the shrink works on
    int32_t ArchiveCount = 0;
    int64_t BytesDone = 0; // of what all of the shrink's builds read
    int64_t BytesTotal = 0;
    double SecondsLeft = -1.0; // from the rate since the shrink began; -1 until that tells anything
};

class FShrinkEngineClientBase
{
public:
    virtual ~FShrinkEngineClientBase() {}
    // Collects finished jobs, publishes their results and queues fresh tests of Dir. Call once per timer tick.
    // The answers published are about Dir and about the files as they are after the last transaction: when Dir
    // differs from the folder of the last call, or a transaction has been queued since the tests were, their
    // answers are dropped and CanShrinkText and CanUnshrinkText stay empty until tests asked afterwards answer.
    // The tests ask about the archive (or archives) of the last transaction's options.
    virtual bool Update(const FString& Dir) = 0;
    // The same with the tests asked with TestOptions (which archive, or all of them); answers asked with other
    // options are dropped like those about another folder. Once the shrink test passes, an estimate of a shrink
    // with TestOptions' settings is asked for as well; it is dropped (and stopped, if it runs) when the folder,
    // the archives or the settings change, and when a transaction is queued.
    virtual bool Update(const FString& Dir, const FShrinkJobOptions& TestOptions) = 0;
    // Queue a shrink / a restore of the game in Dir (ending with a separator), with the options that travel
    // with it (which archive, skip rules, threads). False, and nothing changes, while a shrink or a restore is
    // already in flight. Tests still in flight are withdrawn from the engine.
    virtual bool PerformShrink(const FString& Dir, const FShrinkJobOptions& Options) = 0;
    virtual bool PerformUnshrink(const FString& Dir, const FShrinkJobOptions& Options) = 0;
    // Queue the preview page of the game in Dir (the archives and settings of Options, into Options.PreviewDir).
    // False, and nothing changes, while a preview, a shrink or a restore is in flight.
    virtual bool MakePreview(const FString& Dir, const FShrinkJobOptions& Options) = 0;
    // Queue the removal of what the shrinks keep beside the archives of Options (CleanArchive). False, and nothing
    // changes, while a shrink, a restore, a preview or another clean-up is in flight.
    virtual bool CleanKept(const FString& Dir, const FShrinkJobOptions& Options) = 0;
    bool PerformShrink(const FString& Dir) { return PerformShrink(Dir, FShrinkJobOptions()); }
    bool PerformUnshrink(const FString& Dir) { return PerformUnshrink(Dir, FShrinkJobOptions()); }

    // "none" when no shrink runs, else "%d/100".
    FString GetShrinkProgressText() const;

    // The published status.
    FString CanShrinkText;   // "true", "false", or empty while unknown
    FString CanUnshrinkText; // the same for the restore test
    // The same answers as values, published with the texts; the front ends read these.
    ETestAnswer CanShrinkAnswer = ETestAnswer::Unknown;
    ETestAnswer CanUnshrinkAnswer = ETestAnswer::Unknown;
    int32_t bShrinking = 0;
    int32_t ShrinkProgress = 0; // 0 to 100 over the bytes of all the shrink's builds; it never goes back
    FShrinkProgressInfo ShrinkProgressInfo;
    int32_t bCancelShrink = 0; // set by the front end to stop the running shrink
    FString ShrinkResult;      // message of the last failed shrink; the front end takes it and empties it
    int32_t bUnshrinking = 0;
    FString UnshrinkResult;
    int32_t bPreviewing = 0;
    // How the last preview ended: its page (empty when none was written) and the engine's text; the front end
    // takes them and empties them.
    FString PreviewPage;
    FString PreviewResult;
    // A clean-up in flight, and how the last one ended on each archive (bCleaned set when it ended; the front end
    // clears it when it has told the player).
    int32_t bCleaning = 0;
    int32_t bCleaned = 0;
    TDynArray<FArchiveOutcome> CleanArchives;

    // The same as values: how the last shrink and the last restore ended (success too), kept until the next
    // one ends; and the files as the last shrink test saw them (busy, damaged, a stale kept archive ...),
    // published together with CanShrinkText.
    FTransactionResult ShrinkOutcome;
    FTransactionResult UnshrinkOutcome;
    FArchiveStatus Status;
    // Each archive with its own part: as the last shrink test saw it (published with CanShrinkText), and how
    // the last shrink and the last restore ended on it (kept until the next one ends).
    TDynArray<FArchiveOutcome> Archives;
    TDynArray<FArchiveOutcome> ShrinkArchives;
    TDynArray<FArchiveOutcome> UnshrinkArchives;

    // The estimate of a shrink of the tests' folder and archives with their settings: in flight, or its answer
    // (each archive with its EstimatedBytes; empty while there is none).
    int32_t bEstimating = 0;
    TDynArray<FArchiveOutcome> Estimate;
};

struct FEngineRequest
{
    int32_t JobId = 0;   // 0: no job in flight
    FString Result;      // collected result until consumed
    FJobOutcome Outcome; // collected with it
    bool bEnded = false; // a job was collected and its end not yet taken
};

class FShrinkEngineClient : public FShrinkEngineClientBase
{
public:
    FShrinkEngineClient();
    // Cancels a shrink in flight, waits for the engine to stop and clears the process-wide pointers.
    ~FShrinkEngineClient() override;

    bool Update(const FString& Dir) override;
    bool Update(const FString& Dir, const FShrinkJobOptions& TestOptions) override;
    bool PerformShrink(const FString& Dir, const FShrinkJobOptions& Options) override;
    bool PerformUnshrink(const FString& Dir, const FShrinkJobOptions& Options) override;
    bool MakePreview(const FString& Dir, const FShrinkJobOptions& Options) override;
    bool CleanKept(const FString& Dir, const FShrinkJobOptions& Options) override;
    using FShrinkEngineClientBase::PerformShrink;
    using FShrinkEngineClientBase::PerformUnshrink;

    FShrinkEngineServerBase* Server;
    FEngineRequest CanShrinkRequest;
    FEngineRequest CanUnshrinkRequest;
    FEngineRequest ShrinkRequest;
    FEngineRequest UnshrinkRequest;
    FEngineRequest EstimateRequest;
    FEngineRequest PreviewRequest;
    FEngineRequest CleanRequest;
    // Shared with the worker thread without a lock: the shrinker reads the one and writes the other.
    std::atomic<int32_t> CancelFlag;
    std::atomic<int32_t> Progress;

private:
    void PollRequest(FEngineRequest& Request);
    // The steps of Update, in its order: the folder and archives asked about, the finished jobs collected, the
    // tests' answers published, the shrink's progress and end, the restore's end.
    void FollowTestOptions(const FString& Dir, const FShrinkJobOptions& Options);
    void CollectJobs();
    void PublishTests();
    void FollowShrink();
    void FollowRestore();
    // Publishes a collected test answer into Text and Answer; true when there was one.
    static bool PublishAnswer(FEngineRequest& Request, FString& Text, ETestAnswer& Answer);
    // Withdraws the tests in flight and forgets every answer: they no longer describe the files in question.
    void DropTests();
    // Stops and withdraws the estimate in flight and forgets the one published.
    void DropEstimate();
    // Collects a finished estimate, or asks for one when the shrink test passes and there is none.
    void FollowEstimate(const FString& Dir);
    // Whether a job that changes or reads the game's files as a whole is in flight: a transaction, a preview or a
    // clean-up. One at a time.
    bool IsWorkInFlight() const;
    // Queues a request of Kind into Request unless a transaction is in flight; sets bRunning on success.
    bool QueueTransaction(FEngineRequest& Request, int32_t& bRunning, EJobKind Kind, const FString& Dir,
                          const FShrinkJobOptions& Options);

    // Takes the end of a transaction collected into Request (success too) into Outcome and Archives; false when
    // none.
    static bool TakeTransactionEnd(FEngineRequest& Request, FTransactionResult& Outcome,
                                   TDynArray<FArchiveOutcome>& Archives);
    // ShrinkProgress and ShrinkProgressInfo of the shrink in flight.
    void MeasureShrink();

    // The folder that the tests in flight, and the answers published, are about, and the archive there: the
    // game's main one, or the one the last transaction named; and the settings the estimate is about.
    FString TestDir;
    FShrinkJobOptions TestOptions;
    bool bEstimated = false; // Estimate holds the answer for them
    // When the shrink in flight was queued (the Core's clock).
    double ShrinkStart = 0.0;
};

FShrinkEngineClientBase* CreateEngineClient();
