#include "tests/support/TxdBuilder.h"

#include <algorithm>

namespace
{
FBytes Filled(size_t Count, uint32_t Seed)
{
    FBytes Bytes(Count);
    for (size_t i = 0; i < Count; ++i)
        Bytes[i] = uint8_t((i * 131 + Seed * 17 + (i >> 8)) & 0xFF);
    return Bytes;
}

uint32_t NameSeed(const std::string& Name)
{
    uint32_t Seed = 7;
    for (char C : Name)
        Seed = Seed * 31 + uint8_t(C);
    return Seed;
}

// Levels halving down to 1 x 1 sides, each of LevelBytes(W, H) bytes that differ from level to level and from name
// to name.
template <typename FLevelBytes> void AddLevels(FTestTexture& Tex, int32_t Levels, FLevelBytes LevelBytes)
{
    for (int32_t Level = 0; Level < Levels; ++Level)
        Tex.Levels.push_back(
            Filled(LevelBytes(std::max(1u, uint32_t(Tex.Width) >> Level), std::max(1u, uint32_t(Tex.Height) >> Level)),
                   NameSeed(Tex.Name) + uint32_t(Level)));
}

void PutText(FBytes& Bytes, const std::string& Text, size_t Field)
{
    for (size_t i = 0; i < Field; ++i)
        Bytes.push_back(i < Text.size() ? uint8_t(Text[i]) : 0);
}
} // namespace

FTestTexture Dxt1Texture(const std::string& Name, uint16_t Width, uint16_t Height, int32_t Levels)
{
    FTestTexture Tex;
    Tex.Name = Name;
    Tex.Width = Width;
    Tex.Height = Height;
    Tex.Unknown3 = Levels == 1 ? 0x200 : 0x1200;
    AddLevels(Tex, Levels, [](uint32_t W, uint32_t H) { return size_t((W + 3) / 4) * ((H + 3) / 4) * 8; });
    return Tex;
}

FTestTexture PaletteTexture(const std::string& Name, uint16_t Width, uint16_t Height, int32_t Levels)
{
    FTestTexture Tex;
    Tex.Name = Name;
    Tex.Width = Width;
    Tex.Height = Height;
    Tex.Depth = 8;
    Tex.FormatFlags = 0;
    Tex.D3DFormat = 21;
    Tex.Unknown3 = 0x2500;
    Tex.Palette = Filled(1024, NameSeed(Name));
    AddLevels(Tex, Levels, [](uint32_t W, uint32_t H) { return size_t(W) * H; });
    return Tex;
}

FBytes TxdRecord(const FTestTexture& Tex)
{
    FBytes Bytes;
    PutU32(Bytes, Tex.PlatformId);
    PutU32(Bytes, Tex.FilterFlags);
    PutText(Bytes, Tex.Name, 32);
    PutText(Bytes, Tex.MaskName, 32);
    PutU32(Bytes, Tex.Unknown3);
    PutU32(Bytes, Tex.D3DFormat);
    PutU16(Bytes, Tex.Width);
    PutU16(Bytes, Tex.Height);
    Bytes.push_back(Tex.Depth);
    Bytes.push_back(uint8_t(Tex.MipLevels >= 0 ? Tex.MipLevels : int32_t(Tex.Levels.size())));
    Bytes.push_back(Tex.RasterType);
    Bytes.push_back(Tex.FormatFlags);
    Bytes.insert(Bytes.end(), Tex.Palette.begin(), Tex.Palette.end());
    for (const FBytes& Level : Tex.Levels)
    {
        PutU32(Bytes, uint32_t(Level.size()));
        Bytes.insert(Bytes.end(), Level.begin(), Level.end());
    }
    Bytes.insert(Bytes.end(), Tex.Trailing.begin(), Tex.Trailing.end());
    return Bytes;
}

FBytes TxdImageChunk(const FBytes& Record)
{
    return RwContainer(RWCHUNK_TxdImage, {RwChunk(RWCHUNK_Data, Record), RwChunk(RWCHUNK_Extension)});
}

FBytes TxdDictionaryOfChunks(const std::vector<FBytes>& Images)
{
    std::vector<FBytes> Children;
    FBytes Struct;
    PutU16(Struct, uint16_t(Images.size()));
    PutU16(Struct, 0);
    Children.push_back(RwChunk(RWCHUNK_Data, Struct));
    Children.insert(Children.end(), Images.begin(), Images.end());
    Children.push_back(RwChunk(RWCHUNK_Extension));
    return RwContainer(RWCHUNK_TxdLib, Children);
}

FBytes TxdDictionary(const std::vector<FTestTexture>& Textures)
{
    std::vector<FBytes> Images;
    for (const FTestTexture& Tex : Textures)
        Images.push_back(TxdImageChunk(TxdRecord(Tex)));
    return TxdDictionaryOfChunks(Images);
}
