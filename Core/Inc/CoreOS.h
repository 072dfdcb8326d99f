// The operating-system layer: every service the system asks of Windows or POSIX, behind one interface.
//
// CoreOS.cpp holds what both systems share (the test hooks and seams, the fault table, the trace flag) and
// calls the per-system half through CoreOSNative.h: CoreOSVcWin32*.cpp (Win32) or CoreOSPosix*.cpp (POSIX); the
// build picks one. Nothing else in the tree includes <windows.h> or POSIX headers. Error numbers are Win32-style
// on both systems (EOsError). Texts are UTF-16 (char16_t). Unless a routine says otherwise it may be called from
// any thread and does not block beyond the system call.
#pragma once

#include <cstdint>

namespace CoreOS
{
// The Win32 numbers of the failures the layers above tell apart; POSIX maps errno onto them.
enum EOsError : uint32_t
{
    OSERROR_None = 0,
    OSERROR_FileNotFound = 2,
    OSERROR_PathNotFound = 3,
    OSERROR_AccessDenied = 5,
    OSERROR_InvalidHandle = 6,
    OSERROR_NotEnoughMemory = 8,
    OSERROR_NotSameDevice = 17,
    OSERROR_GenFailure = 31,
    OSERROR_SharingViolation = 32,
    OSERROR_LockViolation = 33,
    OSERROR_FileExists = 80,
    OSERROR_InvalidParameter = 87,
    OSERROR_DiskFull = 112,
    OSERROR_DirNotEmpty = 145,
    OSERROR_AlreadyExists = 183,
    OSERROR_FilenameTooLong = 206,
};

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

// The program's arguments as UTF-16, the program itself first: Visit is called for each, in order. Windows:
// split from the wide command line, so that names outside the ANSI code page arrive whole (Argc and Argv are
// used only if that fails). POSIX: Argv's UTF-8 texts, converted. For the main thread, at start-up.
typedef void (*FArgVisitor)(void* Context, const char16_t* Arg);
void CommandLineArgs(int32_t Argc, char** Argv, FArgVisitor Visit, void* Context);

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

// ---- Files --------------------------------------------------------------------------------------------------
// Paths are UTF-16. On POSIX '\' and '/' both separate components, and a component that does not exist as
// written is looked up in its directory without regard to ASCII case (first match in name order), so
// "Models\gta3.img" finds "models/GTA3.IMG". "." and ".." are applied to the text first, as Windows does, so
// "ini/../SkipRules.ini" needs no directory ini. Every routine below resolves paths that one way. Share modes
// cannot be enforced on POSIX and are ignored there. Read-only means the owner has no write permission; it is
// honoured by this layer itself on both systems (also for root, and under Wine run as root): such a file
// cannot be opened for writing, copied over or deleted.

// The separator the system writes in paths: '\' on Windows, '/' on POSIX.
char16_t PathSeparator();

// An open file; null is "none". Owned by whoever opened it and released by FileClose.
typedef struct FOsFile* FFileHandle;

enum EFileAccess : uint32_t
{
    FILEACCESS_Read = 1,
    FILEACCESS_Write = 2,
};
enum EFileShare : uint32_t
{
    FILESHARE_None = 0,
    FILESHARE_Read = 1,
    FILESHARE_Write = 2,
    FILESHARE_Delete = 4,
};
enum EFileCreate : uint32_t
{
    FILECREATE_CreateNew = 1,      // fails when the file exists
    FILECREATE_CreateAlways = 2,   // creates or truncates
    FILECREATE_OpenExisting = 3,   // fails when missing
    FILECREATE_OpenAlways = 4,     // opens or creates
};
enum EFileSeek : int32_t
{
    FILESEEK_Begin = 0,
    FILESEEK_Current = 1,
    FILESEEK_End = 2,
};
enum EFileAttribute : uint32_t
{
    FILEATTR_ReadOnly = 0x01,
    FILEATTR_Directory = 0x10,
    FILEATTR_Normal = 0x80,
    FILEATTR_Invalid = 0xFFFFFFFFu,
};

// Win32-style number (EOsError) of the last failure of a routine of this layer on the calling thread.
uint32_t LastError();
// The system's text for an error number, first line only, cut to Capacity - 1 units. Returns the length.
int32_t SystemErrorMessage(uint32_t Error, char16_t* Dest, int32_t Capacity);

FFileHandle FileOpen(const char16_t* Path, uint32_t Access, uint32_t Share, uint32_t Create);
// One system call each; the counts say what really moved. False on an error.
bool FileRead(FFileHandle File, void* Data, uint32_t Length, uint32_t* BytesRead);
bool FileWrite(FFileHandle File, const void* Data, uint32_t Length, uint32_t* BytesWritten);
// Moves the file pointer; returns the new position, or -1 on failure.
int64_t FileSeek(FFileHandle File, int64_t Distance, int32_t Origin);
int64_t FileGetSize(FFileHandle File);
// Makes what was written durable on the disk (FlushFileBuffers, fsync).
bool FileFlush(FFileHandle File);
bool FileClose(FFileHandle File);

// Test seam: after Bytes more bytes have been written through FileWrite, every write comes up short (as on a
// full disk) with OSERROR_DiskFull. -1 (the default) lifts the limit.
void SetWriteLimit(int64_t Bytes);

enum EOsFaultKind : int32_t
{
    OSFAULT_Open,
    OSFAULT_Read,
    OSFAULT_Write,
    OSFAULT_Flush,
    OSFAULT_Move,
    OSFAULT_Delete,
    OSFAULT_Close,
    OSFAULT_Count
};
enum EOsFaultMode : int32_t
{
    OSFAULTMODE_Fail,
    OSFAULTMODE_Short,
    OSFAULTMODE_Exit, // the process ends at once, before the call (exit code 86): a kill between two steps
};
// Test seam. Counts every call of each kind made through this layer (all threads) since the last
// ResetOsFaults, and makes the Nth call of Kind counted from now (1 = the next) fail: FileOpen returns null,
// FileMove, FileDelete, FileFlush and FileClose return false (FileClose still releases the handle), a FileRead
// with OSFAULTMODE_Short delivers half of what it asked (rounded down) and reports success, a FileWrite with
// OSFAULTMODE_Short writes half and returns false with OSERROR_DiskFull, with OSFAULTMODE_Fail nothing and
// false. LastError: OSERROR_AccessDenied for open, move and delete, OSERROR_DiskFull for write,
// OSERROR_GenFailure for read, flush and close. One armed fault per kind at a time (arming again replaces it);
// it fires once. Only FileOpen counts as an open (not LockAcquire or FileIdentity). Costs an atomic increment
// and an atomic load per call when nothing is armed.
void ArmOsFault(EOsFaultKind Kind, int64_t Nth, EOsFaultMode Mode = OSFAULTMODE_Fail);
int64_t GetOsCallCount(EOsFaultKind Kind);
// Clears the counts and every armed fault.
void ResetOsFaults();

bool FileDelete(const char16_t* Path);
// Renames; fails (183) when Dest exists.
bool FileMove(const char16_t* Src, const char16_t* Dest);
// Renames Src over the file Dest in one step, so that Dest is at every moment the old file or the new one.
// Fails (5) when Dest is a directory or read-only. Counts as a move for the fault table.
bool FileReplace(const char16_t* Src, const char16_t* Dest);
bool FileCopy(const char16_t* Src, const char16_t* Dest, bool bFailIfExists);
// FILEATTR_* bits, or FILEATTR_Invalid when the path cannot be read.
uint32_t FileGetAttributes(const char16_t* Path);
// Only FILEATTR_ReadOnly and FILEATTR_Normal are meaningful.
bool FileSetAttributes(const char16_t* Path, uint32_t Attributes);
bool DirMake(const char16_t* Path);
bool DirRemove(const char16_t* Path);
// Calls Visit for each entry matching the wildcard ('*' and '?' in the last component, without regard to
// ASCII case; a name without a dot also matches as "name.", so "*.*" lists everything), "." and ".." included,
// in the system's order (name order on POSIX). Symbolic links and junctions are reported as files, never as
// directories, so a walk of a tree stays inside it.
typedef void (*FFindVisitor)(void* Context, const char16_t* Name, bool bDirectory);
void FindFiles(const char16_t* Wildcard, FFindVisitor Visit, void* Context);
bool DirSetCurrent(const char16_t* Path);
int32_t DirGetCurrent(char16_t* Dest, int32_t Capacity);
// The user's folder for temporary files, without a final separator: Windows' GetTempPath, on POSIX $TMPDIR
// when it is set, else /tmp. Cut to Capacity - 1 units and terminated. Returns the length.
int32_t TempDirectory(char16_t* Dest, int32_t Capacity);
// Letters of the fixed drives as "C:;D:" (empty on POSIX, where there are no drives). Returns the length.
int32_t GetDrives(char16_t* Dest, int32_t Capacity);
// Path as the file system spells it: each component that exists is written as its directory holds it (a path
// asked as "Models\gta3.img" may be "models/GTA3.IMG" on a Linux disk), the first missing one and what follows
// stay as written. Separators become the system's own, a trailing one is kept; "." and ".." are applied on POSIX
// and kept on Windows. Cut to Capacity - 1 units and terminated. Returns the length. Reads directories only.
int32_t PathOnDisk(const char16_t* Path, char16_t* Dest, int32_t Capacity);
// Last write time in UTC. False when the file's attributes cannot be read.
bool GetFileTimeUtc(const char16_t* Path, FLocalTime& Out);
// Bytes free for the caller on the volume that holds Directory, or -1 when it cannot be told.
int64_t FreeDiskSpace(const char16_t* Directory);
typedef int64_t (*FFreeDiskSpaceHook)(const char16_t* Directory);
// Test seam: a hook, when installed, answers FreeDiskSpace instead of the system.
void SetFreeDiskSpaceHook(FFreeDiskSpaceHook Hook);
// Makes the renames inside a directory durable (fsync of the directory on POSIX; nothing needed on Windows).
bool SyncDirectory(const char16_t* Directory);

// The identity of a file as the system knows it: device and inode on POSIX, volume serial number and file
// index on Windows (GetFileInformationByHandle). Every name of one file (another spelling or case, "..",
// symbolic and hard links) gives the same identity. Directories have one too. A file held open by another
// program (the game) can still be asked: Windows opens it with no access and full sharing.
struct FFileIdentity
{
    uint64_t Volume;
    uint64_t Index;
};
// False (LastError set) when the file cannot be asked: missing, or the path cannot be resolved.
bool FileIdentity(const char16_t* Path, FFileIdentity& Out);
// True when both exist and have one identity; false when they differ or either cannot be asked.
bool IsSameFile(const char16_t* PathA, const char16_t* PathB);

// An exclusive lock held by this process on the file Path (created when missing, never deleted): flock(LOCK_EX|
// LOCK_NB) on POSIX, LockFileEx(LOCKFILE_EXCLUSIVE_LOCK|LOCKFILE_FAIL_IMMEDIATELY) on Windows. Never waits.
// Null when another holder (this process through another handle, or another process) has it: LastError is
// OSERROR_LockViolation; or when the file cannot be made (LastError OSERROR_AccessDenied, OSERROR_PathNotFound,
// ...). A read-only lock file that exists can still be locked. The OS drops the lock when the process ends,
// however it ends. The handle is owned by the caller and given back with LockRelease, from any thread.
typedef struct FOsLock* FLockHandle;
FLockHandle LockAcquire(const char16_t* Path);
// Drops the lock and closes the file (which stays on the disk). Null is harmless.
void LockRelease(FLockHandle Lock);

// Value of an environment variable as 8-bit text, or null.
const char* GetEnv(const char* Name);

// ---- Registry -----------------------------------------------------------------------------------------------
enum ERegistryRoot : int32_t
{
    REGROOT_LocalMachine, // HKEY_LOCAL_MACHINE
    REGROOT_CurrentUser,  // HKEY_CURRENT_USER
};
// The two views that 64-bit Windows keeps of HKEY_LOCAL_MACHINE\SOFTWARE: what 32-bit programs see (their
// installers write there; on disk SOFTWARE\WOW6432Node) and what 64-bit programs see. On a 32-bit system both
// name the one registry.
enum ERegistryView : int32_t
{
    REGVIEW_32,
    REGVIEW_64,
};
// Reads the value ValueName of the key KeyPath under Root in View: opens the key (RegOpenKeyExW with
// KEY_WOW64_32KEY or KEY_WOW64_64KEY), queries the value (RegQueryValueExW) into Data, announcing *Bytes as
// Data's size, and closes the key; the value's type is not checked. True on success, with *Bytes set to the
// number of bytes stored. On failure *Bytes is left alone and Data holds whatever the failed query wrote into it
// (usually nothing). POSIX has no registry: false, and Data is not touched. Blocks for the registry's moment.
bool RegistryReadValue(ERegistryRoot Root, ERegistryView View, const char16_t* KeyPath, const char16_t* ValueName,
                       void* Data, uint32_t* Bytes);
typedef bool (*FRegistryReadHook)(ERegistryRoot Root, ERegistryView View, const char16_t* KeyPath,
                                  const char16_t* ValueName, void* Data, uint32_t* Bytes);
// Test seam: a hook, when installed, answers RegistryReadValue instead of the system.
void SetRegistryReadHook(FRegistryReadHook Hook);

// ---- Console ------------------------------------------------------------------------------------------------
// For command-line front ends. Streams are numbered as in C: 1 standard output, 2 standard error.

// Whether the stream is an interactive terminal (isatty; a console handle on Windows, GetConsoleMode). A
// progress bar redrawn in place only makes sense there; pipes and files get plain lines.
bool IsTerminal(int32_t Stream);
// Columns of the terminal behind the stream, or 0 when it is no terminal or its width cannot be told.
int32_t TerminalWidth(int32_t Stream);

// What asks a command to stop from outside, each cancelled the same way; a shell tells them apart by the exit code.
enum EInterrupt : int32_t
{
    INTERRUPT_None = 0,
    INTERRUPT_Keyboard,  // Ctrl-C or Ctrl-Break (SIGINT)
    INTERRUPT_Terminate, // a request to end (SIGTERM: kill, a service manager, a system shutting down)
    INTERRUPT_Hangup,    // the terminal went away (SIGHUP; on Windows the console window was closed)
};
// The requests to stop: SIGINT, SIGTERM and SIGHUP through sigaction on POSIX; CTRL_C_EVENT, CTRL_BREAK_EVENT and
// CTRL_CLOSE_EVENT through SetConsoleCtrlHandler on Windows. While a handler is installed the process is not
// ended: Handler is called instead, in a signal handler (POSIX) or on a thread of the system's (Windows), so it
// must do no more than store into a lock-free atomic. A closed console window ends the process when its handler
// returns, so that thread waits there and the main thread has the few seconds Windows grants to clean up and
// exit. Null restores the defaults, which end the process. Called on the main thread.
typedef void (*FInterruptHandler)(EInterrupt Interrupt);
void SetInterruptHandler(FInterruptHandler Handler);

// Whether the system has a registry that RegistryReadValue reads (Windows, also under Wine). POSIX has none;
// a front end there looks elsewhere (a Wine prefix's registry files) for what Windows keeps in the registry.
bool HasRegistry();

// The units this system's players see sizes in: Windows' Explorer counts KB, MB and GB of 1024 bytes and shows
// three digits; elsewhere file managers count them in 1000s.
enum ESizeUnits
{
    SIZEUNITS_Decimal,
    SIZEUNITS_Explorer,
};
ESizeUnits SizeUnits();

// The folder where the user's own settings for programs live, into Dest (terminated): $XDG_CONFIG_HOME (when it
// is an absolute path), else $HOME/.config on POSIX. Returns its length; 0 on Windows, where a program keeps its
// settings beside itself, and when neither variable is set.
int32_t UserConfigDir(char16_t* Dest, int32_t Capacity);
} // namespace CoreOS
