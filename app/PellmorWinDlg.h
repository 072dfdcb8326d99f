// The main dialog: the game directory with Browse..., the texture size with Smooth (and, to fit in a size, the
// megabytes beside it) and a line on what the choice does, the all-archives box, the status, and the Shrink,
// Preview..., Restore, Remove kept copy... and Exit buttons. Once a second it lets the engine client collect results
// and refresh its two tests, and shows what they say; what it found and did goes into its log.
#pragma once

#include "app/PellmorWinLog.h"
#include "app/resource.h"
#include "app/ui/UiFramework.h"
#include "engine/FGameDir.h"
#include "engine/FGameFiles.h"
#include "engine/FPlayerChoices.h"
#include "engine/FShrinkEngineServer.h"
#include "engine/FTransactionVerdict.h"

class CProgressDlg;
class FShrinkEngineClientBase;

// What the client's answers say on one tick, decoded once.
struct FDialogAnswers
{
    bool bCanShrink = false;
    bool bCanUnshrink = false;
    // A transaction in flight, answers not in yet (or about another folder), another transaction holding the
    // game's files, or the dialog closing: the buttons are off and the status says "Please wait.".
    bool bBusy = true;
    bool bAnswered = false;              // both answers are in, and about the folder in the box
    bool bElsewhere = false;             // another shrink or restore (another program) holds the game's files
    FArchiveStatus Seen;                 // what the engine saw with the shrink test's answer (Busy while bElsewhere)
    TDynArray<FArchiveOutcome> Archives; // each archive as the shrink test saw it
    bool bEstimating = false;            // the estimate of a shrink with the choice shown is on its way
    TDynArray<FArchiveOutcome> Estimate; // its answer; empty until it is in
};

class CPellmorWinDlg : public CDialog
{
public:
    // Makes the engine client (the engine's worker thread starts here), looks for the game in the places of
    // GetGameDirSearch (the default install folder when it is nowhere) and takes the remembered choices.
    explicit CPellmorWinDlg(CWnd* ParentWnd = nullptr);
    // The same with the places to look in and the choices given.
    CPellmorWinDlg(const FGameDirSearch& Search, const FPlayerChoices& InChoices, CWnd* ParentWnd = nullptr);
    // Destroys the progress window, then the client, which stops the engine (waiting for a job in progress).
    ~CPellmorWinDlg() override;

    enum
    {
        IDD = IDD_PELLMORWIN_DIALOG,
        TimerId = 123,
        TimerPeriodMs = 1000,
        // A changed folder is checked this soon after the last key, and looked at again at this pace until its
        // answers are in, so that the buttons come back before the player reaches them.
        RecheckTimerId = 124,
        RecheckPeriodMs = 100,
        // While a shrink that was told to stop winds down, or the dialog waits to close, its end is looked for at
        // this pace, so that the dialog moves on as soon as the engine has let go.
        FollowTimerId = 125,
        FollowPeriodMs = 100,
        // The megabytes typed for a fit are taken this long after the last key: the estimate is asked for the
        // number once the typing pauses, not for each digit.
        FitTimerId = 126,
        FitPauseMs = 400,
    };

    // The program's exit code after an automatic /s or /u run (0 for an interactive one).
    enum EExitCode : int32_t
    {
        EXIT_Done = 0,   // the files were brought into the state asked for, or were in it already
        EXIT_Failed = 1, // the shrink or restore failed (its message was shown), a shrink found the game shrunk
                         // with another choice, a fit did not come down to the size asked, another one held the
                         // files too long, or the run was ended before
        EXIT_NoGame = 2, // neither test passes: no game files in the folder
        // 2 as well: an unknown flag on the command line (the dialog is not shown). Either way nothing was done.
        EXIT_BadFlag = 2,
    };

