// The loss of a reduced texture against its original.
#include "shrinker/FTextureLoss.h"

#include <cmath>
#include <limits>
#include <vector>

#include "shrinker/FTexturePictures.h"

namespace
{
// Where a pixel centre of the larger picture falls on the smaller one: the texel left of (above) it, wrapped
// around, the one after it, also wrapped, and how far towards that one, in 0..1.
struct FPlace
{
    int32_t First;
    int32_t Next;
    float Towards;
};

FPlace Locate(int32_t Pixel, int32_t Size, int32_t ReducedSize)
{
    const double At = (Pixel + 0.5) * ReducedSize / Size - 0.5;
    const double Floor = std::floor(At);
    const int32_t Texel = int32_t(Floor);
    const auto Wrap = [ReducedSize](int32_t T) { return ((T % ReducedSize) + ReducedSize) % ReducedSize; };
    return {Wrap(Texel), Wrap(Texel + 1), float(At - Floor)};
}
} // namespace

double FTextureLoss::Psnr() const
{
    if (SquaredError <= 0)
        return std::numeric_limits<double>::infinity();
    const double Mean = SquaredError / (double(Pixels) * 3);
    return 10 * std::log10(255.0 * 255.0 / Mean);
}

FPictureRows::FPictureRows(const FTexturePicture& InPicture) : Picture(InPicture)
{
    Width = Picture.Width;
    Height = Picture.Height;
}

const uint8_t* FPictureRows::Row(int32_t Y)
{
    return &Picture.Rgba[int64_t(Y) * Width * 4];
}

FTextureLoss EstimateLoss(FRowSource& Original, FRowSource& Reduced, int64_t MostPixels)
{
    FTextureLoss Loss;
    if (Original.Width <= 0 || Original.Height <= 0 || Reduced.Width <= 0 || Reduced.Height <= 0)
        return Loss;
    // Of every Stride rows one is compared, a different one in each group (a fixed pattern would fall in step
    // with a pattern of the picture); what it finds counts for the group.
    const int64_t Pixels = int64_t(Original.Width) * Original.Height;
    const int32_t Stride = MostPixels > 0 && Pixels > MostPixels ? int32_t((Pixels + MostPixels - 1) / MostPixels) : 1;
    // The places of every column are worked out once; each row of the magnified picture is blended between two
    // rows of the reduced one first, so that a pixel takes one blend of two texels per channel.
    std::vector<FPlace> Columns(size_t(Original.Width));
    for (int32_t X = 0; X < Original.Width; ++X)
        Columns[size_t(X)] = Locate(X, Original.Width, Reduced.Width);
    std::vector<float> Blended(size_t(Reduced.Width) * 3);
    uint32_t Pick = 0x9E3779B9u;
    for (int32_t Group = 0; Group < Original.Height; Group += Stride)
    {
        Pick = Pick * 1664525u + 1013904223u;
        const int32_t Rows = Original.Height - Group < Stride ? Original.Height - Group : Stride;
        const int32_t Y = Group + int32_t((Pick >> 8) % uint32_t(Rows));
        const FPlace Row = Locate(Y, Original.Height, Reduced.Height);
        const uint8_t* Upper = Reduced.Row(Row.First);
        const uint8_t* Lower = Reduced.Row(Row.Next);
        for (int32_t X = 0; X < Reduced.Width; ++X)
            for (int32_t Channel = 0; Channel < 3; ++Channel)
            {
                const float Top = Upper[X * 4 + Channel];
                Blended[size_t(X) * 3 + Channel] = Top + (Lower[X * 4 + Channel] - Top) * Row.Towards;
            }
        const uint8_t* Seen = Original.Row(Y);
        double RowError = 0;
        int64_t RowPixels = 0;
        for (int32_t X = 0; X < Original.Width; ++X, Seen += 4)
        {
            if (Seen[3] < GAlphaTestReference)
                continue;
            const FPlace& Column = Columns[size_t(X)];
            const float* Left = &Blended[size_t(Column.First) * 3];
            const float* Right = &Blended[size_t(Column.Next) * 3];
            float PixelError = 0;
            for (int32_t Channel = 0; Channel < 3; ++Channel)
            {
                const float Error = Left[Channel] + (Right[Channel] - Left[Channel]) * Column.Towards - Seen[Channel];
                PixelError += Error * Error;
            }
            RowError += PixelError;
            ++RowPixels;
        }
        Loss.SquaredError += RowError * Rows;
        Loss.Pixels += RowPixels * Rows;
    }
    return Loss;
}

FTextureLoss MeasureLoss(const FTexturePicture& Original, const FTexturePicture& Reduced)
{
    if (Original.IsEmpty() || Reduced.IsEmpty())
        return FTextureLoss();
    FPictureRows OriginalRows(Original), ReducedRows(Reduced);
    return EstimateLoss(OriginalRows, ReducedRows, 0);
}
