// Our small dialog framework, in the manner of MFC: the application object, windows and dialogs made from
// resource templates, dialog data exchange, message maps, the progress bar and the command line.
//
// Two back ends give the window services: UiWin32.cpp makes real Win32 dialogs from the templates linked into
// the program; UiHeadless.cpp keeps windows, controls, timers and message boxes in memory, so that the dialog
// logic runs in the tests without a display (see UiHeadless.h). Everything here lives on the one
// user-interface thread; nothing blocks except DoModal and the message boxes, which run until they are closed.
#pragma once

#include <cstdint>

#include "Core/Inc/Core.h"
#include "app/ui/UiDefs.h"

class CWnd;
class CDataExchange;
class CCommandLineInfo;

// ---- Message maps -------------------------------------------------------------------------------------------
// A class with handlers declares DECLARE_MESSAGE_MAP() and lists them between BEGIN_MESSAGE_MAP(Class, Base) and
// END_MESSAGE_MAP(). A message goes to the first matching entry, the class's own map first, then its bases'.
// A handler that calls Default() (the base class's On... routines do) also leaves the message to the system.

struct FUiMessage
{
    uint32_t Message;
    uintptr_t WParam;
    intptr_t LParam;
    intptr_t Result; // what the handler answers (WM_QUERYDRAGICON's icon)
};
typedef void (*FMessageHandler)(CWnd* Target, FUiMessage& Message);

struct FMessageMapEntry
{
    uint32_t Message;
    uint32_t Code; // WM_COMMAND only: the notification code (high word of WParam)
    int32_t Id;    // WM_COMMAND only: the control or command id (low word of WParam)
    FMessageHandler Handler;
};

struct FMessageMap
{
    const FMessageMap* (*GetBaseMap)();
    const FMessageMapEntry* Entries; // ends with an entry without a handler
};

#define DECLARE_MESSAGE_MAP()                                                                                      \
protected:                                                                                                         \
    static const FMessageMap* GetThisMessageMap();                                                                 \
    const FMessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(TheClass, BaseClass)                                                                     \
    const FMessageMap* TheClass::GetMessageMap() const                                                             \
    {                                                                                                              \
        return GetThisMessageMap();                                                                                \
    }                                                                                                              \
    const FMessageMap* TheClass::GetThisMessageMap()                                                               \
    {                                                                                                              \
        using ThisClass [[maybe_unused]] = TheClass;                                                               \
        using TheBaseClass = BaseClass;                                                                            \
        static const FMessageMapEntry Entries[] = {

#define END_MESSAGE_MAP()                                                                                          \
    {0, 0, 0, nullptr}                                                                                             \
    }                                                                                                              \
    ;                                                                                                              \
    static const FMessageMap Map = {&TheBaseClass::GetThisMessageMap, Entries};                                    \
    return &Map;                                                                                                   \
    }

#define ON_COMMAND(CommandId, Member)                                                                              \
    {WM_COMMAND, 0, CommandId, [](CWnd* Target, FUiMessage&) { static_cast<ThisClass*>(Target)->Member(); }},
#define ON_BN_CLICKED(ControlId, Member)                                                                           \
    {WM_COMMAND, BN_CLICKED, ControlId,                                                                            \
     [](CWnd* Target, FUiMessage&) { static_cast<ThisClass*>(Target)->Member(); }},
// The text of edit control Id has changed (typed, pasted or set), sent after the control shows it.
#define ON_EN_CHANGE(ControlId, Member)                                                                                \
    {WM_COMMAND, EN_CHANGE, ControlId, [](CWnd* Target, FUiMessage&) { static_cast<ThisClass*>(Target)->Member(); }},
// The user picked another item of drop-down list Id (a click or a key), sent after the control shows it.
#define ON_CBN_SELCHANGE(ControlId, Member)                                                                            \
    {WM_COMMAND, CBN_SELCHANGE, ControlId,                                                                             \
     [](CWnd* Target, FUiMessage&) { static_cast<ThisClass*>(Target)->Member(); }},
