// The Core's printf-style formatter for UTF-16 texts, one implementation for both systems: %s takes a UTF-16
// text, %c a unit; the result is cut at the destination's capacity.
#include "Core/Inc/CoreStr.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "Core/Inc/CoreAssert.h"

namespace
{
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

// How an argument's size is written between the precision and the conversion letter ("l", "ll", "I64", "z", ...).
enum class ELength
{
    Int,
    Long,
    LongLong, // also I64
    Size,
    Short,
    Char,
    IntMax,
    PtrDiff,
};

// One conversion as written after its '%': flags, width, precision, argument size and conversion letter.
struct FSpec
{
    bool bLeft = false, bPlus = false, bSpace = false, bAlt = false, bZero = false;
    int32_t Width = 0;
    int32_t Precision = -1;
    ELength Length = ELength::Int;
    char16_t Conversion = 0;
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

// ---- Parsing one conversion -----------------------------------------------------------------------------------

const char16_t* ParseFlags(const char16_t* P, FSpec& Spec)
{
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
            return P;
    }
}

const char16_t* ParseDigits(const char16_t* P, int32_t& Value)
{
    while (*P >= '0' && *P <= '9')
        Value = Value * 10 + (*P++ - '0');
    return P;
}

// A width of '*' comes from the next argument; a negative one means left-aligned.
const char16_t* ParseWidth(const char16_t* P, va_list* Ap, FSpec& Spec)
{
    if (*P != '*')
        return ParseDigits(P, Spec.Width);
    Spec.Width = va_arg(*Ap, int);
    if (Spec.Width < 0)
    {
        Spec.bLeft = true;
        Spec.Width = -Spec.Width;
    }
    return P + 1;
}

// A precision of '*' comes from the next argument; a negative one counts as none.
const char16_t* ParsePrecision(const char16_t* P, va_list* Ap, FSpec& Spec)
{
    if (*P != '.')
        return P;
    ++P;
    Spec.Precision = 0;
    if (*P != '*')
        return ParseDigits(P, Spec.Precision);
    Spec.Precision = va_arg(*Ap, int);
    if (Spec.Precision < 0)
        Spec.Precision = -1;
    return P + 1;
}

const char16_t* ParseLength(const char16_t* P, ELength& Length)
{
    if (P[0] == 'I' && P[1] == '6' && P[2] == '4')
    {
        Length = ELength::LongLong;
        return P + 3;
    }
    switch (*P)
    {
        case 'l':
            Length = P[1] == 'l' ? ELength::LongLong : ELength::Long;
            return P[1] == 'l' ? P + 2 : P + 1;
        case 'h':
            Length = P[1] == 'h' ? ELength::Char : ELength::Short;
            return P[1] == 'h' ? P + 2 : P + 1;
        case 'z':
            Length = ELength::Size;
            return P + 1;
        case 'j':
            Length = ELength::IntMax;
            return P + 1;
        case 't':
            Length = ELength::PtrDiff;
            return P + 1;
    }
    return P;
}

// Reads the conversion that starts at P (just after its '%') into Spec, taking a '*' width and precision from
// the arguments in that order. Returns where the conversion letter stands (the format's end when there is none).
const char16_t* ParseSpec(const char16_t* P, va_list* Ap, FSpec& Spec)
{
    P = ParseFlags(P, Spec);
    P = ParseWidth(P, Ap, Spec);
    P = ParsePrecision(P, Ap, Spec);
    P = ParseLength(P, Spec.Length);
    Spec.Conversion = *P;
    return P;
}

// ---- Performing one conversion --------------------------------------------------------------------------------

int64_t TakeSigned(va_list* Ap, ELength Length)
{
    switch (Length)
    {
        case ELength::Long:
            return va_arg(*Ap, long);
        case ELength::LongLong:
            return va_arg(*Ap, long long);
        case ELength::Size:
            return int64_t(va_arg(*Ap, size_t));
        case ELength::Short:
            return short(va_arg(*Ap, int));
        case ELength::Char:
            return (signed char)(va_arg(*Ap, int));
        case ELength::IntMax:
            return va_arg(*Ap, intmax_t);
        case ELength::PtrDiff:
            return va_arg(*Ap, ptrdiff_t);
        case ELength::Int:
            break;
    }
    return va_arg(*Ap, int);
}

uint64_t TakeUnsigned(va_list* Ap, ELength Length)
{
    switch (Length)
    {
        case ELength::Long:
            return va_arg(*Ap, unsigned long);
        case ELength::LongLong:
            return va_arg(*Ap, unsigned long long);
        case ELength::Size:
            return va_arg(*Ap, size_t);
        case ELength::Short:
            return (unsigned short)(va_arg(*Ap, unsigned int));
        case ELength::Char:
            return (unsigned char)(va_arg(*Ap, unsigned int));
        case ELength::IntMax:
            return va_arg(*Ap, uintmax_t);
        case ELength::PtrDiff:
            return uint64_t(va_arg(*Ap, ptrdiff_t));
        case ELength::Int:
            break;
    }
    return va_arg(*Ap, unsigned int);
}

// %s takes a UTF-16 text, %S (and %hs, %hhs) an 8-bit one whose bytes are taken as units; null reads "(null)".
void EmitText(FSink& Out, const FSpec& Spec, va_list* Ap)
{
    const bool bNarrow = Spec.Conversion == 'S' || Spec.Length == ELength::Short || Spec.Length == ELength::Char;
    int32_t Len = 0;
    if (!bNarrow)
    {
        const char16_t* Text = va_arg(*Ap, const char16_t*);
        if (!Text)
            Text = u"(null)";
        while (Text[Len] && (Spec.Precision < 0 || Len < Spec.Precision))
            ++Len;
        EmitPadded(Out, Spec, nullptr, 0, Text, Len, false);
        return;
    }
    const char* Text = va_arg(*Ap, const char*);
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

// Writes the conversion Spec with its argument taken from Ap. False, with nothing taken or written, for a
// conversion letter it does not know.
bool PerformSpec(FSink& Out, const FSpec& Spec, va_list* Ap)
{
    const char16_t Conversion = Spec.Conversion;
    switch (Conversion)
    {
        case 'd':
        case 'i':
        {
            const int64_t Value = TakeSigned(Ap, Spec.Length);
            const bool bNegative = Value < 0;
            const uint64_t Magnitude = bNegative ? uint64_t(0) - uint64_t(Value) : uint64_t(Value);
            EmitInteger(Out, Spec, Magnitude, bNegative, true, 10, false);
            return true;
        }
        case 'u':
        case 'x':
        case 'X':
        case 'o':
        {
            const int32_t Base = Conversion == 'u' ? 10 : Conversion == 'o' ? 8 : 16;
            EmitInteger(Out, Spec, TakeUnsigned(Ap, Spec.Length), false, false, Base, Conversion == 'X');
            return true;
        }
        case 'p':
        {
            FSpec PtrSpec = Spec;
            PtrSpec.Precision = int32_t(sizeof(void*) * 2);
            EmitInteger(Out, PtrSpec, uint64_t(uintptr_t(va_arg(*Ap, void*))), false, false, 16, true);
            return true;
        }
        case 'c':
        {
            const char16_t Unit = char16_t(va_arg(*Ap, int));
            EmitPadded(Out, Spec, nullptr, 0, &Unit, 1, false);
            return true;
        }
        case 's':
        case 'S':
            EmitText(Out, Spec, Ap);
            return true;
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
            EmitFloat(Out, Spec, char(Conversion), va_arg(*Ap, double));
            return true;
        case '%':
            Out.Put('%');
            return true;
    }
    return false;
}
} // namespace

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
        const char16_t* Start = P;
        FSpec Spec;
        P = ParseSpec(P + 1, &Ap, Spec);
        if (PerformSpec(Out, Spec, &Ap))
            continue;
        // An unknown conversion is copied as it stands; a format that ends inside one stops here.
        for (const char16_t* Q = Start; Q <= P && *Q; ++Q)
            Out.Put(*Q);
        if (!*P)
            --P;
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
