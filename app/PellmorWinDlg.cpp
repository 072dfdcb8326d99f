// The main dialog: game directory, status, buttons, the one-second tick and the automatic modes.
#include "app/PellmorWinDlg.h"

#include "app/AboutDlg.h"
#include "app/PellmorWinAdvice.h"
#include "app/ProgressDlg.h"
#include "engine/FGameDir.h"
#include "engine/FShrinkEngineClient.h"

namespace
{
const char16_t* const ResultCaption = u"Perform Shrink";
// What a test answers while another shrink or restore holds the game's files.
const char16_t* const BusyAnswer = u"busy";
// Seconds between an automatic shrink or restore and the next automatic step.
const float AutoPause = 3.0f;
// How long an automatic run waits for another shrink or restore on the same files: longer than a shrink of the
// game's archive takes on a slow machine, short enough that a script does not hang on a stuck program.
const int32_t AutoWaitMinutes = 10;
const float AutoWaitLimit = AutoWaitMinutes * 60.0f;

float Now()
{
    return float(appSeconds());
}

// Copies the text out and empties it at the source.
FString Take(FString& Text)
{
    FString Taken = Text;
    Text.Empty();
    return Taken;
}
} // namespace

BEGIN_MESSAGE_MAP(CPellmorWinDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_SHRINK, OnShrink)
ON_BN_CLICKED(IDC_RESTORE, OnRestore)
ON_BN_CLICKED(IDC_EXIT, OnExit)
ON_EN_CHANGE(IDC_DIR, OnDirChange)
ON_WM_TIMER()
END_MESSAGE_MAP()

CPellmorWinDlg::CPellmorWinDlg(CWnd* ParentWnd)
    : CDialog(IDD, ParentWnd), LastCanShrink(0), LastCanUnshrink(0), LastBusy(0), NextAutoTime(Now()),
      AutoState(AUTO_Waiting), ExitCode(EXIT_Done), m_hIcon(nullptr), bAutoShrink(0), bAutoUnshrink(0), Client(nullptr),
      ProgressDlg(nullptr), bClosing(0), CloseResult(IDCANCEL), ElsewhereSince(-1.0f), bShowingResult(0)
{
    if (CWinApp* App = AfxGetApp())
        m_hIcon = App->LoadIcon(IDR_MAINFRAME);
    ProgressDlg = new CProgressDlg;
    Client = CreateEngineClient();
    // The registry value is shown as it is; GetGameDir adds the separator the engine needs.
    m_strDir = ReadRegistryGameDir();
    if (m_strDir.IsEmpty())
        m_strDir = GDefaultGameDir;
}

CPellmorWinDlg::~CPellmorWinDlg()
{
    delete ProgressDlg;
    ProgressDlg = nullptr;
    delete Client;
    Client = nullptr;
}

void CPellmorWinDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_DIR, m_strDir);
    DDX_Text(pDX, IDC_STATUS, m_strStatus);
}

bool CPellmorWinDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    if (CMenu* SysMenu = GetSystemMenu(false))
    {
        FString AboutMenu;
        if (AfxLoadString(IDS_ABOUTBOX, AboutMenu) && !AboutMenu.IsEmpty())
        {
            SysMenu->AppendMenu(MF_SEPARATOR);
            SysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, *AboutMenu);
        }
    }

    SetIcon(m_hIcon, true);
    SetIcon(m_hIcon, false);

    SetTimer(TimerId, TimerPeriodMs);

    // The automatic flags are set by now. A run that ends before its attempt is decided did not do its job.
    if (bAutoShrink || bAutoUnshrink)
        ExitCode = EXIT_Failed;

    if (CWnd* Exit = GetDlgItem(IDC_EXIT))
        Exit->SetFocus();
    return false;
}

void CPellmorWinDlg::OnSysCommand(uint32_t nID, intptr_t lParam)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX)
    {
        CAboutDlg About;
        About.DoModal();
    }
    else
        CDialog::OnSysCommand(nID, lParam);
}

