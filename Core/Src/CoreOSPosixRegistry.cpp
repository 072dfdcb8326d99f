// The operating-system layer on POSIX: there is no registry, so every value reads as missing.
#include "Core/Inc/CoreOS.h"

#include <atomic>

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
    return false;
}

void SetRegistryReadHook(FRegistryReadHook Hook)
{
    GRegistryHook.store(Hook);
}
} // namespace CoreOS
