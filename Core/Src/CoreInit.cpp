// Start-up and shut-down of the Core, its exit step, the clock and the executable's directory and name.
#include <mutex>

#include "Core/Inc/CoreName.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CorePath.h"
#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"
#include "Core/Inc/CoreUtil.h"
#include "Core/Inc/FConfigCache.h"
#include "Core/Inc/FGlobalVars.h"

int32_t GCoreState = 0;
int32_t GTimerPeriodSet = 0;

std::atomic<uint64_t> GFileBytesRead{0};
std::atomic<float> GFileReadTime{0.0f};
std::atomic<float> GFileSeekTime{0.0f};
std::atomic<float> GFileMiscTime{0.0f};

void appAddSeconds(std::atomic<float>& Total, float Seconds)
{
    // std::atomic<float> has no fetch_add before C++20.
    float Seen = Total.load();
    while (!Total.compare_exchange_weak(Seen, Seen + Seconds))
    {
    }
}

namespace
{
TDynArray<FEventCallback*>& EventCallbacks()
{
    static TDynArray<FEventCallback*> Callbacks;
    return Callbacks;
}

TDynArray<void*>& LibraryHandles()
{
    static TDynArray<void*> Handles;
    return Handles;
}

char16_t GCmdLine[1024] = {0};

struct FClock
{
    std::mutex Lock;
    bool bStarted = false;
    uint32_t LastTick = 0;
    double Total = 0.0;
};

FClock& Clock()
{
    static FClock Instance;
    return Instance;
}

struct FModuleNames
{
    char16_t BaseDir[MODULE_NAME_SIZE];
    char16_t ExeName[MODULE_NAME_SIZE];
    bool bBaseDirRefused;
    FString Path;
    FModuleNames()
    {
        // Far more than any directory the Core keeps, so a long one is seen whole and refused, never cut.
        char16_t Full[4096];
        CoreOS::ModuleFileName(Full, 4096);
        Path = Full;
        bBaseDirRefused = !appSplitModulePath(Full, BaseDir, ExeName);
    }
};

const FModuleNames& ModuleNames()
{
    static FModuleNames Names;
    return Names;
}

void DebugLine(const char16_t* Text)
{
    CoreOS::DebugOutput(Text);
}
} // namespace

void GEnsureCoreInited()
{
    if (!GTimerPeriodSet)
    {
        GTimerPeriodSet = 1;
        CoreOS::TimeBeginPeriod();
    }
    DebugLine(u"GEnsureCoreInited\r\n");
    if (GCoreState == 0)
    {
        DebugLine(u"Pre Init Core\r\n");
        GCoreState = 1;
        CallEventCallbacks(0);
        DebugLine(u"Post Init Core\r\n");
    }
}

void GShutdownCore()
{
    DebugLine(u"GShutdownCore\r\n");
    if (GCoreState != 1)
        return;
    DebugLine(u"Pre PreExit\r\n");
    GCoreState = -1;
    appTrace(3, u"Preparing to exit.");
    CallEventCallbacks(1);
    DebugLine(u"Post PreExit\r\n");
    DebugLine(u"Pre Exit\r\n");
    appExit();
    DebugLine(u"Post Exit\r\n");
    if (GTimerPeriodSet)
    {
        CoreOS::TimeEndPeriod();
        GTimerPeriodSet = 0;
    }
}

void appExit()
{
    appTrace(3, u"Exiting.");

    const uint64_t Bytes = GFileBytesRead.load();
    const float ReadTime = GFileReadTime.load();
    const float SeekTime = GFileSeekTime.load();
    const uint64_t GBytes = Bytes >> 30;
    const uint64_t MBytes = (Bytes >> 20) & 1023;
    const uint64_t KBytes = (Bytes >> 10) & 1023;
    const uint64_t Rest = Bytes & 1023;
    appTrace(1,
             u"FileManager: Reading %i GByte %i MByte %i KByte %i Bytes from HD took %f seconds (%f reading, %f "
             u"seeking).",
             int32_t(GBytes), int32_t(MBytes), int32_t(KBytes), int32_t(Rest), double(ReadTime + SeekTime),
             double(ReadTime), double(SeekTime));
    appTrace(1, u"FileManager: %f seconds spent with misc. duties", double(GFileMiscTime.load()));

    TDynArray<void*>& Handles = LibraryHandles();
    for (int32_t Idx = Handles.Num() - 1; Idx >= 0; --Idx)
    {
        const int32_t ArraySize = Handles.Num();
        appCheck(Idx>=0 && Idx<ArraySize);
        void* DllHandle = Handles[Idx];
        appCheck(DllHandle);
        CoreOS::FreeLibrary(DllHandle);
    }
    Handles.Empty();

    // Changed INI files reach the disk here; the cache is left empty but usable.
    GGlobalVars()->GetConfigCache()->Exit();

    FName::StaticExit();
}

