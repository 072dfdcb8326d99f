// FGameDisk: the engine's one way to the disk. Every file the engine asks about, reads, writes, renames, deletes or
// locks goes through here; the routines are those the engine needs and no more, written once over the Core's file
// manager, its raw files and its OS layer. (The shrinker streams the archives through the Core on its own.)
//
// Paths are as the Core takes them (on POSIX either separator, case matched when a name is not there as written).
// Any thread may call; nothing here takes a lock of its own, and every routine blocks on the file system. A routine
// that fails leaves the system's error for LastError (EOsError numbers on both systems).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"

namespace Core
{
namespace Imp
{
class FConfigFile;
}
} // namespace Core

// What is at a path, asked of the system once.
enum class EDiskEntry
{
    None,
    File,
    Folder,
};

// How a rename treats a file that holds the new name already.
enum class ERename
{
    Replacing,      // the file there goes, read-only or not; the same file under another name stays as it is
    NeverReplacing, // the rename fails (183) and what is there stays
};

class FGameDisk
{
public:
    FGameDisk() = delete;

    // ---- Questions --------------------------------------------------------------------------------------------
    // Size in bytes; -1 when the file cannot be opened for reading (missing, a folder, held without sharing).
    static int64_t FileSize(const FString& Path);
    static EDiskEntry WhatIsAt(const FString& Path);
    static bool Exists(const FString& Path);
    static bool IsFolder(const FString& Path);
    // Anything there that is no folder.
    static bool IsFile(const FString& Path);
    // Last write time in UTC; false when the file's attributes cannot be read.
    static bool GetModifiedTime(const FString& Path, CoreOS::FLocalTime& Out);
    // Bytes free for us on the volume that holds Folder; -1 when it cannot be told.
    static int64_t FreeSpace(const FString& Folder);
    // Both are there and are one file (another spelling, case, a link).
    static bool IsSameFile(const FString& PathA, const FString& PathB);
    // Path as the disk spells it, component by component, the missing rest as written (reads the folders).
    static FString SpelledOnDisk(const FString& Path);
    // The names in Folder ("." and ".." left out), in the system's order; only the folders among them.
    static TDynArray<FString> ListFolder(const FString& Folder);
    static TDynArray<FString> ListSubfolders(const FString& Folder);
    // Opens the file for reading and closes it again: the system's error, 0 when it opened.
    static uint32_t TryRead(const FString& Path);
    // Makes Path as a new file and deletes it again: whether the folder takes files. A file left by that name by
    // an earlier try (a program stopped in between) is deleted and the making tried once more. The system's
    // error, 0 when the file was made.
    static uint32_t TryCreate(const FString& Path);
    // The system's error of the calling thread's last failed call.
    static uint32_t LastError();

    // ---- Changes ----------------------------------------------------------------------------------------------
    // Deletes the file, read-only or not; true when it is gone, also when it was never there.
    static bool Remove(const FString& Path);
    // Deletes the file as it is: false when it is missing or read-only.
    static bool Delete(const FString& Path);
    // Renames From to To, then makes the folder's renames durable (a power cut keeps them). The system's error,
    // 0 when it moved.
    static uint32_t Rename(const FString& From, const FString& To, ERename How);
    // Puts From in the place of the file To in one step, so that To is at every moment the old file or the new
    // one; fails when To is a folder or read-only. The folder is not synced.
    static bool ReplaceInOneStep(const FString& From, const FString& To);
    // Makes what was written to the file durable on the disk (opened for writing, flushed, closed).
    static bool FlushToDisk(const FString& Path);
    // Makes one folder (its parent must be there).
    static bool MakeFolder(const FString& Path);

    // ---- Contents ---------------------------------------------------------------------------------------------
    // The whole file as text (appLoadFileToString's reading: a byte-order mark says UTF-16 or UTF-8, else one
    // unit per byte). With MaxBytes 0 or more, a file whose size cannot be read or is larger is not loaded.
    // False, with Text untouched, when nothing was loaded.
    static bool LoadText(const FString& Path, FString& Text, int64_t MaxBytes = -1);
    // Writes the text as the whole file (appSaveStringToFile's writing); false when it failed.
    static bool SaveText(const FString& Path, const FString& Text);
    // Fills File with the INI file's sections; a file that cannot be read leaves none.
    static void ReadConfig(const FString& Path, Core::Imp::FConfigFile& File);
    // Up to MaxBytes of the file's first bytes, in one read; empty when it cannot be opened.
    static std::string ReadStart(const FString& Path, uint32_t MaxBytes);
    // Writes the bytes as the whole file, created or truncated; false when it could not be opened or the write
    // came up short.
    static bool WriteBytes(const FString& Path, const void* Data, size_t Count);

    // ---- Locks ------------------------------------------------------------------------------------------------
    // An exclusive lock of this process on the file Path (made when missing, never deleted); never waits. Null
    // when another holder has it (LastError OSERROR_LockViolation) or the file cannot be made. The OS drops it
    // when the process ends, however it ends.
    static CoreOS::FLockHandle AcquireLock(const FString& Path);
    // Gives the lock back from any thread; null is harmless.
    static void ReleaseLock(CoreOS::FLockHandle Lock);
};
