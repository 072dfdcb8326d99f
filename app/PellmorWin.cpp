// The application: Core start-up, the command line, the main dialog, Core shut-down.
#include "app/PellmorWin.h"

#include "app/PellmorWinAdvice.h"
#include "app/PellmorWinDlg.h"

CPellmorWinApp theApp;

CMyCommandLineInfo::CMyCommandLineInfo() : bAutoShrink(0), bAutoUnshrink(0)
{
    m_nShellCommand = FileNothing;
}

void CMyCommandLineInfo::ParseParam(const char16_t* Param, bool bFlag, bool)
{
    if (!bFlag)
        return;
    const bool bShrink = appStricmp(Param, u"s") == 0;
    const bool bRestore = appStricmp(Param, u"u") == 0;
    if (bShrink || bRestore)
    {
        bAutoShrink = bShrink ? 1 : 0;
        bAutoUnshrink = bRestore ? 1 : 0;
    }
    else if (UnknownFlag.IsEmpty())
        UnknownFlag = FString(u"/") + Param;
}

bool CPellmorWinApp::InitInstance()
{
    GEnsureCoreInited();

    // Common controls 6 (the manifest asks for them) draw the progress bar; 0xFF names every class of theirs.
    AfxInitCommonControls(0xFF);

    CWinApp::InitInstance();
    SetRegistryKey(u"Local AppWizard-Generated Applications");

    CMyCommandLineInfo CmdInfo;
    ParseCommandLine(CmdInfo);
    if (!ProcessShellCommand(CmdInfo))
        return false;
    // A script that asked for something else learns so, and nothing is done.
    if (!CmdInfo.UnknownFlag.IsEmpty())
    {
        AfxMessageBox(*DescribeUnknownFlag(CmdInfo.UnknownFlag));
        m_nExitCode = CPellmorWinDlg::EXIT_BadFlag;
        return false;
    }

    CPellmorWinDlg* Dlg = new CPellmorWinDlg;
    Dlg->bAutoShrink = CmdInfo.bAutoShrink;
    Dlg->bAutoUnshrink = CmdInfo.bAutoUnshrink;
    m_pMainWnd = Dlg;
    Dlg->DoModal();
    m_pMainWnd = nullptr;
    // An automatic run tells its caller how it went; ExitInstance hands this on as the process's exit code.
    m_nExitCode = Dlg->ExitCode;
    delete Dlg;
    return false;
}

int32_t CPellmorWinApp::ExitInstance()
{
    const int32_t Result = CWinApp::ExitInstance();
    GShutdownCore();
    return Result;
}
