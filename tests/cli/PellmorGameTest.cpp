#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreFormat.h"
#include "Core/Inc/CoreOS.h"
#include "PellmorTestSupport.h"
#include "cli/PellmorInternals.h"
#include "engine/FGameFiles.h"
#include "shrinker/FImgShrinker.h"
#include "tests/support/ImgBuilder.h"
#include "tests/support/SampleGameSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/TxdBuilder.h"

#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

using ::testing::HasSubstr;
using ::testing::Not;

namespace
{
class PellmorGameTest : public ::testing::Test
{
protected:
    std::string Read(const char16_t* Relative, const FString& Game = FString())
    {
        return TestFileText((Game.IsEmpty() ? Dir.Path() : Game) + Relative);
    }

    std::string Status(int32_t ExpectedExit = PELLMOR_Done)
    {
        FJson Json;
        EXPECT_EQ(RunPellmorJson({u"status", Dir.Path()}, Json), ExpectedExit);
        return Json.Get({"state"});
    }

    FFakeFreeSpace Space;
    FTempDir Dir;
};

// A path below the game folder as pellmor shows it.
FString Shown(const char16_t* Relative)
{
    return appWithSystemSeparators(FString(Relative));
}
} // namespace

// What each step leaves in the files the engine's tests hold; here, what pellmor says of it. The shrink's record
// says what the archive was made with; another choice builds anew, a gta3.img changed since makes the kept archive
// stale, and a mod installed into the shrunk archive stops a restore until the player says to discard it.
TEST_F(PellmorGameTest, ShrinkRestoreAndStatusFollowTheFiles)
{
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 120));
    const std::string Original = Read(u"models/gta3.img");
    EXPECT_EQ(Status(), "original");

    // Without --json, --progress changes nothing: the plain progress lines come as ever.
    FTestConsole Shrink, Plain, Restore, Reuse, Standard, Discard, Again, Rebuild, Repair;
    ASSERT_EQ(RunPellmor({u"shrink", Dir.Path(), u"--max-side", u"64", u"--no-smooth", u"--progress"}, Shrink),
              PELLMOR_Done);
    EXPECT_THAT(Shrink.OutText, HasSubstr("shrink: 0%"));
    EXPECT_THAT(Shrink.OutText, HasSubstr("Done. models")); // the folder as the disk spells it
    FJson Json;
    ASSERT_EQ(RunPellmorJson({u"status", Dir.Path()}, Json), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"state"}), "shrunk");
    EXPECT_EQ(Json.Get({"gameDir", "from"}), "argument");
    EXPECT_EQ(Json.Get({"gameDir", "path"}), appWithSystemSeparators(Dir.Path()).ToUtf8());
    EXPECT_EQ(Json.Get({"canRestore"}), "true");
    EXPECT_EQ(Json.Get({"checks", "writable"}), "true");
    EXPECT_EQ(Json.Get({"files", "gta3_ORIG_BAK.img"}), std::to_string(Original.size()));
    EXPECT_EQ(Json.Get({"files", "gta3_SHRUNK_BAK.img"}), "null");
    EXPECT_EQ(Json.Get({"settings"}), "max-side:64 no-smooth");
    EXPECT_EQ(Json.Get({"changedAfterShrink"}), "false");
    ASSERT_EQ(RunPellmor({u"status", Dir.Path()}, Plain), PELLMOR_Done);
    EXPECT_THAT(Plain.OutText, HasSubstr("at most 64 pixels, not smooth (the shrunk archive in use)"));
    // Another choice on the shrunk game is refused, with the two commands that make it.
    ASSERT_EQ(RunPellmorJson({u"shrink", Dir.Path(), u"--max-side", u"32"}, Json), PELLMOR_Failed);
    EXPECT_EQ(Json.Get({"error", "code"}), "shrunk-otherwise");
    EXPECT_THAT(Json.Get({"error", "advice"}), HasSubstr("pellmor restore "));
    EXPECT_THAT(Json.Get({"error", "advice"}), HasSubstr("then pellmor shrink --max-side 32 "));

    // The same choice takes the kept archive over, and status names it; the standard shrink does not.
    ASSERT_EQ(RunPellmor({u"restore", Dir.Path()}, Restore), PELLMOR_Done) << Restore.ErrText;
    EXPECT_THAT(Restore.OutText, HasSubstr("so pellmor shrink --max-side 64 --no-smooth "));
    ASSERT_EQ(RunPellmorJson({u"status", Dir.Path()}, Json), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"state"}), "original");
    EXPECT_THAT(Json.Get({"next"}), HasSubstr("Run pellmor shrink --max-side 64 --no-smooth "));
    ASSERT_EQ(RunPellmor({u"shrink", Dir.Path(), u"--max-side", u"64", u"--no-smooth"}, Reuse), PELLMOR_Done);
    EXPECT_THAT(Reuse.OutText, HasSubstr("reusing"));
    ASSERT_EQ(RunPellmor({u"restore", Dir.Path()}, Restore), PELLMOR_Done);
    ASSERT_EQ(RunPellmor({u"shrink", Dir.Path()}, Standard), PELLMOR_Done) << Standard.ErrText;
    EXPECT_THAT(Standard.OutText, Not(HasSubstr("reusing")));
    EXPECT_THAT(Standard.OutText, HasSubstr("made at most 64 pixels, not smooth; this shrink is the standard"));

    // A mod tool writes into the shrunk gta3.img (here: the unshrunk entries).
    ASSERT_TRUE(WriteTestFile(Dir.File(u"models/gta3.img"), Original));
    ASSERT_EQ(RunPellmorJson({u"status", Dir.Path()}, Json), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"changedAfterShrink"}), "true");
    EXPECT_THAT(Json.Get({"next"}), HasSubstr("--discard-changes"));
    ASSERT_EQ(RunPellmorJson({u"restore", Dir.Path()}, Json), PELLMOR_Failed);
    EXPECT_EQ(Json.Get({"error", "code"}), "changed");
    ASSERT_EQ(RunPellmor({u"restore", Dir.Path(), u"--discard-changes"}, Discard), PELLMOR_Done) << Discard.ErrText;
    EXPECT_THAT(Discard.OutText, HasSubstr("no shrink takes it over"));
    ASSERT_EQ(RunPellmor({u"shrink", Dir.Path()}, Again), PELLMOR_Done) << Again.ErrText;
    EXPECT_THAT(Again.OutText, HasSubstr("a new one was built"));

    // A gta3.img changed since (a mod, a copy) makes the kept archive stale: said before, and after the rebuild.
    ASSERT_EQ(RunPellmor({u"restore", Dir.Path()}, Restore), PELLMOR_Done);
    ASSERT_TRUE(WriteTestFile(Dir.File(u"models/gta3.img"), Original));
    ASSERT_EQ(RunPellmorJson({u"status", Dir.Path()}, Json), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"kept"}), "stale");
    EXPECT_THAT(Json.Get({"next"}), HasSubstr("no longer matches"));
    ASSERT_EQ(RunPellmor({u"shrink", Dir.Path()}, Rebuild), PELLMOR_Done);
    EXPECT_THAT(Rebuild.OutText, HasSubstr("no longer matched (gta3.img changed after"));

    // An interrupted swap (no gta3.img, the original kept) is recognised and repaired by a restore.
    ASSERT_TRUE(CoreOS::FileDelete(*Dir.File(u"models/gta3.img")));
    EXPECT_EQ(Status(), "interrupted");
    ASSERT_EQ(RunPellmor({u"restore", Dir.Path()}, Repair), PELLMOR_Done);
    EXPECT_EQ(Status(), "original");
}

