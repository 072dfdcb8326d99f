// FName: an index into the process-wide name table. The table is ready only while its flag is set; the Core's
// start-up clears it and nothing in the product sets it, so every user of names takes its not-ready path.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateMap.h"
#include "Core/Inc/CoreTemplateString.h"

namespace Core
{
struct FNameEntry
{
    uint32_t Flags;
    int32_t Index;
    FString Name;
};

class FName
{
public:
    // Asserts "Text" for a null text. While the table is not ready this is a fatal error
    // ("FName constructed before FName::StaticInit"). Empty text gives 0; other texts are numbered in order of
    // first use, without regard to ASCII case.
    explicit FName(const char16_t* Text);

    int32_t GetIndex() const
    {
        return Index;
    }

    static bool GetInitialized();
    // Marks the table ready (or not). Only tests and a future start-up step set it.
    static void StaticInit();
    static void StaticExit();
    // Number of entries in the table.
    static int32_t NumNames();

private:
    int32_t Index;
};

// The table itself: name text to entry (entries are never freed).
extern TMap<FString, FNameEntry*>& GNameMap;
} // namespace Core

using Core::FName;
