// Where the pellmor command writes, how it learns of Ctrl-C, and the progress display it shows meanwhile.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreFormat.h"
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
    // While watched, Ctrl-C does not end the process but is only noted; Interrupted tells whether it came since
    // watching began.
    virtual void WatchInterrupt(bool bWatch) = 0;
    virtual bool Interrupted() = 0;
};

// The process's own standard output and error, Ctrl-C through the OS layer.
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
    bool Interrupted() override;
};

// One line of progress: "[#####-----]  45%  7335/16300 entries  38.2 MB/s  0:12 left", shorter than Width
// columns: the bar takes what the rest leaves (up to 40), and in a narrow terminal the entries, the rate, the bar
// and the time go, in that order. EntriesTotal 0 leaves the entries out, a negative rate or time the rate and
// the time.
FString FormatProgressLine(int32_t Percent, int32_t EntriesDone, int32_t EntriesTotal, double MBPerSecond,
                           double SecondsLeft, int32_t Width);

// The progress of one long job on the console. On a terminal a bar redrawn in place at every Update, blanking what
// a longer line drawn before left, and never wider than the terminal; otherwise a plain line "Label: 40% (...)"
// at the first Update and whenever the percentage reaches a further tenth.
// Rates and times come from the bytes done (TotalBytes * percent) over the time since construction.
class FProgressDisplay
{
public:
    FProgressDisplay(FPellmorConsole& InConsole, const FString& InLabel, int32_t InTotalEntries, int64_t InTotalBytes,
                     bool bInQuiet = false);
    void Update(int32_t Percent);
    // Ends the bar's line (after a last redraw at 100 when bDone).
    void Finish(bool bDone);
    // What the work is on now (an archive's name), shown before the bar and after the plain line's label, and
    // worth a plain line of its own when it changes. Empty: nothing.
    void SetCaption(const FString& InCaption);

private:
    FPellmorConsole& Console;
    FString Label;
    FString Caption;
    bool bCaptionShown = true;
    int32_t TotalEntries;
    int64_t TotalBytes;
    bool bQuiet;
    bool bTerminal;
    bool bDrawn = false;
    int32_t DrawnLength = 0;
    int32_t NextPlainPercent = 0;
    uint32_t StartMs;
};
