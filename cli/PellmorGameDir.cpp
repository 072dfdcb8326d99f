// The default game folder: the registry on Windows, a Wine prefix's registry files on Linux.
#include "cli/PellmorGameDir.h"

#include "Core/Inc/CoreFileText.h"
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtil.h"
#include "Core/Inc/FGlobalVars.h"

const char16_t* const GGameDirRegistryKey = u"SOFTWARE\\Quorrin: San Andreas";
const char16_t* const GGameDirRegistryValue = u"GTA:SA Path";
const char16_t* const GDefaultGameDir = u"C:\\Program Files\\Rockstar Games\\GTA San andreas\\";

namespace
{
FString ReadRegistryGameDir()
{
    // As the dialog reads it: a zeroed buffer, two bytes short of its size announced, the text up to its zero.
    char16_t Buffer[4096] = {};
    uint32_t Bytes = sizeof(Buffer) - 4;
    if (CoreOS::RegistryReadValue(GGameDirRegistryKey, GGameDirRegistryValue, Buffer, &Bytes) &&
        Bytes / 2 < 4096)
        Buffer[Bytes / 2] = 0;
    return FString(Buffer);
}

int32_t HexDigit(char16_t C)
{
    if (C >= u'0' && C <= u'9')
        return C - u'0';
    if (C >= u'a' && C <= u'f')
        return C - u'a' + 10;
    if (C >= u'A' && C <= u'F')
        return C - u'A' + 10;
    return -1;
}

// Undoes the escapes of a quoted text of a .reg file, starting just after its opening quote. Returns the index
// after the closing quote, or -1 when the text does not end on this line.
int32_t ReadQuoted(const FString& Line, int32_t Pos, FString& Out)
{
    Out.Empty();
    while (Pos < Line.Len())
    {
        const char16_t C = Line[Pos++];
        if (C == u'"')
            return Pos;
        if (C != u'\\' || Pos >= Line.Len())
        {
            Out += C;
            continue;
        }
        const char16_t E = Line[Pos++];
        if (E == u'n')
            Out += u'\n';
        else if (E == u't')
            Out += u'\t';
        else if (E == u'r')
            Out += u'\r';
        else if (E == u'0')
            continue; // a terminator inside the text: the text ends there anyway
        else if (E == u'x')
        {
            int32_t Unit = 0;
            for (int32_t Digits = 0; Digits < 4 && Pos < Line.Len() && HexDigit(Line[Pos]) >= 0; ++Digits)
                Unit = Unit * 16 + HexDigit(Line[Pos++]);
            Out += char16_t(Unit);
        }
        else
            Out += E; // \\ and \" and anything else: the character itself
    }
    return -1;
}

// The key of a line "[Software\\Quorrin: San Andreas] 1234567890", with the doubled backslashes undone.
bool ReadKeyLine(const FString& Line, FString& Key)
{
    if (Line.Len() < 2 || Line[0] != u'[')
        return false;
    int32_t Close = -1;
    for (int32_t i = Line.Len() - 1; i > 0 && Close < 0; --i)
        if (Line[i] == u']')
            Close = i;
    if (Close < 0)
        return false;
    Key.Empty();
    for (int32_t i = 1; i < Close; ++i)
    {
        Key += Line[i];
        if (Line[i] == u'\\' && i + 1 < Close && Line[i + 1] == u'\\')
            ++i;
    }
    return true;
}

FString WithoutTrailingSeparators(FString Path)
{
    while (Path.Len() > 1 && (Path[Path.Len() - 1] == u'/' || Path[Path.Len() - 1] == u'\\'))
        Path = Path.Left(Path.Len() - 1);
    return Path;
}
} // namespace

