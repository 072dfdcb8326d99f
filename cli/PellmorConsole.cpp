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

FString FormatProgressLine(int32_t Percent, int32_t EntriesDone, int32_t EntriesTotal, double MBPerSecond,
                           double SecondsLeft, int32_t Width)
{
    Percent = Percent < 0 ? 0 : (Percent > 100 ? 100 : Percent);
    const FString Share = FString::Printf(u" %3d%%", Percent);
    const FString Entries =
        EntriesTotal > 0 ? FString::Printf(u"  %d/%d entries", EntriesDone, EntriesTotal) : FString();
    const FString Rate = MBPerSecond >= 0 ? FString::Printf(u"  %.1f MB/s", MBPerSecond) : FString();
    const FString Left = SecondsLeft >= 0 ? FString(u"  ") + appFormatDuration(SecondsLeft) + u" left" : FString();

    // One column stays spare so that the cursor never wraps. What does not fit goes, the least telling first:
    // the entries, the rate, the bar, the time left.
    const int32_t Columns = Width > 0 ? Width - 1 : 79;
    const struct
    {
        bool bBar;
        FString Tail;
    } Choices[] = {
        {true, Share + Entries + Rate + Left},
        {true, Share + Rate + Left},
        {true, Share + Left},
        {false, Share + Left},
        {false, Share},
    };
    for (const auto& Choice : Choices)
    {
        int32_t BarWidth = Columns - Choice.Tail.Len() - 2;
        if (Choice.bBar ? BarWidth < 10 : Choice.Tail.Len() > Columns)
            continue;
        FString Line;
        if (Choice.bBar)
        {
            BarWidth = BarWidth > 40 ? 40 : BarWidth;
            const int32_t Filled = BarWidth * Percent / 100;
            Line += u"[";
            for (int32_t i = 0; i < BarWidth; ++i)
                Line += i < Filled ? u'#' : u'-';
            Line += u"]";
        }
        return Line + Choice.Tail;
    }
    return Share.Left(Columns);
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
    if (bQuiet || (!bTerminal && Percent < NextPlainPercent && bCaptionShown))
        return;
    bCaptionShown = true;
    const double Seconds = double(CoreOS::GetTickMs() - StartMs) / 1000.0;
    const int32_t EntriesDone = int32_t(int64_t(TotalEntries) * Percent / 100);
    // A rate means something only after a moment and some work.
    const bool bRate = Seconds >= 0.5 && Percent > 0 && TotalBytes > 0;
    const double MBPerSecond = bRate ? double(TotalBytes) * Percent / 100.0 / 1e6 / Seconds : -1.0;
    const double SecondsLeft = bRate ? Seconds * (100 - Percent) / Percent : -1.0;
    if (bTerminal)
    {
        const int32_t Width = Console.Width();
        const int32_t Columns = Width > 0 ? Width - 1 : 79;
        // The caption goes first, unless it would leave the bar too little room.
        const bool bCaption = !Caption.IsEmpty() && Columns - Caption.Len() - 1 >= 30;
        FString Line = bCaption ? Caption + u" " : FString();
        Line += FormatProgressLine(Percent, EntriesDone, TotalEntries, MBPerSecond, SecondsLeft,
                                   bCaption ? Columns - Caption.Len() : Width);
        // Blanks over what is left of a longer line drawn before, short of the last column.
        const int32_t Drawn = Line.Len();
        for (int32_t i = Drawn; i < DrawnLength && i < Columns; ++i)
            Line += u' ';
        Console.Out(FString(u"\r") + Line);
        DrawnLength = Drawn;
        bDrawn = true;
        return;
    }
    FString Line = Caption.IsEmpty() ? FString::Printf(u"%s: %d%%", *Label, Percent)
                                     : FString::Printf(u"%s %s: %d%%", *Label, *Caption, Percent);
    FString Details;
    if (TotalEntries > 0)
        Details += FString::Printf(u"%d/%d entries", EntriesDone, TotalEntries);
    if (bRate)
        Details += FString::Printf(u"%s%.1f MB/s, %s left", Details.IsEmpty() ? u"" : u", ", MBPerSecond,
                                   *appFormatDuration(SecondsLeft));
    if (!Details.IsEmpty())
        Line += FString(u" (") + Details + u")";
    Console.Out(Line + u"\n");
    NextPlainPercent = (Percent / 10 + 1) * 10;
}

void FProgressDisplay::SetCaption(const FString& InCaption)
{
    bCaptionShown = bCaptionShown && InCaption == Caption;
    Caption = InCaption;
}

void FProgressDisplay::Finish(bool bDone)
{
    if (bDone && bTerminal && bDrawn)
        Update(100);
    if (bTerminal && bDrawn)
        Console.Out(FString(u"\n"));
    bDrawn = false;
    DrawnLength = 0;
}
