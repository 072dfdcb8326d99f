// Text routines and the Core's printf-style formatter for UTF-16 texts.
#include "Core/Inc/CoreStr.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "Core/Inc/CoreAssert.h"

int32_t appStrlen(const char16_t* Text)
{
    int32_t Len = 0;
    while (Text[Len])
        ++Len;
    return Len;
}

char16_t* appStrcpy(char16_t* Dest, const char16_t* Source)
{
    int32_t i = 0;
    for (; Source[i]; ++i)
        Dest[i] = Source[i];
    Dest[i] = 0;
    return Dest;
}

char16_t* appStrncpy(char16_t* Dest, const char16_t* Source, int32_t Capacity)
{
    if (Capacity <= 0)
        return Dest;
    int32_t i = 0;
    for (; i < Capacity - 1 && Source[i]; ++i)
        Dest[i] = Source[i];
    Dest[i] = 0;
    return Dest;
}

int32_t appStrcmp(const char16_t* A, const char16_t* B)
{
    for (;; ++A, ++B)
    {
        if (*A != *B)
            return int32_t(*A) - int32_t(*B);
        if (!*A)
            return 0;
    }
}

char16_t appToUpper(char16_t Unit)
{
    return (Unit >= 'a' && Unit <= 'z') ? char16_t(Unit - 32) : Unit;
}

char16_t appToLower(char16_t Unit)
{
    return (Unit >= 'A' && Unit <= 'Z') ? char16_t(Unit + 32) : Unit;
}

bool appIsBlank(char16_t Unit)
{
    return Unit == u' ' || Unit == u'\t';
}

int32_t appStricmp(const char16_t* A, const char16_t* B)
{
    for (;; ++A, ++B)
    {
        const char16_t LA = appToLower(*A), LB = appToLower(*B);
        if (LA != LB)
            return int32_t(LA) - int32_t(LB);
        if (!LA)
            return 0;
    }
}

int32_t appStrnicmp(const char16_t* A, const char16_t* B, int32_t Count)
{
    for (; Count > 0; --Count, ++A, ++B)
    {
        const char16_t LA = appToLower(*A), LB = appToLower(*B);
        if (LA != LB)
            return int32_t(LA) - int32_t(LB);
        if (!LA)
            return 0;
    }
    return 0;
}

const char16_t* appStrstr(const char16_t* Text, const char16_t* Find)
{
    const int32_t FindLen = appStrlen(Find);
    for (; *Text; ++Text)
    {
        int32_t i = 0;
        while (i < FindLen && Text[i] == Find[i])
            ++i;
        if (i == FindLen)
            return Text;
    }
    return FindLen == 0 ? Text : nullptr;
}

const char16_t* appStrchr(const char16_t* Text, char16_t Unit)
{
    for (;; ++Text)
    {
        if (*Text == Unit)
            return Text;
        if (!*Text)
            return nullptr;
    }
}

const char16_t* appStrrchr(const char16_t* Text, char16_t Unit)
{
    const char16_t* Found = nullptr;
    for (;; ++Text)
    {
        if (*Text == Unit)
            Found = Text;
        if (!*Text)
            return Found;
    }
}

namespace
{
struct FCrcTable
{
    uint32_t Entries[256];
    FCrcTable()
    {
        for (uint32_t i = 0; i < 256; ++i)
        {
            uint32_t Crc = i << 24;
            for (int Step = 0; Step < 8; ++Step)
                Crc = (Crc & 0x80000000u) ? (Crc << 1) ^ 0x04C11DB7u : (Crc << 1);
            Entries[i] = Crc;
        }
    }
};

const uint32_t* CrcTable()
{
    // Built on first use; the initialisation of a function-local static is thread-safe.
    static const FCrcTable Table;
    return Table.Entries;
}

// The formatter's output cursor: counts what would be written and stops storing at the limit.
struct FSink
{
    char16_t* Dest;
    int32_t Limit; // characters that may be stored
    int32_t Count; // characters stored
    bool bCut;

