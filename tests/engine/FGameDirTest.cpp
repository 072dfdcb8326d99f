#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"
#include "engine/FGameDir.h"
#include "Core/Inc/CorePath.h"
#include "tests/support/TempDir.h"

namespace
{
bool Put(const FString& Path, const std::string& Bytes)
{
    std::filesystem::create_directories(std::filesystem::path(Path.ToUtf8()).parent_path());
    return WriteTestFile(Path, Bytes);
}

// A path as Steam writes it into its .vdf files: backslashes doubled.
std::string Escaped(const FString& Path)
{
    std::string Text;
    for (const char C : Path.ToUtf8())
        Text += C == '\\' ? std::string("\\\\") : std::string(1, C);
    return Text;
}

class FGameDirTest : public ::testing::Test
{
protected:
    // A game folder as the lookups see one: only the archive's name matters.
    void MakeGame(const FString& Folder) { ASSERT_TRUE(Put(Folder + u"/Models/gta3.img", "VER2")); }
    std::string Native(const FString& Path) { return appWithSystemSeparators(Path).ToUtf8(); }

    FTempDir Dir;
};
} // namespace

TEST_F(FGameDirTest, ANamedPathMeansTheGameFolderAroundIt)
{
    MakeGame(Dir.File(u"game"));
    ASSERT_TRUE(Put(Dir.File(u"game/Models/gta3_ORIG_BAK.img"), "VER2"));
    ASSERT_TRUE(Put(Dir.File(u"game/Models/readme.txt"), "x"));
    MakeGame(Dir.File(u"library/common/GTA SA"));
    MakeGame(Dir.File(u"Steam Library/steamapps/common/Grand Theft Auto San Andreas"));
    const struct
    {
        const char16_t* Path;
        EGameDirGiven Given;
        const char16_t* Dir;
        const char16_t* Nearby = nullptr;
    } Cases[] = {
        {u"game", EGameDirGiven::GameFolder, u"game/"},
        {u"game/", EGameDirGiven::GameFolder, u"game/"},
        {u"game/models", EGameDirGiven::ModelsFolder, u"game/"},
        {u"game/Models/gta3.img", EGameDirGiven::ArchiveFile, u"game/"},
        {u"game/MODELS/gta3_orig_bak.img", EGameDirGiven::ArchiveFile, u"game/"},
        // Named no game: taken as given, with the game folder above or below that was probably meant.
        {u"game/Models/readme.txt", EGameDirGiven::OtherFile, u"game/Models/readme.txt/", u"game/"},
        {u"game/modles/gta3.img", EGameDirGiven::Missing, u"game/modles/gta3.img/", u"game/"},
        {u"game/Models/gone", EGameDirGiven::Missing, u"game/Models/gone/", u"game/"},
        {u"", EGameDirGiven::OtherFolder, u"", u"game/"},
        {u"library", EGameDirGiven::OtherFolder, u"library/", u"library/common/GTA SA/"},
        {u"Steam Library", EGameDirGiven::OtherFolder, u"Steam Library/",
         u"Steam Library/steamapps/common/Grand Theft Auto San Andreas/"},
        {u"elsewhere", EGameDirGiven::Missing, u"elsewhere/", nullptr},
    };
    for (const auto& Case : Cases)
    {
        const FGameDir Game = InterpretGameDirArgument(Dir.File(Case.Path));
        EXPECT_EQ(Game.Source, EGameDirSource::Argument);
        EXPECT_EQ(Game.Given, Case.Given) << FString(Case.Path).ToUtf8();
        EXPECT_EQ(Game.Dir.ToUtf8(), Native(Dir.File(Case.Dir))) << FString(Case.Path).ToUtf8();
        EXPECT_EQ(Game.Nearby.ToUtf8(), Case.Nearby ? Native(Dir.File(Case.Nearby)) : "")
            << FString(Case.Path).ToUtf8();
    }
}

