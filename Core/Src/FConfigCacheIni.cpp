// The INI config cache: reading, querying, changing and writing INI files.
#include "Core/Inc/FConfigCacheIni.h"

#include <cstdlib>
#include <string>

#include "Core/Inc/CoreFileText.h"
#include "Core/Inc/CoreUtil.h"
#include "Core/Inc/FGlobalVars.h"

namespace
{
using Core::Service::FConfigSection;

FFileManager* FileManager()
{
    return GGlobalVars()->GetFileManager();
}

bool TooLong(const char16_t* Name)
{
    return Name && appStrlen(Name) > Core::Imp::FConfigCacheIni::MAX_NAME;
}

// The decimal value as the C runtime reads it: leading white space, a sign, digits; 0 without digits.
// Values beyond 32 bits are held at the nearest limit.
int32_t ParseInt(const char16_t* Text)
{
    while (*Text == ' ' || (*Text >= '\t' && *Text <= '\r'))
        ++Text;
    const bool bNegative = *Text == '-';
    if (*Text == '-' || *Text == '+')
        ++Text;
    int64_t Value = 0;
    for (; *Text >= '0' && *Text <= '9'; ++Text)
        if (Value <= int64_t(INT32_MAX) + 1)
            Value = Value * 10 + (*Text - '0');
    if (bNegative)
        Value = -Value;
    return Value > INT32_MAX ? INT32_MAX : Value < INT32_MIN ? INT32_MIN : int32_t(Value);
}

float ParseFloat(const char16_t* Text)
{
    std::string Narrow;
    for (; *Text && *Text < 128; ++Text)
        Narrow += char(*Text);
    return float(std::strtod(Narrow.c_str(), nullptr));
}

// A value holding another '=' carries several pairs: the first word belongs to the line's key, every further
// word is "key=value" of its own. Blanks inside double quotes do not end a word.
void AddWords(FConfigSection& Section, const FString& Key, const char16_t* Value, int32_t Length)
{
    enum
    {
        MAX_WORD = 1023
    };
    const char16_t* P = Value;
    const char16_t* End = Value + Length;
    bool bFirst = true;
    while (P < End)
    {
        while (P < End && appIsBlank(*P))
            ++P;
        if (P >= End)
            break;
        FString Word;
        int32_t Count = 0;
        bool bQuoted = false;
        for (; P < End && (bQuoted || !appIsBlank(*P)); ++P)
        {
            if (*P == '"')
                bQuoted = !bQuoted;
            if (Count < MAX_WORD)
            {
                Word += *P;
                ++Count;
            }
        }
        if (bFirst)
        {
            Section.Add(Key, Word);
            bFirst = false;
            continue;
        }
        const int32_t Equals = Word.InStr(u"=");
        if (Equals < 0)
            Section.Add(FString(), FString());
        else
            Section.Add(Word.Left(Equals), Word.Mid(Equals + 1));
    }
}

// One "key=value" line from Start to End into Section (a line without '=' is no pair): trailing blanks and
// double quotes around the value go, and a value holding '=' gives a pair per word.
void ReadPair(FConfigSection& Section, const char16_t* Start, const char16_t* End)
{
    const char16_t* Equals = Start;
    while (Equals < End && *Equals != '=')
        ++Equals;
    if (Equals == End)
        return;
    const FString Key(Start, int32_t(Equals - Start));
    const char16_t* Value = Equals + 1;
    int32_t ValueLen = int32_t(End - Value);
    while (ValueLen > 0 && Value[ValueLen - 1] == ' ')
        --ValueLen;
    if (ValueLen >= 2 && Value[0] == '"' && Value[ValueLen - 1] == '"')
    {
        ++Value;
        ValueLen -= 2;
    }
    bool bMore = false;
    for (int32_t i = 0; i < ValueLen && !bMore; ++i)
        bMore = Value[i] == '=';
    if (bMore)
        AddWords(Section, Key, Value, ValueLen);
    else
        Section.Add(Key, FString(Value, ValueLen));
}
} // namespace

