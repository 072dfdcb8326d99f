// Finding the game: what a named path meant, the registry, Wine prefixes, Steam libraries, the default folder.
#include "engine/FGameDir.h"

#include <string>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CorePath.h"
#include "Core/Inc/CoreUtil.h"
#include "engine/FGameDisk.h"
#include "engine/FGameFiles.h"
#include "engine/FPlayerChoices.h"

const char16_t* const GGameDirRegistryKey = u"SOFTWARE\\Quorrin: San Andreas";
const char16_t* const GGameDirRegistryValue = u"GTA:SA Path";
const char16_t* const GDefaultGameDir = u"C:\\Program Files\\Rockstar Games\\GTA San andreas\\";
const char16_t* const GSteamGameFolder = u"Grand Theft Auto San Andreas";
const char16_t* const GSteamAppId = u"12120";

namespace
{
// A libraryfolders.vdf is a few kilobytes; anything far larger is not one.
const int64_t MaxVdfBytes = 1 << 20;
// Library paths and keys are short; a longer token is damage, and is skipped.
const int32_t MaxVdfToken = 4096;

// A game folder holds the archive the game loads, or the original kept while a shrink is in use or interrupted.
bool HoldsGameFiles(const FString& Dir)
{
    const FArchiveFiles Files = GetGameArchiveFiles(appWithTrailingSeparator(Dir));
    return FGameDisk::IsFile(Files.Cur) || FGameDisk::IsFile(Files.OrigBak);
}

// The first folder below Path, down to Depth levels, that holds the game (nearer levels first); else empty.
// Budget is how many more folders may be looked at: a whole drive is not searched through.
FString FindGameDirBelow(const FString& Path, int32_t Depth, int32_t& Budget)
{
    const TDynArray<FString> Subfolders = FGameDisk::ListSubfolders(Path);
    for (int32_t i = 0; i < Subfolders.Num() && Budget > 0; ++i, --Budget)
        if (HoldsGameFiles(appPathJoin(Path, *Subfolders[i])))
            return appWithTrailingSeparator(appPathJoin(Path, *Subfolders[i]));
    for (int32_t i = 0; Depth > 1 && i < Subfolders.Num() && Budget > 0; ++i)
    {
        const FString Found = FindGameDirBelow(appPathJoin(Path, *Subfolders[i]), Depth - 1, Budget);
        if (!Found.IsEmpty())
            return Found;
    }
    return FString();
}

// The game folder a path that holds no game is near: the first folder above it that holds the game (a Models
// folder counting for its game), else the game's folder in it as a Steam library, else one below it, two levels
// down at most (a Steam library's steamapps folder holds common, which holds the game). Empty when there is none.
FString FindGameDirNear(const FString& Path)
{
    for (FString Above = appPathFolder(Path); !Above.IsEmpty(); Above = appPathFolder(Above))
    {
        if (HoldsGameFiles(Above))
            return appWithTrailingSeparator(Above);
        if (appPathFileName(Above).EqualsNoCase(u"Models") && HoldsGameFiles(appPathFolder(Above)))
            return appWithTrailingSeparator(appPathFolder(Above));
        if (appPathFolder(Above) == Above)
            break;
    }
    const FString SteamGame = appPathJoin(appPathJoin(appPathJoin(Path, u"steamapps"), u"common"), GSteamGameFolder);
    if (HoldsGameFiles(SteamGame))
        return appWithTrailingSeparator(SteamGame);
    int32_t Budget = 512;
    return FGameDisk::IsFolder(Path) ? FindGameDirBelow(Path, 2, Budget) : FString();
}

bool LoadUtf8File(const FString& Path, FString& Text)
{
    FString Raw;
    if (!FGameDisk::LoadText(Path, Raw, MaxVdfBytes))
        return false;
    // An 8-bit file comes one unit per byte; its bytes are UTF-8.
    Text = FString::FromUtf8(Raw.ToBytes().c_str());
    return true;
}

// ---- Wine registry files -----------------------------------------------------------------------------------

int32_t HexDigit(char16_t C)
{
    if (C >= u'0' && C <= u'9')
        return C - u'0';
    if (C >= u'a' && C <= u'f')
        return C - u'a' + 10;
    if (C >= u'A' && C <= u'F')
        return C - u'A' + 10;
    return -1;
}

// Undoes the escapes of a quoted text of a .reg file, starting just after its opening quote. Returns the index
// after the closing quote, or -1 when the text does not end on this line.
int32_t ReadQuoted(const FString& Line, int32_t Pos, FString& Out)
{
    Out.Empty();
    while (Pos < Line.Len())
    {
        const char16_t C = Line[Pos++];
        if (C == u'"')
            return Pos;
        if (C != u'\\' || Pos >= Line.Len())
        {
            Out += C;
            continue;
        }
        const char16_t E = Line[Pos++];
        if (E == u'n')
            Out += u'\n';
        else if (E == u't')
            Out += u'\t';
        else if (E == u'r')
            Out += u'\r';
        else if (E == u'0')
            continue; // a terminator inside the text: the text ends there anyway
        else if (E == u'x')
        {
            int32_t Unit = 0;
            for (int32_t Digits = 0; Digits < 4 && Pos < Line.Len() && HexDigit(Line[Pos]) >= 0; ++Digits)
                Unit = Unit * 16 + HexDigit(Line[Pos++]);
            Out += char16_t(Unit);
        }
        else
            Out += E; // \\ and \" and anything else: the character itself
    }
    return -1;
}

// The key of a line "[Software\\Quorrin: San Andreas] 1234567890", with the doubled backslashes undone.
bool ReadKeyLine(const FString& Line, FString& Key)
{
    if (Line.Len() < 2 || Line[0] != u'[')
        return false;
    int32_t Close = -1;
    for (int32_t i = Line.Len() - 1; i > 0 && Close < 0; --i)
        if (Line[i] == u']')
            Close = i;
    if (Close < 0)
        return false;
    Key.Empty();
    for (int32_t i = 1; i < Close; ++i)
    {
        Key += Line[i];
        if (Line[i] == u'\\' && i + 1 < Close && Line[i + 1] == u'\\')
            ++i;
    }
    return true;
}

// ---- Steam's libraryfolders.vdf ----------------------------------------------------------------------------

// The tokens of Valve's key-value text: quoted strings (with \\, \", \n and \t), bare words, braces and
// // comments. A token that does not end on its line, or runs past MaxVdfToken, is skipped with the rest of its
// line and comes as Broken.
class FVdfTokens
{
public:
    enum EToken
    {
        End,
        Open,
        Close,
        Text,
        Broken,
    };

