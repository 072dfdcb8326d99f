// Making a preview: the dry runs of every choice, the textures the chosen one saves the most on, their pictures.
#include <algorithm>
#include <vector>

#include "engine/FPreviewPage.h"

#include "Core/Inc/CorePath.h"
#include "engine/FGameDisk.h"

namespace
{
// The choices every preview compares, and the one shown after them when it is none of those.
TDynArray<FPreviewChoice> ListChoices(const FShrinkSettings& Shown)
{
    TDynArray<FPreviewChoice> Choices;
    bool bFound = false;
    for (const FShrinkSettings& Settings : FShrinkSettings::Choices())
    {
        FPreviewChoice Choice;
        Choice.Settings = Settings;
        Choice.bShown = !bFound && Settings.MakesSameArchive(Shown);
        bFound = bFound || Choice.bShown;
        Choices.AddItem(Choice);
    }
    if (!bFound)
    {
        FPreviewChoice Choice;
        Choice.Settings = Shown;
        Choice.bShown = true;
        Choices.AddItem(Choice);
    }
    return Choices;
}

// A texture the choice shown changes, with the archive it is in.
struct FCandidate
{
    int32_t Archive;
    FTextureFact Fact;
    int64_t Saved() const { return Fact.Bytes - Fact.NewBytes; }
};

// The most saved first; among equals, in the order of the archives.
bool SavesMore(const FCandidate& A, const FCandidate& B)
{
    if (A.Saved() != B.Saved())
        return A.Saved() > B.Saved();
    if (A.Archive != B.Archive)
        return A.Archive < B.Archive;
    return A.Fact.Entry != B.Fact.Entry ? A.Fact.Entry < B.Fact.Entry : A.Fact.Index < B.Fact.Index;
}

// Keeps the Count candidates that save the most, trimming now and then so that a large archive's facts are not
// all held.
void KeepBest(std::vector<FCandidate>& Best, int32_t Count)
{
    const size_t Keep = size_t(Count);
    if (Best.size() <= Keep)
        return;
    std::nth_element(Best.begin(), Best.begin() + std::ptrdiff_t(Keep), Best.end(), SavesMore);
    Best.resize(Keep);
}

class FPreviewMaker
{
public:
    FPreviewMaker(const FPreviewRequest& InRequest, FPreview& InOut) : Request(InRequest), Out(InOut) {}
    FPreviewResult Make();

private:
    bool PlanFit();
    bool RunChoice(int32_t Archive, FPreviewChoice& Choice);
    void Advance();
    void DecodeBest();

