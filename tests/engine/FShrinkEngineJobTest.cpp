#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/FFileManager.h"
#include "engine/FShrinkEngineClient.h"
#include "engine/FShrinkEngineServer.h"
#include "shrinker/FImgShrinker.h"
#include "tests/support/ImgBuilder.h"
#include "tests/support/ShrinkGate.h"
#include "tests/support/TempDir.h"

namespace
{
class FShrinkEngineJobTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CoreOS::DirMake(*(Dir / u"Models")));
        ASSERT_TRUE(WriteTestFile(File(u""), Original));
    }
    FString File(const char16_t* Suffix) const { return Dir.Path() + u"Models\\gta3" + Suffix + u".img"; }
    static FString WaitResult(FShrinkEngineServerBase* Server, int32_t Id)
    {
        FString Result;
        for (int32_t i = 0; i < 20000 && !Server->GetJobResult(Id, Result); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return Result;
    }
    // Runs Update until the client has nothing in flight.
    void Settle(FShrinkEngineClient* Client, const FString& Game)
    {
        for (int32_t i = 0; i < 20000; ++i)
        {
            if (Gate.bWantCancel.exchange(false))
                Client->bCancelShrink = 1;
            Client->Update(Game);
            if (!Client->bShrinking && !Client->bUnshrinking && Client->ShrinkRequest.JobId == 0 &&
                Client->UnshrinkRequest.JobId == 0 && !Client->CanShrinkText.IsEmpty() &&
                !Client->CanUnshrinkText.IsEmpty())
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // Whether the original archive is in place, untouched, and nothing else is left.
    void ExpectOriginalOnly()
    {
        EXPECT_EQ(TestFileText(File(u"")), Original);
        EXPECT_FALSE(TestFileExists(File(u"_TEMP")));
        EXPECT_FALSE(TestFileExists(File(u"_ORIG_BAK")));
    }

    FFakeFreeSpace Space;
    FTempDir Dir;
    FShrinkGate Gate{false};
    std::string Original = PlainArchive(60);
};
} // namespace

TEST_F(FShrinkEngineJobTest, JobsRunInOrderWithCaseInsensitiveNames)
{
    FShrinkEngineServerBase* Server = CreateEngineServer();
    const FString Game = Dir.Path();
    const int32_t A = Server->QueueJob(FString(u"cANsHRINK,") + Game);
    const int32_t B = Server->QueueJob(FString(u"CanUnshrink,") + Game);
    const int32_t C = Server->QueueJob(FString(u"Frobnicate,") + Game);
    EXPECT_TRUE(A == 1 && B == 2 && C == 3) << A << B << C;
    EXPECT_EQ(WaitResult(Server, C), u"");
    FString Result;
    EXPECT_TRUE(Server->GetJobResult(B, Result) && Result == u"false");
    // A result stays, and can be asked for again, until the worker has carried out its deletion.
    EXPECT_TRUE(Server->GetJobResult(A, Result) && Result == u"true");
    EXPECT_TRUE(Server->GetJobResult(A, Result));
    Server->DeleteJob(A);
    Server->DeleteJob(12345); // unknown ids are harmless
    for (int32_t i = 0; i < 5000 && Server->GetJobResult(A, Result); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(Server->GetJobResult(A, Result));
    EXPECT_EQ(Server->QueueJob(FString(u"CanShrink")), 4); // ids are never reused
    Server->Shutdown();
}

TEST_F(FShrinkEngineJobTest, BareCommandUsesTheCurrentDirectoryAndCommasStayInTheDirectory)
{
    FFileManager* Files = GGlobalVars()->GetFileManager();
    const FString Was = Files->GetDefaultDirectory();
    ASSERT_TRUE(Files->SetDefaultDirectory(*Dir.Path()));
    EXPECT_EQ(FShrinkEngineServer::RunCommand(FString(u"CanShrink")), u"true");
    Files->SetDefaultDirectory(*Was);

    FTempDir Other;
    // Nothing in a folder's name is read as a shrink's settings.
    const FString Game = Other.Path() + u"GTA,standard/";
    ASSERT_TRUE(CoreOS::DirMake(*Game.Left(Game.Len() - 1)));
    ASSERT_TRUE(CoreOS::DirMake(*(Game + u"Models")));
    ASSERT_TRUE(WriteTestFile(Game + u"Models/gta3.img", Original));
    EXPECT_EQ(FShrinkEngineServer::RunCommand(FString(u"CanShrink,") + Game), u"true");
}

TEST_F(FShrinkEngineJobTest, DeleteCancelsAPendingJobAndWaitsForARunningOne)
{
    FShrinkEngineServerBase* Server = CreateEngineServer();
    Gate.Close();
    const int32_t Running = Server->QueueJob(FString(u"PerformShrink,") + Dir.Path());
    const int32_t Pending = Server->QueueJob(FString(u"PerformUnshrink,") + Dir.Path());
    ASSERT_TRUE(Gate.WaitArrived());
    EXPECT_TRUE(Server->IsBusy());
    FString Result;
    EXPECT_FALSE(Server->GetJobResult(Running, Result));
    Server->DeleteJob(Pending);
    Server->DeleteJob(Running);
    Gate.Open();
    for (int32_t i = 0; i < 20000 && Server->IsBusy(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(Server->GetJobResult(Running, Result));
    EXPECT_FALSE(Server->GetJobResult(Pending, Result));
    // The shrink ran to its end; the restore never started.
    EXPECT_TRUE(TestFileExists(File(u"_ORIG_BAK")));
    Server->Shutdown();
}

TEST_F(FShrinkEngineJobTest, ShutdownWaitsForARunningJob)
{
    // (An idle server's shutdown ends the first test.)
    FShrinkEngineServerBase* Server = CreateEngineServer();
    Gate.Close();
    Server->QueueJob(FString(u"PerformShrink,") + Dir.Path());
    ASSERT_TRUE(Gate.WaitArrived());
    std::thread Opener([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        Gate.Open();
    });
    Server->Shutdown(); // more than one wait; returns only once the shrink is done
    Opener.join();
    EXPECT_TRUE(TestFileExists(File(u"_ORIG_BAK")));
    EXPECT_FALSE(TestFileExists(File(u"_TEMP")));
}

// What the client publishes of a whole shrink; the dialog's tests follow its answers through a shrink and a restore.
TEST_F(FShrinkEngineJobTest, ClientRunsOneTransactionAtATimeAndPointsTheGlobalsAtItself)
{
    FShrinkEngineClient* Client = static_cast<FShrinkEngineClient*>(CreateEngineClient());
    EXPECT_TRUE(GShrinkCancelFlag == &Client->CancelFlag && GShrinkProgress == &Client->Progress);
    const FString Game = Dir.Path();
    EXPECT_EQ(Client->GetShrinkProgressText(), u"none");

    Gate.Close();
    ASSERT_TRUE(Client->PerformShrink(Game));
    EXPECT_FALSE(Client->PerformUnshrink(Game) || Client->PerformShrink(Game));
    ASSERT_TRUE(Gate.WaitArrived());
    // The running shrink holds the folder: a transaction of its own (as from another program) is refused.
    EXPECT_EQ(RestoreArchive(GetGameArchiveFiles(Game)).Failure, ETransactionFailure::Busy);
    EXPECT_FALSE(TestFileExists(File(u"_ORIG_BAK")));
    Client->Update(Game);
    EXPECT_EQ(Client->bShrinking, 1);
    EXPECT_EQ(Client->GetShrinkProgressText(), u"0/100");
    EXPECT_EQ(Client->ShrinkProgressInfo.SecondsLeft, -1.0); // no rate before a byte is done
    Gate.Open();
    Settle(Client, Game);
    EXPECT_EQ(Client->bShrinking, 0);
    EXPECT_TRUE(Client->ShrinkResult.IsEmpty()); // success publishes nothing
    EXPECT_EQ(Client->CanShrinkText, u"false");
    EXPECT_EQ(Client->CanUnshrinkText, u"true");

    delete Client;
    EXPECT_TRUE(GShrinkCancelFlag == nullptr && GShrinkProgress == nullptr);
}

TEST_F(FShrinkEngineJobTest, ClientPublishesCancels)
{
    FShrinkEngineClient* Client = static_cast<FShrinkEngineClient*>(CreateEngineClient());
    const FString Game = Dir.Path();

    // A stray cancel request is cleared by the next Update.
    Client->bCancelShrink = 1;
    Client->Update(Game);
    EXPECT_EQ(Client->bCancelShrink, 0);

    // Cancelled in the middle of the rewrite: the game files stay as they were.
    Gate.CancelAt = "PercentDone: 50";
    Gate.CancelFlag = &Client->CancelFlag;
    ASSERT_TRUE(Client->PerformShrink(Game));
    Settle(Client, Game);
    EXPECT_EQ(Client->ShrinkResult, u"Shrink canceled");
    ExpectOriginalOnly();
    Client->ShrinkResult.Empty();

    // A cancel that comes once the archive is built does not hide that the shrink went through.
    Gate.CancelAt = "Writing ";
    ASSERT_TRUE(Client->PerformShrink(Game));
    EXPECT_EQ(Client->GetShrinkProgressText(), u"0/100"); // afresh, not where the cancelled shrink stopped
    Settle(Client, Game);
    EXPECT_TRUE(Client->ShrinkResult.IsEmpty());
    EXPECT_EQ(Client->CanUnshrinkText, u"true");
    EXPECT_EQ(TestFileText(File(u"_ORIG_BAK")), Original);
    delete Client;
}

TEST_F(FShrinkEngineJobTest, DestroyingTheClientDuringAShrinkCancelsIt)
{
    FShrinkEngineClient* Client = static_cast<FShrinkEngineClient*>(CreateEngineClient());
    const FString Game = Dir.Path();
    Gate.Close();
    ASSERT_TRUE(Client->PerformShrink(Game));
    ASSERT_TRUE(Gate.WaitArrived());
    std::thread Opener([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        Gate.Open();
    });
    delete Client; // cancels, then waits for the worker
    Opener.join();
    ExpectOriginalOnly();
}

// With every archive the game loads, the tests answer for all of them together and for each one, and a shrink
// runs one transaction each: its progress goes over all of their bytes, a cancel ends it before the next archive
// (those done stay done), and the next shrink does the rest.
TEST_F(FShrinkEngineJobTest, AllArchivesAreShrunkOneAfterAnotherUntilACancel)
{
    const std::string Interior = PlainArchive(30);
    ASSERT_TRUE(WriteTestFile(Dir.Path() + u"Models\\gta_int.img", Interior));
    ASSERT_TRUE(WriteTestFile(Dir.Path() + u"Models\\mod.img", PlainArchive(10)));
    ASSERT_TRUE(CoreOS::DirMake(*(Dir / u"data")));
    ASSERT_TRUE(WriteTestFile(Dir.Path() + u"data\\gta.dat", "IMG models\\gta_int.img\nIMG models\\mod.img\n"));
    FShrinkEngineClient* Client = static_cast<FShrinkEngineClient*>(CreateEngineClient());
    const FString Game = Dir.Path();
    FShrinkJobOptions All;
    All.bAllArchives = true;

    Gate.CancelAt = "gta_int";
    Gate.CancelFlag = &Client->CancelFlag;
    ASSERT_TRUE(Client->PerformShrink(Game, All));
    for (int32_t i = 0; i < 20000 && !Gate.bWantCancel; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(Gate.bWantCancel);
    // The second archive's turn has come; the first one's bytes are done.
    Client->Update(Game);
    const int64_t Total = int64_t(Original.size() + Interior.size() + PlainArchive(10).size());
    EXPECT_EQ(Client->ShrinkProgressInfo.Archive, u"gta_int.img");
    EXPECT_EQ(Client->ShrinkProgressInfo.ArchiveIndex, 2);
    EXPECT_EQ(Client->ShrinkProgressInfo.ArchiveCount, 3);
    EXPECT_EQ(Client->ShrinkProgressInfo.BytesDone, int64_t(Original.size()));
    EXPECT_EQ(Client->ShrinkProgressInfo.BytesTotal, Total);
    EXPECT_EQ(Client->ShrinkProgress, int32_t(Original.size() * 100 / Total));
    Settle(Client, Game);
    EXPECT_EQ(Client->ShrinkResult, u"Shrink canceled");
    ASSERT_EQ(Client->ShrinkArchives.Num(), 3);
    EXPECT_TRUE(Client->ShrinkArchives[0].bRan && Client->ShrinkArchives[0].Transaction.Verdict.IsDone());
    EXPECT_EQ(Client->ShrinkArchives[1].Transaction.Verdict.Kind, EVerdict::Cancelled);
    EXPECT_FALSE(Client->ShrinkArchives[2].bRan);
    EXPECT_EQ(TestFileText(Dir.Path() + u"Models\\gta_int.img"), Interior);
    // Both tests pass: one archive is shrunk, two are not; each answer says which.
    EXPECT_EQ(Client->CanShrinkText, u"true");
    EXPECT_EQ(Client->CanUnshrinkText, u"true");
    ASSERT_EQ(Client->Archives.Num(), 3);
    EXPECT_EQ(Client->Archives[0].Status.State, EArchiveState::Shrunk);
    EXPECT_EQ(Client->Archives[1].Name, u"gta_int.img");
    EXPECT_EQ(Client->Archives[1].Status.State, EArchiveState::Original);

    Gate.CancelAt.clear();
    Client->ShrinkResult.Empty();
    ASSERT_TRUE(Client->PerformShrink(Game, All));
    Settle(Client, Game);
    EXPECT_TRUE(Client->ShrinkResult.IsEmpty());
    EXPECT_FALSE(Client->ShrinkArchives[0].bRan);
    EXPECT_TRUE(Client->ShrinkArchives[2].bRan);
    EXPECT_EQ(Client->CanShrinkText, u"false");
    ASSERT_TRUE(Client->PerformUnshrink(Game, All));
    Settle(Client, Game);
    EXPECT_EQ(Client->CanUnshrinkText, u"false");
    ExpectOriginalOnly();
    EXPECT_EQ(TestFileText(Dir.Path() + u"Models\\gta_int.img"), Interior);
    delete Client;
}
