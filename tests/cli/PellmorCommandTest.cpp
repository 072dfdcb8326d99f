#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreFormat.h"
#include "Core/Inc/CoreOS.h"
#include "PellmorTestSupport.h"
#include "cli/PellmorInternals.h"
#include "cli/PellmorConsole.h"
#include "shrinker/FImgShrinker.h"
#include "tests/support/ImgBuilder.h"
#include "tests/support/SampleGameSupport.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;

// Each case runs as given (exit code, words in what it writes) and, where it names a code, again with --json:
// the same exit code, one JSON object on standard output with that error.code, nothing on standard error. A code
// has one exit code wherever it comes from.
TEST(PellmorCommandTest, CommandLineMistakesAreExplainedPlainlyAndInJson)
{
    FTempDir Dir;
    const FString Game = Dir.File(u"GTA SA");
    ASSERT_TRUE(MakeSampleGame(Game, 20));
    const FString Img = Game + u"/models/gta3.img";
    ASSERT_TRUE(WriteTestFile(Dir.File(u"not.img"), "VER1...."));
    ASSERT_TRUE(WriteTestFile(Dir.File(u"cut.img"), TestFileText(Img).substr(0, 20000)));
    ASSERT_TRUE(CoreOS::DirMake(*Dir.File(u"game"))); // for "gmae": two letters swapped are one slip
    const struct
    {
        std::vector<FString> Args;
        int32_t Exit;
        std::string Words;
        const char* Code;
    } Cases[] = {
        {{}, PELLMOR_Usage, "pellmor: no command given\nusage: pellmor COMMAND", "usage"}, // and the help
        {{u"--version"}, PELLMOR_Done, "pellmor " PELLMOR_VERSION "\n", nullptr},
        {{u"frobnicate"}, PELLMOR_Usage, "unknown command frobnicate\n", "usage"},
        {{u"--bogus", u"status"}, PELLMOR_Usage, "unknown option --bogus\n", "usage"},
        {{u"shrnk"}, PELLMOR_Usage, "unknown command shrnk; did you mean shrink?", "usage"},
        {{u"status", u"--archve=x"}, PELLMOR_Usage, "unknown option --archve; did you mean --archive?", nullptr},
        {{u"Help", u"STATUS"}, PELLMOR_Done, "usage: pellmor status", nullptr},
        {{u"shrink-img", Img}, PELLMOR_Usage, "shrink-img needs DST", nullptr},
        {{u"status", u"a", u"b"}, PELLMOR_Usage, "extra: b", "usage"},
        {{u"status", Dir.File(u"GTA"), u"SA"}, PELLMOR_Usage, "must be quoted", "usage"},
        {{u"shrink-img", Img, Dir.Path()}, PELLMOR_Usage, "is a folder", nullptr},
        {{u"shrink-img", Img, Dir.File(u"none/out.img")}, PELLMOR_Usage, "there is no folder", nullptr},
        {{u"shrink-img", Img, u"out.img", u"--json"},
         PELLMOR_Usage,
         "--json goes with status, shrink, restore",
         "usage"},
        {{u"shrink-img", Img, u"out.img", u"--all"}, PELLMOR_Usage, "--all goes with", "usage"},
        {{u"status", u"--all", u"--archive", u"x"}, PELLMOR_Usage, "--archive or --all, not both", "usage"},
        {{u"status", Game, u"--archive", u"gone"}, PELLMOR_Usage, "there is no archive gone", "no-archive"},
        {{u"restore", Game, u"--archive=../x.img"}, PELLMOR_Usage, "is not below the game folder", "no-archive"},
        {{u"report", Img, u"--skip-rules"}, PELLMOR_Usage, "--skip-rules needs a file", "usage"},
        // The largest side a player may ask for, and one way of resampling.
        {{u"shrink", Game, u"--max-side", u"15"}, PELLMOR_Usage, "takes a number from 16 to 8192, not 15", "usage"},
        {{u"report", Img, u"--max-side", u"abc"}, PELLMOR_Usage, "from 16 to 8192, not abc", "usage"},
        {{u"report", Img, u"--max-side"}, PELLMOR_Usage, "--max-side needs a number from 16 to 8192", "usage"},
        {{u"shrink", Game, u"--smooth", u"--no-smooth"}, PELLMOR_Usage, "--smooth or --no-smooth, not both", "usage"},
        {{u"report", Img, u"--compare", u"--max-side", u"64"}, PELLMOR_Usage, "leave out --max-side", "usage"},
        {{u"shrink", Game, u"--keep-quality", u"61"}, PELLMOR_Usage, "takes a number from 20 to 60, not 61", "usage"},
        {{u"shrink", Game, u"--keep-quality", u"40", u"--fit", u"50%"},
         PELLMOR_Usage,
         "give one of --max-side, --keep-quality and --fit",
         "usage"},
        {{u"report", Img, u"--fit", u"600"}, PELLMOR_Usage, "takes a size such as 600M, 1.2G or 55%", "usage"},
        {{u"report", Img, u"--fit", u"100%"}, PELLMOR_Usage, "(1% to 99%), not 100%", "usage"},
        {{u"restore", Game, u"--max-side", u"64"}, PELLMOR_Usage, "--max-side goes with shrink, report", nullptr},
        {{u"status", Game, u"--wine-prefix", Dir.Path()}, PELLMOR_Usage, "either GAME_DIR or --wine-prefix", "usage"},
        {{u"report", Img, u"--skip-rules", Dir.File(u"missing.ini")}, PELLMOR_Failed, "missing.ini", "cannot-read"},
        {{u"report", Dir.File(u"missing.img")}, PELLMOR_Failed, "cannot read", "cannot-read"},
        {{u"report", Dir.File(u"not.img")}, PELLMOR_Failed, "no IMG archive", "not-an-archive"},
        {{u"report", Dir.File(u"cut.img")}, PELLMOR_Failed, "is damaged: ", "damaged"},
        {{u"report", Dir.Path()}, PELLMOR_Usage, "a folder without Models", "no-game"},
        {{u"status", Dir.File(u"nowhere")}, PELLMOR_Usage, "nowhere does not exist", "no-game"},
        {{u"status", Dir.Path()}, PELLMOR_Usage, "no game files in", "no-game"},
        {{u"report", u"--wine-prefix", Dir.File(u"nowhere")}, PELLMOR_Usage, "no Wine prefix", "no-game"},
        {{u"shrink", Dir.File(u"nowhere")}, PELLMOR_Usage, "spelled right?", nullptr},
        {{u"shrink", Dir.Path()}, PELLMOR_Usage, "seems to be", nullptr},
        {{u"status", Game + u"/modls"}, PELLMOR_Usage, "does not exist. Did you mean", nullptr},
        {{u"status", Dir.File(u"gmae")},
         PELLMOR_Usage,
         "Did you mean " + appWithSystemSeparators(Dir.File(u"game?")).ToUtf8(),
         nullptr},
        {{u"restore", Game + u"/models/gta3.img/x.img"}, PELLMOR_Usage, "Did you mean", nullptr},
        {{u"shrink", Dir.File(u"GTA SX/models")}, PELLMOR_Usage, "GTA SA", "no-game"}, // a slip of the keys
        {{u"report", Dir.File(u"GTA SA/modles/gta3.img")}, PELLMOR_Failed, "Did you mean", "cannot-read"},
        // What people name for the game folder: the Models folder, the archive; for SRC, the game folder.
        {{u"status", Game + u"/models"}, PELLMOR_Done, "is the Models folder; the game folder is", nullptr},
        {{u"status", Img}, PELLMOR_Done, "is an archive file; the game folder is", nullptr},
        {{u"report", Game}, PELLMOR_Done, "taking the game's archive", nullptr},
    };
    std::map<std::string, int32_t> ExitOfCode;
    for (const auto& Case : Cases)
    {
        const std::string Line = Case.Args.empty() ? "(none)" : Case.Args[0].ToUtf8() + " ...";
        if (Case.Code)
        {
            EXPECT_EQ(ExitOfCode.emplace(Case.Code, Case.Exit).first->second, Case.Exit) << Case.Code;
        }
        FTestConsole Plain;
        EXPECT_EQ(RunPellmor(Case.Args, Plain), Case.Exit) << Line << "\n" << Plain.ErrText;
        EXPECT_TRUE(Has(Plain.ErrText + Plain.OutText, Case.Words)) << Line << "\n" << Plain.ErrText;
        // Each message goes to one stream, and no empty line stands alone.
        std::istringstream ErrLines(Plain.ErrText);
        for (std::string Err; std::getline(ErrLines, Err);)
            EXPECT_FALSE(Err.size() > 20 && Has(Plain.OutText, Err.substr(Err.rfind("pellmor: ", 0) == 0 ? 9 : 0)))
                << Line << ": on both streams: " << Err;
        EXPECT_FALSE(Case.Exit != PELLMOR_Done && (Plain.OutText.rfind("\n", 0) == 0 || Has(Plain.OutText, "\n\n")))
            << Line << "\n"
            << Plain.OutText;
        if (!Case.Code)
            continue;
        std::vector<FString> Args = Case.Args;
        Args.insert(Args.begin(), u"--json");
        FTestConsole Json;
        EXPECT_EQ(RunPellmor(Args, Json), Case.Exit) << Line;
        FJson Object;
        ASSERT_TRUE(Object.Parse(Json.OutText)) << Line << "\n" << Json.OutText;
        EXPECT_EQ(Object.Get({"error", "code"}), Case.Code) << Line;
        EXPECT_FALSE(Object.Get({"error", "message"}).empty());
        EXPECT_EQ(Json.ErrText, "") << Line;
    }
}

