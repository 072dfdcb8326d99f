// The main dialog over the real engine and a small game directory on disk.
#include <memory>

#include "Core/Inc/CoreFormat.h"
#include "Core/Inc/CorePath.h"
#include "app/PellmorWinAdvice.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/ImgBuilder.h"

using CPellmorWinDlgTest = FDialogTest;

TEST_F(CPellmorWinDlgTest, OpensWithActionsDisabledThenFollowsShrinkAndRestore)
{
    OpenDialog();
    EXPECT_EQ(UiHeadless::ControlText(*Dlg, IDC_DIR), GameDir);
    EXPECT_EQ(Status(), u"");
    EXPECT_FALSE(Enabled(IDC_SHRINK) || Enabled(IDC_RESTORE));
    EXPECT_TRUE(Enabled(IDC_EXIT));
    EXPECT_EQ(UiHeadless::FocusId(*Dlg), IDC_EXIT);
    EXPECT_EQ(UiHeadless::TimerPeriod(*Dlg, CPellmorWinDlg::TimerId), 1000u);

    // The first tick queues the first pair of tests; until they are answered the dialog is busy.
    Tick();
    EXPECT_EQ(Status(), u"Please wait.\r\n");
    ASSERT_TRUE(TickUntil([&] { return StatusStartsWith(StandardText); }));
    // The state's own text, then the archive's size under it, in the system's units.
    const int64_t Before = int64_t(TestFileText(GameFile(u"")).size());
    EXPECT_EQ(Status(), u"Found standard GTA:SA files.\r\n\r\nPress the 'Shrink' button below to compress\r\n"
                        u"your IMG Files.\r\n\r\nDont worry - It's all reversable.\r\n\r\ngta3.img: " +
                            appFormatMegabytes(Before) + u"\r\nEstimating...\r\n");
    EXPECT_FALSE(Enabled(IDC_RESTORE));

    // Preview... makes the page in the engine, every button off meanwhile, opens it in the browser and says where
    // it is.
    const int32_t Opened = UiHeadless::OpenedDocuments().Num();
    ASSERT_TRUE(UiHeadless::ClickButton(*Dlg, IDC_PREVIEW));
    EXPECT_EQ(Status(), u"Making the preview...\r\n");
    EXPECT_FALSE(Enabled(IDC_SHRINK) || Enabled(IDC_PREVIEW) || Enabled(IDC_RESTORE));
    ASSERT_TRUE(TickUntil([&] { return UiHeadless::OpenedDocuments().Num() > Opened; }));
    const FString Page = UiHeadless::OpenedDocuments()[UiHeadless::OpenedDocuments().Num() - 1];
    EXPECT_EQ(Page, appPathJoin(CPellmorWinDlg::GetPreviewDir(), FString(u"index.html")));
    EXPECT_TRUE(TestFileExists(Page));
    ASSERT_TRUE(TickUntil([&] { return Enabled(IDC_PREVIEW) && Enabled(IDC_SHRINK); }));
    EXPECT_NE(Status().InStr(*(Page + u"; it went to your web browser.")), -1) << Status().ToUtf8();

    ASSERT_TRUE(UiHeadless::ClickButton(*Dlg, IDC_SHRINK));
    EXPECT_TRUE(Status() == u"Please wait.\r\n" && !Enabled(IDC_SHRINK) && !Enabled(IDC_RESTORE));
    ASSERT_TRUE(TickUntil([&] { return StatusStartsWith(ShrunkText); }));
    const int64_t After = int64_t(TestFileText(GameFile(u"")).size());
    EXPECT_EQ(Status(), u"Found shrunked GTA:SA files.\r\n\r\nEnjoy your wankerized and slightly less warpy game!\r\n"
                        u"\r\nPress the 'Restore' button below to revert back\r\nto your original IMG Files.\r\n\r\n"
                        u"gta3.img: " +
                            appFormatMegabytes(Before) + u" -> " + appFormatMegabytes(After) + u", " +
                            appFormatMegabytes(Before - After) + u" less\r\nShrunk with the standard shrink.\r\n");
    EXPECT_FALSE(Enabled(IDC_SHRINK));
    EXPECT_TRUE(Enabled(IDC_RESTORE));

    ASSERT_TRUE(UiHeadless::ClickButton(*Dlg, IDC_RESTORE));
    ASSERT_TRUE(TickUntil([&] { return StatusStartsWith(StandardText); }));
    EXPECT_TRUE(TestFileText(GameFile(u"")) == Original);
    EXPECT_EQ(UiHeadless::ShownMessageBoxes().Num(), 0);

    // A mod changes gta3.img after the restore: the kept shrunk archive no longer fits it, and the status says
    // what the next shrink will do.
    WaitForEngine();
    ASSERT_TRUE(WriteTestFile(GameFile(u""), PlainArchive(7)));
    ASSERT_TRUE(TickUntil(
        [&]
        {
            return Status().InStr(u"reversable.\r\n\r\nThe next shrink builds a new shrunk "
                                  u"archive, because gta3.img ") >= 0;
        }));
    EXPECT_TRUE(StatusStartsWith(StandardText) && Enabled(IDC_SHRINK));
}

