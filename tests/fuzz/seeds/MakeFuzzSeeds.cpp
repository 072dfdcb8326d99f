// Makes the binary part of the fuzz targets' seed corpus: small inputs that reach deep into each reader (every
// texture kind and both ways of shrinking a texture, archives with and without texture dictionaries). The text
// seeds (INI files in each encoding, rules of every form, the game's small text files) are kept as they are in
// corpus/. Usage: make-fuzz-seeds CORPUS_DIR (tests/fuzz/make-seeds.sh runs it).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/ImgBuilder.h"
#include "tests/support/TxdBuilder.h"

namespace
{
bool GFailed = false;

void Put(const std::string& Dir, const std::string& Target, const std::string& Name, const FBytes& Bytes)
{
    std::error_code Error;
    std::filesystem::create_directories(Dir + "/" + Target, Error);
    const std::string Path = Dir + "/" + Target + "/" + Name;
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
    if (!Out)
    {
        std::fprintf(stderr, "make-fuzz-seeds: cannot write %s\n", Path.c_str());
        GFailed = true;
    }
}

FBytes Filled(size_t Count, uint8_t Seed)
{
    FBytes Bytes(Count);
    for (size_t i = 0; i < Count; ++i)
        Bytes[i] = uint8_t(i * 37 + Seed);
    return Bytes;
}

// A single-level texture of a 32-bit or DXT3 kind; the level holds exactly its pixels.
FTestTexture Texture(const std::string& Name, uint32_t Format, uint8_t Flags, uint8_t Depth, uint32_t Unknown3,
                     uint16_t Width, uint16_t Height, size_t LevelBytes)
{
    FTestTexture Tex;
    Tex.Name = Name;
    Tex.D3DFormat = Format;
    Tex.FormatFlags = Flags;
    Tex.Depth = Depth;
    Tex.Unknown3 = Unknown3;
    Tex.Width = Width;
    Tex.Height = Height;
    Tex.Levels.push_back(Filled(LevelBytes, uint8_t(Name.size())));
    return Tex;
}

void MakeTxdSeeds(const std::string& Dir)
{
    const std::string T = "txd_entry";
    Put(Dir, T, "dxt1-mips", TxdDictionary({Dxt1Texture("wall", 32, 32, 3)}));
    Put(Dir, T, "dxt1-single", TxdDictionary({Dxt1Texture("door", 32, 32, 1)}));
    Put(Dir, T, "dxt3-single", TxdDictionary({Texture("glass", 0x33545844, 9, 16, 0x300, 32, 32, 32 * 32)}));
    Put(Dir, T, "rgba-single", TxdDictionary({Texture("leaf", 21, 1, 32, 0x500, 8, 32, 8 * 32 * 4)}));
    FTestTexture Opaque = Texture("sky", 22, 0, 32, 0x600, 32, 32, 32 * 32 * 4);
    Opaque.Levels.push_back(Filled(16 * 16 * 4, 5));
    Put(Dir, T, "rgbx-mips", TxdDictionary({Opaque}));
    FTestTexture Lying = Dxt1Texture("tail", 16, 16, 1);
    Lying.Trailing = {1, 2, 3, 4};
    // Images without a struct: not a dictionary the game made, but one that must cost little to refuse.
    std::vector<FBytes> Empty(40, RwContainer(RWCHUNK_TxdImage, {RwChunk(RWCHUNK_Extension)}));
    Put(Dir, T, "empty-images", TxdDictionaryOfChunks(Empty));
    Put(Dir, T, "palette-and-small",
        TxdDictionary({PaletteTexture("pal", 8, 8, 1), Dxt1Texture("tiny", 4, 4, 1), Lying}));
}

void MakeImgSeeds(const std::string& Dir)
{
    const std::string T = "img_archive";
    Put(Dir, T, "txd-and-model",
        FImgBuilder()
            .Add("shop.txd", TxdDictionary({Dxt1Texture("wall", 32, 32, 2)}))
            .Add("shop.dff", Filled(300, 1))
            .Build());
    Put(Dir, T, "gap",
        FImgBuilder()
            .Add("LOD.TXD", TxdDictionary({Dxt1Texture("far", 32, 32, 1)}))
            .Gap(1)
            .Add("a.b.txd", FBytes())
            .Build());
    Put(Dir, T, "empty", FImgBuilder().Build());
    // Entries that claim terabytes: refused before anything is read or written, in a dry run too.
    Put(Dir, T, "claims-terabytes",
        FImgBuilder()
            .Add("big.txd", FBytes(16, 1))
            .Add("huge.dff", FBytes(16, 2))
            .SetDirEntry(0, 1, 0xFFFFFFFF)
            .SetDirEntry(1, 0x7FFFFFFF, 0x7FFFFFFF)
            .Build());
}

} // namespace

int main(int Argc, char** Argv)
{
    if (Argc != 2)
    {
        std::fprintf(stderr, "usage: make-fuzz-seeds CORPUS_DIR\n");
        return 2;
    }
    const std::string Dir = Argv[1];
    MakeTxdSeeds(Dir);
    MakeImgSeeds(Dir);
    return GFailed ? 1 : 0;
}
