// The archives the game loads, from data\gta.dat, and archives named by the user.
#include "engine/FGameArchives.h"

#include "Core/Inc/CorePath.h"
#include "Core/Inc/CoreUtil.h"
#include "engine/FGameDisk.h"
#include "engine/FGameFiles.h"

namespace
{
// Real lines are a few dozen characters; anything this long is not a line the game wrote.
const int32_t MaxLineLength = 512;
// gta.dat is a few kilobytes; a file past this is not one.
const int64_t MaxDatBytes = int64_t(4) << 20;

bool IsPrintableAscii(const FString& Text)
{
    for (int32_t i = 0; i < Text.Len(); ++i)
        if ((Text[i] < 0x20 && Text[i] != u'\t') || Text[i] > 0x7E)
            return false;
    return true;
}

void Note(TDynArray<FGameDatNote>& Notes, int32_t Line, const FString& Text, EGameDatProblem Problem)
{
    FGameDatNote Item;
    Item.Line = Line;
    Item.Text = Text.Len() > 80 ? Text.Left(77) + u"..." : Text;
    Item.Problem = Problem;
    Notes.AddItem(Item);
}

// The name after the keyword when the line is one of the kind asked ("IMG name", "CDIMAGE name", "TEXDICTION
// name"), else false.
bool ReadNamingLine(const FString& Line, EGameDatLines Lines, FString& Name)
{
    int32_t KeywordEnd = 0;
    while (KeywordEnd < Line.Len() && !appIsBlank(Line[KeywordEnd]))
        ++KeywordEnd;
    const FString Keyword = Line.Left(KeywordEnd);
    const bool bWanted = Lines == EGameDatLines::Archives
                             ? Keyword.EqualsNoCase(u"IMG") || Keyword.EqualsNoCase(u"CDIMAGE")
                             : Keyword.EqualsNoCase(u"TEXDICTION");
    if (!bWanted)
        return false;
    Name = Line.Mid(KeywordEnd).TrimBlanks();
    return true;
}

// Whether a relative name stays below its folder: no leading separator or drive, no ".." that climbs out.
bool StaysInside(const FString& Name)
{
    if (Name.IsEmpty() || appIsAbsolutePath(*Name))
        return false;
    int32_t Depth = 0;
    int32_t Start = 0;
    for (int32_t i = 0; i <= Name.Len(); ++i)
    {
        if (i < Name.Len() && !appIsPathSeparator(Name[i]))
            continue;
        const FString Part = Name.Mid(Start, i - Start);
        Start = i + 1;
        if (Part == u"..")
        {
            if (--Depth < 0)
                return false;
        }
        else if (!Part.IsEmpty() && Part != u".")
            ++Depth;
    }
    return Depth > 0;
}

FString WithBackslashes(const FString& Name)
{
    FString Result = Name;
    for (int32_t i = 0; i < Result.Len(); ++i)
        if (Result[i] == u'/')
            Result[i] = u'\\';
    return Result;
}

// The same file under another spelling (case, separators) counts once.
bool AlreadyListed(const TDynArray<FString>& Archives, const FString& Path)
{
    for (const FString& Listed : Archives)
        if (Listed.EqualsNoCase(*Path) || FGameDisk::IsSameFile(Listed, Path))
            return true;
    return false;
}
} // namespace

TDynArray<FGameDatEntry> ParseGameDat(const FString& Text, TDynArray<FGameDatNote>& Notes, EGameDatLines Lines)
{
    TDynArray<FGameDatEntry> Entries;
    int32_t LineNumber = 0;
    int32_t Start = 0;
    while (Start < Text.Len())
    {
        int32_t End = Start;
        while (End < Text.Len() && Text[End] != u'\n')
            ++End;
        // A line of a file written on Windows ends with a carriage return before its line feed.
        const int32_t LineEnd = End > Start && Text[End - 1] == u'\r' ? End - 1 : End;
        const FString Raw = Text.Mid(Start, LineEnd - Start);
        Start = End + 1;
        ++LineNumber;

        if (Raw.Len() > MaxLineLength)
        {
            Note(Notes, LineNumber, Raw, EGameDatProblem::TooLong);
            continue;
        }
        const int32_t Hash = Raw.InStr(u"#");
        const FString Line = (Hash >= 0 ? Raw.Left(Hash) : Raw).TrimBlanks();
        FString Name;
        if (Line.IsEmpty() || !ReadNamingLine(Line, Lines, Name))
            continue;
        if (!IsPrintableAscii(Line))
            Note(Notes, LineNumber, Raw, EGameDatProblem::NotText);
        else if (Name.IsEmpty())
            Note(Notes, LineNumber, Raw, EGameDatProblem::NoName);
        else if (!StaysInside(Name))
            Note(Notes, LineNumber, Raw, EGameDatProblem::OutsideGame);
        else
        {
            FGameDatEntry Entry;
            Entry.Line = LineNumber;
            Entry.Name = Name;
            Entries.AddItem(Entry);
        }
    }
    return Entries;
}

FString GameDatPath(const FString& Dir, const FString& Name)
{
    return Dir + WithBackslashes(Name);
}

bool ArchiveExists(const FString& Path)
{
    const FArchiveFiles Files = GetArchiveFiles(Path);
    return FGameDisk::FileSize(Files.Cur) >= 0 || FGameDisk::FileSize(Files.OrigBak) >= 0;
}

FGameArchiveList ListGameArchives(const FString& Dir)
{
    FGameArchiveList List;
    List.Archives.AddItem(GetGameArchiveFiles(Dir).Cur);
    List.DatPath = Dir + u"data\\gta.dat";

    FString Text;
    if (!FGameDisk::LoadText(List.DatPath, Text, MaxDatBytes))
        return List;
    List.bDatRead = true;

    for (const FGameDatEntry& Entry : ParseGameDat(Text, List.Notes))
    {
        const FString Path = GameDatPath(Dir, Entry.Name);
        if (!ArchiveExists(Path))
        {
            FGameDatNote Missing;
            Missing.Line = Entry.Line;
            Missing.Text = Entry.Name;
            Missing.Problem = EGameDatProblem::NotFound;
            List.Notes.AddItem(Missing);
        }
        else if (!AlreadyListed(List.Archives, Path))
            List.Archives.AddItem(Path);
    }
    return List;
}

bool ResolveArchiveName(const FString& Dir, const FString& Name, FString& Path)
{
    Path.Empty();
    if (!StaysInside(Name))
        return false;
    const bool bBare = Name.InStr(u"\\") < 0 && Name.InStr(u"/") < 0;
    const char16_t* Dot = appStrrchr(*Name, u'.');
    const bool bHasImg = Dot && appStricmp(Dot, u".img") == 0;
    Path = Dir + (bBare ? FString(u"Models\\") : FString()) + WithBackslashes(Name) + (bHasImg ? u"" : u".img");
    return true;
}
