#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/FFileManagerWindows.h"
#include "tests/support/CaptureDebugOutput.h"
#include "tests/support/TempDir.h"

using namespace Core::Service;
using Core::Imp::FArchiveFileReader;
using Core::Imp::FArchiveFileWriter;

namespace
{
std::string Pattern(size_t Count)
{
    std::string Bytes(Count, '\0');
    for (size_t i = 0; i < Count; ++i)
        Bytes[i] = char(i * 7 + i / 251);
    return Bytes;
}

// The size as the system sees it, whoever else has the file open.
int64_t SizeOnDisk(const FString& Path)
{
    CoreOS::FFileHandle File =
        CoreOS::FileOpen(*Path, CoreOS::FILEACCESS_Read, CoreOS::FILESHARE_Read | CoreOS::FILESHARE_Write,
                         CoreOS::FILECREATE_OpenExisting);
    const int64_t Size = File ? CoreOS::FileGetSize(File) : -1;
    if (File)
        CoreOS::FileClose(File);
    return Size;
}

std::vector<std::string> Sorted(const TDynArray<FString>& Names)
{
    std::vector<std::string> Out = Utf8Lines(Names);
    std::sort(Out.begin(), Out.end());
    return Out;
}

struct FRecordProgress : public FCopyProgress
{
    std::vector<int> Percents;
    int RefuseAt = -1;
    bool Poll(float Fraction) override
    {
        const int Percent = int(Fraction * 100.0f + 0.5f);
        Percents.push_back(Percent);
        return Percent != RefuseAt;
    }
};
} // namespace

class FFileManagerTest : public testing::Test
{
protected:
    FTempDir Dir;
    Core::Imp::FFileManagerWindows FM;

    FString Make(const char16_t* Name, const std::string& Bytes)
    {
        const FString Path = Dir / Name;
        EXPECT_TRUE(WriteTestFile(Path, Bytes));
        return Path;
    }
    FString MakeReadOnly(const char16_t* Name, const std::string& Bytes)
    {
        const FString Path = Make(Name, Bytes);
        EXPECT_TRUE(CoreOS::FileSetAttributes(*Path, CoreOS::FILEATTR_ReadOnly));
        return Path;
    }
    std::unique_ptr<FArchiveFileReader> Reader(const FString& Path, FOutputDevice* Error = nullptr)
    {
        return std::unique_ptr<FArchiveFileReader>(
            static_cast<FArchiveFileReader*>(FM.CreateFileReader(*Path, 0, Error)));
    }
};

TEST_F(FFileManagerTest, SmallReadsFillBlocksAlignedTo1024BytesAndReadsPastTheEndFail)
{
    const std::string Data = Pattern(3000);
    FLineDevice Errors;
    auto Ar = Reader(Make(u"a.bin", Data), &Errors);
    ASSERT_TRUE(Ar);
    EXPECT_EQ(Ar->TotalSize(), 3000);

    // 100 bytes at 1000: first up to the boundary (24 bytes), then the whole block 1024..2047.
    Ar->Seek(1000);
    const uint64_t Before = GFileBytesRead;
    char Out[100];
    Ar->Serialize(Out, 100);
    EXPECT_EQ(std::string(Out, 100), Data.substr(1000, 100));
    EXPECT_EQ(Ar->BytesRead, 24 + 1024);
    EXPECT_EQ(GFileBytesRead - Before, 24u + 1024u);
    EXPECT_EQ(Ar->Tell(), 1100);

    // Requests of 1024 bytes or more bypass the buffer; the next small read fills a block from the position on.
    Ar->Seek(0);
    std::string Big(1500, '\0');
    Ar->Serialize(&Big[0], 1500);
    EXPECT_EQ(Big, Data.substr(0, 1500));
    EXPECT_EQ(Ar->BytesRead, 1048 + 1500);
    Ar->Serialize(Out, 10);
    EXPECT_EQ(std::string(Out, 10), Data.substr(1500, 10));
    EXPECT_EQ(Ar->BytesRead, 1048 + 1500 + 548);
    EXPECT_EQ(Ar->GetError(), 0);

    // Past the end: what is there is delivered, and the error sticks until the close.
    Ar->Seek(2996);
    Ar->Serialize(Out, 10);
    EXPECT_EQ(std::string(Out, 4), Data.substr(2996));
    EXPECT_EQ(Ar->GetError(), 1);
    ASSERT_EQ(Errors.Lines.size(), 1u);
    EXPECT_EQ(Errors.Lines[0], "ReadFile beyond EOF 3000+6/3000");
    EXPECT_FALSE(Ar->Close());
}

