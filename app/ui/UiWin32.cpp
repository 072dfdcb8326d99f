// The Win32 back end of the dialog framework: real dialogs from the resource templates linked into the
// program, their dialog procedure routing messages into the message maps, and the program's entry point.
//
// <windows.h> comes first. It defines TEXT(s) as L##s, which the Core defines as u##s: its definition is
// dropped here and the Core's takes its place; this file writes no literal through either. It also maps
// MessageBox, PostMessage, SendMessage and others to their ...W functions, which would rename the framework's
// members of those names in this file only, so those macros are dropped too and the W functions called by name.
#include <cstdlib>
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shobjidl.h>

#undef TEXT
#undef MessageBox
#undef PostMessage
#undef SendMessage
#undef GetWindowText
#undef SetWindowText
#undef GetDlgItemText
#undef SetDlgItemText
#undef LoadIcon
#undef AppendMenu

#include "app/ui/UiFramework.h"

namespace
{
HINSTANCE GInstance = nullptr;

HWND H(void* Handle)
{
    return static_cast<HWND>(Handle);
}

HWND H(const CWnd* Wnd)
{
    return Wnd ? static_cast<HWND>(Wnd->m_hWnd) : nullptr;
}

const wchar_t* W(const char16_t* Text)
{
    return reinterpret_cast<const wchar_t*>(Text);
}

FString WindowText(HWND Window)
{
    const int Length = GetWindowTextLengthW(Window);
    if (Length <= 0)
        return FString();
    TDynArray<char16_t> Buffer(Length + 1);
    const int Got = GetWindowTextW(Window, reinterpret_cast<wchar_t*>(Buffer.GetData()), Length + 1);
    return FString(Buffer.GetData(), Got > 0 ? Got : 0);
}

// Messages whose answer the dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool AnswersDirectly(UINT Message)
{
    return Message == WM_QUERYDRAGICON || Message == WM_CTLCOLORMSGBOX || Message == WM_CTLCOLOREDIT ||
           Message == WM_CTLCOLORLISTBOX || Message == WM_CTLCOLORBTN || Message == WM_CTLCOLORDLG ||
           Message == WM_CTLCOLORSCROLLBAR || Message == WM_CTLCOLORSTATIC || Message == WM_COMPAREITEM ||
           Message == WM_VKEYTOITEM || Message == WM_CHARTOITEM || Message == WM_INITDIALOG;
}

INT_PTR CALLBACK DialogProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam)
{
    if (Message == WM_INITDIALOG)
    {
        CDialog* Dialog = reinterpret_cast<CDialog*>(LParam);
        SetWindowLongPtrW(Window, DWLP_USER, LParam);
        return Dialog->HandleInitDialog(Window) ? TRUE : FALSE;
    }
    CDialog* Dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(Window, DWLP_USER));
    if (!Dialog)
        return FALSE;
    if (Message == WM_NCDESTROY)
    {
        SetWindowLongPtrW(Window, DWLP_USER, 0);
        Dialog->DetachWindow();
        return FALSE;
    }
    intptr_t Result = 0;
    if (!Dialog->OnWndMsg(Message, WParam, LParam, &Result))
        return FALSE;
    if (AnswersDirectly(Message))
        return INT_PTR(Result);
    // The handler may have destroyed the window.
    if (IsWindow(Window))
        SetWindowLongPtrW(Window, DWLP_MSGRESULT, LONG_PTR(Result));
    return TRUE;
}
} // namespace

// ---- Window services ------------------------------------------------------------------------------------------

bool CWnd::EnableWindow(bool bEnable)
{
    return ::EnableWindow(H(m_hWnd), bEnable ? TRUE : FALSE) != FALSE;
}

bool CWnd::IsWindowEnabled() const
{
    return ::IsWindowEnabled(H(m_hWnd)) != FALSE;
}

bool CWnd::ShowWindow(int32_t Cmd)
{
    return ::ShowWindow(H(m_hWnd), Cmd) != FALSE;
}

bool CWnd::IsWindowVisible() const
{
    return ::IsWindowVisible(H(m_hWnd)) != FALSE;
}

bool CWnd::IsIconic() const
{
    return ::IsIconic(H(m_hWnd)) != FALSE;
}

void CWnd::SetWindowText(const char16_t* Text)
{
    SetWindowTextW(H(m_hWnd), W(Text));
}

FString CWnd::GetWindowText() const
{
    return WindowText(H(m_hWnd));
}

FString CWnd::GetDlgItemText(int32_t Id) const
{
    HWND Child = ::GetDlgItem(H(m_hWnd), Id);
    return Child ? WindowText(Child) : FString();
}

void CWnd::SetDlgItemText(int32_t Id, const char16_t* Text)
{
    SetDlgItemTextW(H(m_hWnd), Id, W(Text));
}

