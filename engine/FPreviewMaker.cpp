// Making a preview: the measure for the curve, the dry runs of every choice, the textures the chosen one saves and
// loses the most on, their pictures.
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

// The same texture: its archive, entry and place.
bool IsSameTexture(const FCandidate& A, const FTexturePair& B)
{
    return A.Archive == B.Archive && A.Fact.Entry == B.Fact.Entry && A.Fact.Index == B.Fact.Index;
}

// Among equals, in the order of the archives, entries and textures.
bool ComesFirst(const FCandidate& A, const FCandidate& B)
{
    if (A.Archive != B.Archive)
        return A.Archive < B.Archive;
    return A.Fact.Entry != B.Fact.Entry ? A.Fact.Entry < B.Fact.Entry : A.Fact.Index < B.Fact.Index;
}

// The most saved first.
bool SavesMore(const FCandidate& A, const FCandidate& B)
{
    return A.Saved() != B.Saved() ? A.Saved() > B.Saved() : ComesFirst(A, B);
}

// The most lost (the lowest PSNR) first.
bool LosesMore(const FCandidate& A, const FCandidate& B)
{
    const double PsnrA = A.Fact.Loss.Psnr(), PsnrB = B.Fact.Loss.Psnr();
    return PsnrA != PsnrB ? PsnrA < PsnrB : ComesFirst(A, B);
}

// The candidates of one kind that a preview keeps: the Count first by Order, trimmed now and then so that a
// large archive's facts are not all held.
struct FKeptCandidates
{
    explicit FKeptCandidates(bool (*InOrder)(const FCandidate&, const FCandidate&)) : Order(InOrder) {}

    bool (*Order)(const FCandidate&, const FCandidate&);
    size_t Count = 0;
    std::vector<FCandidate> Kept;

    void Add(int32_t Archive, const FTextureFact& Fact)
    {
        Kept.push_back(FCandidate{Archive, Fact});
        if (Kept.size() >= Count * 4 + 256)
            Trim();
    }
    // Down to the Count first, in order.
    void Trim()
    {
        if (Kept.size() > Count)
        {
            std::nth_element(Kept.begin(), Kept.begin() + std::ptrdiff_t(Count), Kept.end(), Order);
            Kept.resize(Count);
        }
        std::sort(Kept.begin(), Kept.end(), Order);
    }
};

class FPreviewMaker
{
public:
    FPreviewMaker(const FPreviewRequest& InRequest, FPreview& InOut) : Request(InRequest), Out(InOut) {}
    FPreviewResult Make();

private:
    bool MeasureFit();
    bool RunChoice(int32_t Archive, int32_t Choice);
    void Advance();
    void DecodeBest();

    const FPreviewRequest& Request;
    FPreview& Out;
    FPreviewResult Result;
    FKeptCandidates SavesMost{&SavesMore};
    FKeptCandidates LosesMost{&LosesMore};
    std::vector<FLossTally> Losses; // of each choice
    FFitPlan FitPlan;               // the fit mode: the plan over every archive, made before the dry runs
};

void FPreviewMaker::Advance()
{
    if (Request.Progress)
    {
        Request.Progress->Percent.store(0);
        Request.Progress->Step.fetch_add(1);
    }
}

