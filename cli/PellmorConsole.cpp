// The pellmor command's console: standard streams, Ctrl-C, sizes and times, the progress display.
#include "cli/PellmorConsole.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "Core/Inc/CoreFormat.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"
#include "cli/PellmorJson.h"

namespace
{
std::atomic<int32_t> GInterrupted{CoreOS::INTERRUPT_None};

// The first request counts: a SIGHUP after Ctrl-C does not change how the command ended.
void OnInterrupt(CoreOS::EInterrupt Interrupt)
{
    int32_t None = CoreOS::INTERRUPT_None;
    GInterrupted.compare_exchange_strong(None, Interrupt);
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
    if (bWatch)
        GInterrupted.store(CoreOS::INTERRUPT_None);
    CoreOS::SetInterruptHandler(bWatch ? &OnInterrupt : nullptr);
}

CoreOS::EInterrupt FStdConsole::Interrupted()
{
    return CoreOS::EInterrupt(GInterrupted.load());
}

// ---- Texts ----------------------------------------------------------------------------------------------------

namespace
{
// The fields after the bar, each as wide in every line of a run.
FString ShareField(int32_t Percent)
{
    return FString::Printf(u" %3d%%", Percent);
}

FString EntriesField(int32_t Done, int32_t Total)
{
    const int32_t Digits = FString::Printf(u"%d", Total).Len();
    return FString::Printf(u"  %*d/%d entries", Digits, Done, Total);
}

FString RateField(double MBPerSecond)
{
    if (MBPerSecond < 0)
        return FString::Printf(u"%13s", u"");
    return FString::Printf(u"  %6.1f MB/s", MBPerSecond < 9999.9 ? MBPerSecond : 9999.9);
}

FString TimeLeftField(double SecondsLeft)
{
    return SecondsLeft < 0 ? FString::Printf(u"%14s", u"")
                           : FString::Printf(u"  %7s left", *appFormatDuration(SecondsLeft));
}

// The fields of Layout after the bar.
FString Tail(const FProgressLayout& Layout, int32_t Percent, int32_t EntriesDone, int32_t EntriesTotal,
             double MBPerSecond, double SecondsLeft)
{
    FString Text = ShareField(Percent);
    if (Layout.bEntries)
        Text += EntriesField(EntriesDone, EntriesTotal);
    if (Layout.bRate)
        Text += RateField(MBPerSecond);
    if (Layout.bTimeLeft)
        Text += TimeLeftField(SecondsLeft);
    return Text;
}
} // namespace

FProgressLayout ChooseProgressLayout(int32_t EntriesTotal, int32_t Width)
{
    // One column stays spare so that the cursor never wraps.
    const int32_t Columns = (Width > 0 ? Width : 80) - 1;
    const bool bEntries = EntriesTotal > 0;
    const FProgressLayout Choices[] = {
        {1, bEntries, true, true}, {1, false, true, true},   {1, false, false, true},
        {0, false, false, true},   {0, false, false, false},
    };
    for (FProgressLayout Layout : Choices)
    {
        const int32_t TailLength = Tail(Layout, 100, EntriesTotal, EntriesTotal, 0, 0).Len();
        const int32_t BarWidth = Columns - TailLength - 2;
        if (Layout.BarWidth > 0 ? BarWidth < 10 : TailLength > Columns)
            continue;
        Layout.BarWidth = Layout.BarWidth > 0 ? (BarWidth > 40 ? 40 : BarWidth) : 0;
        return Layout;
    }
    return FProgressLayout();
}

FString FormatProgressLine(const FProgressLayout& Layout, int32_t Percent, int32_t EntriesDone, int32_t EntriesTotal,
                           double MBPerSecond, double SecondsLeft)
{
    Percent = Percent < 0 ? 0 : (Percent > 100 ? 100 : Percent);
    FString Line;
    if (Layout.BarWidth > 0)
    {
        const int32_t Filled = Layout.BarWidth * Percent / 100;
        Line += u"[";
        for (int32_t i = 0; i < Layout.BarWidth; ++i)
            Line += i < Filled ? u'#' : u'-';
        Line += u"]";
    }
    return Line + Tail(Layout, Percent, EntriesDone, EntriesTotal, MBPerSecond, SecondsLeft);
}

// ---- Progress display -----------------------------------------------------------------------------------------

FProgressDisplay::FProgressDisplay(FPellmorConsole& InConsole, const FString& InLabel, int32_t InTotalEntries,
                                   int64_t InTotalBytes, EProgressOutput InOutput)
    : Console(InConsole), Label(InLabel), TotalEntries(InTotalEntries), TotalBytes(InTotalBytes), Output(InOutput),
      bTerminal(InConsole.IsTerminal()), StartMs(CoreOS::GetTickMs())
{
    if (bTerminal && Output == EProgressOutput::Shown)
        Layout = ChooseProgressLayout(TotalEntries, Console.Width());
}

FProgressDisplay::FMeasure FProgressDisplay::Measure(int32_t Percent) const
{
    FMeasure Now;
    const double Seconds = double(CoreOS::GetTickMs() - StartMs) / 1000.0;
    Now.EntriesDone = int32_t(int64_t(TotalEntries) * Percent / 100);
    // A rate means something only after a moment and some work.
    if (Seconds >= 0.5 && Percent > 0 && TotalBytes > 0)
    {
        Now.MBPerSecond = double(TotalBytes) * Percent / 100.0 / appBytesPerMegabyte() / Seconds;
        Now.SecondsLeft = Seconds * (100 - Percent) / Percent;
    }
    return Now;
}

void FProgressDisplay::Update(int32_t Percent)
{
    Percent = Percent < 0 ? 0 : (Percent > 100 ? 100 : Percent);
    if (Output == EProgressOutput::Hidden)
        return;
    if (Output == EProgressOutput::JsonLines)
        WriteJson(Percent, Measure(Percent));
    else if (bTerminal)
        DrawBar(Percent, Measure(Percent));
    else
        WritePlain(Percent, Measure(Percent));
}

void FProgressDisplay::DrawBar(int32_t Percent, const FMeasure& Now)
{
    FString Text = u"\r";
    if (bCaptionNew && bCaptionShown)
    {
        // The caption goes on a line of its own, over what the bar left there.
        Text += FString::Printf(u"%-*s\n", DrawnLength, *Caption);
        DrawnLength = 0;
    }
    bCaptionNew = false;
    FString Line = FormatProgressLine(Layout, Percent, Now.EntriesDone, TotalEntries, Now.MBPerSecond, Now.SecondsLeft);
    // Blanks over what is left of a longer line drawn before.
    const int32_t Drawn = Line.Len();
    for (int32_t i = Drawn; i < DrawnLength; ++i)
        Line += u' ';
    Console.Out(Text + Line);
    DrawnLength = Drawn;
    bDrawn = true;
}

void FProgressDisplay::WritePlain(int32_t Percent, const FMeasure& Now)
{
    if (Percent < NextPlainPercent && !(bCaptionNew && bCaptionShown))
        return;
    bCaptionNew = false;
    FString Line = !bCaptionShown || Caption.IsEmpty() ? FString::Printf(u"%s: %d%%", *Label, Percent)
                                                       : FString::Printf(u"%s %s: %d%%", *Label, *Caption, Percent);
    FString Details;
    if (TotalEntries > 0)
        Details += FString::Printf(u"%d/%d entries", Now.EntriesDone, TotalEntries);
    if (Now.MBPerSecond >= 0)
        Details += FString::Printf(u"%s%.1f MB/s, %s left", Details.IsEmpty() ? u"" : u", ", Now.MBPerSecond,
                                   *appFormatDuration(Now.SecondsLeft));
    if (!Details.IsEmpty())
        Line += FString(u" (") + Details + u")";
    Console.Out(Line + u"\n");
    NextPlainPercent = (Percent / 10 + 1) * 10;
}

void FProgressDisplay::WriteJson(int32_t Percent, const FMeasure& Now)
{
    if (Percent == LastJsonPercent && !bCaptionNew)
        return;
    bCaptionNew = false;
    LastJsonPercent = Percent;
    FJsonWriter Json;
    Json.BeginObject(FJsonWriter::Inline);
    Json.Key(u"archive").String(Caption);
    Json.Key(u"percent").Number(int64_t(Percent));
    Json.Key(u"bytesDone").Number(TotalBytes * Percent / 100);
    Json.Key(u"bytesTotal").Number(TotalBytes);
    Json.Key(u"secondsLeft");
    if (Now.SecondsLeft < 0)
        Json.Null();
    else
        Json.Number(int64_t(Now.SecondsLeft + 0.5));
    Console.Err(Json.EndObject().Text());
}

void FProgressDisplay::SetCaption(const FString& InCaption, bool bShown)
{
    bCaptionNew = bCaptionNew || InCaption != Caption || bShown != bCaptionShown;
    Caption = InCaption;
    bCaptionShown = bShown;
}

void FProgressDisplay::Finish(bool bDone)
{
    if (bDone && (bDrawn || Output == EProgressOutput::JsonLines))
        Update(100);
    if (bDrawn)
        Console.Out(FString(u"\n"));
    bDrawn = false;
    DrawnLength = 0;
}

bool RunShowingProgress(FPellmorConsole& Console, FProgressDisplay& Display, std::atomic<int32_t>& Cancel,
                        const std::function<bool()>& Work, const std::function<int32_t()>& Percent)
{
    std::atomic<int32_t> bFinished{0};
    bool bDone = false;
    Console.WatchInterrupt(true);
    std::thread Worker(
        [&]()
        {
            bDone = Work();
            bFinished.store(1);
        });
    while (!bFinished.load())
    {
        if (Console.Interrupted() != CoreOS::INTERRUPT_None)
            Cancel.store(1);
        Display.Update(Percent());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    Worker.join();
    Display.Finish(bDone);
    Console.WatchInterrupt(false);
    return bDone;
}
