// The About box, opened from the main dialog's system menu.
#pragma once

#include "app/resource.h"
#include "app/ui/UiFramework.h"

class CAboutDlg : public CDialog
{
public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

    // Under the box's own texts, the release the program was built as: "Release 1.03.1".
    bool OnInitDialog() override
    {
        CDialog::OnInitDialog();
        SetDlgItemText(IDC_ABOUT_RELEASE, *FString::Printf(u"Release %hs", PELLMOR_VERSION));
        return true;
    }
};
