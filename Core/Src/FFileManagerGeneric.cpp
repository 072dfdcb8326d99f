// The archive copy and the directory-tree walks, written on the file manager's own operations.
#include "Core/Inc/FFileManagerGeneric.h"

#include <algorithm>
#include <memory>

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CorePath.h"
#include "Core/Inc/CoreUtil.h"

namespace
{
// Prefixes that cannot (and need not) be created: "C:", a lone separator, "\\server" and "\\server\share".
bool IsRootPrefix(const char16_t* Prefix)
{
    const int32_t Len = appStrlen(Prefix);
    if (Len == 2 && Prefix[1] == ':')
        return true;
    if (Len == 1 && appIsPathSeparator(Prefix[0]))
        return true;
    if (Len >= 2 && appIsPathSeparator(Prefix[0]) && appIsPathSeparator(Prefix[1]))
    {
        int32_t Separators = 0;
        for (int32_t i = 2; i < Len; ++i)
            Separators += appIsPathSeparator(Prefix[i]) ? 1 : 0;
        return Separators <= 1;
    }
    return false;
}

// The directory with a trailing separator, keeping the kind of separator the caller wrote.
FString WithSeparator(const char16_t* Directory)
{
    FString Result(Directory);
    if (Result.Len() > 0 && appIsPathSeparator(Result[Result.Len() - 1]))
        return Result;
    Result += (Result.InStr(u"/") >= 0 && Result.InStr(u"\\") < 0) ? u'/' : u'\\';
    return Result;
}
} // namespace

namespace Core
{
namespace Imp
{
using namespace Core::Service;

namespace
{
// Copies what Reader holds into Writer in steps, telling Progress at each whole percent.
ECopyResult CopyBytes(FArchive& Reader, FArchive& Writer, FCopyProgress* Progress)
{
    enum
    {
        COPY_STEP = 32768
    };
    std::unique_ptr<uint8_t[]> Buffer(new uint8_t[COPY_STEP]);
    const int64_t Size = Reader.TotalSize();
    int64_t LastPercent = 0;
    for (int64_t Done = 0; Done < Size;)
    {
        const int32_t Count = int32_t(std::min<int64_t>(COPY_STEP, Size - Done));
        Reader.Serialize(Buffer.get(), Count);
        if (Reader.GetError())
            return COPY_ReadFail;
        Writer.Serialize(Buffer.get(), Count);
        if (Writer.GetError())
            return COPY_WriteFail;
        // The share of what had been copied before this step; 64-bit so no size overflows the product.
        const int64_t Percent = Done * 100 / Size;
        Done += Count;
        if (Percent != LastPercent)
        {
            LastPercent = Percent;
            if (Progress && !Progress->Poll(float(Percent) / 100.0f))
                return COPY_Canceled;
        }
    }
    return COPY_Ok;
}
} // namespace

ECopyResult FFileManagerGeneric::Copy(const char16_t* Dest, const char16_t* Src, bool bReplace, bool bEvenIfReadOnly,
                                      bool, int32_t Compress, FCopyProgress* Progress)
{
    if (Progress && !Progress->Poll(0.0f))
        return COPY_Canceled;
    if (Compress == 1 || Compress == 2)
        appError(u"File compression not enabled");
    // The writer would truncate the very file the reader is about to read.
    if (CoreOS::IsSameFile(Src, Dest))
        return COPY_Fail;

    std::unique_ptr<FArchive> Reader(CreateFileReader(Src, 0, nullptr));
    if (!Reader)
        return COPY_ReadFail;
    const uint32_t WriteFlags = (bReplace ? 0u : uint32_t(WRITE_KeepExisting)) |
                                (bEvenIfReadOnly ? uint32_t(WRITE_ClearReadOnly) : 0u);
    std::unique_ptr<FArchive> Writer(CreateFileWriter(Dest, WriteFlags, nullptr));
    if (!Writer)
        return COPY_WriteFail;

    ECopyResult Result = CopyBytes(*Reader, *Writer, Progress);
    if (!Writer->Close())
        Result = COPY_WriteFail;
    Writer.reset();
    if (Result != COPY_Ok)
        Delete(Dest, false, false);
    if (!Reader->Close())
        Result = COPY_ReadFail;
    Reader.reset();

    if (Result == COPY_Ok && Progress && !Progress->Poll(1.0f))
        Result = COPY_Canceled;
    return Result;
}

bool FFileManagerGeneric::MakeDirectory(const char16_t* Path, bool Tree)
{
    appCheck(Tree);
    const FString Absolute = GetAbsolutePath(Path);
    if (Absolute.Len() > MAX_TREE_PATH)
        return false;

    char16_t Prefix[MAX_TREE_PATH + 1];
    int32_t CreateCount = 0;
    const char16_t* Full = *Absolute;
    for (int32_t i = 0;; ++i)
    {
        const char16_t C = Full[i];
        if (appIsPathSeparator(C) || C == 0)
        {
            Prefix[i] = 0;
            if (i > 0 && !IsRootPrefix(Prefix))
            {
                if (!MakeDirectory(Prefix, false))
                    return false;
                ++CreateCount;
            }
        }
        if (C == 0)
            break;
        Prefix[i] = C;
    }
    return CreateCount != 0;
}

bool FFileManagerGeneric::DeleteDirectory(const char16_t* Path, bool bRequireExists, bool Tree)
{
    appCheck(Tree);
    // An empty path would name the current directory through the wildcard below.
    if (!Path || !*Path)
        return false;
    const FString Base = WithSeparator(Path);
    const FString Wildcard = Base + u"*";
    for (const FString& Name : FindFiles(*Wildcard, true, false))
        Delete(*(Base + Name), true, true);
    for (const FString& Name : FindFiles(*Wildcard, false, true))
        DeleteDirectory(*(Base + Name), true, true);
    return DeleteDirectory(Path, bRequireExists, false);
}
} // namespace Imp
} // namespace Core
