// The texture files the game loads beside its archives: those the mod loader loads from the game's modloader
// folder (loose dictionaries and archives of each mod, found by the loader's own rules) and the loose dictionaries
// that data\gta.dat and data\default.dat name (TEXDICTION lines). Reads only; any thread.
//
// The loader's rules followed (its read-me, modloader.ini and the way it walks its folder):
// - every folder directly in modloader is a mod; files lying in modloader itself are not loaded; a file or folder
//   whose name starts with "." or "*" is skipped at every depth (so .data, .profiles and our own .pellmor);
// - modloader\.data\config.ini with EnablePlugins false loads nothing;
// - modloader.ini (else .data\modloader.ini.0) and .profiles\*.ini hold the profiles; [Folder.Config] Profile
//   names the one in use (Default); in [Profiles.NAME.Config] IgnoreAllMods (or IgnoreAllFiles) loads nothing,
//   ExcludeAllMods loads only the mods its IncludeMods globs match; otherwise a mod in IgnoreMods or of priority
//   0 ([Profiles.NAME.Priority]) is skipped, as is one that another profile's ExclusiveMods claims; the profile's
//   direct Parents count as well; IgnoreFiles globs skip files by name (or by their path in the mod when the glob
//   holds a separator); the older [Config], [Priority], [ExcludeFiles] and [IncludeMods] sections count as the
//   Default profile's;
// - inside a mod every folder is walked, at any depth, a folder named like an archive too; a .txd file is loaded
//   (by its name, in place of the archive entry of that name), but misc.txd, wheels.txd and fronten3.txd, which
//   the loader takes and never loads; of files of one kind and name, the mod of the highest priority wins, on a
//   tie the mod whose name sorts last, within a mod the path that sorts last: the others are not loaded;
// - a mod's .img file is loaded only in place of an archive the game opens: one whose path in the mod ends with
//   that archive's path below the game folder, else whose file name ends with its file name.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"

// Where a loose dictionary is drawn, which decides whether a shrink takes it by default.
enum class ELooseUse : int32_t
{
    World,  // textures of the world, vehicles and people: shrunk like the archives' entries
    Screen, // drawn at screen size (the HUD, fonts, menus, radar, loading screens, script sprites): stays as it is
};

// One loose dictionary the game loads.
struct FLooseDictionary
{
    FString Path;     // full path
    FString Mod;      // the mod's folder name as on disk; empty for a dictionary the game's data files name
    FString Relative; // the path below the mod's folder (below the game folder for the data files' ones)
    int64_t Bytes = 0;
    ELooseUse Use = ELooseUse::World;
};

// A mod's archive, loaded in place of one the game opens.
struct FModArchive
{
    FString Path;     // full path
    FString Mod;      // the mod's folder name as on disk
    FString Replaces; // the archive's path below the game folder, as the game names it ("models\gta3.img")
    int64_t Bytes = 0;
};

// A mod the loader loads, and what of it the game loads.
struct FLoadedMod
{
    FString Name; // its folder's name as on disk
    int32_t Priority = 50;
    int32_t Dictionaries = 0; // of Dictionaries below
    int64_t Bytes = 0;        // theirs
};

struct FModFolderFiles
{
    FString Folder;                         // the mod loader's folder, ending with a separator; empty when there is none
    bool bLoads = false;                    // the loader is there and loads mods
    TDynArray<FLoadedMod> Mods;             // the mods it loads, by name
    TDynArray<FLooseDictionary> Dictionaries; // by mod, then path; the data files' ones first
    TDynArray<FModArchive> Archives;        // by mod, then path
};

// What the game loads below the game folder Dir (ending with a separator) beside its archives. GameArchives are
// the archives the game opens (ListGameArchives), full paths below Dir: a mod's archive counts only in place of
// one of them.
FModFolderFiles FindModFolderFiles(const FString& Dir, const TDynArray<FString>& GameArchives);

// Whether a loose dictionary of this file name (any case) is drawn at screen size: hud, fonts, pcbtns, fronten1,
// fronten2, fronten3, fronten_pc, radar00 to radar143 and any radarNN, loadscs, load*, intro*, outro, splash*,
// ld_* and those in a "txd" folder (script sprites). Folder is the name of the folder it lies in.
bool IsScreenDictionary(const FString& FileName, const FString& Folder);

// Whether Text (any case) matches Glob, whose "*" stands for any run of characters and "?" for one.
bool MatchesGlob(const FString& Text, const FString& Glob);