#define ON_WM_SYSCOMMAND()                                                                                         \
    {WM_SYSCOMMAND, 0, 0, [](CWnd* Target, FUiMessage& Message) {                                                  \
         static_cast<ThisClass*>(Target)->OnSysCommand(uint32_t(Message.WParam), Message.LParam);                  \
     }},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, [](CWnd* Target, FUiMessage&) { static_cast<ThisClass*>(Target)->OnPaint(); }},
#define ON_WM_QUERYDRAGICON()                                                                                      \
    {WM_QUERYDRAGICON, 0, 0, [](CWnd* Target, FUiMessage& Message) {                                               \
         Message.Result = reinterpret_cast<intptr_t>(static_cast<ThisClass*>(Target)->OnQueryDragIcon());          \
     }},
#define ON_WM_TIMER()                                                                                              \
    {WM_TIMER, 0, 0, [](CWnd* Target, FUiMessage& Message) {                                                       \
         static_cast<ThisClass*>(Target)->OnTimer(Message.WParam);                                                 \
     }},

// ---- Windows --------------------------------------------------------------------------------------------------

// A menu of a window (only the system menu is used).
class CMenu
{
public:
    void* m_hMenu = nullptr;
    // Appends an item: MF_STRING with its command id and text, or MF_SEPARATOR.
    bool AppendMenu(uint32_t Flags, uintptr_t IdNewItem = 0, const char16_t* NewItem = nullptr);
};

class CWnd
{
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // The platform's window (an HWND, or the headless back end's record); null while there is none.
    void* m_hWnd;

    // Runs a message through the message maps. True when a handler took it without asking for the default
    // handling; *Result then holds the handler's answer.
    bool OnWndMsg(uint32_t Message, uintptr_t WParam, intptr_t LParam, intptr_t* Result);
    // Called by a handler: the message also gets the system's default handling.
    void Default();

    // Dialog data exchange: true saves the controls into the fields, false loads the fields into the controls.
    bool UpdateData(bool bSaveAndValidate = true);
    virtual void DoDataExchange(CDataExchange* pDX);

    // The child window with the id, as a CWnd owned by this window (valid while the window exists), or null.
    CWnd* GetDlgItem(int32_t Id);
    // Binds Control to the child with the id (dialog data exchange's DDX_Control); undone when the window goes.
    void AttachControl(int32_t Id, CWnd& Control);
    // The back end tells the object that its platform window has gone.
    virtual void DetachWindow();

    // ---- Window services; each back end implements them ----
    bool EnableWindow(bool bEnable = true);
    bool IsWindowEnabled() const;
    bool ShowWindow(int32_t Cmd);
    bool IsWindowVisible() const;
    bool IsIconic() const;
    void SetWindowText(const char16_t* Text);
    FString GetWindowText() const;
    FString GetDlgItemText(int32_t Id) const;
    void SetDlgItemText(int32_t Id, const char16_t* Text);
    // A check box's state, BST_CHECKED or BST_UNCHECKED; setting it sends no notification.
    uint32_t IsDlgButtonChecked(int32_t Id) const;
    void CheckDlgButton(int32_t Id, uint32_t Check);
    void SetFocus();
    // Starts (or restarts) timer Id of this window: WM_TIMER every Elapse milliseconds. Returns Id, 0 on failure.
    uintptr_t SetTimer(uintptr_t Id, uint32_t Elapse);
    bool KillTimer(uintptr_t Id);
    bool PostMessage(uint32_t Message, uintptr_t WParam = 0, intptr_t LParam = 0);
    intptr_t SendMessage(uint32_t Message, uintptr_t WParam = 0, intptr_t LParam = 0);
    // A modal message box owned by this window; returns the button pressed. Without a caption the application's
    // name is used.
    int32_t MessageBox(const char16_t* Text, const char16_t* Caption = nullptr, uint32_t Type = MB_OK);
    // The window's system menu (owned by the window), or null when it has none.
    CMenu* GetSystemMenu(bool bRevert);
    // Sets the big or the small icon (WM_SETICON); returns the previous one.
    void* SetIcon(void* Icon, bool bBigIcon);
    // For WM_PAINT of a minimised window: erases the background (WM_ICONERASEBKGND) and draws Icon centred.
    void PaintIconic(void* Icon);
    bool DestroyWindow();

protected:
    static const FMessageMap* GetThisMessageMap();
    virtual const FMessageMap* GetMessageMap() const;

