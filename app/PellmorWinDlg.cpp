// The main dialog: game directory, texture size, status, buttons, the one-second tick and the automatic modes.
#include "app/PellmorWinDlg.h"

#include <algorithm>
#include <cmath>

#include "app/AboutDlg.h"
#include "app/PellmorWinAdvice.h"
#include "app/ProgressDlg.h"
#include "Core/Inc/CoreFormat.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CorePath.h"
#include "engine/FShrinkEngineClient.h"

namespace
{
const char16_t* const ShrinkCaption = u"Perform Shrink";
const char16_t* const RestoreCaption = u"Perform Restore";
const char16_t* const CleanCaption = u"Remove kept copy";
// What a test answers while another shrink or restore holds the game's files.
// Seconds between an automatic shrink or restore and the next automatic step.
const float AutoPause = 3.0f;
// How long an automatic run waits for another shrink or restore on the same files: longer than a shrink of the
// game's archive takes on a slow machine, short enough that a script does not hang on a stuck program.
const int32_t AutoWaitMinutes = 10;
const float AutoWaitLimit = AutoWaitMinutes * 60.0f;

// The largest sides the drop-down offers after the standard shrink.
const int32_t OfferedSides[] = {1024, 512, 256, 128};
// What the fit proposes until a number is typed: this share of the size today. The fit asks for that share while
// the size is not known yet.
const int32_t ProposedFitPercent = 75;
// The drop-down's item of the fit: its size is the number in the box beside it.
const char16_t* const FitLabel = u"Fit in ... MB";

// A choice of the drop-down as the player reads it.
FString SizeChoiceLabel(const FShrinkSettings& Choice)
{
    switch (Choice.Mode)
    {
        case EShrinkMode::LargestSide:
            return FString::Printf(u"At most %d pixels", Choice.MaxSide);
        case EShrinkMode::KeepQuality:
            return Choice.MinPsnr == SHRINK_NoVisibleChange ? FString(u"No visible change")
                                                            : FString::Printf(u"At least %d dB", Choice.MinPsnr);
        case EShrinkMode::Fit:
            return FString::Printf(u"Fit in %d%% of the size", Choice.FitPercent);
        default:
            return FString(u"Standard shrink");
    }
}

// The same choice, whatever its smoothing.
bool IsSameChoice(const FShrinkSettings& A, const FShrinkSettings& B)
{
    return A.Mode == B.Mode && A.MaxSide == B.MaxSide && A.MinPsnr == B.MinPsnr && A.FitBytes == B.FitBytes &&
           A.FitPercent == B.FitPercent;
}

// The whole megabytes in the fit's box: 0 when it is empty, -1 for anything but digits; a number too long to be
// a size reads as more than any archive holds.
int64_t ReadMegabytes(const FString& Text)
{
    int64_t Megabytes = 0;
    for (int32_t i = 0; i < Text.Len(); ++i)
    {
        if (Text[i] < u'0' || Text[i] > u'9')
            return -1;
        Megabytes = Megabytes < 1000000000 ? Megabytes * 10 + (Text[i] - u'0') : Megabytes;
    }
    return Megabytes;
}

int64_t MegabytesToBytes(int64_t Megabytes)
{
    return int64_t(double(Megabytes) * appBytesPerMegabyte());
}

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

// Whether two spellings name one folder, whatever separators they end with.
bool IsSameFolder(const FString& A, const FString& B)
{
    return appWithTrailingSeparator(appWithoutTrailingSeparators(A))
        .EqualsNoCase(*appWithTrailingSeparator(appWithoutTrailingSeparators(B)));
}

bool IsFolder(const FString& Path)
{
    const uint32_t Attributes = CoreOS::FileGetAttributes(*Path);
    return Attributes != CoreOS::FILEATTR_Invalid && (Attributes & CoreOS::FILEATTR_Directory);
}

// The archive whose failure a transaction's outcome tells: the first of Archives that did not end as asked (one of
// several archives), else the game's main one.
FArchiveFiles GetFailedArchive(const TDynArray<FArchiveOutcome>& Archives, const FString& Dir)
{
    for (const FArchiveOutcome& Archive : Archives)
        if ((Archive.bRan || Archive.Transaction.Failure != ETransactionFailure::None) &&
            !Archive.Transaction.Verdict.EndedAsAsked())
            return GetArchiveFiles(Archive.Path);
    return GetGameArchiveFiles(Dir);
}

// The archives that changed after their shrink, as the status saw them: "gta3.img", "gta3.img, mod.img"; empty
// when none did.
FString GetChangedNames(const TDynArray<FArchiveOutcome>& Archives)
{
    FString Names;
    for (const FArchiveOutcome& Archive : Archives)
        if (Archive.Status.bShrunkChanged)
            Names += (Names.IsEmpty() ? u"" : u", ") + Archive.Name;
    return Names;
}
} // namespace

BEGIN_MESSAGE_MAP(CPellmorWinDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_SHRINK, OnShrink)
ON_BN_CLICKED(IDC_RESTORE, OnRestore)
ON_BN_CLICKED(IDC_PREVIEW, OnPreview)
ON_BN_CLICKED(IDC_CLEAN, OnClean)
ON_COMMAND(IDC_CANCEL_SHRINK, OnCancelShrink)
ON_BN_CLICKED(IDC_EXIT, OnExit)
ON_EN_CHANGE(IDC_DIR, OnDirChange)
ON_BN_CLICKED(IDC_BROWSE, OnBrowse)
ON_BN_CLICKED(IDC_ALL_ARCHIVES, OnAllArchives)
ON_CBN_SELCHANGE(IDC_TEXTURE_SIZE, OnTextureSize)
ON_BN_CLICKED(IDC_SMOOTH, OnSmooth)
ON_EN_CHANGE(IDC_FIT_SIZE, OnFitSize)
ON_WM_TIMER()
END_MESSAGE_MAP()

