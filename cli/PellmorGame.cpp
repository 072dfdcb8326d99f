// pellmor status, shrink and restore: the game folder's transactions over the engine client, run exactly as the
// dialog runs them (the same client, the same jobs, Update every tick), with a console in place of the window.
#include <chrono>
#include <thread>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"
#include "cli/PellmorCommands.h"
#include "engine/FShrinkEngineClient.h"
#include "engine/FShrinkEngineServer.h"
#include "shrinker/FImgShrinker.h"

namespace
{
// The dialog ticks once a second; a console can afford to look ten times as often.
const int32_t TickMs = 100;

enum class EGameState
{
    Original,    // the game's own archive in use (a shrunk copy may be kept)
    Shrunk,      // the shrunk archive in use, the original kept
    Interrupted, // no gta3.img, the original kept: a restore repairs it
    Missing,     // no game files
    Changing,    // both tests passed: the files changed between them
};

const char16_t* StateName(EGameState State)
{
    switch (State)
    {
        case EGameState::Original:
            return u"original";
        case EGameState::Shrunk:
            return u"shrunk";
        case EGameState::Interrupted:
            return u"interrupted";
        case EGameState::Missing:
            return u"missing";
        case EGameState::Changing:
            return u"changing";
    }
    return u"";
}

// The four files of the set and their sizes (-1: missing).
struct FGameFiles
{
    FString Cur, Orig, Shrunk, Temp;
    int64_t CurBytes = -1, OrigBytes = -1, ShrunkBytes = -1, TempBytes = -1;
};

FGameFiles LookAtFiles(const FString& Dir)
{
    FGameFiles Files;
    Files.Cur = GetFileSet(Dir, u"")[0];
    Files.Orig = GetFileSet(Dir, u"_ORIG_BAK")[0];
    Files.Shrunk = GetFileSet(Dir, u"_SHRUNK_BAK")[0];
    Files.Temp = GetFileSet(Dir, u"_TEMP")[0];
    Files.CurBytes = FileSizeOf(Files.Cur);
    Files.OrigBytes = FileSizeOf(Files.Orig);
    Files.ShrunkBytes = FileSizeOf(Files.Shrunk);
    Files.TempBytes = FileSizeOf(Files.Temp);
    return Files;
}

void Sleep()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(TickMs));
}

// The folder named on the command line (or the game folder around the Models folder or archive named), else the
// one found where the game is usually kept. False after telling the user what to do.
bool ResolveGameDir(const FPellmorOptions& Options, FPellmorConsole& Console, FGameDir& Game, int32_t& Exit)
{
    if (Options.Operands.Num() > 0)
    {
        Game = InterpretGameDirArgument(Options.Operands[0]);
        const char16_t* Named = Game.Given == EGameDirGiven::ModelsFolder  ? u"the Models folder"
                                : Game.Given == EGameDirGiven::ArchiveFile ? u"an archive file"
                                                                           : nullptr;
        if (Named && !Options.bJson)
            Console.Err(
                FString::Printf(u"pellmor: %s is %s; the game folder is %s\n", *Options.Operands[0], Named, *Game.Dir));
        return true;
    }
    FString Why;
    if (FindGameDir(GetGameDirSearch(Options.WinePrefix), Game, Why))
    {
        Game.Dir = AbsolutePath(Game.Dir);
        return true;
    }
    // An example the user can paste, in their system's own terms.
    const FString Example =
        GetSystemSeparator() == u'\\' ? FString(GDefaultGameDir) : FString(u"/path/to/GTA San Andreas");
    Exit = PrintFailure(Console, Options.bJson, EPellmorError::NoGame,
                        FString::Printf(u"no game folder given, and none found: %s.", *Why),
                        FString::Printf(u"Name the game's folder (the one that holds Models), for example:\n"
                                        u"  pellmor %s %s",
                                        *Options.Command, *ShellQuote(Example)),
                        PELLMOR_Usage);
    return false;
}

// Waits, ticking the client, until it has answered both tests for the files as they are now.
void WaitForTests(FShrinkEngineClientBase& Client, const FString& Dir)
{
    for (;;)
    {
        Client.Update(Dir);
        if (!Client.bShrinking && !Client.bUnshrinking && !Client.CanShrinkText.IsEmpty() &&
            !Client.CanUnshrinkText.IsEmpty())
            return;
        Sleep();
    }
}

