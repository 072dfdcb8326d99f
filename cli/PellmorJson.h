// JSON for scripts, written in one place: values, objects and arrays, with the escaping, the commas and the
// layout (containers one member to a line, or inline on one line) done here and nowhere else.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"

class FJsonWriter
{
public:
    enum ELayout
    {
        Lines,  // one member or element to a line, indented two blanks a level
        Inline, // all on one line: {"a": 1, "b": 2}
    };

    // An object or an array: as a value, or as the member named by the Key before it. A container inside an
    // Inline one is Inline too.
    FJsonWriter& BeginObject(ELayout Layout = Lines);
    FJsonWriter& EndObject();
    FJsonWriter& BeginArray(ELayout Layout = Lines);
    FJsonWriter& EndArray();
    // The name of the next member of the object being written; the value follows.
    FJsonWriter& Key(const char16_t* Name);

    FJsonWriter& String(const FString& Text);
    FJsonWriter& StringOrNull(const FString& Text); // null for the empty text
    FJsonWriter& Number(int64_t Value);
    FJsonWriter& Number(double Value, int32_t Decimals);
    FJsonWriter& Size(int64_t Bytes); // a number, or null when negative (not known)
    FJsonWriter& Bool(bool bValue);
    FJsonWriter& Null();

    // What was written; once the outermost value is complete, followed by a line break.
    FString Text() const;

    // Text as a JSON string, quotes included.
    static FString Quote(const FString& Text);

private:
    // Writes what comes before a value: a comma and a line break or blank after an earlier member, the indent.
    void BeforeValue();
    FJsonWriter& Begin(char16_t Open, ELayout Layout);
    FJsonWriter& End(char16_t Close);

    struct FLevel
    {
        bool bInline = false;
        bool bEmpty = true;
    };
    FString Out;
    TDynArray<FLevel> Levels;
    bool bAfterKey = false;
};
