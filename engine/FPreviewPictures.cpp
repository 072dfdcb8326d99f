// The preview's small pictures and its parts shown up close: a magnifier that samples as a graphics card does, and
// the search for the part where a shrink loses the most.
#include "engine/FPreviewPictures.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "Core/Inc/Core.h"
#include "shrinker/FTextureBoxHalving.h"

namespace
{
// Where one pixel of a magnified side samples its source: the two texels around it and the second one's weight in
// 1/256.
struct FTap
{
    int32_t I0;
    int32_t I1;
    uint32_t Weight;
};

// The centre of pixel Index of Size, mapped onto a side of SourceSize texels, less half a texel (a texel's colour
// lies at its centre), in steps of 1/256; whole turns of the side added keep it positive, and the texels wrap.
FTap TapAt(int32_t Index, int32_t Size, int32_t SourceSize)
{
    const int64_t Position = int64_t(2 * Index + 1) * SourceSize * 128 / Size - 128 + int64_t(SourceSize) * 256;
    const int32_t I0 = int32_t(Position / 256 % SourceSize);
    return FTap{I0, (I0 + 1) % SourceSize, uint32_t(Position % 256)};
}

// Rows of a picture magnified to Width x Height, columns X to X + Count only.
class FMagnifier
{
public:
    FMagnifier(const FTexturePicture& InPicture, int32_t Width, int32_t InHeight, int32_t X, int32_t Count)
        : Picture(InPicture), Height(InHeight)
    {
        appCheck(!Picture.IsEmpty() && X >= 0 && Count > 0 && X + Count <= Width && Height > 0);
        for (int32_t i = 0; i < Count; ++i)
            Columns.push_back(TapAt(X + i, Width, Picture.Width));
    }

    // Row Y of the magnified picture into Out (4 bytes a column).
    void Row(int32_t Y, uint8_t* Out) const
    {
        const FTap Down = TapAt(Y, Height, Picture.Height);
        const size_t Pitch = size_t(Picture.Width) * 4;
        const uint8_t* Row0 = Picture.Rgba.GetData() + size_t(Down.I0) * Pitch;
        const uint8_t* Row1 = Picture.Rgba.GetData() + size_t(Down.I1) * Pitch;
        for (const FTap& Across : Columns)
        {
            const uint32_t W00 = (256 - Across.Weight) * (256 - Down.Weight), W10 = Across.Weight * (256 - Down.Weight);
            const uint32_t W01 = (256 - Across.Weight) * Down.Weight, W11 = Across.Weight * Down.Weight;
            const uint8_t* P00 = Row0 + size_t(Across.I0) * 4;
            const uint8_t* P10 = Row0 + size_t(Across.I1) * 4;
            const uint8_t* P01 = Row1 + size_t(Across.I0) * 4;
            const uint8_t* P11 = Row1 + size_t(Across.I1) * 4;
            for (int32_t c = 0; c < 4; ++c)
                *Out++ = uint8_t((P00[c] * W00 + P10[c] * W10 + P01[c] * W01 + P11[c] * W11 + 32768) >> 16);
        }
    }

private:
    const FTexturePicture& Picture;
    const int32_t Height;
    std::vector<FTap> Columns;
};

// How much two pixels differ to the eye: the squared differences of red, green and blue, each weighed by its own
// pixel's alpha (what the pixel adds to the screen), in 1/256.
inline uint32_t SeenDifference(const uint8_t* A, const uint8_t* B)
{
    uint32_t Sum = 0;
    for (int32_t c = 0; c < 3; ++c)
    {
        const int32_t D = (int32_t(A[c]) * A[3] - int32_t(B[c]) * B[3]) / 256;
        Sum += uint32_t(D * D);
    }
    return Sum;
}

FTexturePicture Crop(const FTexturePicture& Picture, int32_t X, int32_t Y, int32_t Width, int32_t Height)
{
    FTexturePicture Out{Width, Height, {}};
    Out.Rgba.SetNum(Width * Height * 4);
    for (int32_t Row = 0; Row < Height; ++Row)
        std::memcpy(Out.Rgba.GetData() + size_t(Row) * size_t(Width) * 4,
                    Picture.Rgba.GetData() + (size_t(Y + Row) * size_t(Picture.Width) + size_t(X)) * 4,
                    size_t(Width) * 4);
    return Out;
}

// Where the window of Width x Height over a map of Columns x Rows differences holds the largest sum (X, Y), the
// first such in reading order; the middle when every sum is 0. A column's sum over the window's rows slides down
// and the window's sum slides across, so the map is gone over twice whatever the window's size.
void FindLargestWindow(const std::vector<uint32_t>& Map, int32_t Columns, int32_t Rows, int32_t Width, int32_t Height,
                       int32_t& X, int32_t& Y)
{
    X = (Columns - Width) / 2;
    Y = (Rows - Height) / 2;
    std::vector<uint64_t> Sums(size_t(Columns), 0);
    for (int32_t Row = 0; Row < Height; ++Row)
        for (int32_t Column = 0; Column < Columns; ++Column)
            Sums[size_t(Column)] += Map[size_t(Row) * size_t(Columns) + size_t(Column)];
    uint64_t Best = 0;
    for (int32_t Top = 0;; ++Top)
    {
        uint64_t Sum = 0;
        for (int32_t Column = 0; Column < Width; ++Column)
            Sum += Sums[size_t(Column)];
        for (int32_t Left = 0;; ++Left)
        {
            if (Sum > Best)
            {
                Best = Sum;
                X = Left;
                Y = Top;
            }
            if (Left + Width >= Columns)
                break;
            Sum = Sum + Sums[size_t(Left + Width)] - Sums[size_t(Left)];
        }
        if (Top + Height >= Rows)
            break;
        const uint32_t* Entering = &Map[size_t(Top + Height) * size_t(Columns)];
        const uint32_t* Leaving = &Map[size_t(Top) * size_t(Columns)];
        for (int32_t Column = 0; Column < Columns; ++Column)
            Sums[size_t(Column)] = Sums[size_t(Column)] + Entering[Column] - Leaving[Column];
    }
}
} // namespace