uint32_t CWnd::IsDlgButtonChecked(int32_t Id) const
{
    return ::IsDlgButtonChecked(H(m_hWnd), Id);
}

void CWnd::CheckDlgButton(int32_t Id, uint32_t Check)
{
    ::CheckDlgButton(H(m_hWnd), Id, Check);
}

void CWnd::SetFocus()
{
    ::SetFocus(H(m_hWnd));
}

void* CWnd::GetDlgItemHandle(int32_t Id) const
{
    return ::GetDlgItem(H(m_hWnd), Id);
}

uintptr_t CWnd::SetTimer(uintptr_t Id, uint32_t Elapse)
{
    return ::SetTimer(H(m_hWnd), Id, Elapse, nullptr);
}

bool CWnd::KillTimer(uintptr_t Id)
{
    return ::KillTimer(H(m_hWnd), Id) != FALSE;
}

bool CWnd::PostMessage(uint32_t Message, uintptr_t WParam, intptr_t LParam)
{
    return PostMessageW(H(m_hWnd), Message, WParam, LParam) != FALSE;
}

intptr_t CWnd::SendMessage(uint32_t Message, uintptr_t WParam, intptr_t LParam)
{
    return SendMessageW(H(m_hWnd), Message, WParam, LParam);
}

int32_t CWnd::MessageBox(const char16_t* Text, const char16_t* Caption, uint32_t Type)
{
    const FString AppName = AfxGetAppName();
    return MessageBoxW(H(m_hWnd), W(Text), W(Caption ? Caption : *AppName), Type);
}

CMenu* CWnd::GetSystemMenu(bool bRevert)
{
    HMENU Menu = ::GetSystemMenu(H(m_hWnd), bRevert ? TRUE : FALSE);
    if (!Menu)
        return nullptr;
    m_SystemMenu.m_hMenu = Menu;
    return &m_SystemMenu;
}

bool CMenu::AppendMenu(uint32_t Flags, uintptr_t IdNewItem, const char16_t* NewItem)
{
    return AppendMenuW(static_cast<HMENU>(m_hMenu), Flags, IdNewItem, W(NewItem)) != FALSE;
}

void* CWnd::SetIcon(void* Icon, bool bBigIcon)
{
    HICON Image = static_cast<HICON>(Icon);
    if (!bBigIcon && Image)
    {
        // The small icon comes from the resource's own 16-pixel image rather than from the big one scaled down.
        HICON Small = static_cast<HICON>(CopyImage(Image, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), LR_COPYFROMRESOURCE));
        if (Small)
            Image = Small;
    }
    return reinterpret_cast<void*>(SendMessageW(H(m_hWnd), WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL,
                                                reinterpret_cast<LPARAM>(Image)));
}