TEST_F(CPellmorWinDlgTest, TypingIsCheckedFirstAndAShrinkActsOnTheFolderInTheBoxAtTheClick)
{
    FTempDir Other;
    ASSERT_TRUE(CoreOS::DirMake(*(Other.Path() + u"Models")));
    ASSERT_TRUE(WriteTestFile(Other.Path() + u"Models\\gta3.img", Original));
    OpenDialog();
    ASSERT_TRUE(TickUntil([&] { return StatusStartsWith(StandardText); }));

    // The buttons go off with the first key; what was found for the folder before is not shown for the new one.
    // (That the status changing meanwhile never disturbs the typing: the GUI suite types slowly.)
    UiHeadless::TypeText(*Dlg, IDC_DIR, *(GameDir + u"\\nowhere"));
    EXPECT_EQ(Status(), u"Please wait.\r\n");
    ASSERT_TRUE(TickUntil(
        [&]
        {
            EXPECT_FALSE(Enabled(IDC_SHRINK));
            return StatusStartsWith(CannotFindText);
        }));

    // The folder is checked a moment after the last key, without waiting for the next tick, and the quick look
    // stops once its answers are in.
    UiHeadless::TypeText(*Dlg, IDC_DIR, *GameDir);
    EXPECT_EQ(UiHeadless::TimerPeriod(*Dlg, CPellmorWinDlg::RecheckTimerId), uint32_t(CPellmorWinDlg::RecheckPeriodMs));
    for (int32_t i = 0; i < 10000 && !Enabled(IDC_SHRINK); ++i)
    {
        Clock.Advance(CPellmorWinDlg::RecheckPeriodMs);
        ASSERT_TRUE(UiHeadless::FireTimer(*Dlg, CPellmorWinDlg::RecheckTimerId));
        SleepBriefly();
    }
    EXPECT_TRUE(Enabled(IDC_SHRINK));
    EXPECT_EQ(UiHeadless::TimerPeriod(*Dlg, CPellmorWinDlg::RecheckTimerId), 0u);

    // Typed after the last tick; the click was on its way before the change turned the buttons off.
    UiHeadless::TypeText(*Dlg, IDC_DIR, *Other.Path());
    EXPECT_FALSE(Enabled(IDC_SHRINK) || Enabled(IDC_RESTORE));
    Dlg->OnShrink();
    ASSERT_TRUE(TickUntil([&] { return StatusStartsWith(ShrunkText); }));
    EXPECT_TRUE(TestFileExists(Other.Path() + u"Models\\gta3_ORIG_BAK.img"));
    EXPECT_EQ(FileState(), "shrink");
}

