// The libFuzzer program of one target, named at build time by PELLMOR_FUZZ_TARGET ("txd_entry", ...). The
// target's body is the one the replay test runs; this file only ties it to libFuzzer.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"
#include "tests/fuzz/FuzzTargets.h"

#ifndef PELLMOR_FUZZ_TARGET
#error "PELLMOR_FUZZ_TARGET names the target this program runs"
#endif

namespace
{
const FFuzzTarget* GTarget = nullptr;

// An assertion ends the program through the fatal message; abort instead of exiting, so that libFuzzer keeps
// the input that caused it.
void AbortOnFatal(const char16_t* Caption, const char16_t* Text)
{
    const std::string Line = FString(Caption).ToUtf8() + ": " + FString(Text).ToUtf8() + "\n";
    std::fputs(Line.c_str(), stderr);
    std::fflush(stderr);
    std::abort();
}

// Trace lines are formatted as in a traced run (names and sizes from the input go through the formatter) and
// dropped.
void DropDebugOutput(const char16_t*) {}
} // namespace

// Memory that cannot be had is a failure the code must survive: an allocation too large to make returns null,
// as the C runtime does, rather than ending the program. libFuzzer's own -malloc_limit_mb still reports one
// above the limit.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1";
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    GTarget = FindFuzzTarget(PELLMOR_FUZZ_TARGET);
    if (!GTarget)
    {
        std::fprintf(stderr, "no fuzz target named %s\n", PELLMOR_FUZZ_TARGET);
        std::abort();
    }
    CoreOS::SetFatalMessageHook(&AbortOnFatal);
    CoreOS::SetDebugOutputHook(&DropDebugOutput);
    appSetTraceEnabled(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    if (const char* Broken = GTarget->Run(Data, Size))
    {
        std::fprintf(stderr, "%s: %s\n", GTarget->Name, Broken);
        std::abort();
    }
    return 0;
}
