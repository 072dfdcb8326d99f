#include <gtest/gtest.h>

#include "Core/Inc/Core.h"
#include "engine/FGameFiles.h"
#include "tests/support/ImgBuilder.h"
#include "tests/support/TempDir.h"

// Only entries named *.txd count (the shrinker's rule, tested there): a mod's archive of models alone has nothing to
// shrink.
TEST(FGameFilesTest, TextureDictionariesAreCountedByTheirExtension)
{
    FTempDir Dir;
    const FArchiveFiles Files = GetArchiveFiles(Dir / u"mod.img");
    const FBytes Block(2048, 1);
    ASSERT_TRUE(WriteFileBytes(Files.Cur,
                               FImgBuilder().Add("car.dff", Block).Add("car.TXD", Block).Add("b.txd", Block).Build()));
    EXPECT_EQ(CountTextureDictionaries(Files), 2);

    ASSERT_TRUE(WriteFileBytes(Files.Cur, FImgBuilder().Add("car.dff", Block).Build()));
    EXPECT_EQ(CountTextureDictionaries(Files), 0);
    ASSERT_TRUE(WriteFileBytes(Files.Cur, FImgBuilder().Magic("VER1").Add("b.txd", Block).Build()));
    EXPECT_EQ(CountTextureDictionaries(Files), -1);
    EXPECT_EQ(CountTextureDictionaries(GetArchiveFiles(Dir / u"missing.img")), -1);
}

// The write check leaves nothing behind, not even what a check stopped in between left.
TEST(FGameFilesTest, TheWriteCheckClearsAProbeLeftBehind)
{
    FTempDir Dir;
    const FArchiveFiles Files = GetArchiveFiles(Dir / u"gta3.img");
    const FString Probe = Dir / u"PellmorWin-write-test.tmp";
    ASSERT_TRUE(WriteFileBytes(Probe, FBytes(1, 0)));
    EXPECT_EQ(CheckShrinkNeeds(Files, FArchiveStatus()).WriteError, 0u);
    EXPECT_FALSE(TestFileExists(Probe));
    EXPECT_EQ(CheckShrinkNeeds(Files, FArchiveStatus()).WriteError, 0u);
    EXPECT_FALSE(TestFileExists(Probe));
}
