// The progress window of a running shrink.
#include "app/ProgressDlg.h"

BEGIN_MESSAGE_MAP(CProgressDlg, CDialog)
ON_BN_CLICKED(IDC_CANCEL_SHRINK, OnCancelButton)
END_MESSAGE_MAP()

CProgressDlg::CProgressDlg() : CDialog(IDD_PROGRESS, nullptr), m_bCancel(0) {}

void CProgressDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROGRESS, m_Progress);
    DDX_Text(pDX, IDC_PROGRESS_TEXT, m_strText);
    DDX_Text(pDX, IDC_PROGRESS_DETAIL, m_strDetail);
}

void CProgressDlg::OnCancelButton()
{
    m_bCancel = 1;
}

void CProgressDlg::OnCancel() {}

void CProgressDlg::ShowProgress(int32_t Progress, const FString& Text, const FString& Detail)
{
    if (!m_hWnd && !Create(IDD_PROGRESS, nullptr))
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
