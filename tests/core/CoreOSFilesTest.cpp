#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"
#include "tests/support/TempDir.h"

// The path rules the logic above relies on, the same on both systems: ".." is applied to the text before looking up
// (as Windows does, so a directory "ini" need not exist), and messages name files as the disk spells them,
// whatever spelling found them.
TEST(CoreOSFilesTest, PathsAreResolvedAsWindowsDoesAndSpelledAsTheDiskDoes)
{
    FTempDir Dir;
    ASSERT_TRUE(WriteTestFile(Dir / u"SkipRules.ini", "x"));
    EXPECT_NE(CoreOS::FileGetAttributes(*(Dir / u"ini/../SkipRules.ini")), CoreOS::FILEATTR_Invalid);
    EXPECT_NE(CoreOS::FileGetAttributes(*(Dir / u"INI\\.\\..\\skiprules.INI")), CoreOS::FILEATTR_Invalid);

    ASSERT_TRUE(CoreOS::DirMake(*(Dir / u"models")));
    ASSERT_TRUE(WriteTestFile(Dir / u"models/Gta3.img", "x"));
    auto OnDisk = [](const FString& Path)
    {
        char16_t Buffer[4096];
        CoreOS::PathOnDisk(*Path, Buffer, 4096);
        return FString(Buffer).ToUtf8();
    };
    const std::string Root = OnDisk(Dir.Path());
    ASSERT_FALSE(Root.empty());
    const std::string Separator = Root.substr(Root.size() - 1);
    EXPECT_EQ(OnDisk(Dir / u"MODELS\\gta3.IMG"), Root + "models" + Separator + "Gta3.img");
    EXPECT_EQ(OnDisk(Dir / u"Models/gta3_TEMP.img"), Root + "models" + Separator + "gta3_TEMP.img");
    EXPECT_EQ(OnDisk(Dir / u"Models/"), Root + "models" + Separator);
    EXPECT_EQ(OnDisk(Dir / u"Nowhere/Models"), Root + "Nowhere" + Separator + "Models");
}

TEST(CoreOSFilesTest, EveryNameOfAFileHasOneIdentity)
{
    FTempDir Dir;
    const FString File = Dir / u"gta3.img";
    ASSERT_TRUE(WriteTestFile(File, "data") && WriteTestFile(Dir / u"other.img", "data"));
    ASSERT_TRUE(CoreOS::DirMake(*(Dir / u"Models")));
    auto FsPath = [&](const char16_t* Name) { return std::filesystem::path(std::u16string(*(Dir / Name))); };
    std::error_code Error;
    std::filesystem::create_hard_link(FsPath(u"gta3.img"), FsPath(u"hard.img"), Error);
    ASSERT_FALSE(Error) << Error.message();
    std::vector<const char16_t*> Names = {u"gta3.img", u"GTA3.IMG", u"Models/../gta3.img", u"hard.img"};
    // Windows grants symbolic links only to some users.
    std::filesystem::create_symlink(FsPath(u"gta3.img"), FsPath(u"soft.img"), Error);
    if (!Error)
        Names.push_back(u"soft.img");

    // The game holding the archive open, sharing nothing, does not stop the question.
    CoreOS::FFileHandle Held =
        CoreOS::FileOpen(*File, CoreOS::FILEACCESS_Read, CoreOS::FILESHARE_None, CoreOS::FILECREATE_OpenExisting);
    for (const char16_t* Name : Names)
        EXPECT_TRUE(CoreOS::IsSameFile(*File, *(Dir / Name))) << FString(Name).ToUtf8();
    CoreOS::FileClose(Held);
    // A system copy onto any of them would empty the file it is about to read.
    for (const char16_t* Name : Names)
        EXPECT_FALSE(CoreOS::FileCopy(*File, *(Dir / Name), false)) << FString(Name).ToUtf8();
    EXPECT_EQ(TestFileText(File), "data");

    EXPECT_FALSE(CoreOS::IsSameFile(*File, *(Dir / u"other.img")));
    EXPECT_FALSE(CoreOS::IsSameFile(*File, *(Dir / u"Models")));
    EXPECT_FALSE(CoreOS::IsSameFile(*(Dir / u"missing.img"), *(Dir / u"missing.img")));
    EXPECT_EQ(CoreOS::LastError(), CoreOS::OSERROR_FileNotFound);
}

