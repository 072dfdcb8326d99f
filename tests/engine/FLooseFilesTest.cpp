// The loose dictionaries' transaction: a shrink and a restore give back every file byte for byte, a file changed
// or removed after the shrink survives a restore, and whatever file operation fails in either, no original is
// lost, no file is left half-written, and the next run ends in a state it recognises.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "Core/Inc/CoreOS.h"
#include "engine/FGameDisk.h"
#include "engine/FLooseFiles.h"
#include "tests/support/TempDir.h"
#include "tests/support/TxdBuilder.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace
{
class FLooseFilesTest : public testing::Test
{
protected:
    void SetUp() override
    {
        for (const char16_t* Folder : {u"models", u"modloader", u"modloader/Cars", u"modloader/Cars/hd", u"modloader/Trees"})
            ASSERT_TRUE(CoreOS::DirMake(*Dir.File(Folder)));
        Put(u"modloader/Cars/hd/paintjob.txd", TxdDictionary({Dxt1Texture("paint", 128, 128, 3)}));
        Put(u"modloader/Cars/wheels2.txd", TxdDictionary({Dxt1Texture("rim", 64, 64, 2), Dxt1Texture("tyre", 32, 32, 1)}));
        Put(u"modloader/Trees/pine\u00e9.txd", TxdDictionary({Dxt1Texture("bark", 256, 64, 1)}));
        Put(u"modloader/Trees/broken.txd", FBytes(100, 0x16));
    }
    void TearDown() override { CoreOS::ResetOsFaults(); }

    void Put(const char16_t* Relative, const FBytes& Bytes)
    {
        ASSERT_TRUE(WriteFileBytes(Dir.File(Relative), Bytes));
        Originals[Relative] = TestFileText(Dir.File(Relative));
    }
    TDynArray<FLooseDictionary> Loaded() const
    {
        return FindModFolderFiles(Dir.Path(), TDynArray<FString>()).Dictionaries;
    }
    // Every file holds its original bytes, or its shrunk bytes with the original kept in the store; unless
    // bKilled (a killed run leaves what it was writing), no new file is left beside one.
    void ExpectNothingLost(const char* Where, bool bKilled = false) const
    {
        for (const auto& File : Originals)
        {
            const std::string Now = TestFileText(Dir.File(File.first.c_str()));
            const std::string Kept = TestFileText(Dir.File((u".pellmor/originals/" + File.first).c_str()));
            EXPECT_TRUE(Now == File.second || Kept == File.second) << Where << FString(File.first.c_str()).ToUtf8();
            for (const char16_t* Left : {u".pellmor-new.pellmor-part", u".pellmor-new"})
                EXPECT_TRUE(bKilled || !FGameDisk::Exists(Dir.File((File.first + Left).c_str()))) << Where;
        }
    }
    // After the run that follows a failed or killed one: every file shrunk (its journal line says so), or after a
    // restore every one original.
    void ExpectFinished(bool bRestore, const std::string& Where) const
    {
        ExpectNothingLost(Where.c_str());
        if (bRestore)
        {
            EXPECT_TRUE(AllOriginal()) << Where;
            return;
        }
        FLooseJournal Journal;
        FString Why;
        ASSERT_TRUE(ReadLooseJournal(Dir.Path(), Journal, Why)) << Where;
        EXPECT_EQ(Journal.Entries.Num(), 3) << Where;
        for (const FLooseEntry& Entry : Journal.Entries)
            EXPECT_EQ(GetLooseState(Dir.Path(), Entry), ELooseState::Shrunk) << Where;
    }
    bool AllOriginal() const
    {
        for (const auto& File : Originals)
            if (TestFileText(Dir.File(File.first.c_str())) != File.second)
                return false;
        return true;
    }

    FTempDir Dir;
    std::map<std::u16string, std::string> Originals;
};
} // namespace