    void Put(char16_t Unit)
    {
        if (Count < Limit)
            Dest[Count++] = Unit;
        else
            bCut = true;
    }
    void Repeat(char16_t Unit, int32_t Times)
    {
        for (int32_t i = 0; i < Times; ++i)
            Put(Unit);
    }
};

struct FSpec
{
    bool bLeft = false, bPlus = false, bSpace = false, bAlt = false, bZero = false;
    int32_t Width = 0;
    int32_t Precision = -1;
};

// Writes Body (Len units) with a sign/prefix text, padded to the field width.
void EmitPadded(FSink& Out, const FSpec& Spec, const char16_t* Prefix, int32_t PrefixLen, const char16_t* Body,
                int32_t Len, bool bZeroPadAllowed)
{
    const int32_t Total = PrefixLen + Len;
    const int32_t Pad = Spec.Width > Total ? Spec.Width - Total : 0;
    if (!Spec.bLeft && !(Spec.bZero && bZeroPadAllowed))
        Out.Repeat(' ', Pad);
    for (int32_t i = 0; i < PrefixLen; ++i)
        Out.Put(Prefix[i]);
    if (!Spec.bLeft && Spec.bZero && bZeroPadAllowed)
        Out.Repeat('0', Pad);
    for (int32_t i = 0; i < Len; ++i)
        Out.Put(Body[i]);
    if (Spec.bLeft)
        Out.Repeat(' ', Pad);
}

void EmitInteger(FSink& Out, const FSpec& Spec, uint64_t Magnitude, bool bNegative, bool bSigned, int32_t Base,
                 bool bUpper)
{
    char16_t Digits[72];
    int32_t Len = 0;
    const char* Set = bUpper ? "0123456789ABCDEF" : "0123456789abcdef";
    while (Magnitude)
    {
        Digits[Len++] = char16_t(Set[Magnitude % uint64_t(Base)]);
        Magnitude /= uint64_t(Base);
    }
    // A precision gives the minimum digit count; precision 0 with value 0 prints no digit.
    const int32_t MinDigits = Spec.Precision >= 0 ? Spec.Precision : 1;
    while (Len < MinDigits && Len < 64)
        Digits[Len++] = '0';
    if (Base == 8 && Spec.bAlt && (Len == 0 || Digits[Len - 1] != '0'))
        Digits[Len++] = '0';
    char16_t Body[72];
    for (int32_t i = 0; i < Len; ++i)
        Body[i] = Digits[Len - 1 - i];

    char16_t Prefix[3];
    int32_t PrefixLen = 0;
    if (bSigned)
    {
        if (bNegative)
            Prefix[PrefixLen++] = '-';
        else if (Spec.bPlus)
            Prefix[PrefixLen++] = '+';
        else if (Spec.bSpace)
            Prefix[PrefixLen++] = ' ';
    }
    if (Base == 16 && Spec.bAlt && Len > 0 && !(Len == 1 && Body[0] == '0'))
    {
        Prefix[PrefixLen++] = '0';
        Prefix[PrefixLen++] = bUpper ? 'X' : 'x';
    }
    EmitPadded(Out, Spec, Prefix, PrefixLen, Body, Len, Spec.Precision < 0);
}

void EmitFloat(FSink& Out, const FSpec& Spec, char Conversion, double Value)
{
    // The digits come from the C library's conversion of the number alone (no width), which is exact on both
    // systems; padding is ours.
    char Format[8];
    int32_t f = 0;
    Format[f++] = '%';
    if (Spec.bAlt)
        Format[f++] = '#';
    Format[f++] = '.';
    Format[f++] = '*';
    Format[f++] = Conversion;
    Format[f] = 0;
    char Digits[512];
    int Precision = Spec.Precision >= 0 ? Spec.Precision : 6;
    if (Precision > 100)
        Precision = 100;
    const bool bNegative = std::signbit(Value);
    int Len = std::snprintf(Digits, sizeof(Digits), Format, Precision, bNegative ? -Value : Value);
    if (Len < 0)
        Len = 0;
    if (Len >= int(sizeof(Digits)))
        Len = int(sizeof(Digits)) - 1;
    char16_t Body[512];
    for (int i = 0; i < Len; ++i)
        Body[i] = char16_t((unsigned char)Digits[i]);
    char16_t Prefix[1];
    int32_t PrefixLen = 0;
    if (bNegative)
        Prefix[PrefixLen++] = '-';
    else if (Spec.bPlus)
        Prefix[PrefixLen++] = '+';
    else if (Spec.bSpace)
        Prefix[PrefixLen++] = ' ';
    const bool bFinite = std::isfinite(Value);
    EmitPadded(Out, Spec, Prefix, PrefixLen, Body, Len, bFinite);
}
} // namespace

