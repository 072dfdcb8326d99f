#include <gtest/gtest.h>

#include <string>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/FFileManager.h"
#include "engine/FShrinkEngineServer.h"
#include "shrinker/FImgShrinker.h"
#include "tests/support/ImgBuilder.h"
#include "tests/support/TempDir.h"

namespace
{
const char16_t* const NotAllCur = u"Perform Unshrink - Prerequisite fail - Not all Cur Files exist";
const char16_t* const AllBak = u"Perform Unshrink - Prerequisite fail - All Bak Files already exist";
const char16_t* const NotAllBak = u"Perform Unshrink - Prerequisite fail - Not all Bak Files exist";

class FShrinkEngineServerTest : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(CoreOS::DirMake(*(Dir / u"Models"))); }

    FString Game() const { return Dir.Path(); }
    FString File(const char16_t* Suffix) const { return Dir.Path() + u"Models\\gta3" + Suffix + u".img"; }
    std::string Read(const char16_t* Suffix) const { return TestFileText(File(Suffix)); }
    bool Has(const char16_t* Suffix) const { return TestFileExists(File(Suffix)); }
    void Put(const char16_t* Suffix, const std::string& Bytes) { ASSERT_TRUE(WriteTestFile(File(Suffix), Bytes)); }

    FFakeFreeSpace Space;
    FTempDir Dir;
    std::string Original = PlainArchive(3);
};
} // namespace

TEST_F(FShrinkEngineServerTest, StateTableDecidesBothTests)
{
    struct FRow
    {
        bool bCur, bOrig, bShrunk;
        const char16_t* CanShrink;
        const char16_t* CanUnshrink;
    };
    const FRow Rows[] = {
        {true, false, false, u"", NotAllBak},   // original in use
        {true, false, true, u"", NotAllBak},    // original in use, a shrunk copy kept
        {true, true, false, AllBak, u""},       // shrunk archive in use
        {false, true, false, NotAllCur, u""},   // interrupted swap
        {false, false, false, NotAllCur, NotAllBak}, // game files not found
    };
    for (const FRow& Row : Rows)
    {
        for (const char16_t* Suffix : {u"", u"_ORIG_BAK", u"_SHRUNK_BAK"})
            CoreOS::FileDelete(*File(Suffix));
        if (Row.bCur)
            Put(u"", Original);
        if (Row.bOrig)
            Put(u"_ORIG_BAK", Original);
        if (Row.bShrunk)
            Put(u"_SHRUNK_BAK", Original);
        EXPECT_EQ(CheckCanShrink(Game()), Row.CanShrink);
        EXPECT_EQ(CheckCanUnshrink(Game()), Row.CanUnshrink);
    }
    // Without the trailing separator nothing is found.
    EXPECT_EQ(CheckCanShrink(Game().Left(Game().Len() - 1)), NotAllCur);

    // A heavily modded archive of 3 GiB exists for both tests (sparse, so it costs no disk).
    ASSERT_TRUE(WriteSparseTestFile(File(u""), int64_t(3) << 30));
    EXPECT_EQ(CheckCanShrink(Game()), u"");
    CoreOS::FileDelete(*File(u""));
}

TEST_F(FShrinkEngineServerTest, ShrinkRestoreAndShrinkAgainReusingTheKeptArchive)
{
    Put(u"", Original);
    Put(u"_TEMP", "stale");
    CoreOS::FileSetAttributes(*File(u"_TEMP"), CoreOS::FILEATTR_ReadOnly);

    // (What a shrink and a restore leave in the other names the fault test holds them to.)
    EXPECT_EQ(PerformShrink(Game()), u"");
    const std::string Shrunk = Read(u"");
    EXPECT_EQ(Shrunk.substr(0, 4), "VER2");
    EXPECT_FALSE(Has(u"_SHRUNK_BAK"));
    EXPECT_EQ(PerformUnshrink(Game()), u"");
    EXPECT_EQ(Read(u"_SHRUNK_BAK"), Shrunk);

    // The kept archive was built from the archive in use: taken over as it is, no build, no free-space test.
    Space.Set(0);
    FTransactionResult Reused = ShrinkArchive(GetGameArchiveFiles(Game()), FShrinkJobOptions());
    EXPECT_EQ(Reused.Message, u"");
    EXPECT_EQ(Reused.Kept, EKeptArchive::Current);
    EXPECT_EQ(Read(u""), Shrunk);
    EXPECT_EQ(PerformUnshrink(Game()), u"");

    // (A kept archive made stale by a change to gta3.img: the record's test.) Something that is no archive at all
    // in the kept name is never swapped in.
    Space.Set(int64_t(10) << 30);
    Put(u"_SHRUNK_BAK", "kept archive");
    EXPECT_EQ(PerformShrink(Game()), u"");
    EXPECT_EQ(Read(u"").substr(0, 4), "VER2");
}

