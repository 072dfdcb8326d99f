// The main dialog: the game directory, the status, and the Shrink, Restore and Exit buttons. Once a second it
// lets the engine client collect results and refresh its two tests, and shows what they say.
#pragma once

#include "app/resource.h"
#include "app/ui/UiFramework.h"

class CProgressDlg;
class FShrinkEngineClientBase;

class CPellmorWinDlg : public CDialog
{
public:
    // Makes the engine client (the engine's worker thread starts here) and reads the game directory from the
    // registry value, or takes the default install path.
    explicit CPellmorWinDlg(CWnd* ParentWnd = nullptr);
    // Destroys the progress window, then the client, which stops the engine (waiting for a job in progress).
    ~CPellmorWinDlg() override;

    enum
    {
        IDD = IDD_PELLMORWIN_DIALOG,
        TimerId = 123,
        TimerPeriodMs = 1000,
    };

    // One tick: hands a cancel request on, lets the client update, shows progress and failures, follows the
    // tests with the status and the buttons, and takes the automatic /s and /u steps.
    void UpdateState();
    // Shows the state: enables the buttons and rewrites the status text, only where something changed.
    void SetStatus(bool CanShrink, bool CanUnshrink, bool Busy);
    // Sets the status box's text; what the user typed into the directory box stays.
    void SetStatusText(const FString& Text);
    // The directory text with a "\" appended unless it ends with one.
    FString GetGameDir() const;
    // Reads a registry value named as "ROOT\key path\value name". The key is always opened under
    // HKEY_LOCAL_MACHINE. Empty when the value cannot be read.
    static FString ReadRegistryPath(const FString& Path);
    // The failure message of a shrink or restore as the user sees it: when the game's Models folder cannot be
    // written to (Windows denies access, as under Program Files with UAC), a plain explanation and what to do
    // is added to the engine's message.
    static FString DescribeFailure(const FString& Message, const FString& Dir);

    void OnShrink();
    void OnRestore();
    void OnExit();

    int32_t LastCanShrink;
    int32_t LastCanUnshrink;
    int32_t LastBusy;
    // No automatic step is taken before this time (seconds on the Core's clock).
    float NextAutoTime;
    void* m_hIcon;
    int32_t bAutoShrink;
    int32_t bAutoUnshrink;
    FString m_strDir;
    FString m_strStatus;
    FShrinkEngineClientBase* Client;
    CProgressDlg* ProgressDlg;
    // The user asked to close while a shrink or restore was in flight: the shrink is being cancelled (a
    // restore waited for) and the dialog ends on the first tick after the engine let go of the game files.
    int32_t bClosing;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    // Enter, Esc, the close box and Exit all end up here.
    void OnOK() override;
    void OnCancel() override;

    void OnSysCommand(uint32_t nID, intptr_t lParam);
    void OnPaint();
    void* OnQueryDragIcon();
    void OnTimer(uintptr_t nIDEvent);

    DECLARE_MESSAGE_MAP()

private:
    void RequestClose(intptr_t Result);
    // Shows a failure message taken from the client (and empties it there).
    void ShowResult(FString& Result, const FString& Dir);

    intptr_t CloseResult;
    // A failure's message box is open: the ticks that arrive meanwhile (its message loop runs the timer) wait.
    int32_t bShowingResult;
};