    // Default handlers: a derived class's handler calls them for the default handling.
    void OnSysCommand(uint32_t, intptr_t)
    {
        Default();
    }
    void OnPaint()
    {
        Default();
    }
    void OnTimer(uintptr_t)
    {
        Default();
    }

    // The back end's handle of a child control, or null.
    void* GetDlgItemHandle(int32_t Id) const;

    CMenu m_SystemMenu;

private:
    struct FChild
    {
        int32_t Id;
        CWnd* Wnd;
        bool bOwned; // a GetDlgItem wrapper (deleted with the window) or a bound control (only detached)
    };
    TDynArray<FChild> m_Children;
    // For a bound control: the window it is bound to, which forgets it when the control goes first (a
    // dialog's member controls are destroyed before the dialog's window).
    CWnd* m_pBoundTo;
    bool m_bDefaultRequested;
};

// A progress bar (msctls_progress32) bound to a dialog's control.
class CProgressCtrl : public CWnd
{
public:
    void SetRange(int16_t Lower, int16_t Upper);
    int32_t SetPos(int32_t Pos);
    int32_t GetPos();
};

// A drop-down list (a combo box with CBS_DROPDOWNLIST) bound to a dialog's control. The template has no items:
// the program adds them.
class CComboBox : public CWnd
{
public:
    // Appends an item; returns its index, CB_ERR on failure.
    int32_t AddString(const char16_t* Text);
    // The selected item's index, CB_ERR when none is.
    int32_t GetCurSel();
};

class CDialog : public CWnd
{
public:
    explicit CDialog(int32_t TemplateId, CWnd* ParentWnd = nullptr);
    // Destroys the window when it still exists.
    ~CDialog() override;

    // Makes the dialog from its template, runs it until EndDialog and destroys it; returns EndDialog's value,
    // or -1 when the dialog could not be made. The owner is the parent given, else the application's main window.
    virtual intptr_t DoModal();
    // Makes the dialog modeless from template TemplateId (shown when the template says WS_VISIBLE). True when
    // the window exists. The owner is ParentWnd, else the application's main window.
    virtual bool Create(int32_t TemplateId, CWnd* ParentWnd = nullptr);
    // Ends a modal dialog with the result; a modeless one is hidden.
    void EndDialog(intptr_t Result);

    // WM_INITDIALOG: loads the fields into the controls. True lets the system set the focus.
    virtual bool OnInitDialog();
    // The default buttons: OK saves the fields and ends with IDOK; Cancel (Esc, the close box) ends with IDCANCEL.
    virtual void OnOK();
    virtual void OnCancel();

    // For the back ends: WM_INITDIALOG arrived for this object's new window.
    bool HandleInitDialog(void* Window);
    CWnd* GetOwnerForCreate(CWnd* ParentWnd) const;

    int32_t m_nIDTemplate;
    CWnd* m_pParentWnd;

protected:
    DECLARE_MESSAGE_MAP()
};

