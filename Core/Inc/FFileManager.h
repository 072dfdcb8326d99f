// FFileManager: the Core's file service. Whole-file operations (size, delete, move, copy, directories, the
// current directory) and buffered archives for reading and writing whole files.
//
// Paths are UTF-16; a relative path is resolved against the process's current directory, which the registry
// sets to the executable's directory when it first makes the file manager. On POSIX '\' and '/' both separate,
// and a component that does not exist as written is matched without regard to case (see CoreOS.h).
//
// Threads: the file manager has no state and takes no lock; any thread may call it. Every operation blocks on
// the file system. Failures are results (false, -1, null, a COPY_ code); only the must-succeed flags and an
// asked-for compression end the program.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"
#include "Core/Inc/FArchive.h"
#include "Core/Inc/FOutputDevice.h"

namespace Core
{
namespace Service
{
enum EFileReadFlags : uint32_t
{
    READ_MustSucceed = 0x01, // a failed open is fatal ("Failed to read file: %s")
};

enum EFileWriteFlags : uint32_t
{
    WRITE_MustSucceed = 0x01,   // a failed open is fatal ("Failed to create file: %s")
    WRITE_KeepExisting = 0x02,  // only a new file; fails when the file exists
    WRITE_ClearReadOnly = 0x04, // an existing read-only file is made writable first
    WRITE_Append = 0x10,        // open or create, and write on at the end
    WRITE_ShareRead = 0x20,     // others may read while it is open (Windows; POSIX cannot enforce sharing)
};

enum ECopyResult : int32_t
{
    COPY_Ok = 0,
    COPY_Fail = 1,
    COPY_ReadFail = 2,
    COPY_WriteFail = 3,
    COPY_Canceled = 6,
};

// Told how far a copy has come. Called on the copying thread.
class FCopyProgress
{
public:
    virtual ~FCopyProgress() {}
    // Fraction runs from 0 to 1; returning false stops the copy (COPY_Canceled).
    virtual bool Poll(float Fraction) = 0;
};

// The interface. Its operations stand in this order; FFileManagerWindows implements every one.
class FFileManager
{
public:
    // Nothing to prepare; the registry calls it once with 1.
    virtual void Init(bool bStartup) = 0;
    // A buffered reader on an existing file, or null. The caller owns the reader and deletes it (which closes
    // the file). Error receives the reader's error lines (null: the null device); it must outlive the reader.
    // Paths of 520 units or more are refused.
    virtual FArchive* CreateFileReader(const char16_t* Path, uint32_t ReadFlags, FOutputDevice* Error) = 0;
    // A buffered writer (WRITE_ flags), or null. The caller owns it; data reach the disk when the 4096-byte
    // buffer fills, on Seek, on Close and on delete.
    virtual FArchive* CreateFileWriter(const char16_t* Path, uint32_t WriteFlags, FOutputDevice* Error) = 0;
    // Size in bytes, 64-bit; -1 when the file cannot be opened for reading (missing, a directory, locked).
    virtual int64_t FileSize(const char16_t* Path) = 0;
    // True when the file was deleted, or when it was not there and RequireExists is false.
    virtual bool Delete(const char16_t* Path, bool bRequireExists, bool bEvenReadOnly) = 0;
    virtual bool IsReadOnly(const char16_t* Path) = 0;
    // Copies Src to Dest. Without Progress and compression it is one system copy; with Progress it goes through
    // the archives in 32768-byte steps and reports each new whole percentage. Compress 1 or 2 is fatal.
    // Progress, when given, must outlive the call. A Dest that is Src itself under another name (same identity,
    // CoreOS::IsSameFile) is refused with COPY_Fail and left as it was.
    virtual ECopyResult Copy(const char16_t* Dest, const char16_t* Src, bool bReplace, bool bEvenIfReadOnly,
                             bool bKeepAttributes, int32_t Compress, FCopyProgress* Progress) = 0;
    // Renames Src to Dest. An existing Dest is always replaced (read-only ones only with bEvenIfReadOnly);
    // a missing Src fails without touching Dest. A Dest that is Src itself under another name (same identity)
    // succeeds without doing anything. bReplace and bAttributes have no effect.
    virtual bool Move(const char16_t* Dest, const char16_t* Src, bool bReplace, bool bEvenIfReadOnly,
                      bool bAttributes) = 0;
    // No global file clock is kept: always 0, and setting it is not supported.
    virtual int64_t GetGlobalTime(const char16_t* Path) = 0;
    virtual bool SetGlobalTime(const char16_t* Path) = 0;
    // Creates the directory (made absolute first); with bTree every missing directory along the path.
    // An existing directory counts as success. Absolute paths of 256 units or more are refused in a tree.
    virtual bool MakeDirectory(const char16_t* Path, bool bTree) = 0;
    // Removes the directory; with bTree everything below it first, read-only files included.
    virtual bool DeleteDirectory(const char16_t* Path, bool bRequireExists, bool bTree) = 0;
    // Names (without directory) matching the wildcard, "." and ".." left out, in the system's order.
    virtual TDynArray<FString> FindFiles(const char16_t* Wildcard, bool bFiles, bool bDirectories) = 0;
    // The process's current directory (shared by every thread of the process).
    virtual bool SetDefaultDirectory(const char16_t* Path) = 0;
    virtual FString GetDefaultDirectory() = 0;
    // A path with ':' or a leading separator is returned as it is; any other is joined to the current
    // directory after leading "..\" and ".\" (either separator) have been applied.
    virtual FString GetAbsolutePath(const char16_t* Path) = 0;
    // Fixed drives as "C:;D:" (empty on POSIX). Returns the length of the list.
    virtual int32_t GetDrives(FString& Drives) = 0;
    // Writers write through at once, so nothing is ever pending: always 0.
    virtual int32_t GetPendingWrites() = 0;
    // Last write time in UTC (seconds above 59 given as 59). False when the attributes cannot be read.
    virtual bool GetTimestamp(const char16_t* Path, int32_t& Hour, int32_t& Minute, int32_t& Second,
                              int32_t& Day, int32_t& Month, int32_t& Year) = 0;

    virtual ~FFileManager() {}
};
} // namespace Service
} // namespace Core

// The system's text for the calling thread's last error, first line only (cut at the first carriage return
// or line feed). The text lives in a per-thread buffer of 1024 units until that thread's next call.
const char16_t* appSystemErrorMessage();
// "Core.Errors.<Key>" in a scratch text.
const char16_t* appLocalizeError(const char16_t* Key);

using Core::Service::FCopyProgress;
using Core::Service::FFileManager;