// A shrink makes the world's dictionaries smaller and keeps the originals, a second one changes nothing, a restore
// gives every byte back; a file updated after the shrink is left by a restore unless told, a mod deleted keeps its
// originals until they are forgotten.
TEST_F(FLooseFilesTest, ShrinkAndRestoreGiveEveryByteBack)
{
    FLooseOutcome Outcome = ShrinkLooseFiles(Dir.Path(), Loaded(), FShrinkOptions());
    ASSERT_TRUE(Outcome.bOk) << Outcome.Reason.ToUtf8();
    EXPECT_EQ(Outcome.Done, 3);
    EXPECT_EQ(Outcome.Same, 1); // the damaged one, copied as it is, so left in place
    EXPECT_LT(TestFileText(Dir.File(u"modloader/Cars/hd/paintjob.txd")).size(),
              Originals[u"modloader/Cars/hd/paintjob.txd"].size());
    ExpectNothingLost("shrunk: ");
    FLooseJournal Journal;
    FString Why;
    ASSERT_TRUE(ReadLooseJournal(Dir.Path(), Journal, Why));
    ASSERT_EQ(Journal.Entries.Num(), 3);
    for (const FLooseEntry& Entry : Journal.Entries)
        EXPECT_EQ(GetLooseState(Dir.Path(), Entry), ELooseState::Shrunk);
    EXPECT_EQ(ShrinkLooseFiles(Dir.Path(), Loaded(), FShrinkOptions()).Done, 0);

    Outcome = RestoreLooseFiles(Dir.Path(), false);
    ASSERT_TRUE(Outcome.bOk) << Outcome.Reason.ToUtf8();
    EXPECT_EQ(Outcome.Done, 3);
    EXPECT_TRUE(AllOriginal());
    EXPECT_FALSE(ReadLooseJournal(Dir.Path(), Journal, Why));

    // Updated and deleted while shrunk.
    ASSERT_TRUE(ShrinkLooseFiles(Dir.Path(), Loaded(), FShrinkOptions()).bOk);
    const FBytes Update = TxdDictionary({Dxt1Texture("paint2", 64, 64, 1)});
    ASSERT_TRUE(WriteFileBytes(Dir.File(u"modloader/Cars/hd/paintjob.txd"), Update));
    ASSERT_TRUE(CoreOS::FileDelete(*Dir.File(u"modloader/Trees/pine\u00e9.txd")));
    Outcome = RestoreLooseFiles(Dir.Path(), false);
    EXPECT_EQ(Outcome.Done, 1);
    ASSERT_EQ(Outcome.Changed.Num(), 1);
    ASSERT_EQ(Outcome.Removed.Num(), 1);
    EXPECT_EQ(TestFileText(Dir.File(u"modloader/Cars/hd/paintjob.txd")), std::string(Update.begin(), Update.end()));
    ASSERT_TRUE(ReadLooseJournal(Dir.Path(), Journal, Why));
    EXPECT_EQ(Journal.Entries.Num(), 2);
    EXPECT_EQ(ForgetRemovedLooseFiles(Dir.Path()).Done, 1);
    EXPECT_FALSE(FGameDisk::Exists(Dir.File(u".pellmor/originals/modloader/Trees/pine\u00e9.txd")));
    Outcome = RestoreLooseFiles(Dir.Path(), true);
    EXPECT_EQ(Outcome.Done, 1);
    EXPECT_EQ(TestFileText(Dir.File(u"modloader/Cars/hd/paintjob.txd")), Originals[u"modloader/Cars/hd/paintjob.txd"]);
    EXPECT_FALSE(ReadLooseJournal(Dir.Path(), Journal, Why));
}

// Every write, flush, move and delete of a shrink and of a restore made to fail in turn, for every one a clean run
// reaches: nothing is lost, the failing step says so, and the next clean run finishes the work (the shrink's
// files all shrunk, the restore's all original).
TEST_F(FLooseFilesTest, AFailedStepLosesNothingAndTheNextRunFinishes)
{
    const CoreOS::EOsFaultKind Kinds[] = {CoreOS::OSFAULT_Write, CoreOS::OSFAULT_Flush, CoreOS::OSFAULT_Move,
                                          CoreOS::OSFAULT_Delete, CoreOS::OSFAULT_Open};
    int32_t Faults = 0;
    for (const bool bRestore : {false, true})
        for (const CoreOS::EOsFaultKind Kind : Kinds)
        {
            // How many of this kind a clean run makes.
            ASSERT_TRUE(RestoreLooseFiles(Dir.Path(), true).bOk);
            if (bRestore)
            {
                ASSERT_TRUE(ShrinkLooseFiles(Dir.Path(), Loaded(), FShrinkOptions()).bOk);
            }
            CoreOS::ResetOsFaults();
            const FLooseOutcome Clean =
                bRestore ? RestoreLooseFiles(Dir.Path(), false) : ShrinkLooseFiles(Dir.Path(), Loaded(), FShrinkOptions());
            ASSERT_TRUE(Clean.bOk);
            const int64_t Calls = CoreOS::GetOsCallCount(Kind);
            for (int64_t Nth = 1; Nth <= Calls; ++Nth)
            {
                const std::string Where = std::string(bRestore ? "restore" : "shrink") + " kind " +
                                          std::to_string(int32_t(Kind)) + " call " + std::to_string(Nth) + ": ";
                CoreOS::ResetOsFaults();
                ASSERT_TRUE(RestoreLooseFiles(Dir.Path(), true).bOk) << Where;
                ASSERT_TRUE(AllOriginal()) << Where;
                if (bRestore)
                {
                    ASSERT_TRUE(ShrinkLooseFiles(Dir.Path(), Loaded(), FShrinkOptions()).bOk) << Where;
                }
                CoreOS::ArmOsFault(Kind, Nth);
                const FLooseOutcome Hit = bRestore ? RestoreLooseFiles(Dir.Path(), false)
                                                   : ShrinkLooseFiles(Dir.Path(), Loaded(), FShrinkOptions());
                CoreOS::ResetOsFaults();
                ++Faults;
                ExpectNothingLost(Where.c_str(), true);
                // The next run finishes: every file shrunk (or every one original).
                const FLooseOutcome Next = bRestore ? RestoreLooseFiles(Dir.Path(), false)
                                                    : ShrinkLooseFiles(Dir.Path(), Loaded(), FShrinkOptions());
                EXPECT_TRUE(Next.bOk) << Where << Next.Reason.ToUtf8();
                ExpectFinished(bRestore, Where);
                (void)Hit;
            }
        }
    EXPECT_GT(Faults, 20);
}

