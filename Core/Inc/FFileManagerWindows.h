// The file manager of the system and its buffered file archives.
//
// FArchiveFileReader reads through a 1024-byte buffer whose reads end on 1024-byte boundaries of the file, and
// bypasses the buffer for requests of 1024 bytes or more. FArchiveFileWriter gathers 4096 bytes per write.
// Sizes and positions are 64-bit. Each archive belongs to one thread at a time; its Error device receives its
// error lines and is not owned. FFileManagerWindows (named for the system it was first written for; it runs on
// every system through the OS layer) implements every operation of FFileManager.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/FFileManagerGeneric.h"

namespace Core
{
namespace Imp
{
class FArchiveFileReader : public Core::Archive::FArchive
{
public:
    // Takes ownership of InHandle. InFilename is copied (paths of MAX_FILENAME units or more are refused by the
    // file manager before a reader is made).
    FArchiveFileReader(CoreOS::FFileHandle InHandle, const char16_t* InFilename, Core::Service::FOutputDevice* InError,
                       int64_t InSize);
    // Closes the file.
    ~FArchiveFileReader() override;

    // Reads Length bytes into Data. Reading past the end delivers what is there, sets IsError and sends
    // "ReadFile beyond EOF %i+%i/%i".
    void Serialize(void* Data, int32_t Length) override;
    int64_t Tell() override
    {
        return Pos;
    }
    int64_t TotalSize() override
    {
        return Size;
    }
    // Position must lie in 0..Size (asserted).
    void Seek(int64_t InPos) override;
    // Closes the file; true when no operation failed.
    bool Close() override;

    enum
    {
        BUFFER_SIZE = 1024,
        MAX_FILENAME = 520
    };

    CoreOS::FFileHandle Handle;
    Core::Service::FOutputDevice* Error;
    int64_t Size;
    int64_t Pos;
    // File position of Buffer[0], and how many bytes of Buffer are valid.
    int64_t BufferBase;
    int32_t BufferCount;
    uint8_t Buffer[BUFFER_SIZE];
    // What this reader took from the disk, and the seconds it spent reading and seeking.
    int64_t BytesRead;
    float ReadTime;
    float SeekTime;
    char16_t Filename[MAX_FILENAME];

private:
    bool ReadFromDisk(void* Data, int32_t Count, int32_t& Got);
    void Refill();
};

class FArchiveFileWriter : public Core::Archive::FArchive
{
public:
    // Takes ownership of InHandle; InPos is where the handle stands (the file's length when appending).
    FArchiveFileWriter(CoreOS::FFileHandle InHandle, Core::Service::FOutputDevice* InError, int64_t InPos);
    // Closes the file when Close has not been called, writing what is still buffered.
    ~FArchiveFileWriter() override;

    void Serialize(void* Data, int32_t Length) override;
    int64_t Tell() override
    {
        return Pos;
    }
    // Writes the buffer, then moves to Position.
    void Seek(int64_t Position) override;
    // Writes the buffer and closes the file; true when no operation failed. Later calls only report.
    bool Close() override;

    enum
    {
        BUFFER_SIZE = 4096
    };

    CoreOS::FFileHandle Handle;
    Core::Service::FOutputDevice* Error;
    // Start position plus every byte given to Serialize.
    int64_t Pos;
    int32_t BufferCount;
    uint8_t Buffer[BUFFER_SIZE];

private:
    void Flush();
};

class FFileManagerWindows : public FFileManagerGeneric
{
public:
    void Init(bool bStartup) override;
    FArchive* CreateFileReader(const char16_t* Path, uint32_t ReadFlags, FOutputDevice* Error) override;
    FArchive* CreateFileWriter(const char16_t* Path, uint32_t WriteFlags, FOutputDevice* Error) override;
    int64_t FileSize(const char16_t* Path) override;
    bool Delete(const char16_t* Path, bool bRequireExists, bool bEvenReadOnly) override;
    bool IsReadOnly(const char16_t* Path) override;
    Core::Service::ECopyResult Copy(const char16_t* Dest, const char16_t* Src, bool bReplace, bool bEvenIfReadOnly,
                                    bool bKeepAttributes, int32_t Compress,
                                    Core::Service::FCopyProgress* Progress) override;
    bool Move(const char16_t* Dest, const char16_t* Src, bool bReplace, bool bEvenIfReadOnly,
              bool bAttributes) override;
    int64_t GetGlobalTime(const char16_t* Path) override;
    bool SetGlobalTime(const char16_t* Path) override;
    bool MakeDirectory(const char16_t* Path, bool bTree) override;
    bool DeleteDirectory(const char16_t* Path, bool bRequireExists, bool bTree) override;
    TDynArray<FString> FindFiles(const char16_t* Wildcard, bool bFiles, bool bDirectories) override;
    bool SetDefaultDirectory(const char16_t* Path) override;
    FString GetDefaultDirectory() override;
    FString GetAbsolutePath(const char16_t* Path) override;
    int32_t GetDrives(FString& Drives) override;
    int32_t GetPendingWrites() override;
    bool GetTimestamp(const char16_t* Path, int32_t& Hour, int32_t& Minute, int32_t& Second, int32_t& Day,
                      int32_t& Month, int32_t& Year) override;
};
} // namespace Imp
} // namespace Core
