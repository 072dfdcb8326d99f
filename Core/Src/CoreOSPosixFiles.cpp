// The operating-system layer on POSIX: files, directories, paths and disk space.
//
// Paths arrive as UTF-16 with either separator; a component that does not exist as written is found in its
// directory without regard to ASCII case. Windows semantics are kept where the logic above relies on them:
// error numbers are Win32's, a read-only file (no owner write bit) cannot be opened for writing or deleted, even
// by root, and a rename does not replace an existing file.
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtf8.h"
#include "Core/Src/CoreOSNative.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

namespace CoreOS
{
struct FOsFile
{
    int Fd;
};
struct FOsLock
{
    int Fd;
};
} // namespace CoreOS

namespace
{
using namespace CoreOS;

thread_local uint32_t GLastError = 0;

bool EqualNoCase(const std::string& A, const std::string& B)
{
    if (A.size() != B.size())
        return false;
    for (size_t i = 0; i < A.size(); ++i)
    {
        char X = A[i], Y = B[i];
        if (X >= 'A' && X <= 'Z')
            X = char(X + 32);
        if (Y >= 'A' && Y <= 'Z')
            Y = char(Y + 32);
        if (X != Y)
            return false;
    }
    return true;
}

bool Exists(const std::string& Path)
{
    struct stat St;
    return lstat(Path.c_str(), &St) == 0;
}

std::vector<std::string> ListDirectory(const std::string& Dir)
{
    std::vector<std::string> Names;
    DIR* Handle = opendir(Dir.empty() ? "." : Dir.c_str());
    if (!Handle)
        return Names;
    while (dirent* Entry = readdir(Handle))
        Names.push_back(Entry->d_name);
    closedir(Handle);
    std::sort(Names.begin(), Names.end());
    return Names;
}

// "." and ".." are applied to the text, as Windows does: "ini/../SkipRules.ini" names SkipRules.ini whether
// or not a directory ini exists. Leading ".." of a relative path stay.
std::string Normalize(const std::string& Path)
{
    const bool bAbsolute = !Path.empty() && Path[0] == '/';
    std::vector<std::string> Parts;
    size_t Start = 0;
    while (Start <= Path.size())
    {
        size_t End = Path.find('/', Start);
        if (End == std::string::npos)
            End = Path.size();
        const std::string Component = Path.substr(Start, End - Start);
        Start = End + 1;
        if (Component.empty() || Component == ".")
            continue;
        if (Component == "..")
        {
            if (!Parts.empty() && Parts.back() != "..")
                Parts.pop_back();
            else if (!bAbsolute)
                Parts.push_back(Component);
            continue;
        }
        Parts.push_back(Component);
    }
    std::string Out = bAbsolute ? "/" : "";
    for (size_t i = 0; i < Parts.size(); ++i)
        Out += (i ? "/" : "") + Parts[i];
    return Out.empty() ? "." : Out;
}

// The path as the system knows it: separators made '/', "." and ".." applied, components matched without
// regard to case where the written form does not exist.
std::string Resolve(const char16_t* Path)
{
    std::string Written = appUtf16ToUtf8(Path);
    std::replace(Written.begin(), Written.end(), '\\', '/');
    if (Written.empty())
        return Written;
    Written = Normalize(Written);
    if (Exists(Written))
        return Written;

    std::string Out = Written[0] == '/' ? "/" : "";
    size_t Start = 0;
    bool bLookUp = true;
    while (Start <= Written.size())
    {
        size_t End = Written.find('/', Start);
        if (End == std::string::npos)
            End = Written.size();
        const std::string Component = Written.substr(Start, End - Start);
        Start = End + 1;
        if (Component.empty())
            continue;
        std::string Candidate = Out + Component;
        if (bLookUp && Component != "." && Component != ".." && !Exists(Candidate))
        {
            const std::string Dir = Out.empty() ? "." : Out;
            bool bFound = false;
            for (const std::string& Name : ListDirectory(Dir))
                if (EqualNoCase(Name, Component))
                {
                    Candidate = Out + Name;
                    bFound = true;
                    break;
                }
            // Below a missing component nothing can be found any more.
            bLookUp = bFound;
        }
        Out = Candidate + "/";
    }
    if (Out.size() > 1 && Out.back() == '/')
        Out.pop_back();
    return Out;
}

std::string ParentOf(const std::string& Path)
{
    const size_t Slash = Path.find_last_of('/');
    if (Slash == std::string::npos)
        return ".";
    return Slash == 0 ? "/" : Path.substr(0, Slash);
}

uint32_t MapErrno(int Error, const std::string& Path)
{
    switch (Error)
    {
    case ENOENT:
        return Exists(ParentOf(Path)) ? OSERROR_FileNotFound : OSERROR_PathNotFound;
    case ENOTDIR:
        return OSERROR_PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return OSERROR_AccessDenied;
    case EEXIST:
        return OSERROR_AlreadyExists;
    case ENOTEMPTY:
        return OSERROR_DirNotEmpty;
    case ENOSPC:
    case EDQUOT:
        return OSERROR_DiskFull;
    case EXDEV:
        return OSERROR_NotSameDevice;
    case EBUSY:
    case ETXTBSY:
        return OSERROR_SharingViolation;
    case EBADF:
        return OSERROR_InvalidHandle;
    case ENAMETOOLONG:
        return OSERROR_FilenameTooLong;
    case EINVAL:
        return OSERROR_InvalidParameter;
    default:
        return OSERROR_GenFailure;
    }
}

bool Fail(uint32_t Error)
{
    GLastError = Error;
    return false;
}

bool IsReadOnlyFile(const std::string& Path)
{
    struct stat St;
    return stat(Path.c_str(), &St) == 0 && !S_ISDIR(St.st_mode) && !(St.st_mode & S_IWUSR);
}

bool MatchWildcard(const char* Pattern, const char* Name)
{
    // '*' any run, '?' one character; ASCII letters compare without regard to case.
    while (*Pattern)
    {
        if (*Pattern == '*')
        {
            while (*Pattern == '*')
                ++Pattern;
            if (!*Pattern)
                return true;
            for (; *Name; ++Name)
                if (MatchWildcard(Pattern, Name))
                    return true;
            return false;
        }
        if (!*Name)
            return false;
        char P = *Pattern, N = *Name;
        if (P >= 'A' && P <= 'Z')
            P = char(P + 32);
        if (N >= 'A' && N <= 'Z')
            N = char(N + 32);
        if (P != '?' && P != N)
            return false;
        ++Pattern;
        ++Name;
    }
    return !*Name;
}

int32_t CopyOut(const std::u16string& Text, char16_t* Dest, int32_t Capacity)
{
    return Native::CopyText(Text.c_str(), Dest, Capacity);
}
} // namespace