// Too little free space (768 MiB must be exceeded), or leftovers that cannot be deleted (a folder where a file is
// expected, on either system), stop the shrink before anything changes.
TEST_F(FShrinkEngineServerTest, NoRoomOrUndeletableLeftoversStopTheShrinkBeforeAnyChange)
{
    Put(u"", Original);
    const struct
    {
        const char16_t* Folder;
        int64_t FreeBytes;
        const char16_t* Message;
    } Cases[] = {
        {nullptr, int64_t(768) << 20, u"Not enough disk space to do shrink"},
        {u"_TEMP", int64_t(10) << 30, u"Perform Shrink - Failed while trying to delete TempShrinkFiles"},
        {u"_ORIG_BAK", int64_t(10) << 30, u"Perform Shrink - Failed while trying to delete BakOrigFiles"},
        {u"_SHRUNK_BAK", int64_t(10) << 30, u"Perform Shrink - Failed while trying to delete BakModFiles"},
    };
    for (const auto& Case : Cases)
    {
        Space.Set(Case.FreeBytes);
        if (Case.Folder)
        {
            ASSERT_TRUE(CoreOS::DirMake(*File(Case.Folder)));
        }
        EXPECT_EQ(PerformShrink(Game()), Case.Message);
        EXPECT_EQ(Read(u""), Original);
        EXPECT_FALSE(Has(u"_ORIG_BAK"));
        if (Case.Folder)
            CoreOS::DirRemove(*File(Case.Folder));
    }
    Space.Set(int64_t(769) << 20);
    EXPECT_EQ(PerformShrink(Game()), u"");
    EXPECT_TRUE(Has(u"_ORIG_BAK"));
}

TEST_F(FShrinkEngineServerTest, RestoreRepairsAnInterruptedSwap)
{
    Put(u"_ORIG_BAK", Original);
    Put(u"_SHRUNK_BAK", "kept");
    EXPECT_EQ(PerformUnshrink(Game()), u"");
    EXPECT_EQ(Read(u""), Original);
    EXPECT_EQ(Read(u"_SHRUNK_BAK"), "kept");
    EXPECT_EQ(PerformUnshrink(Game()), NotAllBak);
}

TEST_F(FShrinkEngineServerTest, ASecondTransactionOnTheFolderIsRefusedWithoutTouchingAFile)
{
    Put(u"", Original);
    const FArchiveFiles Files = GetGameArchiveFiles(Game());
    {
        FTransactionLock Held(Files);
        ASSERT_FALSE(Held.IsBusy());
        const FTransactionResult Shrink = ShrinkArchive(Files, FShrinkJobOptions());
        EXPECT_EQ(Shrink.Failure, ETransactionFailure::Busy);
        EXPECT_FALSE(Shrink.Message.IsEmpty());
        EXPECT_EQ(RestoreArchive(Files).Failure, ETransactionFailure::Busy);
        EXPECT_EQ(FShrinkEngineServer::RunCommand(FString(u"CanShrink,") + Game()), u"busy");
        EXPECT_EQ(FShrinkEngineServer::RunCommand(FString(u"CanUnshrink,") + Game()), u"busy");
        EXPECT_EQ(InspectArchive(Files).State, EArchiveState::Busy);
        EXPECT_EQ(Read(u""), Original);
        EXPECT_FALSE(Has(u"_TEMP"));
    }
    EXPECT_EQ(FShrinkEngineServer::RunCommand(FString(u"CanShrink,") + Game()), u"true");
    EXPECT_EQ(PerformShrink(Game()), u"");
}

TEST_F(FShrinkEngineServerTest, AnArchiveThatCannotBeShrunkIsRefusedBeforeAnythingIsWritten)
{
    // No archive at all, and one cut short where a broken download would end: the last entries are missing.
    const struct
    {
        std::string Bytes;
        EArchiveState State;
        EShrinkFailure Failure;
    } Cases[] = {
        {"this is not an archive", EArchiveState::NotAnArchive, EShrinkFailure::NotAnArchive},
        {PlainArchive(8).substr(0, 5 * 2048), EArchiveState::Damaged, EShrinkFailure::Damaged},
    };
    for (const auto& Case : Cases)
    {
        Put(u"", Case.Bytes);
        const FArchiveFiles Files = GetGameArchiveFiles(Game());
        EXPECT_EQ(InspectArchive(Files).State, Case.State);
        const FTransactionResult Result = ShrinkArchive(Files, FShrinkJobOptions());
        EXPECT_EQ(Result.Message, u"Perform Shrink - Failed while building TempShrinkFiles");
        EXPECT_EQ(Result.Failure, ETransactionFailure::BuildFailed);
        EXPECT_EQ(Result.BuildFailure, Case.Failure);
        EXPECT_EQ(Result.Damage.EntriesPastEnd > 0, Case.Failure == EShrinkFailure::Damaged);
        EXPECT_EQ(Read(u""), Case.Bytes);
        EXPECT_FALSE(Has(u"_TEMP"));
        EXPECT_FALSE(Has(u"_ORIG_BAK"));
    }
}

