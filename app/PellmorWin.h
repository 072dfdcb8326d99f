// The application object of PellmorWin.exe and its command line.
#pragma once

#include "app/ui/UiFramework.h"

// The command line: "/s" asks for an automatic shrink, "/u" for an automatic restore (see ParseParam).
class CMyCommandLineInfo : public CCommandLineInfo
{
public:
    CMyCommandLineInfo();
    // "s" selects the shrink and "u" the restore (ASCII case ignored), each setting both fields, so the last of
    // them decides. Any other flag is kept in UnknownFlag (the first one, with a "/"). Other arguments are ignored.
    void ParseParam(const char16_t* Param, bool bFlag, bool bLast) override;

    int32_t bAutoShrink;
    int32_t bAutoUnshrink;
    FString UnknownFlag;
};

class CPellmorWinApp : public CWinApp
{
public:
    // Starts the Core, reads the command line and runs the main dialog until it closes, keeping the dialog's
    // exit code. An unknown flag is said in a message box instead, and ends the program with EXIT_BadFlag.
    // Always false: the program then ends without a message loop of its own.
    bool InitInstance() override;
    // Shuts the Core down; returns the exit code (see CPellmorWinDlg::EExitCode).
    int32_t ExitInstance() override;
};

extern CPellmorWinApp theApp;
