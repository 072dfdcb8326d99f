// pellmor shrink and restore: the transactions run on the engine client exactly as the dialog runs them (the same
// client, the same job, Update every tick), with a console in place of the window. Several archives are one job:
// the engine runs them one after another, each a transaction of its own, so that one archive's failure touches no
// other; what stands in the way is told before anything starts.
#include <chrono>
#include <thread>

#include "Core/Inc/CoreUtil.h"
#include "cli/PellmorInternals.h"
#include "engine/FShrinkEngineClient.h"

namespace
{
// The dialog ticks once a second; a console can afford to look ten times as often.
const int32_t TickMs = 100;

void Sleep()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(TickMs));
}

// One archive's part in a shrink or a restore.
struct FArchiveRun
{
    FGameArchive Archive;
    FArchiveLook Before;
    FArchiveLook After;
    FArchiveVerdict Verdict;   // what kept it from starting, or how it ended; None: done
    FTransactionResult Result; // of its transaction, when it ran
    bool bRan = false;
    bool bNotStarted = false; // Ctrl-C came before its turn
    int64_t BuildBytes = 0;   // what its build reads: its share of the progress
};

// What the archives of one command share while they run.
struct FTransactionRun
{
    const FPellmorOptions& Options;
    FPellmorConsole& Console;
    bool bShrink;
    FProgressDisplay& Display;
    int64_t TotalBytes = 0;
    bool bCancelAsked = false;
};

// What the command's options ask of every transaction.
FShrinkJobOptions JobOptionsOf(const FPellmorOptions& Options)
{
    FShrinkJobOptions JobOptions;
    JobOptions.Choice() = Options.Choice();
    JobOptions.bDiscardChanges = Options.bDiscardChanges;
    return JobOptions;
}

// The display at the start of Turns' archive Index (1-based): its caption, and the share of the bytes built
// before it.
void ShowTurn(FTransactionRun& Run, const TDynArray<FArchiveRun*>& Turns, int32_t Index);

// Runs the archives of JobOptions (those of Turns, in order) as one job of the engine's, on an engine client
// exactly as the dialog runs it: the engine takes them one after another; the shrink's progress goes into the
// display, its caption following the archive whose turn it is (each archive's turn is shown, also one that began
// and ended between two looks), and Ctrl-C into the shrink's own cancel flag, as the progress window's Cancel
// button does it, after which the engine starts no other. A restore is two renames an archive and is never broken
// off. Gives each archive's part, in order.
TDynArray<FArchiveOutcome> RunOnEngine(FTransactionRun& Run, const FString& Dir, const FShrinkJobOptions& JobOptions,
                                       const TDynArray<FArchiveRun*>& Turns)
{
    FShrinkEngineClientBase* Client = CreateEngineClient();
    TDynArray<FArchiveOutcome> Outcomes;
    // A fresh client has nothing in flight and refuses nothing.
    const bool bQueued =
        Run.bShrink ? Client->PerformShrink(Dir, JobOptions) : Client->PerformUnshrink(Dir, JobOptions);
    int32_t Turn = 0;
    for (bool bFirst = true; bQueued; bFirst = false)
    {
        if (!bFirst)
            Sleep();
        if (Run.bShrink && Run.Console.Interrupted() != CoreOS::INTERRUPT_None && !Run.bCancelAsked)
        {
            Client->bCancelShrink = 1;
            Run.bCancelAsked = true;
            Run.Display.Finish(false);
            if (!Run.Options.bJson)
                Run.Console.Out(FString(u"Cancelling...\n"));
        }
        Client->Update(Dir);
        const bool bEnded = !(Run.bShrink ? Client->bShrinking : Client->bUnshrinking);
        if (bEnded)
            Outcomes = Run.bShrink ? Client->ShrinkArchives : Client->UnshrinkArchives;
        // The turns that began since the last look, up to the one running now (or, at the end, the last that ran).
        int32_t Now = Client->ShrinkProgressInfo.ArchiveIndex;
        for (int32_t i = Turn; bEnded && i < Outcomes.Num(); ++i)
            Now = Outcomes[i].bRan ? i + 1 : Now;
        for (; Run.bShrink && !Run.bCancelAsked && Turn < Now && Turn < Turns.Num(); ++Turn)
            ShowTurn(Run, Turns, Turn + 1);
        if (bEnded)
            break;
        if (Run.bShrink && !Run.bCancelAsked && Run.TotalBytes > 0)
            Run.Display.Update(Client->ShrinkProgress);
    }
    delete Client;
    return Outcomes;
}

