// A fast 64-bit hash of byte streams (XXH64): content digests of files that pass through anyway. Not for
// anything an adversary may choose to collide; for telling whether a file is the one it was.
#pragma once

#include <cstddef>
#include <cstdint>

// A running XXH64 digest. Bytes may be given in pieces of any size: the digest depends only on the bytes and
// the seed, never on how they were cut. One owner, one thread at a time; nothing blocks or allocates.
class FHash64
{
public:
    explicit FHash64(uint64_t InSeed = 0);

    // Adds Count bytes at Data (Data may be null when Count is 0).
    void Update(const void* Data, size_t Count);
    // The digest of everything added so far; more may be added afterwards.
    uint64_t Digest() const;

private:
    uint64_t Seed;
    uint64_t Lanes[4];
    uint64_t TotalBytes = 0;
    uint8_t Pending[32]; // bytes not yet making a whole 32-byte stripe
    uint32_t PendingBytes = 0;
};

// The XXH64 digest of Count bytes at Data.
uint64_t appHash64(const void* Data, size_t Count, uint64_t Seed = 0);
