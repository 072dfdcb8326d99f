// Text routines for UTF-16 texts: lengths, copies, comparisons, case, search, and the case-blind hash of names.
#include "Core/Inc/CoreStr.h"

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
