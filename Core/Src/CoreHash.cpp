// XXH64, written from its published description: four lanes over 32-byte stripes, then the tail and the final
// mix.
#include "Core/Inc/CoreHash.h"

#include <cstring>

namespace
{
const uint64_t Prime1 = 0x9E3779B185EBCA87ull;
const uint64_t Prime2 = 0xC2B2AE3D27D4EB4Full;
const uint64_t Prime3 = 0x165667B19E3779F9ull;
const uint64_t Prime4 = 0x85EBCA77C2B2AE63ull;
const uint64_t Prime5 = 0x27D4EB2F165667C5ull;

inline uint64_t RotateLeft(uint64_t Value, int Bits)
{
    return (Value << Bits) | (Value >> (64 - Bits));
}

// Words are read little-endian; both targets are little-endian machines.
inline uint64_t Read64(const uint8_t* At)
{
    uint64_t Value;
    std::memcpy(&Value, At, 8);
    return Value;
}

inline uint32_t Read32(const uint8_t* At)
{
    uint32_t Value;
    std::memcpy(&Value, At, 4);
    return Value;
}

inline uint64_t Round(uint64_t Lane, uint64_t Input)
{
    return RotateLeft(Lane + Input * Prime2, 31) * Prime1;
}

inline uint64_t MergeRound(uint64_t Hash, uint64_t Lane)
{
    return (Hash ^ Round(0, Lane)) * Prime1 + Prime4;
}

// Consumes whole stripes from Data; returns the bytes taken.
size_t Stripes(uint64_t* Lanes, const uint8_t* Data, size_t Count)
{
    size_t Done = 0;
    for (; Count - Done >= 32; Done += 32)
        for (int i = 0; i < 4; ++i)
            Lanes[i] = Round(Lanes[i], Read64(Data + Done + size_t(i) * 8));
    return Done;
}
} // namespace

FHash64::FHash64(uint64_t InSeed) : Seed(InSeed)
{
    Lanes[0] = Seed + Prime1 + Prime2;
    Lanes[1] = Seed + Prime2;
    Lanes[2] = Seed;
    Lanes[3] = Seed - Prime1;
}

void FHash64::Update(const void* Data, size_t Count)
{
    if (Count == 0)
        return;
    const uint8_t* Bytes = static_cast<const uint8_t*>(Data);
    TotalBytes += Count;
    if (PendingBytes > 0)
    {
        const size_t Take = Count < 32 - PendingBytes ? Count : 32 - PendingBytes;
        std::memcpy(Pending + PendingBytes, Bytes, Take);
        PendingBytes += uint32_t(Take);
        Bytes += Take;
        Count -= Take;
        if (PendingBytes < 32)
            return;
        Stripes(Lanes, Pending, 32);
        PendingBytes = 0;
    }
    const size_t Done = Stripes(Lanes, Bytes, Count);
    if (Count > Done)
        std::memcpy(Pending, Bytes + Done, Count - Done);
    PendingBytes = uint32_t(Count - Done);
}

uint64_t FHash64::Digest() const
{
    uint64_t Hash;
    if (TotalBytes >= 32)
    {
        Hash = RotateLeft(Lanes[0], 1) + RotateLeft(Lanes[1], 7) + RotateLeft(Lanes[2], 12) + RotateLeft(Lanes[3], 18);
        for (int i = 0; i < 4; ++i)
            Hash = MergeRound(Hash, Lanes[i]);
    }
    else
        Hash = Seed + Prime5;
    Hash += TotalBytes;

    const uint8_t* Tail = Pending;
    size_t Left = PendingBytes;
    for (; Left >= 8; Tail += 8, Left -= 8)
        Hash = RotateLeft(Hash ^ Round(0, Read64(Tail)), 27) * Prime1 + Prime4;
    if (Left >= 4)
    {
        Hash = RotateLeft(Hash ^ (uint64_t(Read32(Tail)) * Prime1), 23) * Prime2 + Prime3;
        Tail += 4;
        Left -= 4;
    }
    for (; Left > 0; ++Tail, --Left)
        Hash = RotateLeft(Hash ^ (uint64_t(*Tail) * Prime5), 11) * Prime1;

    Hash ^= Hash >> 33;
    Hash *= Prime2;
    Hash ^= Hash >> 29;
    Hash *= Prime3;
    Hash ^= Hash >> 32;
    return Hash;
}

uint64_t appHash64(const void* Data, size_t Count, uint64_t Seed)
{
    FHash64 Hash(Seed);
    Hash.Update(Data, Count);
    return Hash.Digest();
}