bool ReadWineRegValue(const FString& RegText, const FString& KeyPath, const FString& ValueName, FString& Value)
{
    TDynArray<FString> Lines;
    RegText.Split(u"\n", &Lines);
    bool bInKey = false;
    for (FString Line : Lines)
    {
        if (Line.Len() > 0 && Line[Line.Len() - 1] == u'\r')
            Line = Line.Left(Line.Len() - 1);
        FString Key;
        if (ReadKeyLine(Line, Key))
        {
            bInKey = appStricmp(*Key, *KeyPath) == 0;
            continue;
        }
        if (!bInKey || Line.Len() == 0 || Line[0] != u'"')
            continue;
        FString Name;
        int32_t Pos = ReadQuoted(Line, 1, Name);
        if (Pos < 0 || Pos >= Line.Len() || Line[Pos] != u'=' || appStricmp(*Name, *ValueName) != 0)
            continue;
        const FString Rest = Line.Mid(Pos + 1);
        const int32_t Start = Rest.StartsWith(u"\"") ? 1 : (Rest.StartsWith(u"str(2):\"") ? 8 : -1);
        if (Start >= 0 && ReadQuoted(Rest, Start, Value) >= 0)
            return true;
    }
    return false;
}

FString MapWineDrivePath(const FString& Prefix, const FString& WindowsPath)
{
    const char16_t Drive = WindowsPath.Len() >= 2 ? appToLower(WindowsPath[0]) : 0;
    if (WindowsPath.Len() < 2 || WindowsPath[1] != u':' || Drive < u'a' || Drive > u'z')
        return FString();
    FString Result = WithoutTrailingSeparators(Prefix) + u"/dosdevices/";
    Result += appToLower(WindowsPath[0]);
    Result += u':';
    for (int32_t i = 2; i < WindowsPath.Len(); ++i)
        Result += WindowsPath[i] == u'\\' ? u'/' : WindowsPath[i];
    if (Result[Result.Len() - 1] != u'/')
        Result += u'/';
    return Result;
}

FString GetWinePrefix()
{
    if (const char* Prefix = CoreOS::GetEnv("WINEPREFIX"))
        if (*Prefix)
            return FString::FromUtf8(Prefix);
    if (const char* Home = CoreOS::GetEnv("HOME"))
        if (*Home)
            return WithoutTrailingSeparators(FString::FromUtf8(Home)) + u"/.wine";
    return FString();
}

bool FindWineGameDir(const FString& Prefix, FString& Dir, FString& Why)
{
    const FString RegFile = WithoutTrailingSeparators(Prefix) + u"/system.reg";
    FString Text;
    if (Prefix.IsEmpty() || !appLoadFileToString(Text, GGlobalVars()->GetFileManager(), *RegFile))
    {
        Why = FString::Printf(u"there is no Wine prefix at %s (no system.reg)", *Prefix);
        return false;
    }
    const FString Wow = FString(u"SOFTWARE\\Wow6432Node\\") + (GGameDirRegistryKey + appStrlen(u"SOFTWARE\\"));
    FString Value;
    if (!ReadWineRegValue(Text, GGameDirRegistryKey, GGameDirRegistryValue, Value) &&
        !ReadWineRegValue(Text, Wow, GGameDirRegistryValue, Value))
    {
        Why = FString::Printf(u"the Wine prefix %s has no value \"%s\" under HKEY_LOCAL_MACHINE\\%s", *Prefix,
                              GGameDirRegistryValue, GGameDirRegistryKey);
        return false;
    }
    Dir = MapWineDrivePath(Prefix, Value);
    if (Dir.IsEmpty())
    {
        Why = FString::Printf(u"the Wine prefix %s names the game folder \"%s\", which is no drive path", *Prefix,
                              *Value);
        return false;
    }
    return true;
}

bool FindDefaultGameDir(FString& Dir, FString& From, FString& Why)
{
    Dir = ReadRegistryGameDir();
    if (!Dir.IsEmpty())
    {
        From = u"the registry";
        return true;
    }
    if (CoreOS::HasRegistry())
    {
        Dir = GDefaultGameDir;
        From = u"the default install folder";
        return true;
    }
    const FString Prefix = GetWinePrefix();
    if (!FindWineGameDir(Prefix, Dir, Why))
        return false;
    From = FString(u"the Wine prefix ") + Prefix;
    return true;
}
