// Raw file routines on plain operating-system handles: no buffering, no statistics, one system call per
// request. The archive rewrite streams whole entries through them. Positions are 64-bit. A handle belongs to
// the thread that uses it; none of these routines locks.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreOS.h"

typedef CoreOS::FFileHandle FFileHandle;

// Open for reading, sharing read access, existing files only; null on failure.
FFileHandle appFileOpenRead(const char16_t* Path);
// Open for writing, sharing write access, created or truncated; null on failure.
FFileHandle appFileOpenWrite(const char16_t* Path);
// The trace lines of a read and of a write that came up short, to be formatted with the bytes moved and the bytes
// asked for (two ints): "appFileRead  BytesRead!=Length  %d!=%d", "appFileWrite  BytesWritten!=Length  %d!=%d".
// Readers that go to the system on their own trace their short reads in the same words.
extern const char16_t* const GShortReadTrace;
extern const char16_t* const GShortWriteTrace;

// One read; a short read traces GShortReadTrace. Returns the bytes read.
uint32_t appFileRead(FFileHandle File, void* Data, uint32_t Length);
// One write; a short write traces GShortWriteTrace. Returns the bytes written.
uint32_t appFileWrite(FFileHandle File, const void* Data, uint32_t Length);
// The current position (-1 on failure).
int64_t appFileTell(FFileHandle File);
// Moves to an absolute position; false on failure.
bool appFileSeek(FFileHandle File, int64_t Position);
// Closes a handle that is not null.
void appFileClose(FFileHandle File);
bool appFileDelete(const char16_t* Path);