    // One tick: picks up the directory box and the all-archives box, hands a cancel request on, lets the client
    // update, shows progress, a preview or clean-up that ended, the end of a transaction and its failure, follows
    // the tests (and what the engine saw with them) with the status and the buttons, and takes the automatic /s
    // and /u steps, which wait while another shrink or restore holds the game's files.
    void UpdateState();
    // Shows the state: enables the buttons (Remove kept copy... while a kept copy or a build's leftover is there)
    // and rewrites the status text, only where something changed, and logs the text when it is not "Please wait.".
    // What the engine found with the answers may replace the state's text (another transaction holding the files,
    // damaged original files: Shrink stays off, it would only fail) or add lines under it: a stale kept archive,
    // the archives' sizes (each archive's state when several are listed), how the shrunk archive was made and
    // whether the choice shown needs a restore first, the last preview page, what is wrong with a folder without
    // the game, and where the folder in the box came from.
    void SetStatus(const FDialogAnswers& Answers);
    // Writes the status box, and only that control: the directory box, where the user may be typing, keeps its
    // text, caret and selection.
    void SetStatusText(const FString& Text);
    // The folder the dialog's preview pages go into: PellmorWin-preview in the user's temporary folder.
    static FString GetPreviewDir();
    // The directory text with a "\" appended unless it ends with one.
    FString GetGameDir() const;
    // What travels with the tests and the transactions: the all-archives box and the settings.
    FShrinkJobOptions GetJobOptions() const;
    // What Shrink makes: the texture size chosen (a fit in FitBytes), smooth as the player ticked the box, or as
    // the size has it while the box was not touched.
    FShrinkSettings GetSettings() const;

    // Shrink and Restore act on the folder in the box at the moment of the click, even when it was typed after
    // the last tick: the transaction starts with the same tests as the background checks, so the engine judges
    // a folder that the dialog has not checked yet.
    // Restore asks first when the status saw that the shrunk archive changed after the shrink (a mod), and goes
    // ahead only on Yes, throwing the change away.
    void OnShrink();
    void OnRestore();
    // The preview page of the folder in the box and the choice shown, made by the engine into a folder of its own
    // under the user's temporary folder, then opened in the system's default browser (see FollowPreview).
    void OnPreview();
    // Removes what the shrinks keep beside the archives (the shrunk copy a restore keeps, a build's leftover),
    // after a question that names each file with its size; a kept copy that holds a change made after the shrink
    // only after a second question. Says what it removed once the engine is done (see FollowClean).
    void OnClean();
    // The progress window's Cancel: handed to the engine at once (see HandOverCancel).
    void OnCancelShrink();
    void OnExit();
    // The directory box changed: what the status and the buttons say is about another folder, so the dialog is
    // busy until the next check has answered for the new one.
    void OnDirChange();
    // The system's folder picker, opening in the folder in the box (or the nearest one above it that exists).
    // A folder inside the game (Models), or one holding it (a Steam library), puts the game's folder into the
    // box; a folder with no game near keeps what was picked, and the status says what is wrong with it.
    void OnBrowse();
    // The all-archives box changed: the answers are about other archives, as after a change of folder.
    void OnAllArchives();
    // Another texture size, or Smooth ticked or cleared: the estimate shown is about the choice before, and the
    // client is told at once. Until the player touches Smooth, it follows the size.
    void OnTextureSize();
    void OnSmooth();
    // The megabytes of a fit typed: taken once the typing pauses (FitTimerId), and then like another choice.
    void OnFitSize();

