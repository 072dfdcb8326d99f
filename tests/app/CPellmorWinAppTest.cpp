// The command line and the registry value of the application.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "Core/Inc/CoreOS.h"
#include "app/PellmorWin.h"
#include "app/PellmorWinDlg.h"
#include "app/ui/UiHeadless.h"
#include "tests/app/AppTestSupport.h"

namespace
{
struct FRegistryRead
{
    FString Key;
    FString Value;
    uint32_t AnnouncedBytes = 0;
    const char16_t* Stored = nullptr; // what the system writes into the buffer
    uint32_t StoredBytes = 0;         // and reports as written
    bool bSucceeds = true;
};
FRegistryRead GRead;

bool FakeRegistry(CoreOS::ERegistryRoot, CoreOS::ERegistryView, const char16_t* Key, const char16_t* Value, void* Data,
                  uint32_t* Bytes)
{
    GRead.Key = Key;
    GRead.Value = Value;
    GRead.AnnouncedBytes = *Bytes;
    if (GRead.Stored)
        std::memcpy(Data, GRead.Stored, GRead.StoredBytes);
    if (GRead.bSucceeds)
        *Bytes = GRead.StoredBytes;
    return GRead.bSucceeds;
}

class CPellmorWinAppTest : public testing::Test
{
protected:
    void SetUp() override
    {
        GRead = FRegistryRead();
        CoreOS::SetRegistryReadHook(&FakeRegistry);
    }
    void TearDown() override
    {
        CoreOS::SetRegistryReadHook(nullptr);
        theApp.m_Args.Empty();
    }
};
} // namespace

TEST_F(CPellmorWinAppTest, LastFlagDecidesTheAutomaticMode)
{
    const struct
    {
        std::initializer_list<const char16_t*> Args;
        int32_t bAutoShrink, bAutoUnshrink;
    } Cases[] = {
        {{}, 0, 0},
        {{u"/s"}, 1, 0},
        {{u"/S"}, 1, 0},
        {{u"-u"}, 0, 1},
        {{u"/u", u"/s"}, 1, 0},
        {{u"/s", u"/x"}, 0, 0},
        {{u"/s", u"D:\\Games"}, 1, 0},
        {{u"s"}, 0, 0},
        {{u"/shrink"}, 0, 0},
    };
    for (const auto& Case : Cases)
    {
        theApp.m_Args.Empty();
        theApp.m_Args.AddItem(FString(u"PellmorWin.exe"));
        for (const char16_t* Arg : Case.Args)
            theApp.m_Args.AddItem(FString(Arg));
        CMyCommandLineInfo Info;
        theApp.ParseCommandLine(Info);
        SCOPED_TRACE(theApp.m_Args.Num() > 1 ? theApp.m_Args.Last().ToUtf8() : "no arguments");
        EXPECT_EQ(Info.bAutoShrink, Case.bAutoShrink);
        EXPECT_EQ(Info.bAutoUnshrink, Case.bAutoUnshrink);
        EXPECT_TRUE(theApp.ProcessShellCommand(Info));
    }
}

TEST_F(CPellmorWinAppTest, DialogStartsInTheRegistryDirectoryElseTheDefault)
{
    // A text value with its terminating zero is shown as it is; the engine gets it with a separator.
    GRead.Stored = u"D:\\Games\\GTA San Andreas";
    GRead.StoredBytes = 2 * 25;
    {
        CPellmorWinDlg Dlg;
        EXPECT_EQ(GRead.Key, u"SOFTWARE\\Quorrin: San Andreas");
        EXPECT_EQ(GRead.Value, u"GTA:SA Path");
        EXPECT_EQ(GRead.AnnouncedBytes, 4094u);
        EXPECT_EQ(Dlg.m_strDir, u"D:\\Games\\GTA San Andreas");
        EXPECT_EQ(Dlg.GetGameDir(), u"D:\\Games\\GTA San Andreas\\");
    }
    // A value stored without its zero is cut at the bytes returned.
    GRead.StoredBytes = 2 * 8;
    {
        CPellmorWinDlg Dlg;
        EXPECT_EQ(Dlg.m_strDir, u"D:\\Games");
    }
    GRead.bSucceeds = false;
    GRead.Stored = nullptr;
    CPellmorWinDlg Dlg;
    EXPECT_EQ(Dlg.m_strDir, u"C:\\Program Files\\Rockstar Games\\GTA San andreas\\");
    EXPECT_EQ(Dlg.GetGameDir(), Dlg.m_strDir);
}

TEST_F(CPellmorWinAppTest, AutomaticRunHandsItsExitCodeToTheProcess)
{
    // The whole program over the headless windows: its modal loop ticks on a clock that runs fast.
    FManualClock Clock;
    static FManualClock* GClock;
    GClock = &Clock;
    UiHeadless::SetIdleHook([] {
        GClock->Advance(100);
        UiHeadless::FireDueTimers();
        SleepBriefly();
    });
    FTempDir Empty;
    const FString NoGame = Empty.Path() + u"nowhere";
    GRead.Stored = *NoGame;
    GRead.StoredBytes = uint32_t(2 * (NoGame.Len() + 1));
    theApp.m_Args.Empty();
    theApp.m_Args.AddItem(FString(u"PellmorWin.exe"));
    theApp.m_Args.AddItem(FString(u"/s"));

    EXPECT_FALSE(theApp.InitInstance());
    UiHeadless::SetIdleHook(nullptr);
    EXPECT_EQ(theApp.CWinApp::ExitInstance(), CPellmorWinDlg::EXIT_NoGame);
    theApp.m_nExitCode = 0;
}