// Looks at every archive and decides which can go ahead.
TDynArray<FArchiveRun> CheckArchives(const TDynArray<FGameArchive>& Archives, const FPellmorOptions& Options,
                                     bool bShrink)
{
    TDynArray<FArchiveRun> Runs;
    for (const FGameArchive& Archive : Archives)
    {
        FArchiveRun Run;
        Run.Archive = Archive;
        Run.Before = LookAt(Archive, true);
        if (bShrink)
            Run.Before.Needs.bNeedsBuild =
                !LooksTakenAsItIs(Run.Before.Status, Archive.Files, Options.Settings, Options.SkipRulesFile);
        Run.Verdict = bShrink ? CheckBeforeShrink(Archive, Run.Before, Options.Settings)
                              : CheckBeforeRestore(Archive, Run.Before);
        const bool bBuild = bShrink && Run.Verdict.Problem == EVerdict::Done && Run.Before.Needs.bNeedsBuild;
        Run.BuildBytes = bBuild && Run.Before.Status.CurBytes > 0 ? Run.Before.Status.CurBytes : 0;
        Runs.AddItem(Run);
    }
    return Runs;
}

// A verdict as it comes: nothing to do is news on standard output, anything else a failure on standard error.
void PrintPlainVerdict(const FPellmorOptions& Options, FPellmorConsole& Console, const FArchiveVerdict& Verdict)
{
    if (Options.bJson)
        return;
    if (Verdict.Problem == EVerdict::NothingToDo)
        SayOut(Console, Verdict.Sentence);
    else
        PrintVerdict(Console, Options, Verdict);
}

// The line before the work: what is about to happen, and that Ctrl-C cancels it.
FString Announce(const TDynArray<FArchiveRun>& Runs, const FShrinkSettings& Settings, bool bShrink, bool bList)
{
    int32_t Count = 0;
    const FArchiveRun* First = nullptr;
    for (const FArchiveRun& Run : Runs)
        if (Run.Verdict.Problem == EVerdict::Done)
        {
            First = First ? First : &Run;
            ++Count;
        }
    if (!First)
        return FString();
    const FString& Dir = First->Archive.Game.Dir;
    if (!bShrink)
        return bList ? FString::Printf(u"Restoring %d archive%s in %s\n", Count, Count == 1 ? u"" : u"s",
                                       *ShellQuote(Dir))
                     : FString::Printf(u"Restoring the original archive in %s\n", *ShellQuote(Dir));
    int64_t Bytes = 0;
    for (const FArchiveRun& Run : Runs)
        Bytes += Run.BuildBytes;
    // What the build makes, when the player chose other than the standard shrink.
    const FString Made =
        Settings.MakesSameArchive(FShrinkSettings::Standard()) ? FString() : u"; " + Settings.Describe();
    if (bList && Bytes == 0)
        return FString::Printf(u"Shrinking %d archive%s in %s: the shrunk archives kept from an earlier shrink are "
                               u"taken as they are.\n",
                               Count, Count == 1 ? u"" : u"s", *ShellQuote(Dir));
    if (bList)
        return FString::Printf(u"Shrinking %d archive%s in %s (%s to build%s). Ctrl-C cancels.\n", Count,
                               Count == 1 ? u"" : u"s", *ShellQuote(Dir), *appFormatMegabytes(Bytes), *Made);
    if (First->BuildBytes == 0)
        return FString::Printf(u"Shrinking %s: reusing the shrunk archive kept from an earlier shrink.\n",
                               *ShellQuote(Dir));
    return FString::Printf(u"Shrinking %s (%d entries, %s%s). Ctrl-C cancels.\n",
                           *ShellQuote(PathAsOnDisk(First->Archive.Files.Cur)), First->Before.Status.Check.NumEntries,
                           *appFormatMegabytes(First->Before.Status.CurBytes), *Made);
}

