// FEntryTrace: where the trace lines of one archive entry go. A shrink on several threads reads and processes
// entries out of order; their lines are held here and traced when the entry is written, so that the trace of a
// parallel shrink reads line for line as that of a serial one (the timestamps are those of the moment the lines
// are traced).
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"

class FEntryTrace
{
public:
    // bInHold: keep the lines until Flush; otherwise each one goes to EngineTrace at once.
    explicit FEntryTrace(bool bInHold = false) : bHold(bInHold) {}

    // A line as EngineTrace takes it; nothing is formatted or kept while tracing is off. Held lines may be
    // added on one thread and flushed on another, as long as the two are ordered (the pipeline's hand-over).
    void Logf(const char16_t* Format, ...);
    // Traces the held lines in the order they came, then forgets them. Throws nothing.
    void Flush();

private:
    bool bHold;
    TDynArray<FString> Lines;
};
