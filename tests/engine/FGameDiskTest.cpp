#include <gtest/gtest.h>

#include "Core/Inc/Core.h"
#include "engine/FGameDisk.h"
#include "tests/support/TempDir.h"

// The game's archive goes to the kept original's name only while nothing holds that name; the other renames take
// the name whatever holds it, read-only or not. Each says the system's error, and a missing source moves nothing.
TEST(FGameDiskTest, OnlyTheReplacingRenameTakesANameThatIsHeld)
{
    FTempDir Dir;
    const FString From = Dir / u"a.img", To = Dir / u"b.img";
    ASSERT_TRUE(WriteTestFile(From, "new") && WriteTestFile(To, "old"));
    ASSERT_TRUE(CoreOS::FileSetAttributes(*To, CoreOS::FILEATTR_ReadOnly));
    EXPECT_EQ(FGameDisk::Rename(From, To, ERename::NeverReplacing), uint32_t(CoreOS::OSERROR_AlreadyExists));
    EXPECT_EQ(TestFileText(From), "new");
    EXPECT_EQ(TestFileText(To), "old");
    EXPECT_EQ(FGameDisk::Rename(From, To, ERename::Replacing), 0u);
    EXPECT_FALSE(TestFileExists(From));
    EXPECT_EQ(TestFileText(To), "new");
    for (const ERename How : {ERename::Replacing, ERename::NeverReplacing})
    {
        EXPECT_EQ(FGameDisk::Rename(From, To, How), uint32_t(CoreOS::OSERROR_FileNotFound));
        EXPECT_EQ(TestFileText(To), "new");
    }
}

// A text read with a limit (gta.dat, Steam's library list) is not loaded past it; the listings leave out "." and
// "..", the subfolders' the files too.
TEST(FGameDiskTest, LimitedTextsAndListingsLeaveOutWhatTheyShould)
{
    FTempDir Dir;
    const FString Path = Dir / u"gta.dat";
    ASSERT_TRUE(WriteTestFile(Path, "IMG a.img\n"));
    FString Text = u"before";
    EXPECT_FALSE(FGameDisk::LoadText(Path, Text, 9));
    EXPECT_FALSE(FGameDisk::LoadText(Dir / u"missing.dat", Text, 10));
    EXPECT_EQ(Text, u"before");
    EXPECT_TRUE(FGameDisk::LoadText(Path, Text, 10));
    EXPECT_EQ(Text, u"IMG a.img\n");

    ASSERT_TRUE(FGameDisk::MakeFolder(Dir / u"sub"));
    EXPECT_EQ(FGameDisk::ListFolder(Dir.Path()).Num(), 2);
    const TDynArray<FString> Subfolders = FGameDisk::ListSubfolders(Dir.Path());
    ASSERT_EQ(Subfolders.Num(), 1);
    EXPECT_EQ(Subfolders[0], u"sub");
}
