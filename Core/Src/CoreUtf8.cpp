// UTF-8 to and from UTF-16.
#include "Core/Inc/CoreUtf8.h"

#include <cstdint>

std::string appUtf16ToUtf8(const char16_t* Text)
{
    std::string Out;
    for (; Text && *Text; ++Text)
    {
        uint32_t C = *Text;
        if (C >= 0xD800 && C < 0xDC00 && Text[1] >= 0xDC00 && Text[1] < 0xE000)
        {
            C = 0x10000 + ((C - 0xD800) << 10) + (Text[1] - 0xDC00);
            ++Text;
        }
        if (C < 0x80)
            Out += char(C);
        else if (C < 0x800)
        {
            Out += char(0xC0 | (C >> 6));
            Out += char(0x80 | (C & 0x3F));
        }
        else if (C < 0x10000)
        {
            Out += char(0xE0 | (C >> 12));
            Out += char(0x80 | ((C >> 6) & 0x3F));
            Out += char(0x80 | (C & 0x3F));
        }
        else
        {
            Out += char(0xF0 | (C >> 18));
            Out += char(0x80 | ((C >> 12) & 0x3F));
            Out += char(0x80 | ((C >> 6) & 0x3F));
            Out += char(0x80 | (C & 0x3F));
        }
    }
    return Out;
}

std::u16string appUtf8ToUtf16(const char* Text)
{
    std::u16string Out;
    const unsigned char* P = reinterpret_cast<const unsigned char*>(Text ? Text : "");
    while (*P)
    {
        uint32_t C = *P++;
        int Extra = 0;
        if (C >= 0xF0 && C < 0xF8)
        {
            C &= 0x07;
            Extra = 3;
        }
        else if (C >= 0xE0 && C < 0xF0)
        {
            C &= 0x0F;
            Extra = 2;
        }
        else if (C >= 0xC0 && C < 0xE0)
        {
            C &= 0x1F;
            Extra = 1;
        }
        else if (C >= 0x80)
            C = 0xFFFD;
        for (; Extra > 0; --Extra)
        {
            if ((*P & 0xC0) != 0x80)
            {
                C = 0xFFFD;
                break;
            }
            C = (C << 6) | (*P++ & 0x3F);
        }
        if (C >= 0x10000)
        {
            C -= 0x10000;
            Out += char16_t(0xD800 + (C >> 10));
            Out += char16_t(0xDC00 + (C & 0x3FF));
        }
        else
            Out += char16_t(C);
    }
    return Out;
}
