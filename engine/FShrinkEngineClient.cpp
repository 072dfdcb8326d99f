// The engine client: queued actions, background tests and the published status.
#include "engine/FShrinkEngineClient.h"

#include <initializer_list>

#include "engine/FShrinkEngineServer.h"
#include "shrinker/FImgShrinker.h"

namespace
{
bool IsSameList(const TDynArray<FString>& A, const TDynArray<FString>& B)
{
    if (A.Num() != B.Num())
        return false;
    for (int32_t i = 0; i < A.Num(); ++i)
        if (A[i] != B[i])
            return false;
    return true;
}

// Copies the text out and empties it at the source.
FString Take(FString& Text)
{
    FString Taken = Text;
    Text.Empty();
    return Taken;
}
} // namespace

FString FShrinkEngineClientBase::GetShrinkProgressText() const
{
    if (!bShrinking)
        return FString(u"none");
    return FString::Printf(u"%d/100", ShrinkProgress);
}

FShrinkEngineClient::FShrinkEngineClient() : Server(nullptr), CancelFlag(0), Progress(0)
{
    Server = CreateEngineServer();
    GShrinkCancelFlag = &CancelFlag;
    GShrinkProgress = &Progress;
}

FShrinkEngineClient::~FShrinkEngineClient()
{
    // A shrink in flight (running or still queued) is cancelled, so it stops within one entry and removes its
    // unfinished output; Shutdown then waits for the worker. The two pointers stay valid until the worker is
    // gone, so a queued shrink that starts now still sees the cancel request.
    for (const FEngineRequest* Request : {&ShrinkRequest, &PreviewRequest})
        if (Request->JobId != 0)
        {
            Server->CancelJob(Request->JobId);
            CancelFlag.store(1);
        }
    DropEstimate();
    Server->Shutdown();
    Server = nullptr;
    GShrinkProgress = nullptr;
    GShrinkCancelFlag = nullptr;
}

FShrinkEngineClientBase* CreateEngineClient()
{
    return new FShrinkEngineClient;
}

void FShrinkEngineClient::PollRequest(FEngineRequest& Request)
{
    if (Request.JobId == 0)
        return;
    FJobOutcome Outcome;
    if (Server->GetJobOutcome(Request.JobId, Outcome))
    {
        Server->DeleteJob(Request.JobId);
        Request.JobId = 0;
        Request.Result = Outcome.Result;
        Request.Outcome = Outcome;
        Request.bEnded = true;
    }
}

bool FShrinkEngineClient::PublishAnswer(FEngineRequest& Request, FString& Text, ETestAnswer& Answer)
{
    if (Request.JobId != 0 || Request.Result.IsEmpty())
        return false;
    Text = Request.Result;
    Answer = Request.Outcome.Answer;
    Request.Result.Empty();
    return true;
}

void FShrinkEngineClient::DropTests()
{
    for (FEngineRequest* Request : {&CanShrinkRequest, &CanUnshrinkRequest})
    {
        // A test that is running finishes; the server then throws its record away.
        if (Request->JobId != 0)
            Server->DeleteJob(Request->JobId);
        Request->JobId = 0;
        Request->Result.Empty();
    }
    CanShrinkText.Empty();
    CanUnshrinkText.Empty();
    CanShrinkAnswer = ETestAnswer::Unknown;
    CanUnshrinkAnswer = ETestAnswer::Unknown;
    Archives.Empty();
}

void FShrinkEngineClient::DropEstimate()
{
    if (EstimateRequest.JobId != 0)
        Server->DeleteJob(EstimateRequest.JobId);
    EstimateRequest = FEngineRequest();
    bEstimating = 0;
    bEstimated = false;
    Estimate.Empty();
}

void FShrinkEngineClient::FollowEstimate(const FString& Dir)
{
    PollRequest(EstimateRequest);
    if (EstimateRequest.bEnded)
    {
        Estimate = EstimateRequest.Outcome.Archives;
        EstimateRequest = FEngineRequest();
        bEstimated = true;
    }
    // Only a folder that can be shrunk is estimated, and only between transactions, whose end changes the files.
    if (!bEstimated && EstimateRequest.JobId == 0 && CanShrinkAnswer == ETestAnswer::Passes && ShrinkRequest.JobId == 0 &&
        UnshrinkRequest.JobId == 0)
        EstimateRequest.JobId = Server->QueueJob(FJobRequest{EJobKind::Estimate, Dir, TestOptions, FString()});
    bEstimating = EstimateRequest.JobId != 0 ? 1 : 0;
}

