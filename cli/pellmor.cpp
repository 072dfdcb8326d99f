// pellmor: the command-line front end of the archive shrinker.
#include <cstdio>
#include <string>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"
#include "cli/PellmorCommand.h"

int main(int argc, char** argv)
{
    TDynArray<FString> Args;
    CoreOS::CommandLineArgs(
        argc, argv,
        [](void* Context, const char16_t* Arg) { static_cast<TDynArray<FString>*>(Context)->AddItem(FString(Arg)); },
        &Args);
    if (Args.Num() > 0)
        Args.Remove(0); // the program itself

    GEnsureCoreInited();
    FString ErrorLine;
    const int32_t ExitCode = RunPellmorCommand(Args, ErrorLine);
    if (!ErrorLine.IsEmpty())
    {
        const std::string Line = (ExitCode == 2 ? ErrorLine : FString(u"pellmor: ") + ErrorLine).ToUtf8() + "\n";
        std::fputs(Line.c_str(), stderr);
        std::fflush(stderr);
    }
    GShutdownCore();
    return ExitCode;
}
