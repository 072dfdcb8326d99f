// Paths: separators, absolute paths, joining, folder and file name.
#include "Core/Inc/CorePath.h"

#include "Core/Inc/CoreOS.h"

namespace
{
// Where the last component of Path (no trailing separators) starts.
int32_t LastComponentStart(const FString& Path)
{
    int32_t Start = Path.Len();
    while (Start > 0 && !appIsPathSeparator(Path[Start - 1]))
        --Start;
    return Start;
}
} // namespace

bool appIsPathSeparator(char16_t C)
{
    return C == u'/' || C == u'\\';
}

bool appIsAbsolutePath(const char16_t* Path)
{
    return Path && (appIsPathSeparator(Path[0]) || (Path[0] && Path[1] == u':'));
}

char16_t appPathSeparator()
{
    return CoreOS::PathSeparator();
}

FString appWithSystemSeparators(const FString& Path)
{
    const char16_t Separator = appPathSeparator();
    FString Result = Path;
    for (int32_t i = 0; i < Result.Len(); ++i)
        if (appIsPathSeparator(Result[i]))
            Result[i] = Separator;
    return Result;
}

FString appWithoutTrailingSeparators(FString Path)
{
    int32_t Len = Path.Len();
    while (Len > 1 && appIsPathSeparator(Path[Len - 1]))
        --Len;
    return Len == Path.Len() ? Path : Path.Left(Len);
}

FString appWithTrailingSeparator(const FString& Path)
{
    FString Dir = appWithSystemSeparators(Path);
    if (Dir.IsEmpty() || !appIsPathSeparator(Dir[Dir.Len() - 1]))
        Dir += appPathSeparator();
    return Dir;
}

FString appPathJoin(const FString& Folder, const FString& Name)
{
    const FString Base = appWithoutTrailingSeparators(Folder);
    if (Base.IsEmpty() || appIsPathSeparator(Base[Base.Len() - 1]))
        return Base + Name;
    FString Joined = Base;
    Joined += appPathSeparator();
    return Joined + Name;
}

FString appPathFolder(const FString& Path)
{
    const FString Trimmed = appWithoutTrailingSeparators(Path);
    return Trimmed.Left(LastComponentStart(Trimmed));
}

FString appPathFileName(const FString& Path)
{
    const FString Trimmed = appWithoutTrailingSeparators(Path);
    return Trimmed.Mid(LastComponentStart(Trimmed));
}

FString appPathAsOnDisk(const FString& Path)
{
    char16_t Buffer[4096];
    CoreOS::PathOnDisk(*Path, Buffer, 4096);
    return appWithSystemSeparators(FString(Buffer));
}

bool appPathExists(const FString& Path)
{
    return CoreOS::FileGetAttributes(*Path) != CoreOS::FILEATTR_Invalid;
}

bool appIsFolder(const FString& Path)
{
    const uint32_t Attributes = CoreOS::FileGetAttributes(*Path);
    return Attributes != CoreOS::FILEATTR_Invalid && (Attributes & CoreOS::FILEATTR_Directory);
}

bool appIsFile(const FString& Path)
{
    const uint32_t Attributes = CoreOS::FileGetAttributes(*Path);
    return Attributes != CoreOS::FILEATTR_Invalid && !(Attributes & CoreOS::FILEATTR_Directory);
}

bool appIsDotEntry(const char16_t* Name)
{
    return Name[0] == u'.' && (Name[1] == 0 || (Name[1] == u'.' && Name[2] == 0));
}

FString appCurrentDirectory()
{
    char16_t Current[4096];
    const int32_t CurrentLen = CoreOS::DirGetCurrent(Current, 4096);
    if (CurrentLen <= 0 || CurrentLen >= 4096 - 1)
        return FString();
    return appWithSystemSeparators(FString(Current));
}

FString appAbsolutePath(const FString& Path)
{
    return appAbsolutePath(Path, appCurrentDirectory());
}

FString appAbsolutePath(const FString& Path, const FString& Base)
{
    if (appIsAbsolutePath(*Path) || Base.IsEmpty())
        return appWithSystemSeparators(Path);
    // "." and a trailing "/." name the folder itself.
    FString Relative = Path;
    while (Relative == u"." || Relative.EndsWith(u"/.") || Relative.EndsWith(u"\\."))
        Relative = Relative.Left(Relative.Len() - 1);
    while (Relative.StartsWith(u"./") || Relative.StartsWith(u".\\"))
        Relative = Relative.Mid(2);
    return appWithSystemSeparators(appWithTrailingSeparator(Base) + Relative);
}