TEST(PellmorCommandTest, HelpFitsEightyColumnsForEveryCommand)
{
    std::vector<FString> Topics = {FString()};
    for (const FString& Name : GetPellmorCommands())
        Topics.push_back(Name);
    for (const FString& Topic : Topics)
    {
        const std::string Text = GetPellmorHelp(Topic).ToUtf8();
        EXPECT_EQ(Text.rfind("usage: pellmor ", 0), 0u) << Topic.ToUtf8();
        std::istringstream Lines(Text);
        for (std::string Line; std::getline(Lines, Line);)
            EXPECT_LT(Line.size(), 80u) << Line;

        FTestConsole Help, Flag;
        EXPECT_EQ(
            RunPellmor(Topic.IsEmpty() ? std::vector<FString>{u"help"} : std::vector<FString>{u"help", Topic}, Help),
            PELLMOR_Done);
        EXPECT_EQ(Help.OutText, Text);
        if (Topic.IsEmpty())
            continue;
        EXPECT_EQ(RunPellmor({Topic, u"--help"}, Flag), PELLMOR_Done);
        EXPECT_EQ(Flag.OutText, Text);
    }
    EXPECT_EQ(GetPellmorHelp(u"unshrink"), GetPellmorHelp(u"restore"));

    // The shell completion knows which options take a value from the kind of value in the option table.
    for (const FPellmorOptionDoc& Option : GetPellmorOptionDocs())
        EXPECT_EQ(Option.ValueName.IsEmpty(), Option.Value == EPellmorValue::None) << Option.Name.ToUtf8();
}

