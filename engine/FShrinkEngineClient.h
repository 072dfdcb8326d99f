// The engine client: the front end's one handle on the engine. It owns the job server, turns the user's two
// actions into queued jobs, keeps the two prerequisite tests answered in the background, and publishes plain
// status fields that the front end reads on its timer. Every operation runs on the front end's thread and
// returns at once; only the destructor waits (for a running job to end).
#pragma once

#include <atomic>
#include <cstdint>

#include "Core/Inc/Core.h"

class FShrinkEngineServerBase;

class FShrinkEngineClientBase
{
public:
    virtual ~FShrinkEngineClientBase() {}
    // Collects finished jobs, publishes their results and queues fresh tests of Dir. Call once per timer tick.
    // The answers published are about Dir and about the files as they are after the last transaction: when Dir
    // differs from the folder of the last call, or a transaction has been queued since the tests were, their
    // answers are dropped and CanShrinkText and CanUnshrinkText stay empty until tests asked afterwards answer.
    virtual bool Update(const FString& Dir) = 0;
    // Queue a shrink / a restore of the game in Dir (ending with a separator). False, and nothing changes,
    // while a shrink or a restore is already in flight. Tests still in flight are withdrawn from the engine.
    virtual bool PerformShrink(const FString& Dir) = 0;
    virtual bool PerformUnshrink(const FString& Dir) = 0;

    // "none" when no shrink runs, else "%d/100".
    FString GetShrinkProgressText() const;

    // The published status.
    FString CanShrinkText;   // "true", "false", or empty while unknown
    FString CanUnshrinkText; // the same for the restore test
    int32_t bShrinking = 0;
    int32_t ShrinkProgress = 0;
    int32_t bCancelShrink = 0; // set by the front end to stop the running shrink
    FString ShrinkResult;      // message of the last failed shrink; the front end takes it and empties it
    int32_t bUnshrinking = 0;
    FString UnshrinkResult;
};

struct FEngineRequest
{
    int32_t JobId = 0; // 0: no job in flight
    FString Result;    // collected result until consumed
};

class FShrinkEngineClient : public FShrinkEngineClientBase
{
public:
    FShrinkEngineClient();
    // Cancels a shrink in flight, waits for the engine to stop and clears the process-wide pointers.
    ~FShrinkEngineClient() override;

    bool Update(const FString& Dir) override;
    bool PerformShrink(const FString& Dir) override;
    bool PerformUnshrink(const FString& Dir) override;

    FShrinkEngineServerBase* Server;
    FEngineRequest CanShrinkRequest;
    FEngineRequest CanUnshrinkRequest;
    FEngineRequest ShrinkRequest;
    FEngineRequest UnshrinkRequest;
    // Shared with the worker thread without a lock: the shrinker reads the one and writes the other.
    std::atomic<int32_t> CancelFlag;
    std::atomic<int32_t> Progress;

private:
    void PollRequest(FEngineRequest& Request);
    // Publishes a collected test answer into Text.
    static void PublishAnswer(FEngineRequest& Request, FString& Text);
    // Withdraws the tests in flight and forgets every answer: they no longer describe the files in question.
    void DropTests();
    // Queues "Command,Dir" into Request unless a transaction is in flight; sets bRunning on success.
    bool QueueTransaction(FEngineRequest& Request, int32_t& bRunning, const char16_t* Command, const FString& Dir);

    // The folder that the tests in flight, and the answers published, are about.
    FString TestDir;
};

FShrinkEngineClientBase* CreateEngineClient();
