// The main dialog's state rules over a client whose answers the test sets.
#include "Core/Inc/CoreFormat.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CorePath.h"
#include "tests/app/AppTestSupport.h"

namespace
{
class CPellmorWinDlgStateTest : public FDialogTest
{
protected:
    void Open()
    {
        OpenDialog();
        Fake = UseFakeClient();
    }
    // The status once the client has answered.
    FString StatusAfter(const char16_t* CanShrink, const char16_t* CanUnshrink)
    {
        Fake->Answer(CanShrink, CanUnshrink);
        Tick();
        return Status();
    }
    FFakeClient* Fake = nullptr;
};

bool MakeGame(const FString& Folder)
{
    return CoreOS::DirMake(*Folder) && CoreOS::DirMake(*appPathJoin(Folder, u"Models")) &&
           WriteTestFile(appPathJoin(Folder, u"Models/gta3.img"), "VER2");
}
} // namespace

// The dialog starts on the folder the search finds (the search's order is the engine's test) and says where it came
// from while the box shows it; a default folder that holds no game says first what is wrong with it.
TEST_F(CPellmorWinDlgStateTest, StartsWhereTheSearchFindsTheGameAndSaysWhere)
{
    ASSERT_TRUE(CoreOS::DirMake(*(Temp.Path() + u"bin")));
    FTempDir Elsewhere;
    const FString Gone = Elsewhere.Path() + u"gone";
    const struct
    {
        FString Remembered, ProgramDir, Dir;
        const char16_t* Line;
    } Steps[] = {
        {GameDir, GameDir, GameDir, u"The folder you used last time."},
        {Gone, Temp.Path() + u"bin", GameDir, u"The folder above the one this program is in."},
        {Gone, Gone, FString(GDefaultGameDir), u"The default install folder."},
    };
    auto Normal = [](const FString& Dir) { return appWithTrailingSeparator(appWithoutTrailingSeparators(Dir)); };
    for (const auto& Step : Steps)
    {
        FGameDirSearch Search;
        Search.bRegistry = true; // no value there: the default folder comes last
        Search.Remembered = Step.Remembered;
        Search.ProgramDir = Step.ProgramDir;
        OpenDialog(Search);
        Fake = UseFakeClient();
        SCOPED_TRACE(FString(Step.Line).ToUtf8());
        EXPECT_EQ(Normal(Dlg->m_strDir), Normal(Step.Dir));
        EXPECT_TRUE(StatusAfter(u"true", u"false").EndsWith(*(FString(u"\r\n") + Step.Line + u"\r\n")))
            << Status().ToUtf8();
    }
    EXPECT_TRUE(StatusAfter(u"false", u"false")
                    .EndsWith(*(u"This folder does not exist.\r\nThe game is usually in " +
                                appWithoutTrailingSeparators(GDefaultGameDir) +
                                u", or, bought on Steam, in ...\\steamapps\\common\\Grand Theft Auto San "
                                u"Andreas.\r\nThe default install folder.\r\n")))
        << Status().ToUtf8();
    // Another folder typed in came from nowhere the dialog knows.
    UiHeadless::TypeText(*Dlg, IDC_DIR, *GameDir);
    EXPECT_TRUE(StatusAfter(u"true", u"false").EndsWith(u"It's all reversable.\r\n"));
}