// Each case on a game of its own: the command plainly and with --json, then status with --json. What each failure
// leaves in the files the engine's tests hold; here the exit code, the error code and the words, which status gives
// as the command does. in-use: the last rename refused while the folder may be written (the record's, the new
// archive's and the original's renames come first); unreadable: the archive is there but cannot be opened (the
// first file that status and restore open). Each fault is armed afresh before each run.
TEST_F(PellmorGameTest, WhatStandsInTheWayIsSaidPlainlyByStatusAndTheCommand)
{
    char16_t Denied[512] = {}; // the system's words for the error the unreadable archive's opening fails with
    CoreOS::SystemErrorMessage(CoreOS::OSERROR_AccessDenied, Denied, 512);
    const struct
    {
        const char16_t* Name;
        const char16_t* Command;
        int32_t Exit;
        std::string Words;
        const char* Code; // null: "result" is "nothing-to-do"
        const char* State;
        int32_t StatusExit;
    } Cases[] = {
        {u"shrunk", u"shrink", PELLMOR_Done, "is shrunk already", nullptr, "shrunk", PELLMOR_Done},
        {u"original", u"unshrink", PELLMOR_Done, "Nothing to restore", nullptr, "original", PELLMOR_Done},
        {u"read-only", u"shrink", PELLMOR_Failed, "You may not change the files in", "access-denied", "original",
         PELLMOR_Done},
        {u"full", u"shrink", PELLMOR_Failed,
         "needs " + appFormatMegabytes(GShrinkNeedsFreeBytes).ToUtf8() + " free on the drive that holds it; " +
             appFormatMegabytes(int64_t(100) << 20).ToUtf8() + " are free",
         "no-space", "original", PELLMOR_Done},
        {u"not-img", u"shrink", PELLMOR_Failed, "no IMG archive", "not-an-archive", "not-an-archive", PELLMOR_Failed},
        {u"damaged", u"shrink", PELLMOR_Failed, "entries lie past the end of the file", "damaged", "damaged",
         PELLMOR_Failed},
        {u"busy", u"restore", PELLMOR_Failed, "Another shrink or restore is running", "busy", "busy", PELLMOR_Done},
        {u"in-use", u"shrink", PELLMOR_Failed, "is in use: the game or another program has it open", "in-use",
         "original", PELLMOR_Done},
        {u"unreadable", u"restore", PELLMOR_Failed, "is there but cannot be read: " + FString(Denied).ToUtf8(),
         "cannot-read", "unreadable", PELLMOR_Failed},
        {u"missing", u"shrink", PELLMOR_Usage, "no game files in", "no-game", "missing", PELLMOR_Usage},
    };
    for (const auto& Case : Cases)
    {
        const FString Kind(Case.Name);
        const std::string Name = Kind.ToUtf8();
        const FString Game = Dir.File(Case.Name) + u"/";
        const FString Archive = Game + u"models/gta3.img";
        ASSERT_TRUE(MakeSampleGame(Game, 30));
        FTestConsole Shrink, Plain;
        ASSERT_TRUE(Kind != u"shrunk" || RunPellmor({u"shrink", Game}, Shrink) == PELLMOR_Done);
        const std::string Cut = Read(u"models/gta3.img", Game).substr(0, 20000);
        ASSERT_TRUE(Kind != u"damaged" || WriteTestFile(Archive, Cut));
        ASSERT_TRUE(Kind != u"not-img" || WriteTestFile(Archive, std::string(5000, 'x')));
        ASSERT_TRUE(Kind != u"unreadable" || WriteTestFile(Game + u"models/gta3_ORIG_BAK.img", "kept"));
        ASSERT_TRUE(Kind != u"missing" || CoreOS::FileDelete(*Archive));
        Space.Set(Kind == u"full" ? int64_t(100) << 20 : int64_t(10) << 30);
        std::unique_ptr<FWriteProtectedFolder> Protected;
        if (Kind == u"read-only")
            Protected.reset(new FWriteProtectedFolder(Game + u"models"));
        if (Protected && !Protected->IsProtected())
            continue; // a system that lets this user write anywhere
        std::unique_ptr<FTransactionLock> Lock;
        if (Kind == u"busy")
            Lock.reset(new FTransactionLock(GetGameArchiveFiles(Game)));
        const std::string Before = Read(u"models/gta3.img", Game);
        const auto Run = [&Kind, &Game](const std::vector<FString>& Args, FJson* Json, FTestConsole& Console)
        {
            CoreOS::ResetOsFaults();
            if (Kind == u"in-use") // built afresh each time: the archive kept would be taken over with fewer renames
            {
                CoreOS::FileDelete(*(Game + u"models/gta3_SHRUNK_BAK.img"));
                CoreOS::ArmOsFault(CoreOS::OSFAULT_Move, 4);
            }
            if (Kind == u"unreadable")
                CoreOS::ArmOsFault(CoreOS::OSFAULT_Open, 1);
            const int32_t Exit = Json ? RunPellmorJson(Args, *Json) : RunPellmor(Args, Console);
            CoreOS::ResetOsFaults();
            return Exit;
        };

        // The engine's own words only with --verbose.
        const bool bVerbose = Kind == u"in-use";
        std::vector<FString> Args{Case.Command, Game};
        if (bVerbose)
            Args.push_back(u"--verbose");
        EXPECT_EQ(Run(Args, nullptr, Plain), Case.Exit) << Name << Plain.ErrText;
        EXPECT_THAT(Plain.OutText + Plain.ErrText, HasSubstr(Case.Words)) << Name;
        EXPECT_EQ(Has(Plain.ErrText, "the engine said: Perform "), bVerbose) << Name << Plain.ErrText;
        EXPECT_TRUE(!bVerbose || Has(Plain.ErrText, "The game's files are as they were.")) << Plain.ErrText;
        EXPECT_TRUE(Kind != u"damaged" || !Has(Plain.ErrText, "restore")) << Plain.ErrText; // never sent to a restore
        FJson Json;
        EXPECT_EQ(Run({Case.Command, Game}, &Json, Plain), Case.Exit) << Name;
        EXPECT_EQ(Case.Code ? Json.Get({"error", "code"}) : Json.Get({"result"}),
                  Case.Code ? Case.Code : "nothing-to-do")
            << Name;
        EXPECT_EQ(Run({u"status", Game}, &Json, Plain), Case.StatusExit) << Name;
        EXPECT_EQ(Json.Get({"state"}), Case.State) << Name;
        EXPECT_TRUE(!Case.Code || Kind == u"in-use" || Has(Json.Get({"next"}), Case.Words)) << Json.Get({"next"});
        EXPECT_EQ(Read(u"models/gta3.img", Game), Before) << Name;
    }
}