    explicit FVdfTokens(const FString& InText) : Source(InText) {}

    EToken Next(FString& Out)
    {
        SkipBlanksAndComments();
        if (Pos >= Source.Len())
            return End;
        const char16_t C = Source[Pos];
        if (C == u'{' || C == u'}')
        {
            ++Pos;
            return C == u'{' ? Open : Close;
        }
        if (C == u'"' ? ReadQuoted(Out) : ReadBare(Out))
            return Text;
        SkipLine();
        return Broken;
    }

private:
    void SkipBlanksAndComments()
    {
        while (Pos < Source.Len())
        {
            const char16_t C = Source[Pos];
            if (C == u' ' || C == u'\t' || C == u'\r' || C == u'\n' || C == 0xFEFF)
                ++Pos;
            else if (C == u'/' && Pos + 1 < Source.Len() && Source[Pos + 1] == u'/')
                SkipLine();
            else
                return;
        }
    }

    void SkipLine()
    {
        while (Pos < Source.Len() && Source[Pos] != u'\n')
            ++Pos;
    }

    bool ReadQuoted(FString& Out)
    {
        Out.Empty();
        for (++Pos; Pos < Source.Len() && Source[Pos] != u'\n'; ++Pos)
        {
            char16_t C = Source[Pos];
            if (C == u'"')
            {
                ++Pos;
                return Out.Len() <= MaxVdfToken;
            }
            if (C == u'\\' && Pos + 1 < Source.Len() && Source[Pos + 1] != u'\n')
            {
                C = Source[++Pos];
                C = C == u'n' ? u'\n' : (C == u't' ? u'\t' : C);
            }
            if (Out.Len() <= MaxVdfToken)
                Out += C;
        }
        return false;
    }

