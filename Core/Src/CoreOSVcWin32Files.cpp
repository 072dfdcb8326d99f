// The operating-system layer on Win32: files, directories, paths and disk space.
#include "Core/Inc/CoreOS.h"
#include "Core/Src/CoreOSNative.h"

#include <string>

#include <windows.h>

namespace CoreOS
{
struct FOsFile
{
    HANDLE Handle;
};
struct FOsLock
{
    HANDLE Handle;
};
} // namespace CoreOS

namespace
{
inline const wchar_t* W(const char16_t* Text)
{
    return reinterpret_cast<const wchar_t*>(Text);
}

// Windows refuses to write over a read-only file, but Wine running as root does not (the host's permission bits
// do not stop root). The attribute is checked here as well, so read-only files behave alike on every host.
bool IsReadOnlyFile(const char16_t* Path)
{
    const DWORD Attributes = GetFileAttributesW(W(Path));
    return Attributes != INVALID_FILE_ATTRIBUTES && !(Attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (Attributes & FILE_ATTRIBUTE_READONLY);
}

int32_t CopyOut(const wchar_t* Text, char16_t* Dest, int32_t Capacity)
{
    return CoreOS::Native::CopyText(reinterpret_cast<const char16_t*>(Text), Dest, Capacity);
}
} // namespace

namespace CoreOS
{
uint32_t LastError()
{
    return ::GetLastError();
}

void Native::SetLastError(uint32_t Error)
{
    ::SetLastError(Error);
}

int32_t SystemErrorMessage(uint32_t Error, char16_t* Dest, int32_t Capacity)
{
    wchar_t Buffer[1024];
    Buffer[0] = 0;
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, Error,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), Buffer, 1024, nullptr);
    // First line only.
    for (wchar_t* P = Buffer; *P; ++P)
        if (*P == L'\r' || *P == L'\n')
        {
            *P = 0;
            break;
        }
    return CopyOut(Buffer, Dest, Capacity);
}