// A finished file takes the place of the old one in one step, or not at all.
TEST(CoreOSFilesTest, AReplacingRenameLeavesTheNewFileOrTheOldOne)
{
    FTempDir Dir;
    const FString Part = Dir / u"out.img.part", Dest = Dir / u"out.img";
    ASSERT_TRUE(WriteTestFile(Part, "new") && WriteTestFile(Dest, "old"));
    ASSERT_TRUE(CoreOS::FileReplace(*Part, *Dest));
    EXPECT_EQ(TestFileText(Dest), "new");
    EXPECT_FALSE(TestFileExists(Part));

    ASSERT_TRUE(WriteTestFile(Part, "newer") && CoreOS::DirMake(*(Dir / u"folder")));
    EXPECT_FALSE(CoreOS::FileReplace(*Part, *(Dir / u"folder")));
    ASSERT_TRUE(CoreOS::FileSetAttributes(*Dest, CoreOS::FILEATTR_ReadOnly));
    EXPECT_FALSE(CoreOS::FileReplace(*Part, *Dest));
    EXPECT_EQ(CoreOS::LastError(), CoreOS::OSERROR_AccessDenied);
    EXPECT_EQ(TestFileText(Dest), "new");
    EXPECT_EQ(TestFileText(Part), "newer");
    CoreOS::FileSetAttributes(*Dest, CoreOS::FILEATTR_Normal);
}