void ShowTurn(FTransactionRun& Run, const TDynArray<FArchiveRun*>& Turns, int32_t Index)
{
    int64_t Before = 0;
    for (int32_t i = 0; i + 1 < Index; ++i)
        Before += Turns[i]->BuildBytes;
    Run.Display.SetCaption(Turns[Index - 1]->Archive.Shown, Turns.Num() > 1 || Run.Options.NamesArchives());
    if (Run.TotalBytes > 0)
        Run.Display.Update(int32_t(Before * 100 / Run.TotalBytes));
}

// What became of an archive the engine did not start: a cancel came before its turn, or its own test refused
// (the files changed since they were looked at), and then what stands in its way now.
void SayNotStarted(FTransactionRun& Run, FArchiveRun& Archive)
{
    if (Run.bCancelAsked)
    {
        Archive.bNotStarted = true;
        Archive.Verdict.Problem = EVerdict::Cancelled;
        Archive.Verdict.Sentence =
            FString::Printf(u"Cancelled before it started; %s is as it was.", *Archive.Archive.Shown);
        return;
    }
    Archive.After = LookAt(Archive.Archive, true);
    Archive.Verdict = Run.bShrink ? CheckBeforeShrink(Archive.Archive, Archive.After, Run.Options.Settings)
                                  : CheckBeforeRestore(Archive.Archive, Archive.After);
}

// Runs every archive that may go ahead as one job of the engine's; after Ctrl-C the engine starts no other.
void RunArchives(FTransactionRun& Run, TDynArray<FArchiveRun>& Runs)
{
    TDynArray<FArchiveRun*> Turns;
    FShrinkJobOptions JobOptions = JobOptionsOf(Run.Options);
    for (FArchiveRun& Archive : Runs)
        if (Archive.Verdict.Problem == EVerdict::Done)
        {
            Turns.AddItem(&Archive);
            JobOptions.ArchivePaths.AddItem(Archive.Archive.Files.Cur);
            Run.TotalBytes += Archive.BuildBytes;
        }
    if (Turns.Num() == 0)
        return;
    const TDynArray<FArchiveOutcome> Outcomes = RunOnEngine(Run, Turns[0]->Archive.Game.Dir, JobOptions, Turns);
    for (int32_t i = 0; i < Turns.Num(); ++i)
    {
        FArchiveRun& Archive = *Turns[i];
        if (i < Outcomes.Num() && Outcomes[i].bRan)
        {
            Archive.Result = Outcomes[i].Transaction;
            Archive.bRan = true;
            Archive.After = LookAt(Archive.Archive, false);
            Archive.Verdict = SayVerdict(Archive.Archive, Archive.Result.Verdict);
        }
        else
            SayNotStarted(Run, Archive);
        if (Archive.Verdict.Problem != EVerdict::Done)
        {
            Run.Display.Finish(false);
            PrintPlainVerdict(Run.Options, Run.Console, Archive.Verdict);
        }
    }
}

// ---- What became of the archives ----------------------------------------------------------------------------

// The state and size an archive ended with: as it was when it did not run.
const FArchiveStatus& StatusAfter(const FArchiveRun& Run)
{
    return Run.bRan ? Run.After.Status : Run.Before.Status;
}

// The fit mode: what the archives that were shrunk now came to, against the size asked of them together.
FFitAccount AccountFit(const TDynArray<FArchiveRun>& Runs, const FShrinkSettings& Settings)
{
    TDynArray<FTransactionResult> Shrinks;
    for (const FArchiveRun& Run : Runs)
        if (Run.bRan)
            Shrinks.AddItem(Run.Result);
    return ::AccountFit(Shrinks, Settings);
}