EGameState StateOf(const FShrinkEngineClientBase& Client, const FGameFiles& Files)
{
    const bool bCanShrink = appStricmp(*Client.CanShrinkText, u"true") == 0;
    const bool bCanRestore = appStricmp(*Client.CanUnshrinkText, u"true") == 0;
    if (bCanShrink && bCanRestore)
        return EGameState::Changing;
    if (bCanShrink)
        return EGameState::Original;
    if (bCanRestore)
        return Files.CurBytes >= 0 ? EGameState::Shrunk : EGameState::Interrupted;
    return EGameState::Missing;
}

// 0 when a file can be made in the Models folder, else the error number (5: access denied).
uint32_t ProbeWriteAccess(const FGameFiles& Files)
{
    const FString Probe = Files.Cur.Left(Files.Cur.Len() - appStrlen(u"gta3.img")) + u"pellmor-write-test.tmp";
    CoreOS::FFileHandle File =
        CoreOS::FileOpen(*Probe, CoreOS::FILEACCESS_Write, CoreOS::FILESHARE_None, CoreOS::FILECREATE_CreateNew);
    if (!File)
    {
        const uint32_t Error = CoreOS::LastError();
        return Error == 183 ? 0 : Error;
    }
    CoreOS::FileClose(File);
    CoreOS::FileDelete(*Probe);
    return 0;
}

// Texts name the files as Models\gta3.img; a folder written with '/' gets them written the same way.
FString ForFolder(const FString& Text, const FString& Dir)
{
    if (!Dir.EndsWith(u"/"))
        return Text;
    FString Result;
    for (int32_t i = 0; i < Text.Len(); ++i)
    {
        const bool bModels = i >= 6 && Text[i] == u'\\' && Text.Mid(i - 6, 6) == u"Models";
        Result += bModels ? u'/' : Text[i];
    }
    return Result;
}

// A plain sentence for what the engine reported, and what to do about it.
FString ExplainFailure(const FString& Message, const FGameFiles& Files, const FGameDir& Game)
{
    const FString& Dir = Game.Dir;
    if (Message.InStr(u"Not all Cur Files exist") >= 0)
    {
        if (Files.OrigBytes >= 0)
            return FString::Printf(u"Models\\gta3.img is missing, but the original is kept as "
                                   u"Models\\gta3_ORIG_BAK.img: an earlier shrink or restore was interrupted. "
                                   u"Run %s to repair it.",
                                   *CommandFor(u"restore", Game));
        return FString::Printf(u"There is no Models\\gta3.img in %s. Is this the game's folder (the one that "
                               u"holds Models)?",
                               *Dir);
    }
    if (Message.InStr(u"All Bak Files already exist") >= 0)
        return FString::Printf(u"The game is shrunk already (Models\\gta3_ORIG_BAK.img holds the original). "
                               u"%s undoes it.",
                               *CommandFor(u"restore", Game));
    if (Message.InStr(u"Not all Bak Files exist") >= 0)
        return FString::Printf(u"There is nothing to restore: Models\\gta3_ORIG_BAK.img is not in %s%s", *Dir,
                               Files.CurBytes >= 0 ? u", so the game's own archive is in use already." : u".");
    if (Message.InStr(u"Not enough disk space") >= 0)
        return FString(u"A shrink needs more than 768 MiB free on the drive that holds the game. Free some space "
                       u"and try again.");
    if (ProbeWriteAccess(Files) == 5)
        return FString::Printf(u"Access denied: you may not change the files in %sModels. Run pellmor as "
                               u"administrator, or move the game to a folder of your own (outside Program Files).",
                               *Dir);
    return FString::Printf(u"Run %s to see the state the files are in; a restore repairs an interrupted shrink.",
                           *CommandFor(u"status", Game));
}

int32_t PrintEngineFailure(FPellmorConsole& Console, const FString& Message, const FGameFiles& Files,
                           const FGameDir& Game)
{
    return PrintFailure(Console, false, EPellmorError::Failed, Message,
                        ForFolder(ExplainFailure(Message, Files, Game), Game.Dir), PELLMOR_Failed);
}

