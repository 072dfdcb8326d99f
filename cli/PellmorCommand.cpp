// The pellmor command's two commands on one archive (shrink-img and report), and its small file and text
// helpers. The command line is read in PellmorCommandLine.cpp, the game folder's commands are in PellmorGame.cpp.
#include "cli/PellmorCommand.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"
#include "cli/PellmorCommands.h"
#include "shrinker/FImgShrinker.h"
#include "shrinker/FTxdImage.h"

namespace
{
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

} // namespace

// ---- shrink-img -----------------------------------------------------------------------------------------------

int32_t RunShrinkImg(const FPellmorOptions& Options, FPellmorConsole& Console)
{
    const FString& Src = Options.Operands[0];
    const FString& Dest = Options.Operands[1];
    FShrinkOptions ShrinkOptions;
    ShrinkOptions.SkipRulesFile = Options.SkipRulesFile;
    ShrinkOptions.bReplaceWhenDone = true;
    FShrinkResult Result;
    const EJobEnd End = RunArchiveJob(Console, Src, Dest, ShrinkOptions, false, Result);
    if (End == EJobEnd::Cancelled)
        return PrintFailure(Console, false, EPellmorError::Cancelled,
                            FString::Printf(u"cancelled; %s was not written", *Dest), FString(), PELLMOR_Cancelled);
    if (End == EJobEnd::Failed)
        return PrintFailure(Console, false, EPellmorError::Failed,
                            Result.Reason.IsEmpty() ? FString(u"shrink-img failed") : Result.Reason, FString(),
                            PELLMOR_Failed);
    if (Options.bReport)
        for (const FString& Line : Result.ReportLines)
            Console.Out(Line + u"\n");
    const int64_t Before = FileSizeOf(Src);
    Console.Out(
        FString::Printf(u"%s: %s -> %s\n", *Dest, *FormatMegabytes(Before), *FormatMegabytes(Result.OutputBytes)));
    return PELLMOR_Done;
}

namespace
{
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

} // namespace

int32_t RunReport(const FPellmorOptions& Options, FPellmorConsole& Console)
{
    const FString& Src = Options.Operands[0];
    FShrinkOptions ShrinkOptions;
    ShrinkOptions.SkipRulesFile = Options.SkipRulesFile;
    ShrinkOptions.bDryRun = true;
    FShrinkResult Result;
    const EJobEnd End = RunArchiveJob(Console, Src, FString(), ShrinkOptions, Options.bJson, Result);
    if (End == EJobEnd::Cancelled)
        return PrintFailure(Console, Options.bJson, EPellmorError::Cancelled, FString(u"cancelled"), FString(),
                            PELLMOR_Cancelled);
    if (End == EJobEnd::Failed)
        return PrintFailure(Console, Options.bJson, EPellmorError::Failed,
                            Result.Reason.IsEmpty() ? FString(u"report failed") : Result.Reason, FString(),
                            PELLMOR_Failed);

    const int64_t Bytes = FileSizeOf(Src);
    const int32_t Entries = ReadImgEntryCount(Src);
    const FTextureFacts& Facts = Result.Stats.Textures;
    const int32_t Total = Facts.Total;
    const int32_t Changed = Facts.Changed;
    const int32_t Skipped = Facts.Skipped;
    const int32_t Stay = Facts.TooSmall + Facts.Palette + Facts.NotUnderstood;
    const TDynArray<FTextureSizeCount> Sizes = SortSizes(Facts.Sizes);
    const TDynArray<FTextureSizeCount> Classes = CountSizeClasses(Sizes);

    if (Options.bJson)
    {
        FString Json = u"{\n";
        Json += FString::Printf(u"  \"archive\": %s,\n", *JsonString(Src));
        Json += FString::Printf(u"  \"entries\": %d,\n  \"bytes\": %lld,\n", Entries, (long long)Bytes);
        Json += FString::Printf(u"  \"estimatedBytes\": %lld,\n", (long long)Result.OutputBytes);
        Json += FString::Printf(u"  \"skipRules\": %s,\n", *SkipRulesJson(Options.SkipRules));
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
    Text += FString::Printf(u"Skip rules:   %s\n\n", *DescribeSkipRules(Options.SkipRules));
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

FString AbsolutePath(const FString& Path)
{
    // The Core may make another directory current later on (its file manager moves to the program's own), and
    // a name must keep meaning the file the user meant.
    const bool bAbsolute =
        Path.Len() > 0 && (Path[0] == u'/' || Path[0] == u'\\' || (Path.Len() > 1 && Path[1] == u':'));
    char16_t Current[4096];
    const int32_t CurrentLen = CoreOS::DirGetCurrent(Current, 4096);
    if (bAbsolute || CurrentLen <= 0 || CurrentLen >= 4096 - 1)
        return WithSystemSeparators(Path);
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
    return WithSystemSeparators(Result + Relative);
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

// The entry count of an IMG version-2 archive's header; false when the file is none.
static bool ReadImgHeader(const FString& Path, uint32_t& Count)
{
    CoreOS::FFileHandle File = CoreOS::FileOpen(*Path, CoreOS::FILEACCESS_Read,
                                                CoreOS::FILESHARE_Read | CoreOS::FILESHARE_Write,
                                                CoreOS::FILECREATE_OpenExisting);
    if (!File)
        return false;
    uint8_t Header[8] = {};
    uint32_t Got = 0;
    const bool bRead = CoreOS::FileRead(File, Header, sizeof(Header), &Got) && Got == sizeof(Header);
    CoreOS::FileClose(File);
    if (!bRead || Header[0] != 'V' || Header[1] != 'E' || Header[2] != 'R' || Header[3] != '2')
        return false;
    Count = uint32_t(Header[4]) | uint32_t(Header[5]) << 8 | uint32_t(Header[6]) << 16 | uint32_t(Header[7]) << 24;
    return true;
}

int32_t ReadImgEntryCount(const FString& Path)
{
    uint32_t Count = 0;
    return !ReadImgHeader(Path, Count) || Count > 0x7FFFFFFF ? 0 : int32_t(Count);
}

bool IsImgArchive(const FString& Path)
{
    uint32_t Count = 0;
    return ReadImgHeader(Path, Count);
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
