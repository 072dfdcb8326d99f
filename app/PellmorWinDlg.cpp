// The main dialog: game directory, status, buttons, the one-second tick and the automatic modes.
#include "app/PellmorWinDlg.h"

#include "Core/Inc/CoreOS.h"
#include "app/AboutDlg.h"
#include "app/ProgressDlg.h"
#include "engine/FShrinkEngineClient.h"

namespace
{
const char16_t* const RegistryPath = u"HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorrin: San Andreas\\GTA:SA Path";
const char16_t* const DefaultGameDir = u"C:\\Program Files\\Rockstar Games\\GTA San andreas\\";
const char16_t* const ResultCaption = u"Perform Shrink";
const char16_t* const ShrinkCanceled = u"Shrink canceled";
// Seconds between an automatic shrink or restore and the next automatic step.
const float AutoPause = 3.0f;

const uint32_t ErrorAccessDenied = 5;

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

// Whether Windows denies the user creating files in Directory: a probe file is made and removed at once.
bool IsWriteDenied(const FString& Directory)
{
    const FString Probe = Directory + u"PellmorWin-write-test.tmp";
    CoreOS::FFileHandle File = CoreOS::FileOpen(*Probe, CoreOS::FILEACCESS_Write, CoreOS::FILESHARE_None,
                                                CoreOS::FILECREATE_CreateAlways);
    if (!File)
        return CoreOS::LastError() == ErrorAccessDenied;
    CoreOS::FileClose(File);
    CoreOS::FileDelete(*Probe);
    return false;
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
      ProgressDlg(nullptr), bClosing(0), CloseResult(IDCANCEL), bShowingResult(0)
{
    if (CWinApp* App = AfxGetApp())
        m_hIcon = App->LoadIcon(IDR_MAINFRAME);
    ProgressDlg = new CProgressDlg;
    Client = CreateEngineClient();
    m_strDir = ReadRegistryPath(FString(RegistryPath));
    if (m_strDir.IsEmpty())
        m_strDir = DefaultGameDir;
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
    if (nIDEvent == TimerId)
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

FString CPellmorWinDlg::ReadRegistryPath(const FString& Path)
{
    // "ROOT\key\path\value": the root up to the first "\", the value name after the last.
    FString Rest;
    const int32_t FirstCut = Path.InStr(u"\\");
    if (FirstCut >= 0)
        Rest = Path.Mid(FirstCut + 1);
    FString KeyPath = Rest;
    FString ValueName;
    for (int32_t i = Rest.Len() - 1; i >= 0; --i)
        if (Rest[i] == u'\\')
        {
            KeyPath = Rest.Left(i);
            ValueName = Rest.Mid(i + 1);
            break;
        }

    // The buffer's last units stay zero whatever the value holds, so its text is always terminated.
    char16_t Buffer[4096] = {};
    uint32_t Bytes = 4094;
    if (!CoreOS::RegistryReadValue(*KeyPath, *ValueName, Buffer, &Bytes))
        return FString(Buffer);
    // A text value's bytes count its terminating zero, which is no part of the text.
    int32_t Units = int32_t(Bytes / 2);
    for (int32_t i = 0; i < Units; ++i)
        if (Buffer[i] == 0)
        {
            Units = i;
            break;
        }
    return FString(Buffer, Units);
}

FString CPellmorWinDlg::DescribeFailure(const FString& Message, const FString& Dir)
{
    const FString Models = Dir + u"Models\\";
    if (Message == ShrinkCanceled || !IsWriteDenied(Models))
        return Message;
    return Message + u"\r\n\r\nWindows does not let PellmorWin change the files in\r\n" + Models +
           u"\r\n\r\nRun PellmorWin as administrator (right-click PellmorWin.exe and choose \"Run as "
           u"administrator\"), or move the game to a folder you may write to, such as C:\\Games.";
}

void CPellmorWinDlg::TakeResult(FString& Result, const FString& Dir)
{
    const FString Message = Take(Result);
    if (Message.IsEmpty())
        return;
    if (AutoState == AUTO_Started)
        AutoState = AUTO_Failed;
    // Closing cancelled the shrink on the user's word; saying so again would only hold the exit up.
    if (bClosing && Message == ShrinkCanceled)
        return;
    ShowFailure(Message, Dir);
}

void CPellmorWinDlg::ShowFailure(const FString& Message, const FString& Dir)
{
    bShowingResult = 1;
    MessageBox(*DescribeFailure(Message, Dir), ResultCaption, MB_OK);
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

    if (!Client->bShrinking)
    {
        if (ProgressDlg->m_hWnd && ProgressDlg->IsWindowVisible())
            ProgressDlg->ShowWindow(SW_HIDE);
    }
    else
        ProgressDlg->ShowProgress(Client->ShrinkProgress, Client->GetShrinkProgressText());

    TakeResult(Client->ShrinkResult, Dir);
    TakeResult(Client->UnshrinkResult, Dir);

    const FString CanShrinkText = Client->CanShrinkText;
    const FString CanUnshrinkText = Client->CanUnshrinkText;
    // The answers are about Dir; the user may have typed another folder while a failure was on the screen.
    bool Busy = Client->bShrinking || Client->bUnshrinking || CanShrinkText.IsEmpty() || CanUnshrinkText.IsEmpty() ||
                GetGameDir() != Dir;
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

    SetStatus(CanShrink, CanUnshrink, Busy);

    const float Time = Now();
    if (Busy)
        NextAutoTime = Time;
    else if (Time >= NextAutoTime)
    {
        NextAutoTime = Time;
        TakeAutomaticStep(CanShrink, CanUnshrink);
    }
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

void CPellmorWinDlg::SetStatus(bool CanShrink, bool CanUnshrink, bool Busy)
{
    if (Busy)
    {
        CanShrink = false;
        CanUnshrink = false;
    }
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
    if (!bChanged)
        return;

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
    SetStatusText(Text);
}

void CPellmorWinDlg::SetStatusText(const FString& Text)
{
    m_strStatus = Text;
    SetDlgItemText(IDC_STATUS, *m_strStatus);
}
