#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"

namespace
{
void DebugToStderr(const char16_t* Text)
{
    std::string Line = FString(Text).ToUtf8();
    for (char& C : Line)
        if (C == '\r' || C == '\n')
            C = ' ';
    std::fputs(Line.c_str(), stderr);
}

std::atomic<uint32_t> GFakeTick{0};
uint32_t FakeTick()
{
    return GFakeTick.load();
}
} // namespace

// Start-up and shut-down happen once per process, so they run in a child.
TEST(CoreInitDeathTest, StartAndShutDownWriteTheirLinesInOrder)
{
    EXPECT_EXIT(
        {
            CoreOS::SetDebugOutputHook(&DebugToStderr);
            GShutdownCore(); // before start-up: only its first line
            GEnsureCoreInited();
            GEnsureCoreInited();
            GShutdownCore();
            GShutdownCore();
            std::fflush(stderr);
            CoreOS::ExitProcess(GCoreState == -1 && !GTimerPeriodSet ? 0 : 2);
        },
        testing::ExitedWithCode(0),
        "GShutdownCore  GEnsureCoreInited  Pre Init Core  Post Init Core  GEnsureCoreInited  GShutdownCore  "
        "Pre PreExit  Post PreExit  Pre Exit  Post Exit  GShutdownCore  ");
}

TEST(CoreInitTest, ClockCountsIntervalsOnceEachAndSkipsAWrap)
{
    CoreOS::SetTickSource(&FakeTick);
    GFakeTick = 0xFFFFFF00u;
    double Start = appSeconds();
    GFakeTick = 0xFFFFFF00u + 250;
    EXPECT_NEAR(appSeconds() - Start, 0.25, 1e-9);
    GFakeTick = 10; // wrapped: this interval adds nothing
    EXPECT_NEAR(appSeconds() - Start, 0.25, 1e-9);
    GFakeTick = 1010;
    EXPECT_NEAR(appSeconds() - Start, 1.25, 1e-9);

    // Two threads reading the clock: every millisecond is counted exactly once, whichever thread saw it.
    Start = appSeconds();
    std::atomic<bool> bGo{false};
    auto Worker = [&] {
        while (!bGo)
        {
        }
        for (int i = 0; i < 2000; ++i)
        {
            GFakeTick.fetch_add(1);
            appSeconds();
        }
    };
    std::thread A(Worker), B(Worker);
    bGo = true;
    A.join();
    B.join();
    EXPECT_NEAR(appSeconds() - Start, 4.0, 1e-6);
    CoreOS::SetTickSource(nullptr);
}

TEST(CoreInitTest, ModulePathsSplitIntoDirectoryAndNameAndLongDirectoriesAreRefused)
{
    const std::u16string Deep = u"C:\\" + std::u16string(251, u'd') + u"\\";
    struct FCase
    {
        std::u16string Path, Dir, Name;
        bool bFits;
    };
    const FCase Cases[] = {
        {u"C:\\Games\\My.Tool.exe", u"C:\\Games\\", u"My", true},
        {u"/opt/pellmor\\bin/pellmor", u"/opt/pellmor\\bin/", u"pellmor", true},
        {u"tool.exe", u"", u"tool", true},
        {Deep + u"a.exe", Deep, u"a", true},    // 255 units: the most a directory may hold
        {Deep + u"e\\a.exe", u"", u"a", false}, // 257 units: refused, not cut
    };
    for (const FCase& Case : Cases)
    {
        char16_t Dir[MODULE_NAME_SIZE], Name[MODULE_NAME_SIZE];
        EXPECT_EQ(appSplitModulePath(Case.Path.c_str(), Dir, Name), Case.bFits);
        EXPECT_EQ(std::u16string(Dir), Case.Dir);
        EXPECT_EQ(std::u16string(Name), Case.Name);
    }
}
