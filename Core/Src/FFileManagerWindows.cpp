// The file manager and its buffered reader and writer, over the OS layer.
#include "Core/Inc/FFileManagerWindows.h"

#include <algorithm>
#include <cstring>

#include "Core/Inc/CorePath.h"
#include "Core/Inc/CoreUtil.h"
#include "Core/Inc/FGlobalVars.h"

namespace
{
// An interval of 100 seconds or more is a suspended process or a clock jump, not file work.
float CountedSeconds(double Start)
{
    const double Took = appSeconds() - Start;
    return Took < 100.0 ? float(Took) : 0.0f;
}

// Each file manager operation adds its own duration to GFileMiscTime.
struct FMiscTimer
{
    double Start;
    FMiscTimer() : Start(appSeconds()) {}
    ~FMiscTimer() { appAddSeconds(GFileMiscTime, CountedSeconds(Start)); }
};

thread_local char16_t GSystemErrorText[1024];
} // namespace

const char16_t* appSystemErrorMessage()
{
    CoreOS::SystemErrorMessage(CoreOS::LastError(), GSystemErrorText, 1024);
    for (char16_t* P = GSystemErrorText; *P; ++P)
        if (*P == '\r' || *P == '\n')
        {
            *P = 0;
            break;
        }
    return GSystemErrorText;
}

const char16_t* appLocalizeError(const char16_t* Key)
{
    char16_t* Text = appScratchText();
    appFormat(Text, SCRATCH_TEXT_SIZE, u"%s.%s.%s", u"Core", u"Errors", Key);
    return Text;
}

