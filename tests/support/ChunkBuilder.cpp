#include "tests/support/ChunkBuilder.h"

void PutU32(FBytes& Bytes, uint32_t Value)
{
    for (int Shift = 0; Shift < 32; Shift += 8)
        Bytes.push_back(uint8_t(Value >> Shift));
}

void PutU16(FBytes& Bytes, uint16_t Value)
{
    Bytes.push_back(uint8_t(Value));
    Bytes.push_back(uint8_t(Value >> 8));
}

uint32_t GetU32(const FBytes& Bytes, size_t Offset)
{
    return uint32_t(Bytes.at(Offset)) | uint32_t(Bytes.at(Offset + 1)) << 8 | uint32_t(Bytes.at(Offset + 2)) << 16 |
           uint32_t(Bytes.at(Offset + 3)) << 24;
}

void SetU32(FBytes& Bytes, size_t Offset, uint32_t Value)
{
    for (size_t i = 0; i < 4; ++i)
        Bytes.at(Offset + i) = uint8_t(Value >> (8 * i));
}

FBytes Concat(std::initializer_list<FBytes> Parts)
{
    FBytes Result;
    for (const FBytes& Part : Parts)
        Result.insert(Result.end(), Part.begin(), Part.end());
    return Result;
}

FBytes RwChunk(uint32_t Type, const FBytes& Payload, uint32_t Version)
{
    FBytes Result;
    PutU32(Result, Type);
    PutU32(Result, uint32_t(Payload.size()));
    PutU32(Result, Version);
    Result.insert(Result.end(), Payload.begin(), Payload.end());
    return Result;
}

FBytes RwContainer(uint32_t Type, const std::vector<FBytes>& Children, uint32_t Version)
{
    FBytes Body;
    for (const FBytes& Child : Children)
        Body.insert(Body.end(), Child.begin(), Child.end());
    return RwChunk(Type, Body, Version);
}

FBytes WithSize(FBytes Chunk, uint32_t Size)
{
    SetU32(Chunk, 4, Size);
    return Chunk;
}
