// Shrink, restore, a shrink that reuses the kept archive and one more shrink of the shrunk game, run again and again with the k-th file operation of
// each kind made to fail, for every k the clean run reached. Whatever fails, the original archive survives, the
// files are in a state the tests recognise, a step fails only when its fault fired, a step that reports success
// left the very bytes of a clean run, and a clean run afterwards brings the game to a consistent state.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "Core/Inc/CoreOS.h"
#include "engine/FShrinkEngineServer.h"
#include "tests/support/ImgBuilder.h"
#include "tests/support/TempDir.h"
#include "tests/support/TxdBuilder.h"

namespace
{
enum class EStep
{
    Shrink,
    Restore,
    ShrinkAgain,
    ShrinkWhenShrunk, // a second click: nothing to do, and nothing may be lost however the files are read
};
const EStep Steps[] = {EStep::Shrink, EStep::Restore, EStep::ShrinkAgain, EStep::ShrinkWhenShrunk};

struct FTotals
{
    int32_t Runs = 0;
    int32_t Faults = 0;
    int32_t States = 0;
};

class FShrinkFaultTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CoreOS::DirMake(*(Dir / u"Models")));
        FImgBuilder Builder;
        Builder.Add("car.dff", FBytes(3000, 0x11)).Add("car.txd", TxdDictionary({Dxt1Texture("paint", 64, 64, 3)}));
        Builder.Add("wall.txd", TxdDictionary({Dxt1Texture("brick", 128, 64, 1), Dxt1Texture("trim", 32, 32, 2)}));
        Builder.Add("radar00.txd", TxdDictionary({Dxt1Texture("map", 64, 64, 1)})).Add("readme", FBytes(10, 7));
        const FBytes Bytes = Builder.Build();
        Original.assign(Bytes.begin(), Bytes.end());
    }
    void TearDown() override { CoreOS::ResetOsFaults(); }

    FString Game() const { return Dir.Path(); }
    FArchiveFiles Files() const { return GetGameArchiveFiles(Game()); }
    // Whether the file holds exactly Bytes (archives are too long to print when they differ).
    bool Holds(const FString& Path, const std::string& Bytes) const { return TestFileText(Path) == Bytes; }

    void Reset()
    {
        CoreOS::ResetOsFaults();
        for (const FString& Name : {Files().Cur, Files().Temp, Files().OrigBak, Files().KeptShrunk})
        {
            CoreOS::FileSetAttributes(*Name, CoreOS::FILEATTR_Normal);
            CoreOS::FileDelete(*Name);
        }
        ASSERT_TRUE(WriteTestFile(Files().Cur, Original));
    }

    static FTransactionResult Run(EStep Step, const FArchiveFiles& Files)
    {
        return Step == EStep::Restore ? RestoreArchive(Files) : ShrinkArchive(Files, FShrinkJobOptions());
    }

    // The original is intact in gta3.img or in gta3_ORIG_BAK.img, and the set is in a state the two tests
    // recognise: the original in use, or the original kept (shrunk, or interrupted, which a restore repairs).
    void ExpectSafe(const char* Where)
    {
        SCOPED_TRACE(Where);
        const bool bCanShrink = CheckCanShrink(Files()).IsEmpty();
        const bool bCanRestore = CheckCanUnshrink(Files()).IsEmpty();
        EXPECT_NE(bCanShrink, bCanRestore);
        EXPECT_TRUE(Holds(bCanShrink ? Files().Cur : Files().OrigBak, Original));
        ++Totals.States;
    }

    // What a step that reports success must have left: exactly the files of the clean run.
    void ExpectCleanResult(EStep Step)
    {
        if (Step == EStep::Restore)
        {
            EXPECT_TRUE(Holds(Files().Cur, Original));
            EXPECT_FALSE(TestFileExists(Files().OrigBak));
            return;
        }
        EXPECT_TRUE(Holds(Files().Cur, Shrunk));
        EXPECT_TRUE(Holds(Files().OrigBak, Original));
        EXPECT_FALSE(TestFileExists(Files().Temp));
    }

    // The three steps; with Kind armed, its Nth call fails. Counts the calls of every kind when asked.
    void RunSequence(CoreOS::EOsFaultKind Kind, int64_t Nth, CoreOS::EOsFaultMode Mode)
    {
        Reset();
        ++Totals.Runs;
        int64_t Before = 0; // calls of Kind made by the steps before this one
        for (EStep Step : Steps)
        {
            // The table is armed only while a step runs, so that the checks' own reads do not trip it.
            CoreOS::ResetOsFaults();
            if (Nth > Before)
                CoreOS::ArmOsFault(Kind, Nth - Before, Mode);
            const FTransactionResult Result = Run(Step, Files());
            const int64_t After = Before + CoreOS::GetOsCallCount(Kind);
            CoreOS::ResetOsFaults();
            const bool bFired = Nth > Before && Nth <= After;
            Before = After;
            Totals.Faults += bFired ? 1 : 0;
            SCOPED_TRACE(testing::Message() << "kind " << int(Kind) << " call " << Nth << " mode " << int(Mode)
                                            << " step " << int(Step) << ": " << Result.Message.ToUtf8());
            // A step fails only by the fault, or because an earlier one left it nothing to do.
            if (!bFired && Result.Failure != ETransactionFailure::NotReady)
            {
                EXPECT_EQ(Result.Failure, ETransactionFailure::None);
            }
            if (Result.Failure == ETransactionFailure::None)
                ExpectCleanResult(Step);
            // (What the transaction says it left is asked through the file layer too, so only a step that ran
            // without its fault can be held to it.)
            if (!bFired)
            {
                EXPECT_EQ(Result.StateAfter, CheckCanShrink(Files()).IsEmpty() ? EArchiveState::Original
                                             : TestFileExists(Files().Cur)    ? EArchiveState::Shrunk
                                                                               : EArchiveState::Interrupted);
            }
            ExpectSafe("after the step");
        }

        // A clean run repairs whatever the faults left, and ends shrunk.
        if (!CheckCanUnshrink(Files()).IsEmpty())
        {
            EXPECT_EQ(ShrinkArchive(Files(), FShrinkJobOptions()).Message, u"");
        }
        else
        {
            EXPECT_EQ(RestoreArchive(Files()).Message, u"");
            EXPECT_EQ(ShrinkArchive(Files(), FShrinkJobOptions()).Message, u"");
        }
        ExpectCleanResult(EStep::Shrink);
        ExpectSafe("after the repair");
    }

    FFakeFreeSpace Space;
    FTempDir Dir;
    std::string Original;
    std::string Shrunk;
    FTotals Totals;
};
} // namespace

