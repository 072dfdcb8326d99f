// The operating-system layer on Win32: consoles, Ctrl-C and a console window closed.
#include "Core/Inc/CoreOS.h"

#include <atomic>
#include <windows.h>

namespace
{
std::atomic<CoreOS::FInterruptHandler> GInterruptHandler{nullptr};

// Runs on a thread the system starts for the event. TRUE: handled, the process goes on (but for a closed window).
BOOL WINAPI OnConsoleCtrl(DWORD Event)
{
    const bool bClosed = Event == CTRL_CLOSE_EVENT;
    if (Event != CTRL_C_EVENT && Event != CTRL_BREAK_EVENT && !bClosed)
        return FALSE;
    CoreOS::FInterruptHandler Handler = GInterruptHandler.load();
    if (!Handler)
        return FALSE;
    Handler(bClosed ? CoreOS::INTERRUPT_Hangup : CoreOS::INTERRUPT_Keyboard);
    // The process ends as soon as this returns: the main thread cancels and exits meanwhile, which ends this
    // thread too; the system ends the process after its own few seconds otherwise.
    if (bClosed)
        Sleep(INFINITE);
    return TRUE;
}

HANDLE StreamHandle(int32_t Stream)
{
    return GetStdHandle(Stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}
} // namespace

namespace CoreOS
{
bool IsTerminal(int32_t Stream)
{
    DWORD Mode = 0;
    const HANDLE Handle = StreamHandle(Stream);
    return Handle && Handle != INVALID_HANDLE_VALUE && GetConsoleMode(Handle, &Mode) != 0;
}

int32_t TerminalWidth(int32_t Stream)
{
    CONSOLE_SCREEN_BUFFER_INFO Info = {};
    if (!IsTerminal(Stream) || !GetConsoleScreenBufferInfo(StreamHandle(Stream), &Info))
        return 0;
    return Info.srWindow.Right - Info.srWindow.Left + 1;
}

void SetInterruptHandler(FInterruptHandler Handler)
{
    const bool bWasSet = GInterruptHandler.exchange(Handler) != nullptr;
    if (Handler && !bWasSet)
        SetConsoleCtrlHandler(&OnConsoleCtrl, TRUE);
    else if (!Handler && bWasSet)
        SetConsoleCtrlHandler(&OnConsoleCtrl, FALSE);
}

bool HasRegistry()
{
    return true;
}

ESizeUnits SizeUnits()
{
    return SIZEUNITS_Explorer;
}

int32_t UserConfigDir(char16_t* Dest, int32_t Capacity)
{
    if (Capacity > 0)
        Dest[0] = 0;
    return 0;
}
} // namespace CoreOS
