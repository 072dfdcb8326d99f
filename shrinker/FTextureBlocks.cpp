// The block decoder and the fine block encoder.
#include "shrinker/FTextureBlocks.h"

#include <cstring>

#include <squish.h>
#include <stb_dxt.h>

namespace
{
// ---- Decoding ---------------------------------------------------------------------------------------------------

// A 5:6:5 colour widened to 8 bits a channel by repeating its top bits; opaque.
void Unpack565(uint32_t Packed, uint8_t* Colour)
{
    const uint32_t R = (Packed >> 11) & 31, G = (Packed >> 5) & 63, B = Packed & 31;
    Colour[0] = uint8_t(R << 3 | R >> 2);
    Colour[1] = uint8_t(G << 2 | G >> 4);
    Colour[2] = uint8_t(B << 3 | B >> 2);
    Colour[3] = 255;
}

// The four colours a colour block's indices pick: the endpoints, then the thirds between them (rounded down). A
// DXT1 block whose first endpoint is not above the second is in the three-colour mode instead: the mean, then
// transparent black. DXT3 and DXT5 colour blocks always have four colours.
void ColourPalette(const uint8_t* Block, bool bDxt1, uint8_t (&Palette)[4][4])
{
    const uint32_t C0 = Block[0] | uint32_t(Block[1]) << 8;
    const uint32_t C1 = Block[2] | uint32_t(Block[3]) << 8;
    Unpack565(C0, Palette[0]);
    Unpack565(C1, Palette[1]);
    const bool bThreeColours = bDxt1 && C0 <= C1;
    for (int32_t c = 0; c < 3; ++c)
    {
        const uint32_t A = Palette[0][c], B = Palette[1][c];
        Palette[2][c] = uint8_t(bThreeColours ? (A + B) / 2 : (2 * A + B) / 3);
        Palette[3][c] = uint8_t(bThreeColours ? 0 : (A + 2 * B) / 3);
    }
    Palette[2][3] = 255;
    Palette[3][3] = bThreeColours ? 0 : 255;
}

// DXT3's alpha half: 4 bits a pixel, the low nibble first, widened by repeating them.
void Dxt3Alphas(const uint8_t* Block, uint8_t (&Alphas)[16])
{
    for (int32_t i = 0; i < 8; ++i)
    {
        Alphas[2 * i] = uint8_t((Block[i] & 15) * 17);
        Alphas[2 * i + 1] = uint8_t((Block[i] >> 4) * 17);
    }
}

// DXT5's alpha half: two endpoints and a 3-bit index a pixel. Six steps between the endpoints (sevenths, rounded
// down) when the first is larger; otherwise four (fifths), then 0 and 255.
void Dxt5Alphas(const uint8_t* Block, uint8_t (&Alphas)[16])
{
    const uint32_t A0 = Block[0], A1 = Block[1];
    uint8_t Codes[8] = {uint8_t(A0), uint8_t(A1), 0, 0, 0, 0, 0, 255};
    const uint32_t Steps = A0 > A1 ? 7 : 5;
    for (uint32_t i = 1; i < Steps; ++i)
        Codes[1 + i] = uint8_t(((Steps - i) * A0 + i * A1) / Steps);
    uint64_t Indices = 0;
    for (int32_t i = 0; i < 6; ++i)
        Indices |= uint64_t(Block[2 + i]) << (8 * i);
    for (int32_t i = 0; i < 16; ++i)
        Alphas[i] = Codes[(Indices >> (3 * i)) & 7];
}

// ---- Encoding ---------------------------------------------------------------------------------------------------

// Whether DXT1 would show a pixel of the block clear.
bool HasClearPixel(const uint8_t* Pixels)
{
    bool bClear = false;
    for (int32_t i = 0; i < 16; ++i)
        bClear = bClear || Pixels[i * 4 + 3] < 128;
    return bClear;
}

// DXT3's alpha half: each alpha to 4 bits, rounded to nearest (A / 17 never lies halfway between two steps, so
// this is libsquish's rounding exactly).
void Dxt3AlphaHalf(const uint8_t* Pixels, uint8_t* Block)
{
    for (int32_t i = 0; i < 8; ++i)
        Block[i] = uint8_t((Pixels[i * 8 + 3] + 8u) / 17u | ((Pixels[i * 8 + 7] + 8u) / 17u) << 4);
}

// A colour block with equal endpoints (stb_dxt's block of one colour) made a four-colour block of the same
// colour: a decoder that reads DXT3 and DXT5 colour blocks by DXT1's rules would otherwise take the three-colour
// mode. The second endpoint becomes one below the first and every pixel takes the first; when both are black,
// the first becomes 1 and every pixel takes the second. Unequal endpoints stb_dxt has already ordered.
void KeepFourColours(uint8_t* Colour)
{
    const uint32_t C0 = Colour[0] | uint32_t(Colour[1]) << 8;
    const uint32_t C1 = Colour[2] | uint32_t(Colour[3]) << 8;
    if (C0 != C1)
        return;
    const bool bBlack = C0 == 0;
    const uint32_t First = bBlack ? 1 : C0, Second = bBlack ? 0 : C0 - 1;
    const uint8_t Block[8] = {uint8_t(First), uint8_t(First >> 8), uint8_t(Second), uint8_t(Second >> 8)};
    std::memcpy(Colour, Block, 4);
    std::memset(Colour + 4, bBlack ? 0x55 : 0, 4);
}

// One block of 16 RGBA pixels (rows of four) into Block.
void EncodeFineBlock(const uint8_t* Pixels, FPixelFormat Format, uint8_t* Block)
{
    if (Format == PIXEL_DXT1 && HasClearPixel(Pixels))
    {
        squish::Compress(Pixels, Block, squish::kDxt1 | squish::kColourRangeFit);
        return;
    }
    uint8_t* Colour = Block;
    if (Format == PIXEL_DXT3)
    {
        Dxt3AlphaHalf(Pixels, Block);
        Colour += 8;
    }
    else if (Format == PIXEL_DXT5)
    {
        uint8_t Alphas[16];
        for (int32_t i = 0; i < 16; ++i)
            Alphas[i] = Pixels[i * 4 + 3];
        stb_compress_bc4_block(Block, Alphas);
        Colour += 8;
    }
    // stb_dxt looks for a block of one colour by whole pixels, alpha included: the colour is coded from opaque
    // copies.
    uint8_t Opaque[64];
    std::memcpy(Opaque, Pixels, sizeof(Opaque));
    for (int32_t i = 0; i < 16; ++i)
        Opaque[i * 4 + 3] = 255;
    stb_compress_dxt_block(Colour, Opaque, 0, STB_DXT_HIGHQUAL);
    KeepFourColours(Colour);
}
} // namespace

