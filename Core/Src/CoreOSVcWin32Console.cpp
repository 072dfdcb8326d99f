// The operating-system layer on Win32: consoles and the keyboard interrupt.
#include "Core/Inc/CoreOS.h"

#include <atomic>
#include <windows.h>

namespace
{
std::atomic<CoreOS::FInterruptHandler> GInterruptHandler{nullptr};

// Runs on a thread the system starts for the event. TRUE: handled, the process goes on.
BOOL WINAPI OnConsoleCtrl(DWORD Event)
{
    if (Event != CTRL_C_EVENT && Event != CTRL_BREAK_EVENT)
        return FALSE;
    CoreOS::FInterruptHandler Handler = GInterruptHandler.load();
    if (!Handler)
        return FALSE;
    Handler();
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
} // namespace CoreOS
