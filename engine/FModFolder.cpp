// The mod loader's folder read as the loader reads it, and the loose dictionaries of the game's data files.
#include "engine/FModFolder.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "Core/Inc/CorePath.h"
#include "Core/Inc/CoreUtil.h"
#include "engine/FGameArchives.h"
#include "engine/FGameDisk.h"

namespace
{
// The loader's settings files are a few kilobytes; anything this large is not one.
const int64_t MaxIniBytes = int64_t(1) << 20;
const int64_t MaxDatBytes = int64_t(4) << 20;
// Mods nest folders a few levels deep; a walk this deep is a link that loops.
const int32_t MaxDepth = 32;

FString Lower(const FString& Text)
{
    FString Out = Text;
    for (int32_t i = 0; i < Out.Len(); ++i)
        if (Out[i] >= u'A' && Out[i] <= u'Z')
            Out[i] = char16_t(Out[i] - u'A' + u'a');
        else if (Out[i] == u'/')
            Out[i] = u'\\';
    return Out;
}

bool IsOneOf(const FString& Name, std::initializer_list<const char16_t*> Names)
{
    for (const char16_t* Each : Names)
        if (Name.EqualsNoCase(Each))
            return true;
    return false;
}

// ---- The loader's settings ------------------------------------------------------------------------------------

// An INI file's lines, by section: "key = value" or a bare key (the lists of mods and globs).
struct FIniLine
{
    FString Key;
    FString Value;
};
typedef std::map<std::u16string, std::vector<FIniLine>> FIniFile; // by the section's name in lower case

std::u16string Key(const FString& Text)
{
    const FString Low = Lower(Text);
    return std::u16string(*Low, size_t(Low.Len()));
}

FIniFile ReadIni(const FString& Path)
{
    FIniFile Ini;
    FString Text;
    if (!FGameDisk::LoadText(Path, Text, MaxIniBytes))
        return Ini;
    TDynArray<FString> Lines;
    Text.Split(u"\n", &Lines);
    std::vector<FIniLine>* Section = nullptr;
    for (const FString& Raw : Lines)
    {
        const int32_t Comment = Raw.InStr(u";");
        const FString Line = (Comment >= 0 ? Raw.Left(Comment) : Raw).TrimBlanks();
        if (Line.IsEmpty())
            continue;
        if (Line[0] == u'[' && Line[Line.Len() - 1] == u']')
        {
            Section = &Ini[Key(Line.Mid(1, Line.Len() - 2).TrimBlanks())];
            continue;
        }
        if (!Section)
            continue;
        const int32_t Equals = Line.InStr(u"=");
        FIniLine Item;
        Item.Key = (Equals >= 0 ? Line.Left(Equals) : Line).TrimBlanks();
        Item.Value = Equals >= 0 ? Line.Mid(Equals + 1).TrimBlanks() : FString();
        Section->push_back(Item);
    }
    return Ini;
}

const std::vector<FIniLine>* FindSection(const FIniFile& Ini, const FString& Name)
{
    const auto Found = Ini.find(Key(Name));
    return Found == Ini.end() ? nullptr : &Found->second;
}

bool IsTrue(const FString& Value)
{
    return Value.EqualsNoCase(u"true") || Value.EqualsNoCase(u"1") || Value.EqualsNoCase(u"yes") ||
           Value.EqualsNoCase(u"on");
}

// A priority as the loader reads it: a number (decimal, 0x hexadecimal, 0 octal), clamped to 0 to 100; anything
// else counts as 0.
int32_t ReadPriority(const FString& Value)
{
    const std::string Text = Value.ToUtf8();
    const long Number = std::strtol(Text.c_str(), nullptr, 0);
    return int32_t(std::max(0L, std::min(100L, Number)));
}

struct FProfile
{
    bool bIgnoreAll = false;
    bool bExcludeAll = false;
    TDynArray<FString> Parents;
    std::map<std::u16string, int32_t> Priority;
    TDynArray<FString> IgnoreMods, IgnoreFiles, IncludeMods, ExclusiveMods;
};
typedef std::map<std::u16string, FProfile> FProfiles; // by the profile's name in lower case

void AddKeys(const std::vector<FIniLine>* Lines, TDynArray<FString>& To)
{
    if (Lines)
        for (const FIniLine& Line : *Lines)
            To.AddItem(Lower(Line.Key));
}

// A profile's sections in Ini: Config, Priority and the lists, under Prefix ("Profiles.NAME.", or "" for the
// older files' sections).
void ReadProfile(const FIniFile& Ini, const FString& Prefix, FProfile& Profile)
{
    if (const std::vector<FIniLine>* Config = FindSection(Ini, Prefix + u"Config"))
    {
        for (const FIniLine& Line : *Config)
        {
            if (Line.Key.EqualsNoCase(u"IgnoreAllMods") || Line.Key.EqualsNoCase(u"IgnoreAllFiles"))
                Profile.bIgnoreAll = IsTrue(Line.Value);
            else if (Line.Key.EqualsNoCase(u"ExcludeAllMods"))
                Profile.bExcludeAll = IsTrue(Line.Value);
            else if (Line.Key.EqualsNoCase(u"Parents"))
            {
                Profile.Parents.Empty();
                TDynArray<FString> Names;
                Line.Value.Split(u",", &Names);
                for (const FString& Name : Names)
                    if (!Name.TrimBlanks().IsEmpty())
                        Profile.Parents.AddItem(Lower(Name.TrimBlanks()));
            }
        }
    }
    if (const std::vector<FIniLine>* Priority = FindSection(Ini, Prefix + u"Priority"))
        for (const FIniLine& Line : *Priority)
            Profile.Priority[Key(Line.Key)] = ReadPriority(Line.Value);
    AddKeys(FindSection(Ini, Prefix + u"IgnoreMods"), Profile.IgnoreMods);
    AddKeys(FindSection(Ini, Prefix + u"IgnoreFiles"), Profile.IgnoreFiles);
    AddKeys(FindSection(Ini, Prefix + u"ExcludeFiles"), Profile.IgnoreFiles);
    AddKeys(FindSection(Ini, Prefix + u"IncludeMods"), Profile.IncludeMods);
    AddKeys(FindSection(Ini, Prefix + u"ExclusiveMods"), Profile.ExclusiveMods);
}

// Every profile of one settings file; a profile already read from an earlier file keeps its first reading.
void ReadProfiles(const FIniFile& Ini, FProfiles& Profiles)
{
    std::map<std::u16string, bool> Seen;
    for (const auto& Section : Ini)
    {
        const FString Name(Section.first.c_str());
        TDynArray<FString> Parts;
        Name.Split(u".", &Parts);
        if (Parts.Num() != 3 || Parts[0] != u"profiles" || Parts[1].IsEmpty() || Parts[1][0] == u'$')
            continue;
        const std::u16string Profile = Key(Parts[1]);
        if (Profiles.count(Profile) && !Seen.count(Profile))
            continue;
        Seen[Profile] = true;
        ReadProfile(Ini, u"Profiles." + Parts[1] + u".", Profiles[Profile]);
    }
    // The older files: their sections are the default profile's.
    if (Profiles.empty() && (FindSection(Ini, u"Config") || FindSection(Ini, u"Priority")))
        ReadProfile(Ini, FString(), Profiles[u"default"]);
}

// The profile in use and its direct parents, which decide together.
struct FActiveProfiles
{
    std::vector<const FProfile*> Deciding; // the profile in use first
    const FProfiles* All = nullptr;
    std::u16string Name;
};

bool MatchesAny(const FString& Name, const TDynArray<FString>& Globs)
{
    for (const FString& Glob : Globs)
        if (MatchesGlob(Name, Glob))
            return true;
    return false;
}

int32_t PriorityOf(const FActiveProfiles& Active, const FString& Mod)
{
    for (const FProfile* Profile : Active.Deciding)
    {
        const auto Found = Profile->Priority.find(Key(Mod));
        if (Found != Profile->Priority.end())
            return Found->second;
    }
    return 50;
}

bool IsModLoaded(const FActiveProfiles& Active, const FString& Mod)
{
    const FString Name = Lower(Mod);
    for (const FProfile* Profile : Active.Deciding)
        if (Profile->bExcludeAll ? !MatchesAny(Name, Profile->IncludeMods)
                                 : MatchesAny(Name, Profile->IgnoreMods) || PriorityOf(Active, Mod) == 0)
            return false;
    // A mod another profile keeps for itself loads only under the profiles that claim it.
    bool bOurs = false, bClaimed = false;
    for (const auto& Each : *Active.All)
        if (MatchesAny(Name, Each.second.ExclusiveMods))
        {
            bClaimed = true;
            for (const FProfile* Profile : Active.Deciding)
                bOurs = bOurs || Profile == &Each.second;
        }
    return !bClaimed || bOurs;
}

bool IsFileIgnored(const FActiveProfiles& Active, const FString& Name, const FString& Relative)
{
    for (const FProfile* Profile : Active.Deciding)
        for (const FString& Glob : Profile->IgnoreFiles)
            if (MatchesGlob(Glob.InStr(u"\\") >= 0 ? Relative : Name, Glob))
                return true;
    return false;
}

// ---- The mods' files ------------------------------------------------------------------------------------------

// How the loader takes a loose dictionary; files of one kind and name compete.
enum class ETxdKind : int32_t
{
    Effects, // the effects' and interface's own dictionaries, by name
    Sprite,  // in a folder named "txd": a script's sprites
    Clothes, // in a folder named player.img or player_img
    Streamed,
};

struct FModFile
{
    int32_t Mod = 0; // in the list of loaded mods
    FString Path;
    FString Relative; // below the mod's folder, in lower case with backslashes
    FString Name;     // the file's name
    FString Folder;   // the name of the folder it lies in
};

// Every file of a mod the loader sees: "." and "*" names skipped, every folder walked.
void WalkMod(const FString& Folder, const FString& Relative, int32_t Depth, int32_t Mod, std::vector<FModFile>& Files)
{
    if (Depth > MaxDepth)
        return;
    const TDynArray<FString> Names = FGameDisk::ListFolder(Folder);
    const TDynArray<FString> Subfolders = FGameDisk::ListSubfolders(Folder);
    std::map<std::u16string, bool> IsFolder;
    for (const FString& Name : Subfolders)
        IsFolder[std::u16string(*Name, size_t(Name.Len()))] = true;
    const FString FolderName = appPathFileName(Folder.Left(Folder.Len() - 1));
    for (const FString& Name : Names)
    {
        if (Name.IsEmpty() || Name[0] == u'.' || Name[0] == u'*')
            continue;
        const FString Path = Folder + Name;
        if (IsFolder.count(std::u16string(*Name, size_t(Name.Len()))))
        {
            WalkMod(Path + u"\\", Relative + Lower(Name) + u"\\", Depth + 1, Mod, Files);
            continue;
        }
        FModFile File;
        File.Mod = Mod;
        File.Path = Path;
        File.Relative = Relative + Lower(Name);
        File.Name = Name;
        File.Folder = FolderName;
        Files.push_back(File);
    }
}

ETxdKind KindOf(const FModFile& File)
{
    const FString Stem = File.Name.Left(File.Name.Len() - 4);
    if (IsOneOf(Stem, {u"hud", u"particle", u"effectspc", u"fonts", u"pcbtns", u"fronten1", u"fronten2",
                       u"fronten_pc", u"vehicle", u"plant1"}))
        return ETxdKind::Effects;
    if (File.Folder.EqualsNoCase(u"txd"))
        return ETxdKind::Sprite;
    if (File.Folder.EqualsNoCase(u"player.img") || File.Folder.EqualsNoCase(u"player_img"))
        return ETxdKind::Clothes;
    return ETxdKind::Streamed;
}

// Whether A's copy wins over B's: the mod of the higher priority, then the mod whose name sorts last, then within
// one mod the path that sorts last.
bool WinsOver(const FModFile& A, const FModFile& B, const TDynArray<FLoadedMod>& Mods)
{
    if (A.Mod != B.Mod)
    {
        const FLoadedMod &ModA = Mods[A.Mod], &ModB = Mods[B.Mod];
        if (ModA.Priority != ModB.Priority)
            return ModA.Priority > ModB.Priority;
        return Key(ModA.Name) > Key(ModB.Name);
    }
    return Key(A.Relative) > Key(B.Relative);
}

// The game's archive a mod's archive stands in for: the first whose path below the game folder ends the archive's
// path in its mod, else the first whose file name ends the archive's file name; empty when none.
FString ArchiveReplaced(const FModFile& File, const FString& Dir, const TDynArray<FString>& GameArchives)
{
    for (int32_t Pass = 0; Pass < 2; ++Pass)
        for (const FString& Archive : GameArchives)
        {
            const FString Below = Lower(Archive.Mid(Dir.Len()));
            const FString Wanted = Pass == 0 ? Below : Lower(appPathFileName(Archive));
            const FString Have = Pass == 0 ? File.Relative : Lower(File.Name);
            if (Have.EndsWith(*Wanted))
                return Below;
        }
    return FString();
}

// The loose dictionaries data\gta.dat and data\default.dat name, existing ones, each once.
void AddDataFileDictionaries(const FString& Dir, FModFolderFiles& Out)
{
    for (const char16_t* Dat : {u"data\\default.dat", u"data\\gta.dat"})
    {
        FString Text;
        if (!FGameDisk::LoadText(Dir + Dat, Text, MaxDatBytes))
            continue;
        TDynArray<FGameDatNote> Notes;
        for (const FGameDatEntry& Entry : ParseGameDat(Text, Notes, EGameDatLines::Dictionaries))
        {
            const FString Path = FGameDisk::SpelledOnDisk(GameDatPath(Dir, Entry.Name));
            const int64_t Bytes = FGameDisk::FileSize(Path);
            const bool bListed = std::any_of(Out.Dictionaries.begin(), Out.Dictionaries.end(),
                                             [&](const FLooseDictionary& Listed)
                                             { return FGameDisk::IsSameFile(Listed.Path, Path); });
            if (Bytes < 0 || bListed)
                continue;
            FLooseDictionary Dictionary;
            Dictionary.Path = Path;
            Dictionary.Relative = Entry.Name;
            Dictionary.Bytes = Bytes;
            Dictionary.Use = IsScreenDictionary(appPathFileName(Path), appPathFileName(appPathFolder(Path)))
                                 ? ELooseUse::Screen
                                 : ELooseUse::World;
            Out.Dictionaries.AddItem(Dictionary);
        }
    }
}

// The loader's settings as it reads them: false when it loads no mod at all.
bool ReadSettings(const FString& Folder, FProfiles& Profiles, FActiveProfiles& Active)
{
    const FIniFile Config = ReadIni(Folder + u".data\\config.ini");
    if (const std::vector<FIniLine>* Section = FindSection(Config, u"Config"))
        for (const FIniLine& Line : *Section)
            if (Line.Key.EqualsNoCase(u"EnablePlugins") && !IsTrue(Line.Value))
                return false;
    FIniFile Main = ReadIni(Folder + u"modloader.ini");
    if (Main.empty())
        Main = ReadIni(Folder + u".data\\modloader.ini.0");
    ReadProfiles(Main, Profiles);
    for (const FString& Name : FGameDisk::ListFolder(Folder + u".profiles\\"))
        if (Name.EndsWithNoCase(u".ini"))
            ReadProfiles(ReadIni(Folder + u".profiles\\" + Name), Profiles);
    FString InUse = u"Default";
    if (const std::vector<FIniLine>* Section = FindSection(Main, u"Folder.Config"))
        for (const FIniLine& Line : *Section)
            if (Line.Key.EqualsNoCase(u"Profile") && !Line.Value.IsEmpty())
                InUse = Line.Value;
    Active.All = &Profiles;
    Active.Name = Key(InUse);
    const FProfile& Current = Profiles[Active.Name];
    Active.Deciding.push_back(&Current);
    const bool bNoParents = std::any_of(Current.Parents.begin(), Current.Parents.end(),
                                        [](const FString& Parent) { return Parent == u"$none"; });
    for (const FString& Parent : Current.Parents)
    {
        const auto Found = Profiles.find(Key(Parent));
        if (!bNoParents && Parent[0] != u'$' && Found != Profiles.end() && &Found->second != &Current)
            Active.Deciding.push_back(&Found->second);
    }
    return std::none_of(Active.Deciding.begin(), Active.Deciding.end(),
                        [](const FProfile* Profile) { return Profile->bIgnoreAll; });
}
} // namespace