    bool ReadBare(FString& Out)
    {
        Out.Empty();
        for (; Pos < Source.Len(); ++Pos)
        {
            const char16_t C = Source[Pos];
            if (C == u' ' || C == u'\t' || C == u'\r' || C == u'\n' || C == u'"' || C == u'{' || C == u'}')
                break;
            if (Out.Len() <= MaxVdfToken)
                Out += C;
        }
        return Out.Len() <= MaxVdfToken;
    }

    const FString& Source;
    int32_t Pos = 0;
};

bool IsNumber(const FString& Text)
{
    if (Text.IsEmpty())
        return false;
    for (int32_t i = 0; i < Text.Len(); ++i)
        if (Text[i] < u'0' || Text[i] > u'9')
            return false;
    return true;
}

void AddUnique(TDynArray<FString>& List, const FString& Item)
{
    for (const FString& Known : List)
        if (Known == Item)
            return;
    List.AddItem(Item);
}

// The steamapps folders of every library of the Steam folders Roots: each one's own, and those its
// libraryfolders.vdf lists.
TDynArray<FString> FindSteamApps(const TDynArray<FString>& Roots)
{
    TDynArray<FString> Libraries;
    for (const FString& Root : Roots)
    {
        const FString SteamApps = appPathJoin(Root, u"steamapps");
        if (Root.IsEmpty() || !FGameDisk::IsFolder(SteamApps))
            continue;
        AddUnique(Libraries, appWithSystemSeparators(SteamApps));
        FString Vdf;
        if (LoadUtf8File(appPathJoin(SteamApps, u"libraryfolders.vdf"), Vdf))
            for (const FString& Library : ReadSteamLibraryFolders(Vdf))
                AddUnique(Libraries, appWithSystemSeparators(appPathJoin(Library, u"steamapps")));
    }
    return Libraries;
}

// The Steam folders to look through: the one the registry names, and the two places Steam keeps itself on Linux.
TDynArray<FString> SteamRoots(const FGameDirSearch& Search)
{
    TDynArray<FString> Roots;
    if (!Search.SteamRoot.IsEmpty())
        Roots.AddItem(Search.SteamRoot);
    if (!Search.Home.IsEmpty())
        for (const char16_t* Root : {u".steam/steam", u".local/share/Steam"})
            Roots.AddItem(appPathJoin(Search.Home, Root));
    return Roots;
}

// A folder that holds the game's archive, or its program: the program copied into the game's folder finds it.
bool HoldsGame(const FString& Dir)
{
    return !Dir.IsEmpty() && (HoldsGameFiles(Dir) || FGameDisk::IsFile(appPathJoin(Dir, u"gta_sa.exe")));
}

bool Take(FGameDir& Found, EGameDirSource Source, const FString& Dir)
{
    Found.Source = Source;
    Found.Dir = appWithTrailingSeparator(Dir);
    Found.Detail.Empty();
    return true;
}

// The steps before the Wine prefixes: the current folder, the remembered folder, the program's folder, the
// registry.
bool FindGameDirFirst(const FGameDirSearch& Search, FGameDir& Found)
{
    if (HoldsGame(Search.CurrentDir))
        return Take(Found, EGameDirSource::CurrentFolder, Search.CurrentDir);
    // Started in the game's Models folder: the game is the folder above.
    const FString Above = appPathFolder(Search.CurrentDir);
    if (!Search.CurrentDir.IsEmpty() && appPathFileName(Search.CurrentDir).EqualsNoCase(u"Models") && HoldsGame(Above))
        return Take(Found, EGameDirSource::CurrentFolder, Above);
    if (HoldsGame(Search.Remembered))
        return Take(Found, EGameDirSource::Remembered, Search.Remembered);
    if (HoldsGame(Search.ProgramDir))
        return Take(Found, EGameDirSource::ProgramFolder, Search.ProgramDir);
    if (!Search.ProgramDir.IsEmpty() && HoldsGame(appPathFolder(Search.ProgramDir)))
        return Take(Found, EGameDirSource::ProgramFolder, appPathFolder(Search.ProgramDir));
    // Installers write the folder with or without its final backslash; the engine needs one.
    const FString Registry = Search.bRegistry ? ReadRegistryGameDir() : FString();
    return !Registry.IsEmpty() && Take(Found, EGameDirSource::Registry, Registry);
}

// A registry text value as the dialog always read it: a zeroed buffer of 4096 units announced as 4094 bytes.
FString ReadRegistryText(CoreOS::ERegistryRoot Root, CoreOS::ERegistryView View, const char16_t* Key,
                         const char16_t* Value)
{
    // The buffer's last units stay zero whatever the value holds, so its text is always terminated.
    char16_t Buffer[4096] = {};
    uint32_t Bytes = 4094;
    if (!CoreOS::RegistryReadValue(Root, View, Key, Value, Buffer, &Bytes))
        return FString(Buffer);
    // A text value's bytes count its terminating zero, which is no part of the text.
    int32_t Units = int32_t(Bytes / 2);
    for (int32_t i = 0; i < Units; ++i)
        if (Buffer[i] == 0)
        {
            Units = i;
            break;
        }
    return FString(Buffer, Units);
}
} // namespace