namespace Core
{
namespace Imp
{
using namespace Core::Service;

// ---- One file -----------------------------------------------------------------------------------------------

void FConfigFile::Read(FFileManager* InFileManager, const char16_t* Path)
{
    Empty();
    FString Text;
    if (!appLoadFileToString(Text, InFileManager, Path))
        return;

    // Index of the current section in the pair list; indices stay valid while sections are only added.
    int32_t Current = -1;
    const char16_t* Ptr = *Text;
    while (*Ptr)
    {
        while (*Ptr == '\r' || *Ptr == '\n')
            ++Ptr;
        const char16_t* Start = Ptr;
        while (*Ptr && *Ptr != '\r' && *Ptr != '\n')
            ++Ptr;
        const int32_t Len = int32_t(Ptr - Start);
        if (Len == 0)
            continue;

        if (Start[0] == '[' && Start[Len - 1] == ']' && Len >= 2)
            Current = OpenSection(FString(Start + 1, Len - 2));
        else if (Current >= 0)
            ReadPair(Pairs[Current].Value, Start, Ptr);
    }
}

int32_t FConfigFile::OpenSection(const FString& Name)
{
    // A refused name leaves its lines outside any section rather than in the one before.
    if (Name.Len() > FConfigCacheIni::MAX_NAME)
        return -1;
    int32_t Index = FindIndex(Name);
    if (Index < 0)
    {
        Set(Name, FConfigSection());
        Index = FindIndex(Name);
    }
    return Index;
}


bool FConfigFile::Write(FFileManager* InFileManager, const char16_t* Path)
{
    if (!Dirty || NoSave)
        return true;
    const char16_t* Quote = Quotes ? u"\"" : u"";
    FString Text;
    for (const auto& Section : *this)
    {
        Text += u"[";
        Text += Section.Key;
        Text += u"]\r\n";
        for (const auto& Pair : Section.Value)
        {
            Text += Pair.Key;
            Text += u"=";
            Text += Quote;
            Text += Pair.Value;
            Text += Quote;
            Text += u"\r\n";
        }
        Text += u"\r\n";
    }
    // A file without sections has nothing to write, and nothing is pending any more either.
    if (Text.IsEmpty() || appSaveStringToFile(Text, InFileManager, Path))
    {
        Dirty = 0;
        return true;
    }
    // The changes stay pending, so the next flush tries again.
    return false;
}

// ---- The cache ----------------------------------------------------------------------------------------------

FConfigCacheIni::FConfigCacheIni() : ConfigDir(u"ini/") {}

FConfigCacheIni::~FConfigCacheIni()
{
    Flush(true, nullptr);
}

FString FConfigCacheIni::CacheName(const char16_t* Filename)
{
    FString Name(Filename ? Filename : u"System");
    const int32_t Len = Name.Len();
    if (!(Len >= 5 && (Name[Len - 4] == '.' || Name[Len - 5] == '.')))
        Name += u".ini";
    return Name;
}

FConfigFile* FConfigCacheIni::FindConfigFile(const char16_t* Filename, bool bCreate)
{
    if (TooLong(Filename))
        return nullptr;
    const FString Name = CacheName(Filename);
    if (FConfigFile* Held = Find(Name))
        return Held;
    const FString Path = ConfigDir + Name;
    // Nothing is held for a missing file, so one made later is still found.
    if (!bCreate && FileManager()->FileSize(*Path) < 0)
        return nullptr;
    FConfigFile& File = Set(Name, FConfigFile());
    File.Read(FileManager(), *Path);
    return &File;
}

FConfigSection* FConfigCacheIni::FindSection(const char16_t* Section, const char16_t* Filename)
{
    if (TooLong(Section))
        return nullptr;
    FConfigFile* File = FindConfigFile(Filename, false);
    return File ? File->Find(FString(Section)) : nullptr;
}

bool FConfigCacheIni::GetBool(const char16_t* Section, const char16_t* Key, bool& Value, const char16_t* Filename)
{
    char16_t Text[80];
    if (!GetStringBuffer(Section, Key, Text, 80, Filename))
        return false;
    Value = appStricmp(Text, u"True") == 0 || ParseInt(Text) == 1;
    return true;
}

bool FConfigCacheIni::GetInt(const char16_t* Section, const char16_t* Key, int32_t& Value, const char16_t* Filename)
{
    char16_t Text[80];
    if (!GetStringBuffer(Section, Key, Text, 80, Filename))
        return false;
    Value = ParseInt(Text);
    return true;
}

bool FConfigCacheIni::GetFloat(const char16_t* Section, const char16_t* Key, float& Value, const char16_t* Filename)
{
    char16_t Text[80];
    if (!GetStringBuffer(Section, Key, Text, 80, Filename))
        return false;
    Value = ParseFloat(Text);
    return true;
}

bool FConfigCacheIni::GetString(const char16_t* Section, const char16_t* Key, FString& Value,
                                const char16_t* Filename)
{
    char16_t Text[4096];
    if (!GetStringBuffer(Section, Key, Text, 4096, Filename))
        return false;
    Value = Text;
    return true;
}

bool FConfigCacheIni::GetStringBuffer(const char16_t* Section, const char16_t* Key, char16_t* Value, int32_t Size,
                                      const char16_t* Filename)
{
    if (Size > 0)
        Value[0] = 0;
    FConfigSection* Found = FindSection(Section, Filename);
    const FString* Text = Found ? Found->Find(FString(Key)) : nullptr;
    if (!Text)
        return false;
    appStrncpy(Value, **Text, Size);
    return true;
}

bool FConfigCacheIni::GetArray(const char16_t* Section, const char16_t* Key, TDynArray<FString>& Values,
                               const char16_t* Filename)
{
    if (FConfigSection* Found = FindSection(Section, Filename))
    {
        const FString Wanted(Key);
        for (int32_t i = Found->Pairs.Num() - 1; i >= 0; --i)
            if (Core::Template::KeysEqual(Found->Pairs[i].Key, Wanted))
                Values.AddItem(Found->Pairs[i].Value);
    }
    return Values.Num() > 0;
}

const char16_t* FConfigCacheIni::GetStr(const char16_t* Section, const char16_t* Key, const char16_t* Filename)
{
    char16_t* Text = appScratchText();
    GetStringBuffer(Section, Key, Text, SCRATCH_TEXT_SIZE, Filename);
    return Text;
}

bool FConfigCacheIni::GetSection(const char16_t* Section, char16_t* Result, int32_t Size, const char16_t* Filename)
{
    if (Size > 0)
        Result[0] = 0;
    FConfigSection* Found = FindSection(Section, Filename);
    if (!Found)
        return false;
    if (Size <= 0)
        return true;
    int32_t Used = 0;
    for (const auto& Pair : *Found)
    {
        const int32_t KeyLen = Pair.Key.Len();
        const int32_t ValueLen = Pair.Value.Len();
        // The pair, its zero, and the closing zero must all fit.
        if (Used + KeyLen + 1 + ValueLen + 1 + 1 > Size)
            break;
        for (int32_t i = 0; i < KeyLen; ++i)
            Result[Used++] = (*Pair.Key)[i];
        Result[Used++] = '=';
        for (int32_t i = 0; i < ValueLen; ++i)
            Result[Used++] = (*Pair.Value)[i];
        Result[Used++] = 0;
    }
    Result[Used] = 0;
    return true;
}

FConfigSection* FConfigCacheIni::GetSectionPtr(const char16_t* Section, bool bForce, bool bConst,
                                               const char16_t* Filename)
{
    if (TooLong(Section))
        return nullptr;
    FConfigFile* File = FindConfigFile(Filename, bForce);
    if (!File)
        return nullptr;
    const FString Name(Section);
    FConfigSection* Found = File->Find(Name);
    if (!Found && bForce)
        Found = &File->Set(Name, FConfigSection());
    if (Found && (bForce || !bConst))
        File->Dirty = 1;
    return Found;
}

void FConfigCacheIni::EmptySection(const char16_t* Section, const char16_t* Filename)
{
    if (TooLong(Section))
        return;
    FConfigFile* File = FindConfigFile(Filename, false);
    FConfigSection* Found = File ? File->Find(FString(Section)) : nullptr;
    if (!Found)
        return;
    Found->Empty();
    File->Dirty = 1;
    Flush(false, *CacheName(Filename));
}

bool FConfigCacheIni::GetSectionNames(TDynArray<FString>& Names, const char16_t* Filename)
{
    Names.Empty();
    if (FConfigFile* File = FindConfigFile(Filename, false))
        for (const auto& Section : *File)
            Names.AddItem(Section.Key);
    return Names.Num() > 0;
}

void FConfigCacheIni::SetBool(const char16_t* Section, const char16_t* Key, bool Value, const char16_t* Filename)
{
    SetString(Section, Key, Value ? u"True" : u"False", Filename, true);
}

void FConfigCacheIni::SetInt(const char16_t* Section, const char16_t* Key, int32_t Value, const char16_t* Filename)
{
    char16_t Text[30];
    appFormat(Text, 30, u"%i", Value);
    SetString(Section, Key, Text, Filename, true);
}

void FConfigCacheIni::SetFloat(const char16_t* Section, const char16_t* Key, float Value, const char16_t* Filename)
{
    SetString(Section, Key, *FString::Printf(u"%f", double(Value)), Filename, true);
}

void FConfigCacheIni::SetString(const char16_t* Section, const char16_t* Key, const char16_t* Value,
                                const char16_t* Filename, bool bReplace)
{
    if (TooLong(Section))
        return;
    FConfigFile* File = FindConfigFile(Filename, true);
    if (!File)
        return;
    const FString Name(Section);
    FConfigSection* Found = File->Find(Name);
    if (!Found)
        Found = &File->Set(Name, FConfigSection());
    FString* Existing = bReplace ? Found->Find(FString(Key)) : nullptr;
    if (Existing)
    {
        if (appStricmp(**Existing, Value) != 0)
        {
            *Existing = Value;
            File->Dirty = 1;
        }
        return;
    }
    Found->Add(FString(Key), FString(Value));
    File->Dirty = 1;
}

void FConfigCacheIni::Flush(bool bRead, const char16_t* Filename)
{
    for (auto& Held : Pairs)
    {
        const FString& Name = Held.Key;
        const int32_t Dot = Name.InStr(u".");
        const bool bNamed = !Filename || appStricmp(*Name, Filename) == 0 ||
                            (Dot >= 0 && appStricmp(*Name.Left(Dot), Filename) == 0);
        if (bNamed)
            Held.Value.Write(FileManager(), *(ConfigDir + Name));
    }
    if (!bRead)
        return;
    // A file whose write failed stays held: dropping it would drop its changes too.
    if (Filename)
    {
        const FConfigFile* Held = Find(FString(Filename));
        if (Held && !Held->Dirty)
            Remove(FString(Filename));
        return;
    }
    TDynArray<FString> Dropped;
    for (const auto& Held : Pairs)
        if (!Held.Value.Dirty)
            Dropped.AddItem(Held.Key);
    if (Dropped.Num() == Num())
        Empty();
    else
        for (const FString& Name : Dropped)
            Remove(Name);
}

void FConfigCacheIni::UnloadFile(const char16_t* Filename)
{
    if (FindConfigFile(Filename, true))
        Remove(CacheName(Filename));
}

void FConfigCacheIni::Detach(const char16_t* Filename)
{
    if (FConfigFile* File = FindConfigFile(Filename, true))
        File->NoSave = 1;
}

void FConfigCacheIni::Exit()
{
    Flush(true, nullptr);
}

void FConfigCacheIni::Dump(FOutputDevice& Ar)
{
    Ar.Logf(u"Files map:");
    TMapBase<FString, FConfigFile>::Dump(Ar);
}
} // namespace Imp
} // namespace Core
