// The archives a pellmor command works on: the game's gta3.img, those that --archive names, or every archive the
// game loads (--all), and how they are named to people.
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"
#include "cli/PellmorInternals.h"
#include "engine/FGameArchives.h"
#include "engine/FPreviewPage.h"

namespace
{
int32_t CountSeparators(const FString& Path)
{
    int32_t Count = 0;
    for (int32_t i = 0; i < Path.Len(); ++i)
        Count += appIsPathSeparator(Path[i]) ? 1 : 0;
    return Count;
}

// The last Components components of Path.
FString Tail(const FString& Path, int32_t Components)
{
    int32_t Start = Path.Len();
    while (Start > 0 && Components > 0)
        if (appIsPathSeparator(Path[--Start]))
            --Components;
    return Components == 0 ? Path.Mid(Start + 1) : Path;
}

// The folder that holds Path, without its final separator (the root keeps its one).
FString WithoutLastComponent(const FString& Path)
{
    return appWithoutTrailingSeparators(appPathFolder(Path));
}

// A path below the game folder as the disk spells it ("models/gta3.img" for Models\gta3.img); Path as given
// when it lies elsewhere.
FString ShownBelow(const FGameDir& Game, const FString& Path)
{
    const FString OnDisk = PathAsOnDisk(Path);
    if (Path.Len() <= Game.Dir.Len() || !Path.Left(Game.Dir.Len()).EqualsNoCase(*Game.Dir))
        return OnDisk;
    // The part below the game folder has as many components on the disk as written.
    return Tail(OnDisk, CountSeparators(Path.Mid(Game.Dir.Len())) + 1);
}

const char16_t* GameDatProblemText(EGameDatProblem Problem)
{
    switch (Problem)
    {
        case EGameDatProblem::TooLong:
            return u"is too long to be a line of the game's; it is skipped";
        case EGameDatProblem::NotText:
            return u"holds characters that are no plain text; it is skipped";
        case EGameDatProblem::NoName:
            return u"names no archive";
        case EGameDatProblem::OutsideGame:
            return u"names an archive outside the game folder; it is left alone";
        case EGameDatProblem::NotFound:
            return u"names an archive that is not there; it is left out";
    }
    return u"";
}

// The archives of gta.dat after gta3.img, with a warning line for each odd line and one when there is no gta.dat.
void ListAllArchives(const FGameDir& Game, FPellmorConsole& Console, TDynArray<FGameArchive>& Archives)
{
    const FGameArchiveList List = ListGameArchives(Game.Dir);
    const FString Dat = ShownBelow(Game, List.DatPath);
    if (!List.bDatRead)
        SayErr(Console,
               FString::Printf(u"pellmor: warning: %s cannot be read in %s: only the game's gta3.img is taken.", *Dat,
                               *ShellQuote(Game.Dir)));
    for (const FGameDatNote& Note : List.Notes)
        SayErr(Console, FString::Printf(u"pellmor: warning: %s, line %d (%s) %s.", *Dat, Note.Line, *Note.Text,
                                        GameDatProblemText(Note.Problem)));
    for (const FString& Path : List.Archives)
    {
        FGameArchive Archive = DescribeArchive(Game, Path);
        Archive.bAll = true;
        Archives.AddItem(Archive);
    }
}
} // namespace

FString PathAsOnDisk(const FString& Path)
{
    return appPathAsOnDisk(Path);
}

FGameArchive DescribeArchive(const FGameDir& Game, const FString& Path)
{
    FGameArchive Archive;
    Archive.Game = Game;
    // The set is named as the disk spells the archive, so that its backups follow it ("MODELS\GTA_INT.IMG" in
    // gta.dat for models/gta_int.img makes models/gta_int_ORIG_BAK.img) and a restore gives it its own name back.
    Archive.Files = GetArchiveFiles(PathAsOnDisk(Path));
    Archive.Shown = ShownBelow(Game, Path);
    Archive.Folder = WithoutLastComponent(PathAsOnDisk(Path));
    Archive.bMain = appWithSystemSeparators(Path).EqualsNoCase(*appWithSystemSeparators(GetGameArchiveFiles(Game.Dir).Cur));
    return Archive;
}

FGameArchive DescribeArchiveFile(const FString& Path)
{
    FGameArchive Archive;
    Archive.Files = GetArchiveFiles(Path);
    Archive.Shown = Path;
    Archive.Folder = WithoutLastComponent(PathAsOnDisk(Path));
    return Archive;
}

FString ShownFile(const FGameArchive& Archive, const FString& Path)
{
    // The shown archive's folder, its separator included, and the file's own name.
    const FString Folder = Archive.Shown.Left(Archive.Shown.Len() - Tail(Archive.Shown, 1).Len());
    return Folder + Tail(Path, 1);
}

bool ListCommandArchives(const FPellmorOptions& Options, const FGameDir& Game, FPellmorConsole& Console,
                         TDynArray<FGameArchive>& Archives, int32_t& Exit)
{
    if (Options.bAllArchives)
    {
        ListAllArchives(Game, Console, Archives);
        return true;
    }
    if (Options.ArchiveNames.Num() == 0)
    {
        Archives.AddItem(DescribeArchive(Game, GetGameArchiveFiles(Game.Dir).Cur));
        return true;
    }
    for (const FString& Name : Options.ArchiveNames)
    {
        FString Path;
        if (!ResolveArchiveName(Game.Dir, Name, Path) || !ArchiveExists(Path))
        {
            const FString Why =
                Path.IsEmpty() ? FString::Printf(u"%s is not below the game folder %s", *Name, *ShellQuote(Game.Dir))
                               : FString::Printf(u"there is no archive %s in %s", *Name, *ShellQuote(Game.Dir));
            Exit = PrintFailure(Console, Options.bJson, EPellmorError::NoArchive, Why,
                                FString::Printf(u"Name an archive below the game folder (%s, or gta_int for one in "
                                                u"Models); %s lists the archives the game loads.",
                                                *appWithSystemSeparators(u"Models\\gta_int.img"),
                                                *CommandFor(u"status --all", Game)));
            return false;
        }
        bool bListed = false;
        for (const FGameArchive& Listed : Archives)
            bListed = bListed || Listed.Files.Cur.EqualsNoCase(*PathAsOnDisk(Path));
        if (!bListed)
            Archives.AddItem(DescribeArchive(Game, Path));
    }
    return true;
}

FString MeasuredArchive(const FGameArchive& Archive, bool bJson, FPellmorConsole& Console)
{
    const FString Source = PathAsOnDisk(GetPreviewSource(Archive.Files));
    if (!bJson && !Source.EqualsNoCase(*PathAsOnDisk(Archive.Files.Cur)))
        SayErr(Console, FString::Printf(u"pellmor: %s is shrunk; measuring its original, kept as %s", *Archive.Shown,
                                        *ShownFile(Archive, Source)));
    return Source;
}

bool ListSourceArchives(const FPellmorOptions& Options, FPellmorConsole& Console, TDynArray<FGameArchive>& Archives,
                        int32_t& Exit)
{
    if (!Options.NamesArchives())
    {
        Archives.AddItem(DescribeArchiveFile(Options.Operands[0]));
        return true;
    }
    FGameDir Game;
    return FindGameArchives(Options, Console, Game, Archives, Exit);
}

bool FindGameArchives(const FPellmorOptions& Options, FPellmorConsole& Console, FGameDir& Game,
                      TDynArray<FGameArchive>& Archives, int32_t& Exit)
{
    return ResolveGameDir(Options, Console, Game, Exit) && ListCommandArchives(Options, Game, Console, Archives, Exit);
}