    int32_t LastCanShrink;
    int32_t LastCanUnshrink;
    int32_t LastCanPreview;
    int32_t LastCanClean;
    int32_t LastBusy;
    // What the status shows besides the state's own text (see SetStatus); a change rewrites it too.
    FString LastNote;
    // No automatic step is taken before this time (seconds on the Core's clock).
    float NextAutoTime;
    // Where the automatic mode stands; see EAutoState.
    int32_t AutoState;
    // What the program ends with (EExitCode); an automatic run starts at EXIT_Failed until it is decided.
    int32_t ExitCode;
    void* m_hIcon;
    int32_t bAutoShrink;
    int32_t bAutoUnshrink;
    FString m_strDir;
    FString m_strStatus;
    int32_t m_bAllArchives; // exchanged with the all-archives box
    int32_t m_nTextureSize; // exchanged with the drop-down: an index into SizeChoices
    int32_t m_bSmooth;      // exchanged with Smooth
    CComboBox m_SizeBox;
    // The drop-down's choices in order: the standard shrink, the largest sides, no visible change (and a
    // remembered choice that is none of these last). Their smoothing is the Smooth box's.
    TDynArray<FShrinkSettings> SizeChoices;
    // Smooth as the player left it: ModeDefault until they tick or clear the box.
    ESmoothChoice SmoothChoice;
    // The drop-down's "Fit in ... MB", and where its size comes from: a proposal (three quarters of the size today)
    // until the player types a number, or the size remembered.
    enum EFitSource : int32_t
    {
        FIT_Proposed,
        FIT_Remembered,
        FIT_Typed,
    };
    int32_t FitChoice;
    int32_t FitSource;
    // The size the fit asks, in bytes: the proposal, the remembered one, or the last valid number typed; 0 before
    // the first proposal (the fit then asks for three quarters).
    int64_t FitBytes;
    // The box's text as the dialog last saw it (its own proposals too), and as it was last taken.
    FString FitSeen;
    FString FitTaken;
    // What the player chose, remembered when the dialog closes (an automatic run chose nothing and keeps them).
    FPlayerChoices Choices;
    // Where the folder put into the box came from: the search, or Browse (Source Argument).
    FGameDir Origin;
    FShrinkEngineClientBase* Client;
    CProgressDlg* ProgressDlg;
    // The user asked to close while a shrink or restore was in flight, and said Yes: the shrink is being cancelled
    // (a restore waited for) and the dialog ends on the first tick after the engine let go of the game files.
    int32_t bClosing;
    // The cancel of the running shrink has been handed to the engine (from the progress window, or by closing).
    int32_t bCancelAsked;
    // The status's line on the last preview page (see DescribePreviewLine), while the folder and the choice stay.
    FString PreviewLine;
    // The log of this run (PellmorWin.log); its file is chosen and the run begun when the window is made.
    FDialogLog Log;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    // Enter, Esc, the close box and Exit all end up here. While a shrink or a restore runs they ask first, No by
    // default, so that a stray key never stops an unattended run.
    void OnOK() override;
    void OnCancel() override;

    void OnSysCommand(uint32_t nID, intptr_t lParam);
    void OnPaint();
    void* OnQueryDragIcon();
    void OnTimer(uintptr_t nIDEvent);

    DECLARE_MESSAGE_MAP()

private:
    // The automatic mode makes one attempt: it waits for the first answers, queues the transaction (or closes
    // when there is nothing to do), and closes once the transaction has ended and fresh answers are in.
    enum EAutoState : int32_t
    {
        AUTO_Waiting,
        AUTO_Started,
        AUTO_Failed, // the transaction's failure has been shown
        AUTO_Closing,
    };

