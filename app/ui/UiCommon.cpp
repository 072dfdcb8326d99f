// The parts of the dialog framework that are the same for every back end: message maps, data exchange, the
// dialog's default behaviour, the application object and the command line.
#include "app/ui/UiFramework.h"

#include "Core/Inc/CoreOS.h"

namespace
{
CWinApp* GApp = nullptr;

uint32_t LowWord(uintptr_t Value)
{
    return uint32_t(Value & 0xFFFF);
}
uint32_t HighWord(uintptr_t Value)
{
    return uint32_t((Value >> 16) & 0xFFFF);
}
} // namespace

// ---- CWnd -----------------------------------------------------------------------------------------------------

CWnd::CWnd() : m_hWnd(nullptr), m_pBoundTo(nullptr), m_bDefaultRequested(false) {}

CWnd::~CWnd()
{
    if (m_pBoundTo)
    {
        TDynArray<FChild>& Siblings = m_pBoundTo->m_Children;
        for (int32_t i = Siblings.Num() - 1; i >= 0; --i)
            if (Siblings[i].Wnd == this)
                Siblings.Remove(i);
    }
    for (FChild& Child : m_Children)
    {
        if (Child.bOwned)
            delete Child.Wnd;
        else
            Child.Wnd->m_pBoundTo = nullptr;
    }
}

const FMessageMap* CWnd::GetThisMessageMap()
{
    static const FMessageMapEntry Entries[] = {{0, 0, 0, nullptr}};
    static const FMessageMap Map = {nullptr, Entries};
    return &Map;
}

const FMessageMap* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

bool CWnd::OnWndMsg(uint32_t Message, uintptr_t WParam, intptr_t LParam, intptr_t* Result)
{
    for (const FMessageMap* Map = GetMessageMap(); Map; Map = Map->GetBaseMap ? Map->GetBaseMap() : nullptr)
    {
        for (const FMessageMapEntry* Entry = Map->Entries; Entry->Handler; ++Entry)
        {
            if (Entry->Message != Message)
                continue;
            if (Message == WM_COMMAND &&
                (Entry->Code != HighWord(WParam) || uint32_t(Entry->Id) != LowWord(WParam)))
                continue;
            FUiMessage Msg = {Message, WParam, LParam, 0};
            // Handlers may run message boxes and so nest; each message keeps its own request.
            const bool bOuterRequest = m_bDefaultRequested;
            m_bDefaultRequested = false;
            Entry->Handler(this, Msg);
            const bool bDefault = m_bDefaultRequested;
            m_bDefaultRequested = bOuterRequest;
            if (Result)
                *Result = Msg.Result;
            return !bDefault;
        }
    }
    return false;
}

void CWnd::Default()
{
    m_bDefaultRequested = true;
}

bool CWnd::UpdateData(bool bSaveAndValidate)
{
    CDataExchange DX(this, bSaveAndValidate);
    DoDataExchange(&DX);
    return true;
}

void CWnd::DoDataExchange(CDataExchange*) {}

CWnd* CWnd::GetDlgItem(int32_t Id)
{
    void* Handle = GetDlgItemHandle(Id);
    if (!Handle)
        return nullptr;
    for (FChild& Child : m_Children)
        if (Child.Id == Id && Child.Wnd->m_hWnd == Handle)
            return Child.Wnd;
    CWnd* Wrapper = new CWnd;
    Wrapper->m_hWnd = Handle;
    m_Children.AddItem(FChild{Id, Wrapper, true});
    return Wrapper;
}

void CWnd::AttachControl(int32_t Id, CWnd& Control)
{
    if (Control.m_hWnd)
        return;
    Control.m_hWnd = GetDlgItemHandle(Id);
    if (Control.m_hWnd)
    {
        Control.m_pBoundTo = this;
        m_Children.AddItem(FChild{Id, &Control, false});
    }
}

void CWnd::DetachWindow()
{
    for (FChild& Child : m_Children)
    {
        Child.Wnd->m_hWnd = nullptr;
        if (Child.bOwned)
            delete Child.Wnd;
        else
            Child.Wnd->m_pBoundTo = nullptr;
    }
    m_Children.Empty();
    m_SystemMenu.m_hMenu = nullptr;
    m_hWnd = nullptr;
}

// ---- Controls ---------------------------------------------------------------------------------------------------

void CProgressCtrl::SetRange(int16_t Lower, int16_t Upper)
{
    SendMessage(PBM_SETRANGE, 0, intptr_t((uint32_t(uint16_t(Upper)) << 16) | uint16_t(Lower)));
}

int32_t CProgressCtrl::SetPos(int32_t Pos)
{
    return int32_t(SendMessage(PBM_SETPOS, uintptr_t(Pos), 0));
}