// The lock file lives beside the test program: on Windows a death test's child runs the test again from the
// start, and must find the same file.
TEST(CoreOSLockDeathTest, OneHolderAtATimeAcrossProcessesUntilItEnds)
{
    const FString Path = FString(appBaseDir()) + u"pellmor-lock-test.lock";
    CoreOS::FLockHandle Held = CoreOS::LockAcquire(*Path);
    // The child lets go of whatever it holds itself (a copy of the parent's handle after fork, or on Windows
    // what its own run of the line above got), so only the parent can be the holder that refuses it.
    EXPECT_EXIT(
        {
            CoreOS::LockRelease(Held);
            CoreOS::ExitProcess(
                !CoreOS::LockAcquire(*Path) && CoreOS::LastError() == CoreOS::OSERROR_LockViolation ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
    ASSERT_NE(Held, nullptr);
    EXPECT_EQ(CoreOS::LockAcquire(*Path), nullptr); // another handle of this process is another holder too
    EXPECT_EQ(CoreOS::LastError(), CoreOS::OSERROR_LockViolation);
    CoreOS::LockRelease(Held);

    // A holder that dies without letting go loses the lock with its life.
    EXPECT_EXIT(CoreOS::ExitProcess(CoreOS::LockAcquire(*Path) ? 0 : 3), testing::ExitedWithCode(0), "");
    Held = CoreOS::LockAcquire(*Path);
    EXPECT_NE(Held, nullptr);
    CoreOS::LockRelease(Held);
    CoreOS::FileDelete(*Path);
}

TEST(CoreOSLockTest, ALockFileThatCannotBeMadeIsRefused)
{
    FTempDir Dir;
    EXPECT_EQ(CoreOS::LockAcquire(*(Dir / u"missing/x.lock")), nullptr);
    EXPECT_EQ(CoreOS::LastError(), CoreOS::OSERROR_PathNotFound);
    ASSERT_TRUE(CoreOS::DirMake(*(Dir / u"ro")));
    FWriteProtectedFolder Protected(Dir / u"ro");
    if (!Protected.IsProtected())
        GTEST_SKIP() << "this system lets the tests write into any folder";
    EXPECT_EQ(CoreOS::LockAcquire(*(Dir / u"ro/x.lock")), nullptr);
    EXPECT_EQ(CoreOS::LastError(), CoreOS::OSERROR_AccessDenied);
}

TEST(CoreOSFaultTest, TheArmedCallFailsOnceAsItsKindFails)
{
    using namespace CoreOS;
    FTempDir Dir;
    const FString In = Dir / u"in.bin", A = Dir / u"a.bin", B = Dir / u"b.bin", D = Dir / u"d.bin";
    ASSERT_TRUE(WriteTestFile(In, "0123456789") && WriteTestFile(A, ""));
    const uint32_t Both = FILEACCESS_Read | FILEACCESS_Write;
    auto OpenIn = [&] { return FileOpen(*In, Both, FILESHARE_Read | FILESHARE_Write, FILECREATE_OpenExisting); };
    FFileHandle File = OpenIn();
    char Buffer[9];
    uint32_t Count = 0;
    struct FCase
    {
        EOsFaultKind Kind;
        uint32_t Error;
        std::function<bool()> Call;
    };
    const FCase Cases[] = {
        {OSFAULT_Open, OSERROR_AccessDenied,
         [&]
         {
             FFileHandle F = OpenIn();
             return F && FileClose(F);
         }},
        {OSFAULT_Read, OSERROR_GenFailure, [&] { return FileRead(File, Buffer, 2, &Count) && Count == 2; }},
        {OSFAULT_Write, OSERROR_DiskFull, [&] { return FileWrite(File, "ab", 2, &Count) && Count == 2; }},
        {OSFAULT_Flush, OSERROR_GenFailure, [&] { return FileFlush(File); }},
        // A replacing rename counts as a move.
        {OSFAULT_Move, OSERROR_AccessDenied,
         [&] { return TestFileExists(A) ? FileReplace(*A, *B) : FileMove(*B, *A); }},
        {OSFAULT_Delete, OSERROR_AccessDenied, [&] { return WriteTestFile(D, "") && FileDelete(*D); }},
        {OSFAULT_Close, OSERROR_GenFailure, [&] { return FileClose(OpenIn()); }}, // and the handle is released
    };
    for (const FCase& Case : Cases)
    {
        ResetOsFaults();
        ArmOsFault(Case.Kind, 2);
        EXPECT_TRUE(Case.Call()) << Case.Kind;
        EXPECT_FALSE(Case.Call()) << Case.Kind;
        EXPECT_EQ(LastError(), Case.Error) << Case.Kind;
        EXPECT_TRUE(Case.Call()) << Case.Kind;
        EXPECT_EQ(GetOsCallCount(Case.Kind), 3) << Case.Kind;
    }

    // Short: a read delivers half and succeeds, a write writes half and fails as on a full disk.
    ASSERT_EQ(FileSeek(File, 0, FILESEEK_Begin), 0);
    ArmOsFault(OSFAULT_Read, 1, OSFAULTMODE_Short);
    EXPECT_TRUE(FileRead(File, Buffer, 9, &Count));
    EXPECT_EQ(Count, 4u);
    ArmOsFault(OSFAULT_Write, 1, OSFAULTMODE_Short);
    EXPECT_FALSE(FileWrite(File, "ABCDEF", 6, &Count));
    EXPECT_EQ(Count, 3u);
    EXPECT_EQ(LastError(), OSERROR_DiskFull);
    ArmOsFault(OSFAULT_Write, 1);
    ResetOsFaults(); // clears what is armed as well as the counts
    EXPECT_EQ(GetOsCallCount(OSFAULT_Write), 0);
    EXPECT_TRUE(FileWrite(File, "!", 1, &Count));
    FileClose(File);
    EXPECT_EQ(TestFileText(In).substr(0, 8), "0123ABC!");
}
