// The OS layer's shared half: test hooks and seams, the fault table and the trace flag, over the per-system
// routines of CoreOSNative.h.
#include "Core/Inc/CoreOS.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "Core/Src/CoreOSNative.h"

namespace
{
std::atomic<CoreOS::FDebugOutputHook> GDebugHook{nullptr};
std::atomic<CoreOS::FFatalMessageHook> GFatalHook{nullptr};
std::atomic<CoreOS::FTickSource> GTickSource{nullptr};
std::atomic<CoreOS::FFreeDiskSpaceHook> GFreeSpaceHook{nullptr};
std::atomic<CoreOS::FRegistryReadHook> GRegistryHook{nullptr};
std::atomic<int64_t> GWriteLimit{-1};

int InitialTrace()
{
    const char* Value = std::getenv("PELLMOR_TRACE");
    return (Value && *Value && std::strcmp(Value, "0") != 0) ? 1 : 0;
}
std::atomic<int> GTraceEnabled{InitialTrace()};

// One slot per kind of call. FireAt is the call number (of Calls) that fails, 0 when nothing is armed.
struct FFaultSlot
{
    std::atomic<int64_t> Calls{0};
    std::atomic<int64_t> FireAt{0};
    std::atomic<int32_t> Mode{CoreOS::OSFAULTMODE_Fail};
};
FFaultSlot GFaults[CoreOS::OSFAULT_Count];

// Counts the call; true when it is the armed one, which is disarmed on the way so that it fires once.
bool FaultFires(CoreOS::EOsFaultKind Kind, CoreOS::EOsFaultMode& Mode)
{
    FFaultSlot& Slot = GFaults[Kind];
    const int64_t Call = Slot.Calls.fetch_add(1, std::memory_order_relaxed) + 1;
    int64_t Armed = Slot.FireAt.load(std::memory_order_acquire);
    if (Armed == 0 || Armed != Call || !Slot.FireAt.compare_exchange_strong(Armed, 0))
        return false;
    Mode = CoreOS::EOsFaultMode(Slot.Mode.load());
    if (Mode == CoreOS::OSFAULTMODE_Exit)
        std::_Exit(86);
    return true;
}

bool Fail(uint32_t Error)
{
    CoreOS::Native::SetLastError(Error);
    return false;
}

// How much of a write of Length bytes the write limit lets through, taken from what is left of it.
uint32_t TakeFromWriteLimit(uint32_t Length)
{
    int64_t Limit = GWriteLimit.load();
    if (Limit < 0)
        return Length;
    while (!GWriteLimit.compare_exchange_weak(Limit, Limit - std::min<int64_t>(Limit, Length)))
        if (Limit < 0)
            return Length;
    return uint32_t(std::min<int64_t>(Limit, Length));
}
} // namespace