CPellmorWinDlg::CPellmorWinDlg(CWnd* ParentWnd)
    : CPellmorWinDlg(GetGameDirSearch(FString()), LoadPlayerChoices(), ParentWnd)
{
}

CPellmorWinDlg::CPellmorWinDlg(const FGameDirSearch& Search, const FPlayerChoices& InChoices, CWnd* ParentWnd)
    : CDialog(IDD, ParentWnd), LastCanShrink(0), LastCanUnshrink(0), LastCanPreview(0), LastCanClean(0), LastBusy(0),
      NextAutoTime(Now()), AutoState(AUTO_Waiting), ExitCode(EXIT_Done), m_hIcon(nullptr), bAutoShrink(0),
      bAutoUnshrink(0), m_bAllArchives(InChoices.bAllArchives ? 1 : 0), m_nTextureSize(0),
      m_bSmooth(InChoices.Settings.IsSmooth()), SmoothChoice(InChoices.Settings.Smooth), FitChoice(-1),
      FitSource(FIT_Proposed), FitBytes(0), Choices(InChoices), Client(nullptr), ProgressDlg(nullptr), bClosing(0),
      bCancelAsked(0), CloseResult(IDCANCEL), ElsewhereSince(-1.0f), bShowingResult(0), bSawShrinking(0),
      bSawRestoring(0), bOriginAboveProgram(false)
{
    if (CWinApp* App = AfxGetApp())
        m_hIcon = App->LoadIcon(IDR_MAINFRAME);
    SizeChoices.AddItem(FShrinkSettings::Standard());
    for (int32_t Side : OfferedSides)
        SizeChoices.AddItem(FShrinkSettings::LargestSide(Side));
    SizeChoices.AddItem(FShrinkSettings::KeepQuality(SHRINK_NoVisibleChange));
    FitChoice = SizeChoices.AddItem(FShrinkSettings::FitInPercent(ProposedFitPercent));
    // A remembered fit shows its size in the box; a remembered choice that the list does not offer (an INI file
    // edited by hand) is added to it.
    m_nTextureSize = -1;
    if (InChoices.Settings.Mode == EShrinkMode::Fit && InChoices.Settings.FitBytes > 0)
    {
        m_nTextureSize = FitChoice;
        FitSource = FIT_Remembered;
        FitBytes = InChoices.Settings.FitBytes;
        FitSeen = FitTaken = FString::Printf(
            u"%lld", (long long)std::max<int64_t>(1, std::llround(double(FitBytes) / appBytesPerMegabyte())));
    }
    for (int32_t i = 0; i < SizeChoices.Num() && m_nTextureSize < 0; ++i)
        m_nTextureSize = IsSameChoice(SizeChoices[i], InChoices.Settings) ? i : -1;
    if (m_nTextureSize < 0)
    {
        FShrinkSettings Remembered = InChoices.Settings;
        Remembered.Smooth = ESmoothChoice::ModeDefault;
        m_nTextureSize = SizeChoices.AddItem(Remembered);
    }
    ProgressDlg = new CProgressDlg(this);
    Client = CreateEngineClient();
    // Where nothing is found (no registry, no Wine prefix, no Steam library) the default folder is shown all the
    // same, and the status says that it holds no game.
    FString Why;
    if (!FindGameDir(Search, Origin, Why))
    {
        Origin.Source = EGameDirSource::Default;
        Origin.Dir = GDefaultGameDir;
    }
    bOriginAboveProgram =
        Origin.Source == EGameDirSource::ProgramFolder && !IsSameFolder(Origin.Dir, Search.ProgramDir);
    // A registry value is shown as it is written there, the other folders as found; GetGameDir adds the separator
    // the engine needs.
    m_strDir = Origin.Source == EGameDirSource::Registry ? ReadRegistryGameDir() : Origin.Dir;
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
    DDX_CBIndex(pDX, IDC_TEXTURE_SIZE, m_nTextureSize);
    DDX_Check(pDX, IDC_SMOOTH, m_bSmooth);
    DDX_Check(pDX, IDC_ALL_ARCHIVES, m_bAllArchives);
}

bool CPellmorWinDlg::OnInitDialog()
{
    // The sizes go into the drop-down before the fields are loaded into the controls, which selects one of them.
    AttachControl(IDC_TEXTURE_SIZE, m_SizeBox);
    for (int32_t i = 0; i < SizeChoices.Num(); ++i)
        m_SizeBox.AddString(i == FitChoice ? FitLabel : *SizeChoiceLabel(SizeChoices[i]));
    CDialog::OnInitDialog();
    SetDlgItemText(IDC_FIT_SIZE, *FitSeen);

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
    ShowChoiceNote();

    // The automatic flags are set by now. A run that ends before its attempt is decided did not do its job.
    if (bAutoShrink || bAutoUnshrink)
        ExitCode = EXIT_Failed;
    Log.BeginRun(FDialogLog::ChoosePath(), bAutoShrink ? u"/s" : (bAutoUnshrink ? u"/u" : u"the window"));
    Log.Write(u"Game folder: " + m_strDir + u" (" + (GetSourceLine().IsEmpty() ? FString(u"typed") : GetSourceLine()) +
              u")");

    if (CWnd* Exit = GetDlgItem(IDC_EXIT))
        Exit->SetFocus();
    return false;
}

