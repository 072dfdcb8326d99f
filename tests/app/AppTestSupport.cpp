#include "tests/app/AppTestSupport.h"

#include <chrono>
#include <thread>

#include "engine/FShrinkEngineServer.h"

const char16_t* const StandardText = u"Found standard GTA:SA files.\r\n";
const char16_t* const ShrunkText = u"Found shrunked GTA:SA files.\r\n";
const char16_t* const CannotFindText = u"Cannot find GTA:SA files.\r\n";

void SleepBriefly()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
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

FShrinkGate* FShrinkGate::Current = nullptr;

FShrinkGate::FShrinkGate()
{
    Current = this;
    bTraceWas = appTraceEnabled();
    appSetTraceEnabled(true);
    CoreOS::SetDebugOutputHook(&FShrinkGate::Hook);
}

FShrinkGate::~FShrinkGate()
{
    Open();
    CoreOS::SetDebugOutputHook(nullptr);
    appSetTraceEnabled(bTraceWas);
    Current = nullptr;
}

void FShrinkGate::Hook(const char16_t* Text)
{
    FShrinkGate* Gate = Current;
    if (!Gate || !appStrstr(Text, u"  Reading "))
        return;
    std::unique_lock<std::mutex> Guard(Gate->Lock);
    Gate->bArrived = true;
    Gate->Signal.notify_all();
    Gate->Signal.wait(Guard, [Gate] { return Gate->bOpen; });
}

bool FShrinkGate::WaitArrived()
{
    std::unique_lock<std::mutex> Guard(Lock);
    return Signal.wait_for(Guard, std::chrono::seconds(20), [this] { return bArrived; });
}

void FShrinkGate::Open()
{
    std::lock_guard<std::mutex> Guard(Lock);
    bOpen = true;
    Signal.notify_all();
}

namespace
{
int64_t PlentyOfSpace(const char16_t*)
{
    return int64_t(10) << 30;
}

bool NoRegistryValue(const char16_t*, const char16_t*, void*, uint32_t*)
{
    return false;
}

void Put32(std::string& Out, uint32_t Value)
{
    for (int i = 0; i < 4; ++i)
        Out += char((Value >> (8 * i)) & 0xFF);
}

// A version-2 archive of a few one-block entries that the shrinker copies as they are.
std::string SmallArchive()
{
    const uint32_t Count = 6;
    std::string Bytes = "VER2";
    Put32(Bytes, Count);
    for (uint32_t i = 0; i < Count; ++i)
    {
        Put32(Bytes, 1 + i);
        Put32(Bytes, 1);
        std::string Name = "part" + std::to_string(i) + ".col";
        Name.resize(24, '\0');
        Bytes += Name;
    }
    Bytes.resize(2048, '\0');
    for (uint32_t i = 0; i < Count; ++i)
        Bytes += std::string(2048, char('a' + i));
    return Bytes;
}
} // namespace

void FDialogTest::SetUp()
{
    CoreOS::SetFreeDiskSpaceHook(&PlentyOfSpace);
    CoreOS::SetRegistryReadHook(&NoRegistryValue);
    UiHeadless::ClearMessageBoxes();
    GameDir = Temp.Path().Left(Temp.Path().Len() - 1);
    ASSERT_TRUE(CoreOS::DirMake(*(Temp.Path() + u"Models")));
    Original = SmallArchive();
    ASSERT_TRUE(WriteTestFile(GameFile(u""), Original));
}

void FDialogTest::TearDown()
{
    Dlg.reset();
    UiHeadless::FailDialogCreation(0);
    UiHeadless::ClearMessageBoxes();
    CoreOS::SetRegistryReadHook(nullptr);
    CoreOS::SetFreeDiskSpaceHook(nullptr);
}

void FDialogTest::OpenDialog(bool bAutoShrink, bool bAutoUnshrink)
{
    OpenDialog(GameDir, bAutoShrink, bAutoUnshrink);
}

void FDialogTest::OpenDialog(const FString& Dir, bool bAutoShrink, bool bAutoUnshrink)
{
    Dlg.reset(new CPellmorWinDlg);
    Dlg->m_strDir = Dir;
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

FString FDialogTest::Status()
{
    return UiHeadless::ControlText(*Dlg, IDC_STATUS);
}

bool FDialogTest::StatusStartsWith(const char16_t* Text)
{
    return Status().StartsWith(Text);
}

bool FDialogTest::Enabled(int32_t Id)
{
    return UiHeadless::IsControlEnabled(*Dlg, Id);
}

bool FDialogTest::IsEnded()
{
    return UiHeadless::IsEnded(*Dlg);
}

FString FDialogTest::GameFile(const char16_t* Suffix) const
{
    return Temp.Path() + u"Models\\gta3" + Suffix + u".img";
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
