// The progress window of a running shrink: a bar from 0 to 100, the text "42/100", a line under the bar with the
// archive, the megabytes done and the time left, and a Cancel button whose press the main dialog hands on to the
// engine.
#pragma once

#include "app/resource.h"
#include "app/ui/UiFramework.h"

class CProgressDlg : public CDialog
{
public:
    // No window yet: ShowProgress makes it on first use, owned by Owner. A press of Cancel is told to Owner at
    // once, as the command IDC_CANCEL_SHRINK (WM_COMMAND, sent), besides being kept in m_bCancel.
    explicit CProgressDlg(CWnd* Owner = nullptr);

    // Makes the window (modeless) when there is none yet, shows it when hidden, then SetProgress. When the
    // window cannot be made, says "Error creating Dialog" and returns.
    void ShowProgress(int32_t Progress, const FString& Text, const FString& Detail = FString());
    // Sets the bar to Progress (range 0 to 100), the text and the line under the bar.
    void SetProgress(int32_t Progress, const FString& Text, const FString& Detail = FString());

    const char16_t* GetRuntimeClassName() const
    {
        return u"CProgressDlg";
    }

    CProgressCtrl m_Progress;
    FString m_strText;
    FString m_strDetail;
    // Cancel was pressed and the main dialog has not taken it back yet.
    int32_t m_bCancel;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnCancelButton();
    // Esc: the window stays while the shrink runs; only the Cancel button cancels.
    void OnCancel() override;

    DECLARE_MESSAGE_MAP()
};