// ---- Every archive the game loads ----------------------------------------------------------------------------

TEST_F(PellmorGameTest, EveryArchiveOfTheGameIsShrunkRestoredAndShrunkAgainEachOnItsOwn)
{
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 60, {{"gta_int", 40}}));
    const std::string Interiors = Read(u"models/gta_int.img");
    FJson Json;
    ASSERT_EQ(RunPellmorJson({u"status", Dir.Path(), u"--all"}, Json), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"0", "archive"}), Shown(u"models/gta3.img").ToUtf8());
    EXPECT_EQ(Json.Get({"1", "archive"}), Shown(u"models/gta_int.img").ToUtf8());
    EXPECT_EQ(Json.Get({"1", "state"}), "original");
    EXPECT_EQ(Json.Get({"2", "archive"}), "");

    // At a terminal nothing wraps: the checks are a column while the table fits, else a list of their own, and
    // the sentences are broken between words, never within a command.
    FTestConsole Wide, Narrow;
    Wide.bTerminal = Narrow.bTerminal = true;
    Wide.Columns = 200;
    ASSERT_EQ(RunPellmor({u"status", Dir.Path(), u"--all"}, Wide), PELLMOR_Done);
    ASSERT_EQ(RunPellmor({u"status", Dir.Path(), u"--all"}, Narrow), PELLMOR_Done);
    EXPECT_THAT(Wide.OutText, HasSubstr("  Checks\n"));
    EXPECT_THAT(Narrow.OutText, HasSubstr("\nChecks:\n"));
    std::istringstream Lines(Narrow.OutText);
    bool bWholeCommand = false;
    for (std::string Line; std::getline(Lines, Line);)
    {
        EXPECT_TRUE(Line.size() < 80 || Has(Line, "pellmor ")) << Line;
        bWholeCommand = bWholeCommand || (Has(Line, "pellmor shrink ") && Has(Line, " --all"));
    }
    EXPECT_TRUE(bWholeCommand) << Narrow.OutText;

    FTestConsole Shrink;
    ASSERT_EQ(RunPellmor({u"shrink", Dir.Path(), u"--all"}, Shrink), PELLMOR_Done) << Shrink.ErrText;
    EXPECT_THAT(Shrink.OutText, HasSubstr("Shrinking 2 archives"));
    EXPECT_THAT(Shrink.OutText, HasSubstr("shrink " + Shown(u"models/gta_int.img: ").ToUtf8()));
    EXPECT_THAT(Shrink.OutText, HasSubstr("original  shrunk")); // the summary's rows
    const std::string Shrunk = Read(u"models/gta_int.img");

    FTestConsole Restore;
    ASSERT_EQ(RunPellmor({u"restore", Dir.Path(), u"--all"}, Restore), PELLMOR_Done) << Restore.ErrText;
    EXPECT_EQ(Read(u"models/gta_int.img"), Interiors);

    // The second shrink takes both kept archives over; the rows say so.
    ASSERT_EQ(RunPellmorJson({u"shrink", Dir.Path(), u"--all"}, Json), PELLMOR_Done);
    for (const char* Row : {"0", "1"})
    {
        EXPECT_EQ(Json.Get({Row, "kept"}), "current") << Row;
        EXPECT_EQ(Json.Get({Row, "stateBefore"}), "original") << Row;
        EXPECT_EQ(Json.Get({Row, "stateAfter"}), "shrunk") << Row;
        EXPECT_EQ(Json.Get({Row, "result"}), "done") << Row;
    }
    EXPECT_EQ(Json.Get({"1", "bytesAfter"}), std::to_string(Shrunk.size()));

    // report covers each archive and their sum, measured from the originals the shrink keeps, and the loose
    // dictionaries of the mod loader's mods (the one drawn at screen size counted apart); one of --archive names
    // alone.
    ASSERT_TRUE(CoreOS::DirMake(*Dir.File(u"modloader")) && CoreOS::DirMake(*Dir.File(u"modloader/Cars")));
    const FBytes Paint = TxdDictionary({Dxt1Texture("paint", 128, 128, 3)});
    ASSERT_TRUE(WriteFileBytes(Dir.File(u"modloader/Cars/paintjob.txd"), Paint) &&
                WriteFileBytes(Dir.File(u"modloader/Cars/hud.txd"), Paint));
    ASSERT_EQ(RunPellmorJson({u"report", Dir.Path(), u"--all"}, Json), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"bytes"}), std::to_string(Read(u"models/gta3_ORIG_BAK.img").size() + Interiors.size()));
    EXPECT_EQ(Json.Get({"looseDictionaries", "mods", "0", "mod"}), "Cars");
    EXPECT_EQ(Json.Get({"looseDictionaries", "mods", "0", "bytes"}), std::to_string(Paint.size()));
    EXPECT_LT(std::stoll(Json.Get({"looseDictionaries", "mods", "0", "estimatedBytes"})), int64_t(Paint.size()));
    EXPECT_EQ(Json.Get({"looseDictionaries", "screen", "dictionaries"}), "1");
    ASSERT_EQ(RunPellmorJson({u"restore", Dir.Path(), u"--archive", u"GTA_INT"}, Json), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"0", "archive"}), Shown(u"models/gta_int.img").ToUtf8());
    EXPECT_EQ(Json.Get({"1", "archive"}), "");
    EXPECT_EQ(Read(u"models/gta_int.img"), Interiors);
}