TEST_F(FShrinkFaultTest, EveryFailingFileOperationLeavesTheOriginalAndARecognisedState)
{
    // The clean run: what a shrink makes, and how many calls of each kind the three steps take.
    Reset();
    for (EStep Step : Steps)
    {
        const FTransactionResult Result = Run(Step, Files());
        ASSERT_EQ(Result.Failure, Step == EStep::ShrinkWhenShrunk ? ETransactionFailure::NotReady
                                                                  : ETransactionFailure::None);
        if (Step == EStep::Shrink)
            Shrunk = TestFileText(Files().Cur);
    }
    ASSERT_NE(Shrunk, Original);
    int64_t Calls[CoreOS::OSFAULT_Count];
    for (int32_t Kind = 0; Kind < CoreOS::OSFAULT_Count; ++Kind)
        Calls[Kind] = CoreOS::GetOsCallCount(CoreOS::EOsFaultKind(Kind));

    struct FPlan
    {
        CoreOS::EOsFaultKind Kind;
        CoreOS::EOsFaultMode Mode;
    };
    const FPlan Plans[] = {
        {CoreOS::OSFAULT_Open, CoreOS::OSFAULTMODE_Fail},  {CoreOS::OSFAULT_Read, CoreOS::OSFAULTMODE_Short},
        {CoreOS::OSFAULT_Read, CoreOS::OSFAULTMODE_Fail},  {CoreOS::OSFAULT_Write, CoreOS::OSFAULTMODE_Short},
        {CoreOS::OSFAULT_Write, CoreOS::OSFAULTMODE_Fail}, {CoreOS::OSFAULT_Flush, CoreOS::OSFAULTMODE_Fail},
        {CoreOS::OSFAULT_Move, CoreOS::OSFAULTMODE_Fail},  {CoreOS::OSFAULT_Delete, CoreOS::OSFAULTMODE_Fail},
        {CoreOS::OSFAULT_Close, CoreOS::OSFAULTMODE_Fail},
    };
    for (const FPlan& Plan : Plans)
    {
        ASSERT_GT(Calls[Plan.Kind], 0) << "kind " << int(Plan.Kind) << " is never reached";
        for (int64_t Nth = 1; Nth <= Calls[Plan.Kind] && !HasFatalFailure(); ++Nth)
            RunSequence(Plan.Kind, Nth, Plan.Mode);
    }
    std::printf("fault injection: %d runs, %d faults injected, %d states checked\n", Totals.Runs, Totals.Faults,
                Totals.States);
    // Every run arms a call the clean run made; nearly all of them must fire, or the table tests nothing.
    EXPECT_GT(Totals.Faults, Totals.Runs * 3 / 4);
}