bool FShrinkEngineClient::Update(const FString& Dir)
{
    return Update(Dir, TestOptions);
}

bool FShrinkEngineClient::Update(const FString& Dir, const FShrinkJobOptions& Options)
{
    FollowTestOptions(Dir, Options);
    CollectJobs();
    PublishTests();
    FollowShrink();
    FollowRestore();
    if (CanShrinkRequest.JobId == 0 && CanUnshrinkRequest.JobId == 0 && ShrinkRequest.JobId == 0 &&
        UnshrinkRequest.JobId == 0 && CleanRequest.JobId == 0)
    {
        CanShrinkRequest.JobId = Server->QueueJob(FJobRequest{EJobKind::CanShrink, Dir, TestOptions, FString()});
        CanUnshrinkRequest.JobId = Server->QueueJob(FJobRequest{EJobKind::CanUnshrink, Dir, TestOptions, FString()});
        TestDir = Dir;
    }
    FollowEstimate(Dir);
    return true;
}

void FShrinkEngineClient::FollowTestOptions(const FString& Dir, const FShrinkJobOptions& Options)
{
    // Answers about another folder, or other archives, say nothing about these.
    if (Dir != TestDir || !IsSameList(Options.ArchivePaths, TestOptions.ArchivePaths) ||
        Options.bAllArchives != TestOptions.bAllArchives)
    {
        DropTests();
        DropEstimate();
        TestOptions.ArchivePaths = Options.ArchivePaths;
        TestOptions.bAllArchives = Options.bAllArchives;
    }
    if (!Options.Settings.MakesSameArchive(TestOptions.Settings))
        DropEstimate();
    TestOptions.Settings = Options.Settings;
}

void FShrinkEngineClient::CollectJobs()
{
    for (FEngineRequest* Request :
         {&CanShrinkRequest, &CanUnshrinkRequest, &ShrinkRequest, &UnshrinkRequest, &PreviewRequest, &CleanRequest})
        PollRequest(*Request);
    bPreviewing = PreviewRequest.JobId != 0 ? 1 : 0;
    bCleaning = CleanRequest.JobId != 0 ? 1 : 0;
    if (CleanRequest.bEnded)
    {
        CleanRequest.bEnded = false;
        CleanArchives = CleanRequest.Outcome.Archives;
        bCleaned = 1;
    }
    if (PreviewRequest.bEnded)
    {
        PreviewRequest.bEnded = false;
        PreviewPage = PreviewRequest.Outcome.PreviewPage;
        PreviewResult = Take(PreviewRequest.Result);
    }
}

void FShrinkEngineClient::PublishTests()
{
    if (PublishAnswer(CanShrinkRequest, CanShrinkText, CanShrinkAnswer))
    {
        Status = CanShrinkRequest.Outcome.Status;
        Archives = CanShrinkRequest.Outcome.Archives;
    }
    PublishAnswer(CanUnshrinkRequest, CanUnshrinkText, CanUnshrinkAnswer);
}

void FShrinkEngineClient::FollowShrink()
{
    if (ShrinkRequest.JobId != 0)
    {
        bShrinking = 1;
        MeasureShrink();
        // The job's own stop request first: whoever watches the published flag sees a cancel already on its way.
        if (bCancelShrink)
            Server->CancelJob(ShrinkRequest.JobId);
        CancelFlag.store(bCancelShrink);
    }
    else
    {
        bShrinking = 0;
        bCancelShrink = 0;
        CancelFlag.store(0);
    }
    if (TakeTransactionEnd(ShrinkRequest, ShrinkOutcome, ShrinkArchives) && !ShrinkRequest.Result.IsEmpty())
    {
        bShrinking = 0;
        ShrinkResult = ShrinkRequest.Result;
        ShrinkRequest.Result.Empty();
    }
}

void FShrinkEngineClient::FollowRestore()
{
    bUnshrinking = UnshrinkRequest.JobId != 0 ? 1 : 0;
    if (TakeTransactionEnd(UnshrinkRequest, UnshrinkOutcome, UnshrinkArchives) && !UnshrinkRequest.Result.IsEmpty())
    {
        UnshrinkResult = UnshrinkRequest.Result;
        UnshrinkRequest.Result.Empty();
    }
}