void CPellmorWinDlg::OnPaint()
{
    if (IsIconic())
        PaintIconic(m_hIcon);
    else
        CDialog::OnPaint();
}

void* CPellmorWinDlg::OnQueryDragIcon()
{
    return m_hIcon;
}

void CPellmorWinDlg::OnTimer(uintptr_t nIDEvent)
{
    if (nIDEvent == TimerId || nIDEvent == RecheckTimerId)
        UpdateState();
    CDialog::OnTimer(nIDEvent);
}

void CPellmorWinDlg::OnShrink()
{
    PerformTransaction(true);
}

void CPellmorWinDlg::OnRestore()
{
    PerformTransaction(false);
}

bool CPellmorWinDlg::PerformTransaction(bool bShrink)
{
    UpdateData(true);
    const FString Dir = GetGameDir();
    const bool bQueued = bShrink ? Client->PerformShrink(Dir) : Client->PerformUnshrink(Dir);
    UpdateState();
    return bQueued;
}

void CPellmorWinDlg::OnDirChange()
{
    // Setting the box from the fields (data exchange) also reports a change; only a new text counts.
    const FString Typed = GetDlgItemText(IDC_DIR);
    if (Typed == m_strDir)
        return;
    m_strDir = Typed;
    SetStatus(false, false, true);
    // Every key starts the wait again: a folder is checked once the typing pauses, not at every letter.
    SetTimer(RecheckTimerId, RecheckPeriodMs);
}

void CPellmorWinDlg::OnExit()
{
    PostMessage(WM_CLOSE);
}

void CPellmorWinDlg::OnOK()
{
    RequestClose(IDOK);
}

void CPellmorWinDlg::OnCancel()
{
    RequestClose(IDCANCEL);
}

void CPellmorWinDlg::RequestClose(intptr_t Result)
{
    if (!Client->bShrinking && !Client->bUnshrinking)
    {
        if (Result == IDOK)
            UpdateData(true);
        EndDialog(Result);
        return;
    }
    // Ending now would leave the engine to stop on its own while the dialog is gone and the program seems
    // finished. Instead the shrink is cancelled (it stops within one archive entry and removes its unfinished
    // output) and a restore, a few renames, is waited for; the status says "Please wait." meanwhile.
    if (bClosing)
        return;
    bClosing = 1;
    CloseResult = Result;
    if (Client->bShrinking)
        ProgressDlg->m_bCancel = 1;
    UpdateState();
}

FString CPellmorWinDlg::GetGameDir() const
{
    FString Dir = m_strDir;
    if (Dir.IsEmpty() || Dir[Dir.Len() - 1] != u'\\')
        Dir += u"\\";
    return Dir;
}

void CPellmorWinDlg::TakeResult(FString& Result, const FVerdict& Verdict, const FString& Dir)
{
    const FString Message = Take(Result);
    if (Message.IsEmpty())
        return;
    if (AutoState == AUTO_Started)
    {
        // Another transaction took the files between the test and this one, which touched nothing: the automatic
        // run waits for it, as it would have had the test seen it.
        if (Verdict.Kind == EVerdict::Busy)
        {
            AutoState = AUTO_Waiting;
            return;
        }
        AutoState = AUTO_Failed;
    }
    // Closing cancelled the shrink on the user's word; saying so again would only hold the exit up.
    if (bClosing && Verdict.Kind == EVerdict::Cancelled)
        return;
    ShowFailure(DescribeFailure(Message, Verdict, GetGameArchiveFiles(Dir)));
}

void CPellmorWinDlg::ShowFailure(const FString& Text)
{
    bShowingResult = 1;
    MessageBox(*Text, ResultCaption, MB_OK);
    bShowingResult = 0;
}

