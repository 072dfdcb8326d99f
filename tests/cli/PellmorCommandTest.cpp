#include <gtest/gtest.h>

#include <vector>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"
#include "PellmorTestSupport.h"
#include "cli/PellmorCommands.h"
#include "cli/PellmorConsole.h"
#include "shrinker/FImgShrinker.h"
#include "tests/support/ImgBuilder.h"
#include "tests/support/TempDir.h"

TEST(PellmorCommandTest, WrongUsageExitsWithTwoAndSaysWhy)
{
    FTempDir Dir;
    const FString Img = Dir.File(u"in.img");
    const struct
    {
        std::initializer_list<FString> Args;
        const char* Why;
    } Cases[] = {
        {{}, "no command"},
        {{u"frobnicate"}, "unknown command"},
        {{u"status", u"a", u"b"}, "wrong number"},
        {{u"report"}, "wrong number"},
        {{u"shrink-img", Img}, "wrong number"},
        {{u"--bogus", u"status"}, "unknown option"},
        {{u"shrink", u"--json"}, "--json"},
        {{u"status", u"--report"}, "--report"},
        {{u"restore", u"--skip-rules", Img}, "--skip-rules"},
        {{u"report", Img, u"--skip-rules"}, "needs a file"},
        {{u"report", Img, u"--skip-rules", Dir.File(u"missing.ini")}, "missing.ini"},
    };
    for (const auto& Case : Cases)
    {
        FTestConsole Console;
        EXPECT_EQ(RunPellmor(Case.Args, Console), PELLMOR_Usage) << Case.Why;
        EXPECT_NE(Console.ErrText.find(Case.Why), std::string::npos) << Console.ErrText;
        EXPECT_TRUE(Console.OutText.empty());
    }

    FTestConsole Help;
    EXPECT_EQ(RunPellmor({u"status", u"--help"}, Help), PELLMOR_Done);
    EXPECT_EQ(Help.OutText.find("usage: pellmor"), 0u);
    FTestConsole Version;
    EXPECT_EQ(RunPellmor({u"--version"}, Version), PELLMOR_Done);
    EXPECT_EQ(Version.OutText, std::string("pellmor ") + PELLMOR_VERSION + "\n");
}

TEST(PellmorCommandTest, ShrinkImgWritesTheArchiveOrExplainsWhyNot)
{
    FTempDir Dir;
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 60));
    const FString Src = Dir.File(u"models/gta3.img");
    const FString Dest = Dir.File(u"out.img");

    FTestConsole Console;
    EXPECT_EQ(RunPellmor({u"shrink-img", Src, Dest, u"--report"}, Console), PELLMOR_Done) << Console.ErrText;
    EXPECT_NE(Console.OutText.find("images have"), std::string::npos);
    EXPECT_NE(Console.OutText.find(" images are "), std::string::npos);
    EXPECT_GT(FileSizeOf(Dest), 0);

    FTestConsole Missing;
    EXPECT_EQ(RunPellmor({u"shrink-img", Dir.File(u"missing.img"), Dest}, Missing), PELLMOR_Failed);
    EXPECT_NE(Missing.ErrText.find("missing.img"), std::string::npos);

    ASSERT_TRUE(WriteFileBytes(Src, {'V', 'E', 'R', '1'}));
    FTestConsole NotImg;
    EXPECT_EQ(RunPellmor({u"shrink-img", Src, Dest}, NotImg), PELLMOR_Failed);
    EXPECT_FALSE(FileExists(Dest));

    // Ctrl-C cancels through the shrink's cancel flag: no destination is left.
    ASSERT_TRUE(MakeSampleGame(Dir.File(u"other/"), 200));
    FTestConsole Cancel;
    Cancel.bInterruptNow = true;
    EXPECT_EQ(RunPellmor({u"shrink-img", Dir.File(u"other/models/gta3.img"), Dest}, Cancel), PELLMOR_Cancelled);
    EXPECT_FALSE(FileExists(Dest));
    EXPECT_EQ(GShrinkCancelFlag, nullptr);
}

