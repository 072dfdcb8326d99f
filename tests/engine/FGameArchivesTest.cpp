#include <gtest/gtest.h>

#include <string>

#include "Core/Inc/CoreOS.h"
#include "engine/FGameArchives.h"
#include "tests/support/ImgBuilder.h"
#include "tests/support/TempDir.h"

TEST(FGameArchivesTest, GameDatLinesAndWhatTheyYield)
{
    struct FRow
    {
        std::u16string Line;
        std::u16string Name;      // the archive name taken, or empty
        int32_t Problem;          // the note, or -1 for none
    };
    const FRow Rows[] = {
        {u"IMG MODELS\\GTA_INT.IMG", u"MODELS\\GTA_INT.IMG", -1},
        {u"  img\tmodels/mod.img   # a mod's own archive", u"models/mod.img", -1},
        {u"CDIMAGE MODELS\\OLD.IMG\r", u"MODELS\\OLD.IMG", -1},
        {u"# IMG MODELS\\COMMENTED.IMG", u"", -1},
        {u"IDE DATA\\MAPS\\GENERIC.IDE", u"", -1},
        {u"IMGX MODELS\\NOT.IMG", u"", -1},
        {u"", u"", -1},
        {u"IMG", u"", int32_t(EGameDatProblem::NoName)},
        {u"IMG ..\\..\\etc\\passwd.img", u"", int32_t(EGameDatProblem::OutsideGame)},
        {u"IMG MODELS\\..\\..\\OUT.IMG", u"", int32_t(EGameDatProblem::OutsideGame)},
        {u"IMG /etc/shadow.img", u"", int32_t(EGameDatProblem::OutsideGame)},
        {u"IMG C:\\GAME\\X.IMG", u"", int32_t(EGameDatProblem::OutsideGame)},
        {u"IMG MODELS\\\u00e9T\u00e9.IMG", u"", int32_t(EGameDatProblem::NotText)},
        {u"IMG MODELS\\" + std::u16string(600, u'A') + u".IMG", u"", int32_t(EGameDatProblem::TooLong)},
    };
    for (const FRow& Row : Rows)
    {
        TDynArray<FGameDatNote> Notes;
        const TDynArray<FGameDatEntry> Entries = ParseGameDat(FString(Row.Line.c_str()), Notes);
        SCOPED_TRACE(std::string(Row.Line.begin(), Row.Line.begin() + std::min<size_t>(Row.Line.size(), 40)));
        ASSERT_EQ(Entries.Num(), Row.Name.empty() ? 0 : 1);
        if (!Row.Name.empty())
        {
            EXPECT_EQ(Entries[0].Name, Row.Name.c_str());
        }
        ASSERT_EQ(Notes.Num(), Row.Problem < 0 ? 0 : 1);
        if (Row.Problem >= 0)
        {
            EXPECT_EQ(int32_t(Notes[0].Problem), Row.Problem);
            EXPECT_EQ(Notes[0].Line, 1);
        }
    }
}

TEST(FGameArchivesTest, TheWholeGameListsExistingArchivesOnceAfterGta3)
{
    FTempDir Dir;
    ASSERT_TRUE(CoreOS::DirMake(*(Dir / u"Models")));
    const std::string Archive = PlainArchive(2);
    ASSERT_TRUE(WriteTestFile(Dir / u"Models/gta3.img", Archive));
    ASSERT_TRUE(WriteTestFile(Dir / u"Models/gta_int.img", Archive));
    ASSERT_TRUE(WriteTestFile(Dir / u"Models/mod_ORIG_BAK.img", Archive)); // a mod's archive, shrunk and cut off

    // No gta.dat: gta3.img alone.
    FGameArchiveList List = ListGameArchives(Dir.Path());
    EXPECT_FALSE(List.bDatRead);
    ASSERT_EQ(List.Archives.Num(), 1);

    ASSERT_TRUE(CoreOS::DirMake(*(Dir / u"data")));
    ASSERT_TRUE(WriteTestFile(Dir / u"data/gta.dat", "IMG MODELS\\GTA_INT.IMG\n"
                                                     "IMG models/gta_int.img\n"
                                                     "IMG MODELS\\GTA3.IMG\n"
                                                     "IMG MODELS\\MISSING.IMG\n"
                                                     "IMG models\\mod.img\n"));
    List = ListGameArchives(Dir.Path());
    EXPECT_TRUE(List.bDatRead);
    ASSERT_EQ(List.Archives.Num(), 3);
    EXPECT_TRUE(CoreOS::IsSameFile(*List.Archives[0], *(Dir / u"Models/gta3.img")));
    EXPECT_TRUE(CoreOS::IsSameFile(*List.Archives[1], *(Dir / u"Models/gta_int.img")));
    EXPECT_TRUE(List.Archives[2].EndsWith(u"mod.img"));
    ASSERT_EQ(List.Notes.Num(), 1);
    EXPECT_EQ(List.Notes[0].Problem, EGameDatProblem::NotFound);
    EXPECT_EQ(List.Notes[0].Line, 4);
}

TEST(FGameArchivesTest, NamesGivenByTheUser)
{
    FString Path;
    ASSERT_TRUE(ResolveArchiveName(FString(u"G/"), FString(u"gta_int"), Path));
    EXPECT_EQ(Path, u"G/Models\\gta_int.img");
    ASSERT_TRUE(ResolveArchiveName(FString(u"G/"), FString(u"gta_int.IMG"), Path));
    EXPECT_EQ(Path, u"G/Models\\gta_int.IMG");
    ASSERT_TRUE(ResolveArchiveName(FString(u"G/"), FString(u"models/gta_int.img"), Path));
    EXPECT_EQ(Path, u"G/models\\gta_int.img");
    EXPECT_FALSE(ResolveArchiveName(FString(u"G/"), FString(u"../other/gta3.img"), Path));
    EXPECT_FALSE(ResolveArchiveName(FString(u"G/"), FString(u"/abs/gta3.img"), Path));
    EXPECT_TRUE(Path.IsEmpty());
}
