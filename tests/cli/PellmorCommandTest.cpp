#include <gtest/gtest.h>

#include "Core/Inc/Core.h"
#include "cli/PellmorCommand.h"
#include "tests/support/ImgBuilder.h"
#include "tests/support/TempDir.h"

namespace
{
TDynArray<FString> Args(std::initializer_list<FString> Items)
{
    TDynArray<FString> Result;
    for (const FString& Item : Items)
        Result.AddItem(Item);
    return Result;
}
} // namespace

TEST(PellmorCommandTest, ShrinkImgExitCodes)
{
    FTempDir Dir;
    const FString Src = Dir.File(u"in.img");
    const FString Dest = Dir.File(u"out.img");
    ASSERT_TRUE(WriteFileBytes(Src, FImgBuilder().Add("a.dff", {1, 2, 3}).Build()));
    FString Error;

    EXPECT_EQ(RunPellmorCommand(Args({u"shrink-img", Src, Dest}), Error), 0);
    EXPECT_TRUE(Error.IsEmpty());
    EXPECT_TRUE(FileExists(Dest));

    EXPECT_EQ(RunPellmorCommand(Args({u"shrink-img", Dir.File(u"missing.img"), Dest}), Error), 1);
    EXPECT_GE(Error.InStr(u"missing.img"), 0);
    EXPECT_LT(Error.InStr(u"\n"), 0);

    ASSERT_TRUE(WriteFileBytes(Src, {'V', 'E', 'R', '1'}));
    EXPECT_EQ(RunPellmorCommand(Args({u"shrink-img", Src, Dest}), Error), 1);
    EXPECT_FALSE(FileExists(Dest));

    EXPECT_EQ(RunPellmorCommand(Args({}), Error), 2);
    EXPECT_EQ(RunPellmorCommand(Args({u"shrink-img", Src}), Error), 2);
    EXPECT_EQ(RunPellmorCommand(Args({u"shrink", Src, Dest}), Error), 2);
    EXPECT_EQ(Error.InStr(u"usage:"), 0);
}