void CPellmorWinDlg::UpdateState()
{
    if (bShowingResult)
        return;

    // The folder as the box shows it now.
    UpdateData(true);
    const FString Dir = GetGameDir();

    // Cancel hand-over from the progress window to the engine.
    if (!Client->bShrinking)
        ProgressDlg->m_bCancel = 0;
    else if (ProgressDlg->m_bCancel)
        Client->bCancelShrink = 1;

    Client->Update(Dir);
    FollowProgress();
    TakeResult(Client->ShrinkResult, Client->ShrinkOutcome.Verdict, Dir);
    TakeResult(Client->UnshrinkResult, Client->UnshrinkOutcome.Verdict, Dir);

    const FString CanShrinkText = Client->CanShrinkText;
    const FString CanUnshrinkText = Client->CanUnshrinkText;
    // The answers are about Dir; the user may have typed another folder while a failure was on the screen.
    const bool bSameDir = GetGameDir() == Dir;
    // Another shrink or restore (another PellmorWin.exe, or pellmor) holds the game's files.
    const bool bElsewhere =
        bSameDir && (CanShrinkText.EqualsNoCase(BusyAnswer) || CanUnshrinkText.EqualsNoCase(BusyAnswer));
    // What the engine saw comes with the shrink test's answer and goes with it.
    FArchiveStatus Seen = CanShrinkText.IsEmpty() || !bSameDir ? FArchiveStatus() : Client->Status;
    if (bElsewhere)
        Seen.State = EArchiveState::Busy;
    const bool bAnswered = bSameDir && !CanShrinkText.IsEmpty() && !CanUnshrinkText.IsEmpty();
    if (bAnswered || Client->bShrinking || Client->bUnshrinking)
        KillTimer(RecheckTimerId);
    bool Busy = Client->bShrinking || Client->bUnshrinking || !bAnswered || bElsewhere;
    const bool CanShrink = CanShrinkText.EqualsNoCase(u"true");
    const bool CanUnshrink = CanUnshrinkText.EqualsNoCase(u"true");

    if (bClosing)
    {
        if (!Client->bShrinking && !Client->bUnshrinking)
        {
            EndDialog(CloseResult);
            return;
        }
        Busy = true;
    }

    SetStatus(CanShrink, CanUnshrink, Busy, Seen);

    const float Time = Now();
    WaitForOtherTransaction(bElsewhere, Time);
    if (Busy)
        NextAutoTime = Time;
    else if (Time >= NextAutoTime)
    {
        NextAutoTime = Time;
        TakeAutomaticStep(CanShrink, CanUnshrink);
    }
}

void CPellmorWinDlg::FollowProgress()
{
    if (Client->bShrinking)
        ProgressDlg->ShowProgress(Client->ShrinkProgress, Client->GetShrinkProgressText());
    else if (ProgressDlg->m_hWnd && ProgressDlg->IsWindowVisible())
        ProgressDlg->ShowWindow(SW_HIDE);
}

void CPellmorWinDlg::WaitForOtherTransaction(bool bElsewhere, float Time)
{
    if (!bElsewhere)
    {
        ElsewhereSince = -1.0f;
        return;
    }
    if (ElsewhereSince < 0.0f)
        ElsewhereSince = Time;
    // Only a run that has not started its own transaction waits; an interactive dialog simply shows the state.
    if ((!bAutoShrink && !bAutoUnshrink) || AutoState != AUTO_Waiting || Time - ElsewhereSince < AutoWaitLimit)
        return;
    AutoState = AUTO_Failed;
    ShowFailure(DescribeWaitGivenUp(AutoWaitMinutes));
    CloseAutomatic(EXIT_Failed);
}

void CPellmorWinDlg::TakeAutomaticStep(bool CanShrink, bool CanUnshrink)
{
    if (!bAutoShrink && !bAutoUnshrink)
        return;
    const bool bShrink = bAutoShrink != 0;
    switch (AutoState)
    {
        case AUTO_Waiting:
            if (bShrink ? CanShrink : CanUnshrink)
            {
                AutoState = AUTO_Started;
                if (!PerformTransaction(bShrink))
                    CloseAutomatic(EXIT_Failed);
                NextAutoTime = Now() + AutoPause;
            }
            else
                CloseAutomatic((bShrink ? CanUnshrink : CanShrink) ? EXIT_Done : EXIT_NoGame);
            break;
        // The transaction has ended and the answers of tests asked after it are in.
        case AUTO_Started:
            CloseAutomatic(EXIT_Done);
            break;
        case AUTO_Failed:
            CloseAutomatic(EXIT_Failed);
            break;
        default:
            break;
    }
}