TEST(PellmorCommandTest, DryRunEstimatesExactlyWhatTheShrinkWrites)
{
    FTempDir Dir;
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 150));
    const FString Src = Dir.File(u"models/gta3.img");
    const FString Dest = Dir.File(u"out.img");

    FShrinkReport DryReport;
    FShrinkImgOptions DryOptions;
    DryOptions.Report = &DryReport;
    DryOptions.bDryRun = true;
    ASSERT_TRUE(ShrinkImgFile(*Dest, *Src, DryOptions));
    EXPECT_FALSE(FileExists(Dest));

    FShrinkReport Report;
    FShrinkImgOptions Options;
    Options.Report = &Report;
    ASSERT_TRUE(ShrinkImgFile(*Dest, *Src, Options));
    EXPECT_EQ(DryReport.OutputBytes, FileSizeOf(Dest));
    EXPECT_EQ(Report.OutputBytes, FileSizeOf(Dest));
    EXPECT_LT(Report.OutputBytes, FileSizeOf(Src));
    EXPECT_EQ(DryReport.Lines.Num(), Report.Lines.Num());

    // The report command says the same, as valid JSON whose counts add up.
    FTestConsole Console;
    ASSERT_EQ(RunPellmor({u"report", Src, u"--json"}, Console), PELLMOR_Done) << Console.ErrText;
    FJson Json;
    ASSERT_TRUE(Json.Parse(Console.OutText)) << Console.OutText;
    EXPECT_EQ(Json.Get({"estimatedBytes"}), std::to_string(FileSizeOf(Dest)));
    EXPECT_EQ(Json.Get({"bytes"}), std::to_string(FileSizeOf(Src)));
    const int Total = std::stoi(Json.Get({"textures", "total"}));
    EXPECT_GT(std::stoi(Json.Get({"textures", "change"})), 0);
    EXPECT_GT(std::stoi(Json.Get({"textures", "skip"})), 0); // the sample names some dictionaries after the rules
    EXPECT_EQ(std::stoi(Json.Get({"textures", "change"})) + std::stoi(Json.Get({"textures", "skip"})) +
                  std::stoi(Json.Get({"textures", "stay"})),
              Total);
    int Kinds = 0;
    for (const char* Kind : {"DXT1", "DXT1a", "DXT3", "RGBA", "RGBX"})
        if (!Json.Get({"kinds", Kind}).empty())
            Kinds += std::stoi(Json.Get({"kinds", Kind}));
    EXPECT_LE(Kinds, Total);
    EXPECT_GT(Kinds, Total / 2);
}

TEST(PellmorCommandTest, SkipRulesFileReplacesTheBuiltInRules)
{
    FTempDir Dir;
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 80));
    const FString Src = Dir.File(u"models/gta3.img");
    const FString Rules = Dir.File(u"my rules.ini");
    ASSERT_TRUE(WriteTestFile(Rules, "[SkipRules]\r\nskip=*\r\n"));

    FTestConsole Console;
    ASSERT_EQ(RunPellmor({u"report", u"--skip-rules", Rules, Src, u"--json"}, Console), PELLMOR_Done)
        << Console.ErrText;
    FJson Json;
    ASSERT_TRUE(Json.Parse(Console.OutText)) << Console.OutText;
    EXPECT_EQ(Json.Get({"textures", "change"}), "0");
    EXPECT_EQ(Json.Get({"skipRules"}), Rules.ToUtf8());

    // Everything skipped: the shrink only repacks, and the rules file does not outlive the command.
    const FString Dest = Dir.File(u"out.img");
    FTestConsole Shrink;
    ASSERT_EQ(RunPellmor({u"shrink-img", Src, Dest, u"--skip-rules=" + Rules}, Shrink), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"estimatedBytes"}), std::to_string(FileSizeOf(Dest)));
    EXPECT_EQ(GetShrinkSkipRulesFile(), FString(FSkipRules::DefaultFile()));

    // A file without the section: the built-in rules, and a word about it.
    ASSERT_TRUE(WriteTestFile(Rules, "[Other]\r\nskip=*\r\n"));
    FTestConsole NoSection;
    ASSERT_EQ(RunPellmor({u"report", u"--skip-rules", Rules, Src}, NoSection), PELLMOR_Done);
    EXPECT_NE(NoSection.ErrText.find("no [SkipRules] section"), std::string::npos);
    EXPECT_NE(NoSection.OutText.find("would be made smaller"), std::string::npos);
}

// A terminal model replays what the bar wrote: at 50 and 120 columns the last drawing is the whole line, never
// wrapped, never cut inside a field, and nothing of a longer line before it stays behind.
TEST(PellmorCommandTest, ProgressLineIsRedrawnCleanAndNeverWraps)
{
    static uint32_t Now = 0;
    CoreOS::SetTickSource([]() { return Now; });
    for (const int Width : {50, 120})
    {
        FTestConsole Console;
        Console.bTerminal = true;
        Console.Columns = Width;
        Now = 1000;
        FProgressDisplay Display(Console, FString(u"shrink"), 300, 1200000000);
        Display.Update(0);
        Now += 1000;
        Display.Update(10); // 120.0 MB/s
        Now += 10000;
        Display.Update(99); // 108.0 MB/s
        Now += 2000;
        Display.Finish(true); // 92.3 MB/s: a shorter line over a longer one

        FTerminalModel Terminal(Width);
        Terminal.Write(Console.OutText);
        EXPECT_EQ(Terminal.Wraps, 0) << Width;
        const std::vector<std::string> Rows = Terminal.Rows();
        ASSERT_EQ(Rows.size(), 2u) << Console.OutText;
        EXPECT_EQ(Rows[1], "");
        const std::string& Last = Rows[0];
        EXPECT_LT(Last.size(), size_t(Width));
        EXPECT_NE(Last.find("] 100%  "), std::string::npos) << Last;
        EXPECT_TRUE(Last.find("  92.3 MB/s  0:00 left") != std::string::npos && Last.substr(Last.size() - 5) == " left")
            << Last;
        EXPECT_EQ(Last.find("  300/300 entries") != std::string::npos, Width == 120) << Last;
    }
    CoreOS::SetTickSource(nullptr);
    EXPECT_EQ(FormatDuration(3725).ToUtf8(), "1:02:05");
}
