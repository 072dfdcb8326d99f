// The engine's one way to the disk, over the Core's file manager, raw files and OS layer.
#include "engine/FGameDisk.h"

#include "Core/Inc/CoreFileRaw.h"
#include "Core/Inc/CoreFileText.h"
#include "Core/Inc/CorePath.h"
#include "Core/Inc/FConfigCacheIni.h"
#include "Core/Inc/FFileManager.h"
#include "Core/Inc/FGlobalVars.h"

namespace
{
FFileManager* FileManager()
{
    return GGlobalVars()->GetFileManager();
}

struct FListing
{
    TDynArray<FString> Names;
    bool bFoldersOnly;
};

void CollectEntry(void* Context, const char16_t* Name, bool bDirectory)
{
    FListing& Listing = *static_cast<FListing*>(Context);
    if ((bDirectory || !Listing.bFoldersOnly) && !appIsDotEntry(Name))
        Listing.Names.AddItem(FString(Name));
}

TDynArray<FString> List(const FString& Folder, bool bFoldersOnly)
{
    FListing Listing{TDynArray<FString>(), bFoldersOnly};
    CoreOS::FindFiles(*appPathJoin(Folder, u"*"), &CollectEntry, &Listing);
    return Listing.Names;
}
} // namespace

// ---- Questions ----------------------------------------------------------------------------------------------

int64_t FGameDisk::FileSize(const FString& Path)
{
    return FileManager()->FileSize(*Path);
}

EDiskEntry FGameDisk::WhatIsAt(const FString& Path)
{
    const uint32_t Attributes = CoreOS::FileGetAttributes(*Path);
    if (Attributes == CoreOS::FILEATTR_Invalid)
        return EDiskEntry::None;
    return (Attributes & CoreOS::FILEATTR_Directory) ? EDiskEntry::Folder : EDiskEntry::File;
}

bool FGameDisk::Exists(const FString& Path)
{
    return appPathExists(Path);
}

bool FGameDisk::IsFolder(const FString& Path)
{
    return appIsFolder(Path);
}

bool FGameDisk::IsFile(const FString& Path)
{
    return appIsFile(Path);
}

bool FGameDisk::GetModifiedTime(const FString& Path, CoreOS::FLocalTime& Out)
{
    return CoreOS::GetFileTimeUtc(*Path, Out);
}

int64_t FGameDisk::FreeSpace(const FString& Folder)
{
    return CoreOS::FreeDiskSpace(*Folder);
}

bool FGameDisk::IsSameFile(const FString& PathA, const FString& PathB)
{
    return CoreOS::IsSameFile(*PathA, *PathB);
}

FString FGameDisk::SpelledOnDisk(const FString& Path)
{
    return appPathAsOnDisk(Path);
}

TDynArray<FString> FGameDisk::ListFolder(const FString& Folder)
{
    return List(Folder, false);
}

TDynArray<FString> FGameDisk::ListSubfolders(const FString& Folder)
{
    return List(Folder, true);
}

uint32_t FGameDisk::TryRead(const FString& Path)
{
    FFileHandle File = appFileOpenRead(*Path);
    if (!File)
        return CoreOS::LastError();
    appFileClose(File);
    return CoreOS::OSERROR_None;
}

uint32_t FGameDisk::TryCreate(const FString& Path)
{
    auto Make = [&Path] {
        return CoreOS::FileOpen(*Path, CoreOS::FILEACCESS_Write, CoreOS::FILESHARE_None, CoreOS::FILECREATE_CreateNew);
    };
    CoreOS::FFileHandle File = Make();
    const uint32_t MakeError = File ? 0 : CoreOS::LastError();
    if (MakeError == CoreOS::OSERROR_FileExists || MakeError == CoreOS::OSERROR_AlreadyExists)
        File = CoreOS::FileDelete(*Path) ? Make() : nullptr;
    if (!File)
        return CoreOS::LastError();
    CoreOS::FileClose(File);
    CoreOS::FileDelete(*Path);
    return CoreOS::OSERROR_None;
}

uint32_t FGameDisk::LastError()
{
    return CoreOS::LastError();
}

// ---- Changes ------------------------------------------------------------------------------------------------

bool FGameDisk::Remove(const FString& Path)
{
    return FileManager()->Delete(*Path, false, true);
}

bool FGameDisk::Delete(const FString& Path)
{
    return appFileDelete(*Path);
}

uint32_t FGameDisk::Rename(const FString& From, const FString& To, ERename How)
{
    const bool bMoved =
        How == ERename::Replacing ? FileManager()->Move(*To, *From, true, true, false) : CoreOS::FileMove(*From, *To);
    const uint32_t Error = bMoved ? CoreOS::OSERROR_None : CoreOS::LastError();
    CoreOS::SyncDirectory(*appPathFolder(To));
    return Error;
}

bool FGameDisk::ReplaceInOneStep(const FString& From, const FString& To)
{
    return CoreOS::FileReplace(*From, *To);
}

bool FGameDisk::FlushToDisk(const FString& Path)
{
    CoreOS::FFileHandle File = CoreOS::FileOpen(*Path, CoreOS::FILEACCESS_Read | CoreOS::FILEACCESS_Write,
                                                CoreOS::FILESHARE_Read, CoreOS::FILECREATE_OpenExisting);
    if (!File)
        return false;
    const bool bFlushed = CoreOS::FileFlush(File);
    return CoreOS::FileClose(File) && bFlushed;
}

bool FGameDisk::MakeFolder(const FString& Path)
{
    return CoreOS::DirMake(*Path);
}

// ---- Contents -----------------------------------------------------------------------------------------------

bool FGameDisk::LoadText(const FString& Path, FString& Text, int64_t MaxBytes)
{
    if (MaxBytes >= 0)
    {
        const int64_t Bytes = FileSize(Path);
        if (Bytes < 0 || Bytes > MaxBytes)
            return false;
    }
    return appLoadFileToString(Text, FileManager(), *Path);
}

bool FGameDisk::SaveText(const FString& Path, const FString& Text)
{
    return appSaveStringToFile(Text, FileManager(), *Path);
}

void FGameDisk::ReadConfig(const FString& Path, Core::Imp::FConfigFile& File)
{
    File.Read(FileManager(), *Path);
}

std::string FGameDisk::ReadStart(const FString& Path, uint32_t MaxBytes)
{
    FFileHandle File = appFileOpenRead(*Path);
    if (!File)
        return std::string();
    std::string Bytes(MaxBytes, '\0');
    Bytes.resize(appFileRead(File, &Bytes[0], MaxBytes));
    appFileClose(File);
    return Bytes;
}

bool FGameDisk::WriteBytes(const FString& Path, const void* Data, size_t Count)
{
    FFileHandle File = appFileOpenWrite(*Path);
    if (!File)
        return false;
    const bool bWritten = appFileWrite(File, Data, uint32_t(Count)) == uint32_t(Count);
    appFileClose(File);
    return bWritten;
}

// ---- Locks --------------------------------------------------------------------------------------------------

CoreOS::FLockHandle FGameDisk::AcquireLock(const FString& Path)
{
    return CoreOS::LockAcquire(*Path);
}

void FGameDisk::ReleaseLock(CoreOS::FLockHandle Lock)
{
    CoreOS::LockRelease(Lock);
}