// The search order, each step found and told: the remembered folder, the program's folder (or the one above it,
// the program copied into the game), the registry's 32-bit view, then its 64-bit view, Steam's libraries as the
// registry names Steam's folder, the default folder. A step whose folder holds no game is passed over.
TEST_F(FGameDirTest, EachPlaceIsLookedInTurn)
{
    static FString Values[2]; // the game's value in the 32-bit and the 64-bit view
    CoreOS::SetRegistryReadHook(
        [](CoreOS::ERegistryRoot Root, CoreOS::ERegistryView View, const char16_t*, const char16_t*, void* Data,
           uint32_t* Bytes)
        {
            // Asked as the dialog always asked (a buffer announced as 4094 bytes); the text ends where the bytes
            // returned end, whatever follows them.
            EXPECT_EQ(*Bytes, 4094u);
            const FString Text = Values[View == CoreOS::REGVIEW_32 ? 0 : 1];
            if (Root != CoreOS::REGROOT_LocalMachine || Text.IsEmpty())
                return false;
            const FString Written = Text + u"\\junk";
            for (int32_t i = 0; i <= Written.Len(); ++i)
                static_cast<char16_t*>(Data)[i] = (*Written)[i];
            *Bytes = uint32_t(Text.Len()) * 2;
            return true;
        });
    MakeGame(Dir.File(u"remembered"));
    ASSERT_TRUE(Put(Dir.File(u"game/gta_sa.exe"), "MZ"));
    MakeGame(Dir.File(u"Steam/steamapps/common/Grand Theft Auto San Andreas"));
    FGameDirSearch Search;
    Search.bRegistry = true;
    Search.Remembered = Dir.File(u"remembered");
    Search.ProgramDir = Dir.File(u"game/PellmorWin");
    Search.SteamRoot = Dir.File(u"Steam");
    Values[0] = u"D:\\32";
    Values[1] = u"D:\\64";
    const struct
    {
        EGameDirSource Source;
        FString Dir;
    } Steps[] = {
        {EGameDirSource::Remembered, Dir.File(u"remembered/")},
        {EGameDirSource::ProgramFolder, Dir.File(u"game/")},
        {EGameDirSource::Registry, FString(u"D:\\32\\")},
        {EGameDirSource::Registry, FString(u"D:\\64\\")},
        {EGameDirSource::Steam, Dir.File(u"Steam/steamapps/common/Grand Theft Auto San Andreas/")},
        {EGameDirSource::Default, FString(GDefaultGameDir)},
    };
    for (const auto& Step : Steps)
    {
        FGameDir Found;
        FString Why;
        ASSERT_TRUE(FindGameDir(Search, Found, Why));
        EXPECT_EQ(Found.Source, Step.Source);
        EXPECT_EQ(Found.Dir.ToUtf8(), Step.Source == EGameDirSource::Default ? Step.Dir.ToUtf8() : Native(Step.Dir));
        // The next step is taken once this one has nothing to give.
        if (Step.Source == EGameDirSource::Remembered)
            Search.Remembered = Dir.File(u"gone");
        else if (Step.Source == EGameDirSource::ProgramFolder)
            Search.ProgramDir.Empty();
        else if (Values[0].IsEmpty())
            Values[1].Empty();
        else
            Values[0].Empty();
        if (Step.Source == EGameDirSource::Steam)
            Search.SteamRoot.Empty();
    }
    CoreOS::SetRegistryReadHook(nullptr);
}

TEST_F(FGameDirTest, WineRegistryValuesAreFoundAsWineWritesThem)
{
    const FString Reg = FString::FromUtf8("WINE REGISTRY Version 2\n"
                                          ";; All keys relative to \\\\Machine\n\n"
                                          "[Software\\\\Other] 1700000000\n"
                                          "\"GTA:SA Path\"=\"D:\\\\Wrong\"\n\n"
                                          "[Software\\\\quorrin: san andreas] 1700000001\r\n"
                                          "#time=1da0000\r\n"
                                          "\"Other\"=dword:00000001\r\n"
                                          "\"gta:sa path\"=\"C:\\\\Games\\\\GTA \\\"SA\\\"\\\\\"\r\n");
    FString Value;
    ASSERT_TRUE(ReadWineRegValue(Reg, FString(u"Software\\Quorrin: San Andreas"), FString(u"GTA:SA Path"), Value));
    EXPECT_EQ(Value.ToUtf8(), "C:\\Games\\GTA \"SA\"\\");
    EXPECT_FALSE(ReadWineRegValue(Reg, FString(u"Software\\Quorrin: San Andreas"), FString(u"Missing"), Value));
    EXPECT_FALSE(ReadWineRegValue(Reg, FString(u"Software\\Quorrin"), FString(u"GTA:SA Path"), Value));
    // Wine writes what is not ASCII as \x and up to four hex digits, which end at the first character that is
    // none (g and G are not); \t, \n and \0 are its other escapes.
    const FString Escaped = FString::FromUtf8("[Software\\\\Quorrin: San Andreas] 1\n"
                                              "\"GTA:SA Path\"=str(2):\"C:\\\\Sp\\x00e95\\xfcg\\xE9G\\tX\\0\\n\"\n");
    ASSERT_TRUE(ReadWineRegValue(Escaped, FString(u"Software\\Quorrin: San Andreas"), FString(u"GTA:SA Path"), Value));
    EXPECT_EQ(Value, u"C:\\Sp\u00e95\u00fcg\u00e9G\tX\n");

    EXPECT_EQ(MapWineDrivePath(FString(u"/p/"), FString(u"C:\\Games\\GTA")).ToUtf8(), "/p/dosdevices/c:/Games/GTA/");
    EXPECT_EQ(MapWineDrivePath(FString(u"/p"), FString(u"z:")).ToUtf8(), "/p/dosdevices/z:/");
    EXPECT_TRUE(MapWineDrivePath(FString(u"/p"), FString(u"\\\\server\\share")).IsEmpty());
}

