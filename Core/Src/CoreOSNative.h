// The per-system half of the OS layer, as CoreOS.cpp sees it. CoreOS.cpp keeps the public routines that have
// shared logic (hooks, seams, the fault table) and calls these once that logic has had its say; the Win32 files
// (CoreOSVcWin32*.cpp) and the POSIX files (CoreOSPosix*.cpp) implement them. Only the OS layer includes this.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreOS.h"

namespace CoreOS
{
namespace Native
{
// Sets what LastError reports on the calling thread.
void SetLastError(uint32_t Error);

// The system's debug channel itself (the hook has been asked already).
void DebugOutput(const char16_t* Text);
// The system's fatal message itself (the hook has been asked already).
void FatalMessage(const char16_t* Caption, const char16_t* Text);
// The system's millisecond tick.
uint32_t GetTickMs();

// The file routines of CoreOS.h without the fault table and the write limit. File is never null here.
FFileHandle FileOpen(const char16_t* Path, uint32_t Access, uint32_t Share, uint32_t Create);
bool FileRead(FFileHandle File, void* Data, uint32_t Length, uint32_t* BytesRead);
bool FileWrite(FFileHandle File, const void* Data, uint32_t Length, uint32_t* BytesWritten);
bool FileFlush(FFileHandle File);
bool FileClose(FFileHandle File);
bool FileDelete(const char16_t* Path);
bool FileMove(const char16_t* Src, const char16_t* Dest);
bool FileReplace(const char16_t* Src, const char16_t* Dest);

// The system's answers, when no test hook is installed.
int64_t FreeDiskSpace(const char16_t* Directory);
bool RegistryReadValue(ERegistryRoot Root, ERegistryView View, const char16_t* KeyPath, const char16_t* ValueName,
                       void* Data, uint32_t* Bytes);

// Shared by both halves (defined in CoreOS.cpp): copies Text into Dest, cut to Capacity - 1 units and
// terminated. Returns the count copied.
int32_t CopyText(const char16_t* Text, char16_t* Dest, int32_t Capacity);
} // namespace Native
} // namespace CoreOS
