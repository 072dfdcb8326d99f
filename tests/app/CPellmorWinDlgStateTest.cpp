// The main dialog's state rules over a client whose answers the test sets.
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
    FFakeClient* Fake = nullptr;
};
} // namespace

// The client's answers are read without regard to case ("yes" is no "true"); a transaction running or an answer not
// yet in is "Please wait.". The text is written only when the state changes, so that it is never undone under the
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

// Failures are shown once each, both under the caption "Perform Shrink", and taken from the client. The advice comes
// from the outcome, not from the text; a restore's failure says whose it is.
TEST_F(CPellmorWinDlgStateTest, FailuresAreShownOnceEach)
{
    Open();
    Fake->Answer(u"true", u"false");
    Fake->ShrinkResult = u"Not enough disk space to do shrink";
    Fake->UnshrinkResult = u"Perform Unshrink - Failed renaming BakOrigFiles to CurFiles";
    Fake->UnshrinkOutcome.Verdict.bRestore = true;
    Tick();
    Tick();
    const TDynArray<UiHeadless::FShownMessageBox>& Boxes = UiHeadless::ShownMessageBoxes();
    ASSERT_EQ(Boxes.Num(), 2);
    EXPECT_EQ(Boxes[0].Text, u"Not enough disk space to do shrink");
    EXPECT_EQ(Boxes[1].Text, u"Perform Unshrink - Failed renaming BakOrigFiles to CurFiles\r\n\r\nThe restore failed.");
    EXPECT_EQ(Boxes[0].Caption, u"Perform Shrink");
    EXPECT_EQ(Boxes[1].Caption, u"Perform Shrink");
    EXPECT_EQ(Boxes[1].Type, uint32_t(MB_OK));
    EXPECT_TRUE(Fake->ShrinkResult.IsEmpty());
    EXPECT_TRUE(Fake->UnshrinkResult.IsEmpty());
}

TEST_F(CPellmorWinDlgStateTest, ProgressWindowFollowsTheShrinkAndHandsCancelOn)
{
    Open();
    Fake->bShrinking = 1;
    Fake->ShrinkProgress = 37;
    Tick();
    CProgressDlg& Progress = *Dlg->ProgressDlg;
    ASSERT_NE(Progress.m_hWnd, nullptr);
    EXPECT_TRUE(Progress.IsWindowVisible());
    EXPECT_EQ(UiHeadless::ControlText(Progress, IDC_PROGRESS_TEXT), u"37/100");
    int32_t Low = -1, High = -1, Pos = -1;
    UiHeadless::ProgressState(Progress, IDC_PROGRESS, Low, High, Pos);
    EXPECT_EQ(Low, 0);
    EXPECT_EQ(High, 100);
    EXPECT_EQ(Pos, 37);

    // Cancel reaches the client on the next tick, and is forgotten once no shrink runs.
    ASSERT_TRUE(UiHeadless::ClickButton(Progress, IDC_CANCEL_SHRINK));
    EXPECT_EQ(Fake->bCancelShrink, 0);
    Tick();
    EXPECT_EQ(Fake->bCancelShrink, 1);
    Fake->bShrinking = 0;
    Fake->bCancelShrink = 0;
    Tick();
    EXPECT_EQ(Progress.m_bCancel, 0);
    EXPECT_FALSE(Progress.IsWindowVisible());
    EXPECT_NE(Progress.m_hWnd, nullptr);

    // Shown again by the next shrink; Esc does not take it away.
    Fake->bShrinking = 1;
    Tick();
    EXPECT_TRUE(Progress.IsWindowVisible());
    Progress.SendMessage(WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(Progress.IsWindowVisible());
    EXPECT_EQ(UiHeadless::ShownMessageBoxes().Num(), 0);
}

TEST_F(CPellmorWinDlgStateTest, ProgressWindowThatCannotBeMadeIsReportedOnEveryTick)
{
    Open();
    UiHeadless::FailDialogCreation(IDD_PROGRESS);
    Fake->bShrinking = 1;
    Tick();
    Tick();
    const TDynArray<UiHeadless::FShownMessageBox>& Boxes = UiHeadless::ShownMessageBoxes();
    ASSERT_EQ(Boxes.Num(), 2);
    EXPECT_EQ(Boxes[0].Text, u"Error creating Dialog");
    EXPECT_EQ(Boxes[1].Text, u"Error creating Dialog");
}
