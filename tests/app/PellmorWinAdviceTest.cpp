// The advice under the kinds of failure that the dialog's own tests do not bring about (no space, damage and a
// closed folder are shown there), chosen from the engine's verdict on the typed outcome.
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
        const char16_t* Advice; // empty: the engine's text alone
    } Cases[] = {
        {InUse, false,
         u"The game's archive is in use, so Windows does not let PellmorWin rename or delete it. Close the game, or "
         u"any program that has gta3.img open, and try again."},
        {RestoreInUse, true,
         u"The restore failed; the original archive is still kept as gta3_ORIG_BAK.img.\r\n\r\nThe game's archive "
         u"is in use, so Windows does not let PellmorWin rename or delete it. Close the game, or any program that "
         u"has gta3.img open, and try again."},
        {Outcome(ETransactionFailure::Busy), false,
         u"Another shrink or restore (another PellmorWin.exe, or pellmor) is running on these game files; nothing "
         u"was changed. Wait until it has finished, then try again."},
        {Other, false, u""},
    };
    for (const auto& Case : Cases)
    {
        const FString Text =
            DescribeFailure(FString(u"Engine text"), JudgeTransaction(Files, Case.bRestore, Case.Result), Files);
        EXPECT_EQ(Text, *Case.Advice ? u"Engine text\r\n\r\n" + FString(Case.Advice) : FString(u"Engine text"));
    }
}
