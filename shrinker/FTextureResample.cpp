// The bilinear resampler, and the resampling of a level in its own format by any of the filters.
#include "shrinker/FTextureResample.h"

#include <cstring>

#include "Core/Inc/Core.h"
#include "shrinker/FTextureBoxHalving.h"

namespace
{
// The sample position of destination index I along one axis: the source index and the 8-bit fraction.
// Every product is a float, rounded to single precision where it is stored (no wider intermediate: the
// build has no x87 code and no fused multiply-add), so the positions are the same on every build.
struct FSamplePos
{
    int32_t I0;
    int32_t I1;
    uint32_t A;
};

FSamplePos SamplePos(int32_t I, float Reciprocal, int32_t SourceSize)
{
    const float U = static_cast<float>(static_cast<float>(I) * Reciprocal);
    const float F = static_cast<float>(static_cast<float>(SourceSize) * U);
    const int32_t I0 = static_cast<int32_t>(F);
    const int32_t A = static_cast<int32_t>(static_cast<float>(F - static_cast<float>(I0)) * 256.0f);
    // Wrap-around addressing: the far edge blends with the near one.
    return FSamplePos{I0 % SourceSize, (I0 + 1) % SourceSize, uint32_t(A)};
}

// One byte (channel) of a pixel: the blend of the four neighbours in 8.8 fixed point, truncating each step.
inline uint8_t Bilinear(uint32_t C00, uint32_t C10, uint32_t C01, uint32_t C11, uint32_t Ax, uint32_t Ay)
{
    const uint32_t Top = (C00 * (256 - Ax) + C10 * Ax) >> 8;
    const uint32_t Bottom = (C01 * (256 - Ax) + C11 * Ax) >> 8;
    return uint8_t((Top * (256 - Ay) + Bottom * Ay) >> 8);
}

// The colour of a blend weighted by alpha: each neighbour weighs its share (in 16.16) times its alpha, and the
// result rounds once. Below 2^24 in all, so the weighted sums fit 32 bits. When every neighbour that has a
// share is clear, Out keeps the plain blend.
void BlendColourByAlpha(const uint8_t* P00, const uint8_t* P10, const uint8_t* P01, const uint8_t* P11, uint32_t Ax,
                        uint32_t Ay, uint8_t* Out)
{
    const uint32_t W00 = (256 - Ax) * (256 - Ay) * P00[3];
    const uint32_t W10 = Ax * (256 - Ay) * P10[3];
    const uint32_t W01 = (256 - Ax) * Ay * P01[3];
    const uint32_t W11 = Ax * Ay * P11[3];
    const uint32_t Total = W00 + W10 + W01 + W11;
    if (Total == 0)
        return;
    for (int32_t c = 0; c < 3; ++c)
        Out[c] = uint8_t((W00 * P00[c] + W10 * P10[c] + W01 * P01[c] + W11 * P11[c] + Total / 2) / Total);
}

bool SameAlpha(const uint8_t* P00, const uint8_t* P10, const uint8_t* P01, const uint8_t* P11)
{
    return P00[3] == P10[3] && P00[3] == P01[3] && P00[3] == P11[3];
}

// The sampling of one resize: where every destination column samples (worked out once), and the rows on
// demand, so that the source may be at hand whole or a strip of rows at a time. Colour weighted by alpha differs
// from the plain blend only where the four neighbours' alphas differ, so an opaque texture keeps its pixels.
class FResampler
{
public:
    // Columns must hold NewWidth entries; it is the caller's.
    FResampler(int32_t InSourceWidth, int32_t InSourceHeight, int32_t InNewWidth, int32_t InNewHeight,
               FSamplePos* InColumns, EColourWeight Weight)
        : SourceHeight(InSourceHeight), NewWidth(InNewWidth), NewHeight(InNewHeight),
          Ry(1.0f / static_cast<float>(InNewHeight)), Columns(InColumns), bByAlpha(Weight == EColourWeight::ByAlpha)
    {
        appCheck(InSourceWidth > 0 && InSourceHeight > 0 && InNewWidth > 0 && InNewHeight > 0);
        appCheck(GetRasterBytes(InSourceWidth, InSourceHeight, 4) >= 0 && GetRasterBytes(InNewWidth, InNewHeight, 4) >= 0);
        const float Rx = 1.0f / static_cast<float>(InNewWidth);
        for (int32_t x = 0; x < InNewWidth; ++x)
        {
            Columns[x] = SamplePos(x, Rx, InSourceWidth);
            bColumnsExact = bColumnsExact && Columns[x].A == 0;
        }
    }

