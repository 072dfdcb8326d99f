// The error device, the null device and the file log device.
#include "Core/Inc/FOutputDevices.h"

#include "Core/Inc/CoreName.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"
#include "Core/Inc/FArchive.h"
#include "Core/Inc/FFileManager.h"
#include "Core/Inc/FGlobalVars.h"

namespace Core
{
namespace Imp
{
void FOutputDeviceWindowsError::Serialize(const char16_t* Text, int32_t /*Event*/)
{
    appTrace(7, u"appError called while debugging:");
    appTrace(7, u"%s", Text);
    if (CoreOS::IsDebuggerAttached())
    {
        appTrace(7, u"%s", Text);
        appTrace(7, u"Breaking debugger");
        CoreOS::BreakDebugger();
        return;
    }
    CoreOS::FatalMessage(u"Critical Error At Startup", Text);
    if (!GCriticalError)
    {
        GCriticalError = 1;
        appExit();
    }
    appTrace(3, u"appRequestExit(%i)", 1);
    CoreOS::ExitProcess(1);
}

namespace
{
int32_t GLogReentryGuard = 0;
}

FOutputDeviceFile::FOutputDeviceFile() : LogArchive(nullptr), ShowEventName(0), Opened(0), Disabled(1)
{
    Filename[0] = 0;
}

// The registry never destroys its device; one made elsewhere closes its file, writing what is buffered.
FOutputDeviceFile::~FOutputDeviceFile()
{
    delete LogArchive;
}

void FOutputDeviceFile::Serialize(const char16_t* Text, int32_t Event)
{
    CoreOS::FLocalTime Now;
    CoreOS::GetLocalTime(Now);
    const char16_t* Stamp =
        appScratchPrintf(u"%02d:%02d:%02d:%04d", Now.Hour, Now.Minute, Now.Second, Now.Milliseconds);
    const char16_t* Line = appScratchPrintf(u"%s  %s", Stamp, Text);
    if (GCriticalError && !GLogReentryGuard)
    {
        GLogReentryGuard = 1;
        try
        {
            Serialize(Line, Event);
        }
        catch (...)
        {
        }
        GLogReentryGuard = 0;
        return;
    }
    if (!LogArchive)
    {
        if (!Disabled)
            Open();
        if (!LogArchive)
            return;
    }
    WriteLine(Line, Event);
}
} // namespace Imp
} // namespace Core

namespace
{
// The value of Match ("LOG=") in a command line: the option must start the text or follow a character that is
// not a letter or digit (so "ABSLOG=" is not "LOG="). The value runs to the next blank, or is quoted.
bool ParseOption(const char16_t* CmdLine, const char16_t* Match, char16_t* Value, int32_t Capacity)
{
    const int32_t MatchLen = appStrlen(Match);
    for (const char16_t* P = CmdLine; *P; ++P)
    {
        if (appStrnicmp(P, Match, MatchLen) != 0)
            continue;
        const char16_t Before = P > CmdLine ? appToLower(P[-1]) : u' ';
        if ((Before >= '0' && Before <= '9') || (Before >= 'a' && Before <= 'z'))
            continue;
        const char16_t* Start = P + MatchLen;
        const bool bQuoted = *Start == '"';
        if (bQuoted)
            ++Start;
        int32_t Len = 0;
        while (Start[Len] && (bQuoted ? Start[Len] != '"' : (Start[Len] != ' ' && Start[Len] != '\t')))
            ++Len;
        appStrncpy(Value, Start, Len + 1 < Capacity ? Len + 1 : Capacity);
        return true;
    }
    return false;
}
} // namespace

namespace Core
{
namespace Imp
{
void FOutputDeviceFile::Open()
{
    if (!Filename[0])
    {
        appStrncpy(Filename, appBaseDir(), 1024);
        const int32_t Used = appStrlen(Filename);
        char16_t Value[1024];
        if (ParseOption(appCmdLine(), u"LOG=", Value, 1024 - Used))
            appStrncpy(Filename + Used, Value, 1024 - Used);
        else if (ParseOption(appCmdLine(), u"ABSLOG=", Value, 1024))
            appStrncpy(Filename, Value, 1024);
        else
            appFormat(Filename + Used, 1024 - Used, u"%s.log", appExeName());
    }
    // Readers may look at the log while it is written (0x20); 0x08 asks for nothing. A file opened before is
    // continued rather than truncated.
    LogArchive = GGlobalVars()->GetFileManager()->CreateFileWriter(
        Filename, 0x28 | (Opened ? Core::Service::WRITE_Append : 0u), nullptr);
    if (!LogArchive)
    {
        Disabled = 1;
        return;
    }
    Opened = 1;
    CoreOS::FLocalTime Now;
    CoreOS::GetLocalTime(Now);
    Logf(u"Log file open, %02d/%02d/%02d %02d:%02d:%02d", Now.Month, Now.Day, Now.Year % 100, Now.Hour, Now.Minute,
         Now.Second);
}

void FOutputDeviceFile::WriteLine(const char16_t* Line, int32_t Event)
{
    if (Event == 6)
        return;
    char16_t Buffer[1024];
    if (ShowEventName)
    {
        const char16_t* EventName = u"Uninitialized";
        if (FName::GetInitialized())
        {
            EventName = u"";
            for (const auto& Entry : GNameMap)
                if (Entry.Value->Index == Event)
                    EventName = *Entry.Value->Name;
        }
        appSprintfFixed(Buffer, 1024, u"%s: %s%s", EventName, Line, u"\r\n");
    }
    else
        appSprintfFixed(Buffer, 1024, u"%s%s", Line, u"\r\n");

    // One byte per unit; units beyond 8 bits become 127.
    uint8_t Bytes[1024];
    int32_t Count = 0;
    for (; Buffer[Count]; ++Count)
        Bytes[Count] = Buffer[Count] < 256 ? uint8_t(Buffer[Count]) : uint8_t(127);
    LogArchive->Serialize(Bytes, Count);
}
} // namespace Imp
} // namespace Core