FGameDir InterpretGameDirArgument(const FString& Path)
{
    FGameDir Game;
    Game.Source = EGameDirSource::Argument;
    Game.Dir = appWithTrailingSeparator(Path);
    if (FGameDisk::IsFolder(Path) && HoldsGameFiles(Path))
        return Game;

    const FString Parent = appPathFolder(Path);
    if (FGameDisk::IsFolder(Path) && appPathFileName(Path).EqualsNoCase(u"Models") && HoldsGameFiles(Parent))
    {
        Game.Dir = appWithTrailingSeparator(Parent);
        Game.Given = EGameDirGiven::ModelsFolder;
        return Game;
    }

    // One of the four names of the archive's file set, in the Models folder of a game.
    const FString Above = appWithTrailingSeparator(appPathFolder(Parent));
    const FArchiveFiles Files = GetGameArchiveFiles(Above);
    if (FGameDisk::IsFile(Path) && !Parent.IsEmpty() && !appPathFolder(Parent).IsEmpty())
        for (const FString* Name : {&Files.Cur, &Files.OrigBak, &Files.KeptShrunk, &Files.Temp})
            if (appWithSystemSeparators(*Name).EqualsNoCase(*appWithSystemSeparators(Path)))
            {
                Game.Dir = Above;
                Game.Given = EGameDirGiven::ArchiveFile;
                return Game;
            }
    Game.Given = FGameDisk::IsFolder(Path) ? EGameDirGiven::OtherFolder
                 : FGameDisk::IsFile(Path) ? EGameDirGiven::OtherFile
                                           : EGameDirGiven::Missing;
    Game.Nearby = FindGameDirNear(Path);
    return Game;
}

// ---- Registry and Wine prefixes ----------------------------------------------------------------------------

FString ReadRegistryGameDir()
{
    const FString Value32 =
        ReadRegistryText(CoreOS::REGROOT_LocalMachine, CoreOS::REGVIEW_32, GGameDirRegistryKey, GGameDirRegistryValue);
    if (!Value32.IsEmpty())
        return Value32;
    return ReadRegistryText(CoreOS::REGROOT_LocalMachine, CoreOS::REGVIEW_64, GGameDirRegistryKey,
                            GGameDirRegistryValue);
}

FString ReadRegistrySteamRoot()
{
    return ReadRegistryText(CoreOS::REGROOT_CurrentUser, CoreOS::REGVIEW_64, u"Software\\Valve\\Steam", u"SteamPath");
}

