// The About box, opened from the main dialog's system menu.
#pragma once

#include "app/resource.h"
#include "app/ui/UiFramework.h"

class CAboutDlg : public CDialog
{
public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};