void CPellmorWinDlg::OnSysCommand(uint32_t nID, intptr_t lParam)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX)
    {
        CAboutDlg About(Log.GetPath());
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
    if (nIDEvent == FitTimerId)
    {
        KillTimer(FitTimerId);
        FitTaken = FitSeen;
    }
    if (nIDEvent == TimerId || nIDEvent == RecheckTimerId || nIDEvent == FollowTimerId || nIDEvent == FitTimerId)
        UpdateState();
    CDialog::OnTimer(nIDEvent);
}

void CPellmorWinDlg::OnShrink()
{
    PerformTransaction(true);
}

void CPellmorWinDlg::OnRestore()
{
    UpdateData(true);
    const FString Changed = GetChangedNames(DecodeAnswers(GetGameDir(), GetJobOptions()).Archives);
    if (!Changed.IsEmpty() && !AskToDiscardChanges(Changed))
        return;
    PerformTransaction(false, !Changed.IsEmpty());
}

void CPellmorWinDlg::OnPreview()
{
    UpdateData(true);
    TakeFitBoxNow();
    FShrinkJobOptions Options = GetJobOptions();
    Options.PreviewDir = GetPreviewDir();
    Log.Write(u"Preview of " + GetGameDir() + u", " + Options.Settings.Describe() + u", into " + Options.PreviewDir);
    PreviewLine.Empty();
    Client->MakePreview(GetGameDir(), Options);
    UpdateState();
}

FString CPellmorWinDlg::GetPreviewDir()
{
    char16_t Temp[1024];
    CoreOS::TempDirectory(Temp, 1024);
    return appPathJoin(FString(Temp), FString(u"PellmorWin-preview"));
}

void CPellmorWinDlg::FollowPreview()
{
    const FString Page = Take(Client->PreviewPage);
    const FString Result = Take(Client->PreviewResult);
    if (!Page.IsEmpty())
    {
        // A program that took the page may still show nothing (under Wine no browser may be set up): the status
        // says where the page is either way, so that it can be opened by hand.
        uint32_t Error = 0;
        const bool bOpened = AfxOpenDocument(Page, Error);
        PreviewLine = DescribePreviewLine(Page, bOpened);
        Log.Write(bOpened ? u"Preview page " + Page + u" handed to the web browser"
                          : u"Preview page " + Page + u" not opened: " + DescribeSystemError(Error));
        if (!bOpened && !bClosing)
            ShowMessage(DescribePreviewNotOpened(Page, Error), u"Preview");
    }
    else if (!Result.IsEmpty())
    {
        Log.Write(u"Preview not made: " + Result);
        if (!bClosing)
            ShowMessage(Result, u"Preview");
    }
}

void CPellmorWinDlg::OnClean()
{
    UpdateData(true);
    const TDynArray<FArchiveOutcome> Archives = DecodeAnswers(GetGameDir(), GetJobOptions()).Archives;
    if (!HasKeptFiles(Archives) || !AskYesNo(DescribeCleanQuestion(Archives), CleanCaption, MB_ICONQUESTION))
        return;
    // A kept copy that is the only copy of a mod's change goes only on a second, explicit Yes.
    const FString Changed = GetKeptChangedNames(Archives);
    FShrinkJobOptions Options = GetJobOptions();
    Options.bDiscardChanges =
        !Changed.IsEmpty() && AskYesNo(DescribeKeptChangeQuestion(Changed), CleanCaption, MB_ICONWARNING);
    Log.Write(u"Clean-up of " + GetGameDir() + (Options.bDiscardChanges ? u", changed copies too" : u""));
    Client->CleanKept(GetGameDir(), Options);
    UpdateState();
}

void CPellmorWinDlg::FollowClean()
{
    if (!Client->bCleaned)
        return;
    Client->bCleaned = 0;
    const FString Text = DescribeCleanResult(Client->CleanArchives);
    Log.Write(u"Clean-up ended:\r\n" + Text);
    if (!bClosing)
        ShowMessage(Text, CleanCaption);
}

bool CPellmorWinDlg::PerformTransaction(bool bShrink, bool bDiscardChanges)
{
    UpdateData(true);
    const FString Dir = GetGameDir();
    // A size the status says is wrong is not shrunk to, even when the click came before the status said so.
    if (bShrink && !TakeFitBoxNow() && !bAutoShrink)
    {
        Log.Write(u"Shrink of " + Dir + u": not started, the size to fit in is not valid");
        UpdateState();
        return false;
    }
    FShrinkJobOptions Options = GetJobOptions();
    Options.bDiscardChanges = bDiscardChanges;
    PreviewLine.Empty();
    const bool bQueued = bShrink ? Client->PerformShrink(Dir, Options) : Client->PerformUnshrink(Dir, Options);
    Log.Write(FString(bShrink ? u"Shrink" : u"Restore") + u" of " + Dir +
              (Options.bAllArchives ? u", all archives" : u"") +
              (bShrink ? u", " + Options.Settings.Describe() : FString()) +
              (bDiscardChanges ? u", losing the change" : u"") + (bQueued ? u"" : u": refused, another one runs"));
    UpdateState();
    return bQueued;
}

bool CPellmorWinDlg::AskToDiscardChanges(const FString& Names)
{
    return AskYesNo(DescribeDiscardQuestion(Names), u"Restore", MB_ICONWARNING);
}

