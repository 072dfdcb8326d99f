// What the pellmor command's tests share: a console that records, a small game folder, a JSON checker.
#pragma once

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "Core/Inc/Core.h"
#include "cli/PellmorCommand.h"
#include "cli/PellmorConsole.h"
#include "tests/support/TempDir.h"

// Records what a command writes. Interrupted() says Ctrl-C once bInterruptNow is set while the command watches: a
// request to stop at a chosen moment.
class FTestConsole : public FPellmorConsole
{
public:
    void Out(const FString& Text) override { OutText += Text.ToUtf8(); }
    void Err(const FString& Text) override { ErrText += Text.ToUtf8(); }
    bool IsTerminal() override { return bTerminal; }
    int32_t Width() override { return Columns; }
    void SetVerbose(bool) override {}
    void WatchInterrupt(bool bWatch) override
    {
        Noted = bWatch ? CoreOS::INTERRUPT_None : Noted;
        bWatching = bWatch;
    }
    CoreOS::EInterrupt Interrupted() override
    {
        if (bWatching && bInterruptNow)
            Noted = CoreOS::INTERRUPT_Keyboard;
        return Noted;
    }

    std::string OutText;
    std::string ErrText;
    bool bTerminal = false;
    int32_t Columns = 80;
    bool bWatching = false;
    std::atomic<bool> bInterruptNow{false}; // may be set from the engine's worker thread
    CoreOS::EInterrupt Noted = CoreOS::INTERRUPT_None;
};

// Runs pellmor with the arguments into a fresh console, as if started in WorkingDir (empty: the current directory).
int32_t RunPellmor(const std::vector<FString>& Args, FTestConsole& Console, const FString& WorkingDir = FString());

// Whether Text holds Words.
bool Has(const std::string& Text, const std::string& Words);

// A terminal of Width columns as a line redrawn in place meets it: text goes where the cursor is, '\r' goes back
// to the start of the line, '\n' starts a new one, ESC [ K erases to the end of the line, and a character
// written when the cursor stands past the last column first wraps to a new line (counted in Wraps).
class FTerminalModel
{
public:
    explicit FTerminalModel(int InWidth) : Width(InWidth) {}
    void Write(const std::string& Text);
    // The rows as they show, trailing blanks cut.
    std::vector<std::string> Rows() const;
    int Wraps = 0;

private:
    int Width;
    std::vector<std::string> Screen{std::string()};
    size_t Column = 0;
};

// A checked JSON document, read by an independent strict reader: Parse is true when Text is exactly one valid JSON
// value (RFC 8259, no extensions, UTF-8). Get gives the scalar reached through object keys and array indices given
// one by one ({"files", "gta3.img"}, {"0", "state"}): a string's text, any other value as JSON writes it, or ""
// when there is none.
class FJson
{
public:
    bool Parse(const std::string& Text);
    std::string Get(std::initializer_list<std::string> Path) const;

private:
    std::map<std::string, std::string> Values; // by the keys leading there, each after a '/'
};

// Runs pellmor with --json added; what it printed is parsed into Json (a test failure unless it is one JSON value),
// and standard error may carry warnings only.
int32_t RunPellmorJson(std::vector<FString> Args, FJson& Json);
