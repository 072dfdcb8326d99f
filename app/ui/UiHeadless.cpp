// The headless back end of the dialog framework: windows, controls, timers, menus and message boxes kept in
// memory, dialogs made from the templates of PellmorWin.rc. The system's default behaviour that the dialog
// logic relies on is copied here: WM_CLOSE becomes IDCANCEL, EndDialog ends a modal dialog and hides a modeless
// one, and a child is visible only while its parent is.
#include "app/ui/UiHeadless.h"

#include <chrono>
#include <thread>

#include "app/ui/UiResourceScript.h"

namespace
{
struct FTimer
{
    uintptr_t Id;
    uint32_t Period;
    double Due;
};

struct FMenuItem
{
    uint32_t Flags;
    uintptr_t Id;
    FString Text;
};

struct FWindow
{
    CWnd* Owner = nullptr; // the dialog object; null for controls
    FWindow* Parent = nullptr;
    int32_t Id = 0;
    int32_t TemplateId = 0;
    FString ClassName;
    FString Text;
    bool bEnabled = true;
    bool bVisible = false;
    bool bAutoCheck = false;
    bool bChecked = false;
    bool bIconic = false;
    bool bHasSysMenu = false;
    bool bModal = false;
    bool bEnded = false;
    intptr_t EndResult = 0;
    int32_t FocusId = 0;
    int32_t SelStart = 0, SelEnd = 0; // an edit control's selection; the caret is at its end
    int32_t RangeLow = 0, RangeHigh = 100, Pos = 0;
    TDynArray<FString> Items; // a drop-down list's
    int32_t CurSel = CB_ERR;
    void* BigIcon = nullptr;
    void* SmallIcon = nullptr;
    TDynArray<FWindow*> Children;
    TDynArray<FTimer> Timers;
    TDynArray<FMenuItem> SystemMenu;
};

struct FPosted
{
    FWindow* Window;
    uint32_t Message;
    uintptr_t WParam;
    intptr_t LParam;
};

struct FState
{
    TDynArray<FWindow*> Dialogs; // live top-level windows
    TDynArray<FPosted> Queue;
    TDynArray<UiHeadless::FShownMessageBox> MessageBoxes;
    int32_t FailingTemplate = 0;
    UiHeadless::FIdleHook IdleHook = nullptr;
    int32_t BoxAnswer = 0;
    TDynArray<int32_t> QueuedAnswers;
    uint32_t OpenError = 0;
    FString PickerAnswer;
    FString PickerStart;
    TDynArray<FString> Opened; // AfxOpenDocument's paths
    FUiResourceScript Script;
    bool bScriptRead = false;
};

FState& State()
{
    static FState Instance;
    return Instance;
}

const FUiResourceScript& Script()
{
    FState& S = State();
    if (!S.bScriptRead)
    {
        FString Error;
        if (!S.Script.Parse(UiEmbeddedResourceScript(), UiEmbeddedResourceHeader(), &Error))
            appError(u"%s", *Error);
        S.bScriptRead = true;
    }
    return S.Script;
}

FWindow* AsWindow(void* Handle)
{
    return static_cast<FWindow*>(Handle);
}

bool IsLive(const FWindow* Window)
{
    for (FWindow* Dialog : State().Dialogs)
    {
        if (Dialog == Window)
            return true;
        for (FWindow* Child : Dialog->Children)
            if (Child == Window)
                return true;
    }
    return false;
}

FWindow* FindChild(FWindow* Window, int32_t Id)
{
    if (!Window)
        return nullptr;
    for (FWindow* Child : Window->Children)
        if (Child->Id == Id)
            return Child;
    return nullptr;
}

FWindow* ChildOf(CWnd& Dialog, int32_t Id)
{
    FWindow* Child = FindChild(AsWindow(Dialog.m_hWnd), Id);
    if (!Child)
        appError(u"The dialog has no control %d", Id);
    return Child;
}

intptr_t Dispatch(FWindow* Window, uint32_t Message, uintptr_t WParam, intptr_t LParam);

// What the system does with a message that no handler took.
intptr_t DefaultProcessing(FWindow* Window, uint32_t Message, uintptr_t WParam, intptr_t LParam)
{
    switch (Message)
    {
    case WM_CLOSE:
        if (Window->Owner)
            return Dispatch(Window, WM_COMMAND, IDCANCEL, 0);
        return 0;
    case WM_SYSCOMMAND:
        if ((WParam & 0xFFF0) == SC_CLOSE)
            return Dispatch(Window, WM_CLOSE, 0, 0);
        return 0;
    case WM_SETICON:
    {
        void*& Slot = WParam == ICON_BIG ? Window->BigIcon : Window->SmallIcon;
        void* Old = Slot;
        Slot = reinterpret_cast<void*>(LParam);
        return reinterpret_cast<intptr_t>(Old);
    }
    case PBM_SETRANGE:
    {
        const intptr_t Old = (intptr_t(uint16_t(Window->RangeHigh)) << 16) | uint16_t(Window->RangeLow);
        Window->RangeLow = int16_t(LParam & 0xFFFF);
        Window->RangeHigh = int16_t((LParam >> 16) & 0xFFFF);
        return Old;
    }
    case PBM_SETPOS:
    {
        const int32_t Old = Window->Pos;
        const int32_t Pos = int32_t(WParam);
        Window->Pos = Pos < Window->RangeLow ? Window->RangeLow : (Pos > Window->RangeHigh ? Window->RangeHigh : Pos);
        return Old;
    }
    case PBM_GETPOS:
        return Window->Pos;
    case CB_ADDSTRING:
        Window->Items.AddItem(FString(reinterpret_cast<const char16_t*>(LParam)));
        return Window->Items.Num() - 1;
    case CB_GETCURSEL:
        return Window->CurSel;
    case CB_SETCURSEL:
    {
        // A drop-down list shows its selected item as its text; an index past the items selects none.
        const intptr_t Index = intptr_t(WParam);
        Window->CurSel = Index >= 0 && Index < Window->Items.Num() ? int32_t(Index) : CB_ERR;
        Window->Text = Window->CurSel == CB_ERR ? FString() : Window->Items[Window->CurSel];
        return Window->CurSel;
    }
    default:
        return 0;
    }
}

intptr_t Dispatch(FWindow* Window, uint32_t Message, uintptr_t WParam, intptr_t LParam)
{
    intptr_t Result = 0;
    if (Window->Owner && Window->Owner->OnWndMsg(Message, WParam, LParam, &Result))
        return Result;
    // The handler may have destroyed the window.
    if (!IsLive(Window))
        return Result;
    return DefaultProcessing(Window, Message, WParam, LParam);
}

FWindow* MakeDialog(CDialog& Dialog, int32_t TemplateId, CWnd* Owner)
{
    FState& S = State();
    if (TemplateId == S.FailingTemplate)
        return nullptr;
    const FUiDialogTemplate* Template = Script().FindDialog(TemplateId);
    if (!Template)
        return nullptr;
    FWindow* Window = new FWindow;
    Window->Owner = &Dialog;
    Window->Parent = Owner ? AsWindow(Owner->m_hWnd) : nullptr;
    Window->TemplateId = TemplateId;
    Window->ClassName = u"#32770";
    Window->Text = Template->Caption;
    Window->bVisible = Template->bVisible;
    Window->bHasSysMenu = Template->bSysMenu;
    for (const FUiControlTemplate& Control : Template->Controls)
    {
        FWindow* Child = new FWindow;
        Child->Parent = Window;
        Child->Id = Control.Id;
        Child->ClassName = Control.ClassName;
        Child->Text = Control.ClassName == u"Edit" ? FString() : Control.Text;
        Child->bEnabled = !Control.bDisabled;
        Child->bVisible = !Control.bHidden;
        Child->bAutoCheck = Control.bAutoCheck;
        Window->Children.AddItem(Child);
    }
    S.Dialogs.AddItem(Window);
    return Window;
}

void DeleteWindow(FWindow* Window)
{
    FState& S = State();
    for (int32_t i = S.Queue.Num() - 1; i >= 0; --i)
    {
        bool bGone = S.Queue[i].Window == Window;
        for (FWindow* Child : Window->Children)
            bGone = bGone || S.Queue[i].Window == Child;
        if (bGone)
            S.Queue.Remove(i);
    }
    for (int32_t i = S.Dialogs.Num() - 1; i >= 0; --i)
        if (S.Dialogs[i] == Window)
            S.Dialogs.Remove(i);
    for (FWindow* Child : Window->Children)
        delete Child;
    delete Window;
}

void DeliverOne()
{
    FState& S = State();
    const FPosted Posted = S.Queue[0];
    S.Queue.Remove(0);
    if (IsLive(Posted.Window))
        Dispatch(Posted.Window, Posted.Message, Posted.WParam, Posted.LParam);
}

int32_t ShowMessageBox(const char16_t* Text, const char16_t* Caption, uint32_t Type)
{
    State().MessageBoxes.AddItem(UiHeadless::FShownMessageBox{FString(Caption), FString(Text), Type});
    if ((Type & MB_TYPEMASK) != MB_YESNO)
        return IDOK;
    if (State().QueuedAnswers.Num() > 0)
    {
        const int32_t Answer = State().QueuedAnswers[0];
        State().QueuedAnswers.Remove(0);
        return Answer;
    }
    if (State().BoxAnswer)
        return State().BoxAnswer;
    return (Type & MB_DEFBUTTON2) ? IDNO : IDYES;
}

// Setting a control's text, as the system does it: an edit control's caret goes back to the start.
void SetText(FWindow* Window, const char16_t* Text)
{
    Window->Text = Text;
    Window->SelStart = 0;
    Window->SelEnd = 0;
}

// Distinct non-null handles for icon resources.
void* IconHandle(int32_t ResourceId)
{
    static char Icons[4096];
    return ResourceId > 0 && ResourceId < 4096 ? &Icons[ResourceId] : nullptr;
}
} // namespace

