// FArchive: the Core's byte-stream reader or writer with a sticky error flag.
//
// The base does nothing useful by itself; the file archives of FFileManagerWindows.h fill in the slots. The
// virtual operations stand in a fixed order (destructor, Serialize, CountBytes, SerializeName, Tell, TotalSize,
// Seek, Close, GetError, Precache). An archive is owned by whoever created it and is used by one thread at a
// time; no operation locks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Core
{
class FName;

namespace Archive
{
class FArchive
{
public:
    FArchive() : ArIsLoading(0), ArIsSaving(0), ArIsPersistent(0), IsError(0) {}
    virtual ~FArchive() {}

    // Moves Length bytes between Data and the stream (read into Data, or written from it). Blocks on the disk
    // for file archives. A failure sets IsError; it is never cleared.
    virtual void Serialize(void* /*Data*/, int32_t /*Length*/) {}
    // Memory accounting hook for archives that count what they see; file archives count nothing.
    virtual void CountBytes(size_t /*Num*/, size_t /*Max*/) {}
    // Names are not stored in file streams; the archive hands itself back unchanged.
    virtual FArchive& SerializeName(FName& /*Name*/)
    {
        return *this;
    }
    // Position in the stream, or -1 where there is none.
    virtual int64_t Tell()
    {
        return -1;
    }
    // Size of the stream, or -1 where it is not known (writers).
    virtual int64_t TotalSize()
    {
        return -1;
    }
    virtual void Seek(int64_t /*Position*/) {}
    // Finishes the stream; true when no operation has failed.
    virtual bool Close()
    {
        return !IsError;
    }
    virtual int32_t GetError()
    {
        return IsError;
    }
    // Read-ahead hint; file archives read on demand and ignore it.
    virtual void Precache(int32_t /*HintCount*/) {}

    // Reading, writing and persistent flags (1/0/1 in readers, 0/1/1 in writers); nothing reads them.
    int32_t ArIsLoading;
    int32_t ArIsSaving;
    int32_t ArIsPersistent;
    // Set by any failed operation, never cleared.
    int32_t IsError;
};
} // namespace Archive
} // namespace Core

using Core::Archive::FArchive;
