// The global name table behind FName.
#include "Core/Inc/CoreName.h"

#include <atomic>

#include "Core/Inc/CoreUtil.h"

namespace Core
{
// Made before main and never destroyed: its entries live as long as the process.
TMap<FString, FNameEntry*>& GNameMap = *new TMap<FString, FNameEntry*>;

namespace
{
std::atomic<int32_t> GNamesReady{0};
}

FName::FName(const char16_t* Text) : Index(0)
{
    appCheck(Text);
    if (!GetInitialized())
    {
        appError(u"FName constructed before FName::StaticInit");
        return;
    }
    if (!*Text)
        return;
    if (FNameEntry** Found = GNameMap.Find(FString(Text)))
    {
        Index = (*Found)->Index;
        return;
    }
    FNameEntry* Entry = new FNameEntry{0, GNameMap.Num(), FString(Text)};
    GNameMap.Set(Entry->Name, Entry);
    Index = Entry->Index;
}

bool FName::GetInitialized()
{
    return GNamesReady.load() != 0;
}

void FName::StaticInit()
{
    GNamesReady.store(1);
}

void FName::StaticExit()
{
    GNamesReady.store(0);
}

int32_t FName::NumNames()
{
    return GNameMap.Num();
}
} // namespace Core
