#include "tests/support/ShrinkGate.h"

#include <chrono>
#include <thread>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"

FShrinkGate* FShrinkGate::Current = nullptr;

FShrinkGate::FShrinkGate(bool bClosed) : bOpen(!bClosed), bTraceWas(appTraceEnabled())
{
    Current = this;
    appSetTraceEnabled(true);
    CoreOS::SetDebugOutputHook(&FShrinkGate::Hook);
}

FShrinkGate::~FShrinkGate()
{
    Open();
    CoreOS::SetDebugOutputHook(nullptr);
    appSetTraceEnabled(bTraceWas);
    Current = nullptr;
}

void FShrinkGate::Hook(const char16_t* Text)
{
    FShrinkGate* Gate = Current;
    if (!Gate)
        return;
    if (appStrstr(Text, u"  Reading "))
    {
        std::unique_lock<std::mutex> Guard(Gate->Lock);
        Gate->bArrived = true;
        Gate->Signal.notify_all();
        Gate->Signal.wait(Guard, [Gate] { return Gate->bOpen; });
    }
    if (Gate->CancelFlag && !Gate->CancelAt.empty() && FString(Text).ToUtf8().find(Gate->CancelAt) != std::string::npos)
    {
        Gate->bWantCancel = true;
        for (int32_t i = 0; i < 10000 && Gate->CancelFlag->load() == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool FShrinkGate::WaitArrived()
{
    std::unique_lock<std::mutex> Guard(Lock);
    return Signal.wait_for(Guard, std::chrono::seconds(20), [this] { return bArrived; });
}

void FShrinkGate::Open()
{
    std::lock_guard<std::mutex> Guard(Lock);
    bOpen = true;
    Signal.notify_all();
}