// ---- Window services ------------------------------------------------------------------------------------------

bool CWnd::EnableWindow(bool bEnable)
{
    FWindow* Window = AsWindow(m_hWnd);
    const bool bWasDisabled = !Window->bEnabled;
    Window->bEnabled = bEnable;
    return bWasDisabled;
}

bool CWnd::IsWindowEnabled() const
{
    return AsWindow(m_hWnd)->bEnabled;
}

bool CWnd::ShowWindow(int32_t Cmd)
{
    FWindow* Window = AsWindow(m_hWnd);
    const bool bWasVisible = Window->bVisible;
    Window->bVisible = Cmd != SW_HIDE;
    return bWasVisible;
}

bool CWnd::IsWindowVisible() const
{
    for (const FWindow* Window = AsWindow(m_hWnd); Window; Window = Window->Owner ? nullptr : Window->Parent)
        if (!Window->bVisible)
            return false;
    return true;
}

bool CWnd::IsIconic() const
{
    return AsWindow(m_hWnd)->bIconic;
}

void CWnd::SetWindowText(const char16_t* Text)
{
    SetText(AsWindow(m_hWnd), Text);
}

FString CWnd::GetWindowText() const
{
    return AsWindow(m_hWnd)->Text;
}

FString CWnd::GetDlgItemText(int32_t Id) const
{
    FWindow* Child = FindChild(AsWindow(m_hWnd), Id);
    return Child ? Child->Text : FString();
}