bool CPellmorWinDlg::AskYesNo(const FString& Text, const char16_t* Caption, uint32_t Icon)
{
    // The ticks that come while the question is open wait, as under a failure's box. Enter answers No.
    bShowingResult = 1;
    const bool bYes = MessageBox(*Text, Caption, MB_YESNO | Icon | MB_DEFBUTTON2) == IDYES;
    bShowingResult = 0;
    const int32_t FirstLineEnd = Text.InStr(u"\r\n");
    Log.Write(u"Asked (" + FString(Caption) + u"): " + (FirstLineEnd >= 0 ? Text.Left(FirstLineEnd) : Text) +
              (bYes ? u" Answer: Yes" : u" Answer: No"));
    return bYes;
}

void CPellmorWinDlg::ShowMessage(const FString& Text, const char16_t* Caption)
{
    bShowingResult = 1;
    MessageBox(*Text, Caption, MB_OK);
    bShowingResult = 0;
}

void CPellmorWinDlg::OnDirChange()
{
    // Setting the box from the fields (data exchange) also reports a change; only a new text counts.
    const FString Typed = GetDlgItemText(IDC_DIR);
    if (Typed == m_strDir)
        return;
    m_strDir = Typed;
    AwaitNewAnswers();
}

void CPellmorWinDlg::AwaitNewAnswers()
{
    PreviewLine.Empty();
    SetStatus(FDialogAnswers());
    // Every key starts the wait again: a folder is checked once the typing pauses, not at every letter.
    SetTimer(RecheckTimerId, RecheckPeriodMs);
}

void CPellmorWinDlg::OnAllArchives()
{
    m_bAllArchives = IsDlgButtonChecked(IDC_ALL_ARCHIVES) == BST_CHECKED ? 1 : 0;
    AwaitNewAnswers();
}

void CPellmorWinDlg::OnTextureSize()
{
    m_nTextureSize = m_SizeBox.GetCurSel();
    if (SmoothChoice == ESmoothChoice::ModeDefault)
    {
        m_bSmooth = GetSettings().IsSmooth() ? 1 : 0;
        CheckDlgButton(IDC_SMOOTH, m_bSmooth ? BST_CHECKED : BST_UNCHECKED);
    }
    // A preview shown is one of the choice before.
    PreviewLine.Empty();
    ShowChoiceNote();
    UpdateState();
}

void CPellmorWinDlg::OnFitSize()
{
    // The dialog's own proposals also report a change; only typing counts.
    const FString Typed = GetDlgItemText(IDC_FIT_SIZE);
    if (Typed == FitSeen)
        return;
    FitSeen = Typed;
    FitSource = FIT_Typed;
    PreviewLine.Empty();
    // Every key starts the pause again.
    SetTimer(FitTimerId, FitPauseMs);
}

bool CPellmorWinDlg::TakeFitBoxNow()
{
    if (!IsFitChosen())
        return true;
    KillTimer(FitTimerId);
    FitTaken = FitSeen;
    const FDialogAnswers Answers = DecodeAnswers(GetGameDir(), GetJobOptions());
    FollowFitSize(Answers);
    return GetFitHint(Answers).IsEmpty();
}

int64_t CPellmorWinDlg::GetFitFromBytes(const TDynArray<FArchiveOutcome>& Archives, int32_t& Count)
{
    // The archives a shrink would work on; when every one is shrunk, their originals, which a shrink after a
    // restore starts from.
    for (const EArchiveState State : {EArchiveState::Original, EArchiveState::Shrunk})
    {
        int64_t Bytes = 0;
        Count = 0;
        for (const FArchiveOutcome& Archive : Archives)
        {
            const FArchiveStatus& Status = Archive.Status;
            const int64_t Original = State == EArchiveState::Original ? Status.CurBytes : Status.OrigBytes;
            if (Status.State == State && Original >= 0)
            {
                Bytes += Original;
                ++Count;
            }
        }
        if (Count > 0)
            return Bytes;
    }
    return -1;
}

bool CPellmorWinDlg::FollowFitSize(const FDialogAnswers& Answers)
{
    // While the answers are on their way, what the box shows stays.
    if (!Answers.bAnswered)
        return false;
    int32_t Count = 0;
    const int64_t From = GetFitFromBytes(Answers.Archives, Count);
    const int64_t FromMegabytes = From >= 0 ? int64_t(double(From) / appBytesPerMegabyte()) : -1;
    // In the megabytes typed, as the file manager shows them below a thousand ("2.49 MB"), whole above.
    const FString Today = From < 0              ? FString()
                          : FromMegabytes < 999 ? u"of " + appFormatMegabytes(From) + u" today"
                                                : FString::Printf(u"of %lld MB today", (long long)FromMegabytes);
    if (Today != GetDlgItemText(IDC_FIT_TODAY))
        SetDlgItemText(IDC_FIT_TODAY, *Today);
    if (!IsFitChosen() || From < 0)
        return false;
    int64_t Bytes = FitBytes;
    if (FitSource == FIT_Proposed)
    {
        const int64_t Proposed =
            std::max<int64_t>(1, std::llround(double(From) * ProposedFitPercent / 100.0 / appBytesPerMegabyte()));
        FitSeen = FitTaken = FString::Printf(u"%lld", (long long)Proposed);
        if (FitSeen != GetDlgItemText(IDC_FIT_SIZE))
            SetDlgItemText(IDC_FIT_SIZE, *FitSeen);
        Bytes = MegabytesToBytes(Proposed);
    }
    else if (FitSource == FIT_Typed)
    {
        const int64_t Megabytes = ReadMegabytes(FitTaken);
        if (Megabytes >= 1 && Megabytes <= FromMegabytes)
            Bytes = MegabytesToBytes(Megabytes);
    }
    const bool bChanged = Bytes != FitBytes;
    FitBytes = Bytes;
    return bChanged;
}

