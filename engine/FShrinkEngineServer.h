// The shrink engine's server side: the game file set with its two tests and two transactions, and the job
// server that runs them one at a time on its own worker thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "Core/Inc/Core.h"
#include "engine/FGameFiles.h"
#include "engine/FTransactionVerdict.h"
#include "shrinker/FImgShrinker.h"

// ---- Game file sets -----------------------------------------------------------------------------------------
// A set holds Dir + "Models\gta3" + Suffix + ".img". Dir must end with a separator; names are formed by plain
// concatenation. The routines below run on the job server's worker thread and keep no state: the files on disk
// are the state. They are the engine's set routines as its text interface has always offered them (GetFileSet,
// RenameFiles, the two-list BuildShrunkFiles and GetFreeDiskSpaceMB are there only for that interface's callers);
// the transactions below work on an archive's FArchiveFiles.
TDynArray<FString> GetFileSet(const FString& Dir, const char16_t* Suffix);
// How many names of the list exist (can be opened for reading).
int32_t CountExistingFiles(const TDynArray<FString>& List);
// Deletes every file of the list, read-only ones too; a missing file counts as deleted. Returns the number of
// names handled, or -1 as soon as one existing file cannot be deleted.
int32_t DeleteFiles(const TDynArray<FString>& List);
// Moves OldList[i] onto NewList[i] (an existing destination is replaced). Returns the number moved, or -1 at the
// first failure, leaving the later pairs untouched.
int32_t RenameFiles(const TDynArray<FString>& NewList, const TDynArray<FString>& OldList);
// Shrinks SrcList[i] into DestList[i] and makes each result durable on the disk. Returns the number built, or
// -1 when a build fails (the shrinker removes its unfinished output); Last then says how the failed one ended.
int32_t BuildShrunkFiles(const TDynArray<FString>& SrcList, const TDynArray<FString>& DestList);
int32_t BuildShrunkFiles(const TDynArray<FString>& SrcList, const TDynArray<FString>& DestList,
                         const FShrinkOptions& Options, FShrinkResult& Last);
// MiB free for the calling user on the volume of Dir (0 when it cannot be told).
uint32_t GetFreeDiskSpaceMB(const FString& Dir);

// ---- Tests and transactions ---------------------------------------------------------------------------------

// What travels with a transaction besides its game folder.
struct FShrinkJobOptions : FShrinkChoice
{
    // The archives (each NAME.img, absolute), one transaction each in this order; empty: Models\gta3.img below the
    // game folder, or with bAllArchives every archive the game loads.
    TDynArray<FString> ArchivePaths;
    // Without ArchivePaths: every archive the game loads (gta3.img, then those of data\gta.dat), one transaction
    // each in that order, as pellmor --all does them; the tests answer for all of them together.
    bool bAllArchives = false;
    // A restore goes ahead although the shrunk archive in use changed after the shrink (the change is lost from
    // the game; the changed archive is kept, never to be taken over by a shrink).
    bool bDiscardChanges = false;
    // The job's one stop request, for every kind of job; null: none. The job server points it at the job's record
    // and sets it on CancelJob, and when a running estimate is deleted. A shrink's build stops at it (and then no other
    // archive is started), as a preview's and an estimate's dry runs do; a test, a restore and a clean-up run to their
    // end.
    std::atomic<int32_t>* Cancel = nullptr;
    // MakePreview: the folder its page goes into.
    FString PreviewDir;
    // A shrink in the fit mode over several archives: what the plan made over all of them makes of the one whose
    // turn it is (set by the job for each turn; null: the archive is planned alone).
    const FFitArchivePlan* FitPlan = nullptr;
};

// The two tests and the two transactions on the game's main archive. Each returns the empty text on success,
// else the reason.
FString CheckCanShrink(const FString& Dir);
FString CheckCanUnshrink(const FString& Dir);
bool CanUnshrink(const FString& Dir);
FString PerformShrink(const FString& Dir);
FString PerformUnshrink(const FString& Dir);

// The same on any archive's set, with typed results. Each holds the folder's transaction lock for its whole
// length; a second transaction on the folder meanwhile (this process or another) fails at once as Busy.
FString CheckCanShrink(const FArchiveFiles& Files);
FString CheckCanUnshrink(const FArchiveFiles& Files);
FTransactionResult ShrinkArchive(const FArchiveFiles& Files, const FShrinkJobOptions& Options);
FTransactionResult RestoreArchive(const FArchiveFiles& Files, const FShrinkJobOptions& Options = FShrinkJobOptions());
// How a clean-up of what a shrink keeps beside an archive ended.
enum class ECleanOutcome : int32_t
{
    Done,        // Removed lists what was removed
    NothingToDo, // no kept shrunk archive and no leftover of a build
    Busy,        // another shrink or restore holds the folder; nothing was touched
    Interrupted, // NAME.img is missing while the original is kept: a restore comes first; nothing was touched
    // The kept shrunk archive holds a change made to it after the shrink (a mod installed while the game was
    // shrunk, then a restore told to discard it): it is the only copy of that change, and stays unless told.
    Changed,
    Failed, // FailedFile could not be deleted (OsError); those in Removed were
};

