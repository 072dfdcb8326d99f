// The fit mode's plan: the measures gathered, each texture's hull, and the greedy choice over all of them.
#include "shrinker/FFitPlan.h"

#include <algorithm>
#include <vector>

#include "shrinker/FImgArchive.h"
#include "shrinker/FShrinkStats.h"

void FFitMeasure::Add(int32_t Archive, const FTextureFact& Fact)
{
    Pixels += int64_t(Fact.Width) * Fact.Height;
    if (Fact.Steps.Num() == 0)
        return;
    if (Entries.Num() == 0 || Entries.Last().Archive != Archive || Entries.Last().Entry != Fact.Entry)
    {
        FEntry Entry;
        Entry.Archive = Archive;
        Entry.Entry = Fact.Entry;
        Entry.Bytes = Fact.EntryBytes;
        Entry.DictionaryBytes = Fact.DictionaryBytes;
        Entries.AddItem(Entry);
    }
    FTexture Texture;
    Texture.Archive = Archive;
    Texture.Entry = Fact.Entry;
    Texture.Index = Fact.Index;
    Texture.Bytes = Fact.Bytes;
    Texture.Pixels = int64_t(Fact.Width) * Fact.Height;
    Texture.Steps = Fact.Steps;
    Textures.AddItem(Texture);
}

int32_t FFitArchivePlan::DepthOf(int32_t Entry, int32_t Index) const
{
    const FChoice* Begin = Choices.GetData();
    const FChoice* End = Begin + Choices.Num();
    const FChoice* Found =
        std::lower_bound(Begin, End, Entry,
                         [Index](const FChoice& Choice, int32_t Wanted)
                         { return Choice.Entry < Wanted || (Choice.Entry == Wanted && Choice.Index < Index); });
    return Found != End && Found->Entry == Entry && Found->Index == Index ? Found->Depth : 0;
}

namespace
{
// One step of a texture's hull: from one depth to a deeper one, with what it saves and what it adds to the loss.
struct FHullStep
{
    int32_t Texture = 0; // in the measure's textures
    int32_t Depth = 0;   // the depth it reaches
    int64_t Saved = 0;
    double AddedError = 0;
};

// The lower convex hull of a texture's (bytes saved, loss) points, from the texture as it is: the depths that
// some trade of loss for bytes would choose, as steps of rising loss per byte.
void AddHullSteps(const FFitMeasure::FTexture& Texture, int32_t TextureIndex, std::vector<FHullStep>& Steps)
{
    struct FPoint
    {
        int32_t Depth;
        int64_t Saved;
        double Error;
    };
    std::vector<FPoint> Hull = {{0, 0, 0.0}};
    for (int32_t i = 0; i < Texture.Steps.Num(); ++i)
    {
        const FPoint Point = {i + 1, Texture.Bytes - Texture.Steps[i].NewBytes, Texture.Steps[i].SquaredError};
        // A depth that saves no more than one already on the hull is never the better trade.
        if (Point.Saved <= Hull.back().Saved)
            continue;
        // Points that lie on or above the line from the one before them to the new one leave the hull.
        while (Hull.size() >= 2)
        {
            const FPoint& A = Hull[Hull.size() - 2];
            const FPoint& B = Hull.back();
            const double Cross = (B.Error - A.Error) * double(Point.Saved - A.Saved) -
                                 (Point.Error - A.Error) * double(B.Saved - A.Saved);
            if (Cross < 0)
                break;
            Hull.pop_back();
        }
        Hull.push_back(Point);
    }
    for (size_t i = 1; i < Hull.size(); ++i)
        Steps.push_back(
            {TextureIndex, Hull[i].Depth, Hull[i].Saved - Hull[i - 1].Saved, Hull[i].Error - Hull[i - 1].Error});
}

int64_t BlockBytes(int64_t Bytes)
{
    return (Bytes + IMG_BlockSize - 1) / IMG_BlockSize * IMG_BlockSize;
}

// The hull steps of every texture of a measure, taken one at a time in order of least added loss per byte, with
// the archives' sizes and the loss as they stand after each.
class FFitWalk
{
public:
    explicit FFitWalk(const FFitMeasure& InMeasure);

    // Takes the next step; false when every step is taken.
    bool Next();