FString JsonSize(int64_t Bytes)
{
    return Bytes < 0 ? FString(u"null") : FString::Printf(u"%lld", (long long)Bytes);
}

// ---- status ---------------------------------------------------------------------------------------------------

// What to do next in the state, in one or two sentences.
FString NextStep(EGameState State, const FGameFiles& Files, const FGameDir& Game)
{
    switch (State)
    {
        case EGameState::Original:
            return FString::Printf(u"Run %s to make the archive smaller%s.", *CommandFor(u"shrink", Game),
                                   Files.ShrunkBytes >= 0 ? u" (it reuses the kept shrunk copy: a matter of seconds)"
                                                          : u"");
        case EGameState::Shrunk:
            return FString::Printf(u"The game loads the shrunk archive. Run %s to put the original back.",
                                   *CommandFor(u"restore", Game));
        case EGameState::Interrupted:
            return FString::Printf(u"A shrink or restore was interrupted: Models\\gta3.img is missing and the "
                                   u"original is safe as Models\\gta3_ORIG_BAK.img. Run %s to repair it.",
                                   *CommandFor(u"restore", Game));
        case EGameState::Missing:
            return FString::Printf(u"No game files here: neither Models\\gta3.img nor Models\\gta3_ORIG_BAK.img is "
                                   u"in %s. Name the game's folder, the one that holds Models.",
                                   *Game.Dir);
        case EGameState::Changing:
            return FString(u"The files changed while they were looked at. Run the status again.");
    }
    return FString();
}

// The status as JSON members, each line ending with a comma.
FString StatusJsonMembers(const FGameDir& Game, EGameState State, const FShrinkEngineClientBase& Client,
                          const FGameFiles& Files, const FString& Next)
{
    FString Json = FString::Printf(u"  \"gameDir\": %s,\n", *GameDirJson(Game));
    Json += FString::Printf(u"  \"state\": \"%s\",\n", StateName(State));
    Json += FString::Printf(u"  \"canShrink\": %s,\n  \"canRestore\": %s,\n",
                            appStricmp(*Client.CanShrinkText, u"true") == 0 ? u"true" : u"false",
                            appStricmp(*Client.CanUnshrinkText, u"true") == 0 ? u"true" : u"false");
    Json += FString::Printf(u"  \"files\": {\"gta3.img\": %s, \"gta3_ORIG_BAK.img\": %s, "
                            u"\"gta3_SHRUNK_BAK.img\": %s, \"gta3_TEMP.img\": %s},\n",
                            *JsonSize(Files.CurBytes), *JsonSize(Files.OrigBytes), *JsonSize(Files.ShrunkBytes),
                            *JsonSize(Files.TempBytes));
    Json += FString::Printf(u"  \"next\": %s,\n", *JsonString(Next));
    return Json;
}

FString StatusText(const FGameDir& Game, EGameState State, const FGameFiles& Files, const FString& Next)
{
    static const char16_t* const Meaning[] = {
        u"the game's own archive is in use", u"the shrunk archive is in use, the original is kept",
        u"a shrink or restore was interrupted", u"no game files found", u"the files are changing"};
    const FString From = DescribeGameDirSource(Game);
    FString Text = FString::Printf(u"Game folder: %s%s\n", *Game.Dir,
                                   From.IsEmpty() ? u"" : *(FString(u"  (from ") + From + u")"));
    Text += FString::Printf(u"State:       %s (%s)\n", StateName(State), Meaning[int32_t(State)]);
    struct
    {
        const char16_t* Name;
        int64_t Bytes;
        const char16_t* Note;
    } const Rows[] = {
        {u"gta3.img", Files.CurBytes,
         State == EGameState::Shrunk ? u"shrunk" : (State == EGameState::Original ? u"original" : u"")},
        {u"gta3_ORIG_BAK.img", Files.OrigBytes, u"the original, kept"},
        {u"gta3_SHRUNK_BAK.img", Files.ShrunkBytes, u"a shrunk copy kept for the next shrink"},
        {u"gta3_TEMP.img", Files.TempBytes, u"left by an interrupted shrink; the next shrink deletes it"},
    };
    bool bAny = false;
    for (const auto& Row : Rows)
    {
        if (Row.Bytes < 0)
            continue;
        if (!bAny)
            Text += u"Files:\n";
        bAny = true;
        Text += FString::Printf(u"  Models\\%-20s %12s  %s\n", Row.Name, *FormatMegabytes(Row.Bytes), Row.Note);
    }
    Text += FString::Printf(u"Next:        %s\n", *Next);
    return ForFolder(Text, Game.Dir);
}