// One dry run that measures what each texture loses: the choice's estimate and loss grow by the archive's; for the
// choice shown, the archive's own numbers and its candidates too.
bool FPreviewMaker::RunChoice(int32_t Archive, int32_t ChoiceIndex)
{
    FPreviewChoice& Choice = Out.Choices[ChoiceIndex];
    FLossTally& Loss = Losses[size_t(ChoiceIndex)];
    FShrinkOptions Options;
    Options.bDryRun = true;
    Options.bMeasureLoss = true;
    // The choices' losses are totals and the page rounds them: large textures are estimated from some of their rows.
    Options.LossSampledPixels = PREVIEW_LossSampledPixels;
    Options.Choice() = Request.Choice();
    Options.Settings = Choice.bShown ? Request.Settings : Choice.Settings;
    Options.Cancel = Request.Cancel;
    Options.Progress = Request.Progress ? &Request.Progress->Percent : nullptr;
    Options.OnTexture = [this, Archive, &Loss, bShown = Choice.bShown](const FTextureFact& Fact)
    {
        Loss.Add(Fact);
        if (!bShown || Fact.Outcome != ETextureOutcome::Changed)
            return;
        SavesMost.Add(Archive, Fact);
        if (Fact.Loss.IsMeasured())
            LosesMost.Add(Archive, Fact);
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
    Choice.Loss = Loss.All;
    if (Choice.bShown)
    {
        Shown.EstimatedBytes = Run.OutputBytes;
        Out.Facts.Add(Run.Stats.Textures);
    }
    return true;
}

// The first step: every archive measured as the fit mode measures it, numbers only, for the curve of size against
// loss, and for the fit mode's plan over all the archives together, as a shrink of them makes it.
bool FPreviewMaker::MeasureFit()
{
    const bool bFit = Request.Settings.Mode == EShrinkMode::Fit;
    FShrinkOptions Options;
    Options.Choice() = Request.Choice();
    // The curve is the fit's whatever the choice shown: the size it is planned for does not change the measure.
    if (!bFit)
        Options.Settings = FShrinkSettings::FitInPercent(50);
    Options.Cancel = Request.Cancel;
    Options.Progress = Request.Progress ? &Request.Progress->Percent : nullptr;
    TDynArray<FString> Sources;
    for (const FPreviewArchive& Archive : Out.Archives)
        Sources.AddItem(Archive.Path);
    FFitMeasure Measure;
    int64_t Bytes = 0;
    int32_t Failed = -1;
    const FShrinkResult Run = MeasureTogether(Sources, Options, Measure, Bytes, Failed);
    Advance();
    if (!Run.bOk)
    {
        Result.bCancelled = Run.Failure == EShrinkFailure::Cancelled;
        Result.FailedArchive = Out.Archives[Failed].Path;
        Result.Shrink = Run;
        return false;
    }
    Out.Curve = TraceFitCurve(Measure, PREVIEW_CurvePoints);
    if (bFit)
        FitPlan = PlanFit(Measure, Request.Settings.FitTarget(Bytes));
    return true;
}

// The second pass: the chosen candidates' dictionaries, archive by archive, each texture decoded once however
// many lists it is in.
void FPreviewMaker::DecodeBest()
{
    SavesMost.Trim();
    LosesMost.Trim();
    TDynArray<FTexturePair> Decoded;
    for (int32_t Archive = 0; Archive < Out.Archives.Num(); ++Archive)
    {
        TDynArray<FTexturePair> Pairs;
        for (const FKeptCandidates* List : {&SavesMost, &LosesMost})
            for (const FCandidate& Candidate : List->Kept)
                if (Candidate.Archive == Archive &&
                    std::none_of(Pairs.begin(), Pairs.end(),
                                 [&](const FTexturePair& Pair) { return IsSameTexture(Candidate, Pair); }))
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
            Decoded.AddItem(Pair);
    }
    // Each list in its own order.
    auto Find = [&](const FCandidate& Candidate) -> const FTexturePair&
    { return *std::find_if(Decoded.begin(), Decoded.end(), [&](const FTexturePair& Pair) { return IsSameTexture(Candidate, Pair); }); };
    for (const FCandidate& Candidate : SavesMost.Kept)
        Out.Pairs.AddItem(Find(Candidate));
    for (const FCandidate& Candidate : LosesMost.Kept)
        Out.LosesMost.AddItem(Find(Candidate));
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
    SavesMost.Count = size_t(Request.Count);
    LosesMost.Count = size_t(std::min<int32_t>(Request.Count, PREVIEW_LosesMostCount));
    Losses.resize(size_t(Out.Choices.Num()));
    if (Request.Progress)
        Request.Progress->Steps.store(Out.Archives.Num() * Out.Choices.Num() + 2);
    if (!MeasureFit())
        return Result;
    // The choice shown first in each archive, so that a failure is told before the others' runs.
    for (int32_t Archive = 0; Archive < Out.Archives.Num(); ++Archive)
        for (int32_t Pass = 0; Pass < 2; ++Pass)
            for (int32_t Choice = 0; Choice < Out.Choices.Num(); ++Choice)
                if (Out.Choices[Choice].bShown == (Pass == 0) && !RunChoice(Archive, Choice))
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
