#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"
#include "PellmorTestSupport.h"
#include "cli/PellmorCommands.h"
#include "engine/FGameFiles.h"
#include "shrinker/FImgShrinker.h"
#include "tests/support/ImgBuilder.h"
#include "tests/support/SampleGameSupport.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

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

TEST_F(PellmorGameTest, ShrinkRestoreAndStatusFollowTheFiles)
{
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 120));
    const std::string Original = Read(u"models/gta3.img");
    EXPECT_EQ(Status(), "original");

    FTestConsole Shrink;
    ASSERT_EQ(RunPellmor({u"shrink", Dir.Path()}, Shrink), PELLMOR_Done) << Shrink.ErrText;
    EXPECT_TRUE(Has(Shrink.OutText, "shrink: 0%")) << Shrink.OutText;   // plain progress lines
    EXPECT_TRUE(Has(Shrink.OutText, "Done. models")) << Shrink.OutText; // the folder as the disk spells it
    EXPECT_EQ(Read(u"models/gta3_ORIG_BAK.img"), Original);
    const std::string Shrunk = Read(u"models/gta3.img");
    EXPECT_LT(Shrunk.size(), Original.size());

    FJson Json;
    ASSERT_EQ(RunPellmorJson({u"status", Dir.Path()}, Json), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"state"}), "shrunk");
    EXPECT_EQ(Json.Get({"gameDir", "from"}), "argument");
    EXPECT_EQ(Json.Get({"gameDir", "path"}), appWithSystemSeparators(Dir.Path()).ToUtf8());
    EXPECT_EQ(Json.Get({"canRestore"}), "true");
    EXPECT_EQ(Json.Get({"checks", "writable"}), "true");
    EXPECT_EQ(Json.Get({"files", "gta3_ORIG_BAK.img"}), std::to_string(Original.size()));
    EXPECT_EQ(Json.Get({"files", "gta3_SHRUNK_BAK.img"}), "null");

    FTestConsole Restore;
    ASSERT_EQ(RunPellmor({u"restore", Dir.Path()}, Restore), PELLMOR_Done) << Restore.ErrText;
    EXPECT_EQ(Read(u"models/gta3.img"), Original);
    EXPECT_EQ(Read(u"models/gta3_SHRUNK_BAK.img"), Shrunk);
    EXPECT_EQ(Status(), "original");

    // The kept shrunk archive is taken over as it is.
    FTestConsole Reuse;
    ASSERT_EQ(RunPellmor({u"shrink", Dir.Path()}, Reuse), PELLMOR_Done);
    EXPECT_TRUE(Has(Reuse.OutText, "reusing"));
    EXPECT_EQ(Read(u"models/gta3.img"), Shrunk);

    // A gta3.img changed since (a mod, a copy) makes the kept archive stale: said before, and after the rebuild.
    FTestConsole Again;
    ASSERT_EQ(RunPellmor({u"restore", Dir.Path()}, Again), PELLMOR_Done);
    ASSERT_TRUE(WriteTestFile(Dir.File(u"models/gta3.img"), Original));
    ASSERT_EQ(RunPellmorJson({u"status", Dir.Path()}, Json), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"kept"}), "stale");
    EXPECT_TRUE(Has(Json.Get({"next"}), "no longer matches")) << Json.Get({"next"});
    FTestConsole Rebuild;
    ASSERT_EQ(RunPellmor({u"shrink", Dir.Path()}, Rebuild), PELLMOR_Done);
    EXPECT_TRUE(Has(Rebuild.OutText, "no longer matched (gta3.img changed after")) << Rebuild.OutText;

    // An interrupted swap (no gta3.img, the original kept) is recognised and repaired by a restore.
    ASSERT_TRUE(CoreOS::FileDelete(*Dir.File(u"models/gta3.img")));
    EXPECT_EQ(Status(), "interrupted");
    FTestConsole Repair;
    ASSERT_EQ(RunPellmor({u"restore", Dir.Path()}, Repair), PELLMOR_Done);
    EXPECT_EQ(Read(u"models/gta3.img"), Original);
}