// gta3.img shrinks while the interiors are damaged, a mod's folder may not be written and another mod holds no
// texture at all: each ends on its own, and the exit code says that not all did.
TEST_F(PellmorGameTest, AnArchiveThatFailsLeavesTheOthersToTheirOwnEnd)
{
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 40, {{"gta_int", 40}, {"mymod", 20}}));
    const std::string Cut = Read(u"models/gta_int.img").substr(0, 20000);
    ASSERT_TRUE(WriteTestFile(Dir.File(u"models/gta_int.img"), Cut));
    ASSERT_TRUE(CoreOS::DirMake(*Dir.File(u"modloader")));
    ASSERT_TRUE(WriteTestFile(Dir.File(u"modloader/big.img"), Read(u"models/mymod.img")));
    ASSERT_TRUE(WriteFileBytes(Dir.File(u"models/cars.img"), FImgBuilder().Add("car.dff", FBytes(2048, 1)).Build()));
    std::string Dat = Read(u"data/gta.dat");
    ASSERT_TRUE(WriteTestFile(Dir.File(u"data/gta.dat"),
                              Dat + "IMG MODLOADER\\BIG.IMG\r\nIMG MODELS\\CARS.IMG\r\nIMG MODELS\\GONE.IMG\r\n"));
    const FWriteProtectedFolder Protected(Dir.File(u"modloader"));

    // An archive named that is not there stops everything before it starts.
    FJson Json;
    EXPECT_EQ(RunPellmorJson({u"shrink", Dir.Path(), u"--archive", u"mymod", u"--archive", u"gone"}, Json),
              PELLMOR_Usage);
    EXPECT_EQ(Json.Get({"error", "code"}), "no-archive");
    EXPECT_EQ(Read(u"models/mymod_ORIG_BAK.img"), "(missing)");

    FTestConsole Plain;
    EXPECT_EQ(RunPellmor({u"shrink", Dir.Path(), u"--all"}, Plain), PELLMOR_Failed);
    EXPECT_THAT(Plain.ErrText, HasSubstr("line 6 (MODELS\\GONE.IMG) names an archive that is not there"));
    EXPECT_THAT(Plain.ErrText, HasSubstr(Shown(u"models/gta_int.img is damaged").ToUtf8()));
    EXPECT_THAT(Plain.OutText, HasSubstr("holds no texture dictionary: there is nothing to shrink"));
    EXPECT_EQ(Read(u"models/gta_int.img"), Cut);

    ASSERT_EQ(RunPellmorJson({u"status", Dir.Path(), u"--all"}, Json), PELLMOR_Failed); // the damaged archive
    const char* States[] = {"shrunk", "damaged", "shrunk", Protected.IsProtected() ? "original" : "shrunk", "original"};
    for (int Row = 0; Row < 5; ++Row)
        EXPECT_EQ(Json.Get({std::to_string(Row), "state"}), States[Row]) << Json.Get({std::to_string(Row), "archive"});
    EXPECT_EQ(Json.Get({"1", "error", "code"}), "damaged");
    EXPECT_EQ(Json.Get({"4", "textureDictionaries"}), "0");
    EXPECT_TRUE(!Protected.IsProtected() || Has(Json.Get({"3", "next"}), "You may not change the files in"));
}

