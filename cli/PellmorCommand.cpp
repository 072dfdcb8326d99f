// The pellmor command's work: argument checks and the commands.
#include "cli/PellmorCommand.h"

#include "Core/Inc/CoreOS.h"
#include "shrinker/FImgShrinker.h"

namespace
{
const char16_t* const Usage = u"usage: pellmor shrink-img SRC DST";

// The path as given when it is absolute, else joined to the current directory: the Core may make another
// directory current later on (its file manager moves to the program's own), and a name must keep meaning the
// file the user meant.
FString AbsolutePath(const FString& Path)
{
    const bool bAbsolute =
        Path.Len() > 0 && (Path[0] == u'/' || Path[0] == u'\\' || (Path.Len() > 1 && Path[1] == u':'));
    char16_t Current[4096];
    const int32_t CurrentLen = CoreOS::DirGetCurrent(Current, 4096);
    if (bAbsolute || CurrentLen <= 0 || CurrentLen >= 4096 - 1)
        return Path;
    FString Result(Current);
    // The current directory's own separator: '\' on Windows, '/' on POSIX.
    const char16_t Separator = Result.InStr(u"\\") >= 0 ? u'\\' : u'/';
    if (Result[Result.Len() - 1] != Separator)
        Result += Separator;
    return Result + Path;
}

int32_t ShrinkImg(const FString& Src, const FString& Dest, FString& ErrorLine)
{
    FShrinkReport Report;
    FShrinkImgOptions Options;
    Options.Report = &Report;
    if (ShrinkImgFile(*AbsolutePath(Dest), *AbsolutePath(Src), Options))
        return 0;
    ErrorLine = Report.Failure.IsEmpty() ? FString(u"shrink-img failed") : Report.Failure;
    return 1;
}
} // namespace

int32_t RunPellmorCommand(const TDynArray<FString>& Args, FString& ErrorLine)
{
    ErrorLine.Empty();
    if (Args.Num() == 3 && Args[0] == u"shrink-img" && !Args[1].IsEmpty() && !Args[2].IsEmpty())
        return ShrinkImg(Args[1], Args[2], ErrorLine);
    ErrorLine = Usage;
    return 2;
}