FFileHandle Native::FileOpen(const char16_t* Path, uint32_t Access, uint32_t Share, uint32_t Create)
{
    DWORD DesiredAccess = 0;
    if (Access & FILEACCESS_Read)
        DesiredAccess |= GENERIC_READ;
    if (Access & FILEACCESS_Write)
        DesiredAccess |= GENERIC_WRITE;
    DWORD ShareMode = 0;
    if (Share & FILESHARE_Read)
        ShareMode |= FILE_SHARE_READ;
    if (Share & FILESHARE_Write)
        ShareMode |= FILE_SHARE_WRITE;
    if (Share & FILESHARE_Delete)
        ShareMode |= FILE_SHARE_DELETE;
    DWORD Disposition = OPEN_EXISTING;
    switch (Create)
    {
    case FILECREATE_CreateNew: Disposition = CREATE_NEW; break;
    case FILECREATE_CreateAlways: Disposition = CREATE_ALWAYS; break;
    case FILECREATE_OpenAlways: Disposition = OPEN_ALWAYS; break;
    default: break;
    }
    if ((Access & FILEACCESS_Write) && Create != FILECREATE_CreateNew && IsReadOnlyFile(Path))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    HANDLE Handle =
        CreateFileW(W(Path), DesiredAccess, ShareMode, nullptr, Disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (Handle == INVALID_HANDLE_VALUE || Handle == nullptr)
        return nullptr;
    return new FOsFile{Handle};
}

bool Native::FileRead(FFileHandle File, void* Data, uint32_t Length, uint32_t* BytesRead)
{
    DWORD Got = 0;
    const BOOL bOk = ReadFile(File->Handle, Data, Length, &Got, nullptr);
    *BytesRead = Got;
    return bOk != 0;
}

bool Native::FileWrite(FFileHandle File, const void* Data, uint32_t Length, uint32_t* BytesWritten)
{
    DWORD Put = 0;
    const BOOL bOk = WriteFile(File->Handle, Data, Length, &Put, nullptr);
    *BytesWritten = Put;
    return bOk != 0;
}

int64_t FileSeek(FFileHandle File, int64_t Distance, int32_t Origin)
{
    if (!File)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    LARGE_INTEGER Move, Result;
    Move.QuadPart = Distance;
    const DWORD Method = Origin == FILESEEK_Begin ? FILE_BEGIN : Origin == FILESEEK_Current ? FILE_CURRENT : FILE_END;
    if (!SetFilePointerEx(File->Handle, Move, &Result, Method))
        return -1;
    return Result.QuadPart;
}

int64_t FileGetSize(FFileHandle File)
{
    LARGE_INTEGER Size;
    if (!File || !GetFileSizeEx(File->Handle, &Size))
        return -1;
    return Size.QuadPart;
}

bool Native::FileFlush(FFileHandle File)
{
    return FlushFileBuffers(File->Handle) != 0;
}

bool Native::FileClose(FFileHandle File)
{
    const BOOL bOk = CloseHandle(File->Handle);
    delete File;
    return bOk != 0;
}

bool Native::FileDelete(const char16_t* Path)
{
    return DeleteFileW(W(Path)) != 0;
}

bool Native::FileMove(const char16_t* Src, const char16_t* Dest)
{
    return MoveFileW(W(Src), W(Dest)) != 0;
}

bool Native::FileReplace(const char16_t* Src, const char16_t* Dest)
{
    // Windows refuses to replace a read-only file; Wine does not, so the rule is kept here for both.
    if (IsReadOnlyFile(Dest))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return MoveFileExW(W(Src), W(Dest), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool FileCopy(const char16_t* Src, const char16_t* Dest, bool bFailIfExists)
{
    if (!bFailIfExists && IsReadOnlyFile(Dest))
    {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return CopyFileW(W(Src), W(Dest), bFailIfExists ? TRUE : FALSE) != 0;
}

uint32_t FileGetAttributes(const char16_t* Path)
{
    const DWORD Attributes = GetFileAttributesW(W(Path));
    if (Attributes == INVALID_FILE_ATTRIBUTES)
        return FILEATTR_Invalid;
    uint32_t Result = 0;
    if (Attributes & FILE_ATTRIBUTE_DIRECTORY)
        Result |= FILEATTR_Directory;
    if (Attributes & FILE_ATTRIBUTE_READONLY)
        Result |= FILEATTR_ReadOnly;
    return Result ? Result : uint32_t(FILEATTR_Normal);
}

bool FileSetAttributes(const char16_t* Path, uint32_t Attributes)
{
    const DWORD Value = (Attributes & FILEATTR_ReadOnly) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
    return SetFileAttributesW(W(Path), Value) != 0;
}

bool DirMake(const char16_t* Path)
{
    return CreateDirectoryW(W(Path), nullptr) != 0;
}

bool DirRemove(const char16_t* Path)
{
    return RemoveDirectoryW(W(Path)) != 0;
}

void FindFiles(const char16_t* Wildcard, FFindVisitor Visit, void* Context)
{
    WIN32_FIND_DATAW Data;
    HANDLE Find = FindFirstFileW(W(Wildcard), &Data);
    if (Find == INVALID_HANDLE_VALUE)
        return;
    do
    {
        char16_t Name[MAX_PATH + 1];
        CopyOut(Data.cFileName, Name, MAX_PATH + 1);
        // A link or junction is an entry of its own, not the directory it points to: walks never leave a tree.
        const bool bDirectory = (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                (Data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        Visit(Context, Name, bDirectory);
    } while (FindNextFileW(Find, &Data));
    FindClose(Find);
}

bool DirSetCurrent(const char16_t* Path)
{
    return SetCurrentDirectoryW(W(Path)) != 0;
}

char16_t PathSeparator()
{
    return u'\\';
}

int32_t DirGetCurrent(char16_t* Dest, int32_t Capacity)
{
    wchar_t Buffer[1024];
    const DWORD Len = GetCurrentDirectoryW(1024, Buffer);
    if (Len == 0 || Len >= 1024)
        Buffer[0] = 0;
    return CopyOut(Buffer, Dest, Capacity);
}

int32_t TempDirectory(char16_t* Dest, int32_t Capacity)
{
    wchar_t Buffer[MAX_PATH + 2];
    DWORD Len = GetTempPathW(MAX_PATH + 2, Buffer);
    if (Len == 0 || Len > MAX_PATH + 1)
        Len = 0;
    while (Len > 3 && (Buffer[Len - 1] == L'\\' || Buffer[Len - 1] == L'/'))
        --Len;
    Buffer[Len] = 0;
    return CopyOut(Buffer, Dest, Capacity);
}

int32_t GetDrives(char16_t* Dest, int32_t Capacity)
{
    wchar_t List[26 * 3 + 1];
    int32_t Len = 0;
    const DWORD Mask = GetLogicalDrives();
    for (int Letter = 0; Letter < 26; ++Letter)
    {
        if (!(Mask & (1u << Letter)))
            continue;
        const wchar_t Root[4] = {wchar_t(L'A' + Letter), L':', L'\\', 0};
        const UINT Type = GetDriveTypeW(Root);
        if (Type == DRIVE_UNKNOWN || Type == DRIVE_REMOVABLE || Type == DRIVE_RAMDISK)
            continue;
        if (Len > 0)
            List[Len++] = L';';
        List[Len++] = wchar_t(L'A' + Letter);
        List[Len++] = L':';
    }
    List[Len] = 0;
    return CopyOut(List, Dest, Capacity);
}

int32_t PathOnDisk(const char16_t* Path, char16_t* Dest, int32_t Capacity)
{
    std::wstring Written(W(Path));
    for (wchar_t& C : Written)
        if (C == L'/')
            C = L'\\';
    // The root stays as written: a drive ("C:"), or a share ("\\server\share").
    size_t Start = 0;
    if (Written.size() >= 2 && Written[1] == L':')
        Start = 2;
    else if (Written.compare(0, 2, L"\\\\") == 0)
    {
        Start = Written.find(L'\\', 2);
        Start = Start == std::wstring::npos ? Written.size() : Written.find(L'\\', Start + 1);
        Start = Start == std::wstring::npos ? Written.size() : Start;
    }
    std::wstring OnDisk = Written.substr(0, Start);
    bool bLookUp = true;
    while (Start < Written.size())
    {
        size_t End = Written.find(L'\\', Start);
        End = End == std::wstring::npos ? Written.size() : End;
        std::wstring Component = Written.substr(Start, End - Start);
        // A wildcard would find some other name; "." and ".." are no names of their own.
        const bool bName = !Component.empty() && Component != L"." && Component != L".." &&
                           Component.find_first_of(L"*?") == std::wstring::npos;
        if (bLookUp && bName)
        {
            WIN32_FIND_DATAW Data;
            HANDLE Find = FindFirstFileW((OnDisk + Component).c_str(), &Data);
            bLookUp = Find != INVALID_HANDLE_VALUE;
            if (bLookUp)
            {
                Component = Data.cFileName;
                FindClose(Find);
            }
        }
        OnDisk += Component;
        if (End < Written.size())
            OnDisk += L'\\';
        Start = End + 1;
    }
    return CopyOut(OnDisk.c_str(), Dest, Capacity);
}

bool GetFileTimeUtc(const char16_t* Path, FLocalTime& Out)
{
    WIN32_FILE_ATTRIBUTE_DATA Data;
    if (!GetFileAttributesExW(W(Path), GetFileExInfoStandard, &Data))
        return false;
    SYSTEMTIME Utc;
    FileTimeToSystemTime(&Data.ftLastWriteTime, &Utc);
    Out.Year = Utc.wYear;
    Out.Month = Utc.wMonth;
    Out.DayOfWeek = Utc.wDayOfWeek;
    Out.Day = Utc.wDay;
    Out.Hour = Utc.wHour;
    Out.Minute = Utc.wMinute;
    Out.Second = Utc.wSecond;
    Out.Milliseconds = Utc.wMilliseconds;
    return true;
}

int64_t Native::FreeDiskSpace(const char16_t* Directory)
{
    ULARGE_INTEGER Available;
    if (!GetDiskFreeSpaceExW(W(Directory), &Available, nullptr, nullptr))
        return -1;
    return int64_t(Available.QuadPart);
}

// NTFS makes renames durable through its own journal; there is no directory handle to flush.
bool SyncDirectory(const char16_t*)
{
    return true;
}

bool FileIdentity(const char16_t* Path, FFileIdentity& Out)
{
    // No access asked and every kind of sharing granted: a file the game holds open can still be asked, and
    // backup semantics let a directory be opened too.
    HANDLE Handle = CreateFileW(W(Path), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (Handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION Info;
    const BOOL bOk = GetFileInformationByHandle(Handle, &Info);
    const DWORD Error = GetLastError();
    CloseHandle(Handle);
    if (!bOk)
    {
        SetLastError(Error);
        return false;
    }
    Out.Volume = Info.dwVolumeSerialNumber;
    Out.Index = (uint64_t(Info.nFileIndexHigh) << 32) | Info.nFileIndexLow;
    return true;
}

FLockHandle LockAcquire(const char16_t* Path)
{
    // Reading is enough to lock, so a lock file left read-only still serves; others may open it meanwhile.
    HANDLE Handle = CreateFileW(W(Path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (Handle == INVALID_HANDLE_VALUE)
        return nullptr;
    // The first byte stands for the whole file; the lock belongs to this handle.
    OVERLAPPED Where = {};
    if (!LockFileEx(Handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &Where))
    {
        DWORD Error = GetLastError();
        if (Error == ERROR_IO_PENDING)
            Error = ERROR_LOCK_VIOLATION;
        CloseHandle(Handle);
        SetLastError(Error);
        return nullptr;
    }
    return new FOsLock{Handle};
}

void LockRelease(FLockHandle Lock)
{
    if (!Lock)
        return;
    // Closing the handle drops its lock.
    CloseHandle(Lock->Handle);
    delete Lock;
}
} // namespace CoreOS