bool MatchesGlob(const FString& Text, const FString& Glob)
{
    // Iterative wildcard matching: the last "*" seen is where a mismatch goes back to.
    const FString T = Lower(Text), G = Lower(Glob);
    int32_t t = 0, g = 0, Star = -1, Mark = 0;
    while (t < T.Len())
    {
        if (g < G.Len() && (G[g] == u'?' || G[g] == T[t]))
            ++t, ++g;
        else if (g < G.Len() && G[g] == u'*')
            Star = g++, Mark = t;
        else if (Star >= 0)
            g = Star + 1, t = ++Mark;
        else
            return false;
    }
    while (g < G.Len() && G[g] == u'*')
        ++g;
    return g == G.Len();
}

bool IsScreenDictionary(const FString& FileName, const FString& Folder)
{
    if (Folder.EqualsNoCase(u"txd"))
        return true;
    const FString Stem = FileName.EndsWithNoCase(u".txd") ? FileName.Left(FileName.Len() - 4) : FileName;
    if (IsOneOf(Stem, {u"hud", u"fonts", u"pcbtns", u"fronten1", u"fronten2", u"fronten3", u"fronten_pc", u"outro"}))
        return true;
    for (const char16_t* Glob : {u"radar*", u"loadsc*", u"load0*", u"intro*", u"splash*", u"ld_*"})
        if (MatchesGlob(Stem, Glob))
            return true;
    return false;
}