TEST_F(FFileManagerTest, WriterIssuesWholeBuffersAndKeepsTheRestUntilClose)
{
    const FString Path = Dir / u"out.bin";
    std::unique_ptr<FArchiveFileWriter> Ar(
        static_cast<FArchiveFileWriter*>(FM.CreateFileWriter(*Path, WRITE_ShareRead, nullptr)));
    ASSERT_TRUE(Ar);
    std::string Data = Pattern(10000);
    Ar->Serialize(&Data[0], 10000);
    EXPECT_EQ(SizeOnDisk(Path), 2 * 4096);
    EXPECT_EQ(Ar->Tell(), 10000);
    EXPECT_EQ(Ar->TotalSize(), -1);
    EXPECT_TRUE(Ar->Close());
    EXPECT_EQ(TestFileText(Path), Data);

    // A short write fails the writer with its line.
    FLineDevice Errors;
    Ar.reset(static_cast<FArchiveFileWriter*>(FM.CreateFileWriter(*(Dir / u"full.bin"), 0, &Errors)));
    CoreOS::SetWriteLimit(5000); // the second 4096-byte write finds the disk full
    Ar->Serialize(&Data[0], 10000);
    CoreOS::SetWriteLimit(-1);
    EXPECT_EQ(Ar->GetError(), 1);
    EXPECT_FALSE(Ar->Close());
    ASSERT_FALSE(Errors.Lines.empty());
    EXPECT_EQ(Errors.Lines[0], "Core.Errors.WriteFailed");
}

TEST_F(FFileManagerTest, FileSizeIsSixtyFourBitAndMinusOneWhenUnopenable)
{
    EXPECT_EQ(FM.FileSize(*(Dir / u"missing.img")), -1);
    EXPECT_EQ(FM.FileSize(*Dir.Path()), -1);
    EXPECT_EQ(FM.FileSize(*Make(u"empty.img", "")), 0);

    // Sparse: one byte past 3 GiB costs one block on the disk.
    const FString Path = Dir / u"big.img";
    const int64_t Last = int64_t(3) << 30;
    ASSERT_TRUE(WriteSparseTestFile(Path, Last));

    EXPECT_EQ(FM.FileSize(*Path), Last + 1);
    auto Ar = Reader(Path);
    ASSERT_TRUE(Ar);
    EXPECT_EQ(Ar->TotalSize(), Last + 1);
    Ar->Seek(Last);
    char Byte = 0;
    Ar->Serialize(&Byte, 1);
    EXPECT_EQ(Byte, 'Z');
    EXPECT_TRUE(Ar->Close());
}

TEST_F(FFileManagerTest, PathsAreFoundWithoutRegardToCaseOrSeparator)
{
    ASSERT_TRUE(FM.MakeDirectory(*(Dir / u"models"), false));
    const std::string Data = Pattern(2048);
    Make(u"models/GTA3.IMG", Data);
    const FString Asked = Dir / u"Models\\gta3.img";
    EXPECT_EQ(FM.FileSize(*Asked), 2048);
    auto Ar = Reader(Asked);
    ASSERT_TRUE(Ar);
    std::string Out(2048, '\0');
    Ar->Serialize(&Out[0], 2048);
    EXPECT_EQ(Out, Data);
    Ar.reset();
    EXPECT_TRUE(FM.Move(*(Dir / u"MODELS\\gta3_orig_bak.img"), *Asked, true, false, false));
    EXPECT_EQ(TestFileText(Dir / u"models/gta3_orig_bak.img"), Data);
    EXPECT_TRUE(FM.Delete(*(Dir / u"Models/GTA3_ORIG_BAK.IMG"), true, false));
    EXPECT_EQ(FM.FindFiles(*(Dir / u"models/*"), true, true).Num(), 0);
}