TEST_F(CPellmorWinDlgTest, AutomaticModesMakeOneAttemptAndEndWithItsExitCode)
{
    // Every tick comes after the engine has run all it was given, so the tests queued just before an automatic
    // transaction end in the same tick as the transaction. Their answers describe the files before it: the tick
    // that collects the transaction's end still says "Please wait.".
    auto Run = [&](const FString& Dir, bool bShrink, const FGameDirSearch* Search = nullptr)
    {
        OpenDialog(Search ? *Search : FGameDirSearch(), bShrink, !bShrink, Search ? nullptr : &Dir);
        for (int32_t i = 0; i < 100 && !IsEnded(); ++i)
        {
            const bool bWasRunning = Dlg->Client->bShrinking || Dlg->Client->bUnshrinking;
            WaitForEngine();
            Tick();
            if (bWasRunning && !Dlg->Client->bShrinking && !Dlg->Client->bUnshrinking)
            {
                EXPECT_EQ(Status(), u"Please wait.\r\n");
            }
        }
        EXPECT_TRUE(IsEnded());
        return Dlg->ExitCode;
    };
    // No registry value, but the program copied into the game's folder: /s finds the game there. (/s and /u
    // on a folder given, twice each, and without a game: the GUI suite.)
    FGameDirSearch Search;
    Search.bRegistry = true;
    Search.ProgramDir = GameDir;
    EXPECT_EQ(Run(FString(), true, &Search), CPellmorWinDlg::EXIT_Done);
    EXPECT_EQ(FileState(), "restore");
    EXPECT_EQ(Run(GameDir, false), CPellmorWinDlg::EXIT_Done);
    EXPECT_EQ(FileState(), "shrink");
    EXPECT_EQ(UiHeadless::ShownMessageBoxes().Num(), 0);
}

