// The mod loader's folder read as the loader reads it: which mods load, which of their files the game gets, which
// of those are drawn at screen size, and the loose dictionaries of the game's data files.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "Core/Inc/CorePath.h"
#include "engine/FGameDisk.h"
#include "engine/FModFolder.h"
#include "tests/support/TempDir.h"

namespace
{
// Writes Text at Relative below Dir, making its folders.
void Put(const FTempDir& Dir, const std::string& Relative, const std::string& Text = "x")
{
    std::string Made;
    for (size_t Slash = Relative.find('/'); Slash != std::string::npos; Slash = Relative.find('/', Slash + 1))
        FGameDisk::MakeFolder(Dir.Path() + FString::FromUtf8(Relative.substr(0, Slash).c_str()));
    std::ofstream((Dir.Path() + FString::FromUtf8(Relative.c_str())).ToUtf8(), std::ios::binary) << Text;
}

// "mod:relative" of each dictionary, and of each archive "mod:relative>replaced".
std::string Listed(const FModFolderFiles& Files)
{
    std::string Out;
    for (const FLooseDictionary& Each : Files.Dictionaries)
        Out += (Each.Mod + u":" + Each.Relative).ToUtf8() + (Each.Use == ELooseUse::Screen ? "(screen) " : " ");
    for (const FModArchive& Each : Files.Archives)
        Out += (Each.Mod + u":" + appPathFileName(Each.Path) + u">" + Each.Replaces).ToUtf8() + " ";
    for (std::string::iterator i = Out.begin(); i != Out.end(); ++i)
        *i = *i == '\\' ? '/' : *i;
    return Out;
}
} // namespace

// Mods are the folders in modloader: dot names are skipped at every depth, loose files at the top are not loaded,
// the dummies the loader takes and never loads are left, the copy of the highest priority wins (then the mod's
// name that sorts last), IgnoreMods, priority 0 and IgnoreFiles skip; a mod's archive counts only in place of one
// the game opens; the data files' TEXDICTION lines count too.
TEST(FModFolderTest, FindsWhatTheLoaderLoads)
{
    FTempDir Game;
    Put(Game, "data/default.dat", "TEXDICTION models/generic/vehicle.txd\nTEXDICTION models/missing.txd\n");
    Put(Game, "models/generic/vehicle.txd");
    Put(Game, "models/gta3.img");
    Put(Game, "modloader/modloader.ini",
        "[Folder.Config]\nProfile = Default\n[Profiles.Default.Config]\nExcludeAllMods = false\n"
        "[Profiles.Default.Priority]\nhigh = 60 ; comments are allowed\nzero = 0\n"
        "[Profiles.Default.IgnoreMods]\n_ignore\n[Profiles.Default.IgnoreFiles]\n*.bak.txd\n");
    Put(Game, "modloader/top.txd");
    Put(Game, "modloader/.data/hidden.txd");
    Put(Game, "modloader/Cars/vehicles/infernus.txd");
    Put(Game, "modloader/Cars/vehicles/.git/stale.txd");
    Put(Game, "modloader/Cars/hud.txd");
    Put(Game, "modloader/Cars/misc.txd");
    Put(Game, "modloader/Cars/txd/loadscs.txd");
    Put(Game, "modloader/Cars/readme.txt");
    Put(Game, "modloader/Cars/old.bak.txd");
    Put(Game, "modloader/Cars/bullet.txd");
    Put(Game, "modloader/Cars/gta3.img");
    Put(Game, "modloader/Cars/other.img");
    Put(Game, "modloader/high/INFERNUS.txd");
    Put(Game, "modloader/zebra/bullet.txd");
    Put(Game, "modloader/zero/sky.txd");
    Put(Game, "modloader/_ignore/sky.txd");
    TDynArray<FString> Archives;
    Archives.AddItem(Game.Path() + u"models\\gta3.img");

    FModFolderFiles Files = FindModFolderFiles(Game.Path(), Archives);
    EXPECT_TRUE(Files.bLoads);
    EXPECT_EQ(Listed(Files), ":models/generic/vehicle.txd Cars:hud.txd(screen) Cars:txd/loadscs.txd(screen) "
                             "high:INFERNUS.txd zebra:bullet.txd Cars:gta3.img>models/gta3.img ");
    ASSERT_EQ(Files.Mods.Num(), 3); // Cars, high, zebra
    EXPECT_EQ(Files.Mods[1].Priority, 60);
    EXPECT_EQ(Files.Mods[0].Dictionaries, 2);

    // Only the mods IncludeMods names, under a profile chosen by name that inherits another's.
    Put(Game, "modloader/modloader.ini",
        "[Folder.Config]\nProfile = Mine\n[Profiles.Mine.Config]\nExcludeAllMods = true\nParents = Base\n"
        "[Profiles.Mine.IncludeMods]\nz*\n[Profiles.Base.Config]\n[Profiles.Base.IgnoreFiles]\nbullet.txd\n");
    Files = FindModFolderFiles(Game.Path(), Archives);
    EXPECT_EQ(Listed(Files), ":models/generic/vehicle.txd zero:sky.txd ");
    EXPECT_EQ(Files.Mods.Num(), 2); // zebra (whose one file the parent ignores) and zero

    // Nothing when the loader is told to load nothing, or its plugins are off.
    Put(Game, "modloader/modloader.ini", "[Profiles.Default.Config]\nIgnoreAllMods = true\n");
    EXPECT_FALSE(FindModFolderFiles(Game.Path(), Archives).bLoads);
    Put(Game, "modloader/modloader.ini", "");
    Put(Game, "modloader/.data/config.ini", "[Config]\nEnablePlugins = false\n");
    EXPECT_FALSE(FindModFolderFiles(Game.Path(), Archives).bLoads);
}

TEST(FModFolderTest, ScreenDictionariesAndGlobs)
{
    for (const char16_t* Name : {u"HUD.txd", u"fonts.txd", u"radar42.txd", u"LOADSCS.txd", u"ld_beat.txd"})
        EXPECT_TRUE(IsScreenDictionary(Name, u"mod")) << FString(Name).ToUtf8();
    EXPECT_TRUE(IsScreenDictionary(u"anything.txd", u"TXD"));
    for (const char16_t* Name : {u"infernus.txd", u"vehicle.txd", u"particle.txd", u"lahills_txd.txd"})
        EXPECT_FALSE(IsScreenDictionary(Name, u"mod")) << FString(Name).ToUtf8();
    EXPECT_TRUE(MatchesGlob(u"Old.BAK.txd", u"*.bak.txd"));
    EXPECT_TRUE(MatchesGlob(u"abcbcd", u"a*bcd"));
    EXPECT_TRUE(MatchesGlob(u"x", u"?"));
    EXPECT_FALSE(MatchesGlob(u"abc", u"a*d"));
    EXPECT_FALSE(MatchesGlob(u"", u"?"));
}
