#include <gtest/gtest.h>

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

    // A failed or cancelled run leaves the archive written before as it was.
    const FBytes Written = ReadFileBytes(Dest);
    ASSERT_TRUE(WriteFileBytes(Src, {'V', 'E', 'R', '1'}));
    FTestConsole NotImg;
    EXPECT_EQ(RunPellmor({u"shrink-img", Src, Dest}, NotImg), PELLMOR_Failed);
    EXPECT_EQ(ReadFileBytes(Dest), Written);

    // Ctrl-C cancels through the shrink's cancel flag.
    ASSERT_TRUE(MakeSampleGame(Dir.File(u"other/"), 200));
    FTestConsole Cancel;
    Cancel.bInterruptNow = true;
    EXPECT_EQ(RunPellmor({u"shrink-img", Dir.File(u"other/models/gta3.img"), Dest}, Cancel), PELLMOR_Cancelled);
    EXPECT_EQ(ReadFileBytes(Dest), Written);
    EXPECT_FALSE(FileExists(Dest + u".pellmor-part"));
    EXPECT_EQ(GShrinkCancelFlag, nullptr);
}

TEST(PellmorCommandTest, DryRunEstimatesExactlyWhatTheShrinkWrites)
{
    FTempDir Dir;
    ASSERT_TRUE(MakeSampleGame(Dir.Path(), 150));
    const FString Src = Dir.File(u"models/gta3.img");
    const FString Dest = Dir.File(u"out.img");

    FShrinkOptions DryOptions;
    DryOptions.bDryRun = true;
    const FShrinkResult DryReport = ShrinkImgFile(*Dest, *Src, DryOptions);
    ASSERT_TRUE(DryReport.bOk);
    EXPECT_FALSE(FileExists(Dest));

    const FShrinkResult Report = ShrinkImgFile(*Dest, *Src, FShrinkOptions());
    ASSERT_TRUE(Report.bOk);
    EXPECT_EQ(DryReport.OutputBytes, FileSizeOf(Dest));
    EXPECT_EQ(Report.OutputBytes, FileSizeOf(Dest));
    EXPECT_LT(Report.OutputBytes, FileSizeOf(Src));
    EXPECT_EQ(DryReport.ReportLines.Num(), Report.ReportLines.Num());

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
    for (const char* Kind : {"DXT1", "DXT1a", "DXT3", "RGBA", "RGBX", "other"})
        if (!Json.Get({"kinds", Kind}).empty())
            Kinds += std::stoi(Json.Get({"kinds", Kind}));
    EXPECT_EQ(Kinds, Total);
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

    // Everything skipped: the shrink only repacks.
    const FString Dest = Dir.File(u"out.img");
    FTestConsole Shrink;
    ASSERT_EQ(RunPellmor({u"shrink-img", Src, Dest, u"--skip-rules=" + Rules}, Shrink), PELLMOR_Done);
    EXPECT_EQ(Json.Get({"estimatedBytes"}), std::to_string(FileSizeOf(Dest)));

    // A file without the section: the built-in rules, and a word about it.
    ASSERT_TRUE(WriteTestFile(Rules, "[Other]\r\nskip=*\r\n"));
    FTestConsole NoSection;
    ASSERT_EQ(RunPellmor({u"report", u"--skip-rules", Rules, Src}, NoSection), PELLMOR_Done);
    EXPECT_NE(NoSection.ErrText.find("no [SkipRules] section"), std::string::npos);
    EXPECT_NE(NoSection.OutText.find("would be made smaller"), std::string::npos);
}

TEST(PellmorCommandTest, ProgressLineFitsTheTerminal)
{
    const FString Full = FormatProgressLine(45, 7335, 16300, 38.25, 12, 100);
    EXPECT_EQ(Full.ToUtf8(), "[##################----------------------]  45%  7335/16300 entries  38.2 MB/s  0:12 left");
    const FString Narrow = FormatProgressLine(45, 7335, 16300, 38.25, 3725, 40);
    EXPECT_EQ(Narrow.Len(), 39);
    EXPECT_EQ(Narrow.InStr(u"["), -1); // no room for a bar: the numbers first
    EXPECT_EQ(FormatProgressLine(150, 0, 0, -1, -1, 0).ToUtf8().substr(0, 1), "[");
    EXPECT_NE(FormatProgressLine(150, 0, 0, -1, -1, 0).InStr(u" 100%"), -1);
    EXPECT_EQ(FormatDuration(3725).ToUtf8(), "1:02:05");
    EXPECT_EQ(FormatDuration(-1).ToUtf8(), "?");
}
