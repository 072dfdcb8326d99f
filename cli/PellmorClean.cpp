// pellmor clean: removes what the shrinks keep beside each archive that the game does not need (the shrunk copy
// kept for the next shrink, a leftover of an interrupted build), never an original, and says what it removed.
#include "Core/Inc/CoreFormat.h"
#include "cli/PellmorInternals.h"

namespace
{
struct FCleanRun
{
    FGameArchive Archive;
    FCleanResult Clean;
    FArchiveVerdict Verdict;
};

void WriteRun(FJsonWriter& Json, const FCleanRun& Run)
{
    Json.BeginObject();
    WriteArchiveNames(Json, Run.Archive);
    Json.Key(u"removed").BeginArray();
    for (const FString& Path : Run.Clean.Removed)
        Json.String(ShownFile(Run.Archive, Path));
    Json.EndArray();
    Json.Key(u"freedBytes").Number(Run.Clean.FreedBytes);
    WriteArchiveEnd(Json, Run.Verdict);
    Json.EndObject();
}

} // namespace

int32_t RunClean(const FPellmorOptions& Options, FPellmorConsole& Console)
{
    FGameDir Game;
    TDynArray<FGameArchive> Archives;
    int32_t Exit = PELLMOR_Usage;
    if (!FindGameArchives(Options, Console, Game, Archives, Exit))
        return Exit;
    TDynArray<FCleanRun> Runs;
    int64_t Freed = 0;
    Exit = PELLMOR_Done;
    for (const FGameArchive& Archive : Archives)
    {
        FCleanRun Run;
        Run.Archive = Archive;
        Run.Clean = CleanArchive(Archive.Files, Options.bDiscardChanges);
        Run.Verdict = SayClean(Archive, Run.Clean);
        Freed += Run.Clean.FreedBytes;
        if (Exit == PELLMOR_Done && !Run.Verdict.EndedAsAsked())
            Exit = PellmorExitCode(ErrorFor(Run.Verdict.Problem), CoreOS::INTERRUPT_None);
        if (!Options.bJson && Run.Verdict.EndedAsAsked())
            SayOut(Console, Run.Verdict.Sentence);
        else if (!Options.bJson)
        {
            // What was removed before a file refused is news, the refusal a failure.
            PrintVerdict(Console, Options, Run.Verdict);
        }
        Runs.AddItem(Run);
    }
    if (Options.bJson)
    {
        FJsonWriter Json;
        if (Options.NamesArchives())
            Json.BeginArray();
        for (const FCleanRun& Run : Runs)
            WriteRun(Json, Run);
        if (Options.NamesArchives())
            Json.EndArray();
        Console.Out(Json.Text());
    }
    else if (Freed > 0)
        SayOut(Console, FString::Printf(u"%s freed. The originals are as they were; a shrink builds its archive anew.",
                                        *appFormatMegabytes(Freed)));
    return Exit;
}
