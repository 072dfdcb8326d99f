// The pellmor command's tables: every option and every command with what it takes and says, and the help made of
// them. The command line is read against them (PellmorCommandLine.cpp); the help, the manual page and the shell
// completion are written from them, so that nothing that describes the command line is written twice.
#pragma once

#include <cstdint>

#include "cli/PellmorCommand.h"
#include "cli/PellmorInternals.h"

namespace PellmorTables
{
enum EOption : uint32_t
{
    OPTION_Json = 1,
    OPTION_SkipRules = 2,
    OPTION_WinePrefix = 4,
    OPTION_Report = 8,
    OPTION_Archive = 16,
    OPTION_All = 32,
    OPTION_Jobs = 64,
    OPTION_Progress = 128,
    OPTION_MaxSide = 256,
    OPTION_Smooth = 512,
    OPTION_NoSmooth = 1024,
    OPTION_Compare = 2048,
    OPTION_DiscardChanges = 4096,
    OPTION_Out = 8192,
    OPTION_Count = 16384,
    OPTION_KeepQuality = 32768,
    OPTION_Fit = 65536,
};

// Stores an option's value; false when it is none the option takes. What is what the option takes, for the usage
// error ("--jobs takes a number from 1 to 16, not x"): as the option's kind of value says it ("a file name")
// unless the option narrows it. A missing value is passed as the empty text, only to learn What.
typedef bool (*FTakeValue)(FPellmorOptions& Options, const FString& Value, FString& What);

struct FOptionSpec
{
    EOption Option;
    const char16_t* Synopsis;
    const char16_t* Help;
    EPellmorValue Value;            // what its value is: how a missing one is asked for, and shell completion
    FTakeValue Take;                // stores the value; null for an option without one
    FString (*Choices)() = nullptr; // the values offered for it (Tab), when there is a short list of usual ones
};

// The options that choose what a shrink makes.
constexpr uint32_t SettingsOptions = OPTION_MaxSide | OPTION_KeepQuality | OPTION_Fit | OPTION_Smooth | OPTION_NoSmooth;

// The command line apart from what a command takes in FPellmorOptions.
struct FCommandLine
{
    TDynArray<int32_t> Positional; // indices into the arguments: the command, then its operands
    uint32_t Given = 0;            // EOption bits
    bool bHelp = false;
    bool bVersion = false;
    bool bVerbose = false;
};

// An option every command takes: it sets a flag of the command line.
struct FGeneralOption
{
    const char16_t* Name;
    const char16_t* ShortName;
    const char16_t* Help;
    bool FCommandLine::*Flag;
};

typedef int32_t (*FRunCommand)(const FPellmorOptions& Options, FPellmorConsole& Console);

// A failure that a command ends with by itself, beyond those of every command (a wrong option, no game folder),
// and when, in words that follow "Exits with N when": the command's help names its exit code from the table of
// exit codes, so that the two never disagree.
struct FCommandExit
{
    EPellmorError Error;
    const char16_t* When; // "there are no game files"; null after the last
};

// What the first operand names.
enum class EOperand : int32_t
{
    GameDir, // the game folder, or where to look for one
    Archive,      // an archive, or a game folder for its Models\gta3.img
    ArchiveOrTxd, // the same, or a loose texture dictionary (a .txd file of its own)
};

struct FCommandSpec
{
    const char16_t* Name;
    const char16_t* Alias; // another name, or null
    EOperand First;
    const char16_t* Operands[2];
    const char16_t* OperandHelp[2]; // what a missing operand is, for the message that asks for it
    int32_t MinOperands;
    uint32_t Options;
    const char16_t* Summary;
    const char16_t* Help;
    FRunCommand Run;
    FCommandExit Exits[4] = {};
    // It says which skip rules a shrink would take although it takes no --skip-rules (status): the file is chosen
    // here, and read by the command.
    bool bTellsSkipRules = false;
};

enum : int32_t
{
    NumOptionSpecs = 17,
    NumGeneralOptions = 3,
    NumCommandSpecs = 7,
};
extern const FOptionSpec Options[NumOptionSpecs];
extern const FGeneralOption GeneralOptions[NumGeneralOptions];
// Every command but help, which is the command line's own.
extern const FCommandSpec Commands[NumCommandSpecs];
// What pellmor does, in a sentence; what GAME_DIR is; what help is.
extern const char16_t* const Purpose;
extern const char16_t* const GameDirHelp;
extern const char16_t* const HelpCommandSummary;

// The command a name (in any case) or an alias names; null for none.
const FCommandSpec* FindCommand(const FString& Name);
// "--jobs" of "--jobs N".
FString OptionName(const FOptionSpec& Option);
int32_t MaxOperands(const FCommandSpec& Spec);
// The commands that take Option: "status, report".
FString CommandsWith(EOption Option);
// The help of all commands, and of one.
FString WholeHelp();
FString CommandHelp(const FCommandSpec& Spec);
} // namespace PellmorTables