int32_t PrintStatus(FPellmorConsole& Console, const FPellmorOptions& Options, const FGameDir& Game, EGameState State,
                    const FShrinkEngineClientBase& Client, const FGameFiles& Files)
{
    const FString Next = NextStep(State, Files, Game);
    if (!Options.bJson)
        Console.Out(StatusText(Game, State, Files, Next));
    const FString Members = StatusJsonMembers(Game, State, Client, Files, Next);
    if (State == EGameState::Missing)
        return PrintFailure(Console, Options.bJson, EPellmorError::NoGame,
                            FString::Printf(u"no game files in %s", *Game.Dir), FString(), PELLMOR_Failed, Members);
    if (State == EGameState::Changing)
        return PrintFailure(Console, Options.bJson, EPellmorError::Failed,
                            FString(u"the game files changed while they were looked at"), FString(), PELLMOR_Failed,
                            Members);
    if (Options.bJson)
        Console.Out(u"{\n" + Members.Left(Members.Len() - 2) + u"\n}\n");
    return PELLMOR_Done;
}
} // namespace

int32_t RunStatus(const FPellmorOptions& Options, FPellmorConsole& Console)
{
    FGameDir Game;
    int32_t Failed = PELLMOR_Usage;
    if (!ResolveGameDir(Options, Console, Game, Failed))
        return Failed;
    const FString& Dir = Game.Dir;
    FShrinkEngineClientBase* Client = CreateEngineClient();
    WaitForTests(*Client, Dir);
    const FGameFiles Files = LookAtFiles(Dir);
    const EGameState State = StateOf(*Client, Files);
    const int32_t Exit = PrintStatus(Console, Options, Game, State, *Client, Files);
    delete Client;
    return Exit;
}

// ---- shrink ---------------------------------------------------------------------------------------------------

