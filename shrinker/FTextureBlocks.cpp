// The block decoder.
#include "shrinker/FTextureBlocks.h"

#include <cstring>


namespace
{
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
