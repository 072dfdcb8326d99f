// The operating-system layer on POSIX (Linux): files, clock, debug channel and text conversion.
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtf8.h"
#include "Core/Src/CoreOSNative.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fstream>
#include <string>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

namespace
{
// Windows-1252 units for the bytes 0x80..0x9F; the five unassigned bytes map to themselves as on Windows.
const char16_t GCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t ByteToUnit(unsigned char Byte)
{
    return (Byte >= 0x80 && Byte < 0xA0) ? GCp1252High[Byte - 0x80] : char16_t(Byte);
}

char UnitToByte(char16_t Unit)
{
    if (Unit < 0x80 || (Unit >= 0xA0 && Unit < 0x100))
        return char(Unit);
    for (int i = 0; i < 32; ++i)
        if (GCp1252High[i] == Unit)
            return char(0x80 + i);
    return '?';
}

} // namespace

namespace CoreOS
{
void Native::DebugOutput(const char16_t* Text)
{
    if (!TraceEnabled())
        return;
    std::string Line = appUtf16ToUtf8(Text);
    // The Windows channel takes "\r\n" endings; a terminal wants plain new lines.
    std::string Clean;
    Clean.reserve(Line.size() + 1);
    for (char C : Line)
        if (C != '\r')
            Clean += C;
    if (Clean.empty() || Clean.back() != '\n')
        Clean += '\n';
    std::fwrite(Clean.data(), 1, Clean.size(), stderr);
}

void Native::FatalMessage(const char16_t* Caption, const char16_t* Text)
{
    std::string Line = appUtf16ToUtf8(Caption) + ": " + appUtf16ToUtf8(Text) + "\n";
    std::fwrite(Line.data(), 1, Line.size(), stderr);
    std::fflush(stderr);
}

void ExitProcess(int32_t Code)
{
    std::fflush(stdout);
    std::fflush(stderr);
    _exit(Code);
}

bool IsDebuggerAttached()
{
    std::ifstream Status("/proc/self/status");
    std::string Line;
    while (std::getline(Status, Line))
    {
        if (Line.compare(0, 10, "TracerPid:") == 0)
            return std::atoi(Line.c_str() + 10) != 0;
    }
    return false;
}

void BreakDebugger()
{
    std::raise(SIGTRAP);
}

int32_t ModuleFileName(char16_t* Dest, int32_t Capacity)
{
    if (Capacity <= 0)
        return 0;
    char Path[4096];
    ssize_t Len = readlink("/proc/self/exe", Path, sizeof(Path) - 1);
    if (Len < 0)
        Len = 0;
    Path[Len] = 0;
    // Linux file names are UTF-8.
    return Native::CopyText(appUtf8ToUtf16(Path).c_str(), Dest, Capacity);
}

uint32_t Native::GetTickMs()
{
    timespec Now;
    clock_gettime(CLOCK_MONOTONIC, &Now);
    return uint32_t(uint64_t(Now.tv_sec) * 1000u + uint64_t(Now.tv_nsec) / 1000000u);
}

// POSIX timers have no process-wide resolution to request.
void TimeBeginPeriod() {}
void TimeEndPeriod() {}

void GetLocalTime(FLocalTime& Out)
{
    timeval Now;
    gettimeofday(&Now, nullptr);
    time_t Seconds = Now.tv_sec;
    tm Local;
    localtime_r(&Seconds, &Local);
    Out.Year = Local.tm_year + 1900;
    Out.Month = Local.tm_mon + 1;
    Out.DayOfWeek = Local.tm_wday;
    Out.Day = Local.tm_mday;
    Out.Hour = Local.tm_hour;
    Out.Minute = Local.tm_min;
    Out.Second = Local.tm_sec;
    Out.Milliseconds = int32_t(Now.tv_usec / 1000);
}

int32_t AnsiToWideLength(const char* Source)
{
    return int32_t(std::strlen(Source)) + 1;
}

int32_t AnsiToWide(const char* Source, char16_t* Dest, int32_t Capacity)
{
    int32_t Count = 0;
    for (; Count < Capacity; ++Count)
    {
        Dest[Count] = ByteToUnit((unsigned char)Source[Count]);
        if (!Source[Count])
            return Count + 1;
    }
    return Count;
}

int32_t WideToAnsiLength(const char16_t* Source)
{
    int32_t Len = 0;
    while (Source[Len])
        ++Len;
    return Len + 1;
}

int32_t WideToAnsi(const char16_t* Source, char* Dest, int32_t Capacity)
{
    int32_t Count = 0;
    for (; Count < Capacity; ++Count)
    {
        Dest[Count] = UnitToByte(Source[Count]);
        if (!Source[Count])
            return Count + 1;
    }
    return Count;
}

void FreeLibrary(void* Handle)
{
    if (Handle)
        dlclose(Handle);
}

void CommandLineArgs(int32_t Argc, char** Argv, FArgVisitor Visit, void* Context)
{
    for (int32_t i = 0; i < Argc; ++i)
        Visit(Context, appUtf8ToUtf16(Argv[i]).c_str());
}
} // namespace CoreOS
