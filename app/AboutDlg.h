// The About box, opened from the main dialog's system menu.
#pragma once

#include "app/resource.h"
#include "app/ui/UiFramework.h"

class CAboutDlg : public CDialog
{
public:
    // LogPath: where the main dialog keeps its log (empty while it keeps none).
    explicit CAboutDlg(const FString& LogPath = FString()) : CDialog(IDD_ABOUTBOX), m_strLogPath(LogPath) {}

    // Under the box's own texts, the release the program was built as ("Release 1.03.1"), and where the log is, in
    // a box whose text can be selected and copied.
    bool OnInitDialog() override
    {
        CDialog::OnInitDialog();
        SetDlgItemText(IDC_ABOUT_RELEASE, *FString::Printf(u"Release %hs", PELLMOR_VERSION));
        SetDlgItemText(IDC_ABOUT_LOG, m_strLogPath.IsEmpty() ? u"(no log: neither this program's folder nor the "
                                                               u"temporary folder takes one)"
                                                             : *m_strLogPath);
        return true;
    }

    FString m_strLogPath;
};