namespace Core
{
namespace Imp
{
// ---- Reader -------------------------------------------------------------------------------------------------

FArchiveFileReader::FArchiveFileReader(CoreOS::FFileHandle InHandle, const char16_t* InFilename,
                                       Core::Service::FOutputDevice* InError, int64_t InSize)
    : Handle(InHandle), Error(InError), Size(InSize), Pos(0), BufferBase(0), BufferCount(0), BytesRead(0),
      ReadTime(0.0f), SeekTime(0.0f)
{
    ArIsLoading = 1;
    ArIsPersistent = 1;
    appStrncpy(Filename, InFilename, MAX_FILENAME);
}

FArchiveFileReader::~FArchiveFileReader()
{
    if (Handle)
        CoreOS::FileClose(Handle);
}

bool FArchiveFileReader::ReadFromDisk(void* Data, int32_t Count, int32_t& Got)
{
    const double Start = appSeconds();
    uint32_t Read = 0;
    const bool bOk = CoreOS::FileRead(Handle, Data, uint32_t(Count), &Read);
    Got = int32_t(Read);
    BytesRead += Got;
    GFileBytesRead += Read;
    const float Took = CountedSeconds(Start);
    ReadTime += Took;
    appAddSeconds(GFileReadTime, Took);
    return bOk && Got == Count;
}

// Buffered reads end on 1024-byte boundaries of the file, so a run of small reads touches each block once.
void FArchiveFileReader::Refill()
{
    BufferBase = Pos;
    BufferCount = int32_t(std::max<int64_t>(0, std::min<int64_t>(BUFFER_SIZE - (Pos % BUFFER_SIZE), Size - Pos)));
    int32_t Got = 0;
    if (!ReadFromDisk(Buffer, BufferCount, Got))
    {
        IsError = 1;
        Error->Logf(u"ReadFile failed: Count=%i BufferCount=%i Error=%s", Got, BufferCount, appSystemErrorMessage());
    }
}

void FArchiveFileReader::Serialize(void* Data, int32_t Length)
{
    uint8_t* Out = static_cast<uint8_t*>(Data);
    while (Length > 0)
    {
        int32_t Copy = int32_t(std::max<int64_t>(0, std::min<int64_t>(Length, BufferBase + BufferCount - Pos)));
        if (Copy == 0)
        {
            if (Length >= BUFFER_SIZE)
            {
                // Large requests go straight to the caller's memory; the buffer would only add a copy.
                int32_t Got = 0;
                if (!ReadFromDisk(Out, Length, Got))
                {
                    IsError = 1;
                    Error->Logf(u"ReadFile failed: Count=%i Length=%i Error=%s", Got, Length, appSystemErrorMessage());
                }
                Pos += Length;
                BufferBase += Length;
                return;
            }
            Refill();
            Copy = int32_t(std::max<int64_t>(0, std::min<int64_t>(Length, BufferBase + BufferCount - Pos)));
            if (Copy <= 0)
            {
                IsError = 1;
                Error->Logf(u"ReadFile beyond EOF %lli+%i/%lli", (long long)Pos, Length, (long long)Size);
            }
            if (IsError)
                return;
        }
        std::memcpy(Out, Buffer + (Pos - BufferBase), size_t(Copy));
        Pos += Copy;
        Out += Copy;
        Length -= Copy;
    }
}

void FArchiveFileReader::Seek(int64_t InPos)
{
    appCheck(InPos>=0);
    appCheck(InPos<=Size);
    const double Start = appSeconds();
    if (CoreOS::FileSeek(Handle, InPos, CoreOS::FILESEEK_Begin) != InPos)
    {
        IsError = 1;
        Error->Logf(u"SetFilePointer Failed %lli/%lli: %lli %s", (long long)InPos, (long long)Size, (long long)Pos,
                    appSystemErrorMessage());
    }
    const float Took = CountedSeconds(Start);
    SeekTime += Took;
    appAddSeconds(GFileSeekTime, Took);
    Pos = InPos;
    BufferBase = InPos;
    BufferCount = 0;
}

bool FArchiveFileReader::Close()
{
    if (Handle)
        CoreOS::FileClose(Handle);
    Handle = nullptr;
    return !IsError;
}

// ---- Writer -------------------------------------------------------------------------------------------------

FArchiveFileWriter::FArchiveFileWriter(CoreOS::FFileHandle InHandle, Core::Service::FOutputDevice* InError,
                                       int64_t InPos)
    : Handle(InHandle), Error(InError), Pos(InPos), BufferCount(0)
{
    ArIsSaving = 1;
    ArIsPersistent = 1;
}

FArchiveFileWriter::~FArchiveFileWriter()
{
    if (Handle)
        Close();
}

void FArchiveFileWriter::Serialize(void* Data, int32_t Length)
{
    if (Length <= 0)
        return;
    Pos += Length;
    const uint8_t* In = static_cast<const uint8_t*>(Data);
    while (Length > BUFFER_SIZE - BufferCount)
    {
        const int32_t Copy = BUFFER_SIZE - BufferCount;
        std::memcpy(Buffer + BufferCount, In, size_t(Copy));
        BufferCount += Copy;
        In += Copy;
        Length -= Copy;
        Flush();
    }
    std::memcpy(Buffer + BufferCount, In, size_t(Length));
    BufferCount += Length;
}

void FArchiveFileWriter::Flush()
{
    if (BufferCount > 0)
    {
        uint32_t Put = 0;
        if (!CoreOS::FileWrite(Handle, Buffer, uint32_t(BufferCount), &Put) || Put != uint32_t(BufferCount))
        {
            IsError = 1;
            Error->Logf(appLocalizeError(u"WriteFailed"));
        }
    }
    BufferCount = 0;
}

void FArchiveFileWriter::Seek(int64_t Position)
{
    Flush();
    if (CoreOS::FileSeek(Handle, Position, CoreOS::FILESEEK_Begin) != Position)
    {
        IsError = 1;
        Error->Logf(appLocalizeError(u"SeekFailed"));
    }
    Pos = Position;
}

bool FArchiveFileWriter::Close()
{
    if (Handle)
    {
        Flush();
        if (!CoreOS::FileClose(Handle))
        {
            IsError = 1;
            Error->Logf(appLocalizeError(u"WriteFailed"));
        }
        Handle = nullptr;
    }
    return !IsError;
}

// ---- File manager -------------------------------------------------------------------------------------------

void FFileManagerWindows::Init(bool) {}

FArchive* FFileManagerWindows::CreateFileReader(const char16_t* Path, uint32_t ReadFlags, FOutputDevice* Error)
{
    FMiscTimer Timer;
    if (!Error)
        Error = GGlobalVars()->GetNullDevice();
    CoreOS::FFileHandle Handle = nullptr;
    int64_t Size = -1;
    // The reader keeps a copy of the name in a fixed buffer; a longer path is refused rather than cut.
    if (appStrlen(Path) < FArchiveFileReader::MAX_FILENAME)
        Handle = CoreOS::FileOpen(Path, CoreOS::FILEACCESS_Read, CoreOS::FILESHARE_Read,
                                  CoreOS::FILECREATE_OpenExisting);
    if (Handle)
    {
        Size = CoreOS::FileGetSize(Handle);
        if (Size < 0)
        {
            CoreOS::FileClose(Handle);
            Handle = nullptr;
        }
    }
    if (!Handle)
    {
        if (ReadFlags & Core::Service::READ_MustSucceed)
            appError(u"Failed to read file: %s", Path);
        return nullptr;
    }
    return new FArchiveFileReader(Handle, Path, Error, Size);
}

FArchive* FFileManagerWindows::CreateFileWriter(const char16_t* Path, uint32_t WriteFlags, FOutputDevice* Error)
{
    FMiscTimer Timer;
    using namespace Core::Service;
    if (!Error)
        Error = GGlobalVars()->GetNullDevice();
    if ((WriteFlags & WRITE_ClearReadOnly) && FileSize(Path) >= 0)
        CoreOS::FileSetAttributes(Path, CoreOS::FILEATTR_Normal);
    const uint32_t Share = (WriteFlags & WRITE_ShareRead) ? CoreOS::FILESHARE_Read : CoreOS::FILESHARE_None;
    const uint32_t Create = (WriteFlags & WRITE_Append)         ? CoreOS::FILECREATE_OpenAlways
                            : (WriteFlags & WRITE_KeepExisting) ? CoreOS::FILECREATE_CreateNew
                                                                : CoreOS::FILECREATE_CreateAlways;
    CoreOS::FFileHandle Handle = CoreOS::FileOpen(Path, CoreOS::FILEACCESS_Write, Share, Create);
    int64_t Pos = 0;
    if (Handle && (WriteFlags & WRITE_Append))
    {
        Pos = CoreOS::FileSeek(Handle, 0, CoreOS::FILESEEK_End);
        if (Pos < 0)
        {
            CoreOS::FileClose(Handle);
            Handle = nullptr;
        }
    }
    if (!Handle)
    {
        if (WriteFlags & WRITE_MustSucceed)
            appError(u"Failed to create file: %s", Path);
        return nullptr;
    }
    return new FArchiveFileWriter(Handle, Error, Pos);
}

int64_t FFileManagerWindows::FileSize(const char16_t* Path)
{
    FMiscTimer Timer;
    CoreOS::FFileHandle Handle =
        CoreOS::FileOpen(Path, CoreOS::FILEACCESS_Read, CoreOS::FILESHARE_Read, CoreOS::FILECREATE_OpenExisting);
    if (!Handle)
        return -1;
    const int64_t Size = CoreOS::FileGetSize(Handle);
    CoreOS::FileClose(Handle);
    return Size;
}

bool FFileManagerWindows::Delete(const char16_t* Path, bool bRequireExists, bool bEvenReadOnly)
{
    FMiscTimer Timer;
    if (bEvenReadOnly)
        CoreOS::FileSetAttributes(Path, CoreOS::FILEATTR_Normal);
    if (CoreOS::FileDelete(Path))
        return true;
    const uint32_t Error = CoreOS::LastError();
    if (!bRequireExists && Error == CoreOS::OSERROR_FileNotFound)
        return true;
    appTrace(8, u"Error deleting file '%s' (0x%d)", Path, int32_t(Error));
    return false;
}

bool FFileManagerWindows::IsReadOnly(const char16_t* Path)
{
    FMiscTimer Timer;
    if (FileSize(Path) < 0)
        return false;
    const uint32_t Attributes = CoreOS::FileGetAttributes(Path);
    if (Attributes == CoreOS::FILEATTR_Invalid)
    {
        appTrace(8, u"Error reading attributes for '%s'", Path);
        return false;
    }
    return (Attributes & CoreOS::FILEATTR_ReadOnly) != 0;
}

Core::Service::ECopyResult FFileManagerWindows::Copy(const char16_t* Dest, const char16_t* Src, bool bReplace,
                                                     bool bEvenIfReadOnly, bool bKeepAttributes, int32_t Compress,
                                                     Core::Service::FCopyProgress* Progress)
{
    FMiscTimer Timer;
    using namespace Core::Service;
    // A copy onto the file itself would empty it before reading it; nothing is touched, not even attributes.
    if (CoreOS::IsSameFile(Src, Dest))
        return COPY_Fail;
    if (bEvenIfReadOnly)
        CoreOS::FileSetAttributes(Dest, CoreOS::FILEATTR_Normal);
    ECopyResult Result;
    if (!Progress && !Compress)
        Result = CoreOS::FileCopy(Src, Dest, !bReplace) ? COPY_Ok : COPY_Fail;
    else
        Result = FFileManagerGeneric::Copy(Dest, Src, bReplace, bEvenIfReadOnly, bKeepAttributes, Compress, Progress);
    if (Result == COPY_Ok && !bKeepAttributes)
        CoreOS::FileSetAttributes(Dest, CoreOS::FILEATTR_Normal);
    return Result;
}

bool FFileManagerWindows::Move(const char16_t* Dest, const char16_t* Src, bool, bool bEvenIfReadOnly, bool)
{
    FMiscTimer Timer;
    // Without a source there is nothing to move, and the destination must survive.
    if (CoreOS::FileGetAttributes(Src) == CoreOS::FILEATTR_Invalid)
    {
        appTrace(8, u"Error moving file '%s' to '%s' (%d)", Src, Dest, int32_t(CoreOS::LastError()));
        return false;
    }
    // Another name of the source (other case, "..", a link) is already where it should go. Deleting the
    // destination first would delete the source.
    if (CoreOS::IsSameFile(Src, Dest))
        return true;
    Delete(Dest, false, bEvenIfReadOnly);
    if (!CoreOS::FileMove(Src, Dest))
    {
        appTrace(8, u"Error moving file '%s' to '%s' (%d)", Src, Dest, int32_t(CoreOS::LastError()));
        return false;
    }
    return true;
}

int64_t FFileManagerWindows::GetGlobalTime(const char16_t*)
{
    FMiscTimer Timer;
    return 0;
}

bool FFileManagerWindows::SetGlobalTime(const char16_t*)
{
    FMiscTimer Timer;
    return false;
}

bool FFileManagerWindows::MakeDirectory(const char16_t* Path, bool bTree)
{
    FMiscTimer Timer;
    if (bTree)
        return FFileManagerGeneric::MakeDirectory(Path, bTree);
    const FString Absolute = GetAbsolutePath(Path);
    return CoreOS::DirMake(*Absolute) || CoreOS::LastError() == CoreOS::OSERROR_AlreadyExists;
}

bool FFileManagerWindows::DeleteDirectory(const char16_t* Path, bool bRequireExists, bool bTree)
{
    FMiscTimer Timer;
    if (bTree)
        return FFileManagerGeneric::DeleteDirectory(Path, bRequireExists, bTree);
    return CoreOS::DirRemove(Path) || (!bRequireExists && CoreOS::LastError() == CoreOS::OSERROR_FileNotFound);
}

namespace
{
struct FFindContext
{
    TDynArray<FString>* Result;
    bool bFiles;
    bool bDirectories;
};

void CollectFound(void* Context, const char16_t* Name, bool bDirectory)
{
    FFindContext& Find = *static_cast<FFindContext*>(Context);
    if (appIsDotEntry(Name))
        return;
    if (bDirectory ? Find.bDirectories : Find.bFiles)
        Find.Result->AddItem(FString(Name));
}
} // namespace

TDynArray<FString> FFileManagerWindows::FindFiles(const char16_t* Wildcard, bool bFiles, bool bDirectories)
{
    FMiscTimer Timer;
    TDynArray<FString> Result;
    FFindContext Context{&Result, bFiles, bDirectories};
    CoreOS::FindFiles(Wildcard, &CollectFound, &Context);
    return Result;
}

bool FFileManagerWindows::SetDefaultDirectory(const char16_t* Path)
{
    FMiscTimer Timer;
    return CoreOS::DirSetCurrent(Path);
}

FString FFileManagerWindows::GetDefaultDirectory()
{
    FMiscTimer Timer;
    char16_t Directory[1024];
    CoreOS::DirGetCurrent(Directory, 1024);
    return FString(Directory);
}

FString FFileManagerWindows::GetAbsolutePath(const char16_t* Path)
{
    FMiscTimer Timer;
    if (appIsAbsolutePath(Path))
        return FString(Path);

    FString Directory = GetDefaultDirectory();
    // Join with the separator the system's own directory uses.
    const char16_t Separator = Directory.InStr(u"\\") < 0 && Directory.InStr(u"/") >= 0 ? u'/' : u'\\';
    if (Directory.Len() > 0 && appIsPathSeparator(Directory[Directory.Len() - 1]))
        Directory = Directory.Left(Directory.Len() - 1);

    const char16_t* Rest = Path;
    for (;;)
    {
        if (Rest[0] == '.' && Rest[1] == '.' && appIsPathSeparator(Rest[2]))
        {
            int32_t Cut = Directory.Len() - 1;
            while (Cut >= 0 && !appIsPathSeparator(Directory[Cut]))
                --Cut;
            if (Cut >= 0)
                Directory = Directory.Left(Cut);
            Rest += 3;
        }
        else if (Rest[0] == '.' && appIsPathSeparator(Rest[1]))
            Rest += 2;
        else
            break;
    }
    FString Result = Directory;
    Result += Separator;
    Result += Rest;
    return Result;
}

int32_t FFileManagerWindows::GetDrives(FString& Drives)
{
    FMiscTimer Timer;
    char16_t List[26 * 3 + 1];
    CoreOS::GetDrives(List, 26 * 3 + 1);
    Drives = List;
    return Drives.Len();
}

int32_t FFileManagerWindows::GetPendingWrites()
{
    FMiscTimer Timer;
    return 0;
}

bool FFileManagerWindows::GetTimestamp(const char16_t* Path, int32_t& Hour, int32_t& Minute, int32_t& Second,
                                       int32_t& Day, int32_t& Month, int32_t& Year)
{
    FMiscTimer Timer;
    CoreOS::FLocalTime Time;
    if (!CoreOS::GetFileTimeUtc(Path, Time))
        return false;
    Hour = Time.Hour;
    Minute = Time.Minute;
    // A leap second is shown as the last ordinary one.
    Second = std::min(Time.Second, 59);
    Day = Time.Day;
    Month = Time.Month;
    Year = Time.Year;
    return true;
}
} // namespace Imp
} // namespace Core
