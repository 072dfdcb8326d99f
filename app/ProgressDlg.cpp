// The progress window of a running shrink.
#include "app/ProgressDlg.h"

BEGIN_MESSAGE_MAP(CProgressDlg, CDialog)
ON_BN_CLICKED(IDC_CANCEL_SHRINK, OnCancelButton)
END_MESSAGE_MAP()

CProgressDlg::CProgressDlg(CWnd* Owner) : CDialog(IDD_PROGRESS, Owner), m_bCancel(0) {}

void CProgressDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROGRESS, m_Progress);
    DDX_Text(pDX, IDC_PROGRESS_TEXT, m_strText);
    DDX_Text(pDX, IDC_PROGRESS_DETAIL, m_strDetail);
}

void CProgressDlg::OnCancelButton()
{
    // The owner hands it to the engine now rather than on its next tick, a second away: the shrink stops as
    // soon as pellmor's does on Ctrl-C.
    m_bCancel = 1;
    if (m_pParentWnd && m_pParentWnd->m_hWnd)
        m_pParentWnd->SendMessage(WM_COMMAND, IDC_CANCEL_SHRINK, 0);
}

void CProgressDlg::OnCancel() {}

void CProgressDlg::ShowProgress(int32_t Progress, const FString& Text, const FString& Detail)
{
    if (!m_hWnd && !Create(IDD_PROGRESS, m_pParentWnd))
    {
        AfxMessageBox(u"Error creating Dialog");
        return;
    }
    if (!IsWindowVisible())
        ShowWindow(SW_SHOW);
    SetProgress(Progress, Text, Detail);
}

void CProgressDlg::SetProgress(int32_t Progress, const FString& Text, const FString& Detail)
{
    m_Progress.SetRange(0, 100);
    m_Progress.SetPos(Progress);
    UpdateData(true);
    m_strText = Text;
    m_strDetail = Detail;
    UpdateData(false);
}
