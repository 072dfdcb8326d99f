// FString's out-of-line routines: search, split, trimming, formatting and conversions.
#include "Core/Inc/CoreTemplateString.h"

#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreUtf8.h"

namespace Core
{
namespace Template
{
int32_t FString::InStr(const char16_t* Text, int32_t Start) const
{
    if (Start < 0 || Start > Len())
        return -1;
    const char16_t* Found = appStrstr(**this + Start, Text);
    return Found ? int32_t(Found - **this) : -1;
}

int32_t FString::InStrNoCase(const char16_t* Text, int32_t Start) const
{
    const int32_t FindLen = appStrlen(Text);
    for (int32_t i = Start < 0 ? 0 : Start; i + FindLen <= Len(); ++i)
        if (appStrnicmp(**this + i, Text, FindLen) == 0)
            return i;
    return -1;
}

bool FString::StartsWith(const char16_t* Text) const
{
    const int32_t N = appStrlen(Text);
    return N <= Len() && std::memcmp(**this, Text, size_t(N) * sizeof(char16_t)) == 0;
}

bool FString::EndsWith(const char16_t* Text) const
{
    const int32_t N = appStrlen(Text);
    return N <= Len() && std::memcmp(**this + Len() - N, Text, size_t(N) * sizeof(char16_t)) == 0;
}

bool FString::EndsWithNoCase(const char16_t* Text) const
{
    const int32_t N = appStrlen(Text);
    return N <= Len() && appStricmp(**this + Len() - N, Text) == 0;
}

FString FString::TrimBlanks() const
{
    int32_t Start = 0;
    int32_t End = Len();
    while (Start < End && appIsBlank((*this)[Start]))
        ++Start;
    while (End > Start && appIsBlank((*this)[End - 1]))
        --End;
    return Mid(Start, End - Start);
}

int32_t FString::Split(const char16_t* Delimiter, TDynArray<FString>* InArray) const
{
    appCheck(InArray);
    TDynArray<FString>* Out = InArray;
    const int32_t DelimLen = appStrlen(Delimiter);
    int32_t Added = 0;
    int32_t Start = 0;
    if (DelimLen > 0)
    {
        for (int32_t Found; (Found = InStr(Delimiter, Start)) >= 0; Start = Found + DelimLen)
        {
            Out->AddItem(Mid(Start, Found - Start));
            ++Added;
        }
    }
    Out->AddItem(Mid(Start));
    return Added + 1;
}

FString FString::PrintfV(const char16_t* Format, va_list Args)
{
    // Most texts fit the buffer on the stack; a longer one (a whole report put into a frame) is formatted again
    // into buffers twice as large until it fits, never cut.
    char16_t Buffer[4096];
    va_list Again;
    va_copy(Again, Args);
    const int32_t Length = appFormatV(Buffer, 4096, Format, Again);
    va_end(Again);
    if (Length >= 0)
        return FString(Buffer);
    for (int32_t Capacity = 2 * 4096; Capacity <= (1 << 28); Capacity *= 2)
    {
        TDynArray<char16_t> Larger;
        Larger.Add(Capacity);
        va_copy(Again, Args);
        const int32_t LargerLength = appFormatV(Larger.GetData(), Capacity, Format, Again);
        va_end(Again);
        if (LargerLength >= 0)
            return FString(Larger.GetData());
    }
    return FString(Buffer);
}

FString FString::Printf(const char16_t* Format, ...)
{
    va_list Args;
    va_start(Args, Format);
    FString Result = PrintfV(Format, Args);
    va_end(Args);
    return Result;
}

FString FString::FromAnsi(const char* Text)
{
    if (!Text || !*Text)
        return FString();
    const int32_t Len = CoreOS::AnsiToWideLength(Text);
    FString Result;
    if (Len <= 1)
        return Result;
    Result.Add(Len);
    CoreOS::AnsiToWide(Text, Result.Data, Len);
    Result.Data[Len - 1] = 0;
    // A conversion may produce fewer units than it announced: keep the count honest.
    const int32_t Real = appStrlen(Result.Data);
    if (Real == 0)
        Result.Empty();
    else if (Real + 1 != Result.ArrayNum)
        Result.SetNum(Real + 1);
    return Result;
}

FString FString::FromUtf8(const char* Text)
{
    const std::u16string Wide = appUtf8ToUtf16(Text);
    return FString(Wide.c_str(), int32_t(Wide.size()));
}

std::string FString::ToUtf8() const
{
    return appUtf16ToUtf8(**this);
}

std::string FString::ToBytes() const
{
    std::string Out;
    Out.reserve(size_t(Len()));
    for (const char16_t* Text = **this; *Text; ++Text)
        Out += char(*Text < 256 ? *Text : 127);
    return Out;
}
} // namespace Template
} // namespace Core
