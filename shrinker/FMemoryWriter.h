// FMemoryWriter: a growable byte store that chunk trees and texture records are written into.
//
// One writer belongs to one caller on one thread; it is filled, finished once, and dropped. Nothing blocks.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include "Core/Inc/CoreAssert.h"
#include "Core/Inc/CoreTemplateArray.h"

class FMemoryWriter
{
public:
    FMemoryWriter() : Data(nullptr), DataSize(0), Pos(0) {}

    // Appends Count bytes at the write position: the store grows with zero bytes as far as needed and the
    // position advances by Count.
    void Serialize(const void* Bytes, int32_t Count)
    {
        appCheck(Count >= 0);
        if (Count == 0)
            return;
        const int32_t End = Pos + Count;
        if (End > _WriteStore.Num())
            _WriteStore.Add(End - _WriteStore.Num()); // the array's own growth rule keeps appends cheap
        std::memcpy(_WriteStore.GetData() + Pos, Bytes, size_t(Count));
        Pos = End;
        Data = _WriteStore.GetData();
        DataSize = _WriteStore.Num();
    }

    // Makes room for Count bytes in all, for callers that know the size in advance.
    void Reserve(int32_t Count)
    {
        _WriteStore.Reserve(Count);
        Data = _WriteStore.GetData();
    }

    // Appends an unsigned 32-bit value, little-endian.
    void WriteUint32(uint32_t Value)
    {
        const uint8_t Bytes[4] = {uint8_t(Value), uint8_t(Value >> 8), uint8_t(Value >> 16), uint8_t(Value >> 24)};
        Serialize(Bytes, 4);
    }

    int32_t Tell() const { return Pos; }

    // Hands over the written bytes; the writer is empty afterwards. Something must have been written.
    FByteArray Finish()
    {
        appCheck(_WriteStore.Num());
        appCheck(DataSize == _WriteStore.Num());
        appCheck((Data = &_WriteStore[0]) != nullptr);
        FByteArray Result(std::move(_WriteStore));
        Data = nullptr;
        DataSize = 0;
        Pos = 0;
        return Result;
    }

    // Data and DataSize always describe _WriteStore.
    uint8_t* Data;
    int32_t DataSize;
    FByteArray _WriteStore;
    int32_t Pos;
};