namespace
{
FTestConsole* GInterruptedConsole = nullptr;

// Ctrl-C as the interiors' build starts: the worker waits until the cancel has reached the engine.
void InterruptAtTheInteriors(const char16_t* Text)
{
    if (!appStrstr(Text, u"Reading ") || !appStrstr(Text, u"gta_int") || !GInterruptedConsole)
        return;
    GInterruptedConsole->bInterruptNow = true;
    for (int32_t i = 0; i < 10000 && (!GShrinkCancelFlag || GShrinkCancelFlag->load() == 0); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
} // namespace

TEST_F(PellmorGameTest, CtrlCDuringTheSecondArchiveStopsItAndStartsNoOther)
{
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 30, {{"gta_int", 60}, {"mymod", 20}}));
    const std::string Interiors = Read(u"models/gta_int.img");
    const std::string Mod = Read(u"models/mymod.img");
    FTestConsole Console;
    GInterruptedConsole = &Console;
    const bool bTraceWas = appTraceEnabled();
    appSetTraceEnabled(true);
    CoreOS::SetDebugOutputHook(&InterruptAtTheInteriors);
    const int32_t Exit = RunPellmor({u"shrink", Dir.Path(), u"--all"}, Console);
    CoreOS::SetDebugOutputHook(nullptr);
    appSetTraceEnabled(bTraceWas);
    GInterruptedConsole = nullptr;