    // Fills destination rows from Y on, into Dest, for as long as RowAt (source row -> its pixels, or null when
    // it is not at hand) gives the two rows each one samples. Returns the first row it could not fill.
    template <typename FRowAt> int32_t Resample(int32_t Y, const FRowAt& RowAt, uint8_t* Dest) const
    {
        for (; Y < NewHeight; ++Y)
        {
            const FSamplePos Py = SamplePos(Y, Ry, SourceHeight);
            const uint8_t* Row0 = RowAt(Py.I0);
            const uint8_t* Row1 = RowAt(Py.I1);
            if (!Row0 || !Row1)
                break;
            ResampleRow(Row0, Row1, Py.A, Dest + size_t(Y) * size_t(NewWidth) * 4);
        }
        return Y;
    }

private:
    // Where both fractions are 0 (every pixel of a halving by a power of two) the blend is the pixel at
    // (I0, row 0) exactly, so it is copied.
    void ResampleRow(const uint8_t* Row0, const uint8_t* Row1, uint32_t Ay, uint8_t* Out) const
    {
        if (Ay == 0 && bColumnsExact)
        {
            for (int32_t x = 0; x < NewWidth; ++x, Out += 4)
                std::memcpy(Out, Row0 + size_t(Columns[x].I0) * 4, 4);
            return;
        }
        for (int32_t x = 0; x < NewWidth; ++x, Out += 4)
        {
            const FSamplePos& Px = Columns[x];
            const uint8_t* P00 = Row0 + size_t(Px.I0) * 4;
            const uint8_t* P10 = Row0 + size_t(Px.I1) * 4;
            const uint8_t* P01 = Row1 + size_t(Px.I0) * 4;
            const uint8_t* P11 = Row1 + size_t(Px.I1) * 4;
            for (int32_t c = 0; c < 4; ++c)
                Out[c] = Bilinear(P00[c], P10[c], P01[c], P11[c], Px.A, Ay);
            if (bByAlpha && !SameAlpha(P00, P10, P01, P11))
                BlendColourByAlpha(P00, P10, P01, P11, Px.A, Ay, Out);
        }
    }

