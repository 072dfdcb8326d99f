// Shared by the dialog tests: the Core clock driven by hand, a small game directory, a client that does
// what the test says, and a gate that holds the engine's worker inside a shrink.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "Core/Inc/CoreOS.h"
#include "app/PellmorWinAdvice.h"
#include "app/PellmorWinDlg.h"
#include "app/ProgressDlg.h"
#include "app/ui/UiHeadless.h"
#include "engine/FShrinkEngineClient.h"
#include "tests/support/ShrinkGate.h"
#include "tests/support/SampleGameSupport.h"
#include "tests/support/TempDir.h"

// A couple of milliseconds of real time, for the engine's worker thread.
void SleepBriefly();

// Deletes the dialog's log beside the program, where every dialog of the tests writes it: each test reads only
// its own runs.
void ForgetDialogLog();
// The log's text as the dialog wrote it (UTF-8).
std::string DialogLogText();

// The Core clock reads this while a test runs; the test moves it on.
class FManualClock
{
public:
    FManualClock();
    ~FManualClock();
    void Advance(uint32_t Ms) { Now += Ms; }

private:
    static uint32_t Read() { return Now.load(); }
    static std::atomic<uint32_t> Now;
};

// A client whose status fields the test sets; it keeps the folder the dialog last asked about.
class FFakeClient : public FShrinkEngineClientBase
{
public:
    bool Update(const FString& Dir) override
    {
        LastDir = Dir;
        return true;
    }
    bool Update(const FString& Dir, const FShrinkJobOptions&) override { return Update(Dir); }
    // The state tests never start a transaction or a preview; the fake refuses them.
    bool PerformShrink(const FString&, const FShrinkJobOptions&) override { return false; }
    bool PerformUnshrink(const FString&, const FShrinkJobOptions&) override { return false; }
    bool MakePreview(const FString&, const FShrinkJobOptions&) override { return false; }
    bool CleanKept(const FString&, const FShrinkJobOptions&) override { return false; }
    // The answers as the engine's tests give them: "true", "false", "busy", or empty while unknown.
    void Answer(const char16_t* CanShrink, const char16_t* CanUnshrink)
    {
        CanShrinkText = CanShrink;
        CanUnshrinkText = CanUnshrink;
        CanShrinkAnswer = AnswerOf(CanShrinkText);
        CanUnshrinkAnswer = AnswerOf(CanUnshrinkText);
    }
    static ETestAnswer AnswerOf(const FString& Text)
    {
        return Text.IsEmpty()                 ? ETestAnswer::Unknown
               : Text.EqualsNoCase(u"true") ? ETestAnswer::Passes
               : Text.EqualsNoCase(u"busy") ? ETestAnswer::Busy
                                            : ETestAnswer::Fails;
    }

    FString LastDir;
};

// A main dialog over a temporary game directory (Models\gta3.img of a few entries), with plenty of free disk
// space reported, no registry value, no remembered choices (before and after), and the clock in the test's hands.
class FDialogTest : public testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the dialog's window; Dir is the game directory (default: the temporary game), or the search finds it.
    void OpenDialog() { OpenDialog(GameDir, false, false); }
    void OpenDialog(const FString& Dir, bool bAutoShrink, bool bAutoUnshrink);
    void OpenDialog(const FGameDirSearch& Search, bool bAutoShrink = false, bool bAutoUnshrink = false,
                    const FString* Dir = nullptr);
    // Replaces the real engine client by a fake one.
    FFakeClient* UseFakeClient();

    // One timer tick, a second later than the last one, then the posted messages.
    void Tick();
    // Ticks (letting the engine's worker run between them) until Done holds; false after 20 s.
    template <typename TCondition> bool TickUntil(TCondition Done);
    // Waits until the real engine has run every job it was given.
    void WaitForEngine();

    FString Status() { return UiHeadless::ControlText(*Dlg, IDC_STATUS); }
    // A failure's text as its message box shows it: with where the log is under it.
    FString WithLogPlace(const FString& Text) { return Text + u"\r\n\r\n" + DescribeLogPlace(Dlg->Log.GetPath()); }
    bool StatusStartsWith(const char16_t* Text) { return Status().StartsWith(Text); }
    bool Enabled(int32_t Id) { return UiHeadless::IsControlEnabled(*Dlg, Id); }
    bool IsEnded() { return UiHeadless::IsEnded(*Dlg); }
    // "shrink" or "restore" when exactly one test passes on the files, else a description of the mess.
    std::string FileState();
    FString GameFile(const char16_t* Suffix) const { return Temp.Path() + u"Models\\gta3" + Suffix + u".img"; }

    FFakeFreeSpace Space;
    FTempDir Temp;
    FString GameDir; // without its trailing separator, as a user would type it
    std::string Original;
    FManualClock Clock;
    std::unique_ptr<CPellmorWinDlg> Dlg;
};

template <typename TCondition> bool FDialogTest::TickUntil(TCondition Done)
{
    for (int32_t i = 0; i < 10000; ++i)
    {
        Tick();
        if (Done())
            return true;
        SleepBriefly();
    }
    return false;
}

extern const char16_t* const StandardText;
extern const char16_t* const ShrunkText;
extern const char16_t* const CannotFindText;
