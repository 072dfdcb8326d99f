// Scratch texts, formatting into them, the fatal error entry and the trace routines.
#include "Core/Inc/CoreUtil.h"

#include <atomic>
#include <mutex>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/FGlobalVars.h"
#include "Core/Inc/FOutputDevice.h"

int32_t GCriticalError = 0;

namespace
{
char16_t GScratchTexts[SCRATCH_TEXT_COUNT][SCRATCH_TEXT_SIZE];
std::atomic<uint32_t> GScratchCounter{0};

std::mutex& EngineTraceLock()
{
    static std::mutex Lock;
    return Lock;
}
} // namespace

char16_t* appScratchText()
{
    const uint32_t Slot = GScratchCounter.fetch_add(1) % SCRATCH_TEXT_COUNT;
    char16_t* Text = GScratchTexts[Slot];
    Text[0] = 0;
    return Text;
}

const char16_t* appScratchPrintf(const char16_t* Format, ...)
{
    char16_t* Text = appScratchText();
    va_list Args;
    va_start(Args, Format);
    appFormatV(Text, SCRATCH_TEXT_SIZE, Format, Args);
    va_end(Args);
    return Text;
}

const char16_t* appFromAnsi(const char* Text)
{
    if (!Text)
        return nullptr;
    char16_t* Result = appScratchText();
    int32_t i = 0;
    for (; i < SCRATCH_TEXT_SIZE - 1 && Text[i]; ++i)
        Result[i] = char16_t((unsigned char)Text[i]);
    Result[i] = 0;
    return Result;
}

void Core::Service::FOutputDevice::Logf(const char16_t* Format, ...)
{
    char16_t* Text = appScratchText();
    va_list Args;
    va_start(Args, Format);
    appFormatV(Text, SCRATCH_TEXT_SIZE - 1, Format, Args);
    va_end(Args);
    Serialize(Text, 1);
}

void appFailAssert(const char* Expression, const char* File, int32_t Line)
{
    const char16_t* WideExpression = appFromAnsi(Expression);
    const char16_t* WideFile = appFromAnsi(File);
    appError(u"Assertion failed: %s [File:%s] [Line: %i]", WideExpression, WideFile, Line);
}

void appError(const char16_t* Format, ...)
{
    char16_t* Text = appScratchText();
    va_list Args;
    va_start(Args, Format);
    appFormatV(Text, SCRATCH_TEXT_SIZE - 1, Format, Args);
    va_end(Args);
    GGlobalVars()->GetErrorDevice()->Serialize(Text, 1);
}

bool appTraceEnabled()
{
    return CoreOS::TraceEnabled();
}

void appSetTraceEnabled(bool bEnabled)
{
    CoreOS::SetTraceEnabled(bEnabled);
}

void appTrace(int32_t /*Event*/, const char16_t* Format, ...)
{
    if (!CoreOS::TraceEnabled())
        return;
    char16_t* Text = appScratchText();
    va_list Args;
    va_start(Args, Format);
    appFormatV(Text, SCRATCH_TEXT_SIZE, Format, Args);
    va_end(Args);
    CoreOS::DebugOutput(Text);
}

const char16_t* GetTraceTimestamp()
{
    CoreOS::FLocalTime Now;
    CoreOS::GetLocalTime(Now);
    return appScratchPrintf(u"%02d:%02d:%02d:%04d", Now.Hour, Now.Minute, Now.Second, Now.Milliseconds);
}

void EngineTrace(const char16_t* Format, ...)
{
    if (!CoreOS::TraceEnabled())
        return;
    std::lock_guard<std::mutex> Guard(EngineTraceLock());
    char16_t* Text = appScratchText();
    va_list Args;
    va_start(Args, Format);
    appFormatV(Text, SCRATCH_TEXT_SIZE, Format, Args);
    va_end(Args);
    appTrace(1, u"%s  %s", GetTraceTimestamp(), Text);
}