// The record beside the archive decides: a kept archive is taken over only by a shrink with its settings and
// rules, of the very archive it was built from (by content: a copy that keeps the time is no match), and a
// restore does not silently throw away a change made to the shrunk archive in use.
TEST_F(FShrinkEngineServerTest, TheShrinksRecordDecidesReuseAndRestore)
{
    Put(u"", Original);
    Space.Set(int64_t(10) << 30);
    const FArchiveFiles Files = GetGameArchiveFiles(Game());
    FShrinkJobOptions Standard;
    FShrinkJobOptions Small;
    Small.Settings = FShrinkSettings::LargestSide(512);
    FShrinkJobOptions Rules;
    const FString RulesFile = Dir.Path() + u"rules.ini";
    ASSERT_TRUE(WriteTestFile(RulesFile, "[SkipRules]\nskip=radar*\n"));
    Rules.SkipRulesFile = RulesFile;
    auto Shrink = [&Files](const FShrinkJobOptions& Options)
    {
        const FTransactionResult Result = ShrinkArchive(Files, Options);
        EXPECT_EQ(Result.Message, u"");
        EXPECT_EQ(RestoreArchive(Files).Message, u"");
        return Result.Kept;
    };
    // A shrink of a game that the standard shrink made before records were kept: taken over by a standard
    // shrink with the built-in rules only.
    EXPECT_EQ(PerformShrink(Game()), u"");
    EXPECT_EQ(PerformUnshrink(Game()), u"");
    ASSERT_TRUE(DeleteShrinkRecord(Files));
    EXPECT_EQ(Shrink(Standard), EKeptArchive::Current);
    ASSERT_TRUE(DeleteShrinkRecord(Files));
    EXPECT_EQ(Shrink(Rules), EKeptArchive::Stale);
    FShrinkRecord Record;
    ASSERT_EQ(ReadShrinkRecord(Files, Record), ERecordRead::Read);
    uint64_t Digest = 0;
    ASSERT_TRUE(DigestImgArchive(*File(u""), Digest));
    EXPECT_EQ(Record.SourceDigest, Digest);
    EXPECT_EQ(Shrink(Rules), EKeptArchive::Current);
    EXPECT_EQ(Shrink(Standard), EKeptArchive::Stale);
    EXPECT_EQ(Shrink(Small), EKeptArchive::Stale);
    EXPECT_EQ(Shrink(Small), EKeptArchive::Current);

    // The archive in use rewritten with other bytes of the same size, and the record told it is the one it
    // knew (as a copy that keeps size and time would leave it): only the content can tell.
    std::string Copy = Original;
    Copy[Copy.size() - 1] ^= 1;
    Put(u"", Copy);
    ASSERT_EQ(ReadShrinkRecord(Files, Record), ERecordRead::Read);
    Record.Source = StampOf(File(u""));
    ASSERT_TRUE(WriteShrinkRecord(Files, Record));
    const FTransactionResult Rebuilt = ShrinkArchive(Files, Small);
    EXPECT_EQ(Rebuilt.Kept, EKeptArchive::Stale);
    EXPECT_EQ(Rebuilt.KeptWhy, u"gta3.img is not the archive the kept one was built from");

    // A mod installed into the shrunk archive in use: status sees it, a restore refuses and changes nothing,
    // and told to discard the change it restores and never takes that archive over again.
    Put(u"", PlainArchive(2));
    EXPECT_TRUE(InspectArchive(Files).bShrunkChanged);
    const FTransactionResult Refused = RestoreArchive(Files);
    EXPECT_EQ(Refused.Verdict.Kind, EVerdict::Changed);
    EXPECT_EQ(Read(u""), PlainArchive(2));
    FShrinkJobOptions Discard;
    Discard.bDiscardChanges = true;
    EXPECT_EQ(RestoreArchive(Files, Discard).Message, u"");
    EXPECT_EQ(Read(u""), Copy);
    EXPECT_EQ(Read(u"_SHRUNK_BAK"), PlainArchive(2));
    // It is the only copy of that change: a clean-up leaves it unless told.
    EXPECT_EQ(CleanArchive(Files, false).Outcome, ECleanOutcome::Changed);
    EXPECT_TRUE(Has(u"_SHRUNK_BAK"));
    const FTransactionResult Again = ShrinkArchive(Files, Small);
    EXPECT_EQ(Again.Kept, EKeptArchive::Stale);
    EXPECT_NE(Read(u""), PlainArchive(2));

    // The last rename refused: the first is undone, and the game keeps its archive.
    EXPECT_EQ(RestoreArchive(Files).Message, u"");
    CoreOS::ArmOsFault(CoreOS::OSFAULT_Move, 2);
    const FTransactionResult Back = ShrinkArchive(Files, Small);
    CoreOS::ResetOsFaults();
    EXPECT_TRUE(Back.bRolledBack);
    EXPECT_EQ(Back.Verdict.Kind, EVerdict::InUse);
    EXPECT_EQ(Back.StateAfter, EArchiveState::Original);
    EXPECT_EQ(Read(u""), Copy);

    // A clean-up drops the kept shrunk archive and its record, and nothing the game needs.
    const FCleanResult Clean = CleanArchive(Files, false);
    EXPECT_EQ(Clean.Outcome, ECleanOutcome::Done);
    ASSERT_EQ(Clean.Removed.Num(), 2);
    EXPECT_EQ(Clean.Removed[0], Files.KeptShrunk);
    EXPECT_EQ(Clean.Removed[1], Files.Record);
    EXPECT_EQ(Read(u""), Copy);
    EXPECT_EQ(CleanArchive(Files, false).Outcome, ECleanOutcome::NothingToDo);
}

