// The operating-system layer: every service the system asks of Windows or POSIX, behind one interface.
//
// Two files implement this header, CoreOSVcWin32.cpp (Win32) and CoreOSPosix.cpp (POSIX); the build picks one.
// Nothing else in the tree includes <windows.h> or POSIX headers. Error numbers are Win32-style on both
// systems (2 not found, 3 path not found, 5 access denied, 183 already exists). Texts are UTF-16 (char16_t).
// Unless a routine says otherwise it may be called from any thread and does not block beyond the system call.
#pragma once

#include <cstdint>

namespace CoreOS
{
// Debug output channel. On Windows OutputDebugStringW; on POSIX standard error, only when tracing is on
// (environment variable PELLMOR_TRACE, or SetTraceEnabled). A hook, when installed, receives every text
// instead (tests capture the channel this way).
void DebugOutput(const char16_t* Text);
typedef void (*FDebugOutputHook)(const char16_t* Text);
void SetDebugOutputHook(FDebugOutputHook Hook);

// Whether trace lines are written at all. Starts from the environment (PELLMOR_TRACE set and not "0").
bool TraceEnabled();
void SetTraceEnabled(bool bEnabled);

// The fatal message: a task-modal stop box on Windows; "Caption: Text" on standard error on POSIX.
// Returns when the user has seen it. A hook, when installed, receives the two texts instead of the box
// (tests and unattended runs must never wait on a window).
void FatalMessage(const char16_t* Caption, const char16_t* Text);
typedef void (*FFatalMessageHook)(const char16_t* Caption, const char16_t* Text);
void SetFatalMessageHook(FFatalMessageHook Hook);

// Ends the process at once with the exit code; no destructors run.
[[noreturn]] void ExitProcess(int32_t Code);

// Whether a debugger is attached. Windows: only on the NT family, through kernel32's IsDebuggerPresent loaded
// at the call. POSIX: a tracer named in /proc/self/status.
bool IsDebuggerAttached();
// Breaks into the attached debugger and returns (DebugBreak; SIGTRAP on POSIX).
void BreakDebugger();

// The running executable's full path, cut to Capacity - 1 units and terminated. Returns the length.
int32_t ModuleFileName(char16_t* Dest, int32_t Capacity);

// Millisecond tick of the system (wraps after 49.7 days). A test may replace the source.
uint32_t GetTickMs();
typedef uint32_t (*FTickSource)();
void SetTickSource(FTickSource Source);

// The 1 ms timer resolution of the process (timeBeginPeriod/timeEndPeriod; nothing on POSIX).
void TimeBeginPeriod();
void TimeEndPeriod();

struct FLocalTime
{
    int32_t Year;
    int32_t Month;
    int32_t DayOfWeek;
    int32_t Day;
    int32_t Hour;
    int32_t Minute;
    int32_t Second;
    int32_t Milliseconds;
};
void GetLocalTime(FLocalTime& Out);

// Conversions between the system's 8-bit code page (the ANSI code page on Windows, Windows-1252 on POSIX) and
// UTF-16. The whole source up to its terminator is converted. The Length routines give the size of the
// converted text including the terminator; the conversions write at most Capacity units (or bytes), the
// terminator included when it fits, and return the count written.
int32_t AnsiToWideLength(const char* Source);
int32_t AnsiToWide(const char* Source, char16_t* Dest, int32_t Capacity);
int32_t WideToAnsiLength(const char16_t* Source);
int32_t WideToAnsi(const char16_t* Source, char* Dest, int32_t Capacity);

// Loaded libraries (released by the Core's exit step).
void FreeLibrary(void* Handle);

// Value of an environment variable as 8-bit text, or null.
const char* GetEnv(const char* Name);
} // namespace CoreOS
