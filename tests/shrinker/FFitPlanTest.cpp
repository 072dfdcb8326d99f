#include <gtest/gtest.h>

#include "shrinker/FFitPlan.h"
#include "shrinker/FShrinkStats.h"

namespace
{
// A texture fact of the first pass: Entry's texture Index of Bytes, its halvings as (bytes after, loss).
FTextureFact Fact(int32_t Entry, int32_t Index, int64_t Bytes, std::initializer_list<FTextureStep> Steps)
{
    FTextureFact Fact;
    Fact.Entry = Entry;
    Fact.Index = Index;
    Fact.Bytes = Bytes;
    Fact.Width = Fact.Height = 64;
    Fact.EntryBytes = 20 * 2048;
    Fact.DictionaryBytes = 20 * 2048 - 100;
    for (const FTextureStep& Step : Steps)
        Fact.Steps.AddItem(Step);
    return Fact;
}
} // namespace

// The plan takes the least loss per byte first, skips a halving that a deeper one beats, counts an archive in
// whole blocks, and says when the size cannot be reached.
TEST(FFitPlanTest, TakesTheCheapestBytesFirstAndCountsWholeBlocks)
{
    FFitMeasure Measure;
    Measure.ArchiveBytes.AddItem(100 * 2048);
    // A: 4 units of loss per byte. B: 1 per byte. C: its first halving costs 1 per byte, both together less
    // (0.66), so the plan never stops at its first.
    Measure.Add(0, Fact(3, 0, 8192, {{2048, 6144 * 4.0}, {512, 7680 * 100.0}}));
    Measure.Add(0, Fact(3, 1, 8192, {{2048, 6144 * 1.0}}));
    Measure.Add(0, Fact(7, 0, 16384, {{8192, 8192 * 1.0}, {2048, 14336 * 0.66}}));

    // Enough for one step: C's whole hull step (14336 bytes, 7 blocks of its entry) is cheapest per byte.
    FFitPlan Plan = PlanFit(Measure, 95 * 2048);
    EXPECT_TRUE(Plan.bMet);
    EXPECT_EQ(Plan.Archives[0].DepthOf(7, 0), 2);
    EXPECT_EQ(Plan.Archives[0].DepthOf(3, 0) + Plan.Archives[0].DepthOf(3, 1), 0);
    // The entry's blocks: its 20 became those of its stream of 20 * 2048 - 100 - 14336 bytes.
    EXPECT_EQ(Plan.PlannedBytes, 100 * 2048 - (20 - 13) * 2048);

    // More: B, then A's first halving, in that order of cost.
    Plan = PlanFit(Measure, 87 * 2048);
    EXPECT_TRUE(Plan.bMet);
    EXPECT_EQ(Plan.Archives[0].DepthOf(3, 1), 1);
    EXPECT_EQ(Plan.Archives[0].DepthOf(3, 0), 1);
    EXPECT_EQ(Plan.Archives[0].Choices.Num(), 3);

    // Out of reach: everything is taken, and the plan says it falls short.
    Plan = PlanFit(Measure, 2048);
    EXPECT_FALSE(Plan.bMet);
    EXPECT_EQ(Plan.Archives[0].DepthOf(3, 0), 2);
    EXPECT_EQ(Plan.PlannedBytes, 100 * 2048 - 40 * 2048 + (20 * 2048 - 100 - 13824 + 2047) / 2048 * 2048 +
                                     (20 * 2048 - 100 - 14336 + 2047) / 2048 * 2048);
    // Already small enough: nothing changes.
    Plan = PlanFit(Measure, 100 * 2048);
    EXPECT_TRUE(Plan.bMet);
    EXPECT_EQ(Plan.Archives[0].Choices.Num(), 0);
}

// The curve is the plan's trade at every size: each point is what the plan for its size makes and loses; the
// sizes fall, the loss rises; a texture made smaller counts the pixels its loss counts, one that stays all of its
// own; the points are thinned to the number asked, the first and the last kept.
TEST(FFitPlanTest, TheCurveIsThePlansTradeAtEverySize)
{
    FFitMeasure Measure;
    Measure.ArchiveBytes.AddItem(100 * 2048);
    FTextureFact Kept = Fact(1, 0, 4096, {});
    Measure.Add(0, Kept);
    for (int32_t i = 0; i < 40; ++i)
        Measure.Add(0, Fact(2 + i, 0, 8192, {{4096, 100.0 * (i + 1), 4000}, {1024, 900.0 * (i + 1), 4000}}));
    const TDynArray<FFitCurvePoint> All = TraceFitCurve(Measure, 1000);
    ASSERT_GT(All.Num(), 40);
    EXPECT_EQ(All[0].Bytes, 100 * 2048);
    EXPECT_EQ(All[0].Loss.SquaredError, 0);
    EXPECT_EQ(All[0].Loss.Pixels, 41 * 64 * 64);
    EXPECT_EQ(All[All.Num() - 1].Loss.Pixels, 64 * 64 + 40 * 4000);
    for (int32_t i = 1; i < All.Num(); ++i)
    {
        EXPECT_LE(All[i].Bytes, All[i - 1].Bytes);
        EXPECT_GT(All[i].Loss.SquaredError, All[i - 1].Loss.SquaredError);
        const FFitPlan Plan = PlanFit(Measure, All[i].Bytes);
        if (All[i].Bytes < All[i - 1].Bytes) // the first point of a size is the plan's for it
        {
            EXPECT_TRUE(Plan.PlannedBytes == All[i].Bytes && Plan.SquaredError == All[i].Loss.SquaredError) << i;
        }
    }
    const TDynArray<FFitCurvePoint> Few = TraceFitCurve(Measure, 5);
    ASSERT_LE(Few.Num(), 5);
    ASSERT_GE(Few.Num(), 4);
    EXPECT_EQ(Few[0].Bytes, All[0].Bytes);
    EXPECT_EQ(Few[Few.Num() - 1].Bytes, All[All.Num() - 1].Bytes);
    EXPECT_EQ(Few[Few.Num() - 1].Loss.SquaredError, All[All.Num() - 1].Loss.SquaredError);
}