// The shrink's record says what the archive was made with; another choice builds anew, and a mod installed into
// the shrunk archive stops a restore until the player says to discard it, after which that archive is never
// taken over.
TEST_F(PellmorGameTest, TheChoiceIsRecordedAndAChangeMadeWhileShrunkIsNotLostWithoutAWord)
{
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 60));
    const std::string Original = Read(u"models/gta3.img");
    FTestConsole Shrink;
    ASSERT_EQ(RunPellmor({u"shrink", Dir.Path(), u"--max-side", u"64", u"--no-smooth"}, Shrink), PELLMOR_Done)
        << Shrink.ErrText;
    FJson Json;
    ASSERT_EQ(RunPellmorJson({u"status", Dir.Path()}, Json), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"settings"}), "max-side:64 no-smooth");
    EXPECT_EQ(Json.Get({"changedAfterShrink"}), "false");
    FTestConsole Status;
    ASSERT_EQ(RunPellmor({u"status", Dir.Path()}, Status), PELLMOR_Done);
    EXPECT_TRUE(Has(Status.OutText, "at most 64 pixels, not smooth (the shrunk archive in use)")) << Status.OutText;

    // The standard shrink does not take over the archive kept at 64 pixels.
    FTestConsole Restore;
    ASSERT_EQ(RunPellmor({u"restore", Dir.Path()}, Restore), PELLMOR_Done) << Restore.ErrText;
    FTestConsole Standard;
    ASSERT_EQ(RunPellmor({u"shrink", Dir.Path()}, Standard), PELLMOR_Done) << Standard.ErrText;
    EXPECT_FALSE(Has(Standard.OutText, "reusing")) << Standard.OutText;
    EXPECT_TRUE(Has(Standard.OutText, "made at most 64 pixels, not smooth; this shrink is the standard"))
        << Standard.OutText;

    // A mod tool writes into the shrunk gta3.img (here: the unshrunk entries).
    ASSERT_TRUE(WriteTestFile(Dir.File(u"models/gta3.img"), Original));
    const std::string Modded = Original;
    ASSERT_EQ(RunPellmorJson({u"status", Dir.Path()}, Json), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"changedAfterShrink"}), "true");
    EXPECT_TRUE(Has(Json.Get({"next"}), "--discard-changes")) << Json.Get({"next"});
    ASSERT_EQ(RunPellmorJson({u"restore", Dir.Path()}, Json), PELLMOR_Failed);
    EXPECT_EQ(Json.Get({"error", "code"}), "changed");
    EXPECT_EQ(Read(u"models/gta3.img"), Modded);

    FTestConsole Discard;
    ASSERT_EQ(RunPellmor({u"restore", Dir.Path(), u"--discard-changes"}, Discard), PELLMOR_Done) << Discard.ErrText;
    EXPECT_FALSE(TestFileExists(Dir.File(u"models/gta3_ORIG_BAK.img")));
    EXPECT_EQ(Read(u"models/gta3_SHRUNK_BAK.img"), Modded);
    EXPECT_TRUE(Has(Discard.OutText, "no shrink takes it over")) << Discard.OutText;
    FTestConsole Again;
    ASSERT_EQ(RunPellmor({u"shrink", Dir.Path()}, Again), PELLMOR_Done) << Again.ErrText;
    EXPECT_TRUE(Has(Again.OutText, "a new one was built")) << Again.OutText;
    EXPECT_LT(Read(u"models/gta3.img").size(), Original.size());
}

