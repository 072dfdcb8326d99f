// pellmor preview: the dry runs of a shrink written as a page of pictures, before and after.
#include <atomic>

#include "Core/Inc/CorePath.h"
#include "cli/PellmorInternals.h"
#include "engine/FPreviewPage.h"

namespace
{
// The archives of the command line: those --archive or --all name (of a shrunk one its kept original), else the
// one SRC names. False after saying what is wrong (Exit set).
bool ListPreviewArchives(const FPellmorOptions& Options, FPellmorConsole& Console, FPreviewRequest& Request,
                         int32_t& Exit)
{
    TDynArray<FGameArchive> Archives;
    if (!ListSourceArchives(Options, Console, Archives, Exit))
        return false;
    for (const FGameArchive& Archive : Archives)
    {
        Request.Archives.AddItem(Options.NamesArchives() ? MeasuredArchive(Archive, Options.bJson, Console)
                                                         : Options.Operands[0]);
        Request.Shown.AddItem(Archive.Shown);
    }
    return true;
}

// Runs the preview on a worker thread while this thread shows the progress (on a terminal, as report does) and
// turns Ctrl-C, SIGTERM or SIGHUP into its cancel.
FPreviewResult RunWithProgress(FPellmorConsole& Console, const FPellmorOptions& Options, FPreviewRequest& Request,
                               const FString& Dir)
{
    std::atomic<int32_t> Cancel{0};
    FPreviewProgress Progress;
    Request.Cancel = &Cancel;
    Request.Progress = &Progress;
    int64_t Bytes = 0;
    for (const FString& Archive : Request.Archives)
        Bytes += FileSizeOf(Archive);
    const EProgressOutput Output = Options.bJson          ? EProgressOutput::Hidden
                                   : Console.IsTerminal() ? EProgressOutput::Shown
                                                          : EProgressOutput::Hidden;
    FProgressDisplay Display(Console, FString(u"preview"), 0, Bytes, Output);
    Display.SetCaption(Request.Shown.Num() == 1 ? Request.Shown[0] : FString(u"all archives"), false);
    FPreviewResult Result;
    RunShowingProgress(
        Console, Display, Cancel,
        [&]()
        {
            Result = MakePreviewPage(Request, Dir);
            return Result.bOk;
        },
        [&]() { return Progress.Overall(); });
    return Result;
}
} // namespace

int32_t RunPreview(const FPellmorOptions& Options, FPellmorConsole& Console)
{
    FPreviewRequest Request;
    int32_t Exit = PELLMOR_Usage;
    if (!ListPreviewArchives(Options, Console, Request, Exit))
        return Exit;
    Request.Choice() = Options.Choice();
    Request.Count = Options.Count > 0 ? Options.Count : int32_t(PREVIEW_DefaultCount);
    const FString Dir =
        Options.OutDir.IsEmpty() ? appAbsolutePath(FString(u"pellmor-preview"), Options.WorkingDir) : Options.OutDir;
    FString Why;
    if (!CanWritePreview(Dir, Why))
        return PrintFailure(Console, Options.bJson, EPellmorError::Usage, Why, FString());
    const FPreviewResult Result = RunWithProgress(Console, Options, Request, Dir);
    if (Result.bCancelled)
        return PrintFailure(Console, Options.bJson, EPellmorError::Cancelled,
                            FString(u"cancelled; the preview page was not written"), FString());
    if (!Result.FailedArchive.IsEmpty())
        return PrintFailure(Console, Options.bJson, DryRunError(Result.Shrink),
                            DryRunFailureText(Result.FailedArchive, Result.Shrink), FString());
    if (!Result.bOk)
        return PrintFailure(Console, Options.bJson, EPellmorError::Failed, Result.Reason, FString());
    if (Options.bJson)
    {
        FJsonWriter Json;
        Json.BeginObject(FJsonWriter::Inline);
        Json.Key(u"page").String(Result.PagePath);
        Json.Key(u"settings").String(Options.Settings.ToText());
        Console.Out(Json.EndObject().Text());
        return PELLMOR_Done;
    }
    Console.Out(Result.PagePath + u"\n");
    return PELLMOR_Done;
}
