// Raw file routines on plain operating-system handles.
#include "Core/Inc/CoreFileRaw.h"

#include "Core/Inc/CoreUtil.h"

const char16_t* const GShortReadTrace = u"appFileRead  BytesRead!=Length  %d!=%d";
const char16_t* const GShortWriteTrace = u"appFileWrite  BytesWritten!=Length  %d!=%d";

FFileHandle appFileOpenRead(const char16_t* Path)
{
    return CoreOS::FileOpen(Path, CoreOS::FILEACCESS_Read, CoreOS::FILESHARE_Read, CoreOS::FILECREATE_OpenExisting);
}

FFileHandle appFileOpenWrite(const char16_t* Path)
{
    return CoreOS::FileOpen(Path, CoreOS::FILEACCESS_Write, CoreOS::FILESHARE_Write,
                            CoreOS::FILECREATE_CreateAlways);
}

uint32_t appFileRead(FFileHandle File, void* Data, uint32_t Length)
{
    uint32_t BytesRead = 0;
    CoreOS::FileRead(File, Data, Length, &BytesRead);
    if (BytesRead != Length)
        EngineTrace(GShortReadTrace, int32_t(BytesRead), int32_t(Length));
    return BytesRead;
}

uint32_t appFileWrite(FFileHandle File, const void* Data, uint32_t Length)
{
    uint32_t BytesWritten = 0;
    CoreOS::FileWrite(File, Data, Length, &BytesWritten);
    if (BytesWritten != Length)
        EngineTrace(GShortWriteTrace, int32_t(BytesWritten), int32_t(Length));
    return BytesWritten;
}

int64_t appFileTell(FFileHandle File)
{
    return CoreOS::FileSeek(File, 0, CoreOS::FILESEEK_Current);
}

bool appFileSeek(FFileHandle File, int64_t Position)
{
    return CoreOS::FileSeek(File, Position, CoreOS::FILESEEK_Begin) == Position;
}

void appFileClose(FFileHandle File)
{
    if (File)
        CoreOS::FileClose(File);
}

bool appFileDelete(const char16_t* Path)
{
    return CoreOS::FileDelete(Path);
}
