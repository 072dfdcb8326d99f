#include "tests/support/TempDir.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Core/Inc/CoreOS.h"

namespace
{
std::atomic<int32_t> GCounter{0};
std::atomic<int64_t> GFreeBytes{0};

int64_t FakeFreeSpace(const char16_t*)
{
    return GFreeBytes.load();
}

void RemoveTree(const FString& Dir)
{
    namespace fs = std::filesystem;
    const fs::path Root{std::u16string(*Dir)};
    std::error_code Error;
    // Read-only files first made writable: Windows refuses to delete them.
    for (fs::recursive_directory_iterator It(Root, Error), End; !Error && It != End; It.increment(Error))
        if (!It->is_directory(Error))
            CoreOS::FileSetAttributes(It->path().u16string().c_str(), CoreOS::FILEATTR_Normal);
    fs::remove_all(Root, Error);
}

FString SystemTempDir()
{
    for (const char* Name : {"TMPDIR", "TEMP", "TMP"})
        if (const char* Value = CoreOS::GetEnv(Name))
            if (*Value)
            {
                FString Dir = FString::FromUtf8(Value);
                if (!Dir.EndsWith(u"/") && !Dir.EndsWith(u"\\"))
                    Dir += u"/";
                return Dir;
            }
    return FString(u"/tmp/");
}
} // namespace

FTempDir::FTempDir()
{
    const long long Stamp = (long long)std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007LL;
    for (int32_t Attempt = 0; Attempt < 100; ++Attempt)
    {
        Root = SystemTempDir() + FString::Printf(u"pellmor-test-%lld-%d/", Stamp, int32_t(GCounter.fetch_add(1)));
        if (CoreOS::DirMake(*Root.Left(Root.Len() - 1)))
            return;
    }
}

FTempDir::~FTempDir()
{
    if (!Root.IsEmpty())
        RemoveTree(Root);
}

bool WriteTestFile(const FString& Path, const std::string& Bytes)
{
    CoreOS::FFileHandle File =
        CoreOS::FileOpen(*Path, CoreOS::FILEACCESS_Write, CoreOS::FILESHARE_None, CoreOS::FILECREATE_CreateAlways);
    if (!File)
        return false;
    uint32_t Written = 0;
    const bool bOk = Bytes.empty() || CoreOS::FileWrite(File, Bytes.data(), uint32_t(Bytes.size()), &Written);
    return CoreOS::FileClose(File) && bOk && Written == Bytes.size();
}

bool ReadTestFile(const FString& Path, std::string& Bytes)
{
    CoreOS::FFileHandle File =
        CoreOS::FileOpen(*Path, CoreOS::FILEACCESS_Read, CoreOS::FILESHARE_Read, CoreOS::FILECREATE_OpenExisting);
    if (!File)
        return false;
    const int64_t Size = CoreOS::FileGetSize(File);
    Bytes.assign(size_t(Size > 0 ? Size : 0), '\0');
    uint32_t Got = 0;
    const bool bOk = Bytes.empty() || CoreOS::FileRead(File, &Bytes[0], uint32_t(Bytes.size()), &Got);
    CoreOS::FileClose(File);
    return bOk && Got == Bytes.size();
}

bool TestFileExists(const FString& Path)
{
    const uint32_t Attributes = CoreOS::FileGetAttributes(*Path);
    return Attributes != CoreOS::FILEATTR_Invalid && !(Attributes & CoreOS::FILEATTR_Directory);
}

std::string TestFileText(const FString& Path)
{
    std::string Bytes;
    return ReadTestFile(Path, Bytes) ? Bytes : std::string("(missing)");
}

bool WriteFileBytes(const FString& Path, const std::vector<uint8_t>& Bytes)
{
    return WriteTestFile(Path, std::string(Bytes.begin(), Bytes.end()));
}

std::vector<uint8_t> ReadFileBytes(const FString& Path)
{
    std::string Bytes;
    ReadTestFile(Path, Bytes);
    return std::vector<uint8_t>(Bytes.begin(), Bytes.end());
}

bool WriteSparseTestFile(const FString& Path, int64_t Offset)
{
    CoreOS::FFileHandle File =
        CoreOS::FileOpen(*Path, CoreOS::FILEACCESS_Write, CoreOS::FILESHARE_None, CoreOS::FILECREATE_CreateAlways);
    uint32_t Put = 0;
    const bool bOk = File && CoreOS::FileSeek(File, Offset, CoreOS::FILESEEK_Begin) == Offset &&
                     CoreOS::FileWrite(File, "Z", 1, &Put) && Put == 1;
    return File && CoreOS::FileClose(File) && bOk;
}

FWriteProtectedFolder::FWriteProtectedFolder(const FString& InDir)
{
    char16_t Drives[64];
    if (CoreOS::GetDrives(Drives, 64) > 0)
        return;
    Dir = InDir.ToUtf8();
    std::system(("chmod a-w '" + Dir + "' && chattr +i '" + Dir + "' 2>/dev/null").c_str());
    const FString Probe = InDir + u"/probe";
    CoreOS::FFileHandle File =
        CoreOS::FileOpen(*Probe, CoreOS::FILEACCESS_Write, CoreOS::FILESHARE_None, CoreOS::FILECREATE_CreateNew);
    bProtected = File == nullptr;
    if (File)
    {
        CoreOS::FileClose(File);
        CoreOS::FileDelete(*Probe);
    }
}

FWriteProtectedFolder::~FWriteProtectedFolder()
{
    if (!Dir.empty())
        std::system(("chattr -i '" + Dir + "' 2>/dev/null; chmod u+w '" + Dir + "'").c_str());
}

FFakeFreeSpace::FFakeFreeSpace(int64_t Bytes)
{
    Set(Bytes);
    CoreOS::SetFreeDiskSpaceHook(&FakeFreeSpace);
}

FFakeFreeSpace::~FFakeFreeSpace()
{
    CoreOS::SetFreeDiskSpaceHook(nullptr);
}

void FFakeFreeSpace::Set(int64_t Bytes)
{
    GFreeBytes.store(Bytes);
}