// Browse opens in the folder in the box, or the nearest one above it that exists. A folder inside the game, or a
// Steam library holding it, lands on the game's folder; one with no game near is kept and the status says what is
// wrong with it; a cancelled picker changes nothing.
TEST_F(CPellmorWinDlgStateTest, BrowseLandsOnTheGameFolder)
{
    Open();
    FTempDir Other;
    const FString Library = Other.Path() + u"Library";
    const FString LibraryGame = Library + u"/steamapps/common/Grand Theft Auto San Andreas";
    ASSERT_TRUE(CoreOS::DirMake(*Library) && CoreOS::DirMake(*(Library + u"/steamapps")) &&
                CoreOS::DirMake(*(Library + u"/steamapps/common")));
    ASSERT_TRUE(MakeGame(LibraryGame));
    const FString Empty = Other.Path() + u"Empty";
    ASSERT_TRUE(CoreOS::DirMake(*Empty));
    const FString Found = u"\r\nThe game's folder, found from the one you picked.\r\n";
    const struct
    {
        FString Picked, Start, Box;
        const char16_t* Answer;
        FString StatusEnd;
    } Steps[] = {
        {GameDir + u"/Models", GameDir, appWithTrailingSeparator(GameDir), u"true", Found},
        {Library, GameDir, appWithTrailingSeparator(LibraryGame), u"true", Found},
        {Empty, LibraryGame, appWithTrailingSeparator(Empty), u"false",
         u"This folder holds no Models\\gta3.img.\r\nThe game is usually in "},
        {FString(), Empty, appWithTrailingSeparator(Empty), u"false", u"The game is usually in "},
    };
    for (const auto& Step : Steps)
    {
        SCOPED_TRACE(Step.Picked.ToUtf8());
        UiHeadless::ScriptFolderPicker(Step.Picked);
        ASSERT_TRUE(UiHeadless::ClickButton(*Dlg, IDC_BROWSE));
        EXPECT_EQ(appWithSystemSeparators(UiHeadless::FolderPickerStart()), appWithSystemSeparators(Step.Start));
        EXPECT_EQ(UiHeadless::ControlText(*Dlg, IDC_DIR), Step.Box);
        EXPECT_EQ(Dlg->GetGameDir().Left(Step.Box.Len()), Step.Box);
        EXPECT_NE(StatusAfter(Step.Answer, u"false").InStr(*Step.StatusEnd), -1) << Status().ToUtf8();
    }
    UiHeadless::TypeText(*Dlg, IDC_DIR, *(Empty + u"/gone/deeper"));
    ASSERT_TRUE(UiHeadless::ClickButton(*Dlg, IDC_BROWSE));
    EXPECT_EQ(appWithSystemSeparators(UiHeadless::FolderPickerStart()), appWithSystemSeparators(Empty));
}

// The client's answers (as the fake reads its texts: without regard to case, and "yes" is no "true"); a transaction
// running or an answer not yet in is "Please wait.". The text is written only when the state changes, so that it is never undone under the
// user's hands.
TEST_F(CPellmorWinDlgStateTest, StatusAndButtonsFollowTheClientAndTheTextChangesOnlyWithTheState)
{
    Open();
    struct
    {
        const char16_t* CanShrinkText;
        const char16_t* CanUnshrinkText;
        int32_t bUnshrinking;
        const char16_t* Shown; // first line of the status text, or null when the text must not be rewritten
        bool bShrinkEnabled, bRestoreEnabled;
    } const Steps[] = {
        {u"false", u"false", 0, nullptr, false, false}, // the state the dialog starts in
        {u"TRUE", u"false", 0, StandardText, true, false},
        {u"true", u"false", 0, nullptr, true, false},
        {u"false", u"True", 0, ShrunkText, false, true},
        {u"true", u"true", 0, u"\r\nERROR 3664732678496172836471864xxxxxxxa.000000000000000000001\r\n", true, true},
        {u"true", u"", 0, u"Please wait.\r\n", false, false},
        {u"true", u"false", 1, nullptr, false, false},
        {u"yes", u"false", 0, CannotFindText, false, false},
    };
    for (const auto& Step : Steps)
    {
        UiHeadless::TypeText(*Dlg, IDC_STATUS, u"unchanged");
        Fake->Answer(Step.CanShrinkText, Step.CanUnshrinkText);
        Fake->bUnshrinking = Step.bUnshrinking;
        Tick();
        SCOPED_TRACE(Status().ToUtf8());
        if (Step.Shown)
            EXPECT_TRUE(StatusStartsWith(Step.Shown));
        else
            EXPECT_EQ(Status(), u"unchanged");
        EXPECT_EQ(Enabled(IDC_SHRINK), Step.bShrinkEnabled);
        EXPECT_EQ(Enabled(IDC_RESTORE), Step.bRestoreEnabled);
    }
    EXPECT_EQ(Fake->LastDir, GameDir + u"\\");
}

