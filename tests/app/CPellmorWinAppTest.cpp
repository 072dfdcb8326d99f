// The command line of the application, and the whole program's automatic run.
#include <gtest/gtest.h>

#include <initializer_list>

#include "Core/Inc/CoreFormat.h"
#include "app/PellmorWin.h"
#include "app/PellmorWinAdvice.h"
#include "app/PellmorWinDlg.h"
#include "app/ui/UiHeadless.h"
#include "engine/FGameArchives.h"
#include "engine/FShrinkRecord.h"
#include "tests/app/AppTestSupport.h"

namespace
{
void SetArgs(std::initializer_list<const char16_t*> Args)
{
    theApp.m_Args.Empty();
    theApp.m_Args.AddItem(FString(u"PellmorWin.exe"));
    for (const char16_t* Arg : Args)
        theApp.m_Args.AddItem(FString(Arg));
}

class CPellmorWinAppTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ForgetPlayerChoices();
        ForgetDialogLog();
        UiHeadless::ClearMessageBoxes();
    }
    void TearDown() override
    {
        theApp.m_Args.Empty();
        theApp.m_nExitCode = 0;
        UiHeadless::ClearMessageBoxes();
        ForgetPlayerChoices();
        ForgetDialogLog();
    }
};
} // namespace

// The last of /s and /u decides; any other flag is kept, to be refused.
TEST_F(CPellmorWinAppTest, LastOfTheTwoFlagsDecidesAndAnUnknownFlagIsKept)
{
    const struct
    {
        std::initializer_list<const char16_t*> Args;
        int32_t bAutoShrink, bAutoUnshrink;
        const char16_t* Unknown;
    } Cases[] = {
        {{}, 0, 0, u""},
        {{u"/s"}, 1, 0, u""},
        {{u"/S"}, 1, 0, u""},
        {{u"-u"}, 0, 1, u""},
        {{u"/u", u"/s"}, 1, 0, u""},
        {{u"/s", u"/x", u"/y"}, 1, 0, u"/x"},
        {{u"/s", u"D:\\Games"}, 1, 0, u""},
        {{u"s"}, 0, 0, u""},
        {{u"/shrink"}, 0, 0, u"/shrink"},
    };
    for (const auto& Case : Cases)
    {
        SetArgs(Case.Args);
        CMyCommandLineInfo Info;
        theApp.ParseCommandLine(Info);
        SCOPED_TRACE(theApp.m_Args.Num() > 1 ? theApp.m_Args.Last().ToUtf8() : "no arguments");
        EXPECT_EQ(Info.bAutoShrink, Case.bAutoShrink);
        EXPECT_EQ(Info.bAutoUnshrink, Case.bAutoUnshrink);
        EXPECT_EQ(Info.UnknownFlag, Case.Unknown);
        EXPECT_TRUE(theApp.ProcessShellCommand(Info));
    }
}

// The whole program over the headless windows, its modal loop ticking on a clock that runs fast: /s and /u find
// the game as the window does, the remembered folder first, and work on the archives the window last did; the
// exit code tells a script how it went. An unknown flag is refused before anything is looked at.
TEST_F(CPellmorWinAppTest, AutomaticRunUsesTheRememberedChoicesAndEndsWithItsExitCode)
{
    FManualClock Clock;
    static FManualClock* GClock;
    GClock = &Clock;
    UiHeadless::SetIdleHook(
        []
        {
            GClock->Advance(100);
            UiHeadless::FireDueTimers();
            SleepBriefly();
        });
    FFakeFreeSpace Space(int64_t(100) << 20);
    FTempDir Game;
    ASSERT_TRUE(MakeSampleGame(Game.Path(), 20, {{"gta_int", 10}, {"mod", 10}}));
    FPlayerChoices Choices;
    Choices.GameDir = Game.Path();
    Choices.bAllArchives = true;
    Choices.Settings = FShrinkSettings::LargestSide(128);
    SavePlayerChoices(Choices);
    const TDynArray<FString> Archives = ListGameArchives(Game.Path()).Archives;
    ASSERT_EQ(Archives.Num(), 3);
    auto Run = [&](std::initializer_list<const char16_t*> Args)
    {
        SetArgs(Args);
        UiHeadless::ClearMessageBoxes();
        EXPECT_FALSE(theApp.InitInstance());
        return theApp.CWinApp::ExitInstance();
    };
    auto CountShrunk = [&]
    {
        int32_t Count = 0;
        for (const FString& Archive : Archives)
            Count += TestFileExists(GetArchiveFiles(Archive).OrigBak) ? 1 : 0;
        return Count;
    };

    EXPECT_EQ(Run({u"/s"}), CPellmorWinDlg::EXIT_Failed);
    ASSERT_EQ(UiHeadless::ShownMessageBoxes().Num(), 1);
    // Shown once, with what is free and what is needed, and not tried again.
    const FString Text = UiHeadless::ShownMessageBoxes()[0].Text;
    EXPECT_TRUE(Text.StartsWith(u"Not enough disk space to do shrink")) << Text.ToUtf8();
    const FString Figures = FString::Printf(u": %s free, %s needed.", *appFormatMegabytes(int64_t(100) << 20),
                                            *appFormatMegabytes(GShrinkNeedsFreeBytes));
    EXPECT_NE(Text.InStr(*Figures), -1) << Text.ToUtf8();
    EXPECT_EQ(CountShrunk(), 0);

    Space.Set(int64_t(10) << 30);
    EXPECT_EQ(Run({u"/u", u"/s"}), CPellmorWinDlg::EXIT_Done);
    EXPECT_EQ(UiHeadless::ShownMessageBoxes().Num(), 0);
    EXPECT_EQ(CountShrunk(), 3);
    FShrinkRecord Record;
    ASSERT_EQ(ReadShrinkRecord(GetArchiveFiles(Archives[0]), Record), ERecordRead::Read);
    EXPECT_EQ(Record.Settings.ToText(), u"max-side:128");

    // /s with another choice finds the game shrunk otherwise: it changes nothing and says that a restore comes
    // first, since it did not do what it says.
    Choices.Settings = FShrinkSettings::Standard();
    SavePlayerChoices(Choices);
    EXPECT_EQ(Run({u"/s"}), CPellmorWinDlg::EXIT_Failed);
    ASSERT_EQ(UiHeadless::ShownMessageBoxes().Num(), 1);
    EXPECT_TRUE(UiHeadless::ShownMessageBoxes()[0].Text.StartsWith(
        u"gta3.img is shrunk already, with another choice: it was made at most 128 pixels, smooth, and this shrink "
        u"asks for the standard shrink."))
        << UiHeadless::ShownMessageBoxes()[0].Text.ToUtf8();
    ASSERT_EQ(ReadShrinkRecord(GetArchiveFiles(Archives[0]), Record), ERecordRead::Read);
    EXPECT_EQ(Record.Settings.ToText(), u"max-side:128");

    EXPECT_EQ(Run({u"/u", u"/x"}), CPellmorWinDlg::EXIT_BadFlag);
    ASSERT_EQ(UiHeadless::ShownMessageBoxes().Num(), 1);
    EXPECT_EQ(UiHeadless::ShownMessageBoxes()[0].Text, DescribeUnknownFlag(FString(u"/x")));
    EXPECT_NE(UiHeadless::ShownMessageBoxes()[0].Text.InStr(u"\r\n/u\t"), -1);
    EXPECT_EQ(CountShrunk(), 3);
    UiHeadless::SetIdleHook(nullptr);
}