    const FPreviewRequest& Request;
    FPreview& Out;
    FPreviewResult Result;
    std::vector<FCandidate> Best;
    FFitPlan FitPlan; // the fit mode: the plan over every archive, made before the dry runs
};

void FPreviewMaker::Advance()
{
    if (Request.Progress)
    {
        Request.Progress->Percent.store(0);
        Request.Progress->Step.fetch_add(1);
    }
}

// One dry run, sizes only: the choice's estimate grows by the archive's; for the choice shown, the archive's own
// numbers and its candidates too.
bool FPreviewMaker::RunChoice(int32_t Archive, FPreviewChoice& Choice)
{
    FShrinkOptions Options;
    Options.bDryRun = true;
    Options.bSizesOnly = true;
    Options.Choice() = Request.Choice();
    Options.Settings = Choice.bShown ? Request.Settings : Choice.Settings;
    Options.Cancel = Request.Cancel;
    Options.Progress = Request.Progress ? &Request.Progress->Percent : nullptr;
    if (Choice.bShown)
        Options.OnTexture = [this, Archive](const FTextureFact& Fact)
        {
            if (Fact.Outcome != ETextureOutcome::Changed)
                return;
            Best.push_back(FCandidate{Archive, Fact});
            if (Best.size() >= size_t(Request.Count) * 4 + 256)
                KeepBest(Best, Request.Count);
        };
    if (Options.Settings.Mode == EShrinkMode::Fit)
        Options.FitPlan = &FitPlan.Archives[Archive];
    FPreviewArchive& Shown = Out.Archives[Archive];
    const FShrinkResult Run = ShrinkImgFile(u"", *Shown.Path, Options);
    Advance();
    if (!Run.bOk)
    {
        Result.bCancelled = Run.Failure == EShrinkFailure::Cancelled;
        Result.FailedArchive = Shown.Path;
        Result.Shrink = Run;
        return false;
    }
    Choice.EstimatedBytes += Run.OutputBytes;
    Choice.Changed += Run.Stats.Textures.Changed;
    if (Choice.bShown)
    {
        Shown.EstimatedBytes = Run.OutputBytes;
        Out.Facts.Add(Run.Stats.Textures);
    }
    return true;
}

// The fit mode's plan over all the archives together, as a shrink of them makes it; its measures are the
// preview's first step.
bool FPreviewMaker::PlanFit()
{
    if (Request.Settings.Mode != EShrinkMode::Fit)
        return true;
    FShrinkOptions Options;
    Options.Choice() = Request.Choice();
    Options.Cancel = Request.Cancel;
    Options.Progress = Request.Progress ? &Request.Progress->Percent : nullptr;
    TDynArray<FString> Sources;
    for (const FPreviewArchive& Archive : Out.Archives)
        Sources.AddItem(Archive.Path);
    int32_t Failed = -1;
    const FShrinkResult Run = PlanFitTogether(Sources, Options, FitPlan, Failed);
    Advance();
    if (Run.bOk)
        return true;
    Result.bCancelled = Run.Failure == EShrinkFailure::Cancelled;
    Result.FailedArchive = Out.Archives[Failed].Path;
    Result.Shrink = Run;
    return false;
}

// The second pass: the best candidates' dictionaries, archive by archive.
void FPreviewMaker::DecodeBest()
{
    KeepBest(Best, Request.Count);
    std::sort(Best.begin(), Best.end(), SavesMore);
    for (int32_t Archive = 0; Archive < Out.Archives.Num(); ++Archive)
    {
        TDynArray<FTexturePair> Pairs;
        for (const FCandidate& Candidate : Best)
            if (Candidate.Archive == Archive)
            {
                FTexturePair Pair;
                Pair.Archive = Archive;
                Pair.Fact = Candidate.Fact;
                Pairs.AddItem(Pair);
            }
        FShrinkOptions Options;
        Options.Choice() = Request.Choice();
        if (Request.Settings.Mode == EShrinkMode::Fit)
            Options.FitPlan = &FitPlan.Archives[Archive];
        if (Pairs.Num() > 0)
            DecodeTexturePairs(*Out.Archives[Archive].Path, Options, Pairs);
        for (const FTexturePair& Pair : Pairs)
            Out.Pairs.AddItem(Pair);
    }
    // Back in the order of the most saved.
    std::stable_sort(Out.Pairs.begin(), Out.Pairs.end(),
                     [](const FTexturePair& A, const FTexturePair& B)
                     { return A.Fact.Bytes - A.Fact.NewBytes > B.Fact.Bytes - B.Fact.NewBytes; });
    Advance();
}

FPreviewResult FPreviewMaker::Make()
{
    Out = FPreview();
    Out.Settings = Request.Settings;
    Out.Choices = ListChoices(Request.Settings);
    for (int32_t i = 0; i < Request.Archives.Num(); ++i)
    {
        FPreviewArchive Archive;
        Archive.Path = Request.Archives[i];
        Archive.Shown = i < Request.Shown.Num() ? Request.Shown[i] : Archive.Path;
        Archive.Bytes = CheckImgArchive(*Archive.Path).FileBytes;
        Out.Archives.AddItem(Archive);
    }
    const bool bFit = Request.Settings.Mode == EShrinkMode::Fit;
    if (Request.Progress)
        Request.Progress->Steps.store(Out.Archives.Num() * Out.Choices.Num() + 1 + (bFit ? 1 : 0));
    if (!PlanFit())
        return Result;
    // The choice shown first in each archive, so that a failure is told before the others' runs.
    for (int32_t Archive = 0; Archive < Out.Archives.Num(); ++Archive)
        for (int32_t Pass = 0; Pass < 2; ++Pass)
            for (FPreviewChoice& Choice : Out.Choices)
                if (Choice.bShown == (Pass == 0) && !RunChoice(Archive, Choice))
                    return Result;
    DecodeBest();
    Result.bOk = !(Request.Cancel && Request.Cancel->load());
    Result.bCancelled = !Result.bOk;
    return Result;
}
} // namespace

int32_t FPreviewProgress::Overall() const
{
    const int32_t Count = std::max(Steps.load(), 1);
    return std::min(100, (Step.load() * 100 + Percent.load()) / Count);
}

int64_t FPreview::Bytes() const
{
    int64_t Sum = 0;
    for (const FPreviewArchive& Archive : Archives)
        Sum += Archive.Bytes;
    return Sum;
}

int64_t FPreview::EstimatedBytes() const
{
    int64_t Sum = 0;
    for (const FPreviewArchive& Archive : Archives)
        Sum += Archive.EstimatedBytes;
    return Sum;
}

FString GetPreviewSource(const FArchiveFiles& Files)
{
    return FGameDisk::Exists(Files.OrigBak) ? Files.OrigBak : Files.Cur;
}

FPreviewResult MakePreview(const FPreviewRequest& Request, FPreview& Out)
{
    return FPreviewMaker(Request, Out).Make();
}

FPreviewResult MakePreviewPage(const FPreviewRequest& Request, const FString& Dir)
{
    FString Why;
    FPreviewResult Result;
    if (!CanWritePreview(Dir, Why))
    {
        Result.Reason = Why;
        return Result;
    }
    FPreview Preview;
    Result = MakePreview(Request, Preview);
    if (!Result.bOk)
        return Result;
    Result.bOk = WritePreviewPage(Dir, Preview, Result.Reason);
    if (Result.bOk)
        Result.PagePath = appPathJoin(Dir, FString(u"index.html"));
    return Result;
}