// Exit, Esc, Enter and the close box ask while a shrink runs, No by default. Yes cancels the shrink and waits for the
// engine before the dialog goes, saying "Please wait." meanwhile; the files stay original. A stray Enter during /s
// stops nothing, and the run ends as it would have, with 0. (Cancel in the progress window: the GUI suite clicks
// it.)
TEST_F(CPellmorWinDlgTest, ExitDuringAShrinkAsksAndOnlyYesStopsIt)
{
    auto AskedToStop = [&](int32_t Count)
    {
        const TDynArray<UiHeadless::FShownMessageBox>& Boxes = UiHeadless::ShownMessageBoxes();
        return Boxes.Num() == Count && Boxes[Boxes.Num() - 1].Text == DescribeStopQuestion(true) &&
               Boxes[Boxes.Num() - 1].Type == uint32_t(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    };
    auto Gate = std::make_unique<FShrinkGate>();
    OpenDialog();
    ASSERT_TRUE(TickUntil([&] { return Enabled(IDC_SHRINK); }));
    ASSERT_TRUE(UiHeadless::ClickButton(*Dlg, IDC_SHRINK));
    ASSERT_TRUE(Gate->WaitArrived());
    UiHeadless::QueueMessageBoxAnswers({IDNO, IDYES});
    ASSERT_TRUE(UiHeadless::ClickButton(*Dlg, IDC_EXIT));
    UiHeadless::PumpMessages();
    EXPECT_TRUE(AskedToStop(1));
    EXPECT_EQ(Dlg->Client->bCancelShrink, 0);
    Dlg->PostMessage(WM_CLOSE);
    UiHeadless::PumpMessages();
    EXPECT_TRUE(AskedToStop(2));
    EXPECT_FALSE(IsEnded());
    EXPECT_EQ(Status(), u"Please wait.\r\n");
    EXPECT_FALSE(Enabled(IDC_SHRINK) || Enabled(IDC_RESTORE));
    Gate->Open();
    ASSERT_TRUE(TickUntil([&] { return IsEnded(); }));
    EXPECT_EQ(UiHeadless::ShownMessageBoxes().Num(), 2); // no "Shrink canceled" for a dialog that is going
    EXPECT_EQ(FileState(), "shrink");

    UiHeadless::ClearMessageBoxes();
    Gate.reset();
    Gate = std::make_unique<FShrinkGate>();
    OpenDialog(GameDir, true, false);
    ASSERT_TRUE(TickUntil([&] { return Dlg->Client->bShrinking != 0; }));
    ASSERT_TRUE(Gate->WaitArrived());
    Dlg->SendMessage(WM_COMMAND, IDOK);
    EXPECT_TRUE(AskedToStop(1));
    Gate->Open();
    ASSERT_TRUE(TickUntil([&] { return IsEnded(); }));
    EXPECT_EQ(Dlg->ExitCode, CPellmorWinDlg::EXIT_Done);
    EXPECT_EQ(FileState(), "restore");
}

TEST_F(CPellmorWinDlgTest, AnotherTransactionTurnsTheButtonsOffAndAnAutomaticRunWaitsForIt)
{
    // Another program's shrink or restore holds the game's lock.
    auto Lock = std::make_unique<FTransactionLock>(GetGameArchiveFiles(Temp.Path()));
    ASSERT_FALSE(Lock->IsBusy());
    const FString BusyText = GetBusyElsewhereStatus();
    OpenDialog(GameDir, true, false);
    ASSERT_TRUE(TickUntil([&] { return Status() == BusyText; }));
    EXPECT_FALSE(Enabled(IDC_SHRINK) || Enabled(IDC_RESTORE));

    // It is not "nothing to do": /s waits for it, for minutes, then shrinks.
    Clock.Advance(9 * 60 * 1000);
    for (int32_t i = 0; i < 3; ++i)
    {
        WaitForEngine();
        Tick();
    }
    EXPECT_FALSE(IsEnded());
    EXPECT_EQ(Status(), BusyText);
    Lock.reset();
    ASSERT_TRUE(TickUntil([&] { return IsEnded(); }));
    EXPECT_EQ(Dlg->ExitCode, CPellmorWinDlg::EXIT_Done);
    EXPECT_EQ(FileState(), "restore");

    // After ten minutes /u gives up like any failure.
    Lock.reset(new FTransactionLock(GetGameArchiveFiles(Temp.Path())));
    OpenDialog(GameDir, false, true);
    ASSERT_TRUE(TickUntil([&] { return Status() == BusyText; }));
    Clock.Advance(10 * 60 * 1000);
    ASSERT_TRUE(TickUntil([&] { return IsEnded(); }));
    EXPECT_EQ(Dlg->ExitCode, CPellmorWinDlg::EXIT_Failed);
    ASSERT_EQ(UiHeadless::ShownMessageBoxes().Num(), 1);
    EXPECT_EQ(UiHeadless::ShownMessageBoxes()[0].Text, WithLogPlace(DescribeWaitGivenUp(10)));
    EXPECT_EQ(UiHeadless::ShownMessageBoxes()[0].Caption, u"Perform Restore");
    EXPECT_EQ(FileState(), "restore");
}

TEST_F(CPellmorWinDlgTest, ADamagedArchiveKeepsShrinkOffAndAnAutomaticShrinkFailsWithAdvice)
{
    // The last entry claims 2500 blocks that the file does not hold.
    ASSERT_TRUE(WriteFileBytes(
        GameFile(u""),
        FImgBuilder().Add("a.col", FBytes(100, 1)).Add("b.col", FBytes(100, 2)).SetDirEntry(1, 2, 2500).Build()));
    const int64_t Short = int64_t(2 + 2500) * 2048 - int64_t(TestFileText(GameFile(u"")).size());
    const FString Damage = u"gta3.img is damaged: 1 entry lies past the end of the file, which is " +
                           appFormatMegabytes(Short) + u" short.";
    const FString CopyAgain = u"Copy gta3.img again from the game's install or a backup.";
    OpenDialog();
    ASSERT_TRUE(TickUntil([&] { return !StatusStartsWith(u"Please wait."); }));
    EXPECT_EQ(Status(),
              u"Found GTA:SA files, but " + Damage + u"\r\n\r\n" + CopyAgain + u" Shrink stays off until then.\r\n");
    EXPECT_FALSE(Enabled(IDC_SHRINK) || Enabled(IDC_RESTORE));

    OpenDialog(GameDir, true, false);
    ASSERT_TRUE(TickUntil([&] { return IsEnded(); }));
    EXPECT_EQ(Dlg->ExitCode, CPellmorWinDlg::EXIT_Failed);
    ASSERT_EQ(UiHeadless::ShownMessageBoxes().Num(), 1);
    EXPECT_EQ(
        UiHeadless::ShownMessageBoxes()[0].Text,
        WithLogPlace(u"Perform Shrink - Failed while building TempShrinkFiles\r\n\r\n" + Damage + u" " + CopyAgain));
    EXPECT_EQ(FileState(), "shrink");
}

// The texture size and Smooth: Smooth follows the size until the player touches it, the estimate shown is about
// the choice shown (one still running is dropped), Shrink makes what was chosen, and the choice is there again
// at the next start.
TEST_F(CPellmorWinDlgTest, TextureSizeAndSmoothAreEstimatedShrunkWithAndRemembered)
{
    FTempDir Game;
    ASSERT_TRUE(MakeSampleGame(Game.Path(), 20));
    auto Smooth = [&] { return Dlg->IsDlgButtonChecked(IDC_SMOOTH) == BST_CHECKED; };
    auto Note = [&] { return UiHeadless::ControlText(*Dlg, IDC_CHOICE_NOTE); };
    auto Estimated = [&] { return Status().InStr(u"With this choice gta3.img becomes about ") >= 0; };
    FShrinkGate Gate;
    OpenDialog(Game.Path(), false, false);
    EXPECT_FALSE(Smooth());
    ASSERT_TRUE(TickUntil([&] { return Status().EndsWith(u"Estimating...\r\n"); }));
    ASSERT_TRUE(Gate.WaitArrived());

    // The standard shrink's estimate is held in its dry run; the new choice drops it. The line under the choice
    // says what it does.
    const FString StandardNote = Note();
    EXPECT_NE(StandardNote.InStr(u"smaller files"), -1) << StandardNote.ToUtf8();
    ASSERT_TRUE(UiHeadless::SelectItem(*Dlg, IDC_TEXTURE_SIZE, 4));
    EXPECT_TRUE(Smooth());
    EXPECT_NE(Note().InStr(u"larger than 128 pixels"), -1) << Note().ToUtf8();
    EXPECT_NE(Note().InStr(u"Smooth: pixels averaged"), -1) << Note().ToUtf8();
    EXPECT_TRUE(Status().EndsWith(u"Estimating...\r\n")) << Status().ToUtf8();
    Gate.Open();
    ASSERT_TRUE(TickUntil(Estimated));
    const FString Smallest = Status();
    ASSERT_TRUE(UiHeadless::SelectItem(*Dlg, IDC_TEXTURE_SIZE, 0));
    EXPECT_FALSE(Smooth());
    EXPECT_EQ(Note(), StandardNote);
    ASSERT_TRUE(TickUntil(Estimated));
    EXPECT_NE(Status(), Smallest);

    // Once cleared by hand, Smooth stays as the player left it.
    ASSERT_TRUE(UiHeadless::SelectItem(*Dlg, IDC_TEXTURE_SIZE, 2));
    EXPECT_TRUE(Smooth());
    ASSERT_TRUE(UiHeadless::ClickButton(*Dlg, IDC_SMOOTH));
    ASSERT_TRUE(UiHeadless::SelectItem(*Dlg, IDC_TEXTURE_SIZE, 3));
    EXPECT_FALSE(Smooth());
    ASSERT_TRUE(TickUntil([&] { return Enabled(IDC_SHRINK); }));
    ASSERT_TRUE(UiHeadless::ClickButton(*Dlg, IDC_SHRINK));
    ASSERT_TRUE(TickUntil([&] { return StatusStartsWith(ShrunkText); }));
    EXPECT_TRUE(Status().EndsWith(u"Shrunk at most 256 pixels, not smooth.\r\n")) << Status().ToUtf8();

    ASSERT_TRUE(UiHeadless::ClickButton(*Dlg, IDC_EXIT));
    UiHeadless::PumpMessages();
    ASSERT_TRUE(IsEnded());
    OpenDialog(Game.Path(), false, false);
    EXPECT_EQ(UiHeadless::ControlText(*Dlg, IDC_TEXTURE_SIZE), u"At most 256 pixels");
    EXPECT_FALSE(Smooth());
    EXPECT_NE(Note().InStr(u"Pixels picked"), -1) << Note().ToUtf8();

    // Shrunk with another choice than the one shown, the game must be restored first; the status says so.
    ASSERT_TRUE(TickUntil([&] { return Enabled(IDC_RESTORE); }));
    EXPECT_EQ(Status().InStr(*DescribeRestoreFirst()), -1) << Status().ToUtf8();
    ASSERT_TRUE(UiHeadless::SelectItem(*Dlg, IDC_TEXTURE_SIZE, 1));
    ASSERT_TRUE(TickUntil([&] { return Enabled(IDC_RESTORE); }));
    EXPECT_TRUE(Status().EndsWith(*(u"not smooth.\r\n" + DescribeRestoreFirst() + u"\r\n"))) << Status().ToUtf8();
    ASSERT_TRUE(UiHeadless::SelectItem(*Dlg, IDC_TEXTURE_SIZE, 3));

    // After a restore the kept archive is named when the choice shown would not take it over.
    ASSERT_TRUE(TickUntil([&] { return Enabled(IDC_RESTORE); }));
    ASSERT_TRUE(UiHeadless::ClickButton(*Dlg, IDC_RESTORE));
    ASSERT_TRUE(TickUntil(Estimated));
    EXPECT_EQ(Status().InStr(u"The kept shrunk archive"), -1) << Status().ToUtf8();
    ASSERT_TRUE(UiHeadless::SelectItem(*Dlg, IDC_TEXTURE_SIZE, 0));
    EXPECT_NE(Status().InStr(u"The kept shrunk archive was made at most 256 pixels, not smooth; Shrink builds a new "
                             u"one for this choice.\r\n"),
              -1)
        << Status().ToUtf8();

    // No visible change, last in the list, is remembered as the others are.
    ASSERT_TRUE(UiHeadless::SelectItem(*Dlg, IDC_TEXTURE_SIZE, 5));
    EXPECT_EQ(UiHeadless::ControlText(*Dlg, IDC_TEXTURE_SIZE), u"No visible change");
    EXPECT_NE(Note().InStr(u"stays at 40 dB or better"), -1) << Note().ToUtf8();
    ASSERT_TRUE(UiHeadless::ClickButton(*Dlg, IDC_EXIT));
    UiHeadless::PumpMessages();
    ASSERT_TRUE(IsEnded());
    OpenDialog(Game.Path(), false, false);
    EXPECT_EQ(UiHeadless::ControlText(*Dlg, IDC_TEXTURE_SIZE), u"No visible change");
}

// A mod installed into the shrunk archive (appended to it, as mod tools do): the status says so, /u refuses with the
// advice, and Restore asks first: No leaves everything as it is, Yes restores and loses the change. The kept
// shrunk copy then holds that change: Remove kept copy... removes it only on a second, explicit Yes.
TEST_F(CPellmorWinDlgTest, RestoringAChangedArchiveAsksFirstAndSoDoesRemovingItsCopy)
{
    OpenDialog(GameDir, true, false);
    ASSERT_TRUE(TickUntil([&] { return IsEnded(); }));
    WaitForEngine(); // the tests queued with the shrink's end may still have gta3.img open
    const std::string Modded = TestFileText(GameFile(u"")) + "a mod";
    ASSERT_TRUE(WriteTestFile(GameFile(u""), Modded));
    const FString Changed = u"gta3.img changed after the shrink (a mod was installed into it)";

    OpenDialog(GameDir, false, true);
    ASSERT_TRUE(TickUntil([&] { return IsEnded(); }));
    EXPECT_EQ(Dlg->ExitCode, CPellmorWinDlg::EXIT_Failed);
    ASSERT_EQ(UiHeadless::ShownMessageBoxes().Num(), 1);
    EXPECT_NE(UiHeadless::ShownMessageBoxes()[0].Text.InStr(u"click Restore and answer Yes"), -1);
    UiHeadless::ClearMessageBoxes();

    OpenDialog();
    ASSERT_TRUE(TickUntil([&] { return Status().InStr(*Changed) >= 0; }));
    EXPECT_FALSE(Enabled(IDC_CLEAN));
    const TDynArray<UiHeadless::FShownMessageBox>& Boxes = UiHeadless::ShownMessageBoxes();
    for (const int32_t Answer : {IDNO, IDYES})
    {
        UiHeadless::AnswerMessageBoxes(Answer);
        ASSERT_TRUE(UiHeadless::ClickButton(*Dlg, IDC_RESTORE));
        ASSERT_EQ(Boxes.Num(), Answer == IDNO ? 1 : 2);
        EXPECT_EQ(Boxes[Boxes.Num() - 1].Text, DescribeDiscardQuestion(u"gta3.img"));
        EXPECT_EQ(Boxes[Boxes.Num() - 1].Type, uint32_t(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
        WaitForEngine();
        ASSERT_TRUE(TickUntil([&] { return !StatusStartsWith(u"Please wait."); }));
        EXPECT_TRUE(TestFileText(GameFile(u"")) == (Answer == IDNO ? Modded : Original));
    }
    EXPECT_TRUE(StatusStartsWith(StandardText));

    const FString Kept = GameFile(u"_SHRUNK_BAK");
    const FString Listed = u"gta3_SHRUNK_BAK.img (" + appFormatMegabytes(int64_t(Modded.size())) + u")";
    ASSERT_TRUE(TickUntil([&] { return Enabled(IDC_CLEAN); }));
    UiHeadless::ClearMessageBoxes();
    for (const int32_t Second : {IDNO, IDYES})
    {
        UiHeadless::QueueMessageBoxAnswers({IDYES, Second});
        ASSERT_TRUE(UiHeadless::ClickButton(*Dlg, IDC_CLEAN));
        const int32_t Asked = Boxes.Num();
        ASSERT_GE(Asked, 2);
        EXPECT_NE(Boxes[Asked - 2].Text.InStr(*Listed), -1) << Boxes[Asked - 2].Text.ToUtf8();
        EXPECT_NE(Boxes[Asked - 2].Text.InStr(u"The original archives stay as they are"), -1);
        EXPECT_EQ(Boxes[Asked - 1].Text, DescribeKeptChangeQuestion(u"gta3_SHRUNK_BAK.img"));
        ASSERT_TRUE(TickUntil([&] { return Boxes.Num() > Asked; }));
        EXPECT_EQ(Boxes[Boxes.Num() - 1].Caption, u"Remove kept copy");
        EXPECT_NE(Boxes[Boxes.Num() - 1].Text.InStr(Second == IDNO ? u"gta3_SHRUNK_BAK.img was kept"
                                                                   : u"Removed gta3_SHRUNK_BAK.img"),
                  -1)
            << Boxes[Boxes.Num() - 1].Text.ToUtf8();
        EXPECT_EQ(TestFileExists(Kept), Second == IDNO);
        ASSERT_TRUE(TickUntil([&] { return !StatusStartsWith(u"Please wait."); }));
    }
    ASSERT_TRUE(TickUntil([&] { return !Enabled(IDC_CLEAN); }));
    EXPECT_TRUE(TestFileText(GameFile(u"")) == Original);
}