FTexturePicture MagnifyPicture(const FTexturePicture& Picture, int32_t Width, int32_t Height, int32_t X, int32_t Y,
                               int32_t RegionWidth, int32_t RegionHeight)
{
    appCheck(Y >= 0 && RegionHeight > 0 && Y + RegionHeight <= Height);
    const FMagnifier Magnifier(Picture, Width, Height, X, RegionWidth);
    FTexturePicture Out{RegionWidth, RegionHeight, {}};
    Out.Rgba.SetNum(RegionWidth * RegionHeight * 4);
    for (int32_t Row = 0; Row < RegionHeight; ++Row)
        Magnifier.Row(Y + Row, Out.Rgba.GetData() + size_t(Row) * size_t(RegionWidth) * 4);
    return Out;
}

FPreviewDetail FindPreviewDetail(const FTexturePicture& Before, const FTexturePicture& After, int32_t Side)
{
    FPreviewDetail Detail;
    if (Before.IsEmpty() || After.IsEmpty())
        return Detail;
    const int32_t Width = Before.Width, Height = Before.Height;
    const int32_t DetailWidth = std::min(Side, Width), DetailHeight = std::min(Side, Height);
    // The differences of the whole texture, magnified a row at a time.
    const FMagnifier Magnifier(After, Width, Height, 0, Width);
    std::vector<uint8_t> Row(size_t(Width) * 4);
    std::vector<uint32_t> Map(size_t(Width) * size_t(Height));
    for (int32_t Y = 0; Y < Height; ++Y)
    {
        Magnifier.Row(Y, Row.data());
        const uint8_t* Original = Before.Rgba.GetData() + size_t(Y) * size_t(Width) * 4;
        for (int32_t X = 0; X < Width; ++X)
            Map[size_t(Y) * size_t(Width) + size_t(X)] = SeenDifference(Original + X * 4, &Row[size_t(X) * 4]);
    }
    FindLargestWindow(Map, Width, Height, DetailWidth, DetailHeight, Detail.X, Detail.Y);
    Detail.Before = Crop(Before, Detail.X, Detail.Y, DetailWidth, DetailHeight);
    Detail.After = MagnifyPicture(After, Width, Height, Detail.X, Detail.Y, DetailWidth, DetailHeight);
    return Detail;
}

FTexturePicture MakeSmallPicture(const FTexturePicture& Picture, int32_t Side)
{
    const int32_t Larger = std::max(Picture.Width, Picture.Height);
    if (Picture.IsEmpty() || Larger <= Side)
        return Picture;
    FTexturePicture Small{std::max(1, int32_t(int64_t(Picture.Width) * Side / Larger)),
                          std::max(1, int32_t(int64_t(Picture.Height) * Side / Larger)),
                          {}};
    Small.Rgba.SetNum(Small.Width * Small.Height * 4);
    BoxResizeImage(Picture.Rgba.GetData(), Picture.Width, Picture.Height, Small.Rgba.GetData(), Small.Width,
                   Small.Height);
    return Small;
}