TEST_F(FGameDirTest, SteamLibraryListIsReadWhateverItsShape)
{
    const struct
    {
        std::string Vdf;
        std::vector<std::string> Folders;
    } Cases[] = {
        {"\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"/home/me/.local/share/Steam\"\n\t\t\"apps\"\n\t\t{\n"
         "\t\t\t\"12120\"\t\t\"4500000000\"\n\t\t}\n\t}\n\t\"1\"\n\t{\n\t\t\"PATH\"\t\t\"/mnt/games/Steam Library\"\n"
         "\t}\n}\n",
         {"/home/me/.local/share/Steam", "/mnt/games/Steam Library"}},
        // The older form lists the libraries themselves in the top block; Windows paths come escaped.
        {"\"LibraryFolders\"\n{\n\t\"TimeNextStatsReport\"\t\"1700000000\"\n\t\"1\"\t\"D:\\\\Steam "
         "\\\"Games\\\"\"\n}\n",
         {"D:\\Steam \"Games\""}},
        // Damage is skipped, what follows it still read.
        {"\"libraryfolders\" { \"0\" { \"path\" \"/unterminated\n \"path\" \"/after\" } } } } {", {"/after"}},
        {"// a comment \"path\" \"/no\"\n\"path\" \"" + std::string(100000, 'x') + "\"\n\"path\" \"/short\"",
         {"/short"}},
        {"", {}},
        {"{{{{ \"path\"", {}},
        // An escaped backslash is one; one at the end of a line or of the text escapes nothing, and the token is
        // broken there.
        {"\"path\" \"D:\\\\Games\"\n\"path\" \"/trail\\\n\"path\" \"/next\"", {"D:\\Games", "/next"}},
        {"\"path\" \"/end\\", {}},
        {"path\"/glued\"{path{}", {"/glued"}}, // a bare word ends at a quote or a brace
    };
    for (const auto& Case : Cases)
    {
        const TDynArray<FString> Folders = ReadSteamLibraryFolders(FString::FromUtf8(Case.Vdf.c_str()));
        ASSERT_EQ(size_t(Folders.Num()), Case.Folders.size()) << Case.Vdf.substr(0, 80);
        for (size_t i = 0; i < Case.Folders.size(); ++i)
            EXPECT_EQ(Folders[int32_t(i)].ToUtf8(), Case.Folders[i]);
    }
}

TEST_F(FGameDirTest, SteamLibrariesOfAFakeHomeAreSearched)
{
    const FString Home = Dir.File(u"home");
    const FString Library = Dir.File(u"Steam Library");
    FGameDirSearch Search;
    Search.Home = Home;
    FGameDir Found;
    FString Why;
    EXPECT_FALSE(FindGameDir(Search, Found, Why));
    EXPECT_NE(Why.InStr(u"no Wine prefix"), -1) << Why.ToUtf8();
    EXPECT_NE(Why.InStr(u"no Steam library"), -1) << Why.ToUtf8();

    // Steam's own library and one its libraryfolders.vdf names; the game is in the second.
    ASSERT_TRUE(Put(Home + u"/.steam/steam/steamapps/libraryfolders.vdf",
                    "\"libraryfolders\" { \"0\" { \"path\" \"" + Escaped(Home + u"/.steam/steam") +
                        "\" } \"1\" { \"path\" \"" + Escaped(Library) + "\" } }"));
    MakeGame(Library + u"/steamapps/common/Grand Theft Auto San Andreas");
    ASSERT_TRUE(FindGameDir(Search, Found, Why)) << Why.ToUtf8();
    EXPECT_EQ(Found.Source, EGameDirSource::Steam);
    EXPECT_EQ(Found.Dir.ToUtf8(), Native(Library + u"/steamapps/common/Grand Theft Auto San Andreas/"));
    EXPECT_EQ(Found.Detail.ToUtf8(), Native(Library + u"/steamapps"));

#ifndef _WIN32
    // Without the game folder, the Proton prefix of the game's app id names it ("c:" is no name on Windows).
    std::filesystem::remove_all((Library + u"/steamapps/common").ToUtf8());
    const FString Prefix = Home + u"/.steam/steam/steamapps/compatdata/12120/pfx";
    std::filesystem::create_directories((Prefix + u"/dosdevices/c:").ToUtf8());
    ASSERT_TRUE(Put(Prefix + u"/system.reg", "[Software\\\\Quorrin: San Andreas] 1\n"
                                             "\"GTA:SA Path\"=\"C:\\\\Games\\\\SA\"\n"));
    ASSERT_TRUE(FindGameDir(Search, Found, Why)) << Why.ToUtf8();
    EXPECT_EQ(Found.Source, EGameDirSource::Steam);
    EXPECT_EQ(Found.Dir, Prefix + u"/dosdevices/c:/Games/SA/");
    EXPECT_EQ(Found.Detail, Prefix);

    // A Wine prefix comes before Steam.
    Search.EnvWinePrefix = Prefix;
    ASSERT_TRUE(FindGameDir(Search, Found, Why));
    EXPECT_EQ(Found.Source, EGameDirSource::WinePrefix);
#endif
}
