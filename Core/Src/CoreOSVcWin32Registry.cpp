// The operating-system layer on Win32: reading a registry value in either view.
#include "Core/Inc/CoreOS.h"
#include "Core/Src/CoreOSNative.h"

#include <windows.h>

namespace CoreOS
{
bool Native::RegistryReadValue(ERegistryRoot Root, ERegistryView View, const char16_t* KeyPath,
                               const char16_t* ValueName, void* Data, uint32_t* Bytes)
{
    HKEY Key = nullptr;
    const REGSAM Access = KEY_QUERY_VALUE | (View == REGVIEW_32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY);
    if (RegOpenKeyExW(Root == REGROOT_CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                      reinterpret_cast<const wchar_t*>(KeyPath), 0, Access, &Key) != ERROR_SUCCESS)
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