void CWnd::SetDlgItemText(int32_t Id, const char16_t* Text)
{
    if (FWindow* Child = FindChild(AsWindow(m_hWnd), Id))
        SetText(Child, Text);
}

uint32_t CWnd::IsDlgButtonChecked(int32_t Id) const
{
    FWindow* Child = FindChild(AsWindow(m_hWnd), Id);
    return Child && Child->bChecked ? BST_CHECKED : BST_UNCHECKED;
}

void CWnd::CheckDlgButton(int32_t Id, uint32_t Check)
{
    if (FWindow* Child = FindChild(AsWindow(m_hWnd), Id))
        Child->bChecked = Check == BST_CHECKED;
}

void CWnd::SetFocus()
{
    FWindow* Window = AsWindow(m_hWnd);
    if (Window->Parent && !Window->Owner)
        Window->Parent->FocusId = Window->Id;
}

void* CWnd::GetDlgItemHandle(int32_t Id) const
{
    return FindChild(AsWindow(m_hWnd), Id);
}

uintptr_t CWnd::SetTimer(uintptr_t Id, uint32_t Elapse)
{
    FWindow* Window = AsWindow(m_hWnd);
    const double Due = appSeconds() + Elapse * 0.001;
    for (FTimer& Timer : Window->Timers)
        if (Timer.Id == Id)
        {
            Timer.Period = Elapse;
            Timer.Due = Due;
            return Id;
        }
    Window->Timers.AddItem(FTimer{Id, Elapse, Due});
    return Id;
}

