// The pellmor command: the command line, help and version, and the two commands on one archive (shrink-img and
// report). The game folder's commands are in PellmorGame.cpp.
#include "cli/PellmorCommand.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"
#include "Core/Inc/FConfigCacheIni.h"
#include "Core/Inc/FGlobalVars.h"
#include "cli/PellmorCommands.h"
#include "shrinker/FImgShrinker.h"
#include "shrinker/FTxdImage.h"

namespace
{
const char16_t* const UsageText =
    u"usage: pellmor COMMAND [ARGUMENTS] [OPTIONS]\n"
    u"\n"
    u"Makes the texture archive of GTA San Andreas (Models\\gta3.img) smaller, and undoes that.\n"
    u"\n"
    u"commands:\n"
    u"  status [GAME_DIR]     which state the game files are in, their sizes, and what to do next\n"
    u"  shrink [GAME_DIR]     shrink Models\\gta3.img; the original is kept as Models\\gta3_ORIG_BAK.img\n"
    u"  restore [GAME_DIR]    put the original archive back (the shrunk one is kept for the next shrink)\n"
    u"  report SRC            what a shrink would do to the archive SRC; writes nothing\n"
    u"  shrink-img SRC DST    shrink the archive SRC into the new file DST (no backups, no game folder)\n"
    u"\n"
    u"options:\n"
    u"  --skip-rules FILE     take the skip rules from FILE instead of SkipRules.ini beside pellmor\n"
    u"                        (shrink, report, shrink-img)\n"
    u"  --json                print JSON (status, report)\n"
    u"  --report              print the texture statistics (shrink-img)\n"
    u"  --jobs N              process N texture dictionaries at once; 1 works on one thread (default: as\n"
    u"                        many as the machine runs at once) (report, shrink-img)\n"
    u"  --verbose             trace lines of the engine and the shrinker on standard error\n"
    u"  --help, --version\n"
    u"\n"
    u"GAME_DIR is the game's folder, the one that holds Models. Without it pellmor takes the folder that the\n"
    u"registry names (on Linux: the registry of the Wine prefix $WINEPREFIX, else ~/.wine).\n"
    u"\n"
    u"exit codes: 0 done, 1 failed, 2 wrong usage or no game folder, 130 cancelled with Ctrl-C\n";

// The count of --jobs, 1 to 64; 0 for anything else.
int32_t ParseJobs(const FString& Text)
{
    int32_t Count = 0;
    for (int32_t i = 0; i < Text.Len(); ++i)
    {
        if (Text[i] < u'0' || Text[i] > u'9' || Count > 64)
            return 0;
        Count = Count * 10 + (Text[i] - u'0');
    }
    return Count <= 64 ? Count : 0;
}

int32_t UsageError(FPellmorConsole& Console, const FString& Why)
{
    PrintError(Console, Why);
    Console.Err(FString(u"Run 'pellmor --help' for the commands and options.\n"));
    return PELLMOR_Usage;
}

// ---- One archive on a thread of its own, with progress and Ctrl-C ----------------------------------------------

enum class EJobEnd
{
    Done,
    Failed,
    Cancelled
};

// Runs ShrinkImgFile on a worker thread while this thread shows the progress (on a terminal, unless bQuiet) and
// turns Ctrl-C into the shrink's cancel request.
EJobEnd RunArchiveJob(FPellmorConsole& Console, const FString& Src, const FString& Dest, FShrinkOptions Options,
                      bool bQuiet, FShrinkResult& Result)
{
    std::atomic<int32_t> Cancel{0};
    std::atomic<int32_t> Progress{0};
    std::atomic<int32_t> bFinished{0};
    Options.Cancel = &Cancel;
    Options.Progress = &Progress;
    Console.WatchInterrupt(true);
    FProgressDisplay Display(Console, FString(u"progress"), ReadImgEntryCount(Src), FileSizeOf(Src),
                             bQuiet || !Console.IsTerminal());
    std::thread Worker([&]() {
        Result = ShrinkImgFile(*Dest, *Src, Options);
        bFinished.store(1);
    });
    while (!bFinished.load())
    {
        if (Console.Interrupted())
            Cancel.store(1);
        Display.Update(Progress.load());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    Worker.join();
    Display.Finish(Result.bOk);
    Console.WatchInterrupt(false);
    if (Result.bOk)
        return EJobEnd::Done;
    return Result.Failure == EShrinkFailure::Cancelled ? EJobEnd::Cancelled : EJobEnd::Failed;
}

// ---- shrink-img -----------------------------------------------------------------------------------------------

int32_t RunShrinkImg(const FPellmorOptions& Options, FPellmorConsole& Console)
{
    const FString& Src = Options.Operands[0];
    const FString& Dest = Options.Operands[1];
    FShrinkOptions ShrinkOptions;
    ShrinkOptions.SkipRulesFile = Options.SkipRulesFile;
    ShrinkOptions.bReplaceWhenDone = true;
    ShrinkOptions.Jobs = Options.Jobs;
    FShrinkResult Result;
    const EJobEnd End = RunArchiveJob(Console, Src, Dest, ShrinkOptions, false, Result);
    if (End == EJobEnd::Cancelled)
    {
        Console.Err(FString::Printf(u"Cancelled; %s was not written.\n", *Dest));
        return PELLMOR_Cancelled;
    }
    if (End == EJobEnd::Failed)
    {
        PrintError(Console, Result.Reason.IsEmpty() ? FString(u"shrink-img failed") : Result.Reason);
        return PELLMOR_Failed;
    }
    if (Options.bReport)
        for (const FString& Line : Result.ReportLines)
            Console.Out(Line + u"\n");
    const int64_t Before = FileSizeOf(Src);
    Console.Out(
        FString::Printf(u"%s: %s -> %s\n", *Dest, *FormatMegabytes(Before), *FormatMegabytes(Result.OutputBytes)));
    return PELLMOR_Done;
}

// ---- report ---------------------------------------------------------------------------------------------------

// The report's name of a kind row: textures of no kind are "other".
const char16_t* KindName(uint32_t Code)
{
    return Code == TEXKIND_None ? u"other" : GetTextureKindName(Code);
}

// Textures per size, largest first.
TDynArray<FTextureSizeCount> SortSizes(const TDynArray<FTextureSizeCount>& Counted)
{
    TDynArray<FTextureSizeCount> Sizes(Counted);
    // Few distinct sizes: a plain insertion sort.
    for (int32_t i = 1; i < Sizes.Num(); ++i)
        for (int32_t j = i; j > 0; --j)
        {
            const FTextureSizeCount& A = Sizes[j - 1];
            const FTextureSizeCount& B = Sizes[j];
            const int64_t AreaA = int64_t(A.Width) * A.Height;
            const int64_t AreaB = int64_t(B.Width) * B.Height;
            if (AreaA > AreaB || (AreaA == AreaB && A.Width >= B.Width))
                break;
            std::swap(Sizes[j - 1], Sizes[j]);
        }
    return Sizes;
}

// Textures per size class: the smallest power of two, from 16 on, that holds the larger side.
TDynArray<FTextureSizeCount> CountSizeClasses(const TDynArray<FTextureSizeCount>& Sizes)
{
    TDynArray<FTextureSizeCount> Classes;
    for (int32_t Side = 16; Side <= 4096; Side *= 2)
    {
        FTextureSizeCount Class = {Side, Side, 0};
        for (const FTextureSizeCount& Size : Sizes)
        {
            const int32_t Larger = Size.Width > Size.Height ? Size.Width : Size.Height;
            if (Larger <= Side && (Side == 16 || Larger > Side / 2))
                Class.Count += Size.Count;
        }
        if (Class.Count > 0)
            Classes.AddItem(Class);
    }
    return Classes;
}

// Which rules a shrink would use, for the report's readers.
FString DescribeSkipRules(const FString& File)
{
    if (!File.IsEmpty())
        return File;
    Core::Service::FConfigCache* Cache = GGlobalVars()->GetConfigCache();
    const Core::Service::FConfigSection* Section =
        Cache ? Cache->GetSectionPtr(u"SkipRules", false, true, FSkipRules::DefaultFile()) : nullptr;
    if (Section)
        return FString::Printf(u"SkipRules.ini beside pellmor (%d rules)", Section->Num());
    return FString::Printf(u"the built-in rules (%d)", FSkipRules::NumDefaultRules());
}

int32_t RunReport(const FPellmorOptions& Options, FPellmorConsole& Console)
{
    const FString& Src = Options.Operands[0];
    FShrinkOptions ShrinkOptions;
    ShrinkOptions.SkipRulesFile = Options.SkipRulesFile;
    ShrinkOptions.bDryRun = true;
    ShrinkOptions.Jobs = Options.Jobs;
    FShrinkResult Result;
    const EJobEnd End = RunArchiveJob(Console, Src, FString(), ShrinkOptions, Options.bJson, Result);
    if (End == EJobEnd::Cancelled)
    {
        Console.Err(FString(u"Cancelled.\n"));
        return PELLMOR_Cancelled;
    }
    if (End == EJobEnd::Failed)
    {
        PrintError(Console, Result.Reason.IsEmpty() ? FString(u"report failed") : Result.Reason);
        return PELLMOR_Failed;
    }

    const int64_t Bytes = FileSizeOf(Src);
    const int32_t Entries = ReadImgEntryCount(Src);
    const FTextureFacts& Facts = Result.Stats.Textures;
    const int32_t Total = Facts.Total;
    const int32_t Changed = Facts.Changed;
    const int32_t Skipped = Facts.Skipped;
    const int32_t Stay = Facts.TooSmall + Facts.Palette + Facts.NotUnderstood;
    const TDynArray<FTextureSizeCount> Sizes = SortSizes(Facts.Sizes);
    const TDynArray<FTextureSizeCount> Classes = CountSizeClasses(Sizes);
    const FString Rules = DescribeSkipRules(Options.SkipRulesFile);

    if (Options.bJson)
    {
        FString Json = u"{\n";
        Json += FString::Printf(u"  \"archive\": %s,\n", *JsonString(Src));
        Json += FString::Printf(u"  \"entries\": %d,\n  \"bytes\": %lld,\n", Entries, (long long)Bytes);
        Json += FString::Printf(u"  \"estimatedBytes\": %lld,\n", (long long)Result.OutputBytes);
        Json += FString::Printf(u"  \"skipRules\": %s,\n", *JsonString(Rules));
        Json += FString::Printf(u"  \"textures\": {\"total\": %d, \"change\": %d, \"skip\": %d, \"stay\": %d},\n",
                                Total, Changed, Skipped, Stay);
        Json += u"  \"kinds\": {";
        bool bFirst = true;
        for (const auto& Pair : Facts.PerKind)
        {
            Json += FString::Printf(u"%s%s: %d", bFirst ? u"" : u", ", *JsonString(KindName(Pair.Key)), Pair.Value);
            bFirst = false;
        }
        Json += u"},\n  \"sizes\": [";
        for (int32_t i = 0; i < Sizes.Num(); ++i)
            Json += FString::Printf(u"%s\n    {\"width\": %d, \"height\": %d, \"textures\": %d}", i ? u"," : u"",
                                    Sizes[i].Width, Sizes[i].Height, Sizes[i].Count);
        Json += Sizes.Num() ? u"\n  ],\n" : u"],\n";
        Json += u"  \"sizeClasses\": {";
        for (int32_t i = 0; i < Classes.Num(); ++i)
            Json += FString::Printf(u"%s\"%d\": %d", i ? u", " : u"", Classes[i].Width, Classes[i].Count);
        Json += u"},\n";
        Json += u"  \"mipLevels\": {";
        bFirst = true;
        for (const auto& Pair : Result.Stats.MipLevelStats)
        {
            Json += FString::Printf(u"%s\"%d\": %d", bFirst ? u"" : u", ", Pair.Key, Pair.Value);
            bFirst = false;
        }
        Json += u"}\n}\n";
        Console.Out(Json);
        return PELLMOR_Done;
    }

    FString Text = FString::Printf(u"Archive:      %s\n", *Src);
    Text += FString::Printf(u"              %d entries, %s\n", Entries, *FormatMegabytes(Bytes));
    Text += FString::Printf(u"Skip rules:   %s\n\n", *Rules);
    Text += FString::Printf(u"Textures:     %d\n", Total);
    Text += FString::Printf(u"  would be made smaller         %7d\n", Changed);
    Text += FString::Printf(u"  skipped by the skip rules     %7d\n", Skipped);
    Text += FString::Printf(u"  stay as they are              %7d  (too small, palette, or not understood)\n",
                            Stay);
    Text += u"\nBy kind:\n";
    for (const auto& Pair : Facts.PerKind)
        Text += FString::Printf(u"  %-8s %7d\n", KindName(Pair.Key), Pair.Value);
    Text += u"\nBy size (the larger side):\n";
    for (const FTextureSizeCount& Class : Classes)
        Text += FString::Printf(u"  %s %4d  %7d\n", Class.Width == 16 ? u"up to" : u"     ", Class.Width, Class.Count);
    const int64_t Saved = Bytes - Result.OutputBytes;
    Text += FString::Printf(u"\nEstimated size after shrinking: %s (now %s", *FormatMegabytes(Result.OutputBytes),
                            *FormatMegabytes(Bytes));
    if (Bytes > 0)
        Text += FString::Printf(u", %d%% smaller", int32_t(Saved * 100 / Bytes));
    Text += u")\nNothing was written.\n";
    Console.Out(Text);
    return PELLMOR_Done;
}

// ---- Command line ---------------------------------------------------------------------------------------------

// A rules file given by the user must be there; one without the section means the built-in rules, which is
// worth a word.
bool CheckSkipRulesFile(FPellmorConsole& Console, const FString& File)
{
    if (FileSizeOf(File) < 0)
        return false;
    Core::Imp::FConfigFile Ini;
    Ini.Read(GGlobalVars()->GetFileManager(), *File);
    if (!Ini.Find(FString(u"SkipRules")))
        Console.Err(FString::Printf(u"pellmor: %s has no [SkipRules] section; the built-in rules apply.\n", *File));
    return true;
}
} // namespace

FString GetPellmorUsage()
{
    return FString(UsageText);
}

FString AbsolutePath(const FString& Path)
{
    // The Core may make another directory current later on (its file manager moves to the program's own), and
    // a name must keep meaning the file the user meant.
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
    // "." and a trailing "/." name the folder itself.
    FString Relative = Path;
    while (Relative == u"." || Relative.EndsWith(u"/.") || Relative.EndsWith(u"\\."))
        Relative = Relative.Left(Relative.Len() - 1);
    while (Relative.StartsWith(u"./") || Relative.StartsWith(u".\\"))
        Relative = Relative.Mid(2);
    return Result + Relative;
}

int64_t FileSizeOf(const FString& Path)
{
    CoreOS::FFileHandle File = CoreOS::FileOpen(*Path, CoreOS::FILEACCESS_Read,
                                                CoreOS::FILESHARE_Read | CoreOS::FILESHARE_Write,
                                                CoreOS::FILECREATE_OpenExisting);
    if (!File)
        return -1;
    const int64_t Size = CoreOS::FileGetSize(File);
    CoreOS::FileClose(File);
    return Size;
}

int32_t ReadImgEntryCount(const FString& Path)
{
    CoreOS::FFileHandle File = CoreOS::FileOpen(*Path, CoreOS::FILEACCESS_Read,
                                                CoreOS::FILESHARE_Read | CoreOS::FILESHARE_Write,
                                                CoreOS::FILECREATE_OpenExisting);
    if (!File)
        return 0;
    uint8_t Header[8] = {};
    uint32_t Got = 0;
    const bool bRead = CoreOS::FileRead(File, Header, sizeof(Header), &Got) && Got == sizeof(Header);
    CoreOS::FileClose(File);
    if (!bRead || Header[0] != 'V' || Header[1] != 'E' || Header[2] != 'R' || Header[3] != '2')
        return 0;
    const uint32_t Count = uint32_t(Header[4]) | uint32_t(Header[5]) << 8 | uint32_t(Header[6]) << 16 |
                           uint32_t(Header[7]) << 24;
    return Count > 0x7FFFFFFF ? 0 : int32_t(Count);
}

FString JsonString(const FString& Text)
{
    FString Result(u"\"");
    for (int32_t i = 0; i < Text.Len(); ++i)
    {
        const char16_t C = Text[i];
        if (C == u'"' || C == u'\\')
        {
            Result += u'\\';
            Result += C;
        }
        else if (C == u'\n')
            Result += u"\\n";
        else if (C == u'\r')
            Result += u"\\r";
        else if (C == u'\t')
            Result += u"\\t";
        else if (C < 0x20)
            Result += FString::Printf(u"\\u%04x", int32_t(C));
        else
            Result += C;
    }
    Result += u'"';
    return Result;
}

void PrintError(FPellmorConsole& Console, const FString& Text)
{
    Console.Err(FString(u"pellmor: ") + Text + u"\n");
}

int32_t RunPellmorCommand(const TDynArray<FString>& Args, FPellmorConsole& Console)
{
    FPellmorOptions Options;
    TDynArray<FString> Positional;
    bool bHelp = false;
    bool bVersion = false;
    bool bVerbose = false;
    bool bOptionsDone = false;
    bool bSkipRules = false;
    for (int32_t i = 0; i < Args.Num(); ++i)
    {
        const FString& Arg = Args[i];
        if (bOptionsDone || Arg.Len() < 2 || Arg[0] != u'-')
            Positional.AddItem(Arg);
        else if (Arg == u"--")
            bOptionsDone = true;
        else if (Arg == u"--help" || Arg == u"-h")
            bHelp = true;
        else if (Arg == u"--version")
            bVersion = true;
        else if (Arg == u"--verbose" || Arg == u"-v")
            bVerbose = true;
        else if (Arg == u"--json")
            Options.bJson = true;
        else if (Arg == u"--report")
            Options.bReport = true;
        else if (Arg == u"--skip-rules" || Arg.StartsWith(u"--skip-rules="))
        {
            FString File;
            if (Arg.StartsWith(u"--skip-rules="))
                File = Arg.Mid(13);
            else if (i + 1 < Args.Num())
                File = Args[++i];
            if (File.IsEmpty())
                return UsageError(Console, FString(u"--skip-rules needs a file name"));
            Options.SkipRulesFile = AbsolutePath(File);
            bSkipRules = true;
        }
        else if (Arg == u"--jobs" || Arg.StartsWith(u"--jobs="))
        {
            const FString Count = Arg.StartsWith(u"--jobs=") ? Arg.Mid(7) : i + 1 < Args.Num() ? Args[++i] : FString();
            Options.Jobs = ParseJobs(Count);
            if (Options.Jobs == 0)
                return UsageError(Console, FString(u"--jobs needs a number from 1 to 64"));
        }
        else
            return UsageError(Console, FString::Printf(u"unknown option %s", *Arg));
    }

    if (bHelp)
    {
        Console.Out(GetPellmorUsage());
        return PELLMOR_Done;
    }
    if (bVersion)
    {
        Console.Out(FString::Printf(u"pellmor %hs\n", PELLMOR_VERSION));
        return PELLMOR_Done;
    }
    if (Positional.Num() == 0)
        return UsageError(Console, FString(u"no command given"));

    Options.Command = Positional[0];
    for (int32_t i = 1; i < Positional.Num(); ++i)
        Options.Operands.AddItem(Positional[i]);
    const FString& Command = Options.Command;
    const int32_t NumOperands = Options.Operands.Num();
    const bool bGameCommand = Command == u"status" || Command == u"shrink" || Command == u"restore";
    if (bGameCommand ? NumOperands > 1
                     : Command == u"report" ? NumOperands != 1 : Command == u"shrink-img" ? NumOperands != 2 : true)
    {
        if (!bGameCommand && Command != u"report" && Command != u"shrink-img")
            return UsageError(Console, FString::Printf(u"unknown command %s", *Command));
        return UsageError(Console, FString::Printf(u"wrong number of arguments for %s", *Command));
    }
    for (FString& Operand : Options.Operands)
    {
        if (Operand.IsEmpty())
            return UsageError(Console, FString::Printf(u"an empty path for %s", *Command));
        Operand = AbsolutePath(Operand);
    }
    if (Options.bJson && Command != u"status" && Command != u"report")
        return UsageError(Console, FString(u"--json goes with status and report"));
    if (Options.bReport && Command != u"shrink-img")
        return UsageError(Console, FString(u"--report goes with shrink-img (for a dry run use 'pellmor report SRC')"));
    if (Options.Jobs != 0 && Command != u"report" && Command != u"shrink-img")
        return UsageError(Console, FString(u"--jobs goes with report and shrink-img"));
    if (bSkipRules && (Command == u"status" || Command == u"restore"))
        return UsageError(Console, FString(u"--skip-rules goes with shrink, report and shrink-img"));
    if (bSkipRules && !CheckSkipRulesFile(Console, Options.SkipRulesFile))
        return UsageError(Console, FString::Printf(u"cannot read the skip rules file %s", *Options.SkipRulesFile));

    Console.SetVerbose(bVerbose);
    int32_t Result = PELLMOR_Usage;
    if (Command == u"status")
        Result = RunStatus(Options, Console);
    else if (Command == u"shrink")
        Result = RunShrink(Options, Console);
    else if (Command == u"restore")
        Result = RunRestore(Options, Console);
    else if (Command == u"report")
        Result = RunReport(Options, Console);
    else
        Result = RunShrinkImg(Options, Console);
    if (bVerbose)
        Console.SetVerbose(false);
    return Result;
}
