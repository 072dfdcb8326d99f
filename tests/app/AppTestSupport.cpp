#include "tests/app/AppTestSupport.h"

#include <chrono>
#include <thread>

#include "Core/Inc/CorePath.h"
#include "Core/Inc/CoreUtil.h"
#include "engine/FShrinkEngineServer.h"
#include "tests/support/ImgBuilder.h"

const char16_t* const StandardText = u"Found standard GTA:SA files.\r\n";
const char16_t* const ShrunkText = u"Found shrunked GTA:SA files.\r\n";
const char16_t* const CannotFindText = u"Cannot find GTA:SA files.\r\n";

void SleepBriefly()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void ForgetDialogLog()
{
    CoreOS::FileDelete(*appPathJoin(FString(appBaseDir()), FString(GDialogLogFileName)));
}

std::string DialogLogText()
{
    return TestFileText(appPathJoin(FString(appBaseDir()), FString(GDialogLogFileName)));
}

std::atomic<uint32_t> FManualClock::Now{0};

FManualClock::FManualClock()
{
    // Starting where the system's tick is keeps the Core clock from jumping when the tick is handed back.
    Now = CoreOS::GetTickMs();
    CoreOS::SetTickSource(&FManualClock::Read);
}

FManualClock::~FManualClock()
{
    CoreOS::SetTickSource(nullptr);
}

namespace
{
bool NoRegistryValue(CoreOS::ERegistryRoot, CoreOS::ERegistryView, const char16_t*, const char16_t*, void*, uint32_t*)
{
    return false;
}
} // namespace

void FDialogTest::SetUp()
{
    // Every dialog remembers its choices beside the program when it closes; no test sees another's.
    ForgetPlayerChoices();
    ForgetDialogLog();
    CoreOS::SetRegistryReadHook(&NoRegistryValue);
    UiHeadless::ClearMessageBoxes();
    GameDir = Temp.Path().Left(Temp.Path().Len() - 1);
    ASSERT_TRUE(CoreOS::DirMake(*(Temp.Path() + u"Models")));
    Original = PlainArchive(6);
    ASSERT_TRUE(WriteTestFile(GameFile(u""), Original));
}

void FDialogTest::TearDown()
{
    Dlg.reset();
    UiHeadless::FailDialogCreation(0);
    UiHeadless::ClearMessageBoxes();
    UiHeadless::AnswerMessageBoxes(0);
    UiHeadless::ScriptFolderPicker(FString());
    UiHeadless::FailOpenDocuments(0);
    CoreOS::SetRegistryReadHook(nullptr);
    ForgetPlayerChoices();
    ForgetDialogLog();
}

void FDialogTest::OpenDialog(const FString& Dir, bool bAutoShrink, bool bAutoUnshrink)
{
    OpenDialog(FGameDirSearch(), bAutoShrink, bAutoUnshrink, &Dir);
}

void FDialogTest::OpenDialog(const FGameDirSearch& Search, bool bAutoShrink, bool bAutoUnshrink, const FString* Dir)
{
    // One engine client at a time: the old dialog goes first.
    Dlg.reset();
    Dlg.reset(new CPellmorWinDlg(Search, LoadPlayerChoices()));
    if (Dir)
        Dlg->m_strDir = *Dir;
    Dlg->bAutoShrink = bAutoShrink;
    Dlg->bAutoUnshrink = bAutoUnshrink;
    ASSERT_TRUE(Dlg->Create(CPellmorWinDlg::IDD));
}

FFakeClient* FDialogTest::UseFakeClient()
{
    FFakeClient* Fake = new FFakeClient;
    delete Dlg->Client;
    Dlg->Client = Fake;
    return Fake;
}

void FDialogTest::Tick()
{
    Clock.Advance(1000);
    if (!IsEnded())
    {
        EXPECT_TRUE(UiHeadless::FireTimer(*Dlg, CPellmorWinDlg::TimerId));
    }
    UiHeadless::PumpMessages();
}

void FDialogTest::WaitForEngine()
{
    FShrinkEngineServerBase* Server = static_cast<FShrinkEngineClient*>(Dlg->Client)->Server;
    for (int32_t i = 0; i < 10000 && Server->IsBusy(); ++i)
        SleepBriefly();
}

std::string FDialogTest::FileState()
{
    const FString Dir = Temp.Path();
    const bool bCanShrink = CheckCanShrink(Dir).IsEmpty();
    const bool bCanRestore = CanUnshrink(Dir);
    if (TestFileExists(GameFile(u"_TEMP")))
        return "a temporary archive is left";
    if (bCanShrink == bCanRestore)
        return bCanShrink ? "both tests pass" : "neither test passes";
    return bCanShrink ? "shrink" : "restore";
}
