// The operating-system layer on Win32: files, clock, debug channel, message box and text conversion.
#include "Core/Inc/CoreOS.h"
#include "Core/Src/CoreOSNative.h"

#include <cstdlib>
#include <cstring>
#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>

namespace
{
inline const wchar_t* W(const char16_t* Text)
{
    return reinterpret_cast<const wchar_t*>(Text);
}
} // namespace

namespace CoreOS
{
void Native::DebugOutput(const char16_t* Text)
{
    OutputDebugStringW(W(Text));
    // A console program traced by the user also shows the lines on its standard error.
    if (TraceEnabled())
    {
        HANDLE Err = GetStdHandle(STD_ERROR_HANDLE);
        if (Err && Err != INVALID_HANDLE_VALUE)
        {
            int Len = WideCharToMultiByte(CP_UTF8, 0, W(Text), -1, nullptr, 0, nullptr, nullptr);
            if (Len > 1)
            {
                char* Buf = static_cast<char*>(std::malloc(size_t(Len) + 1));
                WideCharToMultiByte(CP_UTF8, 0, W(Text), -1, Buf, Len, nullptr, nullptr);
                DWORD Size = DWORD(Len - 1);
                bool bNewLine = Buf[Size - 1] == '\n';
                if (!bNewLine)
                    Buf[Size++] = '\n';
                DWORD Written = 0;
                WriteFile(Err, Buf, Size, &Written, nullptr);
                std::free(Buf);
            }
        }
    }
}

void Native::FatalMessage(const char16_t* Caption, const char16_t* Text)
{
    // Task-modal with the stop icon (MB_TASKMODAL | MB_ICONHAND).
    MessageBoxW(nullptr, W(Text), W(Caption), 0x2010);
}

void ExitProcess(int32_t Code)
{
    ::ExitProcess(UINT(Code));
}

bool IsDebuggerAttached()
{
    // Only the NT family has IsDebuggerPresent; it is looked up at the call so that the check costs nothing
    // where it cannot answer.
    OSVERSIONINFOW Version;
    std::memset(&Version, 0, sizeof(Version));
    Version.dwOSVersionInfoSize = sizeof(Version);
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    BOOL bGot = GetVersionExW(&Version);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (!bGot || Version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return false;
    HMODULE Kernel = LoadLibraryExW(L"kernel32.dll", nullptr, 0);
    if (!Kernel)
        return false;
    typedef BOOL(WINAPI * FIsDebuggerPresent)();
    FIsDebuggerPresent Proc =
        reinterpret_cast<FIsDebuggerPresent>(reinterpret_cast<void*>(GetProcAddress(Kernel, "IsDebuggerPresent")));
    bool bPresent = Proc && Proc() != 0;
    ::FreeLibrary(Kernel);
    return bPresent;
}

void BreakDebugger()
{
    DebugBreak();
}

int32_t ModuleFileName(char16_t* Dest, int32_t Capacity)
{
    if (Capacity <= 0)
        return 0;
    DWORD Len = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(Dest), DWORD(Capacity));
    if (Len >= DWORD(Capacity))
        Len = DWORD(Capacity - 1);
    Dest[Len] = 0;
    return int32_t(Len);
}

uint32_t Native::GetTickMs()
{
    return timeGetTime();
}

void TimeBeginPeriod()
{
    timeBeginPeriod(1);
}

void TimeEndPeriod()
{
    timeEndPeriod(1);
}

void GetLocalTime(FLocalTime& Out)
{
    SYSTEMTIME Now;
    ::GetLocalTime(&Now);
    Out.Year = Now.wYear;
    Out.Month = Now.wMonth;
    Out.DayOfWeek = Now.wDayOfWeek;
    Out.Day = Now.wDay;
    Out.Hour = Now.wHour;
    Out.Minute = Now.wMinute;
    Out.Second = Now.wSecond;
    Out.Milliseconds = Now.wMilliseconds;
}

int32_t AnsiToWideLength(const char* Source)
{
    return MultiByteToWideChar(CP_ACP, 0, Source, -1, nullptr, 0);
}

int32_t AnsiToWide(const char* Source, char16_t* Dest, int32_t Capacity)
{
    return MultiByteToWideChar(CP_ACP, 0, Source, -1, reinterpret_cast<wchar_t*>(Dest), Capacity);
}

int32_t WideToAnsiLength(const char16_t* Source)
{
    return WideCharToMultiByte(CP_ACP, 0, W(Source), -1, nullptr, 0, nullptr, nullptr);
}

int32_t WideToAnsi(const char16_t* Source, char* Dest, int32_t Capacity)
{
    return WideCharToMultiByte(CP_ACP, 0, W(Source), -1, Dest, Capacity, nullptr, nullptr);
}

void FreeLibrary(void* Handle)
{
    if (Handle)
        ::FreeLibrary(static_cast<HMODULE>(Handle));
}

void CommandLineArgs(int32_t Argc, char** Argv, FArgVisitor Visit, void* Context)
{
    int Count = 0;
    if (LPWSTR* List = CommandLineToArgvW(GetCommandLineW(), &Count))
    {
        for (int i = 0; i < Count; ++i)
            Visit(Context, reinterpret_cast<const char16_t*>(List[i]));
        LocalFree(List);
        return;
    }
    for (int32_t i = 0; i < Argc; ++i)
    {
        const char* Arg = Argv[i] ? Argv[i] : "";
        const int Len = MultiByteToWideChar(CP_ACP, 0, Arg, -1, nullptr, 0);
        wchar_t* Wide = static_cast<wchar_t*>(std::calloc(size_t(Len > 0 ? Len : 1), sizeof(wchar_t)));
        if (Len > 0)
            MultiByteToWideChar(CP_ACP, 0, Arg, -1, Wide, Len);
        Visit(Context, reinterpret_cast<const char16_t*>(Wide));
        std::free(Wide);
    }
}
} // namespace CoreOS