// Failures are shown once each, under the caption of the transaction that failed, and taken from the client. The
// advice comes from the outcome, not from the text; under it the box says where the log is, which keeps the
// failure with the system's error.
TEST_F(CPellmorWinDlgStateTest, FailuresAreShownOnceEachAndLogged)
{
    Open();
    Fake->Answer(u"true", u"false");
    Fake->bUnshrinking = 1;
    Tick();
    FArchiveOutcome Held;
    Held.Name = u"gta3.img";
    Held.bRan = true;
    Held.Transaction.Message = u"Perform Unshrink - Failed renaming BakOrigFiles to CurFiles";
    Held.Transaction.Verdict.OsError = CoreOS::OSERROR_SharingViolation;
    Fake->UnshrinkArchives.AddItem(Held);
    Fake->bUnshrinking = 0;
    Fake->ShrinkResult = u"Not enough disk space to do shrink";
    Fake->UnshrinkResult = Held.Transaction.Message;
    Fake->UnshrinkOutcome.Verdict.bRestore = true;
    Tick();
    Tick();
    const TDynArray<UiHeadless::FShownMessageBox>& Boxes = UiHeadless::ShownMessageBoxes();
    ASSERT_EQ(Boxes.Num(), 2);
    EXPECT_EQ(Boxes[0].Text, WithLogPlace(u"Not enough disk space to do shrink"));
    EXPECT_EQ(Boxes[1].Text, WithLogPlace(Held.Transaction.Message + u"\r\n\r\nThe restore failed."));
    EXPECT_TRUE(Boxes[0].Caption == u"Perform Shrink" && Boxes[1].Caption == u"Perform Restore");
    EXPECT_EQ(Boxes[1].Type, uint32_t(MB_OK));
    EXPECT_TRUE(Fake->ShrinkResult.IsEmpty() && Fake->UnshrinkResult.IsEmpty());
    const std::string Log = DialogLogText();
    for (const FString& Line : {FString(u"Perform Restore failed:"), Held.Transaction.Message,
                                DescribeSystemError(CoreOS::OSERROR_SharingViolation)})
        EXPECT_NE(Log.find(Line.ToUtf8()), std::string::npos) << Line.ToUtf8() << " in\n" << Log;

    // A progress window that cannot be made is reported on every tick of the shrink.
    UiHeadless::FailDialogCreation(IDD_PROGRESS);
    Fake->bShrinking = 1;
    Tick();
    Tick();
    ASSERT_EQ(Boxes.Num(), 4);
    EXPECT_TRUE(Boxes[2].Text == u"Error creating Dialog" && Boxes[3].Text == u"Error creating Dialog");
}

// A preview page made: the status says where it is, and whether it went to the browser; when the system opened
// nothing for it, a message says so with the page, to be opened by hand. Another choice drops the line.
TEST_F(CPellmorWinDlgStateTest, APreviewSaysWhereItsPageIsAndWhenNoBrowserTookIt)
{
    Open();
    Fake->Answer(u"true", u"false");
    Tick();
    const FString Page = u"C:\\Temp\\PellmorWin-preview\\index.html";
    const TDynArray<UiHeadless::FShownMessageBox>& Boxes = UiHeadless::ShownMessageBoxes();
    for (const uint32_t Error : {0u, 1155u})
    {
        UiHeadless::FailOpenDocuments(Error);
        Fake->PreviewPage = Page;
        Tick();
        const TDynArray<FString>& Opened = UiHeadless::OpenedDocuments();
        ASSERT_GT(Opened.Num(), 0);
        EXPECT_EQ(Opened[Opened.Num() - 1], Page);
        EXPECT_NE(
            Status().InStr(*(Page + (Error ? u"; open it in your web browser." : u"; it went to your web browser."))),
            -1)
            << Status().ToUtf8();
        ASSERT_EQ(Boxes.Num(), Error ? 1 : 0);
    }
    EXPECT_EQ(Boxes[0].Caption, u"Preview");
    EXPECT_TRUE(Boxes[0].Text.EndsWith(*(u"by hand:\r\n" + Page))) << Boxes[0].Text.ToUtf8();
    ASSERT_TRUE(UiHeadless::SelectItem(*Dlg, IDC_TEXTURE_SIZE, 2));
    EXPECT_EQ(Status().InStr(*Page), -1) << Status().ToUtf8();
}