// Each case on a game of its own: shrink (or restore) plainly and with --json, and status with --json. status
// gives the reason in the same words as the command, and no failure changes a byte of the archive.
TEST_F(PellmorGameTest, WhatStandsInTheWayIsSaidPlainlyByStatusAndTheCommand)
{
    const struct
    {
        const char16_t* Name;
        const char16_t* Command;
        int32_t Exit;
        const char* Words;
        const char* Code; // null: "result" is "nothing-to-do"
        const char* State;
        int32_t StatusExit;
    } Cases[] = {
        {u"shrunk", u"shrink", PELLMOR_Done, "is shrunk already", nullptr, "shrunk", PELLMOR_Done},
        {u"original", u"unshrink", PELLMOR_Done, "Nothing to restore", nullptr, "original", PELLMOR_Done},
        {u"read-only", u"shrink", PELLMOR_Failed, "You may not change the files in", "access-denied", "original",
         PELLMOR_Done},
        {u"full", u"shrink", PELLMOR_Failed, "needs 806.4 MB free on the drive that holds it; 104.9 MB are free",
         "no-space", "original", PELLMOR_Done},
        {u"not-img", u"shrink", PELLMOR_Failed, "no IMG archive", "not-an-archive", "not-an-archive", PELLMOR_Failed},
        {u"damaged", u"shrink", PELLMOR_Failed, "entries lie past the end of the file", "damaged", "damaged",
         PELLMOR_Failed},
        {u"busy", u"restore", PELLMOR_Failed, "Another shrink or restore is running", "busy", "busy", PELLMOR_Done},
        {u"held", u"shrink", PELLMOR_Failed, "is in use: the game or another program has it open", "in-use", "original",
         PELLMOR_Done},
        {u"missing", u"shrink", PELLMOR_Usage, "no game files in", "no-game", "missing", PELLMOR_Usage},
    };
    for (const auto& Case : Cases)
    {
        const FString Kind(Case.Name);
        const std::string Name = Kind.ToUtf8();
        const FString Game = Dir.File(Case.Name) + u"/";
        const FString Archive = Game + u"models/gta3.img";
        ASSERT_TRUE(MakeSampleGame(Game, 30));
        FTestConsole Shrink;
        if (Kind == u"shrunk")
        {
            ASSERT_EQ(RunPellmor({u"shrink", Game}, Shrink), PELLMOR_Done);
        }
        if (Kind == u"not-img" || Kind == u"damaged")
        {
            const std::string Cut = Read(u"models/gta3.img", Game).substr(0, 20000);
            ASSERT_TRUE(WriteTestFile(Archive, Kind == u"damaged" ? Cut : std::string(5000, 'x')));
        }
        if (Kind == u"missing")
        {
            ASSERT_TRUE(CoreOS::FileDelete(*Archive));
        }
        Space.Set(Kind == u"full" ? int64_t(100) << 20 : int64_t(10) << 30);
        std::unique_ptr<FWriteProtectedFolder> Protected;
        if (Kind == u"read-only")
            Protected.reset(new FWriteProtectedFolder(Game + u"models"));
        if (Protected && !Protected->IsProtected())
            continue; // a system that lets this user write anywhere
        // The game reads its archive and lets others read it, but not rename it: only Windows can say so.
        if (Kind == u"held" && !IsWindowsSystem())
            continue;
        CoreOS::FFileHandle Held = Kind == u"held"
                                       ? CoreOS::FileOpen(*Archive, CoreOS::FILEACCESS_Read, CoreOS::FILESHARE_Read,
                                                          CoreOS::FILECREATE_OpenExisting)
                                       : nullptr;
        std::unique_ptr<FTransactionLock> Lock;
        if (Kind == u"busy")
            Lock.reset(new FTransactionLock(GetGameArchiveFiles(Game)));
        const std::string Before = Read(u"models/gta3.img", Game);

        FTestConsole Plain;
        EXPECT_EQ(RunPellmor({Case.Command, Game}, Plain), Case.Exit) << Name << Plain.ErrText;
        EXPECT_TRUE(Has(Plain.OutText + Plain.ErrText, Case.Words)) << Name << "\n" << Plain.OutText << Plain.ErrText;
        // The engine's own words only with --verbose, and a damaged archive is never sent to a restore.
        EXPECT_FALSE(Has(Plain.ErrText, "Perform ")) << Name << Plain.ErrText;
        if (Kind == u"damaged")
        {
            EXPECT_FALSE(Has(Plain.ErrText, "restore")) << Plain.ErrText;
        }
        FJson Json;
        EXPECT_EQ(RunPellmorJson({Case.Command, Game}, Json), Case.Exit) << Name;
        EXPECT_EQ(Case.Code ? Json.Get({"error", "code"}) : Json.Get({"result"}),
                  Case.Code ? Case.Code : "nothing-to-do")
            << Name;
        EXPECT_EQ(RunPellmorJson({u"status", Game}, Json), Case.StatusExit) << Name;
        EXPECT_EQ(Json.Get({"state"}), Case.State) << Name;
        if (Case.Code && Kind != u"held")
        {
            EXPECT_TRUE(Has(Json.Get({"next"}), Case.Words)) << Name << "\n" << Json.Get({"next"});
        }
        EXPECT_EQ(Read(u"models/gta3.img", Game), Before) << Name;
        if (Held)
            CoreOS::FileClose(Held);
    }
}

// The last rename refused while the folder may be written: something holds the archive. The first rename is
// undone, so that the game keeps its archive, and --verbose adds the engine's own words.
TEST_F(PellmorGameTest, ARefusedLastRenameIsUndoneAndTheArchiveInUseSaid)
{
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 20));
    const std::string Original = Read(u"models/gta3.img");
    CoreOS::ResetOsFaults();
    // The record's rename, the new archive to its kept name, the original to its kept name, then this one.
    CoreOS::ArmOsFault(CoreOS::OSFAULT_Move, 4);
    FTestConsole Console;
    EXPECT_EQ(RunPellmor({u"shrink", Dir.Path(), u"--verbose"}, Console), PELLMOR_Failed);
    CoreOS::ResetOsFaults();
    EXPECT_TRUE(Has(Console.ErrText, "is in use")) << Console.ErrText;
    EXPECT_TRUE(Has(Console.ErrText, "The game's files are as they were.")) << Console.ErrText;
    EXPECT_TRUE(Has(Console.ErrText, "the engine said: Perform Shrink - Failed renaming TempFiles to CurFiles"));
    EXPECT_EQ(Read(u"models/gta3.img"), Original);
    EXPECT_EQ(Status(), "original");
}