TEST_F(FShrinkEngineServerTest, StatusAndRestoreTakeOneVerdictOnAChangedShrunkArchive)
{
    Put(u"", Original);
    Space.Set(int64_t(10) << 30);
    const FArchiveFiles Files = GetGameArchiveFiles(Game());
    ASSERT_EQ(PerformShrink(Game()), u"");
    const std::string Shrunk = Read(u"");
    std::string InPlace = Shrunk;
    InPlace[InPlace.size() - 1] ^= 1;
    const struct
    {
        const char* What;
        std::string Bytes;
        bool bChanged;
    } Rows[] = {
        {"written again as it was: only its time moved", Shrunk, false},
        {"an entry rewritten in place", InPlace, true},
        // A tool that adds an entry writes it past the end before it rewrites the directory.
        {"bytes appended after the last entry", Shrunk + std::string(2048, 'x'), true},
    };
    for (const auto& Row : Rows)
    {
        SCOPED_TRACE(Row.What);
        if (!Has(u"_ORIG_BAK"))
        {
            ASSERT_EQ(PerformShrink(Game()), u"");
        }
        Put(u"", Row.Bytes);
        EXPECT_EQ(InspectArchive(Files).bShrunkChanged, Row.bChanged);
        EXPECT_EQ(RestoreArchive(Files).Verdict.Kind == EVerdict::Changed, Row.bChanged);
        EXPECT_EQ(Read(u"") == Original, !Row.bChanged);
    }
}

// The record is a file that outlives the program that wrote it: one written by an earlier release is read as it
// stands, key by key.
TEST_F(FShrinkEngineServerTest, ARecordOfAnEarlierReleaseIsRead)
{
    const FArchiveFiles Files = GetGameArchiveFiles(Game());
    ASSERT_TRUE(WriteTestFile(Files.Record, "[Shrink]\r\nSettings=max-side:512 no-smooth\r\n"
                                            "SkipRules=00000000000000ff\r\nBuiltInRules=1\r\nSourceBytes=1000\r\n"
                                            "SourceTime=2000\r\nSourceDigest=0000000000000001\r\nShrunkBytes=500\r\n"
                                            "ShrunkTime=3000\r\nShrunkDigest=0000000000000002\r\n"
                                            "ShrunkDirectory=0000000000000003\r\nChanged=1\r\n"));
    FShrinkRecord Record;
    ASSERT_EQ(ReadShrinkRecord(Files, Record), ERecordRead::Read);
    EXPECT_EQ(Record.Settings.ToText(), u"max-side:512 no-smooth");
    EXPECT_TRUE(Record.SkipRulesDigest == 0xff && Record.bBuiltInRules && Record.bChanged);
    EXPECT_TRUE(Record.Source.Bytes == 1000 && Record.Source.Time == 2000 && Record.SourceDigest == 1);
    EXPECT_TRUE(Record.Shrunk.Bytes == 500 && Record.Shrunk.Time == 3000 && Record.ShrunkDigest == 2);
    EXPECT_EQ(Record.ShrunkDirectoryDigest, 3u);
}
