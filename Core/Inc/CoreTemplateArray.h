// TDynArray: the Core's growable array. Storage comes from the C runtime's realloc and elements are moved with
// raw memory moves, so element types must tolerate being relocated bytewise (every Core type does).
// Not thread-safe: a caller that shares one array between threads holds its own lock.
//
// Running out of room is a result, not a crash: every operation that grows the array (Add, AddItem, Insert,
// Append, Reserve, SetNum, copies) throws std::bad_alloc when the memory cannot be had or the count would pass
// what its 32 bits hold, and leaves the array exactly as it was. A caller that reads sizes from untrusted
// bytes catches it and turns it into its own failure.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "Core/Inc/CoreAssert.h"

namespace Core
{
namespace Template
{
template <typename T> class TDynArray
{
public:
    TDynArray() : Data(nullptr), ArrayNum(0), ArrayMax(0) {}

    // Makes Count zero-filled, default-constructed elements.
    explicit TDynArray(int32_t Count) : Data(nullptr), ArrayNum(0), ArrayMax(0)
    {
        if (Count > 0)
            Add(Count);
    }

    // A copy allocates exactly as many elements as are in use.
    TDynArray(const TDynArray& Other) : Data(nullptr), ArrayNum(0), ArrayMax(0)
    {
        CopyFrom(Other);
    }

    TDynArray(TDynArray&& Other) noexcept : Data(Other.Data), ArrayNum(Other.ArrayNum), ArrayMax(Other.ArrayMax)
    {
        Other.Data = nullptr;
        Other.ArrayNum = 0;
        Other.ArrayMax = 0;
    }

    ~TDynArray()
    {
        Empty();
    }

    TDynArray& operator=(const TDynArray& Other)
    {
        if (this != &Other)
        {
            Empty();
            CopyFrom(Other);
        }
        return *this;
    }

    TDynArray& operator=(TDynArray&& Other) noexcept
    {
        if (this != &Other)
        {
            Empty();
            Data = Other.Data;
            ArrayNum = Other.ArrayNum;
            ArrayMax = Other.ArrayMax;
            Other.Data = nullptr;
            Other.ArrayNum = 0;
            Other.ArrayMax = 0;
        }
        return *this;
    }

    int32_t Num() const
    {
        return ArrayNum;
    }
    int32_t Max() const
    {
        return ArrayMax;
    }
    T* GetData()
    {
        return Data;
    }
    const T* GetData() const
    {
        return Data;
    }
    bool IsValidIndex(int32_t Index) const
    {
        return Index >= 0 && Index < ArrayNum;
    }

    T& operator[](int32_t Index)
    {
        appCheck(Index >= 0 && Index < ArrayNum);
        return Data[Index];
    }
    const T& operator[](int32_t Index) const
    {
        appCheck(Index >= 0 && Index < ArrayNum);
        return Data[Index];
    }
    T& Last()
    {
        appCheck(ArrayNum > 0);
        return Data[ArrayNum - 1];
    }

    T* begin()
    {
        return Data;
    }
    T* end()
    {
        return Data + ArrayNum;
    }
    const T* begin() const
    {
        return Data;
    }
    const T* end() const
    {
        return Data + ArrayNum;
    }

    // Adds Count zero-filled, default-constructed elements at the end; returns the index of the first.
    int32_t Add(int32_t Count = 1)
    {
        appCheck(Count >= 0);
        const int32_t Index = ArrayNum;
        GrowBy(Count);
        for (int32_t i = Index; i < ArrayNum; ++i)
            new (&Data[i]) T();
        return Index;
    }

    int32_t AddItem(const T& Item)
    {
        // The item may live inside this array: copy it before the storage can move.
        T Copy(Item);
        const int32_t Index = ArrayNum;
        GrowBy(1);
        new (&Data[Index]) T(std::move(Copy));
        return Index;
    }

    int32_t AddItem(T&& Item)
    {
        T Moved(std::move(Item));
        const int32_t Index = ArrayNum;
        GrowBy(1);
        new (&Data[Index]) T(std::move(Moved));
        return Index;
    }

    // Inserts Count default elements before Index.
    void Insert(int32_t Index, int32_t Count = 1)
    {
        appCheck(Index >= 0 && Index <= ArrayNum && Count >= 0);
        const int32_t OldNum = ArrayNum;
        GrowBy(Count);
        if (OldNum > Index)
            std::memmove(static_cast<void*>(Data + Index + Count), static_cast<void*>(Data + Index),
                         sizeof(T) * size_t(OldNum - Index));
        std::memset(static_cast<void*>(Data + Index), 0, sizeof(T) * size_t(Count));
        for (int32_t i = Index; i < Index + Count; ++i)
            new (&Data[i]) T();
    }

    // Appends Count elements copied from Items.
    void Append(const T* Items, int32_t Count)
    {
        appCheck(Count >= 0);
        if (Count == 0)
            return;
        const int32_t Index = ArrayNum;
        GrowBy(Count);
        for (int32_t i = 0; i < Count; ++i)
            new (&Data[Index + i]) T(Items[i]);
    }

    void Remove(int32_t Index, int32_t Count = 1)
    {
        appCheck(Index>=0);
        appCheck(Index<=ArrayNum);
        appCheck(Index+Count<=ArrayNum);
        for (int32_t i = Index; i < Index + Count; ++i)
            Data[i].~T();
        const int32_t Tail = ArrayNum - Index - Count;
        if (Tail > 0)
            std::memmove(static_cast<void*>(Data + Index), static_cast<void*>(Data + Index + Count),
                         sizeof(T) * size_t(Tail));
        ArrayNum -= Count;
        // Slack rule: give storage back when much of it is spare.
        const bool bMostlySpare = ArrayNum * 3 < ArrayMax * 2 || size_t(ArrayMax - ArrayNum) * sizeof(T) >= 16384;
        const bool bWorthIt = ArrayMax - ArrayNum > 64 || ArrayNum == 0;
        if (bMostlySpare && bWorthIt)
            Realloc(ArrayNum);
    }

    T Pop()
    {
        appCheck(ArrayNum>0);
        T Result(std::move(Data[ArrayNum - 1]));
        Remove(ArrayNum - 1);
        return Result;
    }

    // Destroys every element and releases the storage.
    void Empty()
    {
        for (int32_t i = 0; i < ArrayNum; ++i)
            Data[i].~T();
        ArrayNum = 0;
        Realloc(0);
    }

    // Makes room for at least Count elements without changing what is in use.
    void Reserve(int32_t Count)
    {
        if (Count > ArrayMax)
            Realloc(Count);
    }

    // Sets the number of elements: new ones are default-constructed, surplus ones destroyed (storage kept).
    void SetNum(int32_t Count)
    {
        appCheck(Count >= 0);
        if (Count > ArrayNum)
            Add(Count - ArrayNum);
        else
        {
            for (int32_t i = Count; i < ArrayNum; ++i)
                Data[i].~T();
            ArrayNum = Count;
        }
    }

    int32_t FindItemIndex(const T& Item) const
    {
        for (int32_t i = 0; i < ArrayNum; ++i)
            if (Data[i] == Item)
                return i;
        return -1;
    }

private:
    // Raises ArrayNum by Count, growing by the array's rule, and zero-fills the new slots. The rule is worked out
    // in 64 bits; a count past 32 bits is refused and the spare room is held at the largest count. Throws
    // std::bad_alloc before anything changes.
    void GrowBy(int32_t Count)
    {
        const int64_t NewNum = int64_t(ArrayNum) + Count;
        if (NewNum > INT32_MAX)
            throw std::bad_alloc();
        if (NewNum > ArrayMax)
        {
            const int64_t NewMax = NewNum + (NewNum * 3) / 8 + 32;
            Realloc(int32_t(NewMax < INT32_MAX ? NewMax : INT32_MAX));
        }
        if (Count > 0)
            std::memset(static_cast<void*>(Data + ArrayNum), 0, sizeof(T) * size_t(Count));
        ArrayNum = int32_t(NewNum);
    }

    // Makes the storage hold NewMax elements. Growing throws std::bad_alloc, with the array untouched, when the
    // memory cannot be had; a shrink that the allocator refuses keeps the larger block.
    void Realloc(int32_t NewMax)
    {
        if (NewMax == 0)
        {
            std::free(Data);
            Data = nullptr;
            ArrayMax = 0;
            return;
        }
        void* NewData = nullptr;
        if (size_t(NewMax) <= SIZE_MAX / sizeof(T))
            NewData = std::realloc(static_cast<void*>(Data), sizeof(T) * size_t(NewMax));
        if (!NewData)
        {
            if (NewMax < ArrayMax)
                return;
            throw std::bad_alloc();
        }
        Data = static_cast<T*>(NewData);
        ArrayMax = NewMax;
    }

    void CopyFrom(const TDynArray& Other)
    {
        if (Other.ArrayNum <= 0)
            return;
        Realloc(Other.ArrayNum);
        // Bytes and other plain values go in one copy: element by element, a byte array's stores could alias its
        // own count, which the loop would then read again at every byte.
        if (std::is_trivially_copyable<T>::value)
            std::memcpy(static_cast<void*>(Data), Other.Data, sizeof(T) * size_t(Other.ArrayNum));
        else
            for (int32_t i = 0; i < Other.ArrayNum; ++i)
                new (&Data[i]) T(Other.Data[i]);
        ArrayNum = Other.ArrayNum;
    }

public:
    // Kept public and in this order: readers of the Core's records rely on the layout.
    T* Data;
    int32_t ArrayNum;
    int32_t ArrayMax;
};

typedef TDynArray<uint8_t> FByteArray;
} // namespace Template
} // namespace Core

using Core::Template::FByteArray;
using Core::Template::TDynArray;
