#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/FArchive.h"
#include "Core/Inc/FOutputDevices.h"
#include "tests/support/CaptureDebugOutput.h"
#include "tests/support/TempDir.h"

namespace
{
std::vector<std::string> LinesOf(const FString& Path)
{
    const std::string Bytes = TestFileText(Path);
    std::vector<std::string> Lines;
    for (size_t Start = 0, End; (End = Bytes.find("\r\n", Start)) != std::string::npos; Start = End + 2)
        Lines.push_back(Bytes.substr(Start, End - Start));
    return Lines;
}
} // namespace

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
    const std::vector<std::string> Lines = LinesOf(Path);
    ASSERT_EQ(Lines.size(), 5u);
    EXPECT_TRUE(Shaped(Lines[0], "99:99:99:9999  Log file open, 99/99/99 99:99:99")) << Lines[0];
    EXPECT_TRUE(Shaped(Lines[1], "99:99:99:9999  hello world")) << Lines[1];
    EXPECT_TRUE(Shaped(Lines[2], "Uninitialized: 99:99:99:9999  caf\xE9 \x7F")) << Lines[2];
    EXPECT_TRUE(Shaped(Lines[3], "99:99:99:9999  Log file open, 99/99/99 99:99:99")) << Lines[3];
    EXPECT_TRUE(Shaped(Lines[4], "99:99:99:9999  again")) << Lines[4];

    Core::Imp::FOutputDeviceFile Lost;
    appStrcpy(Lost.Filename, *(Dir / u"no/such/dir.log"));
    Lost.Disabled = 0;
    Lost.Logf(u"lost");
    EXPECT_EQ(Lost.Disabled, 1);
    EXPECT_EQ(Lost.Opened, 0);
    EXPECT_EQ(Lost.LogArchive, nullptr);
}