struct FCleanResult
{
    ECleanOutcome Outcome = ECleanOutcome::NothingToDo;
    TDynArray<FString> Removed; // the files removed, in the order removed
    int64_t FreedBytes = 0;     // what they held
    FString FailedFile;
    uint32_t OsError = 0;
};

// Removes what a shrink keeps beside an archive that the game does not need: the shrunk archive kept for the next
// shrink (NAME_SHRUNK_BAK.img, with its record unless the shrunk archive in use needs it) and the leftover of an
// interrupted build (NAME_TEMP.img). Never NAME.img, never the kept original NAME_ORIG_BAK.img. Holds the folder's
// transaction lock; refuses a kept archive that holds a change made after the shrink unless bDiscardChanges.
FCleanResult CleanArchive(const FArchiveFiles& Files, bool bDiscardChanges);
// Every set a job works on: those of Options.ArchivePaths, else with bAllArchives each archive of ListGameArchives,
// else the game folder's main archive.
TDynArray<FArchiveFiles> GetJobArchiveSets(const FString& Dir, const FShrinkJobOptions& Options);

// ---- Jobs ---------------------------------------------------------------------------------------------------

// What a job does.
enum class EJobKind : int32_t
{
    Unknown,     // a line whose command is none of these: it does nothing
    CanShrink,   // "true" or "false" (or "busy"), and each archive's status
    CanUnshrink, // the same for a restore
    Shrink,      // the shrink transaction on each archive that passes its test
    Restore,     // the restore transaction, likewise
    Estimate,    // what a shrink would make of each archive in its original state
    Preview,     // the preview page of the archives' originals
    Clean,       // what the shrinks keep beside each archive, removed
};

// One request to the engine, as values: what to do, the game folder, and what travels with it. The front ends
// make these; the text job lines are read into one only at the edge (ReadJobLine), so that nothing in a folder's
// name is ever read as anything but the folder.
struct FJobRequest
{
    EJobKind Kind = EJobKind::Unknown;
    FString Dir;               // the game folder, ending with a separator
    FShrinkJobOptions Options; // which archives, the settings, the skip rules, the threads
    FString CommandName;       // Unknown: the command as the line wrote it, for the trace
};

// Reads a job line "Cmd,Dir": the command's name in any letter case ("CanShrink", "CanUnshrink", "PerformShrink",
// "PerformUnshrink", "Estimate", "MakePreview", "CleanKept") and the directory, everything after the first comma
// (a directory holding a comma arrives whole; a line without one has an empty directory).
FJobRequest ReadJobLine(const FString& Line);

// ---- Job server ---------------------------------------------------------------------------------------------
// Reached only through this interface. Every operation is called on the owner's thread and returns at once,
// except Shutdown, which waits for the worker.
class FShrinkEngineServerBase
{
public:
    virtual ~FShrinkEngineServerBase() {}
    // Asks the worker to stop, waits for it (a job in progress is finished first) and destroys the server.
    virtual void Shutdown() = 0;
    virtual bool IsBusy() = 0;
    // Queues the job line "Cmd,Arg" (ReadJobLine); returns the new job's id (1, 2, 3, ...; never 0).
    virtual int32_t QueueJob(const FString& Command) = 0;
    // True with the job's result once it has finished; false while it is queued or running, or unknown.
    virtual bool GetJobResult(int32_t Id, FString& Result) = 0;
    // Asks for the job's removal; the worker carries it out between jobs. A running estimate is asked to stop as
    // well (within the entries in flight); the tests, the transactions and a preview run to their end. Always 0.
    virtual int32_t DeleteJob(int32_t Id) = 0;
    // Queues a request; returns the new job's id as the other QueueJob does.
    virtual int32_t QueueJob(const FJobRequest& Request) = 0;
    // Like GetJobResult, with the typed outcome besides the text.
    virtual bool GetJobOutcome(int32_t Id, struct FJobOutcome& Outcome) = 0;
    // Where a running transaction stands (see FJobProgress); false until it has said, and for a test.
    virtual bool GetJobProgress(int32_t Id, struct FJobProgress& Progress) = 0;
    // Asks the job to stop (its Options.Cancel): a pending job then starts nothing it may leave out, a running one
    // stops where it may. Its result stays until it is deleted. An unknown id is harmless.
    virtual void CancelJob(int32_t Id) = 0;
};

// One archive's part in a job.
struct FArchiveOutcome
{
    FString Path;                   // the archive's NAME.img
    FString Name;                   // its file name, "gta_int.img"
    FArchiveStatus Status;          // a CanShrink: its files as the test saw them
    bool bPasses = false;           // its own test passed (a transaction: it was ready to run)
    bool bRan = false;              // a transaction: its own ran (no cancel came before its turn)
    FTransactionResult Transaction; // when it ran
    // An estimate: what a shrink with the job's settings would make of it (Status.CurBytes before); -1 when it
    // was not estimated (not in its original state, or the dry run failed or was stopped).
    int64_t EstimatedBytes = -1;
    FCleanResult Clean; // a CleanKept: what it removed, or why not
};

