// RenderWare chunk streams for tests, built as byte vectors nested the way the chunks are:
//
//   RwContainer(RWCHUNK_TxdLib, {RwChunk(RWCHUNK_Data, {1, 0, 2, 0}), Image, RwChunk(RWCHUNK_Extension)})
//
// Sizes are computed unless a test overrides them (WithSize) to make a stream that lies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "shrinker/FRwChunk.h"

typedef std::vector<uint8_t> FBytes;

// The library version stamp the game's files carry (3.6.0.3); never interpreted.
const uint32_t RwTestVersion = 0x1803FFFF;

void PutU32(FBytes& Bytes, uint32_t Value);
void PutU16(FBytes& Bytes, uint16_t Value);
uint32_t GetU32(const FBytes& Bytes, size_t Offset);
void SetU32(FBytes& Bytes, size_t Offset, uint32_t Value);
// The parts one after the other.
FBytes Concat(std::initializer_list<FBytes> Parts);

// A chunk holding Payload: the header with Size = the payload's length, then the payload.
FBytes RwChunk(uint32_t Type, const FBytes& Payload = FBytes(), uint32_t Version = RwTestVersion);
// A chunk holding Children: the header with Size = their summed length, then the children.
FBytes RwContainer(uint32_t Type, const std::vector<FBytes>& Children, uint32_t Version = RwTestVersion);
// Chunk (one chunk's bytes) with its stored Size replaced.
FBytes WithSize(FBytes Chunk, uint32_t Size);
