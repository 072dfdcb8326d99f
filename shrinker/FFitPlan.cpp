// The fit mode's plan: the measures gathered, each texture's hull, and the greedy choice over all of them.
#include "shrinker/FFitPlan.h"

#include <algorithm>
#include <vector>

#include "shrinker/FImgArchive.h"
#include "shrinker/FShrinkStats.h"

void FFitMeasure::Add(int32_t Archive, const FTextureFact& Fact)
{
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
} // namespace

FFitPlan PlanFit(const FFitMeasure& Measure, int64_t TargetBytes)
{
    FFitPlan Plan;
    Plan.TargetBytes = TargetBytes;
    for (int64_t Bytes : Measure.ArchiveBytes)
    {
        FFitArchivePlan Archive;
        Archive.PlannedBytes = Bytes;
        Plan.Archives.AddItem(Archive);
        Plan.PlannedBytes += Bytes;
    }
    std::vector<FHullStep> Steps;
    for (int32_t i = 0; i < Measure.Textures.Num(); ++i)
        AddHullSteps(Measure.Textures[i], i, Steps);
    // Each texture's steps are in rising order of loss per byte, so a stable sort keeps them in their order.
    std::stable_sort(Steps.begin(), Steps.end(),
                     [](const FHullStep& A, const FHullStep& B)
                     { return A.AddedError * double(B.Saved) < B.AddedError * double(A.Saved); });

    // Where each texture's entry stands, and what its entry has saved so far.
    std::vector<int32_t> EntryOf(size_t(Measure.Textures.Num()));
    for (int32_t t = 0, e = 0; t < Measure.Textures.Num(); ++t)
    {
        const FFitMeasure::FTexture& Texture = Measure.Textures[t];
        while (Measure.Entries[e].Archive != Texture.Archive || Measure.Entries[e].Entry != Texture.Entry)
            ++e;
        EntryOf[size_t(t)] = e;
    }
    std::vector<int64_t> Saved(size_t(Measure.Entries.Num()), 0);
    std::vector<int32_t> Depth(size_t(Measure.Textures.Num()), 0);
    for (const FHullStep& Step : Steps)
    {
        if (Plan.PlannedBytes <= TargetBytes)
            break;
        const int32_t e = EntryOf[size_t(Step.Texture)];
        const FFitMeasure::FEntry& Entry = Measure.Entries[e];
        // A rewritten dictionary takes whole blocks for its new stream; one that was not rewritten keeps its own.
        const int64_t Before =
            Saved[size_t(e)] > 0 ? BlockBytes(Entry.DictionaryBytes - Saved[size_t(e)]) : Entry.Bytes;
        Saved[size_t(e)] += Step.Saved;
        const int64_t After = BlockBytes(Entry.DictionaryBytes - Saved[size_t(e)]);
        Plan.Archives[Entry.Archive].PlannedBytes -= Before - After;
        Plan.PlannedBytes -= Before - After;
        Plan.SquaredError += Step.AddedError;
        Depth[size_t(Step.Texture)] = Step.Depth;
    }
    Plan.bMet = Plan.PlannedBytes <= TargetBytes;
    for (int32_t t = 0; t < Measure.Textures.Num(); ++t)
    {
        const FFitMeasure::FTexture& Texture = Measure.Textures[t];
        if (Depth[size_t(t)] > 0)
            Plan.Archives[Texture.Archive].Choices.AddItem({Texture.Entry, Texture.Index, Depth[size_t(t)]});
    }
    return Plan;
}