TEST(PellmorCommandTest, HintsQuotePathsForThisSystemsShell)
{
    if (appPathSeparator() == u'\\')
    {
        // A backslash before the closing quote would escape it.
        EXPECT_EQ(ShellQuote(FString(u"C:\\Games\\GTA SA\\")).ToUtf8(), "\"C:\\Games\\GTA SA\"");
        EXPECT_EQ(ShellQuote(FString(u"C:\\Games\\gtasa\\")).ToUtf8(), "C:\\Games\\gtasa\\");
        return;
    }
    EXPECT_EQ(ShellQuote(FString(u"/home/me/gtasa/")).ToUtf8(), "/home/me/gtasa/");
    EXPECT_EQ(ShellQuote(FString(u"/home/me/GTA SA/")).ToUtf8(), "'/home/me/GTA SA/'");
    EXPECT_EQ(ShellQuote(FString(u"/games/it's")).ToUtf8(), "'/games/it'\\''s'");
}

// shrink-img writes what report estimates, for every choice report compares.
TEST(PellmorCommandTest, ShrinkImgWritesWhatTheReportEstimatesOrExplainsWhyNot)
{
    FTempDir Dir;
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 150));
    const FString Src = Dir.File(u"models/gta3.img");
    const FString Dest = Dir.File(u"out.img");
    // A game folder stands for its archive.
    FTestConsole Shrink, Missing, Cancel;
    ASSERT_EQ(RunPellmor({u"shrink-img", Dir.Path(), Dest, u"--report"}, Shrink), PELLMOR_Done) << Shrink.ErrText;
    EXPECT_THAT(Shrink.OutText, HasSubstr("images have"));
    EXPECT_LT(FileSizeOf(Dest), FileSizeOf(Src));
    EXPECT_EQ(RunPellmor({u"shrink-img", Dir.File(u"missing.img"), Dest}, Missing), PELLMOR_Failed);
    EXPECT_THAT(Missing.ErrText, HasSubstr("missing.img"));

    // Ctrl-C cancels through the shrink's cancel flag, and leaves the archive written before as it was.
    const FBytes Written = ReadFileBytes(Dest);
    Cancel.bInterruptNow = true;
    EXPECT_EQ(RunPellmor({u"shrink-img", Src, Dest, u"--max-side", u"64"}, Cancel), PELLMOR_Cancelled);
    EXPECT_THAT(Cancel.ErrText, HasSubstr("cancelled"));
    EXPECT_EQ(ReadFileBytes(Dest), Written);
    EXPECT_FALSE(TestFileExists(Dest + u".pellmor-part"));
    EXPECT_EQ(GShrinkCancelFlag, nullptr);

    // The report says the same, as valid JSON whose counts add up.
    FJson Json;
    ASSERT_EQ(RunPellmorJson({u"report", Src}, Json), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"estimatedBytes"}), std::to_string(FileSizeOf(Dest)));
    EXPECT_EQ(Json.Get({"bytes"}), std::to_string(FileSizeOf(Src)));
    EXPECT_EQ(Json.Get({"skipRules", "source"}), "builtin");
    EXPECT_EQ(Json.Get({"skipRules", "rules"}), "218");
    const int Total = std::stoi(Json.Get({"textures", "total"}));
    EXPECT_GT(std::stoi(Json.Get({"textures", "change"})), 0);
    EXPECT_GT(std::stoi(Json.Get({"textures", "skip"})), 0); // the sample names some dictionaries after the rules
    EXPECT_EQ(std::stoi(Json.Get({"textures", "change"})) + std::stoi(Json.Get({"textures", "skip"})) +
                  std::stoi(Json.Get({"textures", "stay"})),
              Total);
    int Kinds = 0;
    for (const char* Kind : {"DXT1", "DXT1a", "DXT3", "RGBA", "RGBX", "other"})
        if (!Json.Get({"kinds", Kind}).empty())
            Kinds += std::stoi(Json.Get({"kinds", Kind}));
    EXPECT_EQ(Kinds, Total);
    // What the shrink loses: the worst ten, the worst first, none better than the changed textures pooled.
    const double Pooled = std::stod(Json.Get({"loss", "psnrChanged"}));
    EXPECT_GT(std::stod(Json.Get({"loss", "psnr"})), Pooled);
    EXPECT_EQ(Json.Get({"loss", "worst", "10", "psnr"}), "");
    for (int i = 0; i < 9; ++i)
        EXPECT_LE(std::stod(Json.Get({"loss", "worst", std::to_string(i), "psnr"})),
                  std::stod(Json.Get({"loss", "worst", std::to_string(i + 1), "psnr"})));
    EXPECT_LT(std::stod(Json.Get({"loss", "worst", "9", "psnr"})), Pooled);

    // Every choice a player has, in the order offered; the standard one is what report estimates, and a smaller
    // side changes more textures and saves more.
    FJson Compare;
    ASSERT_EQ(RunPellmorJson({u"report", Src, u"--compare"}, Compare), PELLMOR_Done);
    const char* Choices[] = {"standard",     "standard smooth", "max-side:1024",
                             "max-side:512", "max-side:256",    "max-side:128"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(Compare.Get({std::to_string(i), "settings"}), Choices[i]);
    EXPECT_EQ(Compare.Get({"6", "settings"}), "");
    EXPECT_EQ(Compare.Get({"0", "estimatedBytes"}), std::to_string(FileSizeOf(Dest)));
    EXPECT_LT(std::stoll(Compare.Get({"5", "estimatedBytes"})), std::stoll(Compare.Get({"4", "estimatedBytes"})));
    EXPECT_GT(std::stoi(Compare.Get({"5", "texturesChanged"})), std::stoi(Compare.Get({"2", "texturesChanged"})));
    EXPECT_LT(std::stod(Compare.Get({"5", "psnr"})), std::stod(Compare.Get({"4", "psnr"})));
}