FString CPellmorWinDlg::GetFitHint(const FDialogAnswers& Answers) const
{
    int32_t Count = 0;
    const int64_t From = GetFitFromBytes(Answers.Archives, Count);
    if (!IsFitChosen() || !Answers.bAnswered || From < 0)
        return FString();
    return DescribeFitHint(ReadMegabytes(FitTaken), From, Count > 1);
}

void CPellmorWinDlg::OnSmooth()
{
    m_bSmooth = IsDlgButtonChecked(IDC_SMOOTH) == BST_CHECKED ? 1 : 0;
    SmoothChoice = m_bSmooth ? ESmoothChoice::Smooth : ESmoothChoice::NoSmooth;
    PreviewLine.Empty();
    ShowChoiceNote();
    UpdateState();
}

void CPellmorWinDlg::ShowChoiceNote()
{
    SetDlgItemText(IDC_CHOICE_NOTE, *DescribeChoice(GetSettings()));
    for (const int32_t Id : {IDC_FIT_SIZE, IDC_FIT_TODAY})
        if (CWnd* Control = GetDlgItem(Id))
            Control->ShowWindow(IsFitChosen() ? SW_SHOW : SW_HIDE);
}

void CPellmorWinDlg::OnBrowse()
{
    FString Picked;
    if (!AfxPickFolder(this, u"Choose the GTA:SA Install Directory", GetBrowseStart(), Picked))
        return;
    FGameDir Game = InterpretGameDirArgument(Picked);
    // A folder near the game that holds none itself (one inside it, a Steam library holding it): the game's
    // folder is what was meant.
    if (!Game.Nearby.IsEmpty())
        Game.Dir = Game.Nearby;
    Origin = Game;
    bOriginAboveProgram = false;
    m_strDir = Game.Dir;
    SetDlgItemText(IDC_DIR, *m_strDir);
    AwaitNewAnswers();
}

FString CPellmorWinDlg::GetBrowseStart() const
{
    // A folder that does not exist (yet) is no place to start in; the nearest one above it that does is.
    FString Start = appWithoutTrailingSeparators(m_strDir);
    while (!Start.IsEmpty() && !IsFolder(Start))
    {
        const FString Above = appWithoutTrailingSeparators(appPathFolder(Start));
        Start = Above == Start ? FString() : Above;
    }
    return Start;
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
        EndAndRemember(Result);
        return;
    }
    // Ending now would leave the engine to stop on its own while the dialog is gone and the program seems
    // finished. Instead, once the player says so, the shrink is cancelled (it stops within one archive entry and
    // removes its unfinished output) and a restore, a few renames, is waited for; the status says "Please wait."
    // meanwhile. No, the default, keeps the job running: a stray Enter or Esc during /s or /u stops nothing.
    if (bClosing || bShowingResult ||
        !AskYesNo(DescribeStopQuestion(Client->bShrinking != 0), u"Exit", MB_ICONQUESTION))
        return;
    bClosing = 1;
    CloseResult = Result;
    if (Client->bShrinking)
        ProgressDlg->m_bCancel = 1;
    SetTimer(FollowTimerId, FollowPeriodMs);
    UpdateState();
}

void CPellmorWinDlg::EndAndRemember(intptr_t Result)
{
    Log.Write(bAutoShrink || bAutoUnshrink ? FString::Printf(u"Closed, exit code %d", ExitCode) : FString(u"Closed"));
    // What the player chose is there at the next start; an automatic run chose nothing and keeps it.
    if (!bAutoShrink && !bAutoUnshrink)
    {
        TakeFitBoxNow();
        Choices.GameDir = GetDlgItemText(IDC_DIR);
        Choices.bAllArchives = IsDlgButtonChecked(IDC_ALL_ARCHIVES) == BST_CHECKED;
        Choices.Settings = GetSettings();
        SavePlayerChoices(Choices);
    }
    EndDialog(Result);
}

FString CPellmorWinDlg::GetGameDir() const
{
    FString Dir = m_strDir;
    if (Dir.IsEmpty() || Dir[Dir.Len() - 1] != u'\\')
        Dir += u"\\";
    return Dir;
}

FShrinkJobOptions CPellmorWinDlg::GetJobOptions() const
{
    FShrinkJobOptions Options;
    Options.bAllArchives = m_bAllArchives != 0;
    Options.Settings = GetSettings();
    return Options;
}

FShrinkSettings CPellmorWinDlg::GetSettings() const
{
    FShrinkSettings Settings = m_nTextureSize >= 0 && m_nTextureSize < SizeChoices.Num() ? SizeChoices[m_nTextureSize]
                                                                                         : FShrinkSettings::Standard();
    if (IsFitChosen() && FitBytes > 0)
        Settings = FShrinkSettings::FitIn(FitBytes);
    Settings.Smooth = SmoothChoice;
    return Settings;
}

void CPellmorWinDlg::TakeResult(FString& Result, const FVerdict& Verdict, const TDynArray<FArchiveOutcome>& Archives,
                                const FString& Dir)
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
    {
        Log.Write(u"Shrink canceled for the exit");
        return;
    }
    // A restore refused for a change that the status had not seen yet (it looks at sizes and times, the restore
    // at the content): the player is asked, as before a restore. An automatic run only tells.
    if (Verdict.Kind == EVerdict::Changed && !bAutoShrink && !bAutoUnshrink && !bClosing)
    {
        if (AskToDiscardChanges(GetFailedArchive(Archives, Dir).Name))
            PerformTransaction(false, true);
        return;
    }
    FString Text = DescribeFailure(Message, Verdict, GetFailedArchive(Archives, Dir));
    // Archives that a shrink of several did make smaller before it stopped.
    const FString Done = Verdict.bRestore ? FString() : DescribeShrunkBefore(Archives);
    if (!Done.IsEmpty())
        Text += u"\r\n\r\n" + Done;
    ShowFailure(Text, Verdict.bRestore);
}

