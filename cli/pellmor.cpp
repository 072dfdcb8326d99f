// pellmor: the command-line front end of the shrink engine.
#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CorePath.h"
#include "cli/PellmorCommand.h"
#include "cli/PellmorConsole.h"

int main(int argc, char** argv)
{
    TDynArray<FString> Args;
    CoreOS::CommandLineArgs(
        argc, argv,
        [](void* Context, const char16_t* Arg) { static_cast<TDynArray<FString>*>(Context)->AddItem(FString(Arg)); },
        &Args);
    if (Args.Num() > 0)
        Args.Remove(0); // the program itself

    // The folder the user is in: the Core's file manager makes the program's own folder the current one.
    const FString WorkingDir = appCurrentDirectory();
    GEnsureCoreInited();
    int32_t ExitCode = PELLMOR_Failed;
    {
        FStdConsole Console;
        ExitCode = RunPellmorCommand(Args, Console, WorkingDir);
    }
    GShutdownCore();
    return ExitCode;
}