    void RequestClose(intptr_t Result);
    // Remembers the choices (unless the run is automatic) and ends the dialog.
    void EndAndRemember(intptr_t Result);
    // The steps of a tick.
    void HandOverCancel();
    // A shrink (or a restore, bRestore) ended since the last tick: its end goes into the log, an automatic run
    // that asked for it is done when it ended as asked (a fit: in the size asked), and a cancel that came after
    // the shrink had finished is said so.
    void NoteTransactionEnd(bool bRestore);
    // A shrink that fitted the archives in a size and did not come down to it: says so, and an automatic run
    // that asked for it has failed. True when it did not.
    bool TellUnmetFit();
    void TakeResults(const FString& Dir);
    FDialogAnswers DecodeAnswers(const FString& Dir, const FShrinkJobOptions& Options) const;
    void StepAutomatically(const FDialogAnswers& Answers);
    // A new folder or set of archives is in question: busy until it has been checked, which happens shortly.
    void AwaitNewAnswers();
    // Enables the buttons for the state; true when the state differs from the one shown.
    bool ShowButtons(bool Busy, bool CanShrink, bool CanUnshrink);
    // Enables or disables button Id unless Last says it is so already; true when it changed.
    bool EnableButton(int32_t Id, bool bEnable, int32_t& Last);
    // The lines that the status adds under the state's own text (see SetStatus); empty when none.
    FString GetAddedLines(const FDialogAnswers& Answers, bool CanShrink, bool CanUnshrink);
    // Where the folder in the box came from, while it is the one the search or Browse put there; else empty.
    FString GetSourceLine() const;
    // What is wrong with the folder in the box, for a status that found no game there (kept for the folder,
    // since finding the game nearby looks through folders).
    FString GetNoGameLines();
    FString GetBrowseStart() const;
    // Queues a shrink or a restore of the folder in the box, then updates the state at once. False when the
    // client refused it (another transaction in flight).
    bool PerformTransaction(bool bShrink, bool bDiscardChanges = false);
    // Asks whether to restore the archives Names although that loses what changed in them; true on Yes.
    bool AskToDiscardChanges(const FString& Names);
    // A question with Yes and No, No the default (Enter); true on Yes. Ticks wait while it is open.
    bool AskYesNo(const FString& Text, const char16_t* Caption, uint32_t Icon);
    // A message box with OK, Caption over it; ticks wait while it is open.
    void ShowMessage(const FString& Text, const char16_t* Caption);
    // What stops an automatic shrink of the archives seen (one shrunk already with another choice than the one to
    // make): a ShrunkOtherwise verdict with the archive's name in Name, else Done.
    FVerdict FindShrunkOtherwise(const FDialogAnswers& Answers, FString& Name) const;
    // Writes the line under the texture size and Smooth for the choice shown, and shows the fit's size with it
    // or hides it.
    void ShowChoiceNote();
    bool IsFitChosen() const { return m_nTextureSize == FitChoice; }
    // The bytes a fit starts from, as the answers' archives tell (those a shrink would work on, added up, Count of
    // them); -1 when they do not tell.
    static int64_t GetFitFromBytes(const TDynArray<FArchiveOutcome>& Archives, int32_t& Count);
    // Follows the fit's size with the answers: the size today beside the box, a new proposal, or the number typed
    // once it is valid for their archives. True when the settings changed.
    bool FollowFitSize(const FDialogAnswers& Answers);
    // Takes the number in the fit's box as it is now, though the typing may not have paused: Shrink, Preview and
    // the choices remembered go by what the box shows. False when the status would say that it is not valid.
    bool TakeFitBoxNow();
    // What is wrong with the fit's size for the answers' archives, for the status; empty when nothing is (or
    // another choice is shown).
    FString GetFitHint(const FDialogAnswers& Answers) const;
    // The status's lines on the choice: how the archive in use was shrunk, whether it changed since and whether
    // the choice shown needs a restore first, what the choice makes of the archives to shrink, and a kept archive
    // made otherwise.
    FString GetChoiceLines(const FDialogAnswers& Answers, bool CanShrink, bool CanUnshrink) const;
    // Shows the progress window while a shrink is in flight, and hides it afterwards.
    void FollowProgress();
    // Opens a preview page that the engine finished, or shows why it made none.
    void FollowPreview();
    // Says what a clean-up that the engine finished removed.
    void FollowClean();
    // Takes a transaction's failure from the client (emptying it there) and shows it with the advice for the
    // engine's Verdict.
    void TakeResult(FString& Result, const FVerdict& Verdict, const TDynArray<FArchiveOutcome>& Archives,
                    const FString& Dir);
    // How a failure is put before the user: one message box, captioned "Perform Shrink" (or "Perform Restore" for
    // a restore's), with where the log is under it; the log keeps it too.
    void ShowFailure(const FString& Text, bool bRestore);
    // The status texts of the usual states, as the two tests and Busy give them.
    static FString GetStateText(bool CanShrink, bool CanUnshrink, bool Busy);
    // The automatic /s or /u step on an idle tick, with the answers of that tick.
    void TakeAutomaticStep(const FDialogAnswers& Answers);
    // The automatic mode waits while another shrink or restore holds the files, up to AutoWaitLimit seconds;
    // then it gives up like any failure.
    void WaitForOtherTransaction(bool bElsewhere, float Time);
    void CloseAutomatic(EExitCode Code);

    intptr_t CloseResult;
    // Since when (the Core's clock) another transaction has held the files; negative while none does.
    float ElsewhereSince;
    // A failure's message box is open: the ticks that arrive meanwhile (its message loop runs the timer) wait.
    int32_t bShowingResult;
    // The client's bShrinking and bUnshrinking as the last tick left them: a tick that finds them cleared takes the
    // transaction's end.
    int32_t bSawShrinking;
    int32_t bSawRestoring;
    // Origin is the folder above the program's own (the program in a folder of the game's).
    bool bOriginAboveProgram;
    // GetNoGameLines' text for the folder NoGameDir.
    FString NoGameDir;
    FString NoGameText;
};
