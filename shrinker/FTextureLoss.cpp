// The loss of a reduced texture against its original.
#include "shrinker/FTextureLoss.h"

#include <cmath>
#include <limits>

#include "shrinker/FTexturePictures.h"

namespace
{
// The texel of Picture at (X, Y), wrapping around at the edges.
const uint8_t* Texel(const FTexturePicture& Picture, int32_t X, int32_t Y)
{
    X = ((X % Picture.Width) + Picture.Width) % Picture.Width;
    Y = ((Y % Picture.Height) + Picture.Height) % Picture.Height;
    return &Picture.Rgba[(int64_t(Y) * Picture.Width + X) * 4];
}

// Where a pixel centre of the larger picture falls on the smaller one: the texel left of (above) it and how far
// towards the next one, in 0..1.
void Locate(int32_t Pixel, int32_t Size, int32_t ReducedSize, int32_t& Texel, double& Towards)
{
    const double At = (Pixel + 0.5) * ReducedSize / Size - 0.5;
    const double Floor = std::floor(At);
    Texel = int32_t(Floor);
    Towards = At - Floor;
}
} // namespace

double FTextureLoss::Psnr() const
{
    if (SquaredError <= 0)
        return std::numeric_limits<double>::infinity();
    const double Mean = SquaredError / (double(Pixels) * 3);
    return 10 * std::log10(255.0 * 255.0 / Mean);
}

FTextureLoss MeasureLoss(const FTexturePicture& Original, const FTexturePicture& Reduced)
{
    FTextureLoss Loss;
    if (Original.IsEmpty() || Reduced.IsEmpty())
        return Loss;
    for (int32_t Y = 0; Y < Original.Height; ++Y)
    {
        int32_t Row = 0;
        double Down = 0;
        Locate(Y, Original.Height, Reduced.Height, Row, Down);
        for (int32_t X = 0; X < Original.Width; ++X)
        {
            const uint8_t* Seen = &Original.Rgba[(int64_t(Y) * Original.Width + X) * 4];
            if (Seen[3] < GAlphaTestReference)
                continue;
            int32_t Column = 0;
            double Right = 0;
            Locate(X, Original.Width, Reduced.Width, Column, Right);
            const uint8_t* A = Texel(Reduced, Column, Row);
            const uint8_t* B = Texel(Reduced, Column + 1, Row);
            const uint8_t* C = Texel(Reduced, Column, Row + 1);
            const uint8_t* D = Texel(Reduced, Column + 1, Row + 1);
            for (int32_t Channel = 0; Channel < 3; ++Channel)
            {
                const double Top = A[Channel] + (B[Channel] - A[Channel]) * Right;
                const double Bottom = C[Channel] + (D[Channel] - C[Channel]) * Right;
                const double Error = Top + (Bottom - Top) * Down - Seen[Channel];
                Loss.SquaredError += Error * Error;
            }
            ++Loss.Pixels;
        }
    }
    return Loss;
}