TEST(PellmorCommandTest, SkipRulesFileReplacesTheBuiltInRulesAndItsMistakesAreNamed)
{
    FTempDir Dir;
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 80));
    const FString Src = Dir.File(u"models/gta3.img");
    const FString Rules = Dir.File(u"my rules.ini");
    ASSERT_TRUE(WriteTestFile(Rules, "[SkipRules]\r\nskip=*\r\n"));

    FJson Json;
    ASSERT_EQ(RunPellmorJson({u"report", u"--skip-rules", Rules, Src}, Json), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"textures", "change"}), "0");
    EXPECT_EQ(Json.Get({"skipRules", "source"}), "file");
    EXPECT_EQ(Json.Get({"skipRules", "path"}), appWithSystemSeparators(Rules).ToUtf8());
    EXPECT_EQ(Json.Get({"skipRules", "rules"}), "1");

    // Everything skipped: the shrink only repacks.
    const FString Dest = Dir.File(u"out.img");
    FTestConsole Shrink;
    ASSERT_EQ(RunPellmor({u"shrink-img", Src, Dest, u"--skip-rules=" + Rules}, Shrink), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"estimatedBytes"}), std::to_string(FileSizeOf(Dest)));

    // Lines that give no rule are named; a section without a rule turns the built-in rules off, which is said.
    ASSERT_TRUE(WriteTestFile(Rules, "[SkipRules]\nskip = *\nfoo=bar\n"));
    FTestConsole Broken;
    ASSERT_EQ(RunPellmor({u"report", u"--skip-rules", Rules, Src}, Broken), PELLMOR_Done);
    EXPECT_THAT(Broken.ErrText, HasSubstr("line 2: no rule in \"skip = *\": a blank before '='"));
    EXPECT_THAT(Broken.ErrText, HasSubstr("line 3: no rule in \"foo=bar\""));
    EXPECT_THAT(Broken.ErrText, HasSubstr("without a single rule"));
    EXPECT_THAT(Broken.OutText, HasSubstr("(0 rules)"));

    // A file without the section: the built-in rules, said as such.
    ASSERT_TRUE(WriteTestFile(Rules, "[Other]\r\nskip=*\r\n"));
    FTestConsole NoSection;
    ASSERT_EQ(RunPellmor({u"report", u"--skip-rules", Rules, Src}, NoSection), PELLMOR_Done);
    EXPECT_THAT(NoSection.OutText, HasSubstr("the built-in rules (218), as "));
    EXPECT_THAT(NoSection.OutText, HasSubstr("has no [SkipRules] section"));