class CDataExchange
{
public:
    CDataExchange(CWnd* DlgWnd, bool bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(DlgWnd) {}
    bool m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};

// The text of control Id and Value: saved from the control, or loaded into it.
void DDX_Text(CDataExchange* pDX, int32_t Id, FString& Value);
// Binds the object Control to control Id (once; later calls change nothing).
void DDX_Control(CDataExchange* pDX, int32_t Id, CWnd& Control);
// The check box Id and Value (1 checked, 0 not): saved from the control, or loaded into it.
void DDX_Check(CDataExchange* pDX, int32_t Id, int32_t& Value);
// The drop-down list Id and Value, the selected item's index (CB_ERR: none): saved from the control, or loaded
// into it (an index past its items selects none). Loading sends no notification.
void DDX_CBIndex(CDataExchange* pDX, int32_t Id, int32_t& Value);

// ---- Application ----------------------------------------------------------------------------------------------

class CCommandLineInfo
{
public:
    enum EShellCommand
    {
        FileNew = 0,
        FileNothing = -1,
    };
    CCommandLineInfo() : m_nShellCommand(FileNew) {}
    virtual ~CCommandLineInfo() {}
    // One argument after the program's name. Flags (arguments that start with '/' or '-') come without that
    // character; bLast is set for the last argument. The base class ignores every argument.
    virtual void ParseParam(const char16_t* Param, bool bFlag, bool bLast);

    int32_t m_nShellCommand;
};

// The application object. The program has exactly one, a static instance that registers itself when it is
// constructed; AfxWinMain runs it.
class CWinApp
{
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // False ends the application without a message loop of its own (every window here runs inside a dialog's
    // modal loop, so there is none).
    virtual bool InitInstance();
    // The exit code: m_nExitCode.
    virtual int32_t ExitInstance();

    // Hands every argument after the program's name (m_Args) to Info.ParseParam.
    void ParseCommandLine(CCommandLineInfo& Info);
    // Carries out Info's shell command. Only FileNew and FileNothing exist, and neither has anything to do
    // here: both report success.
    bool ProcessShellCommand(CCommandLineInfo& Info);
    // The registry key under which MFC keeps an application's settings; this framework keeps none there.
    void SetRegistryKey(const char16_t* Key);
    // An icon resource of the program (back end), or null.
    void* LoadIcon(int32_t ResourceId) const;

    CWnd* m_pMainWnd;
    // What the process ends with (0 unless the application says otherwise); AfxWinMain returns it through
    // ExitInstance, and the program's entry point returns that to the system.
    int32_t m_nExitCode;
    FString m_strRegistryKey;
    // The program's arguments, its own name first; AfxWinMain fills them.
    TDynArray<FString> m_Args;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// The name in captions of message boxes without one: the executable's name.
FString AfxGetAppName();
// Runs the application object: collects the arguments (the wide command line on Windows), InitInstance, then
// ExitInstance, whose result is the exit code.
int32_t AfxWinMain(int32_t Argc, char** Argv);

// ---- Services of the back ends ---------------------------------------------------------------------------------
// A message box owned by the main window, captioned with the application's name; MB_OK gets the exclamation icon.
int32_t AfxMessageBox(const char16_t* Text, uint32_t Type = MB_OK);
// InitCommonControlsEx with the structure's size (8) and these control classes.
bool AfxInitCommonControls(uint32_t Classes);
// String resource Id, or false when there is none.
bool AfxLoadString(int32_t Id, FString& Out);
// The system's folder picker, modal to Owner, captioned Title and opening in StartFolder (when it exists). True
// with the folder chosen in Picked; false when the user cancelled it (or it could not be shown). Blocks until it
// closes; the owner's timers go on meanwhile, as under a message box.
bool AfxPickFolder(CWnd* Owner, const char16_t* Title, const FString& StartFolder, FString& Picked);
// Opens the file at Path as the system's default program for it does (a page in the default browser). Returns at
// once, true when a program took it (which says nothing about what that program then does: under Wine a page goes
// on to the desktop's own opener). False when none did, with Error the system's error number (ERROR_NO_ASSOCIATION
// when nothing is registered for the file's kind); the system shows no message of its own.
bool AfxOpenDocument(const FString& Path, uint32_t& Error);
