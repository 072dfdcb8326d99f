// The error device, the null device and the file log device.
#include "Core/Inc/FOutputDevices.h"

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"

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

FOutputDeviceFile::~FOutputDeviceFile() {}

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

// Opening and writing the log file need the file manager and its writers.
namespace Core
{
namespace Imp
{
void FOutputDeviceFile::Open()
{
    Disabled = 1;
}

void FOutputDeviceFile::WriteLine(const char16_t*, int32_t) {}
} // namespace Imp
} // namespace Core
