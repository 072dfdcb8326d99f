// Trace lines of one archive entry, traced at once or held for the entry's turn.
#include "shrinker/FEntryTrace.h"

#include <cstdarg>
#include <utility>

#include "Core/Inc/CoreUtil.h"

void FEntryTrace::Logf(const char16_t* Format, ...)
{
    if (!appTraceEnabled())
        return;
    va_list Args;
    va_start(Args, Format);
    FString Line = FString::PrintfV(Format, Args);
    va_end(Args);
    if (bHold)
        Lines.AddItem(std::move(Line));
    else
        EngineTrace(u"%s", *Line);
}

void FEntryTrace::Flush()
{
    for (const FString& Line : Lines)
        EngineTrace(u"%s", *Line);
    Lines.Empty();
}
