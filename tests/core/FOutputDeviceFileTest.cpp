#include <gtest/gtest.h>

#include <string>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/FArchive.h"
#include "Core/Inc/FOutputDevices.h"
#include "tests/support/CaptureDebugOutput.h"
#include "tests/support/TempDir.h"

// The product never enables the device; these tests enable their own.
TEST(FOutputDeviceFileTest, FirstLineOpensTheFileWhenEnabledAndAFailedOpenDisablesTheDevice)
{
    FName::StaticExit(); // event names read "Uninitialized" while the name table is not ready
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
        Log.Serialize(u"event six is never written", 6);
        Log.ShowEventName = 1;
        Log.Serialize(u"caf\u00E9 \u0101", 1);

        // Opening again (after the file was closed) appends.
        delete Log.LogArchive;
        Log.LogArchive = nullptr;
        Log.ShowEventName = 0;
        Log.Logf(u"again");
    }
    // Each line "hh:mm:ss:mmmm  text" and CR LF; the file reopened appends.
    const std::string Text = TestFileText(Path);
    EXPECT_TRUE(Shaped(Text, "99:99:99:9999  Log file open, 99/99/99 99:99:99\r\n99:99:99:9999  hello world\r\n"
                             "Uninitialized: 99:99:99:9999  caf\xE9 \x7F\r\n"
                             "99:99:99:9999  Log file open, 99/99/99 99:99:99\r\n99:99:99:9999  again\r\n"))
        << Text;

    Core::Imp::FOutputDeviceFile Lost;
    appStrcpy(Lost.Filename, *(Dir / u"no/such/dir.log"));
    Lost.Disabled = 0;
    Lost.Logf(u"lost");
    EXPECT_EQ(Lost.Disabled, 1);
    EXPECT_EQ(Lost.Opened, 0);
    EXPECT_EQ(Lost.LogArchive, nullptr);
}
