// The pellmor command's commands on archives files (shrink-img and report), and its small file and text helpers.
// The command line is read in PellmorCommandLine.cpp, the game folder's commands are in PellmorGame.cpp and
// PellmorStatus.cpp.
#include "cli/PellmorCommand.h"

#include <atomic>
#include <cmath>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"
#include "cli/PellmorInternals.h"
#include "shrinker/FImgShrinker.h"
#include "engine/FGameArchives.h"
#include "engine/FModFolder.h"
#include "shrinker/FTxdFileShrinker.h"
#include "shrinker/FTxdImage.h"

namespace
{
// ---- One archive on a thread of its own, with progress and Ctrl-C ----------------------------------------------

enum class EJobEnd
{
    Done,
    Failed,
    Cancelled
};

// Where the progress of a job on one archive goes: JSON lines when a script asked for them, else a bar on a
// terminal only (a log gets the outcome alone).
EProgressOutput ArchiveJobOutput(FPellmorConsole& Console, bool bJson, bool bProgress)
{
    if (bJson)
        return bProgress ? EProgressOutput::JsonLines : EProgressOutput::Hidden;
    return Console.IsTerminal() ? EProgressOutput::Shown : EProgressOutput::Hidden;
}

// Runs ShrinkGameFile (an archive, or a loose dictionary) on a worker thread while this thread shows the progress and turns Ctrl-C (or SIGTERM, SIGHUP)
// into the shrink's cancel request.
EJobEnd RunArchiveJob(FPellmorConsole& Console, const FString& Src, const FString& Dest, FShrinkOptions Options,
                      EProgressOutput Output, FShrinkResult& Result)
{
    std::atomic<int32_t> Cancel{0};
    std::atomic<int32_t> Progress{0};
    Options.Cancel = &Cancel;
    Options.Progress = &Progress;
    FProgressDisplay Display(Console, FString(u"progress"), CheckImgArchive(*Src).NumEntries, FileSizeOf(Src), Output);
    Display.SetCaption(Src, false);
    RunShowingProgress(
        Console, Display, Cancel,
        [&]()
        {
            Result = ShrinkGameFile(*Dest, *Src, Options);
            return Result.bOk;
        },
        [&]() { return Progress.load(); });
    if (Result.bOk)
        return EJobEnd::Done;
    return Result.Failure == EShrinkFailure::Cancelled ? EJobEnd::Cancelled : EJobEnd::Failed;
}

} // namespace

// ---- shrink-img -----------------------------------------------------------------------------------------------

namespace
{
// The shrinker's report lines, then the textures left above the side or as they were for a rarer reason, each
// only where it happened.
FString ShrinkImgReport(const FTextureFacts& Facts, const TDynArray<FString>& ReportLines)
{
    FString Text;
    for (const FString& Line : ReportLines)
        Text += Line + u"\n";
    if (Facts.BrokenLevels > 0)
        Text += FString::Printf(u"%d images have broken levels and are kept as they are\n", Facts.BrokenLevels);
    if (Facts.TooLargeToDecode > 0)
        Text +=
            FString::Printf(u"%d images are too large to decode and are kept as they are\n", Facts.TooLargeToDecode);
    if (Facts.CannotReachSide > 0)
        Text += FString::Printf(u"%d images cannot reach the side asked for\n", Facts.CannotReachSide);
    return Text;
}
} // namespace

int32_t RunShrinkImg(const FPellmorOptions& Options, FPellmorConsole& Console)
{
    const FString& Src = Options.Operands[0];
    const FString& Dest = Options.Operands[1];
    FShrinkOptions ShrinkOptions;
    ShrinkOptions.Choice() = Options.Choice();
    ShrinkOptions.bReplaceWhenDone = true;
    FShrinkResult Result;
    const EJobEnd End =
        RunArchiveJob(Console, Src, Dest, ShrinkOptions, ArchiveJobOutput(Console, false, false), Result);
    if (End == EJobEnd::Cancelled)
        return PrintFailure(Console, false, EPellmorError::Cancelled,
                            FString::Printf(u"cancelled; %s was not written", *ShellQuote(Dest)), FString());
    if (End == EJobEnd::Failed)
        return PrintFailure(Console, false, EPellmorError::Failed,
                            Result.Reason.IsEmpty() ? FString(u"shrink-img failed") : Result.Reason, FString());
    if (Options.bReport)
        Console.Out(ShrinkImgReport(Result.Stats.Textures, Result.ReportLines));
    const int64_t Before = FileSizeOf(Src);
    Console.Out(FString::Printf(u"%s: %s -> %s\n", *Dest, *appFormatMegabytes(Before),
                                *appFormatMegabytes(Result.OutputBytes)));
    return PELLMOR_Done;
}

