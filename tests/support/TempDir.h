// A fresh folder under the system's temporary directory for one test; removed with everything in it when the
// object goes.
#pragma once

#include <string>

#include "Core/Inc/Core.h"

class FTempDir
{
public:
    FTempDir();
    ~FTempDir();
    FTempDir(const FTempDir&) = delete;
    FTempDir& operator=(const FTempDir&) = delete;

    // The folder, ending with a separator.
    const FString& Path() const { return Root; }
    // Path() + Relative.
    FString operator/(const char16_t* Relative) const { return Root + Relative; }
    FString File(const char16_t* Relative) const { return Root + Relative; }

private:
    FString Root;
};

// Whole-file helpers for tests (no Core file manager involved).
bool WriteTestFile(const FString& Path, const std::string& Bytes);
bool ReadTestFile(const FString& Path, std::string& Bytes);
bool TestFileExists(const FString& Path);
// A sparse file whose only written byte, 'Z', is at Offset (so it is Offset + 1 bytes long).
bool WriteSparseTestFile(const FString& Path, int64_t Offset);

// Makes a folder refuse new files for the life of the object, with the POSIX shell's tools: no write permission,
// and immutable for root, whom permissions do not stop. IsProtected() is false where that cannot be done
// (Windows, a file system without the immutable flag); a test then skips.
class FWriteProtectedFolder
{
public:
    explicit FWriteProtectedFolder(const FString& Dir);
    ~FWriteProtectedFolder();
    FWriteProtectedFolder(const FWriteProtectedFolder&) = delete;
    FWriteProtectedFolder& operator=(const FWriteProtectedFolder&) = delete;
    bool IsProtected() const { return bProtected; }

private:
    std::string Dir;
    bool bProtected = false;
};
