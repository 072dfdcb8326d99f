// The dialog's log: where it goes, and that it keeps to its size over many runs and within one.
#include <gtest/gtest.h>

#include "Core/Inc/CorePath.h"
#include "app/PellmorWinLog.h"
#include "tests/support/TempDir.h"

TEST(PellmorWinLogTest, GoesWhereItCanBeWrittenAndKeepsToItsSize)
{
    FTempDir Dir;
    const FString Path = appPathJoin(Dir.Path(), FString(u"PellmorWin.log"));
    // A program folder that takes no file (here: one that is not there) leaves the log to the temporary folder.
    EXPECT_EQ(FDialogLog::ChoosePath(Dir.Path() + u"gone", Dir.Path()), Path);
    EXPECT_EQ(FDialogLog::ChoosePath(Dir.Path(), Dir.Path() + u"gone"), Path);

    // Many runs: the oldest go whole, the newest stays, and the file still opens with UTF-8's mark.
    FDialogLog Log;
    for (int32_t Run = 0; Run < 60; ++Run)
    {
        Log.BeginRun(Path, FString::Printf(u"run %d", Run));
        for (int32_t Line = 0; Line < 60; ++Line)
            Log.Write(FString::Printf(u"line %d of run %d, with some words to fill the file", Line, Run));
    }
    std::string Text = TestFileText(Path);
    EXPECT_LE(int64_t(Text.size()), FDialogLog::CapBytes);
    EXPECT_EQ(Text.rfind("\xEF\xBB\xBF==== PellmorWin ", 0), 0u) << Text.substr(0, 80);
    EXPECT_EQ(Text.find(", run 0 ===="), std::string::npos);
    EXPECT_NE(Text.find("  line 59 of run 59, with some words to fill the file\r\n"), std::string::npos);

    // One run that writes on and on stops at half the size, and says so.
    Log.BeginRun(Path, FString(u"long"));
    for (int32_t Line = 0; Line < 5000; ++Line)
        Log.Write(FString::Printf(u"line %d of a long run, with some words to fill the file", Line));
    Text = TestFileText(Path);
    EXPECT_LE(int64_t(Text.size()), FDialogLog::CapBytes);
    EXPECT_NE(Text.find("the rest is not logged"), std::string::npos);
}