namespace
{
// ---- report ---------------------------------------------------------------------------------------------------

// The report's name of a kind row: textures of no kind are "other".
const char16_t* KindName(uint32_t Code)
{
    return Code == TEXKIND_None ? u"other" : GetTextureKindName(Code);
}

// Textures per size, largest first.
TDynArray<FTextureSizeCount> SortSizes(const TDynArray<FTextureSizeCount>& Counted)
{
    TDynArray<FTextureSizeCount> Sizes(Counted);
    // Few distinct sizes: a plain insertion sort.
    for (int32_t i = 1; i < Sizes.Num(); ++i)
        for (int32_t j = i; j > 0; --j)
        {
            const FTextureSizeCount& A = Sizes[j - 1];
            const FTextureSizeCount& B = Sizes[j];
            const int64_t AreaA = int64_t(A.Width) * A.Height;
            const int64_t AreaB = int64_t(B.Width) * B.Height;
            if (AreaA > AreaB || (AreaA == AreaB && A.Width >= B.Width))
                break;
            std::swap(Sizes[j - 1], Sizes[j]);
        }
    return Sizes;
}

// Textures per size class: the smallest power of two, from 16 on, that holds the larger side.
TDynArray<FTextureSizeCount> CountSizeClasses(const TDynArray<FTextureSizeCount>& Sizes)
{
    TDynArray<FTextureSizeCount> Classes;
    for (int32_t Side = 16; Side <= 4096; Side *= 2)
    {
        FTextureSizeCount Class = {Side, Side, 0};
        for (const FTextureSizeCount& Size : Sizes)
        {
            const int32_t Larger = Size.Width > Size.Height ? Size.Width : Size.Height;
            if (Larger <= Side && (Side == 16 || Larger > Side / 2))
                Class.Count += Size.Count;
        }
        if (Class.Count > 0)
            Classes.AddItem(Class);
    }
    return Classes;
}

// What a dry run found in one archive.
struct FArchiveFindings
{
    FString Src;
    FShrinkSettings Settings;
    const FFitArchivePlan* FitPlan = nullptr; // the fit mode over several archives: this one's part of the plan
    int64_t Bytes = -1;
    int32_t Entries = 0;
    bool bDictionary = false; // a loose texture dictionary, not an archive
    FShrinkResult Result;
    FLossTally Loss;
};

// A loss for people: "31.2 dB", or "none" when nothing is lost.
FString LossText(const FTextureLoss& Loss)
{
    return std::isinf(Loss.Psnr()) ? FString(u"none") : FString::Printf(u"%.1f dB", Loss.Psnr());
}

// A loss for scripts: the PSNR, or null when nothing is lost (or nothing was measured).
void WriteLoss(FJsonWriter& Json, const FTextureLoss& Loss)
{
    if (Loss.IsMeasured() && !std::isinf(Loss.Psnr()))
        Json.Number(Loss.Psnr(), 2);
    else
        Json.Null();
}

// What the shrink costs the player: pooled, and the textures that lose the most.
void WriteLossTally(FJsonWriter& Json, const FLossTally& Tally)
{
    Json.BeginObject();
    WriteLoss(Json.Key(u"psnr"), Tally.All);
    WriteLoss(Json.Key(u"psnrChanged"), Tally.Changed);
    Json.Key(u"measured").Number(Tally.Measured);
    Json.Key(u"worst").BeginArray();
    for (const FTextureFact& Fact : Tally.Worst)
    {
        Json.BeginObject(FJsonWriter::Inline);
        Json.Key(u"txd").String(Fact.TxdName);
        Json.Key(u"texture").String(Fact.Name);
        Json.Key(u"width").Number(Fact.Width);
        Json.Key(u"height").Number(Fact.Height);
        Json.Key(u"newWidth").Number(Fact.NewWidth);
        Json.Key(u"newHeight").Number(Fact.NewHeight);
        WriteLoss(Json.Key(u"psnr"), Fact.Loss);
        Json.EndObject();
    }
    Json.EndArray();
    Json.EndObject();
}

// The loss lines of the report: "Loss seen close up: ..." and the textures that lose the most.
FString LossTallyText(const FLossTally& Tally)
{
    if (Tally.Measured == 0)
        return FString();
    FString Text = FString::Printf(u"\nLoss seen close up (PSNR, higher is better): %s over all textures, %s over the "
                                   u"%d made smaller.\nThe textures that lose the most:\n",
                                   *LossText(Tally.All), *LossText(Tally.Changed), Tally.Measured);
    TDynArray<TDynArray<FString>> Rows;
    for (const FTextureFact& Fact : Tally.Worst)
        Rows.AddItem(
            TableRow({Fact.TxdName + u"." + Fact.Name,
                      FString::Printf(u"%dx%d -> %dx%d", Fact.Width, Fact.Height, Fact.NewWidth, Fact.NewHeight),
                      LossText(Fact.Loss)}));
    return Text + FormatTable(Rows, 1u << 2, 2);
}

// The findings as one JSON object.
// A lone archive's fit: what its plan came to against the size asked of it.
FFitAccount FitOfFindings(const FArchiveFindings& Findings)
{
    FFitAccount Fit;
    Fit.bAsked = Findings.Result.FitTarget > 0;
    Fit.TargetBytes = Findings.Result.FitTarget;
    Fit.Bytes = Findings.Result.OutputBytes;
    return Fit;
}

void WriteFindings(FJsonWriter& Json, const FArchiveFindings& Findings, const FSkipRulesCheck& SkipRules)
{
    const FTextureFacts& Facts = Findings.Result.Stats.Textures;
    const TDynArray<FTextureSizeCount> Sizes = SortSizes(Facts.Sizes);
    Json.BeginObject();
    Json.Key(u"archive").String(Findings.Src);
    Json.Key(u"entries").Number(Findings.Entries);
    Json.Key(u"bytes").Number(Findings.Bytes);
    Json.Key(u"estimatedBytes").Number(Findings.Result.OutputBytes);
    Json.Key(u"skipRules");
    WriteSkipRules(Json, SkipRules);
    Json.Key(u"settings").String(Findings.Settings.ToText());
    Json.Key(u"textures").BeginObject(FJsonWriter::Inline);
    Json.Key(u"total").Number(Facts.Total);
    Json.Key(u"change").Number(Facts.Changed);
    Json.Key(u"skip").Number(Facts.Skipped);
    Json.Key(u"stay").Number(Facts.KeptAsTheyAre());
    Json.Key(u"brokenLevels").Number(Facts.BrokenLevels);
    Json.Key(u"tooLargeToDecode").Number(Facts.TooLargeToDecode);
    Json.Key(u"cannotReachSide").Number(Facts.CannotReachSide);
    Json.EndObject();
    Json.Key(u"kinds").BeginObject(FJsonWriter::Inline);
    for (const auto& Pair : Facts.PerKind)
        Json.Key(KindName(Pair.Key)).Number(Pair.Value);
    Json.EndObject();
    Json.Key(u"sizes").BeginArray();
    for (const FTextureSizeCount& Size : Sizes)
    {
        Json.BeginObject(FJsonWriter::Inline);
        Json.Key(u"width").Number(Size.Width);
        Json.Key(u"height").Number(Size.Height);
        Json.Key(u"textures").Number(Size.Count);
        Json.EndObject();
    }
    Json.EndArray();
    Json.Key(u"sizeClasses").BeginObject(FJsonWriter::Inline);
    for (const FTextureSizeCount& Class : CountSizeClasses(Sizes))
        Json.Key(*FString::Printf(u"%d", Class.Width)).Number(Class.Count);
    Json.EndObject();
    Json.Key(u"loss");
    WriteLossTally(Json, Findings.Loss);
    if (Findings.Result.FitTarget > 0)
        WriteFitAccount(Json.Key(u"fit"), FitOfFindings(Findings));
    Json.Key(u"mipLevels").BeginObject(FJsonWriter::Inline);
    for (const auto& Pair : Findings.Result.Stats.MipLevelStats)
        Json.Key(*FString::Printf(u"%d", Pair.Key)).Number(Pair.Value);
    Json.EndObject();
    Json.EndObject();
}

FString FindingsText(const FArchiveFindings& Findings, const FSkipRulesCheck& SkipRules)
{
    const FTextureFacts& Facts = Findings.Result.Stats.Textures;
    const int64_t Bytes = Findings.Bytes;
    const int64_t Estimated = Findings.Result.OutputBytes;
    FString Text = Findings.bDictionary ? FString::Printf(u"Dictionary:   %s\n              %s\n", *Findings.Src,
                                                          *appFormatMegabytes(Bytes))
                                        : FString::Printf(u"Archive:      %s\n              %d entries, %s\n",
                                                          *Findings.Src, Findings.Entries, *appFormatMegabytes(Bytes));
    Text += FString::Printf(u"Skip rules:   %s\n", *DescribeSkipRules(SkipRules));
    Text += FString::Printf(u"Shrink:       %s\n\n", *Findings.Settings.Describe());
    Text += FString::Printf(u"Textures:     %d\n", Facts.Total);
    Text += FString::Printf(u"  would be made smaller       %7d\n", Facts.Changed);
    Text += FString::Printf(u"  skipped by the skip rules   %7d\n", Facts.Skipped);
    Text += FString::Printf(u"  stay as they are            %7d  (too small, palette, or not understood)\n",
                            Facts.KeptAsTheyAre());
    // The rarer reasons, each only where it happened.
    const struct
    {
        const char16_t* Label;
        int32_t Count;
    } Rare[] = {
        {u"    with broken levels      ", Facts.BrokenLevels},
        {u"    too large to decode     ", Facts.TooLargeToDecode},
        {u"  cannot reach the side     ", Facts.CannotReachSide},
    };
    for (const auto& Row : Rare)
        if (Row.Count > 0)
            Text += FString::Printf(u"%s %7d\n", Row.Label, Row.Count);
    Text += u"\nBy kind:\n";
    for (const auto& Pair : Facts.PerKind)
        Text += FString::Printf(u"  %-8s %7d\n", KindName(Pair.Key), Pair.Value);
    Text += u"\nBy size (the larger side):\n";
    for (const FTextureSizeCount& Class : CountSizeClasses(SortSizes(Facts.Sizes)))
        Text += FString::Printf(u"  %s %4d  %7d\n", Class.Width == 16 ? u"up to" : u"     ", Class.Width, Class.Count);
    Text += FString::Printf(u"\nEstimated size after shrinking: %s (now %s", *appFormatMegabytes(Estimated),
                            *appFormatMegabytes(Bytes));
    if (Bytes > 0)
        Text += FString::Printf(u", %d%% smaller", int32_t((Bytes - Estimated) * 100 / Bytes));
    Text += u")\n";
    if (Findings.Result.FitTarget > 0)
        Text += DescribeFitAccount(FitOfFindings(Findings)) + u"\n";
    return Text + LossTallyText(Findings.Loss);
}

// The dry run of one archive; Error says why it failed when the result is Failed.
EJobEnd FindOut(FPellmorConsole& Console, const FPellmorOptions& Options, const FShrinkSettings& Settings,
                const FString& Src, FArchiveFindings& Findings, EPellmorError& Error)
{
    Findings.Src = Src;
    Findings.Settings = Settings;
    Findings.Bytes = FileSizeOf(Src);
    Findings.Entries = CheckImgArchive(*Src).NumEntries;
    Findings.bDictionary = LooksLikeTxdFile(*Src);
    FShrinkOptions ShrinkOptions;
    ShrinkOptions.Choice() = Options.Choice();
    ShrinkOptions.Settings = Settings;
    ShrinkOptions.bDryRun = true;
    ShrinkOptions.bMeasureLoss = true;
    ShrinkOptions.FitPlan = Findings.FitPlan;
    ShrinkOptions.OnTexture = [&Findings](const FTextureFact& Fact) { Findings.Loss.Add(Fact); };
    const EJobEnd End = RunArchiveJob(Console, Src, FString(), ShrinkOptions,
                                      ArchiveJobOutput(Console, Options.bJson, Options.bProgress), Findings.Result);
    Error = DryRunError(Findings.Result);
    return End;
}

FString FailureText(const FArchiveFindings& Findings)
{
    return DryRunFailureText(Findings.Src, Findings.Result);
}

// The fit mode over several archives: their measures and one plan over all of them, with the progress of the
// measures shown and Ctrl-C as the cancel. Failed says which source failed, Result how.
EJobEnd PlanArchivesTogether(FPellmorConsole& Console, const FPellmorOptions& Options,
                             const TDynArray<FString>& Sources, FFitPlan& Plan, int32_t& Failed, FShrinkResult& Result)
{
    std::atomic<int32_t> Cancel{0};
    std::atomic<int32_t> Progress{0};
    FShrinkOptions Measuring;
    Measuring.Choice() = Options.Choice();
    Measuring.Cancel = &Cancel;
    Measuring.Progress = &Progress;
    int64_t Bytes = 0;
    for (const FString& Source : Sources)
        Bytes += FileSizeOf(Source);
    FProgressDisplay Display(Console, FString(u"progress"), 0, Bytes,
                             ArchiveJobOutput(Console, Options.bJson, Options.bProgress));
    RunShowingProgress(
        Console, Display, Cancel,
        [&]()
        {
            Result = PlanFitTogether(Sources, Measuring, Plan, Failed,
                                     [&](int32_t i) { Display.SetCaption(Sources[i], false); });
            return Result.bOk;
        },
        [&]() { return Progress.load(); });
    if (Result.bOk)
        return EJobEnd::Done;
    return Result.Failure == EShrinkFailure::Cancelled ? EJobEnd::Cancelled : EJobEnd::Failed;
}

// report --archive/--all: each archive of the game named, then what they would save together.
// What a shrink of the game's loose dictionaries would make of each mod's (the game's data files' first).
struct FLooseEstimate
{
    FString Mod; // empty: those the game's data files name
    int32_t Dictionaries = 0;
    int32_t Changed = 0; // textures made smaller
    int64_t Bytes = 0;
    int64_t Estimated = 0;
};

// Dry runs of every loose dictionary of Files drawn in the world, summed by mod; those drawn at screen size are
// counted in Screen and left alone. A dictionary that cannot be read counts as it is.
TDynArray<FLooseEstimate> EstimateLooseDictionaries(const FPellmorOptions& Options, const FModFolderFiles& Files,
                                                    FLooseEstimate& Screen)
{
    TDynArray<FLooseEstimate> Mods;
    for (const FLooseDictionary& Dictionary : Files.Dictionaries)
    {
        if (Dictionary.Use == ELooseUse::Screen)
        {
            Screen.Dictionaries += 1;
            Screen.Bytes += Dictionary.Bytes;
            continue;
        }
        if (Mods.Num() == 0 || Mods.Last().Mod != Dictionary.Mod)
        {
            FLooseEstimate Mod;
            Mod.Mod = Dictionary.Mod;
            Mods.AddItem(Mod);
        }
        FShrinkOptions ShrinkOptions;
        ShrinkOptions.Choice() = Options.Choice();
        ShrinkOptions.bDryRun = true;
        ShrinkOptions.bSizesOnly = true;
        const FShrinkResult Result = ShrinkTxdFile(u"", *Dictionary.Path, ShrinkOptions);
        FLooseEstimate& Mod = Mods.Last();
        Mod.Dictionaries += 1;
        Mod.Bytes += Dictionary.Bytes;
        Mod.Estimated += Result.bOk ? Result.OutputBytes : Dictionary.Bytes;
        Mod.Changed += Result.Stats.Textures.Changed;
    }
    return Mods;
}

// The loose dictionaries' part of report --all, as text.
FString LooseEstimatesText(const TDynArray<FLooseEstimate>& Mods, const FLooseEstimate& Screen)
{
    if (Mods.Num() == 0 && Screen.Dictionaries == 0)
        return FString();
    TDynArray<TDynArray<FString>> Rows;
    Rows.AddItem(TableRow({u"Mod", u"Dictionaries", u"Now", u"After (estimated)", u"Smaller"}));
    for (const FLooseEstimate& Mod : Mods)
        Rows.AddItem(TableRow(
            {Mod.Mod.IsEmpty() ? FString(u"(the game's data files)") : Mod.Mod, FString::Printf(u"%d", Mod.Dictionaries),
             appFormatMegabytes(Mod.Bytes), appFormatMegabytes(Mod.Estimated),
             Mod.Bytes > 0 ? FString::Printf(u"%d%%", int32_t((Mod.Bytes - Mod.Estimated) * 100 / Mod.Bytes))
                           : FString()}));
    FString Text = u"Loose texture dictionaries the game loads:\n" +
                   FormatTable(Rows, (1u << 1) | (1u << 2) | (1u << 3) | (1u << 4), 2);
    if (Screen.Dictionaries > 0)
        Text += FString::Printf(u"Drawn at screen size, left as they are: %d, %s.\n", Screen.Dictionaries,
                                *appFormatMegabytes(Screen.Bytes));
    return Text + u"\n";
}

void WriteLooseEstimates(FJsonWriter& Json, const TDynArray<FLooseEstimate>& Mods, const FLooseEstimate& Screen)
{
    Json.BeginObject();
    Json.Key(u"mods").BeginArray();
    for (const FLooseEstimate& Mod : Mods)
    {
        Json.BeginObject(FJsonWriter::Inline);
        Json.Key(u"mod").String(Mod.Mod);
        Json.Key(u"dictionaries").Number(Mod.Dictionaries);
        Json.Key(u"bytes").Number(Mod.Bytes);
        Json.Key(u"estimatedBytes").Number(Mod.Estimated);
        Json.Key(u"texturesChanged").Number(Mod.Changed);
        Json.EndObject();
    }
    Json.EndArray();
    Json.Key(u"screen").BeginObject(FJsonWriter::Inline);
    Json.Key(u"dictionaries").Number(Screen.Dictionaries);
    Json.Key(u"bytes").Number(Screen.Bytes);
    Json.EndObject();
    Json.EndObject();
}

int32_t ReportArchives(const FPellmorOptions& Options, FPellmorConsole& Console)
{
    FGameDir Game;
    TDynArray<FGameArchive> Archives;
    int32_t Exit = PELLMOR_Usage;
    if (!FindGameArchives(Options, Console, Game, Archives, Exit))
        return Exit;
    Exit = PELLMOR_Done;
    TDynArray<FString> Sources;
    for (const FGameArchive& Archive : Archives)
        Sources.AddItem(MeasuredArchive(Archive, Options.bJson, Console));
    // The fit mode plans the archives together before any of them is looked at.
    FFitPlan Plan;
    if (Options.Settings.Mode == EShrinkMode::Fit && Archives.Num() > 1)
    {
        int32_t Failed = -1;
        FShrinkResult Result;
        const EJobEnd End = PlanArchivesTogether(Console, Options, Sources, Plan, Failed, Result);
        if (End == EJobEnd::Cancelled)
            return PrintFailure(Console, Options.bJson, EPellmorError::Cancelled, FString(u"cancelled"), FString());
        if (End == EJobEnd::Failed)
            return PrintFailure(Console, Options.bJson, DryRunError(Result), DryRunFailureText(Sources[Failed], Result),
                                FString());
    }
    int64_t Bytes = 0;
    int64_t Estimated = 0;
    FJsonWriter Json;
    Json.BeginObject();
    Json.Key(u"gameDir");
    WriteGameDir(Json, Game);
    Json.Key(u"archives").BeginArray();
    for (int32_t i = 0; i < Archives.Num(); ++i)
    {
        const FGameArchive& Archive = Archives[i];
        FArchiveFindings Findings;
        Findings.FitPlan = Plan.Archives.Num() > 0 ? &Plan.Archives[i] : nullptr;
        EPellmorError Error = EPellmorError::Failed;
        const EJobEnd End = FindOut(Console, Options, Options.Settings, Sources[i], Findings, Error);
        if (End == EJobEnd::Cancelled)
            return PrintFailure(Console, Options.bJson, EPellmorError::Cancelled, FString(u"cancelled"), FString());
        if (End == EJobEnd::Failed)
        {
            const FString Why = FailureText(Findings);
            const FString Advice = Error == EPellmorError::Damaged || Error == EPellmorError::NotAnArchive
                                       ? AdviceFor(EVerdict::Damaged, Archive)
                                       : FString();
            Json.BeginObject(FJsonWriter::Inline);
            Json.Key(u"archive").String(Findings.Src);
            WriteJsonError(Json.Key(u"error"), Error, Why, Advice);
            Json.EndObject();
            if (!Options.bJson)
                PrintFailure(Console, false, Error, Why, Advice);
            Exit = Exit == PELLMOR_Done ? PellmorExitCode(Error, CoreOS::INTERRUPT_None) : Exit;
            continue;
        }
        Bytes += Findings.Bytes;
        Estimated += Findings.Result.OutputBytes;
        WriteFindings(Json, Findings, Options.SkipRules);
        if (!Options.bJson)
            Console.Out(FindingsText(Findings, Options.SkipRules) + u"\n");
    }
    Json.EndArray();
    Json.Key(u"bytes").Number(Bytes);
    Json.Key(u"estimatedBytes").Number(Estimated);
    // The loose dictionaries with --all; the fit mode plans the archives alone.
    if (Options.bAllArchives && Options.Settings.Mode != EShrinkMode::Fit)
    {
        FLooseEstimate Screen;
        const TDynArray<FLooseEstimate> Mods = EstimateLooseDictionaries(
            Options, FindModFolderFiles(Game.Dir, ListGameArchives(Game.Dir).Archives), Screen);
        WriteLooseEstimates(Json.Key(u"looseDictionaries"), Mods, Screen);
        if (!Options.bJson)
            Console.Out(LooseEstimatesText(Mods, Screen));
    }
    FFitAccount Fit;
    Fit.bAsked = Plan.Archives.Num() > 0;
    Fit.TargetBytes = Plan.TargetBytes;
    Fit.Bytes = Estimated;
    if (Exit == PELLMOR_Done && Fit.bAsked && !Fit.IsMet())
        Exit = PELLMOR_Failed;
    if (Options.bJson)
    {
        if (Fit.bAsked)
            WriteFitAccount(Json.Key(u"fit"), Fit);
        Console.Out(Json.EndObject().Text());
        return Exit;
    }
    FString Total = FString::Printf(u"All %d archives: %s now, an estimated %s after shrinking", Archives.Num(),
                                    *appFormatMegabytes(Bytes), *appFormatMegabytes(Estimated));
    if (Bytes > 0)
        Total += FString::Printf(u" (%d%% smaller)", int32_t((Bytes - Estimated) * 100 / Bytes));
    Console.Out(Total + u".\n" + (Fit.bAsked ? DescribeFitAccount(Fit) + u"\n" : FString()) + u"Nothing was written.\n");
    return Exit;
}

// ---- report --compare ---------------------------------------------------------------------------------------------

// What one choice would make of the archives together.
struct FChoiceEstimate
{
    FShrinkSettings Settings;
    int64_t Bytes = 0;
    int32_t Changed = 0; // textures made smaller
    FTextureLoss Loss;   // over all textures, as the player sees them close up
};

// The archives report --compare looks at: SRC, or those --archive or --all name. False after saying why not.
bool CompareSources(const FPellmorOptions& Options, FPellmorConsole& Console, TDynArray<FString>& Sources,
                    int32_t& Exit)
{
    TDynArray<FGameArchive> Archives;
    if (!ListSourceArchives(Options, Console, Archives, Exit))
        return false;
    for (const FGameArchive& Archive : Archives)
        Sources.AddItem(Options.NamesArchives() ? MeasuredArchive(Archive, Options.bJson, Console)
                                                : Options.Operands[0]);
    return true;
}

// The choices side by side, with what each saves of Bytes.
FString CompareText(const TDynArray<FChoiceEstimate>& Estimates, const TDynArray<FString>& Sources, int64_t Bytes,
                    const FSkipRulesCheck& SkipRules)
{
    FString Text = Sources.Num() == 1 ? FString::Printf(u"Archive:      %s\n", *Sources[0])
                                      : FString::Printf(u"Archives:     %d\n", Sources.Num());
    Text += FString::Printf(u"              %s\n", *appFormatMegabytes(Bytes));
    Text += FString::Printf(u"Skip rules:   %s\n\n", *DescribeSkipRules(SkipRules));
    TDynArray<TDynArray<FString>> Rows;
    Rows.AddItem(TableRow({u"Choice", u"Estimated size", u"Smaller", u"Textures changed", u"Loss (PSNR)"}));
    for (const FChoiceEstimate& Estimate : Estimates)
        Rows.AddItem(
            TableRow({Estimate.Settings.Describe(), appFormatMegabytes(Estimate.Bytes),
                      Bytes > 0 ? FString::Printf(u"%d%%", int32_t((Bytes - Estimate.Bytes) * 100 / Bytes)) : FString(),
                      FString::Printf(u"%d", Estimate.Changed), LossText(Estimate.Loss)}));
    return Text + FormatTable(Rows, (1u << 1) | (1u << 2) | (1u << 3) | (1u << 4), 0) +
           u"The loss is what the player sees close up, over all textures: the higher, the less is lost.\n"
           u"Nothing was written.\n";
}

// report --compare: a dry run of each choice over the archives, one line (or JSON object) per choice.
int32_t CompareChoices(const FPellmorOptions& Options, FPellmorConsole& Console)
{
    TDynArray<FString> Sources;
    int32_t Exit = PELLMOR_Usage;
    if (!CompareSources(Options, Console, Sources, Exit))
        return Exit;
    int64_t Bytes = 0;
    for (const FString& Src : Sources)
        Bytes += FileSizeOf(Src);
    TDynArray<FChoiceEstimate> Estimates;
    for (const FShrinkSettings& Choice : FShrinkSettings::Choices())
    {
        FChoiceEstimate Estimate;
        Estimate.Settings = Choice;
        for (const FString& Src : Sources)
        {
            FArchiveFindings Findings;
            EPellmorError Error = EPellmorError::Failed;
            const EJobEnd End = FindOut(Console, Options, Choice, Src, Findings, Error);
            if (End == EJobEnd::Cancelled)
                return PrintFailure(Console, Options.bJson, EPellmorError::Cancelled, FString(u"cancelled"), FString());
            if (End == EJobEnd::Failed)
                return PrintFailure(Console, Options.bJson, Error, FailureText(Findings), FString());
            Estimate.Bytes += Findings.Result.OutputBytes;
            Estimate.Changed += Findings.Result.Stats.Textures.Changed;
            Estimate.Loss.SquaredError += Findings.Loss.All.SquaredError;
            Estimate.Loss.Pixels += Findings.Loss.All.Pixels;
        }
        Estimates.AddItem(Estimate);
    }
    if (!Options.bJson)
    {
        Console.Out(CompareText(Estimates, Sources, Bytes, Options.SkipRules));
        return PELLMOR_Done;
    }
    FJsonWriter Json;
    Json.BeginArray();
    for (const FChoiceEstimate& Estimate : Estimates)
    {
        Json.BeginObject(FJsonWriter::Inline);
        Json.Key(u"settings").String(Estimate.Settings.ToText());
        Json.Key(u"estimatedBytes").Number(Estimate.Bytes);
        Json.Key(u"texturesChanged").Number(Estimate.Changed);
        WriteLoss(Json.Key(u"psnr"), Estimate.Loss);
        Json.EndObject();
    }
    Console.Out(Json.EndArray().Text());
    return PELLMOR_Done;
}
} // namespace