uint32_t appStrHashNoCase(const char16_t* Text)
{
    const uint32_t* T = CrcTable();
    uint32_t Hash = 0;
    for (; *Text; ++Text)
    {
        const char16_t C = appToUpper(*Text);
        Hash = (Hash >> 8) ^ T[(uint32_t(C & 0xFF) ^ Hash) & 0xFF];
        Hash = (Hash >> 8) ^ T[(uint32_t(C >> 8) ^ Hash) & 0xFF];
    }
    return Hash;
}

int32_t appFormatV(char16_t* Dest, int32_t Capacity, const char16_t* Format, va_list Args)
{
    if (Capacity <= 0)
        return -1;
    FSink Out{Dest, Capacity - 1, 0, false};
    va_list Ap;
    va_copy(Ap, Args);
    for (const char16_t* P = Format; *P; ++P)
    {
        if (*P != '%')
        {
            Out.Put(*P);
            continue;
        }
        const char16_t* Start = P++;
        FSpec Spec;
        for (;; ++P)
        {
            if (*P == '-')
                Spec.bLeft = true;
            else if (*P == '+')
                Spec.bPlus = true;
            else if (*P == ' ')
                Spec.bSpace = true;
            else if (*P == '#')
                Spec.bAlt = true;
            else if (*P == '0')
                Spec.bZero = true;
            else
                break;
        }
        if (*P == '*')
        {
            Spec.Width = va_arg(Ap, int);
            if (Spec.Width < 0)
            {
                Spec.bLeft = true;
                Spec.Width = -Spec.Width;
            }
            ++P;
        }
        else
            while (*P >= '0' && *P <= '9')
                Spec.Width = Spec.Width * 10 + (*P++ - '0');
        if (*P == '.')
        {
            ++P;
            Spec.Precision = 0;
            if (*P == '*')
            {
                Spec.Precision = va_arg(Ap, int);
                if (Spec.Precision < 0)
                    Spec.Precision = -1;
                ++P;
            }
            else
                while (*P >= '0' && *P <= '9')
                    Spec.Precision = Spec.Precision * 10 + (*P++ - '0');
        }
        // Length: 0 int, 1 long, 2 long long / 64-bit, 3 size_t, 4 short, 5 char, 6 intmax, 7 ptrdiff.
        int Length = 0;
        bool bNarrowText = false;
        if (P[0] == 'I' && P[1] == '6' && P[2] == '4')
        {
            Length = 2;
            P += 3;
        }
        else if (*P == 'l')
        {
            Length = 1;
            if (*++P == 'l')
            {
                Length = 2;
                ++P;
            }
        }
        else if (*P == 'h')
        {
            Length = 4;
            if (*++P == 'h')
            {
                Length = 5;
                ++P;
            }
        }
        else if (*P == 'z')
        {
            Length = 3;
            ++P;
        }
        else if (*P == 'j')
        {
            Length = 6;
            ++P;
        }
        else if (*P == 't')
        {
            Length = 7;
            ++P;
        }

        const char16_t Conversion = *P;
        switch (Conversion)
        {
        case 'd':
        case 'i':
        {
            int64_t Value;
            switch (Length)
            {
            case 1: Value = va_arg(Ap, long); break;
            case 2: Value = va_arg(Ap, long long); break;
            case 3: Value = int64_t(va_arg(Ap, size_t)); break;
            case 4: Value = short(va_arg(Ap, int)); break;
            case 5: Value = (signed char)(va_arg(Ap, int)); break;
            case 6: Value = va_arg(Ap, intmax_t); break;
            case 7: Value = va_arg(Ap, ptrdiff_t); break;
            default: Value = va_arg(Ap, int); break;
            }
            const bool bNegative = Value < 0;
            const uint64_t Magnitude = bNegative ? uint64_t(0) - uint64_t(Value) : uint64_t(Value);
            EmitInteger(Out, Spec, Magnitude, bNegative, true, 10, false);
            break;
        }
        case 'u':
        case 'x':
        case 'X':
        case 'o':
        {
            uint64_t Value;
            switch (Length)
            {
            case 1: Value = va_arg(Ap, unsigned long); break;
            case 2: Value = va_arg(Ap, unsigned long long); break;
            case 3: Value = va_arg(Ap, size_t); break;
            case 4: Value = (unsigned short)(va_arg(Ap, unsigned int)); break;
            case 5: Value = (unsigned char)(va_arg(Ap, unsigned int)); break;
            case 6: Value = va_arg(Ap, uintmax_t); break;
            case 7: Value = uint64_t(va_arg(Ap, ptrdiff_t)); break;
            default: Value = va_arg(Ap, unsigned int); break;
            }
            const int32_t Base = Conversion == 'u' ? 10 : Conversion == 'o' ? 8 : 16;
            EmitInteger(Out, Spec, Value, false, false, Base, Conversion == 'X');
            break;
        }
        case 'p':
        {
            const uint64_t Value = uint64_t(uintptr_t(va_arg(Ap, void*)));
            FSpec PtrSpec = Spec;
            PtrSpec.Precision = int32_t(sizeof(void*) * 2);
            EmitInteger(Out, PtrSpec, Value, false, false, 16, true);
            break;
        }
        case 'c':
        {
            const char16_t Unit = char16_t(va_arg(Ap, int));
            EmitPadded(Out, Spec, nullptr, 0, &Unit, 1, false);
            break;
        }
        case 'S':
            bNarrowText = true;
            [[fallthrough]];
        case 's':
        {
            if (Length == 4 || Length == 5)
                bNarrowText = true;
            int32_t Len = 0;
            if (bNarrowText)
            {
                const char* Text = va_arg(Ap, const char*);
                if (!Text)
                    Text = "(null)";
                while (Text[Len] && (Spec.Precision < 0 || Len < Spec.Precision))
                    ++Len;
                const int32_t Pad = Spec.Width > Len ? Spec.Width - Len : 0;
                if (!Spec.bLeft)
                    Out.Repeat(' ', Pad);
                for (int32_t i = 0; i < Len; ++i)
                    Out.Put(char16_t((unsigned char)Text[i]));
                if (Spec.bLeft)
                    Out.Repeat(' ', Pad);
            }
            else
            {
                const char16_t* Text = va_arg(Ap, const char16_t*);
                if (!Text)
                    Text = u"(null)";
                while (Text[Len] && (Spec.Precision < 0 || Len < Spec.Precision))
                    ++Len;
                EmitPadded(Out, Spec, nullptr, 0, Text, Len, false);
            }
            break;
        }
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        {
            const double Value = va_arg(Ap, double);
            EmitFloat(Out, Spec, char(Conversion), Value);
            break;
        }
        case '%':
            Out.Put('%');
            break;
        default:
            // An unknown conversion is copied as it stands; a format that ends inside one stops here.
            for (const char16_t* Q = Start; Q <= P && *Q; ++Q)
                Out.Put(*Q);
            if (!*P)
                --P;
            break;
        }
    }
    va_end(Ap);
    Dest[Out.Count] = 0;
    return Out.bCut ? -1 : Out.Count;
}

int32_t appFormat(char16_t* Dest, int32_t Capacity, const char16_t* Format, ...)
{
    va_list Args;
    va_start(Args, Format);
    const int32_t Result = appFormatV(Dest, Capacity, Format, Args);
    va_end(Args);
    return Result;
}

int32_t appSprintfFixedV(char16_t* Dest, int32_t Size, const char16_t* Format, va_list Args)
{
    appCheck(Size > 7);
    const int32_t Result = appFormatV(Dest, Size - 1, Format, Args);
    if (Result < 0)
        Dest[Size - 1] = 0;
    return Result;
}

int32_t appSprintfFixed(char16_t* Dest, int32_t Size, const char16_t* Format, ...)
{
    va_list Args;
    va_start(Args, Format);
    const int32_t Result = appSprintfFixedV(Dest, Size, Format, Args);
    va_end(Args);
    return Result;
}

// FString's out-of-line routines.
#include "Core/Inc/CoreOS.h"
#include "Core/Inc/CoreTemplateString.h"
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