#ifndef _WIN32
// A shrink and a restore killed before each of their file operations in turn (in a child process, which ends there
// as a kill would end it): nothing is lost, every journaled file stands in a state the journal names, and the next
// run ends the work.
TEST_F(FLooseFilesTest, AKillBetweenAnyTwoStepsIsFinishedByTheNextRun)
{
    int32_t Kills = 0;
    for (const bool bRestore : {false, true})
        for (const CoreOS::EOsFaultKind Kind : {CoreOS::OSFAULT_Write, CoreOS::OSFAULT_Flush, CoreOS::OSFAULT_Move,
                                                CoreOS::OSFAULT_Delete})
        {
            ASSERT_TRUE(RestoreLooseFiles(Dir.Path(), true).bOk);
            if (bRestore)
            {
                ASSERT_TRUE(ShrinkLooseFiles(Dir.Path(), Loaded(), FShrinkOptions()).bOk);
            }
            CoreOS::ResetOsFaults();
            ASSERT_TRUE(bRestore ? RestoreLooseFiles(Dir.Path(), false).bOk
                                 : ShrinkLooseFiles(Dir.Path(), Loaded(), FShrinkOptions()).bOk);
            const int64_t Calls = CoreOS::GetOsCallCount(Kind);
            for (int64_t Nth = 1; Nth <= Calls; ++Nth)
            {
                const std::string Where = std::string(bRestore ? "restore" : "shrink") + " killed before call " +
                                          std::to_string(Nth) + " of kind " + std::to_string(int32_t(Kind)) + ": ";
                CoreOS::ResetOsFaults();
                ASSERT_TRUE(RestoreLooseFiles(Dir.Path(), true).bOk) << Where;
                if (bRestore)
                {
                    ASSERT_TRUE(ShrinkLooseFiles(Dir.Path(), Loaded(), FShrinkOptions()).bOk) << Where;
                }
                const TDynArray<FLooseDictionary> Files = Loaded();
                const pid_t Child = fork();
                ASSERT_GE(Child, 0);
                if (Child == 0)
                {
                    CoreOS::ResetOsFaults();
                    CoreOS::ArmOsFault(Kind, Nth, CoreOS::OSFAULTMODE_Exit);
                    const bool bOk = bRestore ? RestoreLooseFiles(Dir.Path(), false).bOk
                                              : ShrinkLooseFiles(Dir.Path(), Files, FShrinkOptions()).bOk;
                    _exit(bOk ? 0 : 1);
                }
                int Status = 0;
                ASSERT_EQ(waitpid(Child, &Status, 0), Child);
                ASSERT_TRUE(WIFEXITED(Status)) << Where;
                Kills += WEXITSTATUS(Status) == 86;
                ExpectNothingLost(Where.c_str(), true);
                FLooseJournal Journal;
                FString Why;
                ReadLooseJournal(Dir.Path(), Journal, Why);
                EXPECT_TRUE(Why.IsEmpty()) << Where << Why.ToUtf8();
                for (const FLooseEntry& Entry : Journal.Entries)
                    EXPECT_NE(GetLooseState(Dir.Path(), Entry), ELooseState::Lost) << Where;
                const FLooseOutcome Next = bRestore ? RestoreLooseFiles(Dir.Path(), false)
                                                    : ShrinkLooseFiles(Dir.Path(), Loaded(), FShrinkOptions());
                EXPECT_TRUE(Next.bOk) << Where << Next.Reason.ToUtf8();
                ExpectFinished(bRestore, Where);
            }
        }
    EXPECT_GT(Kills, 20);
}
#endif