bool CWnd::KillTimer(uintptr_t Id)
{
    FWindow* Window = AsWindow(m_hWnd);
    for (int32_t i = 0; i < Window->Timers.Num(); ++i)
        if (Window->Timers[i].Id == Id)
        {
            Window->Timers.Remove(i);
            return true;
        }
    return false;
}

bool CWnd::PostMessage(uint32_t Message, uintptr_t WParam, intptr_t LParam)
{
    if (!m_hWnd)
        return false;
    State().Queue.AddItem(FPosted{AsWindow(m_hWnd), Message, WParam, LParam});
    return true;
}

intptr_t CWnd::SendMessage(uint32_t Message, uintptr_t WParam, intptr_t LParam)
{
    return Dispatch(AsWindow(m_hWnd), Message, WParam, LParam);
}

int32_t CWnd::MessageBox(const char16_t* Text, const char16_t* Caption, uint32_t Type)
{
    return ShowMessageBox(Text, Caption ? Caption : *AfxGetAppName(), Type);
}

CMenu* CWnd::GetSystemMenu(bool)
{
    FWindow* Window = AsWindow(m_hWnd);
    if (!Window->bHasSysMenu)
        return nullptr;
    m_SystemMenu.m_hMenu = Window;
    return &m_SystemMenu;
}

bool CMenu::AppendMenu(uint32_t Flags, uintptr_t IdNewItem, const char16_t* NewItem)
{
    if (!m_hMenu)
        return false;
    AsWindow(m_hMenu)->SystemMenu.AddItem(FMenuItem{Flags, IdNewItem, FString(NewItem)});
    return true;
}

void* CWnd::SetIcon(void* Icon, bool bBigIcon)
{
    return reinterpret_cast<void*>(
        SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<intptr_t>(Icon)));
}

void CWnd::PaintIconic(void*)
{
    SendMessage(WM_ICONERASEBKGND, 0, 0);
}

bool CWnd::DestroyWindow()
{
    FWindow* Window = AsWindow(m_hWnd);
    if (!Window)
        return false;
    DetachWindow();
    DeleteWindow(Window);
    return true;
}

// ---- Dialogs and the application ---------------------------------------------------------------------------------

bool CDialog::Create(int32_t TemplateId, CWnd* ParentWnd)
{
    m_nIDTemplate = TemplateId;
    FWindow* Window = MakeDialog(*this, TemplateId, GetOwnerForCreate(ParentWnd));
    if (!Window)
        return false;
    HandleInitDialog(Window);
    return true;
}

