// A fresh folder under the system's temporary directory for one test; removed with everything in it when the
// object goes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
// The file's bytes, or "(missing)" when it cannot be read: for comparisons whose failure shows which.
std::string TestFileText(const FString& Path);
// The same for byte vectors; ReadFileBytes gives an empty vector for a missing file.
bool WriteFileBytes(const FString& Path, const std::vector<uint8_t>& Bytes);
std::vector<uint8_t> ReadFileBytes(const FString& Path);
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

// The free disk space that every query reports for the life of the object (the system's own answer again
// afterwards): plenty, unless Set says otherwise.
class FFakeFreeSpace
{
public:
    explicit FFakeFreeSpace(int64_t Bytes = int64_t(10) << 30);
    ~FFakeFreeSpace();
    FFakeFreeSpace(const FFakeFreeSpace&) = delete;
    FFakeFreeSpace& operator=(const FFakeFreeSpace&) = delete;
    void Set(int64_t Bytes);
};