void WriteRun(FJsonWriter& Json, const FArchiveRun& Run, const FFitAccount& Fit)
{
    Json.BeginObject();
    WriteArchiveNames(Json, Run.Archive);
    Json.Key(u"stateBefore").String(GetArchiveStateName(Run.Before.Status.State));
    Json.Key(u"stateAfter").String(GetArchiveStateName(StatusAfter(Run).State));
    Json.Key(u"bytesBefore").Size(Run.Before.Status.CurBytes);
    Json.Key(u"bytesAfter").Size(StatusAfter(Run).CurBytes);
    Json.Key(u"kept").String(KeptName(Run.bRan ? Run.Result.Kept : EKeptArchive::None));
    // Why a kept shrunk archive was built anew; null when it was not.
    if (Run.bRan && Run.Result.Kept == EKeptArchive::Stale)
        Json.Key(u"keptWhy").String(Run.Result.KeptWhy);
    else
        Json.Key(u"keptWhy").Null();
    WriteArchiveEnd(Json, Run.Verdict);
    if (Fit.bAsked)
        WriteFitAccount(Json.Key(u"fit"), Fit);
    Json.EndObject();
}

FString RunsJson(const TDynArray<FArchiveRun>& Runs, bool bList, const FFitAccount& Fit)
{
    FJsonWriter Json;
    if (bList)
        Json.BeginArray();
    for (const FArchiveRun& Run : Runs)
        WriteRun(Json, Run, Fit);
    if (bList)
        Json.EndArray();
    return Json.Text();
}

// What a successful transaction of the one archive did, as shrink and restore have always said it.
FString DoneText(const FArchiveRun& Run, bool bShrink)
{
    const FGameArchive& Archive = Run.Archive;
    const FArchiveStatus& After = Run.After.Status;
    if (!bShrink)
    {
        FString Text = FString::Printf(u"Done. %s is the original again (%s).\n", *Archive.Shown,
                                       *appFormatMegabytes(After.CurBytes));
        if (After.KeptShrunkBytes >= 0 && After.RecordRead == ERecordRead::Read && After.Record.bChanged)
            Text += FString::Printf(u"The changed shrunk archive is kept as %s, but no shrink takes it over. Install "
                                    u"the mod again into the original, then run %s.\n",
                                    *ShownFile(Archive, Archive.Files.KeptShrunk), *CommandFor(u"shrink", Archive));
        else if (After.KeptShrunkBytes >= 0)
        {
            // The shrink that takes it over is the one with the choice it was made with.
            const FShrinkSettings Made =
                After.RecordRead == ERecordRead::Read ? After.Record.Settings : FShrinkSettings::Standard();
            Text += FString::Printf(u"The shrunk archive is kept as %s (%s), so %s takes seconds.\n",
                                    *ShownFile(Archive, Archive.Files.KeptShrunk),
                                    *appFormatMegabytes(After.KeptShrunkBytes),
                                    *CommandFor(*(u"shrink" + ShrinkOptionsFor(Made)), Archive));
        }
        return Text;
    }
    const int64_t Before = Run.Before.Status.CurBytes;
    FString Text = FString::Printf(u"Done. %s: %s -> %s", *Archive.Shown, *appFormatMegabytes(Before),
                                   *appFormatMegabytes(After.CurBytes));
    if (Before > 0 && After.CurBytes >= 0)
        Text += FString::Printf(u" (%d%% smaller)", int32_t((Before - After.CurBytes) * 100 / Before));
    Text += FString::Printf(u".\nThe shrink keeps the original as %s; the game folder holds %s more than before. "
                            u"Run %s to put it back.\n",
                            *ShownFile(Archive, Archive.Files.OrigBak),
                            *appFormatMegabytes(GetBytesBeyondOriginal(After)), *CommandFor(u"restore", Archive));
    return Text;
}

