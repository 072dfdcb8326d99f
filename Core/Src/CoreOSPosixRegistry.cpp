// The operating-system layer on POSIX: there is no registry, so every value reads as missing.
#include "Core/Inc/CoreOS.h"
#include "Core/Src/CoreOSNative.h"

namespace CoreOS
{
bool Native::RegistryReadValue(ERegistryRoot, ERegistryView, const char16_t*, const char16_t*, void*, uint32_t*)
{
    return false;
}
} // namespace CoreOS
