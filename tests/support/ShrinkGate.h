// Holds the engine's worker thread inside a shrink: at the shrinker's "  Reading " trace line it waits until
// the gate is open. With CancelAt set, a trace line containing it raises bWantCancel and the worker waits until
// *CancelFlag is set, as when a user presses Cancel at that moment.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

class FShrinkGate
{
public:
    explicit FShrinkGate(bool bClosed = true);
    ~FShrinkGate();
    // Waits (at most 20 s) until the worker has arrived; false if it never did.
    bool WaitArrived();
    void Open();
    void Close()
    {
        std::lock_guard<std::mutex> Guard(Lock);
        bOpen = false;
    }

    std::string CancelAt;
    std::atomic<int32_t>* CancelFlag = nullptr;
    std::atomic<bool> bWantCancel{false};

private:
    static void Hook(const char16_t* Text);
    static FShrinkGate* Current;
    std::mutex Lock;
    std::condition_variable Signal;
    bool bArrived = false;
    bool bOpen;
    bool bTraceWas;
};
