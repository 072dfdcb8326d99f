#include <gtest/gtest.h>

#include <string>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/FArchive.h"
#include "Core/Inc/FOutputDevices.h"
#include "tests/support/CaptureDebugOutput.h"
#include "tests/support/TempDir.h"

// The product never enables the device; this test enables its own: the first line opens the file, and a file that
// cannot be opened turns the device off.
TEST(FOutputDeviceFileTest, FirstLineOpensTheFileWhenEnabledAndAFailedOpenDisablesTheDevice)
{
    FTempDir Dir;
    const FString Path = Dir / u"run.log";
    {
        Core::Imp::FOutputDeviceFile Log;
        appStrcpy(Log.Filename, *Path);
        Log.Logf(u"dropped while disabled");
        EXPECT_FALSE(TestFileExists(Path));
        Log.Disabled = 0;
        Log.Logf(u"hello %s", u"world");
        EXPECT_EQ(Log.Opened, 1);
    }
    // Each line "hh:mm:ss:mmmm  text" and CR LF.
    const std::string Text = TestFileText(Path);
    EXPECT_TRUE(Shaped(Text, "99:99:99:9999  Log file open, 99/99/99 99:99:99\r\n99:99:99:9999  hello world\r\n"))
        << Text;

    Core::Imp::FOutputDeviceFile Lost;
    appStrcpy(Lost.Filename, *(Dir / u"no/such/dir.log"));
    Lost.Disabled = 0;
    Lost.Logf(u"lost");
    EXPECT_EQ(Lost.Disabled, 1);
    EXPECT_EQ(Lost.LogArchive, nullptr);
}
