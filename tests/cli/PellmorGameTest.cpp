#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"
#include "PellmorTestSupport.h"
#include "cli/PellmorCommands.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace
{
int64_t PlentyOfSpace(const char16_t*)
{
    return int64_t(10) << 30;
}

class PellmorGameTest : public ::testing::Test
{
protected:
    void SetUp() override { CoreOS::SetFreeDiskSpaceHook(&PlentyOfSpace); }
    void TearDown() override { CoreOS::SetFreeDiskSpaceHook(nullptr); }

    std::string Read(const char16_t* Relative)
    {
        std::string Bytes;
        return ReadTestFile(Dir.File(Relative), Bytes) ? Bytes : std::string("(missing)");
    }

    std::string Status(int32_t ExpectedExit = PELLMOR_Done)
    {
        FTestConsole Console;
        EXPECT_EQ(RunPellmor({u"status", Dir.Path(), u"--json"}, Console), ExpectedExit) << Console.ErrText;
        FJson Json;
        EXPECT_TRUE(Json.Parse(Console.OutText)) << Console.OutText;
        return Json.Get({"state"});
    }

    FTempDir Dir;
};
} // namespace

TEST_F(PellmorGameTest, ShrinkRestoreAndStatusFollowTheFiles)
{
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 120));
    const std::string Original = Read(u"models/gta3.img");
    EXPECT_EQ(Status(), "original");

    FTestConsole Shrink;
    ASSERT_EQ(RunPellmor({u"shrink", Dir.Path()}, Shrink), PELLMOR_Done) << Shrink.ErrText;
    EXPECT_NE(Shrink.OutText.find("shrink: 0%"), std::string::npos) << Shrink.OutText; // plain progress lines
    EXPECT_NE(Shrink.OutText.find("Done."), std::string::npos);
    EXPECT_EQ(Read(u"models/gta3_ORIG_BAK.img"), Original);
    const std::string Shrunk = Read(u"models/gta3.img");
    EXPECT_LT(Shrunk.size(), Original.size());

    FTestConsole Shown;
    ASSERT_EQ(RunPellmor({u"status", Dir.Path(), u"--json"}, Shown), PELLMOR_Done);
    FJson Json;
    ASSERT_TRUE(Json.Parse(Shown.OutText)) << Shown.OutText;
    EXPECT_EQ(Json.Get({"state"}), "shrunk");
    EXPECT_EQ(Json.Get({"gameDir", "from"}), "argument");
    EXPECT_EQ(Json.Get({"gameDir", "path"}), WithSystemSeparators(Dir.Path()).ToUtf8());
    EXPECT_EQ(Json.Get({"canRestore"}), "true");
    EXPECT_EQ(Json.Get({"files", "gta3_ORIG_BAK.img"}), std::to_string(Original.size()));
    EXPECT_EQ(Json.Get({"files", "gta3_SHRUNK_BAK.img"}), "null");

    // A second shrink is refused with the engine's message and a plain one.
    FTestConsole Again;
    EXPECT_EQ(RunPellmor({u"shrink", Dir.Path()}, Again), PELLMOR_Failed);
    EXPECT_NE(Again.ErrText.find("pellmor: Perform Unshrink - Prerequisite fail - All Bak Files already exist"),
              std::string::npos);
    EXPECT_NE(Again.ErrText.find("shrunk already"), std::string::npos);

    FTestConsole Restore;
    ASSERT_EQ(RunPellmor({u"restore", Dir.Path()}, Restore), PELLMOR_Done) << Restore.ErrText;
    EXPECT_EQ(Read(u"models/gta3.img"), Original);
    EXPECT_EQ(Read(u"models/gta3_SHRUNK_BAK.img"), Shrunk);
    EXPECT_EQ(Status(), "original");

    FTestConsole Nothing;
    EXPECT_EQ(RunPellmor({u"unshrink", Dir.Path()}, Nothing), PELLMOR_Failed);
    EXPECT_NE(Nothing.ErrText.find("nothing to restore"), std::string::npos);

    // The kept shrunk archive is taken over as it is.
    FTestConsole Reuse;
    ASSERT_EQ(RunPellmor({u"shrink", Dir.Path()}, Reuse), PELLMOR_Done);
    EXPECT_NE(Reuse.OutText.find("reusing"), std::string::npos);
    EXPECT_EQ(Read(u"models/gta3.img"), Shrunk);

    // An interrupted swap (no gta3.img, the original kept) is recognised and repaired by a restore.
    ASSERT_TRUE(CoreOS::FileDelete(*Dir.File(u"models/gta3.img")));
    EXPECT_EQ(Status(), "interrupted");
    FTestConsole Repair;
    ASSERT_EQ(RunPellmor({u"restore", Dir.Path()}, Repair), PELLMOR_Done);
    EXPECT_EQ(Read(u"models/gta3.img"), Original);
}

