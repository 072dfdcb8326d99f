// The operating-system layer on Win32: reading a registry value.
#include "Core/Inc/CoreOS.h"

#include <atomic>
#include <windows.h>

namespace
{
std::atomic<CoreOS::FRegistryReadHook> GRegistryHook{nullptr};
}

namespace CoreOS
{
bool RegistryReadValue(const char16_t* KeyPath, const char16_t* ValueName, void* Data, uint32_t* Bytes)
{
    if (FRegistryReadHook Hook = GRegistryHook.load())
        return Hook(KeyPath, ValueName, Data, Bytes);
    HKEY Key = nullptr;
    if (RegOpenKeyW(HKEY_LOCAL_MACHINE, reinterpret_cast<const wchar_t*>(KeyPath), &Key) != ERROR_SUCCESS)
        return false;
    DWORD Size = *Bytes;
    const LONG Status = RegQueryValueExW(Key, reinterpret_cast<const wchar_t*>(ValueName), nullptr, nullptr,
                                         static_cast<BYTE*>(Data), &Size);
    RegCloseKey(Key);
    if (Status != ERROR_SUCCESS)
        return false;
    *Bytes = Size;
    return true;
}

void SetRegistryReadHook(FRegistryReadHook Hook)
{
    GRegistryHook.store(Hook);
}
} // namespace CoreOS