    const int32_t SourceHeight;
    const int32_t NewWidth;
    const int32_t NewHeight;
    const float Ry;
    FSamplePos* const Columns;
    const bool bByAlpha;
    bool bColumnsExact = true;
};

// Whether any alpha byte (byte 3 of each pixel) lies in 3..252. Looked at in runs, so that the loop over a run
// needs no early exit and can be vectorised.
bool HasGradedAlpha(const uint8_t* Pixels, size_t NumPixels)
{
    const size_t Run = 256;
    for (size_t Start = 0; Start < NumPixels; Start += Run)
    {
        const size_t End = NumPixels - Start < Run ? NumPixels : Start + Run;
        uint32_t Graded = 0;
        for (size_t i = Start; i < End; ++i)
            Graded |= uint32_t(uint8_t(Pixels[i * 4 + 3] - 3) < 250);
        if (Graded)
            return true;
    }
    return false;
}

// A source whose alpha is only on/off (give or take 2, as block decoding leaves it) keeps a 1-bit alpha: the
// filter's in-between values at its edges are snapped back.
void SnapAlpha(uint8_t* Pixels, size_t NumPixels)
{
    for (size_t i = 0; i < NumPixels; ++i)
        Pixels[i * 4 + 3] = Pixels[i * 4 + 3] > 128 ? 255 : 0;
}

// Resamples a source held whole.
void ResampleWhole(const FResampler& Resampler, const uint8_t* Source, int32_t Width, int32_t Height, uint8_t* Dest,
                   int32_t NewWidth, int32_t NewHeight)
{
    const size_t Pitch = size_t(Width) * 4;
    Resampler.Resample(0, [&](int32_t Row) { return Source + size_t(Row) * Pitch; }, Dest);
    if (!HasGradedAlpha(Source, size_t(Width) * size_t(Height)))
        SnapAlpha(Dest, size_t(NewWidth) * size_t(NewHeight));
}

// Rows of a block-coded level decoded at a time: a strip of them, the level's first row (the last row blends
// with it) and the row before the strip (a row that blends across two strips) are all that is held.
const int32_t StripRows = 32;

// Decodes the level strip after strip and resamples each destination row as soon as its two source rows have
// been decoded. The pixels are those of decoding the whole level and resizing it.
void ResampleBlocks(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat,
                    const FResampler& Resampler, uint8_t* Dest, int32_t NewWidth, int32_t NewHeight,
                    FScratchBytes& Scratch)
{
    const size_t Pitch = size_t(Width) * 4;
    const size_t BlockRowBytes = GetBlockRowBytes(Width, SourceFormat);
    uint8_t* const Strip = Scratch.SetNum(int64_t(Pitch) * (StripRows + 2));
    uint8_t* const FirstRow = Strip + Pitch * StripRows;
    uint8_t* const RowBefore = FirstRow + Pitch;
    bool bGradedAlpha = false;
    int32_t Y = 0;
    for (int32_t First = 0; First < Height; First += StripRows)
    {
        const int32_t Rows = Height - First < StripRows ? Height - First : StripRows;
        const uint8_t* Blocks = static_cast<const uint8_t*>(Source) + size_t(First / 4) * BlockRowBytes;
        DecodeBlockRows(Width, Rows, Blocks, SourceFormat, Strip);
        bGradedAlpha = bGradedAlpha || HasGradedAlpha(Strip, size_t(Rows) * size_t(Width));
        if (First == 0)
            std::memcpy(FirstRow, Strip, Pitch);
        const int32_t End = First + Rows;
        Y = Resampler.Resample(Y, [&](int32_t Row) -> const uint8_t* {
            if (Row >= First && Row < End)
                return Strip + size_t(Row - First) * Pitch;
            if (Row == First - 1)
                return RowBefore;
            return Row == 0 ? FirstRow : nullptr;
        }, Dest);
        std::memcpy(RowBefore, Strip + size_t(Rows - 1) * Pitch, Pitch);
    }
    appCheck(Y == NewHeight);
    if (!bGradedAlpha)
        SnapAlpha(Dest, size_t(NewWidth) * size_t(NewHeight));
}
} // namespace

void ResizeImage(const void* Source, int32_t SourceWidth, int32_t SourceHeight, void* Dest, int32_t NewWidth,
                 int32_t NewHeight, EColourWeight Weight)
{
    appCheck(NewWidth > 0);
    TDynArray<FSamplePos> Columns(NewWidth);
    const FResampler Resampler(SourceWidth, SourceHeight, NewWidth, NewHeight, Columns.GetData(), Weight);
    ResampleWhole(Resampler, static_cast<const uint8_t*>(Source), SourceWidth, SourceHeight,
                  static_cast<uint8_t*>(Dest), NewWidth, NewHeight);
}

bool ResampleLevel(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, int32_t SourceBytes,
                   void* Dest, int32_t NewWidth, int32_t NewHeight, FShrinkBuffers& Buffers, FEntryTrace* Trace,
                   EResampleFilter Filter, EColourWeight Weight)
{
    // The checks (and traces) of decoding the level whole.
    if (GetConvertedBytes(Width, Height, SourceFormat, PIXEL_RGBA, SourceBytes, Trace) < 0)
        return false;
    appCheck(NewWidth > 0);
    if (Filter != EResampleFilter::Bilinear)
    {
        BoxResampleLevel(Width, Height, Source, SourceFormat, static_cast<uint8_t*>(Dest), NewWidth, NewHeight, Buffers,
                         Weight, Filter == EResampleFilter::CatmullRom ? EBoxColour::CatmullRom : EBoxColour::Area);
        return true;
    }
    FSamplePos* Columns =
        reinterpret_cast<FSamplePos*>(Buffers.Columns.SetNum(int64_t(NewWidth) * int64_t(sizeof(FSamplePos))));
    const FResampler Resampler(Width, Height, NewWidth, NewHeight, Columns, Weight);
    uint8_t* Out = static_cast<uint8_t*>(Dest);
    if (SourceFormat == PIXEL_RGBA)
        ResampleWhole(Resampler, static_cast<const uint8_t*>(Source), Width, Height, Out, NewWidth, NewHeight);
    else
        ResampleBlocks(Width, Height, Source, SourceFormat, Resampler, Out, NewWidth, NewHeight, Buffers.Decoded);
    return true;
}