void CWnd::PaintIconic(void* Icon)
{
    PAINTSTRUCT Paint;
    HDC Dc = BeginPaint(H(m_hWnd), &Paint);
    SendMessageW(H(m_hWnd), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(Dc), 0);
    RECT Client;
    GetClientRect(H(m_hWnd), &Client);
    const int X = (Client.right - Client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int Y = (Client.bottom - Client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(Dc, X, Y, static_cast<HICON>(Icon));
    EndPaint(H(m_hWnd), &Paint);
}

bool CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return false;
    HWND Window = H(m_hWnd);
    const bool bDestroyed = ::DestroyWindow(Window) != FALSE;
    // WM_NCDESTROY detaches the object; a window of another thread cannot be destroyed from here.
    if (m_hWnd == Window && !IsWindow(Window))
        DetachWindow();
    return bDestroyed;
}

// ---- Dialogs and the application ---------------------------------------------------------------------------------

bool CDialog::Create(int32_t TemplateId, CWnd* ParentWnd)
{
    m_nIDTemplate = TemplateId;
    HWND Window = CreateDialogParamW(GInstance, MAKEINTRESOURCEW(TemplateId), H(GetOwnerForCreate(ParentWnd)),
                                     DialogProc, reinterpret_cast<LPARAM>(this));
    return Window != nullptr;
}

intptr_t CDialog::DoModal()
{
    return DialogBoxParamW(GInstance, MAKEINTRESOURCEW(m_nIDTemplate), H(GetOwnerForCreate(m_pParentWnd)),
                           DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(intptr_t Result)
{
    ::EndDialog(H(m_hWnd), Result);
}

void* CWinApp::LoadIcon(int32_t ResourceId) const
{
    return LoadIconW(GInstance, MAKEINTRESOURCEW(ResourceId));
}

int32_t AfxMessageBox(const char16_t* Text, uint32_t Type)
{
    if ((Type & MB_ICONMASK) == 0)
        Type |= MB_ICONEXCLAMATION;
    const FString AppName = AfxGetAppName();
    CWnd* Main = AfxGetMainWnd();
    return MessageBoxW(Main ? H(Main) : nullptr, W(Text), W(*AppName), Type);
}

bool AfxInitCommonControls(uint32_t Classes)
{
    INITCOMMONCONTROLSEX Init;
    Init.dwSize = sizeof(Init);
    Init.dwICC = Classes;
    return InitCommonControlsEx(&Init) != FALSE;
}

bool AfxLoadString(int32_t Id, FString& Out)
{
    // With a zero length, LoadStringW hands out a pointer to the resource's text itself.
    const wchar_t* Text = nullptr;
    const int Length = LoadStringW(GInstance, UINT(Id), reinterpret_cast<wchar_t*>(&Text), 0);
    if (Length <= 0 || !Text)
        return false;
    Out = FString(reinterpret_cast<const char16_t*>(Text), Length);
    return true;
}

namespace
{
// The folder of a picker's result, as the file system names it.
bool TakePickedFolder(IFileOpenDialog* Dialog, FString& Picked)
{
    IShellItem* Result = nullptr;
    if (FAILED(Dialog->GetResult(&Result)))
        return false;
    PWSTR Path = nullptr;
    const bool bPath = SUCCEEDED(Result->GetDisplayName(SIGDN_FILESYSPATH, &Path));
    if (bPath)
    {
        Picked = FString(reinterpret_cast<const char16_t*>(Path));
        CoTaskMemFree(Path);
    }
    Result->Release();
    return bPath;
}
} // namespace

bool AfxPickFolder(CWnd* Owner, const char16_t* Title, const FString& StartFolder, FString& Picked)
{
    // The picker is a COM object of the shell, which wants its thread in a single-threaded apartment.
    const HRESULT Init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    bool bPicked = false;
    IFileOpenDialog* Dialog = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&Dialog))))
    {
        FILEOPENDIALOGOPTIONS Options = 0;
        Dialog->GetOptions(&Options);
        Dialog->SetOptions(Options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
        Dialog->SetTitle(W(Title));
        IShellItem* Start = nullptr;
        if (!StartFolder.IsEmpty() &&
            SUCCEEDED(SHCreateItemFromParsingName(W(*StartFolder), nullptr, IID_PPV_ARGS(&Start))))
        {
            Dialog->SetFolder(Start);
            Start->Release();
        }
        bPicked = SUCCEEDED(Dialog->Show(H(Owner))) && TakePickedFolder(Dialog, Picked);
        Dialog->Release();
    }
    if (SUCCEEDED(Init))
        CoUninitialize();
    return bPicked;
}

namespace
{
// The system's error number for one of ShellExecute's own codes (32 or less), which are no error numbers of the
// system: the dialog words a failure with the system's text for it.
uint32_t ShellExecuteError(intptr_t Code)
{
    switch (Code)
    {
        case 0:
            return ERROR_OUTOFMEMORY;
        case SE_ERR_SHARE:
            return ERROR_SHARING_VIOLATION;
        case SE_ERR_ASSOCINCOMPLETE:
        case SE_ERR_NOASSOC:
            return ERROR_NO_ASSOCIATION;
        case SE_ERR_DDETIMEOUT:
        case SE_ERR_DDEFAIL:
        case SE_ERR_DDEBUSY:
            return ERROR_DDE_FAIL;
        case SE_ERR_DLLNOTFOUND:
            return ERROR_DLL_NOT_FOUND;
        default:
            // 2 file not found, 3 path not found, 5 access denied, 8 out of memory, 11 bad format: the system's own.
            return uint32_t(Code);
    }
}
} // namespace

bool AfxOpenDocument(const FString& Path, uint32_t& Error)
{
    // The shell may hand the file on through COM, which wants the thread in an apartment; the call waits until the
    // hand-over is done, so the apartment may go right after. Without a window of its own the shell shows no error
    // of its own either (SEE_MASK_FLAG_NO_UI): the dialog says what went wrong, with the page's path.
    const HRESULT Init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW Info = {};
    Info.cbSize = sizeof(Info);
    Info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    Info.lpVerb = L"open";
    Info.lpFile = W(*Path);
    Info.nShow = SW_SHOWNORMAL;
    const bool bOpened = ShellExecuteExW(&Info) != FALSE;
    // A failure sets the thread's last error, and hInstApp to one of ShellExecute's codes, 32 or less.
    const DWORD LastError = GetLastError();
    if (SUCCEEDED(Init))
        CoUninitialize();
    Error = bOpened ? 0 : (LastError ? LastError : ShellExecuteError(reinterpret_cast<intptr_t>(Info.hInstApp)));
    return bOpened;
}

// The program's entry point: a GUI-subsystem program starts here rather than in main.
int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int)
{
    GInstance = Instance;
    return AfxWinMain(__argc, __argv);
}