// Archive, state before and after, size before and after: one row per archive.
FString SummaryTable(const TDynArray<FArchiveRun>& Runs)
{
    TDynArray<TDynArray<FString>> Rows;
    Rows.AddItem(TableRow({u"Archive", u"Before", u"After", u"Size before", u"Size after"}));
    for (const FArchiveRun& Run : Runs)
        Rows.AddItem(
            TableRow({Run.Archive.Shown, GetArchiveStateName(Run.Before.Status.State),
                      Run.bNotStarted ? u"not started" : GetArchiveStateName(StatusAfter(Run).State),
                      appFormatMegabytes(Run.Before.Status.CurBytes), appFormatMegabytes(StatusAfter(Run).CurBytes)}));
    return FormatTable(Rows, (1u << 3) | (1u << 4), 0);
}

// What the game folder holds now beyond the originals, after a shrink of several archives.
FString ExtraText(const TDynArray<FArchiveRun>& Runs)
{
    int64_t ExtraBytes = 0;
    for (const FArchiveRun& Run : Runs)
        ExtraBytes += GetBytesBeyondOriginal(StatusAfter(Run));
    if (ExtraBytes <= 0)
        return FString();
    const FString Text = FString::Printf(u"The originals are kept beside the shrunk archives: the game folder holds %s "
                                         u"more than before the first shrink.",
                                         *appFormatMegabytes(ExtraBytes));
    const FGameArchive& Archive = Runs[0].Archive;
    return Archive.bAll ? Text + FString::Printf(u" Run %s to put them back.", *CommandFor(u"restore", Archive)) : Text;
}

// The plain account once everything has ended: the summary (a list) or the one archive's news, then a line for
// each kept shrunk archive that was built anew.
void PrintOutcome(FPellmorConsole& Console, const TDynArray<FArchiveRun>& Runs, bool bShrink, bool bList,
                  bool bCancelAsked)
{
    bool bAllDone = true;
    for (const FArchiveRun& Run : Runs)
        bAllDone = bAllDone && Run.Verdict.EndedAsAsked();
    if (bList)
    {
        Console.Out(SummaryTable(Runs) + (bAllDone ? u"Done.\n" : u""));
        if (bShrink)
            SayOut(Console, ExtraText(Runs));
    }
    else if (Runs[0].bRan && Runs[0].Verdict.Problem == EVerdict::Done)
    {
        if (bCancelAsked)
            SayOut(Console, FString(u"The cancel came too late: the shrink had finished."));
        SayOut(Console, DoneText(Runs[0], bShrink));
    }
    for (const FArchiveRun& Run : Runs)
        if (Run.bRan && Run.Result.Kept == EKeptArchive::Stale && Run.Verdict.Problem == EVerdict::Done)
            SayOut(Console, DescribeStaleKept(Run.Archive, Run.Result.KeptWhy, true));
}

// A cancel's exit code (what cancelled it), else the one of the first archive that did not end as asked.
int32_t ExitCodeOf(const TDynArray<FArchiveRun>& Runs, CoreOS::EInterrupt Interrupt)
{
    int32_t Exit = PELLMOR_Done;
    for (const FArchiveRun& Run : Runs)
    {
        if (Run.Verdict.Problem == EVerdict::Cancelled)
            return PellmorExitCode(EPellmorError::Cancelled, Interrupt);
        if (Exit == PELLMOR_Done && !Run.Verdict.EndedAsAsked())
            Exit = PellmorExitCode(ErrorFor(Run.Verdict.Problem), Interrupt);
    }
    return Exit;
}