TEST_F(FFileManagerTest, DeleteHonoursRequireExistsAndReadOnly)
{
    const FString Missing = Dir / u"missing.img";
    EXPECT_TRUE(FM.Delete(*Missing, false, false));
    {
        FCaptureDebugOutput Capture;
        EXPECT_FALSE(FM.Delete(*Missing, true, false));
        EXPECT_TRUE(Capture.Contains("Error deleting file '")) << "trace line";
        EXPECT_TRUE(Capture.Contains("missing.img' (0x2)"));
    }
    const FString Locked = MakeReadOnly(u"ro.img", "x");
    EXPECT_FALSE(FM.Delete(*Locked, false, false));
    EXPECT_TRUE(TestFileExists(Locked));
    EXPECT_TRUE(FM.Delete(*Locked, true, true));
    EXPECT_FALSE(TestFileExists(Locked));
}

TEST_F(FFileManagerTest, MoveReplacesTheDestinationButNeverLosesIt)
{
    const FString Dest = Make(u"dest.img", "dest");
    EXPECT_FALSE(FM.Move(*Dest, *(Dir / u"missing.img"), true, true, false));
    EXPECT_EQ(TestFileText(Dest), "dest");

    const FString Src = Make(u"src.img", "src");
    EXPECT_TRUE(FM.Move(*Dest, *Src, false, false, false)); // Replace has no effect
    EXPECT_EQ(TestFileText(Dest), "src");
    EXPECT_FALSE(TestFileExists(Src));

    const FString Locked = MakeReadOnly(u"ro.img", "ro");
    Make(u"src.img", "new");
    EXPECT_FALSE(FM.Move(*Locked, *Src, true, false, false));
    EXPECT_EQ(TestFileText(Locked), "ro");
    EXPECT_EQ(TestFileText(Src), "new");
    EXPECT_TRUE(FM.Move(*Locked, *Src, true, true, false));
    EXPECT_EQ(TestFileText(Locked), "new");
}

// Another spelling of the same file (which names are one file is CoreOS::IsSameFile's, tested with the OS layer).
TEST_F(FFileManagerTest, MovingOrCopyingAFileOntoItselfKeepsIt)
{
    const FString Path = Make(u"gta3.img", "original"), Other = Dir / u"GTA3.IMG";
    FRecordProgress Progress;
    EXPECT_TRUE(FM.Move(*Other, *Path, true, true, false));
    EXPECT_EQ(FM.Copy(*Other, *Path, true, true, false, 0, nullptr), COPY_Fail);
    EXPECT_EQ(FM.Copy(*Other, *Path, true, true, false, 0, &Progress), COPY_Fail);
    EXPECT_EQ(TestFileText(Path), "original");
}

// Copy, IsReadOnly and the directory routines: the programs do not call them, so one pass through each contract
// (the copy's also through the writer's flags that keep an existing file or clear a read-only one).
TEST_F(FFileManagerTest, CopyAndTheDirectoryRoutinesKeepTheirContracts)
{
    const std::string Data = Pattern(100 * 1024);
    const FString Src = Make(u"src.img", Data), Dest = Dir / u"dest.img", Locked = MakeReadOnly(u"ro.img", "ro");
    FRecordProgress Progress, Cancel;
    Cancel.RefuseAt = 64;
    // Steps of 32768 bytes; each report is the share copied before that step. A canceled copy is removed.
    EXPECT_EQ(FM.Copy(*Dest, *Src, true, false, false, 0, &Progress), COPY_Ok);
    EXPECT_EQ(Progress.Percents, (std::vector<int>{0, 32, 64, 96, 100}));
    EXPECT_EQ(FM.Copy(*(Dir / u"half.img"), *Src, true, false, false, 0, &Cancel), COPY_Canceled);
    EXPECT_EQ(Cancel.Percents, (std::vector<int>{0, 32, 64}));
    EXPECT_FALSE(TestFileExists(Dir / u"half.img"));
    // Without Replace, or onto a read-only file without EvenIfReadOnly, the destination stays as it was.
    Make(u"src.img", "newer");
    EXPECT_EQ(FM.Copy(*Dest, *Src, false, false, false, 0, &Progress), COPY_WriteFail);
    EXPECT_EQ(TestFileText(Dest), Data);
    EXPECT_EQ(FM.Copy(*Locked, *Src, true, false, false, 0, nullptr), COPY_Fail);
    EXPECT_TRUE(FM.IsReadOnly(*Locked));
    EXPECT_EQ(FM.Copy(*Locked, *Src, true, true, false, 0, nullptr), COPY_Ok);
    EXPECT_EQ(TestFileText(Locked), "newer");
    EXPECT_FALSE(FM.IsReadOnly(*Locked)); // attributes cleared unless kept

    // Trees: existing folders count as made; a full one goes only as a whole, read-only files and all.
    const FString Deep = Dir / u"a/b\\c";
    EXPECT_TRUE(FM.MakeDirectory(*Deep, true));
    EXPECT_TRUE(FM.MakeDirectory(*Deep, false));
    MakeReadOnly(u"a/b/c/f.img", "f");
    EXPECT_FALSE(FM.DeleteDirectory(*(Dir / u"a"), true, false));
    EXPECT_TRUE(FM.DeleteDirectory(*(Dir / u"a"), true, true));
    EXPECT_EQ(CoreOS::FileGetAttributes(*(Dir / u"a")), CoreOS::FILEATTR_Invalid);
    // An absolute path beyond the walk's 256-unit buffer is refused before anything is made.
    FString Long = Dir / u"long";
    while (Long.Len() < 300)
        Long += u"/abcdefgh";
    EXPECT_FALSE(FM.MakeDirectory(*Long, true));
    EXPECT_EQ(CoreOS::FileGetAttributes(*(Dir / u"long")), CoreOS::FILEATTR_Invalid);
}