bool ReadWineRegValue(const FString& RegText, const FString& KeyPath, const FString& ValueName, FString& Value)
{
    TDynArray<FString> Lines;
    RegText.Split(u"\n", &Lines);
    bool bInKey = false;
    for (FString Line : Lines)
    {
        if (Line.Len() > 0 && Line[Line.Len() - 1] == u'\r')
            Line = Line.Left(Line.Len() - 1);
        FString Key;
        if (ReadKeyLine(Line, Key))
        {
            bInKey = appStricmp(*Key, *KeyPath) == 0;
            continue;
        }
        if (!bInKey || Line.Len() == 0 || Line[0] != u'"')
            continue;
        FString Name;
        int32_t Pos = ReadQuoted(Line, 1, Name);
        if (Pos < 0 || Pos >= Line.Len() || Line[Pos] != u'=' || appStricmp(*Name, *ValueName) != 0)
            continue;
        const FString Rest = Line.Mid(Pos + 1);
        const int32_t Start = Rest.StartsWith(u"\"") ? 1 : (Rest.StartsWith(u"str(2):\"") ? 8 : -1);
        if (Start >= 0 && ReadQuoted(Rest, Start, Value) >= 0)
            return true;
    }
    return false;
}

FString MapWineDrivePath(const FString& Prefix, const FString& WindowsPath)
{
    const char16_t Drive = WindowsPath.Len() >= 2 ? appToLower(WindowsPath[0]) : 0;
    if (WindowsPath.Len() < 2 || WindowsPath[1] != u':' || Drive < u'a' || Drive > u'z')
        return FString();
    FString Result = appWithoutTrailingSeparators(Prefix) + u"/dosdevices/";
    Result += Drive;
    Result += u':';
    for (int32_t i = 2; i < WindowsPath.Len(); ++i)
        Result += WindowsPath[i] == u'\\' ? u'/' : WindowsPath[i];
    if (Result[Result.Len() - 1] != u'/')
        Result += u'/';
    return Result;
}

bool FindWineGameDir(const FString& Prefix, FString& Dir, FString& Why)
{
    const FString RegFile = appPathJoin(Prefix, u"system.reg");
    FString Text;
    if (Prefix.IsEmpty() || !FGameDisk::LoadText(RegFile, Text))
    {
        Why = FString::Printf(u"there is no Wine prefix at %s (no system.reg)", *Prefix);
        return false;
    }
    const FString Wow = FString(u"SOFTWARE\\Wow6432Node\\") + (GGameDirRegistryKey + appStrlen(u"SOFTWARE\\"));
    FString Value;
    if (!ReadWineRegValue(Text, GGameDirRegistryKey, GGameDirRegistryValue, Value) &&
        !ReadWineRegValue(Text, Wow, GGameDirRegistryValue, Value))
    {
        Why = FString::Printf(u"the Wine prefix %s has no value \"%s\" under HKEY_LOCAL_MACHINE\\%s", *Prefix,
                              GGameDirRegistryValue, GGameDirRegistryKey);
        return false;
    }
    Dir = MapWineDrivePath(Prefix, Value);
    if (Dir.IsEmpty())
    {
        Why = FString::Printf(u"the Wine prefix %s names the game folder \"%s\", which is no drive path", *Prefix,
                              *Value);
        return false;
    }
    Dir = appWithSystemSeparators(Dir);
    return true;
}

// ---- Steam ------------------------------------------------------------------------------------------------

TDynArray<FString> ReadSteamLibraryFolders(const FString& VdfText)
{
    TDynArray<FString> Folders;
    FVdfTokens Tokens(VdfText);
    int32_t Depth = 0;
    FString Key, Value;
    bool bHaveKey = false;
    for (FVdfTokens::EToken Token = Tokens.Next(Value); Token != FVdfTokens::End; Token = Tokens.Next(Value))
    {
        if (Token != FVdfTokens::Text)
        {
            Depth += Token == FVdfTokens::Open ? 1 : (Token == FVdfTokens::Close && Depth > 0 ? -1 : 0);
            bHaveKey = false;
        }
        else if (!bHaveKey)
        {
            Key = Value;
            bHaveKey = true;
        }
        else
        {
            // "path" in a library's block; older files list the libraries as "1" "/path" in the top block.
            if (!Value.IsEmpty() && (Key.EqualsNoCase(u"path") || (Depth == 1 && IsNumber(Key))))
                AddUnique(Folders, Value);
            bHaveKey = false;
        }
    }
    return Folders;
}

