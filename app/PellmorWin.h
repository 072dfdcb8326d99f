// The application object of PellmorWin.exe and its command line.
#pragma once

#include "app/ui/UiFramework.h"

// The command line: "/s" asks for an automatic shrink, "/u" for an automatic restore (see ParseParam).
class CMyCommandLineInfo : public CCommandLineInfo
{
public:
    CMyCommandLineInfo();
    // Every flag sets both fields, so the last flag decides: "s" selects the shrink, "u" the restore (ASCII
    // case ignored), anything else neither. Other arguments are ignored.
    void ParseParam(const char16_t* Param, bool bFlag, bool bLast) override;

    int32_t bAutoShrink;
    int32_t bAutoUnshrink;
};

class CPellmorWinApp : public CWinApp
{
public:
    // Starts the Core, reads the command line and runs the main dialog until it closes, keeping the dialog's
    // exit code. Always false: the program then ends without a message loop of its own.
    bool InitInstance() override;
    // Shuts the Core down; returns the exit code (see CPellmorWinDlg::EExitCode).
    int32_t ExitInstance() override;
};

extern CPellmorWinApp theApp;
