// The engine client: queued actions, background tests and the published status.
#include "engine/FShrinkEngineClient.h"

#include <initializer_list>

#include "engine/FShrinkEngineServer.h"
#include "shrinker/FImgShrinker.h"

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
    if (ShrinkRequest.JobId != 0)
        CancelFlag.store(1);
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
    FString Result;
    if (Server->GetJobResult(Request.JobId, Result))
    {
        Server->DeleteJob(Request.JobId);
        Request.JobId = 0;
        Request.Result = Result;
    }
}

void FShrinkEngineClient::PublishAnswer(FEngineRequest& Request, FString& Text)
{
    if (Request.JobId == 0 && !Request.Result.IsEmpty())
    {
        Text = Request.Result;
        Request.Result.Empty();
    }
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
}

bool FShrinkEngineClient::Update(const FString& Dir)
{
    // Answers about another folder say nothing about this one.
    if (Dir != TestDir)
        DropTests();

    PollRequest(CanShrinkRequest);
    PollRequest(CanUnshrinkRequest);
    PollRequest(ShrinkRequest);
    PollRequest(UnshrinkRequest);

    PublishAnswer(CanShrinkRequest, CanShrinkText);
    PublishAnswer(CanUnshrinkRequest, CanUnshrinkText);

    if (ShrinkRequest.JobId != 0)
    {
        bShrinking = 1;
        ShrinkProgress = Progress.load();
        CancelFlag.store(bCancelShrink);
    }
    else
    {
        bShrinking = 0;
        bCancelShrink = 0;
        CancelFlag.store(0);
    }
    if (ShrinkRequest.JobId == 0 && !ShrinkRequest.Result.IsEmpty())
    {
        bShrinking = 0;
        ShrinkResult = ShrinkRequest.Result;
        ShrinkRequest.Result.Empty();
    }

    bUnshrinking = UnshrinkRequest.JobId != 0 ? 1 : 0;
    if (UnshrinkRequest.JobId == 0 && !UnshrinkRequest.Result.IsEmpty())
    {
        UnshrinkResult = UnshrinkRequest.Result;
        UnshrinkRequest.Result.Empty();
    }

    if (CanShrinkRequest.JobId == 0 && CanUnshrinkRequest.JobId == 0 && ShrinkRequest.JobId == 0 &&
        UnshrinkRequest.JobId == 0)
    {
        CanShrinkRequest.JobId = Server->QueueJob(FString(appScratchPrintf(u"CanShrink,%s", *Dir)));
        CanUnshrinkRequest.JobId = Server->QueueJob(FString(appScratchPrintf(u"CanUnshrink,%s", *Dir)));
        TestDir = Dir;
    }
    return true;
}

bool FShrinkEngineClient::QueueTransaction(FEngineRequest& Request, int32_t& bRunning, const char16_t* Command,
                                           const FString& Dir)
{
    if (ShrinkRequest.JobId != 0 || UnshrinkRequest.JobId != 0)
        return false;
    Request.JobId = Server->QueueJob(FString(appScratchPrintf(u"%s,%s", Command, *Dir)));
    if (Request.JobId == 0)
        return false;
    bRunning = 1;
    // The old answers are void once the game files are about to change, and so are those of the tests still
    // queued or running: collected together with the transaction's end, they would be taken as current. The
    // first answers published afterwards come from tests queued once the transaction has finished.
    DropTests();
    return true;
}

bool FShrinkEngineClient::PerformShrink(const FString& Dir)
{
    return QueueTransaction(ShrinkRequest, bShrinking, u"PerformShrink", Dir);
}

bool FShrinkEngineClient::PerformUnshrink(const FString& Dir)
{
    return QueueTransaction(UnshrinkRequest, bUnshrinking, u"PerformUnshrink", Dir);
}