int32_t RunTransactions(const FPellmorOptions& Options, FPellmorConsole& Console, bool bShrink)
{
    FGameDir Game;
    TDynArray<FGameArchive> Archives;
    int32_t Exit = PELLMOR_Usage;
    if (!FindGameArchives(Options, Console, Game, Archives, Exit))
        return Exit;
    const bool bList = Options.NamesArchives();
    TDynArray<FArchiveRun> Runs = CheckArchives(Archives, Options, bShrink);

    for (const FArchiveRun& Archive : Runs)
        if (Archive.Verdict.Problem != EVerdict::Done)
            PrintPlainVerdict(Options, Console, Archive.Verdict);
    if (!Options.bJson)
        SayOut(Console, Announce(Runs, Options.Settings, bShrink, bList));

    int32_t Entries = 0;
    int64_t Bytes = 0;
    for (const FArchiveRun& Archive : Runs)
        if (Archive.BuildBytes > 0)
        {
            Entries += Archive.Before.Status.Check.NumEntries;
            Bytes += Archive.BuildBytes;
        }
    const EProgressOutput Output = Bytes == 0          ? EProgressOutput::Hidden
                                   : !Options.bJson    ? EProgressOutput::Shown
                                   : Options.bProgress ? EProgressOutput::JsonLines
                                                       : EProgressOutput::Hidden;
    FProgressDisplay Bar(Console, FString(u"shrink"), Entries, Bytes, Output);
    FTransactionRun Run{Options, Console, bShrink, Bar};
    Console.WatchInterrupt(true);
    RunArchives(Run, Runs);
    Exit = ExitCodeOf(Runs, Console.Interrupted());
    Bar.Finish(Exit == PELLMOR_Done);
    Console.WatchInterrupt(false);

    // A fit that the rules could not reach is a shrink that did not do what was asked, though it did what it could.
    const FFitAccount Fit = AccountFit(Runs, Options.Settings);
    if (Exit == PELLMOR_Done && Fit.bAsked && !Fit.IsMet())
        Exit = PELLMOR_Failed;
    if (Options.bJson)
        Console.Out(RunsJson(Runs, bList, Fit));
    else
    {
        PrintOutcome(Console, Runs, bShrink, bList, Run.bCancelAsked);
        if (Fit.bAsked)
            SayOut(Console, DescribeFitAccount(Fit));
    }
    return Exit;
}
} // namespace

bool ResolveGameDir(const FPellmorOptions& Options, FPellmorConsole& Console, FGameDir& Game, int32_t& Exit)
{
    if (Options.Operands.Num() > 0)
    {
        Game = InterpretGameDirArgument(Options.Operands[0]);
        const char16_t* Named = Game.Given == EGameDirGiven::ModelsFolder  ? u"the Models folder"
                                : Game.Given == EGameDirGiven::ArchiveFile ? u"an archive file"
                                                                           : nullptr;
        if (Named && !Options.bJson)
            SayErr(Console, FString::Printf(u"pellmor: %s is %s; the game folder is %s",
                                            *ShellQuote(Options.Operands[0]), Named, *ShellQuote(Game.Dir)));
        // A name that is no folder at all is a slip: said at once, with the folder probably meant.
        if (Game.Given == EGameDirGiven::Missing || Game.Given == EGameDirGiven::OtherFile)
        {
            Exit = PrintFailure(Console, Options.bJson, EPellmorError::NoGame, DescribeNamedGameDir(Game), FString());
            return false;
        }
        return true;
    }
    FString Why;
    FGameDirSearch Search = GetGameDirSearch(Options.WinePrefix);
    Search.CurrentDir = Options.WorkingDir;
    if (FindGameDir(Search, Game, Why))
    {
        Game.Dir = appAbsolutePath(Game.Dir, Options.WorkingDir);
        return true;
    }
    // An example the user can paste, in their system's own terms.
    const FString Example = IsWindowsSystem() ? FString(GDefaultGameDir) : FString(u"/path/to/GTA San Andreas");
    Exit = PrintFailure(Console, Options.bJson, EPellmorError::NoGame,
                        FString::Printf(u"no game folder given, and none found: %s.", *Why),
                        FString::Printf(u"Name the game's folder (the one that holds Models), for example:\n"
                                        u"  pellmor %s %s",
                                        *Options.Command, *ShellQuote(Example)));
    return false;
}

int32_t RunShrink(const FPellmorOptions& Options, FPellmorConsole& Console)
{
    return RunTransactions(Options, Console, true);
}

int32_t RunRestore(const FPellmorOptions& Options, FPellmorConsole& Console)
{
    return RunTransactions(Options, Console, false);
}
