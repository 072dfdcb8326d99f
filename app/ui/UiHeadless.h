// What the tests do with the headless back end: the user's actions (a click, typing, a timer going off),
// what the user would see (control texts, enabled buttons, message boxes), and the delivery of posted
// messages. Windows are made from the dialogs of PellmorWin.rc, read from the script the program is built from.
// Single-threaded, like the framework itself.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "Core/Inc/Core.h"
#include "app/ui/UiFramework.h"

namespace UiHeadless
{
// Delivers the posted messages, oldest first, until none is left (also the ones posted meanwhile).
void PumpMessages();

// A click on the dialog's button: WM_COMMAND with BN_CLICKED, as the system sends it (an automatic check box
// turns its check on or off first). False, and nothing happens, when the button is missing, disabled or hidden.
bool ClickButton(CWnd& Dialog, int32_t Id);
// The user picks item Index of drop-down list Id: it is selected, then the dialog gets CBN_SELCHANGE, as from the
// system. False, and nothing happens, when the list is missing, disabled or hidden, or has no such item.
bool SelectItem(CWnd& Dialog, int32_t Id, int32_t Index);
// Sends WM_TIMER for a running timer of the window. False when that timer does not run.
bool FireTimer(CWnd& Window, uintptr_t Id);
// The period of a running timer in milliseconds, 0 when it does not run.
uint32_t TimerPeriod(CWnd& Window, uintptr_t Id);
// The user types into an edit control: TypeText selects the whole text first and so replaces it, TypeAtCaret
// replaces the selection (inserts at the caret). The caret ends after the typed text, and the dialog gets
// EN_CHANGE, as from the system.
void TypeText(CWnd& Dialog, int32_t Id, const char16_t* Text);
void TypeAtCaret(CWnd& Dialog, int32_t Id, const char16_t* Text);
// An edit control's selection; both are the caret's place when nothing is selected. Setting the text from the
// program puts the caret at the start, as the system's edit control does.
void EditSelection(CWnd& Dialog, int32_t Id, int32_t& Start, int32_t& End);

FString ControlText(CWnd& Dialog, int32_t Id);
bool IsControlEnabled(CWnd& Dialog, int32_t Id);
// The id of the control with the focus, 0 when none has it.
int32_t FocusId(CWnd& Dialog);
// A progress bar's range and position.
void ProgressState(CWnd& Dialog, int32_t Id, int32_t& Low, int32_t& High, int32_t& Pos);
FString WindowCaption(CWnd& Window);
void* WindowIcon(CWnd& Window, bool bBig);

// Whether EndDialog was called for the dialog's window (with *Result its value).
bool IsEnded(CWnd& Dialog, intptr_t* Result = nullptr);

// The texts of the system menu's items; a separator reads as "-".
TDynArray<FString> SystemMenuItems(CWnd& Window);

// Every message box shown so far (AfxMessageBox and CWnd::MessageBox). A box with OK is answered with IDOK; one
// that asks Yes or No with the next of QueueMessageBoxAnswers' answers while there is one, else with
// AnswerMessageBoxes' answer, or while there is none (0, at the start) with its default button, as when the user
// presses Enter.
struct FShownMessageBox
{
    FString Caption;
    FString Text;
    uint32_t Type;
};
const TDynArray<FShownMessageBox>& ShownMessageBoxes();
void ClearMessageBoxes();
void AnswerMessageBoxes(int32_t Answer);
// The answers of the next questions, one each, in order (ClearMessageBoxes drops those not given).
void QueueMessageBoxAnswers(std::initializer_list<int32_t> Answers);

// The folder pickers shown from now on (AfxPickFolder) answer with Picked, as when the user chose that folder;
// an empty text is the user cancelling, which they do until told otherwise. Each records the folder it opened in.
void ScriptFolderPicker(const FString& Picked);
// The folder the last picker shown since ScriptFolderPicker opened in; empty when none was shown.
FString FolderPickerStart();

// The documents opened so far (AfxOpenDocument), in order. Each opening succeeds, unless FailOpenDocuments gave
// an error number: from then on each fails with it, as when no program is registered for the file (0 lifts it).
const TDynArray<FString>& OpenedDocuments();
void ClearOpenedDocuments();
void FailOpenDocuments(uint32_t Error);

// Makes Create and DoModal fail for dialogs of this template (0 lifts it), as when a window cannot be made.
void FailDialogCreation(int32_t TemplateId);

// DoModal's loop calls this whenever no message is waiting. Null restores the default: timers that are due on
// the Core's clock go off, then the loop sleeps a millisecond.
typedef void (*FIdleHook)();
void SetIdleHook(FIdleHook Hook);
// Sends WM_TIMER for every timer that is due on the Core's clock.
void FireDueTimers();
} // namespace UiHeadless