// An archive that is there but cannot be opened (a disk fault, a permission on the file) is no missing game: status
// says so, and neither a shrink nor a restore touches it. The first file status and shrink open is the archive.
TEST_F(PellmorGameTest, AnArchiveThatCannotBeReadIsSaidSoAndLeftAlone)
{
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 10));
    const std::string Original = Read(u"models/gta3.img");
    ASSERT_TRUE(WriteTestFile(Dir.File(u"models/gta3_ORIG_BAK.img"), "kept"));
    FJson Json;
    FTestConsole Status, Restore;
    CoreOS::ResetOsFaults();
    CoreOS::ArmOsFault(CoreOS::OSFAULT_Open, 1);
    EXPECT_EQ(RunPellmorJson({u"status", Dir.Path()}, Json), PELLMOR_Failed);
    CoreOS::ArmOsFault(CoreOS::OSFAULT_Open, 1);
    EXPECT_EQ(RunPellmor({u"status", Dir.Path()}, Status), PELLMOR_Failed);
    CoreOS::ArmOsFault(CoreOS::OSFAULT_Open, 1);
    EXPECT_EQ(RunPellmor({u"restore", Dir.Path()}, Restore), PELLMOR_Failed);
    CoreOS::ResetOsFaults();
    EXPECT_EQ(Json.Get({"state"}), "unreadable");
    EXPECT_EQ(Json.Get({"error", "code"}), "cannot-read");
    EXPECT_TRUE(Has(Status.OutText, "State:       unreadable")) << Status.OutText;
    EXPECT_TRUE(Has(Status.ErrText, Shown(u"models/gta3.img is there but cannot be read: ").ToUtf8()))
        << Status.ErrText;
    EXPECT_TRUE(Has(Restore.ErrText, "cannot be read")) << Restore.ErrText;
    EXPECT_EQ(Read(u"models/gta3.img"), Original);
    EXPECT_EQ(Read(u"models/gta3_ORIG_BAK.img"), "kept");
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
    EXPECT_TRUE(Has(Wide.OutText, "  Checks\n")) << Wide.OutText;
    EXPECT_TRUE(Has(Narrow.OutText, "\nChecks:\n")) << Narrow.OutText;
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
    EXPECT_TRUE(Has(Shrink.OutText, "Shrinking 2 archives")) << Shrink.OutText;
    EXPECT_TRUE(Has(Shrink.OutText, "shrink " + Shown(u"models/gta_int.img: ").ToUtf8())) << Shrink.OutText;
    EXPECT_TRUE(Has(Shrink.OutText, "original  shrunk")) << Shrink.OutText; // the summary's rows
    EXPECT_EQ(Read(u"models/gta_int_ORIG_BAK.img"), Interiors);
    const std::string Shrunk = Read(u"models/gta_int.img");
    EXPECT_LT(Shrunk.size(), Interiors.size());

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
    EXPECT_EQ(Read(u"models/gta_int.img"), Shrunk);

    // report covers each archive and their sum; one of --archive names alone.
    ASSERT_EQ(RunPellmorJson({u"report", Dir.Path(), u"--all"}, Json), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"bytes"}), std::to_string(Read(u"models/gta3.img").size() + Shrunk.size()));
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
    EXPECT_TRUE(Has(Plain.ErrText, "line 6 (MODELS\\GONE.IMG) names an archive that is not there")) << Plain.ErrText;
    EXPECT_TRUE(Has(Plain.ErrText, Shown(u"models/gta_int.img is damaged").ToUtf8())) << Plain.ErrText;
    EXPECT_TRUE(Has(Plain.OutText, "holds no texture dictionary: there is nothing to shrink")) << Plain.OutText;
    EXPECT_EQ(Read(u"models/gta_int.img"), Cut);

    ASSERT_EQ(RunPellmorJson({u"status", Dir.Path(), u"--all"}, Json), PELLMOR_Failed); // the damaged archive
    const struct
    {
        const char* Row;
        const char* State;
    } Rows[] = {{"0", "shrunk"},
                {"1", "damaged"},
                {"2", "shrunk"},
                {"3", Protected.IsProtected() ? "original" : "shrunk"},
                {"4", "original"}};
    for (const auto& Row : Rows)
        EXPECT_EQ(Json.Get({Row.Row, "state"}), Row.State) << Json.Get({Row.Row, "archive"});
    EXPECT_EQ(Json.Get({"1", "error", "code"}), "damaged");
    EXPECT_EQ(Json.Get({"4", "textureDictionaries"}), "0");
    if (Protected.IsProtected())
    {
        EXPECT_TRUE(Has(Json.Get({"3", "next"}), "You may not change the files in")) << Json.Get({"3", "next"});
    }
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
    EXPECT_TRUE(Has(Console.OutText, "not started")) << Console.OutText;
}

