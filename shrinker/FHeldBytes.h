// FHeldBytes: bytes that a parsed structure holds - none, a view into the bytes it was parsed from, or bytes of
// its own. Chunk payloads and texture levels are held so: parsing copies nothing, and only what a shrink
// replaces is owned. A view's bytes belong to the caller that parsed them: they must outlive the holder and
// stay unchanged while it is in use. One thread at a time.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateArray.h"

struct FHeldBytes
{
    enum EKind : int32_t
    {
        HELD_Empty = 0,
        HELD_Owned = 1,
        HELD_View = 2,
    };

    FByteArray Owned;                  // HELD_Owned
    const uint8_t* ViewData = nullptr; // HELD_View
    int32_t ViewSize = 0;              // HELD_View
    int32_t Kind = HELD_Empty;

    // The bytes (null when there are none) and their count.
    const uint8_t* GetData() const;
    int32_t Num() const;

    // Makes the holder a view of Count bytes at Bytes; nothing is copied.
    void SetView(const uint8_t* Bytes, int32_t Count);
    // Makes the holder own a copy of Count bytes (any earlier bytes are dropped first).
    void SetOwned(const uint8_t* Bytes, int32_t Count);
    // Makes the holder own Bytes, taken over without a copy.
    void SetOwned(FByteArray&& Bytes);
};