void CPellmorWinDlg::CloseAutomatic(EExitCode Code)
{
    AutoState = AUTO_Closing;
    ExitCode = Code;
    PostMessage(WM_CLOSE);
}

void CPellmorWinDlg::SetStatus(bool CanShrink, bool CanUnshrink, bool Busy, const FArchiveStatus& Seen)
{
    if (Busy)
    {
        CanShrink = false;
        CanUnshrink = false;
    }
    // Another transaction, or an archive that cannot be shrunk, replaces the state's own text; a stale kept
    // archive adds a line to the standard files' text.
    const FString ArchiveName = GetGameArchiveFiles(GetGameDir()).Name;
    FString Replaced;
    if (Busy && Seen.State == EArchiveState::Busy)
        Replaced = GetBusyElsewhereStatus();
    else if (CanShrink && !CanUnshrink)
        Replaced = GetUnshrinkableStatus(Seen, ArchiveName);
    if (!Replaced.IsEmpty())
        CanShrink = false;
    const FString Added = Replaced.IsEmpty() && CanShrink && !CanUnshrink ? GetStaleKeptLine(Seen) : FString();

    bool bChanged = false;
    if (Busy != (LastBusy != 0))
    {
        LastBusy = Busy;
        bChanged = true;
    }
    if (CanShrink != (LastCanShrink != 0))
    {
        LastCanShrink = CanShrink;
        if (CWnd* Button = GetDlgItem(IDC_SHRINK))
            Button->EnableWindow(CanShrink);
        bChanged = true;
    }
    if (CanUnshrink != (LastCanUnshrink != 0))
    {
        LastCanUnshrink = CanUnshrink;
        if (CWnd* Button = GetDlgItem(IDC_RESTORE))
            Button->EnableWindow(CanUnshrink);
        bChanged = true;
    }
    const FString Note = Replaced + Added;
    if (Note != LastNote)
    {
        LastNote = Note;
        bChanged = true;
    }
    if (bChanged)
        SetStatusText(Replaced.IsEmpty() ? GetStateText(CanShrink, CanUnshrink, Busy) + Added : Replaced);
}

FString CPellmorWinDlg::GetStateText(bool CanShrink, bool CanUnshrink, bool Busy)
{
    FString Text;
    if (Busy)
        Text += u"Please wait.\r\n";
    else if (!CanShrink && !CanUnshrink)
    {
        Text += u"Cannot find GTA:SA files.\r\n";
        Text += u"\r\n";
        Text += u"Make sure the above path is pointing to the\r\n";
        Text += u"correct GTA:SA Install Directory\r\n";
    }
    else if (CanShrink && !CanUnshrink)
    {
        Text += u"Found standard GTA:SA files.\r\n";
        Text += u"\r\n";
        Text += u"Press the 'Shrink' button below to compress\r\n";
        Text += u"your IMG Files.\r\n";
        Text += u"\r\n";
        Text += u"Dont worry - It's all reversable.\r\n";
    }
    else if (!CanShrink && CanUnshrink)
    {
        Text += u"Found shrunked GTA:SA files.\r\n";
        Text += u"\r\n";
        Text += u"Enjoy your wankerized and slightly less warpy game!\r\n";
        Text += u"\r\n";
        Text += u"Press the 'Restore' button below to revert back\r\n";
        Text += u"to your original IMG Files.\r\n";
        Text += u"\r\n";
    }
    else
        Text += u"\r\nERROR 3664732678496172836471864xxxxxxxa.000000000000000000001\r\n";
    return Text;
}

void CPellmorWinDlg::SetStatusText(const FString& Text)
{
    m_strStatus = Text;
    SetDlgItemText(IDC_STATUS, *m_strStatus);
}