#ifndef _WIN32
// The real program, the real signals, each once the first progress line is out: Ctrl-C, SIGTERM and a closed
// terminal cancel the shrink alike, the exit code says which it was, and a script that asked for JSON reads
// "cancelled" after the progress lines.
TEST_F(PellmorGameTest, SignalsCancelAShrinkAndTheExitCodeSaysWhich)
{
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 1500));
    const std::string Original = Read(u"models/gta3.img");
    const std::string Game = Dir.Path().ToUtf8();
    const std::string Result = Dir.File(u"result.json").ToUtf8();
    const struct
    {
        int Signal;
        int Exit;
        bool bJson;
    } Cases[] = {
        {SIGINT, PELLMOR_Cancelled, false}, {SIGTERM, PELLMOR_Terminated, true}, {SIGHUP, PELLMOR_HungUp, true}};
    for (const auto& Case : Cases)
    {
        // The progress comes through the pipe: plain lines on standard output, JSON lines on standard error.
        int Pipe[2];
        ASSERT_EQ(pipe(Pipe), 0);
        const pid_t Child = fork();
        ASSERT_GE(Child, 0);
        if (Child == 0)
        {
            dup2(Pipe[1], Case.bJson ? STDERR_FILENO : STDOUT_FILENO);
            if (!std::freopen(Case.bJson ? Result.c_str() : "/dev/null", "w", Case.bJson ? stdout : stderr))
                _exit(126);
            close(Pipe[0]);
            close(Pipe[1]);
            // Without --json, --progress changes nothing: the plain progress lines come as ever.
            execl(PELLMOR_PROGRAM, "pellmor", "shrink", Game.c_str(), "--progress", Case.bJson ? "--json" : nullptr,
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
            if (!bSent && Progress.find(Case.bJson ? "{\"archive\": " : "shrink: ") != std::string::npos)
                bSent = kill(Child, Case.Signal) == 0;
        }
        close(Pipe[0]);
        int Status = 0;
        ASSERT_EQ(waitpid(Child, &Status, 0), Child);
        ASSERT_TRUE(bSent) << Progress;
        ASSERT_TRUE(WIFEXITED(Status)) << Progress;
        EXPECT_EQ(WEXITSTATUS(Status), Case.Exit) << Progress;
        EXPECT_EQ(Read(u"models/gta3.img"), Original);
        EXPECT_EQ(Read(u"models/gta3_ORIG_BAK.img"), "(missing)");
        EXPECT_EQ(Read(u"models/gta3_TEMP.img"), "(missing)");
        if (!Case.bJson)
            continue;
        FJson Json;
        EXPECT_TRUE(Json.Parse(TestFileText(Dir.File(u"result.json")))) << TestFileText(Dir.File(u"result.json"));
        EXPECT_EQ(Json.Get({"error", "code"}), "cancelled");
        std::istringstream Lines(Progress);
        for (std::string Line; std::getline(Lines, Line);)
            if (Line.rfind("{", 0) == 0)
            {
                EXPECT_TRUE(Json.Parse(Line) && Json.Get({"bytesTotal"}) == std::to_string(Original.size())) << Line;
            }
    }
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

    FJson Json;
    ASSERT_EQ(RunPellmorJson({u"status", u"--wine-prefix", Prefix}, Json), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"state"}), "original");
    EXPECT_EQ(Json.Get({"gameDir", "from"}), "wine-prefix");
    EXPECT_EQ(Json.Get({"gameDir", "detail"}), Prefix.ToUtf8());
    EXPECT_EQ(Json.Get({"gameDir", "path"}), (Prefix + u"/dosdevices/c:/Games/San Andreas/").ToUtf8());
}
#endif