TEST_F(CPellmorWinDlgStateTest, ProgressWindowFollowsTheShrinkAndHandsCancelOn)
{
    Open();
    Fake->bShrinking = 1;
    Fake->ShrinkProgress = 37;
    Fake->ShrinkProgressInfo = FShrinkProgressInfo{u"gta_int.img", 2, 3, 512000000, 930200000, 42.0};
    Tick();
    CProgressDlg& Progress = *Dlg->ProgressDlg;
    ASSERT_NE(Progress.m_hWnd, nullptr);
    EXPECT_TRUE(Progress.IsWindowVisible());
    EXPECT_EQ(UiHeadless::ControlText(Progress, IDC_PROGRESS_TEXT), u"37/100");
    EXPECT_EQ(UiHeadless::ControlText(Progress, IDC_PROGRESS_DETAIL),
              u"gta_int.img (2 of 3)\r\n" + appFormatMegabytes(512000000) + u" of " + appFormatMegabytes(930200000) +
                  u", 0:42 left");
    int32_t Low = -1, High = -1, Pos = -1;
    UiHeadless::ProgressState(Progress, IDC_PROGRESS, Low, High, Pos);
    EXPECT_TRUE(Low == 0 && High == 100 && Pos == 37) << Low << " " << High << " " << Pos;

    // Cancel reaches the client at once, not on the next tick, and the end is looked for at a faster pace. A shrink
    // that ends as asked all the same says that the cancel came too late; the cancel is then forgotten.
    ASSERT_TRUE(UiHeadless::ClickButton(Progress, IDC_CANCEL_SHRINK));
    EXPECT_EQ(Fake->bCancelShrink, 1);
    EXPECT_EQ(UiHeadless::TimerPeriod(*Dlg, CPellmorWinDlg::FollowTimerId), uint32_t(CPellmorWinDlg::FollowPeriodMs));
    Tick();
    EXPECT_EQ(UiHeadless::ControlText(Progress, IDC_PROGRESS_DETAIL), u"Cancelling...");
    Fake->bShrinking = 0;
    Fake->bCancelShrink = 0;
    Tick();
    ASSERT_EQ(UiHeadless::ShownMessageBoxes().Num(), 1);
    EXPECT_EQ(UiHeadless::ShownMessageBoxes()[0].Text, u"The cancel came too late: the shrink had finished.");
    UiHeadless::ClearMessageBoxes();
    EXPECT_EQ(Progress.m_bCancel, 0);
    EXPECT_FALSE(Progress.IsWindowVisible());
    EXPECT_NE(Progress.m_hWnd, nullptr);
    EXPECT_EQ(UiHeadless::TimerPeriod(*Dlg, CPellmorWinDlg::FollowTimerId), 0u);

    // Shown again by the next shrink; Esc does not take it away.
    Fake->bShrinking = 1;
    Tick();
    EXPECT_TRUE(Progress.IsWindowVisible());
    Progress.SendMessage(WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(Progress.IsWindowVisible());
    EXPECT_EQ(UiHeadless::ShownMessageBoxes().Num(), 0);
}