FModFolderFiles FindModFolderFiles(const FString& Dir, const TDynArray<FString>& GameArchives)
{
    FModFolderFiles Out;
    AddDataFileDictionaries(Dir, Out);
    const FString Folder = FGameDisk::SpelledOnDisk(Dir + u"modloader") + u"\\";
    if (!FGameDisk::IsFolder(Folder))
        return Out;
    Out.Folder = Folder;
    FProfiles Profiles;
    FActiveProfiles Active;
    if (!ReadSettings(Folder, Profiles, Active))
        return Out;
    Out.bLoads = true;

    TDynArray<FString> Names = FGameDisk::ListSubfolders(Folder);
    std::sort(Names.begin(), Names.end(), [](const FString& A, const FString& B) { return Key(A) < Key(B); });
    std::vector<FModFile> Files;
    for (const FString& Name : Names)
    {
        if (Name.IsEmpty() || Name[0] == u'.' || Name[0] == u'*' || !IsModLoaded(Active, Name))
            continue;
        FLoadedMod Mod;
        Mod.Name = Name;
        Mod.Priority = PriorityOf(Active, Name);
        Out.Mods.AddItem(Mod);
        WalkMod(Folder + Name + u"\\", FString(), 0, Out.Mods.Num() - 1, Files);
    }

    // The winner of each kind and name of dictionary; a mod's archives in the order the loader installs them.
    std::map<std::pair<int32_t, std::u16string>, size_t> Winners;
    std::vector<size_t> Archives;
    for (size_t i = 0; i < Files.size(); ++i)
    {
        const FModFile& File = Files[i];
        if (IsFileIgnored(Active, Lower(File.Name), File.Relative))
            continue;
        if (File.Name.EndsWithNoCase(u".img"))
            Archives.push_back(i);
        const bool bDummy = IsOneOf(File.Name, {u"misc.txd", u"wheels.txd", u"fronten3.txd"});
        if (!File.Name.EndsWithNoCase(u".txd") || File.Name.Len() <= 4 || bDummy)
            continue;
        const auto Slot = std::make_pair(int32_t(KindOf(File)), Key(File.Name));
        const auto Found = Winners.find(Slot);
        if (Found == Winners.end() || WinsOver(File, Files[Found->second], Out.Mods))
            Winners[Slot] = i;
    }
    std::vector<size_t> Loaded;
    for (const auto& Winner : Winners)
        Loaded.push_back(Winner.second);
    std::sort(Loaded.begin(), Loaded.end());
    for (size_t i : Loaded)
    {
        const FModFile& File = Files[i];
        FLooseDictionary Dictionary;
        Dictionary.Path = File.Path;
        Dictionary.Mod = Out.Mods[File.Mod].Name;
        Dictionary.Relative = File.Path.Mid(Folder.Len() + Dictionary.Mod.Len() + 1);
        Dictionary.Bytes = std::max<int64_t>(0, FGameDisk::FileSize(File.Path));
        Dictionary.Use = IsScreenDictionary(File.Name, File.Folder) ? ELooseUse::Screen : ELooseUse::World;
        Out.Dictionaries.AddItem(Dictionary);
        Out.Mods[File.Mod].Dictionaries += 1;
        Out.Mods[File.Mod].Bytes += Dictionary.Bytes;
    }
    // The earliest installed archive that stands in for one the game opens is the one loaded: lowest priority
    // first, then the mod's name.
    std::stable_sort(Archives.begin(), Archives.end(),
                     [&](size_t A, size_t B)
                     {
                         const FLoadedMod &ModA = Out.Mods[Files[A].Mod], &ModB = Out.Mods[Files[B].Mod];
                         return ModA.Priority != ModB.Priority ? ModA.Priority < ModB.Priority
                                                               : Key(ModA.Name) < Key(ModB.Name);
                     });
    std::map<std::u16string, bool> Replaced;
    for (size_t i : Archives)
    {
        const FString Replaces = ArchiveReplaced(Files[i], Dir, GameArchives);
        if (Replaces.IsEmpty() || Replaced.count(Key(Replaces)))
            continue;
        Replaced[Key(Replaces)] = true;
        FModArchive Archive;
        Archive.Path = Files[i].Path;
        Archive.Mod = Out.Mods[Files[i].Mod].Name;
        Archive.Replaces = Replaces;
        Archive.Bytes = std::max<int64_t>(0, FGameDisk::FileSize(Files[i].Path));
        Out.Archives.AddItem(Archive);
    }
    return Out;
}