TEST_F(FFileManagerTest, FindFilesListsNamesByKind)
{
    Make(u"a.txt", "");
    Make(u"B.dat", "");
    Make(u"noext", "");
    ASSERT_TRUE(FM.MakeDirectory(*(Dir / u"sub"), false));
    using V = std::vector<std::string>;
    EXPECT_EQ(Sorted(FM.FindFiles(*(Dir / u"*"), true, false)), (V{"B.dat", "a.txt", "noext"}));
    EXPECT_EQ(Sorted(FM.FindFiles(*(Dir / u"*"), false, true)), (V{"sub"}));
    EXPECT_EQ(Sorted(FM.FindFiles(*(Dir / u"*.*"), true, true)), (V{"B.dat", "a.txt", "noext", "sub"}));
    EXPECT_EQ(Sorted(FM.FindFiles(*(Dir / u"*.DAT"), true, true)), (V{"B.dat"}));
    EXPECT_EQ(Sorted(FM.FindFiles(*(Dir / u"noext.*"), true, true)), (V{"noext"})); // as if ending in a dot
    EXPECT_EQ(FM.FindFiles(*(Dir / u"*.none"), true, true).Num(), 0);
}

TEST_F(FFileManagerTest, RelativePathsStartInTheDefaultDirectory)
{
    const FString Was = FM.GetDefaultDirectory();
    auto Slashes = [](FString Path)
    {
        std::string Text = Path.ToUtf8();
        std::replace(Text.begin(), Text.end(), '\\', '/');
        return Text;
    };
    ASSERT_TRUE(FM.MakeDirectory(*(Dir / u"sub"), false));
    ASSERT_TRUE(FM.SetDefaultDirectory(*(Dir / u"sub")));
    const std::string Base = Slashes(Dir.Path());
    EXPECT_EQ(Slashes(FM.GetAbsolutePath(u".\\x.img")), Base + "sub/x.img");
    EXPECT_EQ(Slashes(FM.GetAbsolutePath(u"../x.img")), Base + "x.img");
    EXPECT_EQ(FM.GetAbsolutePath(u"C:\\x.img"), u"C:\\x.img");
    Make(u"sub/rel.img", "abc");
    EXPECT_EQ(FM.FileSize(u"rel.img"), 3);
    EXPECT_TRUE(FM.SetDefaultDirectory(*Was));
}

// No temporary folder here: on Windows each child runs the test again and ends without destructors.
TEST(FFileManagerDeathTest, MisuseAndMustSucceedFailuresAreFatal)
{
    Core::Imp::FFileManagerWindows FM;
    char16_t Self[256];
    CoreOS::ModuleFileName(Self, 256);
    const FString Missing = FString(appBaseDir()) + u"no-such-dir/missing.bin";
    EXPECT_EXIT(
        {
            std::unique_ptr<FArchive> Ar(FM.CreateFileReader(Self, 0, nullptr));
            Ar->Seek(Ar->TotalSize() + 1);
        },
        testing::ExitedWithCode(1),
        "Critical Error At Startup: Assertion failed: InPos<=Size \\[File:.*FFileManagerWindows\\.cpp\\]");
    EXPECT_EXIT(FM.CreateFileReader(*Missing, READ_MustSucceed, nullptr), testing::ExitedWithCode(1),
                "Critical Error At Startup: Failed to read file: .*missing\\.bin");
}