namespace CoreOS
{
uint32_t LastError()
{
    return GLastError;
}

void Native::SetLastError(uint32_t Error)
{
    GLastError = Error;
}

int32_t SystemErrorMessage(uint32_t Error, char16_t* Dest, int32_t Capacity)
{
    const char* Text;
    switch (Error)
    {
    case 0: Text = "The operation completed successfully."; break;
    case OSERROR_FileNotFound: Text = "The system cannot find the file specified."; break;
    case OSERROR_PathNotFound: Text = "The system cannot find the path specified."; break;
    case OSERROR_AccessDenied: Text = "Access is denied."; break;
    case OSERROR_InvalidHandle: Text = "The handle is invalid."; break;
    case OSERROR_NotSameDevice: Text = "The system cannot move the file to a different disk drive."; break;
    case OSERROR_NotEnoughMemory: Text = "Not enough memory resources are available to process this command."; break;
    case OSERROR_SharingViolation:
        Text = "The process cannot access the file because it is being used by another process.";
        break;
    case OSERROR_LockViolation:
        Text = "The process cannot access the file because another process has locked a portion of the file.";
        break;
    case OSERROR_FileExists: Text = "The file exists."; break;
    case OSERROR_InvalidParameter: Text = "The parameter is incorrect."; break;
    case OSERROR_DiskFull: Text = "There is not enough space on the disk."; break;
    case OSERROR_DirNotEmpty: Text = "The directory is not empty."; break;
    case OSERROR_AlreadyExists: Text = "Cannot create a file when that file already exists."; break;
    case OSERROR_FilenameTooLong: Text = "The filename or extension is too long."; break;
    default: Text = "A device attached to the system is not functioning."; break;
    }
    return CopyOut(appUtf8ToUtf16(Text), Dest, Capacity);
}

FFileHandle Native::FileOpen(const char16_t* Path, uint32_t Access, uint32_t /*Share: not enforceable on POSIX*/,
                             uint32_t Create)
{
    const std::string Resolved = Resolve(Path);
    if (Resolved.empty())
    {
        Fail(OSERROR_PathNotFound);
        return nullptr;
    }
    const bool bWrite = (Access & FILEACCESS_Write) != 0;
    int Flags = bWrite ? ((Access & FILEACCESS_Read) ? O_RDWR : O_WRONLY) : O_RDONLY;
    switch (Create)
    {
    case FILECREATE_CreateNew: Flags |= O_CREAT | O_EXCL; break;
    case FILECREATE_CreateAlways: Flags |= O_CREAT | O_TRUNC; break;
    case FILECREATE_OpenAlways: Flags |= O_CREAT; break;
    default: break;
    }
    struct stat St;
    const bool bExists = stat(Resolved.c_str(), &St) == 0;
    if (bExists && S_ISDIR(St.st_mode))
    {
        Fail(OSERROR_AccessDenied);
        return nullptr;
    }
    if (bExists && Create == FILECREATE_CreateNew)
    {
        Fail(OSERROR_FileExists);
        return nullptr;
    }
    if (bExists && bWrite && !(St.st_mode & S_IWUSR))
    {
        Fail(OSERROR_AccessDenied);
        return nullptr;
    }
    const int Fd = open(Resolved.c_str(), Flags | O_CLOEXEC, 0666);
    if (Fd < 0)
    {
        Fail(MapErrno(errno, Resolved));
        return nullptr;
    }
    return new FOsFile{Fd};
}

bool Native::FileRead(FFileHandle File, void* Data, uint32_t Length, uint32_t* BytesRead)
{
    *BytesRead = 0;
    char* Out = static_cast<char*>(Data);
    while (*BytesRead < Length)
    {
        const ssize_t Got = read(File->Fd, Out + *BytesRead, Length - *BytesRead);
        if (Got < 0)
        {
            if (errno == EINTR)
                continue;
            return Fail(MapErrno(errno, std::string()));
        }
        if (Got == 0)
            break;
        *BytesRead += uint32_t(Got);
    }
    return true;
}

bool Native::FileWrite(FFileHandle File, const void* Data, uint32_t Length, uint32_t* BytesWritten)
{
    *BytesWritten = 0;
    const char* In = static_cast<const char*>(Data);
    while (*BytesWritten < Length)
    {
        const ssize_t Put = write(File->Fd, In + *BytesWritten, Length - *BytesWritten);
        if (Put < 0)
        {
            if (errno == EINTR)
                continue;
            return Fail(MapErrno(errno, std::string()));
        }
        *BytesWritten += uint32_t(Put);
    }
    return true;
}

int64_t FileSeek(FFileHandle File, int64_t Distance, int32_t Origin)
{
    if (!File)
    {
        Fail(OSERROR_InvalidHandle);
        return -1;
    }
    const int Whence = Origin == FILESEEK_Begin ? SEEK_SET : Origin == FILESEEK_Current ? SEEK_CUR : SEEK_END;
    const off_t Result = lseek(File->Fd, off_t(Distance), Whence);
    if (Result < 0)
    {
        Fail(MapErrno(errno, std::string()));
        return -1;
    }
    return int64_t(Result);
}

int64_t FileGetSize(FFileHandle File)
{
    struct stat St;
    if (!File || fstat(File->Fd, &St) != 0)
    {
        Fail(File ? MapErrno(errno, std::string()) : OSERROR_InvalidHandle);
        return -1;
    }
    return int64_t(St.st_size);
}

bool Native::FileFlush(FFileHandle File)
{
    return fsync(File->Fd) == 0 || Fail(MapErrno(errno, std::string()));
}

bool Native::FileClose(FFileHandle File)
{
    const int Result = close(File->Fd);
    delete File;
    return Result == 0 || Fail(MapErrno(errno, std::string()));
}

bool Native::FileDelete(const char16_t* Path)
{
    const std::string Resolved = Resolve(Path);
    struct stat St;
    if (lstat(Resolved.c_str(), &St) != 0)
        return Fail(MapErrno(errno, Resolved));
    if (S_ISDIR(St.st_mode) || IsReadOnlyFile(Resolved))
        return Fail(OSERROR_AccessDenied);
    return unlink(Resolved.c_str()) == 0 || Fail(MapErrno(errno, Resolved));
}

bool Native::FileMove(const char16_t* Src, const char16_t* Dest)
{
    const std::string From = Resolve(Src);
    const std::string To = Resolve(Dest);
    if (!Exists(From))
        return Fail(MapErrno(ENOENT, From));
    if (Exists(To))
        return Fail(OSERROR_AlreadyExists);
    return rename(From.c_str(), To.c_str()) == 0 || Fail(MapErrno(errno, To));
}

bool Native::FileReplace(const char16_t* Src, const char16_t* Dest)
{
    const std::string From = Resolve(Src);
    const std::string To = Resolve(Dest);
    if (!Exists(From))
        return Fail(MapErrno(ENOENT, From));
    struct stat St;
    if (lstat(To.c_str(), &St) == 0 && (S_ISDIR(St.st_mode) || IsReadOnlyFile(To)))
        return Fail(OSERROR_AccessDenied);
    return rename(From.c_str(), To.c_str()) == 0 || Fail(MapErrno(errno, To));
}

bool FileCopy(const char16_t* Src, const char16_t* Dest, bool bFailIfExists)
{
    const std::string From = Resolve(Src);
    const std::string To = Resolve(Dest);
    struct stat St;
    if (stat(From.c_str(), &St) != 0)
        return Fail(MapErrno(errno, From));
    struct stat ToSt;
    if (stat(To.c_str(), &ToSt) == 0)
    {
        if (bFailIfExists)
            return Fail(OSERROR_FileExists);
        // Truncating the destination would empty the source; Windows refuses this copy as a sharing violation.
        if (ToSt.st_dev == St.st_dev && ToSt.st_ino == St.st_ino)
            return Fail(OSERROR_SharingViolation);
        if (IsReadOnlyFile(To))
            return Fail(OSERROR_AccessDenied);
    }
    const int In = open(From.c_str(), O_RDONLY | O_CLOEXEC);
    if (In < 0)
        return Fail(MapErrno(errno, From));
    const int Out = open(To.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, St.st_mode & 0777);
    if (Out < 0)
    {
        const uint32_t Error = MapErrno(errno, To);
        close(In);
        return Fail(Error);
    }
    std::vector<char> Buffer(1 << 16);
    bool bOk = true;
    for (;;)
    {
        const ssize_t Got = read(In, Buffer.data(), Buffer.size());
        if (Got == 0)
            break;
        if (Got < 0 || write(Out, Buffer.data(), size_t(Got)) != Got)
        {
            bOk = Fail(MapErrno(errno, To));
            break;
        }
    }
    close(In);
    if (close(Out) != 0 && bOk)
        bOk = Fail(MapErrno(errno, To));
    return bOk;
}

uint32_t FileGetAttributes(const char16_t* Path)
{
    const std::string Resolved = Resolve(Path);
    struct stat St;
    if (stat(Resolved.c_str(), &St) != 0)
    {
        Fail(MapErrno(errno, Resolved));
        return FILEATTR_Invalid;
    }
    uint32_t Attributes = 0;
    if (S_ISDIR(St.st_mode))
        Attributes |= FILEATTR_Directory;
    else if (!(St.st_mode & S_IWUSR))
        Attributes |= FILEATTR_ReadOnly;
    return Attributes ? Attributes : uint32_t(FILEATTR_Normal);
}

bool FileSetAttributes(const char16_t* Path, uint32_t Attributes)
{
    const std::string Resolved = Resolve(Path);
    struct stat St;
    if (stat(Resolved.c_str(), &St) != 0)
        return Fail(MapErrno(errno, Resolved));
    mode_t Mode = St.st_mode & 07777;
    if (Attributes & FILEATTR_ReadOnly)
        Mode &= ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        Mode |= S_IWUSR;
    return chmod(Resolved.c_str(), Mode) == 0 || Fail(MapErrno(errno, Resolved));
}

bool DirMake(const char16_t* Path)
{
    const std::string Resolved = Resolve(Path);
    return mkdir(Resolved.c_str(), 0777) == 0 || Fail(MapErrno(errno, Resolved));
}

bool DirRemove(const char16_t* Path)
{
    const std::string Resolved = Resolve(Path);
    return rmdir(Resolved.c_str()) == 0 || Fail(MapErrno(errno, Resolved));
}

void FindFiles(const char16_t* Wildcard, FFindVisitor Visit, void* Context)
{
    std::string Written = appUtf16ToUtf8(Wildcard);
    std::replace(Written.begin(), Written.end(), '\\', '/');
    const size_t Slash = Written.find_last_of('/');
    const std::string Pattern = Slash == std::string::npos ? Written : Written.substr(Slash + 1);
    std::string Dir = Slash == std::string::npos ? "" : (Slash == 0 ? "/" : Written.substr(0, Slash));
    if (!Dir.empty())
        Dir = Resolve(appUtf8ToUtf16(Dir.c_str()).c_str());
    const std::string Prefix = Dir.empty() ? "" : (Dir == "/" ? "/" : Dir + "/");
    for (const std::string& Name : ListDirectory(Dir))
    {
        // As on Windows, a name without an extension also matches as "name." ("*.*" lists every entry).
        const bool bPlain = Name.find('.') == std::string::npos;
        if (!MatchWildcard(Pattern.c_str(), Name.c_str()) &&
            !(bPlain && MatchWildcard(Pattern.c_str(), (Name + ".").c_str())))
            continue;
        // A link is an entry of its own, not the directory it points to: walks of a tree never leave it.
        struct stat St;
        const bool bDirectory = lstat((Prefix + Name).c_str(), &St) == 0 && S_ISDIR(St.st_mode);
        Visit(Context, appUtf8ToUtf16(Name.c_str()).c_str(), bDirectory);
    }
}

bool DirSetCurrent(const char16_t* Path)
{
    const std::string Resolved = Resolve(Path);
    return chdir(Resolved.c_str()) == 0 || Fail(MapErrno(errno, Resolved));
}

char16_t PathSeparator()
{
    return u'/';
}

int32_t DirGetCurrent(char16_t* Dest, int32_t Capacity)
{
    char Buffer[4096];
    if (!getcwd(Buffer, sizeof(Buffer)))
        return CopyOut(std::u16string(), Dest, Capacity);
    return CopyOut(appUtf8ToUtf16(Buffer), Dest, Capacity);
}

int32_t TempDirectory(char16_t* Dest, int32_t Capacity)
{
    const char* Env = getenv("TMPDIR");
    std::string Dir = Env && Env[0] ? Env : "/tmp";
    while (Dir.size() > 1 && Dir.back() == '/')
        Dir.pop_back();
    return CopyOut(appUtf8ToUtf16(Dir.c_str()), Dest, Capacity);
}

int32_t GetDrives(char16_t* Dest, int32_t Capacity)
{
    return CopyOut(std::u16string(), Dest, Capacity);
}

int32_t PathOnDisk(const char16_t* Path, char16_t* Dest, int32_t Capacity)
{
    std::string OnDisk = Resolve(Path);
    const std::u16string Written(Path);
    if (!Written.empty() && (Written.back() == u'/' || Written.back() == u'\\') && OnDisk != "/")
        OnDisk += '/';
    return CopyOut(appUtf8ToUtf16(OnDisk.c_str()), Dest, Capacity);
}

bool GetFileTimeUtc(const char16_t* Path, FLocalTime& Out)
{
    const std::string Resolved = Resolve(Path);
    struct stat St;
    if (stat(Resolved.c_str(), &St) != 0)
        return Fail(MapErrno(errno, Resolved));
    time_t Seconds = St.st_mtime;
    tm Utc;
    gmtime_r(&Seconds, &Utc);
    Out.Year = Utc.tm_year + 1900;
    Out.Month = Utc.tm_mon + 1;
    Out.DayOfWeek = Utc.tm_wday;
    Out.Day = Utc.tm_mday;
    Out.Hour = Utc.tm_hour;
    Out.Minute = Utc.tm_min;
    Out.Second = Utc.tm_sec;
    Out.Milliseconds = int32_t(St.st_mtim.tv_nsec / 1000000);
    return true;
}

int64_t Native::FreeDiskSpace(const char16_t* Directory)
{
    const std::string Resolved = Resolve(Directory);
    struct statvfs Info;
    if (statvfs(Resolved.empty() ? "." : Resolved.c_str(), &Info) != 0)
    {
        Fail(MapErrno(errno, Resolved));
        return -1;
    }
    return int64_t(Info.f_bavail) * int64_t(Info.f_frsize);
}

bool SyncDirectory(const char16_t* Directory)
{
    const std::string Resolved = Resolve(Directory);
    const int Fd = open(Resolved.empty() ? "." : Resolved.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Fd < 0)
        return Fail(MapErrno(errno, Resolved));
    const bool bOk = fsync(Fd) == 0 || Fail(MapErrno(errno, Resolved));
    close(Fd);
    return bOk;
}

bool FileIdentity(const char16_t* Path, FFileIdentity& Out)
{
    const std::string Resolved = Resolve(Path);
    struct stat St;
    if (Resolved.empty() || stat(Resolved.c_str(), &St) != 0)
        return Fail(Resolved.empty() ? OSERROR_PathNotFound : MapErrno(errno, Resolved));
    Out.Volume = uint64_t(St.st_dev);
    Out.Index = uint64_t(St.st_ino);
    return true;
}

FLockHandle LockAcquire(const char16_t* Path)
{
    const std::string Resolved = Resolve(Path);
    if (Resolved.empty())
    {
        Fail(OSERROR_PathNotFound);
        return nullptr;
    }
    // Reading is enough to lock, so a lock file left read-only still serves.
    const int Fd = open(Resolved.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    if (Fd < 0)
    {
        Fail(MapErrno(errno, Resolved));
        return nullptr;
    }
    // The lock belongs to this open file: another open of the same file, here or in another process, is refused.
    int Result;
    do
        Result = flock(Fd, LOCK_EX | LOCK_NB);
    while (Result != 0 && errno == EINTR);
    if (Result != 0)
    {
        const uint32_t Error = errno == EWOULDBLOCK ? uint32_t(OSERROR_LockViolation) : MapErrno(errno, Resolved);
        close(Fd);
        Fail(Error);
        return nullptr;
    }
    return new FOsLock{Fd};
}

void LockRelease(FLockHandle Lock)
{
    if (!Lock)
        return;
    // Closing the only descriptor of the open file drops its lock.
    close(Lock->Fd);
    delete Lock;
}
} // namespace CoreOS