TEST_F(PellmorGameTest, MissingGameAndFullDiskFailPlainly)
{
    EXPECT_EQ(Status(PELLMOR_Failed), "missing");
    FTestConsole NoGame;
    EXPECT_EQ(RunPellmor({u"shrink", Dir.File(u"nowhere")}, NoGame), PELLMOR_Failed);
    EXPECT_NE(NoGame.ErrText.find("Is this the game's folder"), std::string::npos) << NoGame.ErrText;

    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 20));
    CoreOS::SetFreeDiskSpaceHook([](const char16_t*) { return int64_t(768) << 20; });
    FTestConsole Full;
    EXPECT_EQ(RunPellmor({u"shrink", Dir.Path()}, Full), PELLMOR_Failed);
    EXPECT_NE(Full.ErrText.find("pellmor: Not enough disk space to do shrink\n"), std::string::npos);
    EXPECT_EQ(Status(), "original");
}

TEST_F(PellmorGameTest, CtrlCCancelsTheShrinkAndKeepsTheFiles)
{
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 300));
    const std::string Original = Read(u"models/gta3.img");
    FTestConsole Console;
    Console.bInterruptNow = true;
    EXPECT_EQ(RunPellmor({u"shrink", Dir.Path()}, Console), PELLMOR_Cancelled) << Console.ErrText;
    EXPECT_NE(Console.ErrText.find("cancelled; the game files are as they were"), std::string::npos);
    EXPECT_EQ(Read(u"models/gta3.img"), Original);
    EXPECT_EQ(Read(u"models/gta3_ORIG_BAK.img"), "(missing)");
    EXPECT_EQ(Read(u"models/gta3_TEMP.img"), "(missing)");
    EXPECT_EQ(Status(), "original");
}

#ifndef _WIN32
// The real program, the real signal: SIGINT after the first progress line.
TEST_F(PellmorGameTest, SigIntDuringShrinkLeavesTheOriginal)
{
    char16_t Self[4096];
    CoreOS::ModuleFileName(Self, 4096);
    const std::filesystem::path Program =
        std::filesystem::path(FString(Self).ToUtf8()).parent_path().parent_path() / "cli" / "pellmor";
    if (!std::filesystem::exists(Program))
        GTEST_SKIP() << "no pellmor beside the tests at " << Program;
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 1500));
    const std::string Original = Read(u"models/gta3.img");

    int Pipe[2];
    ASSERT_EQ(pipe(Pipe), 0);
    const std::string Game = Dir.Path().ToUtf8();
    const pid_t Child = fork();
    ASSERT_GE(Child, 0);
    if (Child == 0)
    {
        dup2(Pipe[1], STDOUT_FILENO);
        close(Pipe[0]);
        close(Pipe[1]);
        execl(Program.c_str(), "pellmor", "shrink", Game.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(Pipe[1]);
    std::string Out;
    char Buffer[256];
    bool bSent = false;
    for (ssize_t Got; (Got = read(Pipe[0], Buffer, sizeof(Buffer))) > 0;)
    {
        Out.append(Buffer, size_t(Got));
        if (!bSent && Out.find("shrink: ") != std::string::npos)
            bSent = kill(Child, SIGINT) == 0;
    }
    close(Pipe[0]);
    int Status = 0;
    ASSERT_EQ(waitpid(Child, &Status, 0), Child);
    ASSERT_TRUE(bSent) << Out;
    ASSERT_TRUE(WIFEXITED(Status)) << Out;
    EXPECT_EQ(WEXITSTATUS(Status), 130) << Out;
    EXPECT_EQ(Read(u"models/gta3.img"), Original);
    EXPECT_EQ(Read(u"models/gta3_ORIG_BAK.img"), "(missing)");
    EXPECT_EQ(Read(u"models/gta3_TEMP.img"), "(missing)");
}
#endif

#ifndef _WIN32
// What Windows keeps in its registry, Linux finds in a prefix's files (a drive is a link in dosdevices, a name
// Windows does not allow).
TEST_F(PellmorGameTest, GameFolderComesFromTheWinePrefixNamed)
{
    const FString Prefix = Dir.File(u"prefix");
    std::filesystem::create_directories((Prefix + u"/dosdevices").ToUtf8());
    std::filesystem::create_directory_symlink("../drive_c", (Prefix + u"/dosdevices/c:").ToUtf8());
    ASSERT_TRUE(WriteTestFile(Prefix + u"/system.reg", "WINE REGISTRY Version 2\n"
                                                       "[Software\\\\Wow6432Node\\\\Quorrin: San Andreas] 1700000000\n"
                                                       "\"GTA:SA Path\"=\"C:\\\\Games\\\\San Andreas\"\n"));
    ASSERT_TRUE(MakeSampleGame(Prefix + u"/drive_c/Games/San Andreas", 10));

    FTestConsole Console;
    ASSERT_EQ(RunPellmor({u"status", u"--wine-prefix", Prefix, u"--json"}, Console), PELLMOR_Done) << Console.OutText;
    FJson Json;
    ASSERT_TRUE(Json.Parse(Console.OutText)) << Console.OutText;
    EXPECT_EQ(Json.Get({"state"}), "original");
    EXPECT_EQ(Json.Get({"gameDir", "from"}), "wine-prefix");
    EXPECT_EQ(Json.Get({"gameDir", "detail"}), Prefix.ToUtf8());
    EXPECT_EQ(Json.Get({"gameDir", "path"}), (Prefix + u"/dosdevices/c:/Games/San Andreas/").ToUtf8());
}
#endif