    EXPECT_EQ(Exit, PELLMOR_Cancelled) << Console.ErrText;
    EXPECT_NE(Read(u"models/gta3_ORIG_BAK.img"), "(missing)");
    EXPECT_EQ(Read(u"models/gta_int.img"), Interiors);
    EXPECT_EQ(Read(u"models/gta_int_TEMP.img"), "(missing)");
    EXPECT_EQ(Read(u"models/mymod.img"), Mod);
    EXPECT_THAT(Console.OutText, HasSubstr("not started"));
}

#ifndef _WIN32
// The real program, the real signals, each once the first progress line is out: Ctrl-C, SIGTERM and a closed
// terminal cancel the shrink alike, the exit code says which, and a script reads "cancelled" after the JSON
// progress lines (on standard error, here through the pipe).
TEST_F(PellmorGameTest, SignalsCancelAShrinkAndTheExitCodeSaysWhich)
{
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 1500));
    const std::string Original = Read(u"models/gta3.img");
    const std::string Game = Dir.Path().ToUtf8();
    const std::string Result = Dir.File(u"result.json").ToUtf8();
    const int Cases[][2] = {{SIGINT, PELLMOR_Cancelled}, {SIGTERM, PELLMOR_Terminated}, {SIGHUP, PELLMOR_HungUp}};
    for (const auto& Case : Cases)
    {
        int Pipe[2];
        ASSERT_EQ(pipe(Pipe), 0);
        const pid_t Child = fork();
        ASSERT_GE(Child, 0);
        if (Child == 0)
        {
            dup2(Pipe[1], STDERR_FILENO);
            if (!std::freopen(Result.c_str(), "w", stdout))
                _exit(126);
            close(Pipe[0]);
            close(Pipe[1]);
            execl(PELLMOR_PROGRAM, "pellmor", "shrink", Game.c_str(), "--progress", "--json",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(Pipe[1]);
        std::string Progress;
        char Buffer[256];
        bool bSent = false;
        for (ssize_t Got; (Got = read(Pipe[0], Buffer, sizeof(Buffer))) > 0;)
        {
            Progress.append(Buffer, size_t(Got));
            if (!bSent && Has(Progress, "{\"archive\": "))
                bSent = kill(Child, Case[0]) == 0;
        }
        close(Pipe[0]);
        int Status = 0;
        ASSERT_EQ(waitpid(Child, &Status, 0), Child);
        ASSERT_TRUE(bSent) << Progress;
        ASSERT_TRUE(WIFEXITED(Status)) << Progress;
        EXPECT_EQ(WEXITSTATUS(Status), Case[1]) << Progress;
        EXPECT_EQ(Read(u"models/gta3.img"), Original);
        EXPECT_EQ(Read(u"models/gta3_ORIG_BAK.img"), "(missing)");
        EXPECT_EQ(Read(u"models/gta3_TEMP.img"), "(missing)");
        FJson Json;
        EXPECT_TRUE(Json.Parse(TestFileText(Dir.File(u"result.json")))) << TestFileText(Dir.File(u"result.json"));
        EXPECT_EQ(Json.Get({"error", "code"}), "cancelled");
        std::istringstream Lines(Progress);
        for (std::string Line; std::getline(Lines, Line);)
            EXPECT_TRUE(Line.rfind("{", 0) != 0 ||
                        (Json.Parse(Line) && Json.Get({"bytesTotal"}) == std::to_string(Original.size())))
                << Line;
    }
}
#endif

// A command started in the game's folder (or its Models folder) finds the game there, writes its preview page
// where it was started and never beside the program, and measures a shrunk game from the original it keeps.
TEST_F(PellmorGameTest, ACommandStartedInTheGameFindsItAndMeasuresTheOriginal)
{
    // A folder's name is only ever the folder: none of it is read as a shrink's settings.
    const FString Game = Dir.File(u"GTA,standard") + u"/";
    ASSERT_TRUE(MakeSampleGame(Game, 30));
    const std::string Original = Read(u"models/gta3.img", Game);
    FTestConsole Shrink, Started, Compare, Preview;
    ASSERT_EQ(RunPellmor({u"shrink", Game}, Shrink), PELLMOR_Done);
    ASSERT_EQ(RunPellmor({u"status"}, Started, Game + u"models"), PELLMOR_Done) << Started.ErrText;
    EXPECT_THAT(Started.OutText, HasSubstr("(from the current folder)"));

    ASSERT_EQ(RunPellmor({u"report", u".", u"--compare"}, Compare, Game), PELLMOR_Done) << Compare.ErrText;
    EXPECT_THAT(Compare.ErrText, HasSubstr("the game is shrunk; taking its original"));
    EXPECT_THAT(Compare.OutText, HasSubstr("gta3_ORIG_BAK.img"));

    const FString Here = Dir.File(u"here");
    ASSERT_TRUE(CoreOS::DirMake(*Here));
    ASSERT_EQ(RunPellmor({u"preview", u"../GTA,standard", u"--count", u"2"}, Preview, Here), PELLMOR_Done)
        << Preview.ErrText;
    EXPECT_TRUE(TestFileExists(Here + u"/pellmor-preview/index.html"));
    EXPECT_FALSE(TestFileExists(FString(appBaseDir()) + u"pellmor-preview/index.html"));

    // What the restore keeps for the next shrink is the player's to drop; the original stays.
    FTestConsole Restore, Again;
    ASSERT_EQ(RunPellmor({u"restore", Game}, Restore), PELLMOR_Done);
    FJson Json;
    ASSERT_EQ(RunPellmorJson({u"clean", Game}, Json), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"removed", "0"}), Shown(u"models/gta3_SHRUNK_BAK.img").ToUtf8());
    EXPECT_EQ(Read(u"models/gta3.img", Game), Original);
    ASSERT_EQ(RunPellmor({u"clean", Game}, Again), PELLMOR_Done);
    EXPECT_THAT(Again.OutText, HasSubstr("Nothing to remove"));
}