#ifndef _WIN32
    // The package puts pellmor in /usr/bin: the user's own file is taken without --skip-rules, and status says so.
    const char* Config = getenv("XDG_CONFIG_HOME");
    const std::string Saved = Config ? Config : "";
    ASSERT_EQ(setenv("XDG_CONFIG_HOME", Dir.File(u"config").ToUtf8().c_str(), 1), 0);
    ASSERT_TRUE(CoreOS::DirMake(*Dir.File(u"config")) && CoreOS::DirMake(*Dir.File(u"config/pellmor")));
    ASSERT_TRUE(WriteTestFile(Dir.File(u"config/pellmor/SkipRules.ini"), "[SkipRules]\nskip=*\n"));
    FJson Status;
    ASSERT_EQ(RunPellmorJson({u"report", Src}, Json), PELLMOR_Done);
    ASSERT_EQ(RunPellmorJson({u"status", Dir.Path()}, Status), PELLMOR_Done);
    Config ? setenv("XDG_CONFIG_HOME", Saved.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(Json.Get({"textures", "change"}), "0");
    EXPECT_EQ(Status.Get({"skipRules", "path"}), Dir.File(u"config/pellmor/SkipRules.ini").ToUtf8());
#endif
}

// A terminal model replays what the bar wrote: at 50, 80 and 120 columns every drawing is as long as the others
// and the bar as wide, from the first (the rate and the time not known yet) to the last; nothing wraps, and the
// name of each archive of a run has a line of its own with nothing of the bar left on it. For a script the same
// run is one JSON line per step on standard error.
TEST(PellmorCommandTest, ProgressBarKeepsItsWidthAndNeverWraps)
{
    static uint32_t Now = 0;
    CoreOS::SetTickSource([]() { return Now; });
    const auto Run = [](FTestConsole& Console, EProgressOutput Output)
    {
        Now = 1000;
        FProgressDisplay Display(Console, FString(u"shrink"), 16300, 1200000000, Output);
        Display.SetCaption(u"models/gta3.img", true);
        Display.Update(0);
        Display.Update(0);
        Now += 1000;
        Display.Update(10); // 120.0 MB/s
        Display.SetCaption(u"models/gta_int.img", true);
        Now += 10000;
        Display.Update(99); // 108.0 MB/s
        Now += 2000;
        Display.Finish(true); // 1.2 GB in 13 s
    };
    // In the megabytes of the system's file manager: 92.3 of a million bytes, 88.0 of 1024 KB.
    const std::string Rate = FString::Printf(u"%6.1f MB/s", 1200000000.0 / 13.0 / appBytesPerMegabyte()).ToUtf8();
    for (const int Width : {50, 80, 120})
    {
        FTestConsole Console;
        Console.bTerminal = true;
        Console.Columns = Width;
        Run(Console, EProgressOutput::Shown);
        FTerminalModel Terminal(Width);
        Terminal.Write(Console.OutText);
        EXPECT_EQ(Terminal.Wraps, 0) << Width;
        const std::vector<std::string> Rows = Terminal.Rows();
        ASSERT_EQ(Rows.size(), 4u) << Console.OutText;
        EXPECT_EQ(Rows[0], "models/gta3.img");
        EXPECT_EQ(Rows[1], "models/gta_int.img");
        EXPECT_TRUE(Has(Rows[2], "] 100%  ") && Has(Rows[2], Rate + "     0:00 left")) << Rows[2];
        EXPECT_EQ(Has(Rows[2], "  16300/16300 entries"), Width >= 80) << Rows[2];
        std::set<size_t> Lengths, Bars;
        std::istringstream Drawings(Console.OutText);
        for (std::string Drawing; std::getline(Drawings, Drawing, '\r');)
        {
            Drawing = Drawing.substr(Drawing.find('\n') == std::string::npos ? 0 : Drawing.find('\n') + 1);
            if (Drawing.empty())
                continue;
            Lengths.insert(Drawing.size());
            Bars.insert(Drawing.find(']'));
        }
        EXPECT_EQ(Lengths.size(), 1u) << Console.OutText;
        EXPECT_EQ(Bars.size(), 1u) << Console.OutText;
        EXPECT_LT(*Lengths.begin(), size_t(Width));
    }
    FTestConsole Script;
    Run(Script, EProgressOutput::JsonLines);
    EXPECT_EQ(Script.OutText, "");
    std::istringstream Lines(Script.ErrText);
    std::vector<std::string> Steps;
    FJson Step;
    for (std::string Line; std::getline(Lines, Line);)
    {
        ASSERT_TRUE(Step.Parse(Line)) << Line;
        Steps.push_back(Step.Get({"archive"}) + " " + Step.Get({"percent"}) + " " + Step.Get({"bytesDone"}) + " " +
                        Step.Get({"bytesTotal"}) + " " + Step.Get({"secondsLeft"}));
    }
    EXPECT_EQ(Steps, (std::vector<std::string>{"models/gta3.img 0 0 1200000000 null",
                                               "models/gta3.img 10 120000000 1200000000 9",
                                               "models/gta_int.img 99 1188000000 1200000000 0",
                                               "models/gta_int.img 100 1200000000 1200000000 0"}));
    CoreOS::SetTickSource(nullptr);
    EXPECT_EQ(appFormatDuration(3725).ToUtf8(), "1:02:05");
}
