// Deterministic synthetic game directories: an IMG version-2 archive shaped like the game's Models\gta3.img.
//
// Everything here is plain standard C++17 and uses nothing of Core or the shrinker, so that the archives it makes
// are an independent witness for the code that reads them. The same options give the same bytes on every system
// and standard library: the generator has its own random numbers and uses integer arithmetic only.
//
// All routines are free of global state and may run on any thread; they block until their file is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace SampleGame
{

// The five texture kinds the shrinker knows, with the header fields each one carries:
//   Dxt1   D3DFormat "DXT1", Depth 16, FormatFlags 8, raster format 0x200, 4 bits per pixel
//   Dxt1a  D3DFormat "DXT1", Depth 16, FormatFlags 9, raster format 0x100, 4 bits per pixel, 1-bit alpha
//   Dxt3   D3DFormat "DXT3", Depth 16, FormatFlags 9, raster format 0x300, 8 bits per pixel
//   Rgbx   D3DFormat 22,     Depth 32, FormatFlags 0, raster format 0x600, B,G,R,255 per pixel
//   Rgba   D3DFormat 21,     Depth 32, FormatFlags 1, raster format 0x500, B,G,R,A per pixel
// A texture with more than one level also carries the mip-map bit 0x8000 in its raster format word.
enum class ETextureKind : uint8_t
{
    Dxt1,
    Dxt1a,
    Dxt3,
    Rgbx,
    Rgba,
};
constexpr int32_t TextureKindCount = 5;

// The dictionaries that FSampleGameOptions::bLettering adds.
constexpr int32_t LetteringDictionaryCount = 16;

// Short label of a kind ("DXT1", "DXT1a", "DXT3", "RGBX", "RGBA").
const char* TextureKindLabel(ETextureKind Kind);

// What a texture shows: a scene of gradients and shapes (with the kind's alpha), or lines of lettering in one
// colour on another, as on signs, shop fronts and HUD pictures, whose strokes are a pixel or two wide.
enum class EPicture : uint8_t
{
    Scene,
    Lettering,
};

// One texture of a dictionary. Level n is max(1, Width >> n) by max(1, Height >> n) pixels.
struct FSampleTexture
{
    std::string Name;     // at most 31 characters; longer names are cut
    std::string MaskName; // same form; usually empty
    ETextureKind Kind = ETextureKind::Dxt1;
    uint16_t Width = 64;   // 1 to 4096; 0 is taken as 1
    uint16_t Height = 64;  // 1 to 4096; 0 is taken as 1
    uint8_t MipLevels = 1; // at least 1 (0 is taken as 1), largest level first
    uint32_t FilterFlags = 0x1106;
    uint64_t Seed = 1; // chooses the picture
    EPicture Picture = EPicture::Scene;
};

// Bytes of one level of Width x Height pixels: block-compressed kinds take whole 4x4 blocks (8 bytes for DXT1,
// 16 for DXT3), so a level below 4x4 still takes one block; the 32-bit kinds take 4 bytes a pixel.
uint32_t TextureLevelBytes(ETextureKind Kind, uint32_t Width, uint32_t Height);

// Bytes of the texture native record of Texture: the 88-byte header, then per level a 4-byte count and its bytes.
uint32_t TextureRecordBytes(const FSampleTexture& Texture);

// The picture of level 0, Width x Height pixels, rows top first, 4 bytes a pixel in the order R, G, B, A.
// Opaque kinds have alpha 255 everywhere; Dxt1a has only 0 and 255; Dxt3 and Rgba have smooth alpha.
std::vector<uint8_t> PaintTexture(const FSampleTexture& Texture);

// One level of Width x Height pixels (R, G, B, A, rows top first) in the kind's raster format: DXT blocks from the
// block's darkest and brightest colours, or B, G, R, A bytes (alpha 255 for Rgbx). TextureLevelBytes long.
std::vector<uint8_t> EncodeLevel(ETextureKind Kind, const uint8_t* Rgba, uint32_t Width, uint32_t Height);

// The texture native record (the payload of an image's struct chunk). Level 0 holds PaintTexture encoded in the
// kind's format; every further level is the previous one shrunk by a 2x2 box filter, then encoded.
std::vector<uint8_t> MakeTextureRecord(const FSampleTexture& Texture);

// A complete texture dictionary stream of the shape the shrinker expects: a dictionary chunk holding a 4-byte
// struct (texture count, device id 2), one image chunk per texture (struct with the record, empty extension),
// and an empty extension. Every chunk carries the version stamp 0x1803FFFF. An empty list gives the 40-byte
// dictionary without images.
std::vector<uint8_t> MakeTextureDictionary(const std::vector<FSampleTexture>& Textures);
uint32_t TextureDictionaryBytes(const std::vector<FSampleTexture>& Textures);

// Dictionaries that depart from the expected shape; a shrinker must leave each of them as it is.
enum class EMalformedTxd : uint8_t
{
    UnknownChunk, // an image holds a string chunk (type 2) between its struct and its extension
    Truncated,    // the stream ends, on a block boundary, inside the last image's struct
    SizeMismatch, // the first image's size is 4 more than its children add up to
    LevelOverrun, // a record's level count is 2 more than the levels its data holds
    Palette,      // one texture is an 8-bit palette image (Depth 8, 1024-byte palette)
    ShortRecord,  // one image's struct holds only the first 60 bytes of a record
};
constexpr int32_t MalformedTxdCount = 6;
const char* MalformedTxdLabel(EMalformedTxd Kind);

// A dictionary of a few ordinary, shrinkable textures with the given flaw.
std::vector<uint8_t> MakeMalformedDictionary(EMalformedTxd Kind, uint64_t Seed);

// One entry of a hand-made archive.
struct FImgEntrySource
{
    std::string Name; // 1 to 23 characters
    std::vector<uint8_t> Bytes;
};

// Writes a version-2 archive of the given entries, in order, packed back to back in 2048-byte blocks from the
// first block after the directory, each padded with zeros. Meant for small archives: the entries are the caller's
// and stay in memory. Overwrites Path. On failure returns false, sets *Error (when not null) and removes Path.
bool WriteImgArchive(const std::string& Path, const std::vector<FImgEntrySource>& Entries, std::string* Error);

struct FSampleGameOptions
{
    uint64_t Seed = 1;
    // Archive size: EntryCount entries when it is above 0; else about TargetBytes bytes when that is above 0;
    // else the full size of the game's archive (16,300 entries, about 900 MiB). The result must stay below
    // 2 GiB, which allows about 35,000 entries (EntryCount at most 40,000).
    int32_t EntryCount = 0;
    uint64_t TargetBytes = 0;
    // Include the dictionaries of EMalformedTxd (at least one of each when the archive has room).
    bool bMalformed = true;
    // Also LetteringDictionaryCount dictionaries of single-level textures with fine detail (signs of lettering,
    // cut-outs), after the other entries; every other entry stays as the options make it without them.
    bool bLettering = false;
    // WriteSampleGame only: replace an existing gta3.img instead of failing.
    bool bOverwrite = false;
    // WriteSampleGame only: further archives, as the game's gta_int.img or a mod's own archive: models/NAME.img of
    // EntryCount entries each (seeded by Seed and their place in the list), and data/gta.dat naming each of them
    // in an IMG line ("IMG MODELS\NAME.IMG", upper case as the game writes it).
    struct FExtraArchive
    {
        std::string Name; // letters, digits and _ only
        int32_t EntryCount = 0;
    };
    std::vector<FExtraArchive> ExtraArchives;
};

// What an archive holds; filled by the writers below.
struct FSampleGameReport
{
    std::string ImgPath;
    int32_t EntryCount = 0;
    int32_t TxdCount = 0;         // every entry named *.txd, the ones below included
    int32_t EmptyTxdCount = 0;    // 40-byte dictionaries without images
    int32_t SkipRuleTxdCount = 0; // named after the built-in skip rules (radar00, landstal, ...)
    int32_t MalformedCount = 0;
    int32_t TextureCount = 0; // textures of the well-formed dictionaries
    int32_t TexturesByKind[TextureKindCount] = {};
    uint64_t LevelBytesByKind[TextureKindCount] = {}; // raster bytes of all levels
    uint64_t FileBytes = 0;
    uint64_t TxdBytes = 0;       // whole blocks taken by the txd entries
    uint32_t MedianTxdBytes = 0; // stream bytes of the median dictionary
    uint32_t LargestTxdBytes = 0;
};

// Writes a whole synthetic archive to ImgPath (overwriting it), one entry at a time: the directory comes first
// because every entry's size is known before any picture is made, so memory holds one entry at most.
// On failure returns false, sets *Error (when not null) and removes the partial file.
bool WriteSampleImg(const std::string& ImgPath, const FSampleGameOptions& Options, std::string* Error,
                    FSampleGameReport* Report = nullptr);

// Makes OutDir and OutDir/models as needed and writes OutDir/models/gta3.img, and the extra archives with
// OutDir/data/gta.dat when there are any. A folder or file that already exists under another letter case
// (Models/GTA3.IMG) is used as it is. Fails when an archive exists and Options.bOverwrite is not set.
bool WriteSampleGame(const std::string& OutDir, const FSampleGameOptions& Options, std::string* Error,
                     FSampleGameReport* Report = nullptr);

} // namespace SampleGame