void CPellmorWinDlg::ShowFailure(const FString& Text, bool bRestore)
{
    const char16_t* Caption = bRestore ? RestoreCaption : ShrinkCaption;
    Log.Write(FString(Caption) + u" failed:\r\n" + Text);
    const FString LogPlace = DescribeLogPlace(Log.GetPath());
    ShowMessage(LogPlace.IsEmpty() ? Text : Text + u"\r\n\r\n" + LogPlace, Caption);
}

void CPellmorWinDlg::UpdateState()
{
    if (bShowingResult)
        return;

    // The folder and the all-archives box as they are now.
    UpdateData(true);
    const FString Dir = GetGameDir();
    FShrinkJobOptions Options = GetJobOptions();
    HandOverCancel();
    Client->Update(Dir, Options);
    // A fit's size that follows the answers just in (a proposal for the archives' size) is estimated at once.
    if (FollowFitSize(DecodeAnswers(Dir, Options)))
    {
        Options = GetJobOptions();
        Client->Update(Dir, Options);
    }
    FollowProgress();
    FollowPreview();
    FollowClean();
    if (bSawShrinking && !Client->bShrinking)
        NoteTransactionEnd(false);
    if (bSawRestoring && !Client->bUnshrinking)
        NoteTransactionEnd(true);
    bSawShrinking = Client->bShrinking;
    bSawRestoring = Client->bUnshrinking;
    TakeResults(Dir);

    FDialogAnswers Answers = DecodeAnswers(Dir, Options);
    if (Answers.bAnswered || Client->bShrinking || Client->bUnshrinking)
        KillTimer(RecheckTimerId);
    if (!Client->bShrinking && !Client->bUnshrinking)
        KillTimer(FollowTimerId);
    if (bClosing)
    {
        if (!Client->bShrinking && !Client->bUnshrinking)
        {
            EndAndRemember(CloseResult);
            return;
        }
        Answers.bBusy = true;
    }
    SetStatus(Answers);
    StepAutomatically(Answers);
}

void CPellmorWinDlg::OnCancelShrink()
{
    // The engine hears of it now, not on the next tick a second away; the dialog then looks for the shrink's end
    // at a faster pace until it comes.
    if (!Client->bShrinking)
        return;
    HandOverCancel();
    Client->Update(GetGameDir(), GetJobOptions());
    SetTimer(FollowTimerId, FollowPeriodMs);
}

void CPellmorWinDlg::HandOverCancel()
{
    // From the progress window to the engine; forgotten once no shrink runs.
    if (!Client->bShrinking)
        ProgressDlg->m_bCancel = 0;
    else if (ProgressDlg->m_bCancel && !bCancelAsked)
    {
        Client->bCancelShrink = 1;
        bCancelAsked = 1;
        Log.Write(u"Cancel of the shrink asked");
    }
}

void CPellmorWinDlg::NoteTransactionEnd(bool bRestore)
{
    const bool bFailed = !(bRestore ? Client->UnshrinkResult : Client->ShrinkResult).IsEmpty();
    Log.Write(FString(bRestore ? u"Restore" : u"Shrink") + (bFailed ? u" ended without doing it all:" : u" done:") +
              u"\r\n" + DescribeOutcomeForLog(bRestore ? Client->UnshrinkArchives : Client->ShrinkArchives));
    const bool bTooLate = !bRestore && bCancelAsked && !bFailed;
    if (!bRestore)
        bCancelAsked = 0;
    if (bFailed)
        return;
    if (!bRestore && TellUnmetFit())
        return;
    // The automatic run did what it says, even when the player closes the window before its next step.
    if ((bAutoShrink || bAutoUnshrink) && AutoState == AUTO_Started)
        ExitCode = EXIT_Done;
    if (bTooLate && !bClosing)
    {
        Log.Write(u"The cancel came too late");
        ShowMessage(u"The cancel came too late: the shrink had finished.", ShrinkCaption);
    }
}

bool CPellmorWinDlg::TellUnmetFit()
{
    TDynArray<FTransactionResult> Shrinks;
    for (const FArchiveOutcome& Archive : Client->ShrinkArchives)
        if (Archive.bRan)
            Shrinks.AddItem(Archive.Transaction);
    const FFitAccount Fit = AccountFit(Shrinks, Shrinks.Num() > 0 ? Shrinks[0].Asked : FShrinkSettings());
    if (!Fit.bAsked || Fit.IsMet())
        return false;
    const bool bAutomatic = bAutoShrink && AutoState == AUTO_Started;
    if (bAutomatic)
        AutoState = AUTO_Failed;
    if (bAutomatic || !bClosing)
        ShowFailure(DescribeUnmetFit(Fit), false);
    return true;
}

void CPellmorWinDlg::TakeResults(const FString& Dir)
{
    TakeResult(Client->ShrinkResult, Client->ShrinkOutcome.Verdict, Client->ShrinkArchives, Dir);
    TakeResult(Client->UnshrinkResult, Client->UnshrinkOutcome.Verdict, Client->UnshrinkArchives, Dir);
}

