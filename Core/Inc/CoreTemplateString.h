// FString: the Core's UTF-16 string, a TDynArray of char16_t whose count includes the terminating zero.
// The empty string holds no storage and reads as "" (one shared empty text, never a null pointer).
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>

#include "Core/Inc/CoreStr.h"
#include "Core/Inc/CoreTemplateArray.h"

namespace Core
{
namespace Template
{
class FString : protected TDynArray<char16_t>
{
public:
    FString() {}
    FString(const FString& Other) : TDynArray<char16_t>(Other) {}
    FString(FString&& Other) noexcept : TDynArray<char16_t>(std::move(Other)) {}
    FString(const char16_t* Text)
    {
        Assign(Text, Text ? appStrlen(Text) : 0);
    }
    // The first Count units of Text (no terminator needed in Text).
    FString(const char16_t* Text, int32_t Count)
    {
        Assign(Text, Count);
    }
    // "true" or "false".
    explicit FString(bool bValue)
    {
        const char16_t* Text = bValue ? u"true" : u"false";
        Assign(Text, appStrlen(Text));
    }

    FString& operator=(const FString& Other)
    {
        TDynArray<char16_t>::operator=(Other);
        return *this;
    }
    FString& operator=(FString&& Other) noexcept
    {
        TDynArray<char16_t>::operator=(std::move(Other));
        return *this;
    }
    FString& operator=(const char16_t* Text)
    {
        if (Text >= Data && Text < Data + ArrayNum)
        {
            FString Copy(Text);
            return *this = std::move(Copy);
        }
        Empty();
        Assign(Text, Text ? appStrlen(Text) : 0);
        return *this;
    }

    // The text, never null.
    const char16_t* operator*() const
    {
        return ArrayNum ? Data : u"";
    }

    int32_t Len() const
    {
        return ArrayNum ? ArrayNum - 1 : 0;
    }
    bool IsEmpty() const
    {
        return Len() == 0;
    }

    char16_t& operator[](int32_t Index)
    {
        appCheck(Index >= 0 && Index < Len());
        return Data[Index];
    }
    char16_t operator[](int32_t Index) const
    {
        appCheck(Index >= 0 && Index < Len());
        return Data[Index];
    }

    // The units with their terminator (empty for the empty string).
    TDynArray<char16_t>& GetCharArray()
    {
        return *this;
    }
    const TDynArray<char16_t>& GetCharArray() const
    {
        return *this;
    }
    using TDynArray<char16_t>::Empty;
    using TDynArray<char16_t>::Max;

    FString& operator+=(const char16_t* Text)
    {
        AppendUnits(Text, appStrlen(Text));
        return *this;
    }
    FString& operator+=(const FString& Text)
    {
        AppendUnits(*Text, Text.Len());
        return *this;
    }
    FString& operator+=(char16_t Unit)
    {
        AppendUnits(&Unit, 1);
        return *this;
    }
    FString operator+(const char16_t* Text) const
    {
        FString Result(*this);
        Result += Text;
        return Result;
    }
    FString operator+(const FString& Text) const
    {
        FString Result(*this);
        Result += Text;
        return Result;
    }

    // Exact comparison, unit by unit.
    bool operator==(const FString& Other) const
    {
        return appStrcmp(**this, *Other) == 0;
    }
    bool operator!=(const FString& Other) const
    {
        return !(*this == Other);
    }
    bool operator==(const char16_t* Other) const
    {
        return appStrcmp(**this, Other ? Other : u"") == 0;
    }
    bool operator!=(const char16_t* Other) const
    {
        return !(*this == Other);
    }
    bool EqualsNoCase(const char16_t* Other) const
    {
        return appStricmp(**this, Other ? Other : u"") == 0;
    }

    // The first Count characters; Count is clamped into the string.
    FString Left(int32_t Count) const
    {
        return FString(**this, Clamp(Count, 0, Len()));
    }
    // Count characters from Start; both are clamped into the string.
    FString Mid(int32_t Start, int32_t Count = INT32_MAX) const
    {
        const int32_t From = Clamp(Start, 0, Len());
        const int32_t Avail = Len() - From;
        return FString(**this + From, Clamp(Count, 0, Avail));
    }
    // The last Count characters, clamped.
    FString Right(int32_t Count) const
    {
        const int32_t N = Clamp(Count, 0, Len());
        return FString(**this + Len() - N, N);
    }

    // Index of the first occurrence of Text at or after Start, or -1.
    int32_t InStr(const char16_t* Text, int32_t Start = 0) const;
    int32_t InStrNoCase(const char16_t* Text, int32_t Start = 0) const;
    bool StartsWith(const char16_t* Text) const;
    bool EndsWith(const char16_t* Text) const;
    bool EndsWithNoCase(const char16_t* Text) const;
    // Without the blanks (appIsBlank) at either end.
    FString TrimBlanks() const;

    // Splits at every occurrence of Delimiter: "a,b" gives "a" and "b"; a text without the delimiter gives
    // itself; a trailing delimiter gives a last, empty element. Results are appended to *Out.
    // Returns the number of elements appended.
    int32_t Split(const char16_t* Delimiter, TDynArray<FString>* Out) const;

    // printf-style formatting (see CoreStr.h); texts longer than 4095 characters are cut.
    static FString Printf(const char16_t* Format, ...);
    static FString PrintfV(const char16_t* Format, va_list Args);

    // From 8-bit text of the system's code page.
    static FString FromAnsi(const char* Text);
    // From and to UTF-8 (command lines, terminals, files of the host system).
    static FString FromUtf8(const char* Text);
    std::string ToUtf8() const;
    // To 8-bit text, one byte per unit: units below 256 keep their value, all others become 127.
    std::string ToBytes() const;

private:
    static int32_t Clamp(int32_t Value, int32_t Low, int32_t High)
    {
        return Value < Low ? Low : (Value > High ? High : Value);
    }

    void Assign(const char16_t* Text, int32_t Count)
    {
        if (!Text || Count <= 0)
            return;
        Reserve(Count + 1);
        Add(Count + 1);
        for (int32_t i = 0; i < Count; ++i)
            Data[i] = Text[i];
        Data[Count] = 0;
    }

    void AppendUnits(const char16_t* Text, int32_t Count)
    {
        if (Count <= 0)
            return;
        if (Text >= Data && Text < Data + ArrayNum)
        {
            FString Copy(Text, Count);
            AppendUnits(*Copy, Count);
            return;
        }
        if (ArrayNum == 0)
            Add(Count + 1);
        else
            Add(Count);
        const int32_t Start = ArrayNum - 1 - Count;
        for (int32_t i = 0; i < Count; ++i)
            Data[Start + i] = Text[i];
        Data[ArrayNum - 1] = 0;
    }
};

inline FString operator+(const char16_t* A, const FString& B)
{
    return FString(A) + B;
}
} // namespace Template
} // namespace Core

using Core::Template::FString;