namespace CoreOS
{
// ---- Hooks and the trace flag -------------------------------------------------------------------------------

void DebugOutput(const char16_t* Text)
{
    if (FDebugOutputHook Hook = GDebugHook.load())
        Hook(Text);
    else
        Native::DebugOutput(Text);
}

void SetDebugOutputHook(FDebugOutputHook Hook)
{
    GDebugHook.store(Hook);
}

bool TraceEnabled()
{
    return GTraceEnabled.load(std::memory_order_relaxed) != 0;
}

void SetTraceEnabled(bool bEnabled)
{
    GTraceEnabled.store(bEnabled ? 1 : 0);
}

void FatalMessage(const char16_t* Caption, const char16_t* Text)
{
    if (FFatalMessageHook Hook = GFatalHook.load())
        Hook(Caption, Text);
    else
        Native::FatalMessage(Caption, Text);
}

void SetFatalMessageHook(FFatalMessageHook Hook)
{
    GFatalHook.store(Hook);
}

uint32_t GetTickMs()
{
    if (FTickSource Source = GTickSource.load())
        return Source();
    return Native::GetTickMs();
}

void SetTickSource(FTickSource Source)
{
    GTickSource.store(Source);
}

int64_t FreeDiskSpace(const char16_t* Directory)
{
    if (FFreeDiskSpaceHook Hook = GFreeSpaceHook.load())
        return Hook(Directory);
    return Native::FreeDiskSpace(Directory);
}

void SetFreeDiskSpaceHook(FFreeDiskSpaceHook Hook)
{
    GFreeSpaceHook.store(Hook);
}

bool RegistryReadValue(ERegistryRoot Root, ERegistryView View, const char16_t* KeyPath, const char16_t* ValueName,
                       void* Data, uint32_t* Bytes)
{
    if (FRegistryReadHook Hook = GRegistryHook.load())
        return Hook(Root, View, KeyPath, ValueName, Data, Bytes);
    return Native::RegistryReadValue(Root, View, KeyPath, ValueName, Data, Bytes);
}

void SetRegistryReadHook(FRegistryReadHook Hook)
{
    GRegistryHook.store(Hook);
}

const char* GetEnv(const char* Name)
{
    return std::getenv(Name);
}

// ---- Files, through the fault table -------------------------------------------------------------------------

FFileHandle FileOpen(const char16_t* Path, uint32_t Access, uint32_t Share, uint32_t Create)
{
    EOsFaultMode Mode;
    if (FaultFires(OSFAULT_Open, Mode))
    {
        Fail(OSERROR_AccessDenied);
        return nullptr;
    }
    return Native::FileOpen(Path, Access, Share, Create);
}

bool FileRead(FFileHandle File, void* Data, uint32_t Length, uint32_t* BytesRead)
{
    *BytesRead = 0;
    EOsFaultMode Mode;
    if (FaultFires(OSFAULT_Read, Mode))
    {
        if (Mode == OSFAULTMODE_Short && File)
            return Native::FileRead(File, Data, Length / 2, BytesRead);
        return Fail(OSERROR_GenFailure);
    }
    if (!File)
        return Fail(OSERROR_InvalidHandle);
    return Native::FileRead(File, Data, Length, BytesRead);
}

bool FileWrite(FFileHandle File, const void* Data, uint32_t Length, uint32_t* BytesWritten)
{
    *BytesWritten = 0;
    EOsFaultMode Mode;
    if (FaultFires(OSFAULT_Write, Mode))
    {
        if (Mode == OSFAULTMODE_Short && File)
            Native::FileWrite(File, Data, Length / 2, BytesWritten);
        return Fail(OSERROR_DiskFull);
    }
    if (!File)
        return Fail(OSERROR_InvalidHandle);
    const uint32_t Allowed = TakeFromWriteLimit(Length);
    if (Allowed > 0 && !Native::FileWrite(File, Data, Allowed, BytesWritten))
        return false;
    return Allowed == Length || Fail(OSERROR_DiskFull);
}

bool FileFlush(FFileHandle File)
{
    EOsFaultMode Mode;
    if (FaultFires(OSFAULT_Flush, Mode))
        return Fail(OSERROR_GenFailure);
    if (!File)
        return Fail(OSERROR_InvalidHandle);
    return Native::FileFlush(File);
}

bool FileClose(FFileHandle File)
{
    EOsFaultMode Mode;
    const bool bFault = FaultFires(OSFAULT_Close, Mode);
    if (!File)
        return Fail(OSERROR_InvalidHandle);
    // A failed close still gives the handle back: there is nothing else the caller could do with it.
    const bool bOk = Native::FileClose(File);
    return bFault ? Fail(OSERROR_GenFailure) : bOk;
}

void SetWriteLimit(int64_t Bytes)
{
    GWriteLimit.store(Bytes);
}

bool FileDelete(const char16_t* Path)
{
    EOsFaultMode Mode;
    if (FaultFires(OSFAULT_Delete, Mode))
        return Fail(OSERROR_AccessDenied);
    return Native::FileDelete(Path);
}

bool FileMove(const char16_t* Src, const char16_t* Dest)
{
    EOsFaultMode Mode;
    if (FaultFires(OSFAULT_Move, Mode))
        return Fail(OSERROR_AccessDenied);
    return Native::FileMove(Src, Dest);
}

bool FileReplace(const char16_t* Src, const char16_t* Dest)
{
    EOsFaultMode Mode;
    if (FaultFires(OSFAULT_Move, Mode))
        return Fail(OSERROR_AccessDenied);
    return Native::FileReplace(Src, Dest);
}

void ArmOsFault(EOsFaultKind Kind, int64_t Nth, EOsFaultMode Mode)
{
    if (Kind < 0 || Kind >= OSFAULT_Count)
        return;
    FFaultSlot& Slot = GFaults[Kind];
    Slot.Mode.store(Mode);
    Slot.FireAt.store(Nth > 0 ? Slot.Calls.load() + Nth : 0, std::memory_order_release);
}

int64_t GetOsCallCount(EOsFaultKind Kind)
{
    return Kind >= 0 && Kind < OSFAULT_Count ? GFaults[Kind].Calls.load() : 0;
}

void ResetOsFaults()
{
    for (FFaultSlot& Slot : GFaults)
    {
        Slot.FireAt.store(0);
        Slot.Calls.store(0);
        Slot.Mode.store(OSFAULTMODE_Fail);
    }
}

// ---- File identity ------------------------------------------------------------------------------------------

bool IsSameFile(const char16_t* PathA, const char16_t* PathB)
{
    FFileIdentity A, B;
    return FileIdentity(PathA, A) && FileIdentity(PathB, B) && A.Volume == B.Volume && A.Index == B.Index;
}

namespace Native
{
int32_t CopyText(const char16_t* Text, char16_t* Dest, int32_t Capacity)
{
    if (Capacity <= 0)
        return 0;
    int32_t Count = 0;
    for (; Count < Capacity - 1 && Text[Count]; ++Count)
        Dest[Count] = Text[Count];
    Dest[Count] = 0;
    return Count;
}
} // namespace Native
} // namespace CoreOS