FDialogAnswers CPellmorWinDlg::DecodeAnswers(const FString& Dir, const FShrinkJobOptions& Options) const
{
    FDialogAnswers Answers;
    const ETestAnswer CanShrink = Client->CanShrinkAnswer;
    const ETestAnswer CanUnshrink = Client->CanUnshrinkAnswer;
    // The answers are about Dir and Options; the user may have typed another folder, or changed the all-archives
    // box or the settings, while a failure was on the screen.
    const FShrinkJobOptions Current = GetJobOptions();
    const bool bSameDir = GetGameDir() == Dir && Current.bAllArchives == Options.bAllArchives;
    // Another shrink or restore (another PellmorWin.exe, or pellmor) holds the game's files.
    Answers.bElsewhere = bSameDir && (CanShrink == ETestAnswer::Busy || CanUnshrink == ETestAnswer::Busy);
    // What the engine saw comes with the shrink test's answer and goes with it.
    if (bSameDir && CanShrink != ETestAnswer::Unknown)
    {
        Answers.Seen = Client->Status;
        Answers.Archives = Client->Archives;
    }
    if (bSameDir && Current.Settings.MakesSameArchive(Options.Settings))
    {
        Answers.bEstimating = Client->bEstimating != 0;
        Answers.Estimate = Client->Estimate;
    }
    if (Answers.bElsewhere)
        Answers.Seen.State = EArchiveState::Busy;
    Answers.bAnswered = bSameDir && CanShrink != ETestAnswer::Unknown && CanUnshrink != ETestAnswer::Unknown;
    Answers.bBusy = Client->bShrinking || Client->bUnshrinking || Client->bPreviewing || Client->bCleaning ||
                    !Answers.bAnswered || Answers.bElsewhere;
    Answers.bCanShrink = CanShrink == ETestAnswer::Passes;
    Answers.bCanUnshrink = CanUnshrink == ETestAnswer::Passes;
    return Answers;
}

void CPellmorWinDlg::StepAutomatically(const FDialogAnswers& Answers)
{
    const float Time = Now();
    WaitForOtherTransaction(Answers.bElsewhere, Time);
    if (Answers.bBusy)
        NextAutoTime = Time;
    else if (Time >= NextAutoTime)
    {
        NextAutoTime = Time;
        TakeAutomaticStep(Answers);
    }
}

void CPellmorWinDlg::FollowProgress()
{
    if (Client->bShrinking)
        ProgressDlg->ShowProgress(Client->ShrinkProgress, Client->GetShrinkProgressText(),
                                  bCancelAsked ? FString(u"Cancelling...")
                                               : DescribeProgress(Client->ShrinkProgressInfo));
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
    ShowFailure(DescribeWaitGivenUp(AutoWaitMinutes), bAutoUnshrink != 0);
    CloseAutomatic(EXIT_Failed);
}

FVerdict CPellmorWinDlg::FindShrunkOtherwise(const FDialogAnswers& Answers, FString& Name) const
{
    // What the engine's own shrink would say of each archive: only the state and the record count here.
    for (const FArchiveOutcome& Archive : Answers.Archives)
    {
        const FVerdict Verdict = JudgeShrink(Archive.Status, FShrinkNeeds(), -1, GetSettings());
        if (Verdict.Kind == EVerdict::ShrunkOtherwise)
        {
            Name = Archive.Name;
            return Verdict;
        }
    }
    return FVerdict();
}

