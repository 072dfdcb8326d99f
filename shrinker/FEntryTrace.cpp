// Trace lines of one archive entry, traced at once or held for the entry's turn.
#include "shrinker/FEntryTrace.h"

#include <cstdarg>

#include "Core/Inc/CoreUtil.h"

void FEntryTrace::Logf(const char16_t* Format, ...)
{
    if (!appTraceEnabled())
        return;
    char16_t* Text = appScratchText();
    va_list Args;
    va_start(Args, Format);
    appFormatV(Text, SCRATCH_TEXT_SIZE, Format, Args);
    va_end(Args);
    if (bHold)
        Lines.AddItem(FString(Text));
    else
        EngineTrace(u"%s", Text);
}

void FEntryTrace::Flush()
{
    for (const FString& Line : Lines)
        EngineTrace(u"%s", *Line);
    Lines.Empty();
}