    const FFitMeasure& Measure;
    std::vector<int64_t> ArchiveBytes; // each archive as the steps taken make it
    int64_t Bytes = 0;                 // all of them
    FTextureLoss Loss;                 // over every texture's pixels
    std::vector<int32_t> Depth;        // of each texture of the measure

private:
    std::vector<FHullStep> Steps;
    size_t Taken = 0;
    std::vector<int32_t> EntryOf; // each texture's entry in the measure
    std::vector<int64_t> Saved;   // what each entry has saved so far
};

FFitWalk::FFitWalk(const FFitMeasure& InMeasure) : Measure(InMeasure)
{
    for (int64_t Archive : Measure.ArchiveBytes)
    {
        ArchiveBytes.push_back(Archive);
        Bytes += Archive;
    }
    Loss.Pixels = Measure.Pixels;
    for (int32_t i = 0; i < Measure.Textures.Num(); ++i)
        AddHullSteps(Measure.Textures[i], i, Steps);
    // Each texture's steps are in rising order of loss per byte, so a stable sort keeps them in their order.
    std::stable_sort(Steps.begin(), Steps.end(),
                     [](const FHullStep& A, const FHullStep& B)
                     { return A.AddedError * double(B.Saved) < B.AddedError * double(A.Saved); });
    EntryOf.resize(size_t(Measure.Textures.Num()));
    for (int32_t t = 0, e = 0; t < Measure.Textures.Num(); ++t)
    {
        const FFitMeasure::FTexture& Texture = Measure.Textures[t];
        while (Measure.Entries[e].Archive != Texture.Archive || Measure.Entries[e].Entry != Texture.Entry)
            ++e;
        EntryOf[size_t(t)] = e;
    }
    Saved.assign(size_t(Measure.Entries.Num()), 0);
    Depth.assign(size_t(Measure.Textures.Num()), 0);
}

bool FFitWalk::Next()
{
    if (Taken == Steps.size())
        return false;
    const FHullStep& Step = Steps[Taken++];
    const int32_t e = EntryOf[size_t(Step.Texture)];
    const FFitMeasure::FEntry& Entry = Measure.Entries[e];
    // A rewritten dictionary takes whole blocks for its new stream; one that was not rewritten keeps its own.
    const int64_t Before = Saved[size_t(e)] > 0 ? BlockBytes(Entry.DictionaryBytes - Saved[size_t(e)]) : Entry.Bytes;
    Saved[size_t(e)] += Step.Saved;
    const int64_t After = BlockBytes(Entry.DictionaryBytes - Saved[size_t(e)]);
    ArchiveBytes[size_t(Entry.Archive)] -= Before - After;
    Bytes -= Before - After;
    // A texture made smaller counts the pixels its loss counts (a cut-out's clear ones do not), as it stays the
    // pixels of its largest level.
    const FFitMeasure::FTexture& Texture = Measure.Textures[Step.Texture];
    int32_t& From = Depth[size_t(Step.Texture)];
    Loss.Pixels += Texture.Steps[Step.Depth - 1].Pixels - (From > 0 ? Texture.Steps[From - 1].Pixels : Texture.Pixels);
    Loss.SquaredError += Step.AddedError;
    From = Step.Depth;
    return true;
}
} // namespace

FFitPlan PlanFit(const FFitMeasure& Measure, int64_t TargetBytes)
{
    FFitWalk Walk(Measure);
    while (Walk.Bytes > TargetBytes && Walk.Next())
    {
    }
    FFitPlan Plan;
    Plan.TargetBytes = TargetBytes;
    Plan.PlannedBytes = Walk.Bytes;
    Plan.bMet = Walk.Bytes <= TargetBytes;
    Plan.SquaredError = Walk.Loss.SquaredError;
    for (int64_t Bytes : Walk.ArchiveBytes)
    {
        FFitArchivePlan Archive;
        Archive.PlannedBytes = Bytes;
        Plan.Archives.AddItem(Archive);
    }
    for (int32_t t = 0; t < Measure.Textures.Num(); ++t)
    {
        const FFitMeasure::FTexture& Texture = Measure.Textures[t];
        if (Walk.Depth[size_t(t)] > 0)
            Plan.Archives[Texture.Archive].Choices.AddItem({Texture.Entry, Texture.Index, Walk.Depth[size_t(t)]});
    }
    return Plan;
}

TDynArray<FFitCurvePoint> TraceFitCurve(const FFitMeasure& Measure, int32_t MostPoints)
{
    FFitWalk Walk(Measure);
    std::vector<FFitCurvePoint> All = {{Walk.Bytes, Walk.Loss}};
    while (Walk.Next())
        All.push_back({Walk.Bytes, Walk.Loss});
    // The first and the last, and between them the first point past each even share of the sizes.
    TDynArray<FFitCurvePoint> Curve;
    Curve.AddItem(All.front());
    const int64_t First = All.front().Bytes, Span = First - All.back().Bytes;
    const int64_t Gaps = std::max(MostPoints, 2) - 1;
    int64_t Share = 1;
    for (size_t i = 1; i + 1 < All.size() && Share < Gaps; ++i)
    {
        if ((First - All[i].Bytes) * Gaps < Span * Share)
            continue;
        Curve.AddItem(All[i]);
        while (Share < Gaps && (First - All[i].Bytes) * Gaps >= Span * Share)
            ++Share;
    }
    if (All.size() > 1)
        Curve.AddItem(All.back());
    return Curve;
}