int32_t RunReport(const FPellmorOptions& Options, FPellmorConsole& Console)
{
    if (Options.bCompare)
        return CompareChoices(Options, Console);
    if (Options.NamesArchives())
        return ReportArchives(Options, Console);
    FArchiveFindings Findings;
    EPellmorError Error = EPellmorError::Failed;
    const EJobEnd End = FindOut(Console, Options, Options.Settings, Options.Operands[0], Findings, Error);
    if (End == EJobEnd::Cancelled)
        return PrintFailure(Console, Options.bJson, EPellmorError::Cancelled, FString(u"cancelled"), FString());
    if (End == EJobEnd::Failed)
        return PrintFailure(Console, Options.bJson, Error, FailureText(Findings), FString());
    const int32_t Exit =
        FitOfFindings(Findings).bAsked && !FitOfFindings(Findings).IsMet() ? PELLMOR_Failed : PELLMOR_Done;
    if (!Options.bJson)
    {
        Console.Out(FindingsText(Findings, Options.SkipRules) + u"Nothing was written.\n");
        return Exit;
    }
    FJsonWriter Json;
    WriteFindings(Json, Findings, Options.SkipRules);
    Console.Out(Json.Text());
    return Exit;
}

EPellmorError DryRunError(const FShrinkResult& Result)
{
    const EShrinkFailure Failure = Result.Failure;
    return Failure == EShrinkFailure::Damaged            ? EPellmorError::Damaged
           : Failure == EShrinkFailure::NotAnArchive     ? EPellmorError::NotAnArchive
           : Failure == EShrinkFailure::CannotReadSource ? EPellmorError::CannotRead
                                                         : EPellmorError::Failed;
}

FString DryRunFailureText(const FString& Src, const FShrinkResult& Result)
{
    const FGameArchive Archive = DescribeArchiveFile(Src);
    if (Result.Failure == EShrinkFailure::Damaged)
        return DescribeDamage(Archive.Shown, Result.Damage);
    return Result.Reason.IsEmpty() ? FString(u"the dry run failed") : Result.Reason;
}

int64_t FileSizeOf(const FString& Path)
{
    CoreOS::FFileHandle File =
        CoreOS::FileOpen(*Path, CoreOS::FILEACCESS_Read, CoreOS::FILESHARE_Read | CoreOS::FILESHARE_Write,
                         CoreOS::FILECREATE_OpenExisting);
    if (!File)
        return -1;
    const int64_t Size = CoreOS::FileGetSize(File);
    CoreOS::FileClose(File);
    return Size;
}
