// The operating-system layer on POSIX: files, directories, paths and disk space.
//
// Paths arrive as UTF-16 with either separator; a component that does not exist as written is found in its
// directory without regard to ASCII case. Windows semantics are kept where the logic above relies on them:
// error numbers are Win32's, a read-only file (no owner write bit) cannot be opened for writing or deleted, even
// by root, and a rename does not replace an existing file.
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtf8.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
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
} // namespace CoreOS

namespace
{
thread_local uint32_t GLastError = 0;
std::atomic<int64_t> GWriteLimit{-1};
std::atomic<CoreOS::FFreeDiskSpaceHook> GFreeSpaceHook{nullptr};

enum : uint32_t
{
    ERR_FileNotFound = 2,
    ERR_PathNotFound = 3,
    ERR_AccessDenied = 5,
    ERR_InvalidHandle = 6,
    ERR_NotSameDevice = 17,
    ERR_GenFailure = 31,
    ERR_SharingViolation = 32,
    ERR_FileExists = 80,
    ERR_InvalidParameter = 87,
    ERR_DiskFull = 112,
    ERR_DirNotEmpty = 145,
    ERR_AlreadyExists = 183,
    ERR_FilenameTooLong = 206,
};



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
        return Exists(ParentOf(Path)) ? ERR_FileNotFound : ERR_PathNotFound;
    case ENOTDIR:
        return ERR_PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return ERR_AccessDenied;
    case EEXIST:
        return ERR_AlreadyExists;
    case ENOTEMPTY:
        return ERR_DirNotEmpty;
    case ENOSPC:
    case EDQUOT:
        return ERR_DiskFull;
    case EXDEV:
        return ERR_NotSameDevice;
    case EBUSY:
    case ETXTBSY:
        return ERR_SharingViolation;
    case EBADF:
        return ERR_InvalidHandle;
    case ENAMETOOLONG:
        return ERR_FilenameTooLong;
    case EINVAL:
        return ERR_InvalidParameter;
    default:
        return ERR_GenFailure;
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
    if (Capacity <= 0)
        return 0;
    int32_t Count = 0;
    for (; Count < Capacity - 1 && Count < int32_t(Text.size()); ++Count)
        Dest[Count] = Text[size_t(Count)];
    Dest[Count] = 0;
    return Count;
}
} // namespace

