// TMap: the Core's chained hash map. A power-of-two slot array (8 slots when new) holds the head of each chain;
// pairs live in one array and link to the next pair of their slot. Text keys hash and compare without regard to
// ASCII case. Not thread-safe.
#pragma once

#include <cstdint>
#include <utility>

#include "Core/Inc/CoreTemplateArray.h"
#include "Core/Inc/CoreTemplateString.h"
#include "Core/Inc/FOutputDevice.h"

namespace Core
{
namespace Template
{
inline uint32_t GetTypeHash(const FString& Key)
{
    return appStrHashNoCase(*Key);
}
inline uint32_t GetTypeHash(int32_t Key)
{
    return (uint32_t(Key) >> 7) ^ uint32_t(Key);
}
inline uint32_t GetTypeHash(uint32_t Key)
{
    return (Key >> 7) ^ Key;
}
inline bool KeysEqual(const FString& A, const FString& B)
{
    return appStricmp(*A, *B) == 0;
}
inline bool KeysEqual(int32_t A, int32_t B)
{
    return A == B;
}
inline bool KeysEqual(uint32_t A, uint32_t B)
{
    return A == B;
}

template <typename K, typename V> class TMapBase
{
public:
    struct TPair
    {
        int32_t HashNext;
        K Key;
        V Value;
        TPair() : HashNext(-1), Key(), Value() {}
        TPair(const K& InKey, const V& InValue) : HashNext(-1), Key(InKey), Value(InValue) {}
    };

    TMapBase() : Hash(nullptr), HashCount(0)
    {
        Rehash(8);
    }
    TMapBase(const TMapBase& Other) : Pairs(Other.Pairs), Hash(nullptr), HashCount(0)
    {
        Rehash(Other.HashCount);
    }
    // A copy that runs out of memory (std::bad_alloc) leaves this map as it was.
    TMapBase& operator=(const TMapBase& Other)
    {
        if (this != &Other)
        {
            TMapBase Copy(Other);
            std::swap(Pairs, Copy.Pairs);
            std::swap(Hash, Copy.Hash);
            std::swap(HashCount, Copy.HashCount);
        }
        return *this;
    }
    ~TMapBase()
    {
        delete[] Hash;
    }

    int32_t Num() const
    {
        return Pairs.Num();
    }

    // Replaces the value of an existing key, else adds the pair. Returns the stored value.
    V& Set(const K& Key, const V& Value)
    {
        if (V* Found = Find(Key))
        {
            *Found = Value;
            return *Found;
        }
        return Add(Key, Value);
    }

    // Adds the pair even when the key is there already: the newest pair heads its chain, so Find gives it.
    V& Add(const K& Key, const V& Value)
    {
        const int32_t Index = Pairs.AddItem(TPair(Key, Value));
        const int32_t Slot = int32_t(GetTypeHash(Key) & uint32_t(HashCount - 1));
        Pairs[Index].HashNext = Hash[Slot];
        Hash[Slot] = Index;
        if (Pairs.Num() > HashCount * 2 + 8)
            Rehash(HashCount * 2);
        return Pairs[Index].Value;
    }

    // Pointer to the value of Key, or null. Valid until the map next changes.
    V* Find(const K& Key)
    {
        const int32_t Index = FindIndex(Key);
        return Index >= 0 ? &Pairs[Index].Value : nullptr;
    }
    const V* Find(const K& Key) const
    {
        const int32_t Index = FindIndex(Key);
        return Index >= 0 ? &Pairs[Index].Value : nullptr;
    }

    // Removes Key; returns how many pairs went (0 or 1).
    int32_t Remove(const K& Key)
    {
        const int32_t Index = FindIndex(Key);
        if (Index < 0)
            return 0;
        Pairs.Remove(Index);
        int32_t Count = HashCount;
        while (Count > Pairs.Num() * 2 + 8)
            Count /= 2;
        Rehash(Count);
        return 1;
    }

    void Empty()
    {
        Pairs.Empty();
        Rehash(8);
    }

    // Writes "TMapBase: %i items, %i hash slots" and one line per slot with the length of its chain.
    void Dump(FOutputDevice& Ar) const
    {
        Ar.Logf(u"TMapBase: %i items, %i hash slots", Pairs.Num(), HashCount);
        for (int32_t i = 0; i < HashCount; ++i)
        {
            int32_t Count = 0;
            for (int32_t j = Hash[i]; j != -1; j = Pairs[j].HashNext)
                ++Count;
            Ar.Logf(u"   Hash[%i] = %i", i, Count);
        }
    }

    // Pairs in the order they were added (removals close the gaps).
    TPair* begin()
    {
        return Pairs.begin();
    }
    TPair* end()
    {
        return Pairs.end();
    }
    const TPair* begin() const
    {
        return Pairs.begin();
    }
    const TPair* end() const
    {
        return Pairs.end();
    }

    int32_t FindIndex(const K& Key) const
    {
        for (int32_t i = Hash[GetTypeHash(Key) & uint32_t(HashCount - 1)]; i != -1; i = Pairs[i].HashNext)
            if (KeysEqual(Pairs[i].Key, Key))
                return i;
        return -1;
    }

    // Makes Count slots and links every pair anew, in ascending pair order, at the head of its chain. The slots
    // are allocated first, so running out of memory (std::bad_alloc) leaves the map as it was.
    void Rehash(int32_t Count)
    {
        int32_t* NewHash = new int32_t[size_t(Count)];
        for (int32_t i = 0; i < Count; ++i)
            NewHash[i] = -1;
        for (int32_t i = 0; i < Pairs.Num(); ++i)
        {
            const int32_t Slot = int32_t(GetTypeHash(Pairs[i].Key) & uint32_t(Count - 1));
            Pairs[i].HashNext = NewHash[Slot];
            NewHash[Slot] = i;
        }
        delete[] Hash;
        Hash = NewHash;
        HashCount = Count;
    }

    TDynArray<TPair> Pairs;
    int32_t* Hash;
    int32_t HashCount;
};

template <typename K, typename V> class TMap : public TMapBase<K, V>
{
};
} // namespace Template
} // namespace Core

using Core::Template::TMap;
using Core::Template::TMapBase;
