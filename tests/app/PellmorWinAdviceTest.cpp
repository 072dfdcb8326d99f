// The advice under the kinds of failure that the dialog's own tests do not bring about (no space and damage are
// shown there, a closed folder in the GUI suite), chosen from the engine's verdict on the typed outcome.
#include <gtest/gtest.h>

#include "Core/Inc/CoreOS.h"
#include "app/PellmorWinAdvice.h"
#include "tests/support/TempDir.h"

TEST(PellmorWinAdviceTest, EachFailureKindGetsItsAdviceAfterTheEnginesText)
{
    // A folder the user may write to: "access denied" for a rename there means the archive is held open.
    FTempDir Game;
    ASSERT_TRUE(CoreOS::DirMake(*(Game.Path() + u"Models")));
    const FArchiveFiles Files = GetGameArchiveFiles(Game.Path());
    auto Outcome = [](ETransactionFailure Failure)
    {
        FTransactionResult Result;
        Result.Failure = Failure;
        Result.StateBefore = EArchiveState::Original;
        return Result;
    };
    FTransactionResult InUse = Outcome(ETransactionFailure::RenameFailed);
    InUse.OsError = CoreOS::OSERROR_AccessDenied;
    FTransactionResult RestoreInUse = InUse;
    RestoreInUse.StateAfter = EArchiveState::Shrunk;
    FTransactionResult Other = Outcome(ETransactionFailure::DeleteFailed);
    Other.OsError = CoreOS::OSERROR_FileNotFound;

    const struct
    {
        FTransactionResult Result;
        bool bRestore;
        const char16_t* Advice; // how the advice after the engine's text begins; null: the engine's text alone
    } Cases[] = {
        {InUse, false, u"The game's archive is in use, so Windows does not let PellmorWin rename or delete it."},
        {RestoreInUse, true,
         u"The restore failed; the original archive is still kept as gta3_ORIG_BAK.img.\r\n\r\nThe game's archive "
         u"is in use"},
        {Outcome(ETransactionFailure::Busy), false, u"Another shrink or restore (another PellmorWin.exe, or pellmor)"},
        {Other, false, nullptr},
    };
    for (const auto& Case : Cases)
    {
        const FString Text =
            DescribeFailure(FString(u"Engine text"), JudgeTransaction(Files, Case.bRestore, Case.Result), Files);
        EXPECT_TRUE(Case.Advice ? Text.StartsWith(*(u"Engine text\r\n\r\n" + FString(Case.Advice)))
                                : Text == u"Engine text")
            << Text.ToUtf8();
    }
}