int32_t CProgressCtrl::GetPos()
{
    return int32_t(SendMessage(PBM_GETPOS, 0, 0));
}

int32_t CComboBox::AddString(const char16_t* Text)
{
    return int32_t(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<intptr_t>(Text)));
}

int32_t CComboBox::GetCurSel()
{
    return int32_t(SendMessage(CB_GETCURSEL, 0, 0));
}

// ---- CDialog ----------------------------------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(int32_t TemplateId, CWnd* ParentWnd) : m_nIDTemplate(TemplateId), m_pParentWnd(ParentWnd) {}

CDialog::~CDialog()
{
    if (m_hWnd)
        DestroyWindow();
}

bool CDialog::OnInitDialog()
{
    UpdateData(false);
    return true;
}

void CDialog::OnOK()
{
    UpdateData(true);
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

bool CDialog::HandleInitDialog(void* Window)
{
    m_hWnd = Window;
    return OnInitDialog();
}

CWnd* CDialog::GetOwnerForCreate(CWnd* ParentWnd) const
{
    if (ParentWnd)
        return ParentWnd;
    CWnd* Main = AfxGetMainWnd();
    return Main != this ? Main : nullptr;
}

void DDX_Text(CDataExchange* pDX, int32_t Id, FString& Value)
{
    if (pDX->m_bSaveAndValidate)
        Value = pDX->m_pDlgWnd->GetDlgItemText(Id);
    else
        pDX->m_pDlgWnd->SetDlgItemText(Id, *Value);
}

void DDX_Control(CDataExchange* pDX, int32_t Id, CWnd& Control)
{
    pDX->m_pDlgWnd->AttachControl(Id, Control);
}

void DDX_Check(CDataExchange* pDX, int32_t Id, int32_t& Value)
{
    if (pDX->m_bSaveAndValidate)
        Value = pDX->m_pDlgWnd->IsDlgButtonChecked(Id) == BST_CHECKED ? 1 : 0;
    else
        pDX->m_pDlgWnd->CheckDlgButton(Id, Value ? BST_CHECKED : BST_UNCHECKED);
}

void DDX_CBIndex(CDataExchange* pDX, int32_t Id, int32_t& Value)
{
    CWnd* List = pDX->m_pDlgWnd->GetDlgItem(Id);
    if (!List)
        return;
    if (pDX->m_bSaveAndValidate)
        Value = int32_t(List->SendMessage(CB_GETCURSEL, 0, 0));
    else
        List->SendMessage(CB_SETCURSEL, uintptr_t(intptr_t(Value)), 0);
}

// ---- Application --------------------------------------------------------------------------------------------------

void CCommandLineInfo::ParseParam(const char16_t*, bool, bool) {}

CWinApp::CWinApp() : m_pMainWnd(nullptr), m_nExitCode(0)
{
    appCheck(GApp == nullptr);
    GApp = this;
}

CWinApp::~CWinApp()
{
    if (GApp == this)
        GApp = nullptr;
}

bool CWinApp::InitInstance()
{
    return true;
}

int32_t CWinApp::ExitInstance()
{
    return m_nExitCode;
}

void CWinApp::ParseCommandLine(CCommandLineInfo& Info)
{
    for (int32_t i = 1; i < m_Args.Num(); ++i)
    {
        const char16_t* Param = *m_Args[i];
        const bool bFlag = Param[0] == u'-' || Param[0] == u'/';
        Info.ParseParam(bFlag ? Param + 1 : Param, bFlag, i + 1 == m_Args.Num());
    }
}

bool CWinApp::ProcessShellCommand(CCommandLineInfo& Info)
{
    return Info.m_nShellCommand == CCommandLineInfo::FileNew || Info.m_nShellCommand == CCommandLineInfo::FileNothing;
}

void CWinApp::SetRegistryKey(const char16_t* Key)
{
    m_strRegistryKey = Key;
}

CWinApp* AfxGetApp()
{
    return GApp;
}

CWnd* AfxGetMainWnd()
{
    return GApp ? GApp->m_pMainWnd : nullptr;
}

FString AfxGetAppName()
{
    return FString(appExeName());
}

int32_t AfxWinMain(int32_t Argc, char** Argv)
{
    CWinApp* App = AfxGetApp();
    appCheck(App);
    App->m_Args.Empty();
    CoreOS::CommandLineArgs(
        Argc, Argv,
        [](void* Context, const char16_t* Arg) { static_cast<TDynArray<FString>*>(Context)->AddItem(FString(Arg)); },
        &App->m_Args);
    App->InitInstance();
    return App->ExitInstance();
}