// A test's answer as a value: the job's text says the same ("true", "false", "busy").
enum class ETestAnswer : int32_t
{
    Unknown, // not asked, or not answered yet
    Passes,  // the test passes (for one of the archives, when there are several)
    Fails,
    Busy, // another transaction holds the folder of one of the archives
};

// What a finished job hands back: the result text, and as values what the front ends need besides it.
struct FJobOutcome
{
    FString Result;
    ETestAnswer Answer = ETestAnswer::Unknown; // of a test
    // Of a PerformShrink or PerformUnshrink; of several archives the first that did not end as asked, else the
    // last that ran.
    FTransactionResult Transaction;
    FArchiveStatus Status;               // of a CanShrink: the files (of the first archive) as the test saw them
    TDynArray<FArchiveOutcome> Archives; // every archive the job was about, in order
    FString PreviewPage;                 // of a MakePreview that wrote its page: the page's index.html
};

// Where a transaction stands, said by the worker as each archive's turn comes. The archive's own share of its
// build comes through GShrinkProgress (0 to 100), set back to 0 before the turn is said.
struct FJobProgress
{
    FString Archive;          // the file name of the archive whose turn it is
    int32_t ArchiveIndex = 0; // 1-based, of the ArchiveCount archives that the transaction runs on
    int32_t ArchiveCount = 0;
    int64_t ArchiveBytes = 0; // what this archive's build reads (0: no build, a kept archive is taken)
    int64_t BytesBefore = 0;  // what the builds before it read
    int64_t TotalBytes = 0;   // what all of its builds read
};
typedef std::function<void(const FJobProgress&)> FJobProgressSink;

struct FShrinkJob
{
    int32_t Id;
    FJobRequest Request;
    FJobOutcome Outcome;
    FJobProgress Progress; // guarded by the server's lock
    bool bHasProgress = false;
    std::atomic<int32_t> Cancel{0}; // Options.Cancel while the job runs
};

class FShrinkEngineServer : public FShrinkEngineServerBase
{
public:
    FShrinkEngineServer();
    ~FShrinkEngineServer() override;

    void Shutdown() override;
    bool IsBusy() override;
    int32_t QueueJob(const FString& Command) override;
    bool GetJobResult(int32_t Id, FString& Result) override;
    int32_t DeleteJob(int32_t Id) override;
    int32_t QueueJob(const FJobRequest& Request) override;
    bool GetJobOutcome(int32_t Id, FJobOutcome& Outcome) override;
    bool GetJobProgress(int32_t Id, FJobProgress& Progress) override;
    void CancelJob(int32_t Id) override;

    // The worker thread's body.
    void ThreadLoop();
    // Runs one job line and gives its result text.
    static FString RunCommand(const FString& Command);
    // Runs one request. The tests answer "true" or "false", or "busy" while another transaction holds the folder;
    // of several archives "true" when one of them passes, "busy" when one is held. An estimate gives each archive
    // in its original state its EstimatedBytes: the kept shrunk archive's size when a shrink looks as if it would
    // take it over, else a dry run's (which stops at Options.Cancel: "Estimate canceled"); its text is the bytes of
    // all of them. It reads only, and takes no lock. A transaction runs on each archive that passes its test, one
    // after another, and tells Progress where it stands at each one's turn; a cancel ends it before the next turn.
    // "Shrink canceled" replaces a shrink's text only when a build was cancelled or a turn was not started for the
    // cancel. A preview writes the page of the settings into Options.PreviewDir (of each archive the original: the
    // kept one of a shrunk game): PreviewPage is set and the text is "Preview made", else the text says why not. A
    // clean-up removes what the shrinks keep beside each archive (CleanArchive, with Options.bDiscardChanges); its
    // text is empty when every archive ended Done or NothingToDo.
    static FJobOutcome RunJob(const FJobRequest& Request, const FJobProgressSink& Progress = FJobProgressSink());

    std::thread ThreadHandle;
    std::atomic<int32_t> StopFlag;
    std::mutex VarsLock;
    struct FVars
    {
        int32_t NextJobId = 0;
        TMap<int32_t, FShrinkJob*> JobMap;
        TDynArray<int32_t> PendingQueue;
        int32_t CurrentJob = 0;
        TDynArray<int32_t> FinishedList;
        TDynArray<int32_t> DeleteList;
    } Vars;

private:
    void Iterate();

    // Lets Shutdown wait for the worker with a time-out.
    std::mutex DoneLock;
    std::condition_variable DoneSignal;
    bool bThreadDone = false;
};

// Makes a server and starts its worker thread.
FShrinkEngineServerBase* CreateEngineServer();