namespace CoreOS
{
uint32_t LastError()
{
    return GLastError;
}

int32_t SystemErrorMessage(uint32_t Error, char16_t* Dest, int32_t Capacity)
{
    const char* Text;
    switch (Error)
    {
    case 0: Text = "The operation completed successfully."; break;
    case ERR_FileNotFound: Text = "The system cannot find the file specified."; break;
    case ERR_PathNotFound: Text = "The system cannot find the path specified."; break;
    case ERR_AccessDenied: Text = "Access is denied."; break;
    case ERR_InvalidHandle: Text = "The handle is invalid."; break;
    case ERR_NotSameDevice: Text = "The system cannot move the file to a different disk drive."; break;
    case ERR_SharingViolation:
        Text = "The process cannot access the file because it is being used by another process.";
        break;
    case ERR_FileExists: Text = "The file exists."; break;
    case ERR_InvalidParameter: Text = "The parameter is incorrect."; break;
    case ERR_DiskFull: Text = "There is not enough space on the disk."; break;
    case ERR_DirNotEmpty: Text = "The directory is not empty."; break;
    case ERR_AlreadyExists: Text = "Cannot create a file when that file already exists."; break;
    case ERR_FilenameTooLong: Text = "The filename or extension is too long."; break;
    default: Text = "A device attached to the system is not functioning."; break;
    }
    return CopyOut(appUtf8ToUtf16(Text), Dest, Capacity);
}

FFileHandle FileOpen(const char16_t* Path, uint32_t Access, uint32_t /*Share: not enforceable on POSIX*/,
                     uint32_t Create)
{
    const std::string Resolved = Resolve(Path);
    if (Resolved.empty())
    {
        Fail(ERR_PathNotFound);
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
        Fail(ERR_AccessDenied);
        return nullptr;
    }
    if (bExists && Create == FILECREATE_CreateNew)
    {
        Fail(ERR_FileExists);
        return nullptr;
    }
    if (bExists && bWrite && !(St.st_mode & S_IWUSR))
    {
        Fail(ERR_AccessDenied);
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

bool FileRead(FFileHandle File, void* Data, uint32_t Length, uint32_t* BytesRead)
{
    *BytesRead = 0;
    if (!File)
        return Fail(ERR_InvalidHandle);
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

bool FileWrite(FFileHandle File, const void* Data, uint32_t Length, uint32_t* BytesWritten)
{
    *BytesWritten = 0;
    if (!File)
        return Fail(ERR_InvalidHandle);
    uint32_t Allowed = Length;
    int64_t Limit = GWriteLimit.load();
    if (Limit >= 0)
    {
        // The test seam's full disk: what is left of the limit, and not a byte more.
        while (!GWriteLimit.compare_exchange_weak(Limit, Limit - std::min<int64_t>(Limit, Length)))
        {
        }
        Allowed = uint32_t(std::min<int64_t>(Limit, Length));
    }
    const char* In = static_cast<const char*>(Data);
    while (*BytesWritten < Allowed)
    {
        const ssize_t Put = write(File->Fd, In + *BytesWritten, Allowed - *BytesWritten);
        if (Put < 0)
        {
            if (errno == EINTR)
                continue;
            return Fail(MapErrno(errno, std::string()));
        }
        *BytesWritten += uint32_t(Put);
    }
    if (Allowed < Length)
        return Fail(ERR_DiskFull);
    return true;
}

int64_t FileSeek(FFileHandle File, int64_t Distance, int32_t Origin)
{
    if (!File)
    {
        Fail(ERR_InvalidHandle);
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
        Fail(File ? MapErrno(errno, std::string()) : ERR_InvalidHandle);
        return -1;
    }
    return int64_t(St.st_size);
}

bool FileFlush(FFileHandle File)
{
    if (!File)
        return Fail(ERR_InvalidHandle);
    return fsync(File->Fd) == 0 || Fail(MapErrno(errno, std::string()));
}

bool FileClose(FFileHandle File)
{
    if (!File)
        return Fail(ERR_InvalidHandle);
    const int Result = close(File->Fd);
    delete File;
    return Result == 0 || Fail(MapErrno(errno, std::string()));
}

void SetWriteLimit(int64_t Bytes)
{
    GWriteLimit.store(Bytes);
}

bool FileDelete(const char16_t* Path)
{
    const std::string Resolved = Resolve(Path);
    struct stat St;
    if (lstat(Resolved.c_str(), &St) != 0)
        return Fail(MapErrno(errno, Resolved));
    if (S_ISDIR(St.st_mode) || IsReadOnlyFile(Resolved))
        return Fail(ERR_AccessDenied);
    return unlink(Resolved.c_str()) == 0 || Fail(MapErrno(errno, Resolved));
}

bool FileMove(const char16_t* Src, const char16_t* Dest)
{
    const std::string From = Resolve(Src);
    const std::string To = Resolve(Dest);
    if (!Exists(From))
        return Fail(MapErrno(ENOENT, From));
    if (Exists(To))
        return Fail(ERR_AlreadyExists);
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
            return Fail(ERR_FileExists);
        // Truncating the destination would empty the source; Windows refuses this copy as a sharing violation.
        if (ToSt.st_dev == St.st_dev && ToSt.st_ino == St.st_ino)
            return Fail(ERR_SharingViolation);
        if (IsReadOnlyFile(To))
            return Fail(ERR_AccessDenied);
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

int32_t DirGetCurrent(char16_t* Dest, int32_t Capacity)
{
    char Buffer[4096];
    if (!getcwd(Buffer, sizeof(Buffer)))
        return CopyOut(std::u16string(), Dest, Capacity);
    return CopyOut(appUtf8ToUtf16(Buffer), Dest, Capacity);
}

int32_t GetDrives(char16_t* Dest, int32_t Capacity)
{
    return CopyOut(std::u16string(), Dest, Capacity);
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

int64_t FreeDiskSpace(const char16_t* Directory)
{
    if (FFreeDiskSpaceHook Hook = GFreeSpaceHook.load())
        return Hook(Directory);
    const std::string Resolved = Resolve(Directory);
    struct statvfs Info;
    if (statvfs(Resolved.empty() ? "." : Resolved.c_str(), &Info) != 0)
    {
        Fail(MapErrno(errno, Resolved));
        return -1;
    }
    return int64_t(Info.f_bavail) * int64_t(Info.f_frsize);
}

void SetFreeDiskSpaceHook(FFreeDiskSpaceHook Hook)
{
    GFreeSpaceHook.store(Hook);
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
} // namespace CoreOS
