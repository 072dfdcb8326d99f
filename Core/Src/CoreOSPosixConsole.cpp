// The operating-system layer on POSIX: terminals and the signals that ask a command to stop.
#include "Core/Inc/CoreOS.h"

#include <atomic>
#include <csignal>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

#include "Core/Inc/CoreUtf8.h"
#include "Core/Src/CoreOSNative.h"

namespace
{
std::atomic<CoreOS::FInterruptHandler> GInterruptHandler{nullptr};
static_assert(std::atomic<CoreOS::FInterruptHandler>::is_always_lock_free, "read in a signal handler");

const struct
{
    int Signal;
    CoreOS::EInterrupt Interrupt;
} InterruptSignals[] = {
    {SIGINT, CoreOS::INTERRUPT_Keyboard},
    {SIGTERM, CoreOS::INTERRUPT_Terminate},
    {SIGHUP, CoreOS::INTERRUPT_Hangup},
};

void OnSignal(int Signal)
{
    CoreOS::FInterruptHandler Handler = GInterruptHandler.load();
    for (const auto& Entry : InterruptSignals)
        if (Handler && Entry.Signal == Signal)
            Handler(Entry.Interrupt);
}

int StreamFd(int32_t Stream)
{
    return Stream == 2 ? STDERR_FILENO : STDOUT_FILENO;
}
} // namespace

namespace CoreOS
{
bool IsTerminal(int32_t Stream)
{
    return isatty(StreamFd(Stream)) == 1;
}

int32_t TerminalWidth(int32_t Stream)
{
    winsize Size = {};
    if (!IsTerminal(Stream) || ioctl(StreamFd(Stream), TIOCGWINSZ, &Size) != 0)
        return 0;
    return Size.ws_col;
}

void SetInterruptHandler(FInterruptHandler Handler)
{
    GInterruptHandler.store(Handler);
    struct sigaction Action = {};
    Action.sa_handler = Handler ? &OnSignal : SIG_DFL;
    sigemptyset(&Action.sa_mask);
    // Calls blocked in the system (a sleep, a read) go on after the handler; the caller polls its flag.
    Action.sa_flags = SA_RESTART;
    for (const auto& Entry : InterruptSignals)
        sigaction(Entry.Signal, &Action, nullptr);
}

bool HasRegistry()
{
    return false;
}

ESizeUnits SizeUnits()
{
    return SIZEUNITS_Decimal;
}

int32_t UserConfigDir(char16_t* Dest, int32_t Capacity)
{
    const char* Config = getenv("XDG_CONFIG_HOME");
    const char* Home = getenv("HOME");
    std::string Dir;
    if (Config && Config[0] == '/')
        Dir = Config;
    else if (Home && Home[0] == '/')
        Dir = std::string(Home) + "/.config";
    return Native::CopyText(appUtf8ToUtf16(Dir.c_str()).c_str(), Dest, Capacity);
}
} // namespace CoreOS
