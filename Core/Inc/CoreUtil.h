// The Core's reporting routines and process-wide state: scratch texts, the fatal error path, traces, start-up
// and shut-down, the clock, the executable's directory and name.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>

#include "Core/Inc/CoreAssert.h"
#include "Core/Inc/CoreStr.h"

// ---- Scratch texts ------------------------------------------------------------------------------------------
// A process-wide ring of 256 texts of 1024 units. A text taken from it stays valid until 255 more have been
// taken by any thread. Taking one is atomic; nothing is allocated.
enum
{
    SCRATCH_TEXT_COUNT = 256,
    SCRATCH_TEXT_SIZE = 1024
};
char16_t* appScratchText();
// printf-style into a scratch text (at most 1023 characters).
const char16_t* appScratchPrintf(const char16_t* Format, ...);
// 8-bit text to UTF-16, byte for unit, at most 1023 bytes, in a scratch text. Null gives null.
const char16_t* appFromAnsi(const char* Text);

// ---- Errors and traces --------------------------------------------------------------------------------------
// Fatal: formats the message and sends it to the error device, which shows it and ends the process with exit
// code 1 (with a debugger attached it breaks and returns instead).
void appError(const char16_t* Format, ...);

// The debug trace. Lines are dropped (and nothing is formatted) unless tracing is on (PELLMOR_TRACE, or
// appSetTraceEnabled); then each goes to the debug channel. Events: 7 error notes, 8 file manager warnings,
// 3 exit notes, 2 build information, 1 statistics.
void appTrace(int32_t Event, const char16_t* Format, ...);
bool appTraceEnabled();
void appSetTraceEnabled(bool bEnabled);

// The trace of the engine and the archive shrinker: "hh:mm:ss:mmmm  text", serialised on its own lock.
void EngineTrace(const char16_t* Format, ...);
// The local time as "%02d:%02d:%02d:%04d" (hour, minute, second, millisecond), in a scratch text.
const char16_t* GetTraceTimestamp();

extern int32_t GCriticalError;

// ---- Start-up and shut-down ---------------------------------------------------------------------------------
// Called on the application's main thread: start-up first, shut-down last. Both may be called again; only the
// first of each does the work.
void GEnsureCoreInited();
void GShutdownCore();
// The Core's exit step: statistics traces, library handles released, the config cache flushed, names closed.
void appExit();
// Ends the process with exit code 1.
[[noreturn]] void appRequestExit();

// 0 before start-up, 1 while running, -1 after shut-down.
extern int32_t GCoreState;
extern int32_t GTimerPeriodSet;

// Statistics of the file manager, only ever increased, from any thread (the shrink's reader and writer are
// threads of their own); the exit step reports them. The times are seconds.
extern std::atomic<uint64_t> GFileBytesRead;
extern std::atomic<float> GFileReadTime;
extern std::atomic<float> GFileSeekTime;
extern std::atomic<float> GFileMiscTime;
// Adds Seconds to one of the times above without losing what another thread adds at the same moment.
void appAddSeconds(std::atomic<float>& Total, float Seconds);

// Seconds on the Core's clock since its first use. Never goes backwards; safe from any thread.
double appSeconds();

// The executable's directory with its trailing separator, and its name without directory and extension, both
// taken once from the module file name. A directory of MODULE_NAME_SIZE units or more is refused, never cut:
// appBaseDir then ends the program through appError with the path (with a debugger attached it returns "").
const char16_t* appBaseDir();
const char16_t* appExeName();
enum
{
    MODULE_NAME_SIZE = 256
};
// Splits an executable's full path into Dir, everything up to and including the last '\' or '/' (empty
// without either), and Name, the part after the last '\', then after the last '/', cut at its first '.'. Both
// buffers hold MODULE_NAME_SIZE units; a longer Name is cut (it only labels). False, with Dir empty, when the
// directory does not fit.
bool appSplitModulePath(const char16_t* Path, char16_t* Dir, char16_t* Name);
// The Core's command-line text (left empty by the product).
const char16_t* appCmdLine();

// Callbacks told of Core events (0 start-up, 1 exit announced).
class FEventCallback
{
public:
    virtual ~FEventCallback() {}
    virtual void OnEvent(int32_t Event) = 0;
};
void appRegisterEventCallback(FEventCallback* Callback);
void appUnregisterEventCallback(FEventCallback* Callback);
void CallEventCallbacks(int32_t Event);
// Library handles released at exit, last first.
void appAddLibraryHandle(void* Handle);
int32_t appNumLibraryHandles();

// Text conversion between the system's 8-bit code page and UTF-16 (sizes include the terminator).
int32_t appAnsiToUnicodeLength(const char* Source);
int32_t appAnsiToUnicode(const char* Source, char16_t* Dest, int32_t Capacity);
int32_t appUnicodeToAnsiLength(const char16_t* Source);
int32_t appUnicodeToAnsi(const char16_t* Source, char* Dest, int32_t Capacity);
