// Texture records and whole texture dictionary streams for tests.
//
//   FBytes Txd = TxdDictionary({Dxt1Texture("wall", 64, 64, 3), Dxt1Texture("door", 32, 32, 1)});
//
// Every field of a record can be set, including counts that lie (MipLevels) and bytes after the last level.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/ChunkBuilder.h"

struct FTestTexture
{
    std::string Name = "tex";
    std::string MaskName;
    uint32_t PlatformId = 9;
    uint32_t FilterFlags = 0x1106;
    uint32_t Unknown3 = 0x200;
    uint32_t D3DFormat = 0x31545844; // "DXT1" as stored
    uint16_t Width = 64;
    uint16_t Height = 64;
    uint8_t Depth = 16;
    int32_t MipLevels = -1; // the stored count; -1 stores Levels.size()
    uint8_t RasterType = 4;
    uint8_t FormatFlags = 8;
    FBytes Palette;             // written right after the header, as given
    std::vector<FBytes> Levels; // each written as its byte count and its bytes
    FBytes Trailing;            // after the last level
};

// A DXT1 texture (no alpha) of Width x Height with Levels levels, each of its proper size (8 bytes per 4x4
// block, at least one block), filled with bytes that differ from level to level and from name to name.
FTestTexture Dxt1Texture(const std::string& Name, uint16_t Width, uint16_t Height, int32_t Levels);
// A palette texture (Depth 8): a 1024-byte palette and Levels levels of one byte per pixel.
FTestTexture PaletteTexture(const std::string& Name, uint16_t Width, uint16_t Height, int32_t Levels);

// The record's stored bytes.
FBytes TxdRecord(const FTestTexture& Tex);
// rwTXDIMAGE { rwDATA (Record), empty rwEXTENTON }.
FBytes TxdImageChunk(const FBytes& Record);
// rwTXDLIB { rwDATA (texture count, device 0), Images..., empty rwEXTENTON }.
FBytes TxdDictionaryOfChunks(const std::vector<FBytes>& Images);
// A whole dictionary of the given textures.
FBytes TxdDictionary(const std::vector<FTestTexture>& Textures);
