// Sample textures: procedural pictures, a small deterministic DXT1/DXT3 block encoder, texture native records and
// texture dictionary streams. Integer arithmetic only, so every system writes the same bytes.
#include <algorithm>
#include <cstring>

#include "SampleGame.h"
#include "SampleRandom.h"

namespace SampleGame
{
namespace
{
using Imp::FRandom;

constexpr uint32_t ChunkVersion = 0x1803FFFF;
constexpr uint32_t ChunkData = 0x1;
constexpr uint32_t ChunkString = 0x2;
constexpr uint32_t ChunkExtension = 0x3;
constexpr uint32_t ChunkImage = 0x15;
constexpr uint32_t ChunkDictionary = 0x16;

constexpr uint32_t RecordHeaderBytes = 88;
constexpr uint32_t PlatformD3D9 = 9;
constexpr uint8_t RasterTypeTexture = 4;
constexpr uint32_t RasterFormatMipMap = 0x8000;
constexpr uint32_t FourCC(char A, char B, char C, char D)
{
    return uint32_t(uint8_t(A)) | uint32_t(uint8_t(B)) << 8 | uint32_t(uint8_t(C)) << 16 | uint32_t(uint8_t(D)) << 24;
}

struct FKindInfo
{
    uint32_t D3DFormat;
    uint32_t RasterFormat;
    uint8_t Depth;
    uint8_t FormatFlags;
    uint32_t BlockBytes; // 0: 4 bytes a pixel
};

const FKindInfo& KindInfo(ETextureKind Kind)
{
    static const FKindInfo Infos[TextureKindCount] = {
        {FourCC('D', 'X', 'T', '1'), 0x200, 16, 8, 8},
        {FourCC('D', 'X', 'T', '1'), 0x100, 16, 9, 8},
        {FourCC('D', 'X', 'T', '3'), 0x300, 16, 9, 16},
        {22, 0x600, 32, 0, 0},
        {21, 0x500, 32, 1, 0},
    };
    return Infos[int32_t(Kind)];
}

void PutU16(std::vector<uint8_t>& Out, uint32_t Value)
{
    Out.push_back(uint8_t(Value));
    Out.push_back(uint8_t(Value >> 8));
}

void PutU32(std::vector<uint8_t>& Out, uint32_t Value)
{
    for (int32_t Shift = 0; Shift < 32; Shift += 8)
        Out.push_back(uint8_t(Value >> Shift));
}

void PutChunkHead(std::vector<uint8_t>& Out, uint32_t Type, uint32_t Size)
{
    PutU32(Out, Type);
    PutU32(Out, Size);
    PutU32(Out, ChunkVersion);
}

void PutFixedText(std::vector<uint8_t>& Out, const std::string& Text, size_t FieldBytes)
{
    const size_t Used = std::min(Text.size(), FieldBytes - 1);
    Out.insert(Out.end(), Text.begin(), Text.begin() + Used);
    Out.insert(Out.end(), FieldBytes - Used, 0);
}

uint32_t SideOf(uint16_t Side)
{
    return Side ? Side : 1;
}

uint32_t LevelCount(const FSampleTexture& Texture)
{
    return Texture.MipLevels ? Texture.MipLevels : 1;
}

// ---------------------------------------------------------------------------------------------------------------
// Pictures. Coordinates are taken in 1/4096 of the texture's sides, so a picture looks the same at any size and
// the mip levels made from it agree with it.

struct FShape
{
    uint8_t Type; // 0 disc, 1 box, 2 stripes, 3 checker, 4 ring
    int32_t Cx, Cy, Rx, Ry;
    int32_t Dx, Dy, Shift;
    uint8_t Colour[3];
    uint32_t Opacity; // of 256
};

struct FRecipe
{
    uint8_t ColourA[3], ColourB[3];
    uint8_t GradientMode; // 0 across, 1 down, 2 diagonal, 3 radial
    int32_t Gx, Gy;
    FShape Shapes[5];
    int32_t ShapeCount;
    int32_t NoiseAmp;
    uint8_t AlphaMode; // 0 opaque; 1 to 3 cut-outs; 4 to 6 smooth
    FShape AlphaShapes[4];
    int32_t AlphaShapeCount;
    uint32_t NoiseSeed;
};

// Ground colours of the kind the game's art is made of: asphalt, concrete, brick, grass, sand, wood, glass, paint.
const uint8_t BaseColours[][3] = {
    {70, 72, 75},   {150, 148, 140}, {150, 70, 50},   {70, 110, 45}, {200, 180, 130}, {120, 85, 50},
    {90, 130, 160}, {180, 40, 40},   {230, 230, 220}, {40, 40, 45},  {110, 100, 90},  {60, 90, 60},
};

void PickColour(FRandom& Random, uint8_t Out[3], const uint8_t* Near, int32_t Spread)
{
    for (int32_t c = 0; c < 3; ++c)
        Out[c] = uint8_t(std::clamp(int32_t(Near[c]) + Random.Range(-Spread, Spread), 0, 255));
}

void PickShape(FRandom& Random, FShape& Shape, uint8_t Type)
{
    Shape.Type = Type;
    Shape.Cx = Random.Range(0, 4095);
    Shape.Cy = Random.Range(0, 4095);
    Shape.Rx = Random.Range(300, 1800);
    Shape.Ry = Random.Range(300, 1800);
    Shape.Dx = Random.Range(-2, 2);
    Shape.Dy = Random.Range(-2, 2);
    if (Shape.Dx == 0 && Shape.Dy == 0)
        Shape.Dx = 1;
    Shape.Shift = Random.Range(7, 9);
    const uint8_t* Base = BaseColours[Random.Below(sizeof(BaseColours) / sizeof(BaseColours[0]))];
    PickColour(Random, Shape.Colour, Base, 40);
    Shape.Opacity = uint32_t(Random.Range(128, 256));
}

bool InShape(const FShape& Shape, int32_t U, int32_t V)
{
    const int32_t Du = U - Shape.Cx, Dv = V - Shape.Cy;
    switch (Shape.Type)
    {
        case 0:
            return Du * Du + Dv * Dv < Shape.Rx * Shape.Rx;
        case 1:
            return Du < Shape.Rx && -Du < Shape.Rx && Dv < Shape.Ry && -Dv < Shape.Ry;
        case 2:
            return (((U * Shape.Dx + V * Shape.Dy) + 16384) >> Shape.Shift) & 1;
        case 3:
            return ((U >> (Shape.Shift + 1)) ^ (V >> (Shape.Shift + 1))) & 1;
        default:
        {
            const int32_t D2 = Du * Du + Dv * Dv;
            return D2 < Shape.Rx * Shape.Rx && D2 * 2 > Shape.Rx * Shape.Rx;
        }
    }
}

FRecipe MakeRecipe(const FSampleTexture& Texture)
{
    FRandom Random(Imp::MixBits(Texture.Seed ^ 0x5A3C9E1Bu));
    FRecipe Recipe{};
    const uint8_t* Base = BaseColours[Random.Below(sizeof(BaseColours) / sizeof(BaseColours[0]))];
    PickColour(Random, Recipe.ColourA, Base, 30);
    PickColour(Random, Recipe.ColourB, Recipe.ColourA, 60);
    Recipe.GradientMode = uint8_t(Random.Below(4));
    Recipe.Gx = Random.Range(0, 4095);
    Recipe.Gy = Random.Range(0, 4095);
    Recipe.ShapeCount = Random.Range(1, 5);
    for (int32_t i = 0; i < Recipe.ShapeCount; ++i)
        PickShape(Random, Recipe.Shapes[i], uint8_t(Random.Below(5)));
    Recipe.NoiseAmp = Random.Chance(150) ? 0 : Random.Range(2, 20);
    Recipe.NoiseSeed = uint32_t(Random.Next());

    switch (Texture.Kind)
    {
        case ETextureKind::Dxt1a:
            Recipe.AlphaMode = uint8_t(Random.Range(1, 3));
            break;
        case ETextureKind::Dxt3:
        case ETextureKind::Rgba:
            Recipe.AlphaMode = uint8_t(Random.Range(4, 6));
            break;
        default:
            Recipe.AlphaMode = 0;
            break;
    }
    // Cut-outs: leaves (discs), a fence (stripes), a window (a box hole); smooth: shapes on a see-through ground.
    Recipe.AlphaShapeCount = Recipe.AlphaMode == 2 ? Random.Range(3, 4) : 1;
    for (int32_t i = 0; i < Recipe.AlphaShapeCount; ++i)
        PickShape(Random, Recipe.AlphaShapes[i], Recipe.AlphaMode == 1 ? 2 : Recipe.AlphaMode == 3 ? 1 : 0);
    return Recipe;
}

uint32_t NoiseHash(uint32_t X, uint32_t Y, uint32_t Seed)
{
    uint32_t H = X * 0x9E3779B1u ^ Y * 0x85EBCA77u ^ Seed;
    H ^= H >> 15;
    H *= 0x2C1B3C6Du;
    H ^= H >> 12;
    return H;
}

uint8_t Blend(uint32_t From, uint32_t To, uint32_t Weight)
{
    return uint8_t((From * (256 - Weight) + To * Weight) >> 8);
}

uint8_t AlphaAt(const FRecipe& Recipe, int32_t U, int32_t V)
{
    bool bInside = false;
    for (int32_t i = 0; i < Recipe.AlphaShapeCount && !bInside; ++i)
        bInside = InShape(Recipe.AlphaShapes[i], U, V);
    switch (Recipe.AlphaMode)
    {
        case 0:
            return 255;
        case 1:
        case 2:
            return bInside ? 255 : 0;
        case 3:
            return bInside ? 0 : 255;
        case 4: // a glow fading from its centre
        {
            const int32_t Du = U - Recipe.AlphaShapes[0].Cx, Dv = V - Recipe.AlphaShapes[0].Cy;
            return uint8_t(255 - std::min(255, (Du * Du + Dv * Dv) >> 15));
        }
        case 5: // a fade across
            return uint8_t(std::min(255, (U >> 4) + 16));
        default:
            return bInside ? 255 : 96;
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Block encoding. Endpoints are the block's darkest and brightest colours; each pixel takes the palette entry
// nearest to its projection on the line between them. Opaque blocks use the four-colour mode; a DXT1 block with a
// pixel of alpha below 128 uses the three-colour mode with index 3 for transparent pixels; DXT3 stores 4 bits of
// alpha per pixel before the colour block.

uint32_t To565(const uint8_t* Rgb)
{
    return ((Rgb[0] * 31u + 127) / 255) << 11 | ((Rgb[1] * 63u + 127) / 255) << 5 | ((Rgb[2] * 31u + 127) / 255);
}

void From565(uint32_t Packed, int32_t* Rgb)
{
    const int32_t R = (Packed >> 11) & 31, G = (Packed >> 5) & 63, B = Packed & 31;
    Rgb[0] = (R << 3) | (R >> 2);
    Rgb[1] = (G << 2) | (G >> 4);
    Rgb[2] = (B << 3) | (B >> 2);
}

void EncodeColourBlock(const uint8_t (&Block)[16][4], bool bCutOut, uint8_t* Out)
{
    bool bTransparent[16];
    bool bAnyTransparent = false;
    int32_t MinLuma = 1 << 30, MaxLuma = -1, MinAt = -1, MaxAt = -1;
    for (int32_t i = 0; i < 16; ++i)
    {
        bTransparent[i] = bCutOut && Block[i][3] < 128;
        bAnyTransparent |= bTransparent[i];
        if (bTransparent[i])
            continue;
        const int32_t Luma = 77 * Block[i][0] + 150 * Block[i][1] + 29 * Block[i][2];
        if (Luma < MinLuma)
            MinLuma = Luma, MinAt = i;
        if (Luma > MaxLuma)
            MaxLuma = Luma, MaxAt = i;
    }

    uint32_t C0 = 0, C1 = 0, Indices = 0;
    if (MaxAt < 0) // every pixel transparent
    {
        Indices = 0xFFFFFFFFu;
    }
    else
    {
        C0 = To565(Block[MaxAt]);
        C1 = To565(Block[MinAt]);
        // Four-colour mode needs C0 > C1, three-colour mode C0 <= C1.
        if (bAnyTransparent ? C0 > C1 : C0 < C1)
            std::swap(C0, C1);
        int32_t From[3], To[3], Axis[3];
        From565(C1, From);
        From565(C0, To);
        for (int32_t c = 0; c < 3; ++c)
            Axis[c] = To[c] - From[c];
        const int32_t Length = Axis[0] * Axis[0] + Axis[1] * Axis[1] + Axis[2] * Axis[2];
        for (int32_t i = 15; i >= 0; --i)
        {
            // T runs from 0 at C1 to Length at C0. Four colours: C1, 2/3 C1 + 1/3 C0 (index 3), 1/3 C1 + 2/3 C0
            // (index 2), C0; three colours: C1, their mean (index 2), C0.
            const int32_t T = (Block[i][0] - From[0]) * Axis[0] + (Block[i][1] - From[1]) * Axis[1] +
                              (Block[i][2] - From[2]) * Axis[2];
            static const uint8_t FourColour[4] = {1, 3, 2, 0}, ThreeColour[3] = {1, 2, 0};
            uint32_t Index;
            if (bAnyTransparent)
                Index = bTransparent[i] ? 3 : ThreeColour[(4 * T >= Length) + (4 * T >= 3 * Length)];
            else
                Index = FourColour[(6 * T >= Length) + (6 * T >= 3 * Length) + (6 * T >= 5 * Length)];
            Indices = Indices << 2 | Index;
        }
    }
    Out[0] = uint8_t(C0);
    Out[1] = uint8_t(C0 >> 8);
    Out[2] = uint8_t(C1);
    Out[3] = uint8_t(C1 >> 8);
    for (int32_t i = 0; i < 4; ++i)
        Out[4 + i] = uint8_t(Indices >> (8 * i));
}

void AppendLevel(std::vector<uint8_t>& Out, ETextureKind Kind, const uint8_t* Rgba, uint32_t Width, uint32_t Height)
{
    const size_t Start = Out.size();
    Out.resize(Start + TextureLevelBytes(Kind, Width, Height));
    uint8_t* Dest = Out.data() + Start;
    if (KindInfo(Kind).BlockBytes == 0)
    {
        const bool bOpaque = Kind == ETextureKind::Rgbx;
        for (uint32_t i = 0; i < Width * Height; ++i, Rgba += 4, Dest += 4)
        {
            Dest[0] = Rgba[2];
            Dest[1] = Rgba[1];
            Dest[2] = Rgba[0];
            Dest[3] = bOpaque ? 255 : Rgba[3];
        }
        return;
    }
    const uint32_t BlocksX = (Width + 3) / 4, BlocksY = (Height + 3) / 4;
    for (uint32_t By = 0; By < BlocksY; ++By)
    {
        for (uint32_t Bx = 0; Bx < BlocksX; ++Bx)
        {
            uint8_t Block[16][4];
            if (Bx * 4 + 4 <= Width && By * 4 + 4 <= Height)
            {
                for (uint32_t Row = 0; Row < 4; ++Row)
                    std::memcpy(Block[Row * 4], Rgba + ((size_t(By) * 4 + Row) * Width + Bx * 4) * 4, 16);
            }
            else // pixels beyond a small level's edge repeat the edge
            {
                for (uint32_t i = 0; i < 16; ++i)
                {
                    const uint32_t X = std::min(Bx * 4 + i % 4, Width - 1), Y = std::min(By * 4 + i / 4, Height - 1);
                    std::memcpy(Block[i], Rgba + (size_t(Y) * Width + X) * 4, 4);
                }
            }
            if (Kind == ETextureKind::Dxt3)
            {
                for (int32_t i = 0; i < 8; ++i)
                {
                    const uint32_t Lo = (Block[2 * i][3] * 15u + 127) / 255,
                                   Hi = (Block[2 * i + 1][3] * 15u + 127) / 255;
                    *Dest++ = uint8_t(Lo | Hi << 4);
                }
            }
            EncodeColourBlock(Block, Kind == ETextureKind::Dxt1a, Dest);
            Dest += 8;
        }
    }
}

// The next mip level: each pixel is the mean of a 2x2 square (a side of 1 stays 1).
std::vector<uint8_t> Downsample(const std::vector<uint8_t>& Rgba, uint32_t Width, uint32_t Height)
{
    const uint32_t NewWidth = std::max(1u, Width / 2), NewHeight = std::max(1u, Height / 2);
    std::vector<uint8_t> Result(size_t(NewWidth) * NewHeight * 4);
    uint8_t* Dest = Result.data();
    for (uint32_t Y = 0; Y < NewHeight; ++Y)
    {
        const uint8_t* Row0 = Rgba.data() + size_t(std::min(2 * Y, Height - 1)) * Width * 4;
        const uint8_t* Row1 = Rgba.data() + size_t(std::min(2 * Y + 1, Height - 1)) * Width * 4;
        for (uint32_t X = 0; X < NewWidth; ++X)
        {
            const uint32_t X0 = std::min(2 * X, Width - 1) * 4, X1 = std::min(2 * X + 1, Width - 1) * 4;
            for (uint32_t c = 0; c < 4; ++c)
                *Dest++ = uint8_t((Row0[X0 + c] + Row0[X1 + c] + Row1[X0 + c] + Row1[X1 + c] + 2) / 4);
        }
    }
    return Result;
}

void AppendRecordHeader(std::vector<uint8_t>& Out, const FSampleTexture& Texture)
{
    const FKindInfo& Info = KindInfo(Texture.Kind);
    const uint32_t Levels = LevelCount(Texture);
    PutU32(Out, PlatformD3D9);
    PutU32(Out, Texture.FilterFlags);
    PutFixedText(Out, Texture.Name, 32);
    PutFixedText(Out, Texture.MaskName, 32);
    PutU32(Out, Info.RasterFormat | (Levels > 1 ? RasterFormatMipMap : 0));
    PutU32(Out, Info.D3DFormat);
    PutU16(Out, SideOf(Texture.Width));
    PutU16(Out, SideOf(Texture.Height));
    Out.push_back(Info.Depth);
    Out.push_back(uint8_t(Levels));
    Out.push_back(RasterTypeTexture);
    Out.push_back(Info.FormatFlags);
}

void AppendTextureRecord(std::vector<uint8_t>& Out, const FSampleTexture& Texture)
{
    AppendRecordHeader(Out, Texture);
    uint32_t Width = SideOf(Texture.Width), Height = SideOf(Texture.Height);
    std::vector<uint8_t> Pixels = PaintTexture(Texture);
    const uint32_t Levels = LevelCount(Texture);
    for (uint32_t Level = 0; Level < Levels; ++Level)
    {
        PutU32(Out, TextureLevelBytes(Texture.Kind, Width, Height));
        AppendLevel(Out, Texture.Kind, Pixels.data(), Width, Height);
        if (Level + 1 < Levels)
        {
            Pixels = Downsample(Pixels, Width, Height);
            Width = std::max(1u, Width / 2);
            Height = std::max(1u, Height / 2);
        }
    }
}

// The size field of an image chunk: its struct chunk, any extra chunk, and its empty extension.
uint32_t ImageChunkBytes(uint32_t RecordBytes, uint32_t ExtraBytes = 0)
{
    return (12 + RecordBytes) + ExtraBytes + 12;
}

// One image of a dictionary under construction: its record, and optionally a whole extra chunk placed between
// the struct and the extension.
struct FImagePart
{
    std::vector<uint8_t> Record;
    std::vector<uint8_t> ExtraChunk;
};

std::vector<uint8_t> AssembleDictionary(const std::vector<FImagePart>& Images)
{
    uint32_t Inner = (12 + 4) + 12;
    for (const FImagePart& Image : Images)
        Inner += 12 + ImageChunkBytes(uint32_t(Image.Record.size()), uint32_t(Image.ExtraChunk.size()));
    std::vector<uint8_t> Out;
    Out.reserve(12 + Inner);
    PutChunkHead(Out, ChunkDictionary, Inner);
    PutChunkHead(Out, ChunkData, 4);
    PutU16(Out, uint32_t(Images.size()));
    PutU16(Out, 2);
    for (const FImagePart& Image : Images)
    {
        PutChunkHead(Out, ChunkImage,
                     ImageChunkBytes(uint32_t(Image.Record.size()), uint32_t(Image.ExtraChunk.size())));
        PutChunkHead(Out, ChunkData, uint32_t(Image.Record.size()));
        Out.insert(Out.end(), Image.Record.begin(), Image.Record.end());
        Out.insert(Out.end(), Image.ExtraChunk.begin(), Image.ExtraChunk.end());
        PutChunkHead(Out, ChunkExtension, 0);
    }
    PutChunkHead(Out, ChunkExtension, 0);
    return Out;
}

// A glyph of 5 x 7 cells: two to four strokes (bars across, down or slanted) of a made-up alphabet.
uint64_t MakeGlyph(FRandom& Random)
{
    uint64_t Bits = 0;
    const int32_t Strokes = Random.Range(2, 4);
    for (int32_t s = 0; s < Strokes; ++s)
    {
        const int32_t Kind = Random.Range(0, 2);
        const int32_t At = Kind == 0 ? Random.Range(0, 6) : Random.Range(0, 4);
        for (int32_t i = 0; i < 7; ++i)
        {
            const int32_t X = Kind == 0 ? std::min(i, 4) : Kind == 1 ? At : std::min(4, At + i / 2) % 5;
            const int32_t Y = Kind == 0 ? At : i;
            Bits |= uint64_t(1) << (Y * 5 + X);
        }
    }
    return Bits;
}

// Lines of lettering: glyphs of 5 x 7 cells, each cell a square of pixels, on a ground of one colour; a thin
// frame. Alpha 255, or a cut-out (only the letters and the frame) for kinds with alpha.
std::vector<uint8_t> PaintLettering(const FSampleTexture& Texture)
{
    FRandom Random(Imp::MixBits(Texture.Seed ^ 0x7E77E125u));
    const uint32_t Width = SideOf(Texture.Width), Height = SideOf(Texture.Height);
    uint8_t Ground[3], Ink[3];
    PickColour(Random, Ground, BaseColours[Random.Below(sizeof(BaseColours) / sizeof(BaseColours[0]))], 40);
    for (int32_t c = 0; c < 3; ++c)
        Ink[c] = uint8_t(Ground[c] < 128 ? 230 - Random.Below(40) : Random.Below(50));
    const bool bCutOut = Texture.Kind != ETextureKind::Dxt1 && Texture.Kind != ETextureKind::Rgbx;
    const uint32_t Cell = std::max(1u, std::min(Width, Height) / uint32_t(Random.Range(12, 30)));
    const uint32_t Pitch = Cell * 6, LineHeight = Cell * 9;
    std::vector<uint64_t> Glyphs(24);
    for (uint64_t& Glyph : Glyphs)
        Glyph = MakeGlyph(Random);
    std::vector<uint8_t> Pixels(size_t(Width) * Height * 4);
    uint8_t* Dest = Pixels.data();
    for (uint32_t Y = 0; Y < Height; ++Y)
        for (uint32_t X = 0; X < Width; ++X, Dest += 4)
        {
            const uint32_t Line = Y / LineHeight, Column = X / Pitch;
            const uint32_t Gx = (X % Pitch) / Cell, Gy = (Y % LineHeight) / Cell - 1;
            const uint64_t Glyph = Glyphs[(Line * 7 + Column * 3 + (Line * Column) % 5) % Glyphs.size()];
            const bool bSpace = (Line * 13 + Column * 7) % 9 == 0;
            const bool bLetter = !bSpace && Gx < 5 && Gy < 7 && (Glyph >> (Gy * 5 + Gx)) & 1;
            const bool bFrame = X < Cell || Y < Cell || X + Cell >= Width || Y + Cell >= Height;
            const bool bInk = bLetter || bFrame;
            for (int32_t c = 0; c < 3; ++c)
                Dest[c] = bInk ? Ink[c] : Ground[c];
            Dest[3] = bCutOut && !bInk ? 0 : 255;
        }
    return Pixels;
}

// An 8-bit palette record: Depth 8, FormatFlags 0, Direct3D format 41 (P8), raster format 0x2500 (PAL8 | 8888).
std::vector<uint8_t> MakePaletteRecord(const FSampleTexture& Texture)
{
    std::vector<uint8_t> Out;
    AppendRecordHeader(Out, Texture);
    const uint32_t Width = SideOf(Texture.Width), Height = SideOf(Texture.Height);
    Out[72] = 0x00, Out[73] = 0x25, Out[74] = 0, Out[75] = 0;
    Out[76] = 41, Out[77] = 0, Out[78] = 0, Out[79] = 0;
    Out[84] = 8; // Depth
    Out[85] = 1; // MipLevels
    Out[87] = 0; // FormatFlags
    for (uint32_t i = 0; i < 256; ++i)
    {
        Out.push_back(uint8_t(i));
        Out.push_back(uint8_t(255 - i));
        Out.push_back(uint8_t(i * 7));
        Out.push_back(255);
    }
    PutU32(Out, Width * Height);
    const std::vector<uint8_t> Pixels = PaintTexture(Texture);
    for (uint32_t i = 0; i < Width * Height; ++i)
        Out.push_back(Pixels[i * 4 + 1]);
    return Out;
}

} // namespace

const char* TextureKindLabel(ETextureKind Kind)
{
    static const char* const Labels[TextureKindCount] = {"DXT1", "DXT1a", "DXT3", "RGBX", "RGBA"};
    return Labels[int32_t(Kind)];
}

const char* MalformedTxdLabel(EMalformedTxd Kind)
{
    static const char* const Labels[MalformedTxdCount] = {"unknown chunk", "truncated",     "size mismatch",
                                                          "level overrun", "palette image", "short record"};
    return Labels[int32_t(Kind)];
}

uint32_t TextureLevelBytes(ETextureKind Kind, uint32_t Width, uint32_t Height)
{
    const uint32_t BlockBytes = KindInfo(Kind).BlockBytes;
    if (BlockBytes == 0)
        return Width * Height * 4;
    return std::max(1u, (Width + 3) / 4) * std::max(1u, (Height + 3) / 4) * BlockBytes;
}

uint32_t TextureRecordBytes(const FSampleTexture& Texture)
{
    uint32_t Bytes = RecordHeaderBytes;
    uint32_t Width = SideOf(Texture.Width), Height = SideOf(Texture.Height);
    for (uint32_t Level = 0; Level < LevelCount(Texture); ++Level)
    {
        Bytes += 4 + TextureLevelBytes(Texture.Kind, Width, Height);
        Width = std::max(1u, Width / 2);
        Height = std::max(1u, Height / 2);
    }
    return Bytes;
}

std::vector<uint8_t> PaintTexture(const FSampleTexture& Texture)
{
    if (Texture.Picture == EPicture::Lettering)
        return PaintLettering(Texture);
    const FRecipe Recipe = MakeRecipe(Texture);
    const uint32_t Width = SideOf(Texture.Width), Height = SideOf(Texture.Height);
    std::vector<uint8_t> Pixels(size_t(Width) * Height * 4);
    std::vector<int32_t> Across(Width);
    for (uint32_t X = 0; X < Width; ++X)
        Across[X] = int32_t((X * 4096 + 2048) / Width);
    uint8_t* Dest = Pixels.data();
    for (uint32_t Y = 0; Y < Height; ++Y)
    {
        const int32_t V = int32_t((Y * 4096 + 2048) / Height);
        for (uint32_t X = 0; X < Width; ++X, Dest += 4)
        {
            const int32_t U = Across[X];
            uint32_t T;
            switch (Recipe.GradientMode)
            {
                case 0:
                    T = uint32_t(U) >> 4;
                    break;
                case 1:
                    T = uint32_t(V) >> 4;
                    break;
                case 2:
                    T = uint32_t(U + V) >> 5;
                    break;
                default:
                {
                    const int32_t Du = U - Recipe.Gx, Dv = V - Recipe.Gy;
                    T = uint32_t(std::min(255, (Du * Du + Dv * Dv) >> 16));
                    break;
                }
            }
            uint8_t Rgb[3];
            for (int32_t c = 0; c < 3; ++c)
                Rgb[c] = Blend(Recipe.ColourA[c], Recipe.ColourB[c], T);
            for (int32_t s = 0; s < Recipe.ShapeCount; ++s)
            {
                const FShape& Shape = Recipe.Shapes[s];
                if (InShape(Shape, U, V))
                    for (int32_t c = 0; c < 3; ++c)
                        Rgb[c] = Blend(Rgb[c], Shape.Colour[c], Shape.Opacity);
            }
            int32_t Noise = 0;
            if (Recipe.NoiseAmp)
                Noise = int32_t(((NoiseHash(X, Y, Recipe.NoiseSeed) >> 24) * uint32_t(2 * Recipe.NoiseAmp + 1)) >> 8) -
                        Recipe.NoiseAmp;
            for (int32_t c = 0; c < 3; ++c)
                Dest[c] = uint8_t(std::clamp(int32_t(Rgb[c]) + Noise, 0, 255));
            Dest[3] = AlphaAt(Recipe, U, V);
        }
    }
    return Pixels;
}

std::vector<uint8_t> EncodeLevel(ETextureKind Kind, const uint8_t* Rgba, uint32_t Width, uint32_t Height)
{
    std::vector<uint8_t> Out;
    AppendLevel(Out, Kind, Rgba, std::max(1u, Width), std::max(1u, Height));
    return Out;
}

std::vector<uint8_t> MakeTextureRecord(const FSampleTexture& Texture)
{
    std::vector<uint8_t> Out;
    Out.reserve(TextureRecordBytes(Texture));
    AppendTextureRecord(Out, Texture);
    return Out;
}

uint32_t TextureDictionaryBytes(const std::vector<FSampleTexture>& Textures)
{
    uint32_t Bytes = 12 + (12 + 4) + 12;
    for (const FSampleTexture& Texture : Textures)
        Bytes += 12 + ImageChunkBytes(TextureRecordBytes(Texture));
    return Bytes;
}

std::vector<uint8_t> MakeTextureDictionary(const std::vector<FSampleTexture>& Textures)
{
    // Written straight into one buffer: a dictionary can run to several megabytes.
    std::vector<uint8_t> Out;
    Out.reserve(TextureDictionaryBytes(Textures));
    PutChunkHead(Out, ChunkDictionary, TextureDictionaryBytes(Textures) - 12);
    PutChunkHead(Out, ChunkData, 4);
    PutU16(Out, uint32_t(Textures.size()));
    PutU16(Out, 2);
    for (const FSampleTexture& Texture : Textures)
    {
        const uint32_t RecordBytes = TextureRecordBytes(Texture);
        PutChunkHead(Out, ChunkImage, ImageChunkBytes(RecordBytes));
        PutChunkHead(Out, ChunkData, RecordBytes);
        AppendTextureRecord(Out, Texture);
        PutChunkHead(Out, ChunkExtension, 0);
    }
    PutChunkHead(Out, ChunkExtension, 0);
    return Out;
}

std::vector<uint8_t> MakeMalformedDictionary(EMalformedTxd Kind, uint64_t Seed)
{
    // Ordinary textures that a shrinker would reduce, were the dictionary sound: several levels and sides of 64
    // or more, the largest last so that a cut stream ends inside it.
    FRandom Random(Seed);
    std::vector<FSampleTexture> Textures;
    const int32_t Count = Random.Range(2, 4);
    for (int32_t i = 0; i < Count; ++i)
    {
        FSampleTexture Texture;
        Texture.Name = std::string("broken_") + char('a' + i);
        Texture.Kind = ETextureKind(Random.Below(3));
        Texture.Width = uint16_t(64 << i);
        Texture.Height = uint16_t(64 << Random.Below(uint32_t(i + 1)));
        Texture.MipLevels = uint8_t(3 + i);
        Texture.Seed = Random.Next();
        Textures.push_back(Texture);
    }
    std::vector<FImagePart> Images(Textures.size());
    for (size_t i = 0; i < Textures.size(); ++i)
        Images[i].Record = MakeTextureRecord(Textures[i]);

    switch (Kind)
    {
        case EMalformedTxd::UnknownChunk:
        {
            std::vector<uint8_t>& Extra = Images[0].ExtraChunk;
            PutChunkHead(Extra, ChunkString, 16);
            PutFixedText(Extra, Textures[0].Name, 16);
            break;
        }
        case EMalformedTxd::LevelOverrun:
            Images.back().Record[85] = uint8_t(Images.back().Record[85] + 2);
            break;
        case EMalformedTxd::Palette:
        {
            FSampleTexture Palette = Textures[0];
            Palette.Name = "broken_pal";
            Palette.MipLevels = 1;
            Images.insert(Images.begin() + 1, FImagePart{MakePaletteRecord(Palette), {}});
            break;
        }
        case EMalformedTxd::ShortRecord:
            Images[0].Record.resize(60);
            break;
        default:
            break;
    }

    std::vector<uint8_t> Out = AssembleDictionary(Images);
    if (Kind == EMalformedTxd::SizeMismatch)
    {
        // The first image's size field sits after the dictionary header and its 4-byte struct chunk.
        const uint32_t At = 12 + 16 + 4;
        const uint32_t Size = Out[At] | Out[At + 1] << 8 | Out[At + 2] << 16 | uint32_t(Out[At + 3]) << 24;
        for (int32_t i = 0; i < 4; ++i)
            Out[At + i] = uint8_t((Size + 4) >> (8 * i));
    }
    else if (Kind == EMalformedTxd::Truncated)
    {
        // Cut on a block boundary, so that no padding follows: the reader runs out of bytes.
        Out.resize((Out.size() - 1) / 2048 * 2048);
    }
    return Out;
}

} // namespace SampleGame
