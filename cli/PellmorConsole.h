// Where the pellmor command writes, how it learns of Ctrl-C and the other requests to stop, and the progress it
// shows meanwhile.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "Core/Inc/CoreFormat.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreTemplateString.h"

// The command's terminal. The process uses FStdConsole; tests use their own to read what was written and to
// interrupt a command at a chosen moment. Used on the command's own (main) thread only.
class FPellmorConsole
{
public:
    virtual ~FPellmorConsole() {}
    // Standard output and standard error; the text goes out as it stands (the caller writes the line breaks).
    virtual void Out(const FString& Text) = 0;
    virtual void Err(const FString& Text) = 0;
    // Whether standard output is a terminal, and its width in columns (0 when unknown).
    virtual bool IsTerminal() = 0;
    virtual int32_t Width() = 0;
    // Trace lines of the engine and the shrinker to standard error, or none.
    virtual void SetVerbose(bool bVerbose) = 0;
    // While watched, Ctrl-C, SIGTERM and SIGHUP (a closed console on Windows) do not end the process but are only
    // noted. Interrupted tells which came first since watching last began, also after the watch ended;
    // INTERRUPT_None when none did.
    virtual void WatchInterrupt(bool bWatch) = 0;
    virtual CoreOS::EInterrupt Interrupted() = 0;
};

// The process's own standard output and error, the requests to stop through the OS layer.
class FStdConsole : public FPellmorConsole
{
public:
    ~FStdConsole() override;
    void Out(const FString& Text) override;
    void Err(const FString& Text) override;
    bool IsTerminal() override;
    int32_t Width() override;
    void SetVerbose(bool bVerbose) override;
    void WatchInterrupt(bool bWatch) override;
    CoreOS::EInterrupt Interrupted() override;
};

// What a progress line shows, chosen once for a run from the terminal's width: every field has its room from the
// start (the rate and the time left blank until they are known), so the bar keeps its width all along. What does
// not fit goes, the least telling first: the entries, the rate, the bar, the time left.
struct FProgressLayout
{
    int32_t BarWidth = 0; // 0: no bar
    bool bEntries = false;
    bool bRate = false;
    bool bTimeLeft = false;
};
// The layout for a line shorter than Width columns (0: unknown, taken as 80); EntriesTotal 0 shows no entries.
FProgressLayout ChooseProgressLayout(int32_t EntriesTotal, int32_t Width);
// One line of progress: "[#####-----]  45%  7335/16300 entries   38.2 MB/s     0:12 left", every line of a
// layout as long as the others. A negative rate or time is not known yet: blanks in its place.
FString FormatProgressLine(const FProgressLayout& Layout, int32_t Percent, int32_t EntriesDone, int32_t EntriesTotal,
                           double MBPerSecond, double SecondsLeft);

// Where the progress of a job goes.
enum class EProgressOutput : int32_t
{
    Shown,     // to people: on a terminal a bar redrawn in place, elsewhere a plain line at every tenth
    Hidden,    // nowhere
    JsonLines, // one JSON object a line on standard error at every step, for scripts (--json --progress):
               // {"archive", "percent", "bytesDone", "bytesTotal", "secondsLeft"} (null until known)
};

// The progress of one long job on the console. On a terminal a bar redrawn in place at every Update, blanking what
// a longer line drawn before left, and never wider than the terminal; otherwise a plain line "Label: 40% (...)"
// at the first Update and whenever the percentage reaches a further tenth. Rates and times come from the bytes
// done (TotalBytes * percent) over the time since construction.
class FProgressDisplay
{
public:
    FProgressDisplay(FPellmorConsole& InConsole, const FString& InLabel, int32_t InTotalEntries, int64_t InTotalBytes,
                     EProgressOutput InOutput = EProgressOutput::Shown);
    void Update(int32_t Percent);
    // Ends the bar's line (after a last redraw at 100 when bDone).
    void Finish(bool bDone);
    // What the work is on now (an archive's name): the JSON lines' "archive". When bShown, people see it too: on a
    // terminal on a line of its own above the bar whenever it changes, elsewhere after the plain line's label.
    void SetCaption(const FString& InCaption, bool bShown);

private:
    struct FMeasure
    {
        int32_t EntriesDone = 0;
        double MBPerSecond = -1.0; // negative: not known yet
        double SecondsLeft = -1.0;
    };
    FMeasure Measure(int32_t Percent) const;
    void DrawBar(int32_t Percent, const FMeasure& Now);
    void WritePlain(int32_t Percent, const FMeasure& Now);
    void WriteJson(int32_t Percent, const FMeasure& Now);

    FPellmorConsole& Console;
    FString Label;
    FString Caption;
    bool bCaptionShown = false; // people see the caption
    bool bCaptionNew = false;   // it changed since the last line
    int32_t TotalEntries;
    int64_t TotalBytes;
    EProgressOutput Output;
    bool bTerminal;
    FProgressLayout Layout;
    bool bDrawn = false;
    int32_t DrawnLength = 0;
    int32_t NextPlainPercent = 0;
    int32_t LastJsonPercent = -1;
    uint32_t StartMs;
};

// Runs Work on a worker thread while this thread redraws Display with Percent() every tenth of a second and turns
// Ctrl-C, SIGTERM or SIGHUP into Cancel; then finishes Display with Work's answer, which it returns.
bool RunShowingProgress(FPellmorConsole& Console, FProgressDisplay& Display, std::atomic<int32_t>& Cancel,
                        const std::function<bool()>& Work, const std::function<int32_t()>& Percent);