bool FindSteamGameDir(const TDynArray<FString>& Roots, FGameDir& Found, FString& Why)
{
    const TDynArray<FString> Libraries = FindSteamApps(Roots);
    if (Libraries.Num() == 0)
    {
        Why = Roots.Num() == 0 ? FString(u"there is no Steam library ($HOME is not set)")
                               : FString::Printf(u"there is no Steam library in %s",
                                                 *appWithSystemSeparators(appPathJoin(Roots[0], u"steamapps")));
        return false;
    }
    for (const FString& Library : Libraries)
    {
        const FString Game = appPathJoin(appPathJoin(Library, u"common"), GSteamGameFolder);
        if (HoldsGameFiles(Game))
        {
            Found.Source = EGameDirSource::Steam;
            Found.Dir = appWithTrailingSeparator(Game);
            Found.Detail = appWithSystemSeparators(Library);
            return true;
        }
    }
    for (const FString& Library : Libraries)
    {
        const FString Prefix = appPathJoin(appPathJoin(appPathJoin(Library, u"compatdata"), GSteamAppId), u"pfx");
        FString Dir, PrefixWhy;
        if (FGameDisk::IsFolder(Prefix) && FindWineGameDir(Prefix, Dir, PrefixWhy))
        {
            Found.Source = EGameDirSource::Steam;
            Found.Dir = Dir;
            Found.Detail = appWithSystemSeparators(Prefix);
            return true;
        }
    }
    Why = FString::Printf(u"no Steam library holds the game or a Proton prefix naming it (%d looked at: %s%s)",
                          Libraries.Num(), *Libraries[0], Libraries.Num() > 1 ? u", ..." : u"");
    return false;
}

// ---- The search ------------------------------------------------------------------------------------------

FGameDirSearch GetGameDirSearch(const FString& WinePrefix)
{
    FGameDirSearch Search;
    Search.Remembered = LoadPlayerChoices().GameDir;
    Search.ProgramDir = appBaseDir();
    Search.bRegistry = CoreOS::HasRegistry();
    if (Search.bRegistry)
        Search.SteamRoot = ReadRegistrySteamRoot();
    Search.WinePrefix = WinePrefix;
    if (const char* Prefix = CoreOS::GetEnv("WINEPREFIX"))
        Search.EnvWinePrefix = FString::FromUtf8(Prefix);
    if (const char* Home = CoreOS::GetEnv("HOME"))
        Search.Home = FString::FromUtf8(Home);
    return Search;
}

bool FindGameDir(const FGameDirSearch& Search, FGameDir& Found, FString& Why)
{
    Found = FGameDir();
    const bool bNamedPrefix = !Search.WinePrefix.IsEmpty();
    if (!bNamedPrefix && FindGameDirFirst(Search, Found))
        return true;

    FString Prefix = bNamedPrefix ? Search.WinePrefix : Search.EnvWinePrefix;
    if (Prefix.IsEmpty() && !Search.Home.IsEmpty())
        Prefix = appPathJoin(Search.Home, u".wine");
    FString WineWhy = u"there is no Wine prefix ($WINEPREFIX and $HOME are not set)";
    if (!Prefix.IsEmpty() && FindWineGameDir(Prefix, Found.Dir, WineWhy))
    {
        Found.Source = EGameDirSource::WinePrefix;
        Found.Detail = appWithSystemSeparators(appWithoutTrailingSeparators(Prefix));
        return true;
    }
    // A prefix the user named is where they want the game looked for, and nowhere else.
    if (bNamedPrefix)
    {
        Why = WineWhy;
        return false;
    }

    FString SteamWhy;
    if (FindSteamGameDir(SteamRoots(Search), Found, SteamWhy))
        return true;
    if (Search.bRegistry)
    {
        Found.Source = EGameDirSource::Default;
        Found.Dir = GDefaultGameDir;
        return true;
    }
    Why = WineWhy + u", and " + SteamWhy;
    return false;
}
