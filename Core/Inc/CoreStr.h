// Routines on zero-terminated UTF-16 texts and the Core's printf-style formatter.
//
// The formatter is the Core's own, the same on every system: "%s" takes a UTF-16 text (const char16_t*),
// "%c" one UTF-16 unit, "%hs" (or "%S") an 8-bit text. It knows the flags - + space # 0, widths and precisions
// (also given as *), the length modifiers h hh l ll I64 z j t, and the conversions d i u x X o c s f F e E g G p
// and %%. A null text prints as "(null)". All routines are re-entrant and allocate nothing.
#pragma once

#include <cstdarg>
#include <cstdint>

#define TEXT(s) u##s

int32_t appStrlen(const char16_t* Text);
char16_t* appStrcpy(char16_t* Dest, const char16_t* Source);
// Copies at most Capacity - 1 units and always terminates (when Capacity > 0).
char16_t* appStrncpy(char16_t* Dest, const char16_t* Source, int32_t Capacity);
int32_t appStrcmp(const char16_t* A, const char16_t* B);
// Compare without regard to ASCII case: 'A'..'Z' fold to lower case unit by unit, nothing else folds.
int32_t appStricmp(const char16_t* A, const char16_t* B);
int32_t appStrnicmp(const char16_t* A, const char16_t* B, int32_t Count);
const char16_t* appStrstr(const char16_t* Text, const char16_t* Find);
const char16_t* appStrchr(const char16_t* Text, char16_t Unit);
const char16_t* appStrrchr(const char16_t* Text, char16_t Unit);
char16_t appToUpper(char16_t Unit);
char16_t appToLower(char16_t Unit);
// A blank as INI files, gta.dat and the like separate words with: a space or a tab.
bool appIsBlank(char16_t Unit);

// CRC-32 (MSB-first, polynomial 0x04C11DB7) of a text's units, ASCII letters folded to upper case; low byte
// of each unit first, then the high byte. The empty text hashes to 0. Stored data and map order rely on it.
uint32_t appStrHashNoCase(const char16_t* Text);

// Formats into Dest, writing at most Capacity - 1 characters and always a terminator (Capacity > 0).
// Returns the length written, or -1 when the text had to be cut.
int32_t appFormatV(char16_t* Dest, int32_t Capacity, const char16_t* Format, va_list Args);
int32_t appFormat(char16_t* Dest, int32_t Capacity, const char16_t* Format, ...);

// The fixed-buffer formatter: Size must be at least 8. At most Size - 2 characters are written and always a
// terminator; when the text was cut the last unit of the buffer (Size - 1) is zeroed as well.
// Returns the length written, or -1 when cut.
int32_t appSprintfFixed(char16_t* Dest, int32_t Size, const char16_t* Format, ...);
int32_t appSprintfFixedV(char16_t* Dest, int32_t Size, const char16_t* Format, va_list Args);
