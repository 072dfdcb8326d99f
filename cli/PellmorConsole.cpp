// The pellmor command's console: standard streams, Ctrl-C, sizes and times, the progress display.
#include "cli/PellmorConsole.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"

namespace
{
std::atomic<int32_t> GInterrupted{0};

void OnInterrupt()
{
    GInterrupted.store(1);
}

// Trace lines from any thread, straight to standard error (on Windows the debug channel would swallow them).
void TraceToStderr(const char16_t* Text)
{
    std::string Line = FString(Text).ToUtf8();
    std::string Clean;
    for (char C : Line)
        if (C != '\r')
            Clean += C;
    if (Clean.empty() || Clean.back() != '\n')
        Clean += '\n';
    std::fputs(Clean.c_str(), stderr);
    std::fflush(stderr);
}

void Write(std::FILE* Stream, const FString& Text)
{
    const std::string Bytes = Text.ToUtf8();
    std::fputs(Bytes.c_str(), Stream);
    std::fflush(Stream);
}
} // namespace

// ---- The process's console ------------------------------------------------------------------------------------

FStdConsole::~FStdConsole()
{
    WatchInterrupt(false);
    SetVerbose(false);
}

void FStdConsole::Out(const FString& Text)
{
    Write(stdout, Text);
}

void FStdConsole::Err(const FString& Text)
{
    Write(stderr, Text);
}

bool FStdConsole::IsTerminal()
{
    return CoreOS::IsTerminal(1);
}

int32_t FStdConsole::Width()
{
    return CoreOS::TerminalWidth(1);
}

void FStdConsole::SetVerbose(bool bVerbose)
{
    CoreOS::SetDebugOutputHook(bVerbose ? &TraceToStderr : nullptr);
    appSetTraceEnabled(bVerbose);
}

void FStdConsole::WatchInterrupt(bool bWatch)
{
    GInterrupted.store(0);
    CoreOS::SetInterruptHandler(bWatch ? &OnInterrupt : nullptr);
}

bool FStdConsole::Interrupted()
{
    return GInterrupted.load() != 0;
}

// ---- Texts ----------------------------------------------------------------------------------------------------

FString FormatMegabytes(int64_t Bytes)
{
    if (Bytes < 0)
        return FString(u"-");
    return FString::Printf(u"%.1f MB", double(Bytes) / 1e6);
}

FString FormatDuration(double Seconds)
{
    if (Seconds < 0)
        return FString(u"?");
    const int64_t Whole = int64_t(Seconds + 0.5);
    if (Whole >= 3600)
        return FString::Printf(u"%lld:%02lld:%02lld", (long long)(Whole / 3600), (long long)(Whole / 60 % 60),
                               (long long)(Whole % 60));
    return FString::Printf(u"%lld:%02lld", (long long)(Whole / 60), (long long)(Whole % 60));
}

FString FormatProgressLine(int32_t Percent, int32_t EntriesDone, int32_t EntriesTotal, double MBPerSecond,
                           double SecondsLeft, int32_t Width)
{
    Percent = Percent < 0 ? 0 : (Percent > 100 ? 100 : Percent);
    FString Tail = FString::Printf(u" %3d%%", Percent);
    if (EntriesTotal > 0)
        Tail += FString::Printf(u"  %d/%d entries", EntriesDone, EntriesTotal);
    if (MBPerSecond >= 0)
        Tail += FString::Printf(u"  %.1f MB/s", MBPerSecond);
    if (SecondsLeft >= 0)
        Tail += FString(u"  ") + FormatDuration(SecondsLeft) + u" left";

    // Room for the bar: what the tail leaves, within sensible bounds, and one column spare so that the cursor
    // never wraps.
    const int32_t Columns = Width > 0 ? Width - 1 : 79;
    int32_t BarWidth = Columns - Tail.Len() - 2;
    if (BarWidth > 40)
        BarWidth = 40;
    FString Line;
    if (BarWidth >= 10)
    {
        const int32_t Filled = BarWidth * Percent / 100;
        Line += u"[";
        for (int32_t i = 0; i < BarWidth; ++i)
            Line += i < Filled ? u'#' : u'-';
        Line += u"]";
    }
    Line += Tail;
    return Line.Len() > Columns ? Line.Left(Columns) : Line;
}

// ---- Progress display -----------------------------------------------------------------------------------------

FProgressDisplay::FProgressDisplay(FPellmorConsole& InConsole, const FString& InLabel, int32_t InTotalEntries,
                                   int64_t InTotalBytes, bool bInQuiet)
    : Console(InConsole), Label(InLabel), TotalEntries(InTotalEntries), TotalBytes(InTotalBytes), bQuiet(bInQuiet),
      bTerminal(InConsole.IsTerminal()), StartMs(CoreOS::GetTickMs())
{
}

void FProgressDisplay::Update(int32_t Percent)
{
    Percent = Percent < 0 ? 0 : (Percent > 100 ? 100 : Percent);
    if (bQuiet || (!bTerminal && Percent < NextPlainPercent))
        return;
    const double Seconds = double(CoreOS::GetTickMs() - StartMs) / 1000.0;
    const int32_t EntriesDone = int32_t(int64_t(TotalEntries) * Percent / 100);
    // A rate means something only after a moment and some work.
    const bool bRate = Seconds >= 0.5 && Percent > 0 && TotalBytes > 0;
    const double MBPerSecond = bRate ? double(TotalBytes) * Percent / 100.0 / 1e6 / Seconds : -1.0;
    const double SecondsLeft = bRate ? Seconds * (100 - Percent) / Percent : -1.0;
    if (bTerminal)
    {
        Console.Out(FString(u"\r") + FormatProgressLine(Percent, EntriesDone, TotalEntries, MBPerSecond,
                                                         SecondsLeft, Console.Width()));
        bDrawn = true;
        return;
    }
    FString Line = FString::Printf(u"%s: %d%%", *Label, Percent);
    FString Details;
    if (TotalEntries > 0)
        Details += FString::Printf(u"%d/%d entries", EntriesDone, TotalEntries);
    if (bRate)
        Details += FString::Printf(u"%s%.1f MB/s, %s left", Details.IsEmpty() ? u"" : u", ", MBPerSecond,
                                   *FormatDuration(SecondsLeft));
    if (!Details.IsEmpty())
        Line += FString(u" (") + Details + u")";
    Console.Out(Line + u"\n");
    NextPlainPercent = (Percent / 10 + 1) * 10;
}

void FProgressDisplay::Finish(bool bDone)
{
    if (bDone && bTerminal && bDrawn)
        Update(100);
    if (bTerminal && bDrawn)
        Console.Out(FString(u"\n"));
    bDrawn = false;
}
