// Test programs never wait on a window: a fatal message is written to standard error as "Caption: Text",
// the same on every system, so death tests can match it.
#include <cstdio>
#include <string>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"

namespace
{
void FatalToStderr(const char16_t* Caption, const char16_t* Text)
{
    const std::string Line = FString(Caption).ToUtf8() + ": " + FString(Text).ToUtf8() + "\n";
    std::fputs(Line.c_str(), stderr);
    std::fflush(stderr);
}

struct FInstallHooks
{
    FInstallHooks()
    {
        CoreOS::SetFatalMessageHook(&FatalToStderr);
    }
} GInstallHooks;
} // namespace

// Memory that cannot be had is a failure the code must survive, so under AddressSanitizer an allocation too
// large to make returns null, as the C runtime does, rather than ending the test program.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}