void DecodeBlocks(int32_t Width, int32_t Height, const uint8_t* Blocks, FPixelFormat Format, uint8_t* Dest)
{
    const int32_t BlockBytes = GetBlockBytes(Format);
    const bool bDxt1 = Format == PIXEL_DXT1;
    const size_t Pitch = size_t(Width) * 4;
    for (int32_t y = 0; y < Height; y += 4)
    {
        const int32_t Rows = Height - y < 4 ? Height - y : 4;
        for (int32_t x = 0; x < Width; x += 4, Blocks += BlockBytes)
        {
            const int32_t Columns = Width - x < 4 ? Width - x : 4;
            uint8_t Palette[4][4];
            ColourPalette(Blocks + (bDxt1 ? 0 : 8), bDxt1, Palette);
            uint8_t* const Out = Dest + size_t(y) * Pitch + size_t(x) * 4;
            const uint8_t* const Indices = Blocks + (bDxt1 ? 4 : 12);
            for (int32_t r = 0; r < Rows; ++r)
                for (int32_t c = 0; c < Columns; ++c)
                    std::memcpy(Out + r * Pitch + c * 4, Palette[(Indices[r] >> (2 * c)) & 3], 4);
            if (bDxt1)
                continue;
            uint8_t Alphas[16];
            if (Format == PIXEL_DXT3)
                Dxt3Alphas(Blocks, Alphas);
            else
                Dxt5Alphas(Blocks, Alphas);
            for (int32_t r = 0; r < Rows; ++r)
                for (int32_t c = 0; c < Columns; ++c)
                    Out[r * Pitch + c * 4 + 3] = Alphas[r * 4 + c];
        }
    }
}

void EncodeFineBlocks(int32_t Width, int32_t Height, const uint8_t* Rgba, FPixelFormat Format, uint8_t* Blocks)
{
    const int32_t BlockBytes = GetBlockBytes(Format);
    const size_t Pitch = size_t(Width) * 4;
    uint8_t Pixels[64];
    for (int32_t y = 0; y < Height; y += 4)
        for (int32_t x = 0; x < Width; x += 4, Blocks += BlockBytes)
        {
            for (int32_t r = 0; r < 4; ++r)
                std::memcpy(Pixels + r * 16, Rgba + (size_t(y) + r) * Pitch + size_t(x) * 4, 16);
            EncodeFineBlock(Pixels, Format, Blocks);
        }
}