bool FShrinkEngineClient::IsWorkInFlight() const
{
    return ShrinkRequest.JobId != 0 || UnshrinkRequest.JobId != 0 || PreviewRequest.JobId != 0 ||
           CleanRequest.JobId != 0;
}

bool FShrinkEngineClient::QueueTransaction(FEngineRequest& Request, int32_t& bRunning, EJobKind Kind,
                                           const FString& Dir, const FShrinkJobOptions& Options)
{
    if (IsWorkInFlight())
        return false;
    Request.JobId = Server->QueueJob(FJobRequest{Kind, Dir, Options, FString()});
    if (Request.JobId == 0)
        return false;
    bRunning = 1;
    if (&Request == &ShrinkRequest)
    {
        // The shrinker has not said anything yet about this shrink.
        Progress.store(0);
        ShrinkProgress = 0;
        ShrinkProgressInfo = FShrinkProgressInfo();
        ShrinkStart = appSeconds();
    }
    // The old answers are void once the game files are about to change, and so are those of the tests still
    // queued or running: collected together with the transaction's end, they would be taken as current. The
    // first answers published afterwards come from tests queued once the transaction has finished.
    DropTests();
    DropEstimate();
    TestOptions.ArchivePaths = Options.ArchivePaths;
    TestOptions.bAllArchives = Options.bAllArchives;
    return true;
}

bool FShrinkEngineClient::PerformShrink(const FString& Dir, const FShrinkJobOptions& Options)
{
    return QueueTransaction(ShrinkRequest, bShrinking, EJobKind::Shrink, Dir, Options);
}

bool FShrinkEngineClient::PerformUnshrink(const FString& Dir, const FShrinkJobOptions& Options)
{
    return QueueTransaction(UnshrinkRequest, bUnshrinking, EJobKind::Restore, Dir, Options);
}

bool FShrinkEngineClient::CleanKept(const FString& Dir, const FShrinkJobOptions& Options)
{
    return QueueTransaction(CleanRequest, bCleaning, EJobKind::Clean, Dir, Options);
}

bool FShrinkEngineClient::MakePreview(const FString& Dir, const FShrinkJobOptions& Options)
{
    if (IsWorkInFlight())
        return false;
    PreviewRequest.JobId = Server->QueueJob(FJobRequest{EJobKind::Preview, Dir, Options, FString()});
    bPreviewing = PreviewRequest.JobId != 0 ? 1 : 0;
    return bPreviewing != 0;
}

bool FShrinkEngineClient::TakeTransactionEnd(FEngineRequest& Request, FTransactionResult& Outcome,
                                             TDynArray<FArchiveOutcome>& Archives)
{
    if (Request.JobId != 0 || !Request.bEnded)
        return false;
    Request.bEnded = false;
    Outcome = Request.Outcome.Transaction;
    Archives = Request.Outcome.Archives;
    return true;
}

void FShrinkEngineClient::MeasureShrink()
{
    // The share of the archive whose turn it is, weighed by what its build reads among all of the builds.
    const int32_t Percent = Progress.load();
    int32_t Overall = Percent;
    int64_t Done = 0;
    FJobProgress Turn;
    FShrinkProgressInfo& Info = ShrinkProgressInfo;
    if (Server->GetJobProgress(ShrinkRequest.JobId, Turn))
    {
        Info.Archive = Turn.Archive;
        Info.ArchiveIndex = Turn.ArchiveIndex;
        Info.ArchiveCount = Turn.ArchiveCount;
        Info.BytesTotal = Turn.TotalBytes;
        if (Turn.TotalBytes > 0)
        {
            Done = Turn.BytesBefore + Turn.ArchiveBytes * Percent / 100;
            Overall = int32_t((Turn.BytesBefore * 100 + Turn.ArchiveBytes * Percent) / Turn.TotalBytes);
        }
    }
    // Read between two turns, the share may be the next archive's before its turn is said: the old value stands.
    ShrinkProgress = Overall > ShrinkProgress ? (Overall < 100 ? Overall : 100) : ShrinkProgress;
    Info.BytesDone = Done > Info.BytesDone ? Done : Info.BytesDone;
    const double Seconds = appSeconds() - ShrinkStart;
    const bool bRate = Seconds >= 0.5 && Info.BytesDone > 0 && Info.BytesTotal > 0;
    Info.SecondsLeft = bRate ? Seconds * double(Info.BytesTotal - Info.BytesDone) / double(Info.BytesDone) : -1.0;
}