int32_t RunShrink(const FPellmorOptions& Options, FPellmorConsole& Console)
{
    FGameDir Game;
    int32_t Exit = PELLMOR_Usage;
    if (!ResolveGameDir(Options, Console, Game, Exit))
        return Exit;
    const FString& Dir = Game.Dir;
    const FGameFiles Before = LookAtFiles(Dir);
    // The engine takes a kept shrunk archive as it is, without building one (and without the skip rules).
    const bool bReuse = Before.CurBytes >= 0 && Before.OrigBytes < 0 && Before.ShrunkBytes >= 0;
    if (!Options.SkipRulesFile.IsEmpty())
    {
        if (bReuse)
            Console.Err(FString(u"pellmor: the shrunk copy kept from an earlier shrink is used as it is, so "
                                u"--skip-rules has no effect. Delete Models\\gta3_SHRUNK_BAK.img first to build a "
                                u"new one with these rules.\n"));
    }

    Console.WatchInterrupt(true);
    FShrinkEngineClientBase* Client = CreateEngineClient();
    FShrinkJobOptions JobOptions;
    JobOptions.SkipRulesFile = Options.SkipRulesFile;
    Client->PerformShrink(Dir, JobOptions);
    // Only a shrink that will build an archive has progress to show; the engine refuses the others at once.
    const bool bBuild = !bReuse && Before.CurBytes >= 0 && Before.OrigBytes < 0;
    if (bReuse)
        Console.Out(FString::Printf(u"Shrinking %s: reusing the shrunk archive kept from an earlier shrink.\n", *Dir));
    else if (bBuild)
        Console.Out(ForFolder(FString::Printf(u"Shrinking %sModels\\gta3.img (%d entries, %s). Ctrl-C cancels.\n", *Dir,
                                              ReadImgEntryCount(Before.Cur), *FormatMegabytes(Before.CurBytes)),
                              Dir));
    FProgressDisplay Display(Console, FString(u"shrink"), ReadImgEntryCount(Before.Cur), Before.CurBytes, !bBuild);
    bool bCancelAsked = false;
    for (;;)
    {
        if (Console.Interrupted() && !bCancelAsked)
        {
            // Through the shrink's own cancel flag, as the progress window's Cancel button does it.
            Client->bCancelShrink = 1;
            bCancelAsked = true;
            Display.Finish(false);
            Console.Out(FString(u"Cancelling...\n"));
        }
        Client->Update(Dir);
        if (!Client->bShrinking)
            break;
        if (!bCancelAsked)
            Display.Update(Client->ShrinkProgress);
        Sleep();
    }
    const FString Result = Client->ShrinkResult;
    Client->ShrinkResult.Empty();
    if (Result.IsEmpty())
        Display.Finish(true);
    else
        Display.Finish(false);
    WaitForTests(*Client, Dir);
    const FGameFiles After = LookAtFiles(Dir);
    const EGameState State = StateOf(*Client, After);
    delete Client;
    Console.WatchInterrupt(false);

    // The engine says "Shrink canceled" whenever the cancel flag was up at the end, even when the files had been
    // swapped by then: the files decide.
    const bool bCanceled = Result == u"Shrink canceled";
    if (bCanceled && State != EGameState::Shrunk)
        return PrintFailure(Console, false, EPellmorError::Cancelled,
                            FString(u"cancelled; the game files are as they were"), FString(), PELLMOR_Cancelled);
    if (!Result.IsEmpty() && !bCanceled)
    {
        return PrintEngineFailure(Console, Result, After, Game);
    }
    if (bCanceled)
        Console.Out(FString(u"The cancel came too late: the shrink had finished.\n"));
    FString Text = FString::Printf(u"Done. Models\\gta3.img: %s -> %s", *FormatMegabytes(Before.CurBytes),
                                   *FormatMegabytes(After.CurBytes));
    if (Before.CurBytes > 0 && After.CurBytes >= 0)
        Text +=
            FString::Printf(u" (%d%% smaller)", int32_t((Before.CurBytes - After.CurBytes) * 100 / Before.CurBytes));
    Text += FString::Printf(u".\nThe original is kept as Models\\gta3_ORIG_BAK.img; %s puts it back.\n",
                            *CommandFor(u"restore", Game));
    Console.Out(ForFolder(Text, Dir));
    return PELLMOR_Done;
}

// ---- restore --------------------------------------------------------------------------------------------------

int32_t RunRestore(const FPellmorOptions& Options, FPellmorConsole& Console)
{
    FGameDir Game;
    int32_t Exit = PELLMOR_Usage;
    if (!ResolveGameDir(Options, Console, Game, Exit))
        return Exit;
    const FString& Dir = Game.Dir;
    // A restore is two renames; Ctrl-C is held off so that it is never broken off between them.
    Console.WatchInterrupt(true);
    FShrinkEngineClientBase* Client = CreateEngineClient();
    Client->PerformUnshrink(Dir);
    Console.Out(FString::Printf(u"Restoring the original archive in %s\n", *Dir));
    for (;;)
    {
        Client->Update(Dir);
        if (!Client->bUnshrinking)
            break;
        Sleep();
    }
    const FString Result = Client->UnshrinkResult;
    Client->UnshrinkResult.Empty();
    WaitForTests(*Client, Dir);
    const FGameFiles After = LookAtFiles(Dir);
    delete Client;
    Console.WatchInterrupt(false);

    if (!Result.IsEmpty())
    {
        return PrintEngineFailure(Console, Result, After, Game);
    }
    FString Text =
        FString::Printf(u"Done. Models\\gta3.img is the original again (%s).\n", *FormatMegabytes(After.CurBytes));
    if (After.ShrunkBytes >= 0)
        Text += FString::Printf(u"The shrunk archive is kept as Models\\gta3_SHRUNK_BAK.img (%s), so the next "
                                u"shrink takes seconds.\n",
                                *FormatMegabytes(After.ShrunkBytes));
    Console.Out(ForFolder(Text, Dir));
    return PELLMOR_Done;
}
