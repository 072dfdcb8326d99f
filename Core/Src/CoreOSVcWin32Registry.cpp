// The operating-system layer on Win32: reading a registry value.
#include "Core/Inc/CoreOS.h"
#include "Core/Src/CoreOSNative.h"

#include <windows.h>

namespace CoreOS
{
bool Native::RegistryReadValue(const char16_t* KeyPath, const char16_t* ValueName, void* Data, uint32_t* Bytes)
{
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
} // namespace CoreOS
