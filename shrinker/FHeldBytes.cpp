// Bytes held by parsed structures: none, viewed, or owned.
#include "shrinker/FHeldBytes.h"

#include <utility>

#include "Core/Inc/CoreAssert.h"

const uint8_t* FHeldBytes::GetData() const
{
    switch (Kind)
    {
        case HELD_Empty:
            return nullptr;
        case HELD_Owned:
            return Owned.Num() ? Owned.GetData() : nullptr;
        case HELD_View:
            return ViewSize ? ViewData : nullptr;
    }
    appCheck(0);
    return nullptr;
}

int32_t FHeldBytes::Num() const
{
    switch (Kind)
    {
        case HELD_Empty:
            return 0;
        case HELD_Owned:
            return Owned.Num();
        case HELD_View:
            return ViewSize;
    }
    appCheck(0);
    return 0;
}

void FHeldBytes::SetView(const uint8_t* Bytes, int32_t Count)
{
    appCheck(Count >= 0);
    Owned.Empty();
    Kind = HELD_View;
    ViewData = Bytes;
    ViewSize = Count;
}

void FHeldBytes::SetOwned(const uint8_t* Bytes, int32_t Count)
{
    appCheck(Count >= 0);
    FByteArray Copy;
    Copy.Append(Bytes, Count);
    SetOwned(std::move(Copy));
}

void FHeldBytes::SetOwned(FByteArray&& Bytes)
{
    Kind = HELD_Owned;
    ViewData = nullptr;
    ViewSize = 0;
    Owned = std::move(Bytes);
}