intptr_t CDialog::DoModal()
{
    FWindow* Window = MakeDialog(*this, m_nIDTemplate, GetOwnerForCreate(m_pParentWnd));
    if (!Window)
        return -1;
    Window->bModal = true;
    Window->bVisible = true;
    HandleInitDialog(Window);
    FState& S = State();
    while (IsLive(Window) && !Window->bEnded)
    {
        if (S.Queue.Num() > 0)
            DeliverOne();
        else if (S.IdleHook)
            S.IdleHook();
        else
        {
            UiHeadless::FireDueTimers();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    const intptr_t Result = IsLive(Window) ? Window->EndResult : -1;
    DestroyWindow();
    return Result;
}

void CDialog::EndDialog(intptr_t Result)
{
    FWindow* Window = AsWindow(m_hWnd);
    Window->bEnded = true;
    Window->EndResult = Result;
    if (!Window->bModal)
        Window->bVisible = false;
}

void* CWinApp::LoadIcon(int32_t ResourceId) const
{
    return Script().HasIcon(ResourceId) ? IconHandle(ResourceId) : nullptr;
}

int32_t AfxMessageBox(const char16_t* Text, uint32_t Type)
{
    if ((Type & 0xF0) == 0)
        Type |= MB_ICONEXCLAMATION;
    return ShowMessageBox(Text, *AfxGetAppName(), Type);
}

bool AfxInitCommonControls(uint32_t)
{
    return true;
}

bool AfxLoadString(int32_t Id, FString& Out)
{
    return Script().FindString(Id, Out);
}

bool AfxPickFolder(CWnd*, const char16_t*, const FString& StartFolder, FString& Picked)
{
    FState& S = State();
    S.PickerStart = StartFolder.IsEmpty() ? FString(u"(none)") : StartFolder;
    if (S.PickerAnswer.IsEmpty())
        return false;
    Picked = S.PickerAnswer;
    return true;
}

bool AfxOpenDocument(const FString& Path, uint32_t& Error)
{
    State().Opened.AddItem(Path);
    Error = State().OpenError;
    return Error == 0;
}

// ---- The tests' side -----------------------------------------------------------------------------------------------

namespace UiHeadless
{
void PumpMessages()
{
    while (State().Queue.Num() > 0)
        DeliverOne();
}

bool ClickButton(CWnd& Dialog, int32_t Id)
{
    FWindow* Window = AsWindow(Dialog.m_hWnd);
    FWindow* Button = FindChild(Window, Id);
    if (!Button || !Button->bEnabled || !Button->bVisible || !Window->bVisible)
        return false;
    if (Button->bAutoCheck)
        Button->bChecked = !Button->bChecked;
    Dispatch(Window, WM_COMMAND, (uintptr_t(BN_CLICKED) << 16) | uint16_t(Id), reinterpret_cast<intptr_t>(Button));
    return true;
}

bool SelectItem(CWnd& Dialog, int32_t Id, int32_t Index)
{
    FWindow* Window = AsWindow(Dialog.m_hWnd);
    FWindow* List = FindChild(Window, Id);
    if (!List || !List->bEnabled || !List->bVisible || !Window->bVisible || Index < 0 || Index >= List->Items.Num())
        return false;
    DefaultProcessing(List, CB_SETCURSEL, uintptr_t(Index), 0);
    Dispatch(Window, WM_COMMAND, (uintptr_t(CBN_SELCHANGE) << 16) | uint16_t(Id), reinterpret_cast<intptr_t>(List));
    return true;
}

bool FireTimer(CWnd& Window, uintptr_t Id)
{
    if (!TimerPeriod(Window, Id))
        return false;
    Dispatch(AsWindow(Window.m_hWnd), WM_TIMER, Id, 0);
    return true;
}

uint32_t TimerPeriod(CWnd& Window, uintptr_t Id)
{
    if (!Window.m_hWnd)
        return 0;
    for (const FTimer& Timer : AsWindow(Window.m_hWnd)->Timers)
        if (Timer.Id == Id)
            return Timer.Period;
    return 0;
}

void TypeAtCaret(CWnd& Dialog, int32_t Id, const char16_t* Text)
{
    FWindow* Edit = ChildOf(Dialog, Id);
    const FString Typed(Text);
    Edit->Text = Edit->Text.Left(Edit->SelStart) + Typed + Edit->Text.Mid(Edit->SelEnd);
    Edit->SelStart = Edit->SelEnd = Edit->SelStart + Typed.Len();
    Dispatch(AsWindow(Dialog.m_hWnd), WM_COMMAND, (uintptr_t(EN_CHANGE) << 16) | uint16_t(Id),
             reinterpret_cast<intptr_t>(Edit));
}

void TypeText(CWnd& Dialog, int32_t Id, const char16_t* Text)
{
    FWindow* Edit = ChildOf(Dialog, Id);
    Edit->SelStart = 0;
    Edit->SelEnd = Edit->Text.Len();
    TypeAtCaret(Dialog, Id, Text);
}

void EditSelection(CWnd& Dialog, int32_t Id, int32_t& Start, int32_t& End)
{
    const FWindow* Edit = ChildOf(Dialog, Id);
    Start = Edit->SelStart;
    End = Edit->SelEnd;
}

FString ControlText(CWnd& Dialog, int32_t Id)
{
    return ChildOf(Dialog, Id)->Text;
}

bool IsControlEnabled(CWnd& Dialog, int32_t Id)
{
    return ChildOf(Dialog, Id)->bEnabled;
}

int32_t FocusId(CWnd& Dialog)
{
    return AsWindow(Dialog.m_hWnd)->FocusId;
}

void ProgressState(CWnd& Dialog, int32_t Id, int32_t& Low, int32_t& High, int32_t& Pos)
{
    const FWindow* Bar = ChildOf(Dialog, Id);
    Low = Bar->RangeLow;
    High = Bar->RangeHigh;
    Pos = Bar->Pos;
}

FString WindowCaption(CWnd& Window)
{
    return AsWindow(Window.m_hWnd)->Text;
}

void* WindowIcon(CWnd& Window, bool bBig)
{
    return bBig ? AsWindow(Window.m_hWnd)->BigIcon : AsWindow(Window.m_hWnd)->SmallIcon;
}

bool IsEnded(CWnd& Dialog, intptr_t* Result)
{
    const FWindow* Window = AsWindow(Dialog.m_hWnd);
    if (!Window || !Window->bEnded)
        return false;
    if (Result)
        *Result = Window->EndResult;
    return true;
}

TDynArray<FString> SystemMenuItems(CWnd& Window)
{
    TDynArray<FString> Items;
    for (const FMenuItem& Item : AsWindow(Window.m_hWnd)->SystemMenu)
        Items.AddItem((Item.Flags & MF_SEPARATOR) ? FString(u"-") : Item.Text);
    return Items;
}

const TDynArray<FShownMessageBox>& ShownMessageBoxes()
{
    return State().MessageBoxes;
}

void ClearMessageBoxes()
{
    State().MessageBoxes.Empty();
    State().QueuedAnswers.Empty();
}

void AnswerMessageBoxes(int32_t Answer)
{
    State().BoxAnswer = Answer;
}

void QueueMessageBoxAnswers(std::initializer_list<int32_t> Answers)
{
    for (int32_t Answer : Answers)
        State().QueuedAnswers.AddItem(Answer);
}

void ScriptFolderPicker(const FString& Picked)
{
    State().PickerAnswer = Picked;
    State().PickerStart.Empty();
}

FString FolderPickerStart()
{
    return State().PickerStart;
}

const TDynArray<FString>& OpenedDocuments()
{
    return State().Opened;
}

void ClearOpenedDocuments()
{
    State().Opened.Empty();
}

void FailOpenDocuments(uint32_t Error)
{
    State().OpenError = Error;
}

void FailDialogCreation(int32_t TemplateId)
{
    State().FailingTemplate = TemplateId;
}

void SetIdleHook(FIdleHook Hook)
{
    State().IdleHook = Hook;
}

void FireDueTimers()
{
    const double Now = appSeconds();
    // A handler may make or destroy windows: collect first, then check each one is still there.
    struct FDue
    {
        FWindow* Window;
        uintptr_t Id;
    };
    TDynArray<FDue> Due;
    for (FWindow* Window : State().Dialogs)
        for (FTimer& Timer : Window->Timers)
            if (Timer.Due <= Now)
            {
                Timer.Due = Now + Timer.Period * 0.001;
                Due.AddItem(FDue{Window, Timer.Id});
            }
    for (const FDue& Item : Due)
        if (IsLive(Item.Window))
            Dispatch(Item.Window, WM_TIMER, Item.Id, 0);
}
} // namespace UiHeadless
