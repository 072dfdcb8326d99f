#include <gtest/gtest.h>

#include "Core/Inc/CorePath.h"

namespace
{
// The system's separators written as '/', so that one table serves both systems.
std::string Slashed(const FString& Path)
{
    std::string Text = Path.ToUtf8();
    for (char& C : Text)
        C = C == '\\' ? '/' : C;
    return Text;
}
} // namespace

TEST(CorePathTest, FoldersNamesAndJoinsKeepTheRootAndOneSeparator)
{
    const struct
    {
        const char16_t* Path;
        const char* Folder;
        const char* Name;
        const char* Joined; // with "x"
    } Cases[] = {
        {u"models/gta3.img", "models/", "gta3.img", "models/gta3.img/x"},
        {u"C:\\Games\\GTA\\", "C:/Games/", "GTA", "C:/Games/GTA/x"},
        {u"/x", "/", "x", "/x/x"},
        {u"/", "/", "", "/x"},
        {u"gta3.img", "", "gta3.img", "gta3.img/x"},
        {u"", "", "", "x"},
    };
    for (const auto& Case : Cases)
    {
        EXPECT_EQ(Slashed(appPathFolder(Case.Path)), Case.Folder) << Slashed(Case.Path);
        EXPECT_EQ(appPathFileName(Case.Path).ToUtf8(), Case.Name) << Slashed(Case.Path);
        EXPECT_EQ(Slashed(appPathJoin(Case.Path, FString(u"x"))), Case.Joined) << Slashed(Case.Path);
    }
    EXPECT_TRUE(appIsAbsolutePath(u"/x") && appIsAbsolutePath(u"\\\\server\\x") && appIsAbsolutePath(u"C:\\x"));
    EXPECT_FALSE(appIsAbsolutePath(u"models/x") || appIsAbsolutePath(u"") || appIsAbsolutePath(nullptr));
    // "." names the current directory itself, a leading "./" is dropped.
    const std::string Current = Slashed(appAbsolutePath(FString(u".")));
    EXPECT_EQ(Current.back(), '/');
    EXPECT_EQ(Slashed(appAbsolutePath(FString(u"./sub/."))), Current + "sub/");
    EXPECT_EQ(Slashed(appWithTrailingSeparator(FString(u"a\\b"))), "a/b/");
}