void appRequestExit()
{
    CoreOS::ExitProcess(1);
}

double appSeconds()
{
    FClock& State = Clock();
    std::lock_guard<std::mutex> Guard(State.Lock);
    const uint32_t Tick = CoreOS::GetTickMs();
    if (!State.bStarted)
    {
        State.bStarted = true;
        State.LastTick = Tick;
    }
    // A counter that wrapped adds nothing for that interval.
    const uint32_t Interval = Tick >= State.LastTick ? Tick - State.LastTick : 0;
    State.Total += Interval * 0.001;
    State.LastTick = Tick;
    return State.Total;
}

bool appSplitModulePath(const char16_t* Path, char16_t* Dir, char16_t* Name)
{
    // Directory: everything up to and including the last separator of either kind.
    int32_t Cut = -1;
    for (int32_t i = 0; Path[i]; ++i)
        if (appIsPathSeparator(Path[i]))
            Cut = i;
    const bool bFits = Cut + 1 < MODULE_NAME_SIZE;
    appStrncpy(Dir, Path, bFits ? Cut + 2 : 1);

    // Name: after the last '\', then after the last '/', cut at the first '.'.
    const char16_t* Base = Path;
    if (const char16_t* Back = appStrrchr(Base, '\\'))
        Base = Back + 1;
    if (const char16_t* Slash = appStrrchr(Base, '/'))
        Base = Slash + 1;
    appStrncpy(Name, Base, MODULE_NAME_SIZE);
    if (char16_t* Dot = const_cast<char16_t*>(appStrchr(Name, '.')))
        *Dot = 0;
    return bFits;
}

const char16_t* appBaseDir()
{
    const FModuleNames& Names = ModuleNames();
    // A cut directory would name another folder, where SkipRules.ini and relative paths would then be looked
    // for: the program refuses to run from there.
    if (Names.bBaseDirRefused)
        appError(u"The program's folder is too long (its path must stay under %i characters): %s",
                 int32_t(MODULE_NAME_SIZE), *Names.Path);
    return Names.BaseDir;
}

const char16_t* appExeName()
{
    return ModuleNames().ExeName;
}

const char16_t* appCmdLine()
{
    return GCmdLine;
}

void appRegisterEventCallback(FEventCallback* Callback)
{
    EventCallbacks().AddItem(Callback);
}

void appUnregisterEventCallback(FEventCallback* Callback)
{
    TDynArray<FEventCallback*>& Callbacks = EventCallbacks();
    const int32_t Index = Callbacks.FindItemIndex(Callback);
    if (Index >= 0)
        Callbacks.Remove(Index);
}

void CallEventCallbacks(int32_t Event)
{
    TDynArray<FEventCallback*>& Callbacks = EventCallbacks();
    if (Callbacks.Num() == 0)
    {
        appTrace(3, u"WARNING: No callbacks for event %d", Event);
        return;
    }
    for (int32_t Idx = 0; Idx < Callbacks.Num(); ++Idx)
    {
        const int32_t ArraySize = Callbacks.Num();
        appCheck(Idx>=0 && Idx<ArraySize);
        Callbacks[Idx]->OnEvent(Event);
    }
}

void appAddLibraryHandle(void* Handle)
{
    LibraryHandles().AddItem(Handle);
}

int32_t appNumLibraryHandles()
{
    return LibraryHandles().Num();
}

int32_t appAnsiToUnicodeLength(const char* Source)
{
    return CoreOS::AnsiToWideLength(Source);
}

int32_t appAnsiToUnicode(const char* Source, char16_t* Dest, int32_t Capacity)
{
    return CoreOS::AnsiToWide(Source, Dest, Capacity);
}

int32_t appUnicodeToAnsiLength(const char16_t* Source)
{
    return CoreOS::WideToAnsiLength(Source);
}

int32_t appUnicodeToAnsi(const char16_t* Source, char* Dest, int32_t Capacity)
{
    return CoreOS::WideToAnsi(Source, Dest, Capacity);
}