void CPellmorWinDlg::TakeAutomaticStep(const FDialogAnswers& Answers)
{
    if (!bAutoShrink && !bAutoUnshrink)
        return;
    const bool bShrink = bAutoShrink != 0;
    const bool CanShrink = Answers.bCanShrink;
    const bool CanUnshrink = Answers.bCanUnshrink;
    FString Other;
    const FVerdict Otherwise = bShrink ? FindShrunkOtherwise(Answers, Other) : FVerdict();
    switch (AutoState)
    {
        case AUTO_Waiting:
            // A game shrunk with another choice is not shrunk as /s asks: it says so, and shrinks nothing.
            if (Otherwise.Kind == EVerdict::ShrunkOtherwise)
            {
                AutoState = AUTO_Failed;
                ShowFailure(DescribeShrunkOtherwise(Other, Otherwise), false);
                CloseAutomatic(EXIT_Failed);
            }
            else if (bShrink ? CanShrink : CanUnshrink)
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

void CPellmorWinDlg::SetStatus(const FDialogAnswers& Answers)
{
    const bool Busy = Answers.bBusy;
    bool CanShrink = !Busy && Answers.bCanShrink;
    const bool CanUnshrink = !Busy && Answers.bCanUnshrink;
    // Another transaction, or an archive that cannot be shrunk, replaces the state's own text; a stale kept
    // archive adds a line to the standard files' text.
    const FString ArchiveName = GetGameArchiveFiles(GetGameDir()).Name;
    FString Replaced;
    if (Client->bPreviewing)
        Replaced = u"Making the preview...\r\n";
    else if (Busy && Answers.Seen.State == EArchiveState::Busy)
        Replaced = GetBusyElsewhereStatus();
    else if (CanShrink && !CanUnshrink)
        Replaced = GetUnshrinkableStatus(Answers.Seen, ArchiveName);
    if (!Replaced.IsEmpty())
        CanShrink = false;
    // Several archives, some shrunk and some not: both buttons have work to do, and the standard files' text
    // (Shrink does the rest) stands over the archives' lines.
    const bool bMixed = CanShrink && CanUnshrink && Answers.Archives.Num() > 1;
    FString Added = Replaced.IsEmpty() && CanShrink && !CanUnshrink ? GetStaleKeptLine(Answers.Seen) : FString();
    if (Replaced.IsEmpty() && !Busy && (CanShrink != CanUnshrink || bMixed || !CanShrink))
    {
        const FString Lines = GetAddedLines(Answers, CanShrink, CanUnshrink);
        if (!Lines.IsEmpty())
            Added += u"\r\n" + Lines;
    }

    // A fit's size that is not valid shrinks nothing and previews nothing; the status says what is wrong with it.
    const bool bFitValid = GetFitHint(Answers).IsEmpty();
    bool bChanged = ShowButtons(Busy, CanShrink && bFitValid, CanUnshrink);
    // A preview reads the original: one of a shrunk game too.
    const bool CanPreview = !Busy && (Answers.bCanShrink || Answers.bCanUnshrink) && Replaced.IsEmpty() && bFitValid;
    bChanged = EnableButton(IDC_PREVIEW, CanPreview, LastCanPreview) || bChanged;
    bChanged = EnableButton(IDC_CLEAN, !Busy && HasKeptFiles(Answers.Archives), LastCanClean) || bChanged;
    const FString Note = Replaced + Added;
    if (Note != LastNote)
    {
        LastNote = Note;
        bChanged = true;
    }
    if (!bChanged)
        return;
    if (!Replaced.IsEmpty())
        SetStatusText(Replaced);
    else
    {
        const FString Text = bMixed ? GetStateText(true, false, false) : GetStateText(CanShrink, CanUnshrink, Busy);
        // The restored files' text ends with a blank line of its own.
        SetStatusText(Text + (Text.EndsWith(u"\r\n\r\n") && Added.StartsWith(u"\r\n") ? Added.Mid(2) : Added));
    }
    // What was found goes into the log once it is known.
    if (!Busy || !Replaced.IsEmpty())
        Log.Write(u"Status:\r\n" + m_strStatus);
}

bool CPellmorWinDlg::EnableButton(int32_t Id, bool bEnable, int32_t& Last)
{
    if (bEnable == (Last != 0))
        return false;
    Last = bEnable;
    if (CWnd* Button = GetDlgItem(Id))
        Button->EnableWindow(bEnable);
    return true;
}

bool CPellmorWinDlg::ShowButtons(bool Busy, bool CanShrink, bool CanUnshrink)
{
    bool bChanged = false;
    if (Busy != (LastBusy != 0))
    {
        LastBusy = Busy;
        bChanged = true;
    }
    bChanged = EnableButton(IDC_SHRINK, CanShrink, LastCanShrink) || bChanged;
    return EnableButton(IDC_RESTORE, CanUnshrink, LastCanUnshrink) || bChanged;
}

FString CPellmorWinDlg::GetAddedLines(const FDialogAnswers& Answers, bool CanShrink, bool CanUnshrink)
{
    const bool bSeveral = Answers.Archives.Num() > 1;
    FString Lines;
    if (CanShrink && CanUnshrink)
        Lines += u"Restore puts back the archives that are shrunk already.\r\n";
    for (const FArchiveOutcome& Archive : Answers.Archives)
    {
        const FString Line = DescribeArchiveLine(Archive, bSeveral);
        if (!Line.IsEmpty())
            Lines += Line + u"\r\n";
    }
    Lines += GetChoiceLines(Answers, CanShrink, CanUnshrink);
    if (!PreviewLine.IsEmpty())
        Lines += PreviewLine + u"\r\n";
    if (!CanShrink && !CanUnshrink)
        Lines += GetNoGameLines();
    const FString Source = GetSourceLine();
    if (!Source.IsEmpty())
        Lines += Source + u"\r\n";
    return Lines;
}

FString CPellmorWinDlg::GetChoiceLines(const FDialogAnswers& Answers, bool CanShrink, bool CanUnshrink) const
{
    FString Lines;
    auto Add = [&Lines](const FString& Line)
    {
        if (!Line.IsEmpty())
            Lines += Line + u"\r\n";
    };
    // What is wrong with a fit's size stands in place of the estimate; Preview waits for it too.
    const FString FitHint = GetFitHint(Answers);
    if (CanUnshrink)
    {
        Add(DescribeShrunkSettings(Answers.Seen));
        for (const FArchiveOutcome& Archive : Answers.Archives)
            if (Archive.Status.bShrunkChanged)
                Add(DescribeShrunkChanged(Archive.Name));
        FString Name;
        if (FindShrunkOtherwise(Answers, Name).Kind == EVerdict::ShrunkOtherwise)
            Add(DescribeRestoreFirst());
        if (!CanShrink)
            Add(FitHint);
    }
    if (CanShrink)
    {
        Add(!FitHint.IsEmpty()    ? FitHint
            : Answers.bEstimating ? FString(u"Estimating...")
                                  : DescribeEstimate(Answers.Estimate));
        Add(DescribeKeptSettings(Answers.Seen, GetSettings()));
    }
    return Lines;
}

FString CPellmorWinDlg::GetSourceLine() const
{
    return IsSameFolder(GetGameDir(), Origin.Dir) ? GetGameDirSourceLine(Origin, bOriginAboveProgram) : FString();
}

FString CPellmorWinDlg::GetNoGameLines()
{
    const FString Dir = GetGameDir();
    if (Dir != NoGameDir)
    {
        NoGameDir = Dir;
        NoGameText = DescribeNoGameHere(InterpretGameDirArgument(appWithoutTrailingSeparators(Dir)));
        if (!NoGameText.IsEmpty())
            NoGameText += u"\r\n";
    }
    return NoGameText;
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
