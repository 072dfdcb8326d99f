// The box filter: exact area averages, and the coverage of cut-outs kept to an exact count of opaque pixels.
#include "shrinker/FTextureBoxHalving.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "Core/Inc/Core.h"
#include "shrinker/FTextureCubic.h"

namespace
{
// Rows of a block-coded level decoded at a time.
const int32_t StripRows = 32;

uint32_t GreatestCommonDivisor(uint32_t A, uint32_t B)
{
    while (B != 0)
    {
        const uint32_t Rest = A % B;
        A = B;
        B = Rest;
    }
    return A;
}

// Where one source pixel (a column or a row) goes along one axis: the destination pixel it starts in, its weight
// there and its weight in the next one (0 when it lies wholly in the first). Weights are overlaps measured in
// units that make a source pixel NewSize / g long and a destination pixel Size / g long (g the sides' greatest
// common divisor), so every destination pixel's weights add up to Size / g.
struct FBoxTap
{
    int32_t Dest;
    uint32_t Weight0;
    uint32_t Weight1;
};

uint32_t BoxTaps(int32_t Size, int32_t NewSize, FBoxTap* Taps)
{
    const uint32_t Common = GreatestCommonDivisor(uint32_t(Size), uint32_t(NewSize));
    const uint64_t SourceLength = uint32_t(NewSize) / Common;
    const uint64_t DestLength = uint32_t(Size) / Common;
    for (int32_t i = 0; i < Size; ++i)
    {
        const uint64_t Start = uint64_t(i) * SourceLength;
        const uint64_t End = Start + SourceLength;
        const uint64_t Dest = Start / DestLength;
        const uint64_t Boundary = (Dest + 1) * DestLength;
        Taps[i] = End <= Boundary ? FBoxTap{int32_t(Dest), uint32_t(SourceLength), 0}
                                  : FBoxTap{int32_t(Dest), uint32_t(Boundary - Start), uint32_t(End - Boundary)};
    }
    return uint32_t(DestLength);
}

// A position's rank in the ordered-dither (Bayer) matrix of 65536 x 65536: neighbouring ranks lie far apart, so
// taking the lowest ranks of any set of pixels spreads them evenly over it.
uint32_t DitherRank(uint32_t X, uint32_t Y)
{
    const uint32_t Mixed = X ^ Y;
    uint32_t Rank = 0;
    for (int32_t Bit = 0; Bit < 16; ++Bit)
        Rank |= (((Y >> Bit) & 1u) << (31 - 2 * Bit)) | (((Mixed >> Bit) & 1u) << (30 - 2 * Bit));
    return Rank;
}

// The opaque pixels a result of NumPixels must have to keep the source's share, rounded to the nearest count.
// Both counts are below 2^32 (sides are 16-bit), so their product fits 64 bits.
uint64_t CoverageTarget(uint64_t SourceOpaque, uint64_t SourcePixels, uint64_t NumPixels)
{
    const uint64_t Product = SourceOpaque * NumPixels;
    const uint64_t Whole = Product / SourcePixels;
    return Whole + (2 * (Product % SourcePixels) >= SourcePixels ? 1 : 0);
}

// Snaps the alphas of a cut-out to 0 or 255 keeping Target pixels opaque: those of the largest averaged alphas.
// Rounding every average at 128 instead would shift the share of an edge that is half opaque the same way
// everywhere (a fence or a leaf loses or gains about a point and a half); taking the largest ones to an exact
// count has no bias, and the ordered-dither order among equal averages keeps the kept edge pixels spread over
// the picture instead of gathered at its top.
void KeepCoverage(uint8_t* Pixels, int32_t Width, size_t NumPixels, uint64_t Target, FScratchBytes& Scratch)
{
    // All opaque (every opaque texture comes this way) or all clear: nothing to choose.
    if (Target == 0 || Target >= NumPixels)
    {
        for (size_t i = 0; i < NumPixels; ++i)
            Pixels[i * 4 + 3] = Target ? 255 : 0;
        return;
    }
    uint64_t Histogram[256] = {};
    for (size_t i = 0; i < NumPixels; ++i)
        ++Histogram[Pixels[i * 4 + 3]];
    // Threshold: every alpha above it is opaque, and Needed of those equal to it.
    int32_t Threshold = 255;
    uint64_t Above = 0;
    while (Threshold > 0 && Above + Histogram[Threshold] < Target)
        Above += Histogram[Threshold--];
    const uint64_t Needed = Target > Above ? Target - Above : 0;
    const uint64_t Tied = Histogram[Threshold];
    uint32_t RankCut = 0; // pixels at the threshold whose rank is below this are opaque
    if (Needed > 0 && Needed < Tied)
    {
        uint32_t* Ranks = reinterpret_cast<uint32_t*>(Scratch.SetNum(int64_t(Tied) * 4));
        size_t Count = 0;
        for (size_t i = 0; i < NumPixels; ++i)
            if (Pixels[i * 4 + 3] == Threshold)
                Ranks[Count++] = DitherRank(uint32_t(i % size_t(Width)), uint32_t(i / size_t(Width)));
        std::nth_element(Ranks, Ranks + Needed, Ranks + Count);
        RankCut = Ranks[Needed];
    }
    for (size_t i = 0; i < NumPixels; ++i)
    {
        uint8_t& Alpha = Pixels[i * 4 + 3];
        bool bOpaque = Alpha > Threshold;
        if (Alpha == Threshold && Needed > 0)
            bOpaque = Needed >= Tied || DitherRank(uint32_t(i % size_t(Width)), uint32_t(i / size_t(Width))) < RankCut;
        Alpha = bOpaque && Target > 0 ? 255 : 0;
    }
}

// Colour weighted by alpha over one destination row: every pixel whose alpha sum (the weight of its colour) is
// not 0 takes its weighted colour sums divided by it, rounded to nearest; the others keep the plain average, as
// do the wholly opaque ones (alpha sum Opaque), whose weighted average is the plain one.
template <typename TSum>
void WeighColour(uint8_t* Out, int32_t Pixels, const TSum* Sums, const TSum* WeightedSums, TSum Opaque)
{
    for (int32_t x = 0; x < Pixels; ++x, Out += 4, Sums += 4, WeightedSums += 4)
    {
        const TSum Alpha = Sums[3];
        if (Alpha != 0 && Alpha != Opaque)
            for (int32_t c = 0; c < 3; ++c)
                Out[c] = uint8_t((WeightedSums[c] + Alpha / 2) / Alpha);
    }
}

// The area average of one resize, fed the source rows in order: each row is summed across into the
// destination columns, and the column sums into the (at most two) destination rows it overlaps. A destination row
// is finished when a source row starts past it. The sums are exact integers; the result rounds once. Colour
// weighted by alpha has sums of its own (colour times alpha), divided by the alpha sums at the end.
class FBoxResampler
{
public:
    FBoxResampler(int32_t InWidth, int32_t InHeight, int32_t InNewWidth, int32_t InNewHeight, uint8_t* InDest,
                  FShrinkBuffers& Buffers, EColourWeight Weight)
        : Width(InWidth), NewWidth(InNewWidth), NewHeight(InNewHeight), Dest(InDest),
          bByAlpha(Weight == EColourWeight::ByAlpha)
    {
        appCheck(InWidth > 0 && InHeight > 0 && InNewWidth > 0 && InNewHeight > 0);
        appCheck(InNewWidth <= InWidth && InNewHeight <= InHeight);
        FBoxTap* Taps = reinterpret_cast<FBoxTap*>(
            Buffers.Columns.SetNum((int64_t(InWidth) + InHeight) * int64_t(sizeof(FBoxTap))));
        ColumnTaps = Taps;
        RowTaps = Taps + InWidth;
        const uint64_t AcrossWeight = BoxTaps(InWidth, InNewWidth, ColumnTaps);
        Total = AcrossWeight * BoxTaps(InHeight, InNewHeight, RowTaps);
        // Row sums first (32-bit: at most 255 * 65535), then two destination rows of 64-bit sums; colour weighted
        // by alpha adds its own row and two destination rows, 64-bit (colour times alpha is up to 16 bits).
        const size_t Slots = size_t(InNewWidth) * 4;
        const size_t Bytes = Slots * (4 + 2 * 8) + (bByAlpha ? Slots * 3 * 8 : 0);
        uint8_t* Sums = Buffers.Sums.SetNum(int64_t(Bytes));
        RowSums = reinterpret_cast<uint32_t*>(Sums);
        DestSums = reinterpret_cast<uint64_t*>(Sums + Slots * 4);
        WeightedRowSums = DestSums + 2 * Slots;
        WeightedDestSums = WeightedRowSums + Slots;
        std::memset(Sums, 0, Bytes);
        Shift = 0;
        while (Shift < 63 && (uint64_t(1) << Shift) < Total)
            ++Shift;
        bPowerOfTwo = (uint64_t(1) << Shift) == Total;
        // Sides divided exactly (every halving of even sides) sum whole blocks of source pixels without weights,
        // into 32-bit sums: one destination row at a time.
        Across = InWidth / InNewWidth;
        Down = InHeight / InNewHeight;
        // Colour weighted by alpha sums there in 32 bits too (colour times alpha times at most 2^16 pixels).
        bExact = InWidth % InNewWidth == 0 && InHeight % InNewHeight == 0 &&
                 Total <= (uint64_t(1) << (bByAlpha ? 16 : 24));
        WeightedBlockSums = reinterpret_cast<uint32_t*>(WeightedRowSums);
    }

    // The next source row's Width pixels.
    void AddRow(const uint8_t* Row)
    {
        if (bExact)
        {
            AddExactRow(Row);
            return;
        }
        if (!bGradedAlpha)
            CountAlpha(Row);
        SumAcross(Row);
        if (bByAlpha)
            SumWeightedAcross(Row);
        const FBoxTap& Tap = RowTaps[SourceRow++];
        while (FinishedRows < Tap.Dest)
            FinishRow();
        AddDown(Tap.Dest, Tap.Weight0);
        if (Tap.Weight1)
            AddDown(Tap.Dest + 1, Tap.Weight1);
    }

    // After the last row: the rows still open, then the coverage of a cut-out.
    void Finish(FScratchBytes& Scratch)
    {
        while (!bExact && FinishedRows < NewHeight)
            FinishRow();
        if (!bGradedAlpha)
        {
            const uint64_t Pixels = uint64_t(NewWidth) * uint64_t(NewHeight);
            KeepCoverage(Dest, NewWidth, size_t(Pixels),
                         CoverageTarget(SourceOpaque, uint64_t(Width) * uint64_t(SourceRow), Pixels), Scratch);
        }
    }

private:
    void AddExactRow(const uint8_t* Row)
    {
        if (!bGradedAlpha)
            CountAlpha(Row);
        if (bByAlpha)
            SumWeightedExact(Row);
        uint32_t* Sum = RowSums;
        if (Across == 2)
            for (int32_t x = 0; x < NewWidth; ++x, Sum += 4, Row += 8)
                for (int32_t c = 0; c < 4; ++c)
                    Sum[c] += uint32_t(Row[c]) + Row[4 + c];
        else
            for (int32_t x = 0; x < NewWidth; ++x, Sum += 4)
                for (int32_t k = 0; k < Across; ++k, Row += 4)
                    for (int32_t c = 0; c < 4; ++c)
                        Sum[c] += Row[c];
        if (++SourceRow % Down != 0)
            return;
        uint8_t* Out = Dest + size_t(FinishedRows++) * size_t(NewWidth) * 4;
        const size_t Count = size_t(NewWidth) * 4;
        const uint32_t Half = uint32_t(Total / 2);
        if (bPowerOfTwo)
            for (size_t i = 0; i < Count; ++i)
                Out[i] = uint8_t((RowSums[i] + Half) >> Shift);
        else
            for (size_t i = 0; i < Count; ++i)
                Out[i] = uint8_t((RowSums[i] + Half) / uint32_t(Total));
        if (bByAlpha)
        {
            WeighColour(Out, NewWidth, RowSums, WeightedBlockSums, uint32_t(255 * Total));
            std::memset(WeightedBlockSums, 0, Count * 4);
        }
        std::memset(RowSums, 0, Count * 4);
    }

    // The colour sums weighted by alpha of whole blocks of source pixels.
    void SumWeightedExact(const uint8_t* Row)
    {
        uint32_t* Sum = WeightedBlockSums;
        if (Across == 2)
            for (int32_t x = 0; x < NewWidth; ++x, Sum += 4, Row += 8)
                for (int32_t c = 0; c < 3; ++c)
                    Sum[c] += uint32_t(Row[c]) * Row[3] + uint32_t(Row[4 + c]) * Row[7];
        else
            for (int32_t x = 0; x < NewWidth; ++x, Sum += 4)
                for (int32_t k = 0; k < Across; ++k, Row += 4)
                    for (int32_t c = 0; c < 3; ++c)
                        Sum[c] += uint32_t(Row[c]) * Row[3];
    }

    // The cut-out rule's counts: whether any alpha is graded (then nothing more is counted) and how many are
    // opaque.
    void CountAlpha(const uint8_t* Row)
    {
        uint32_t Graded = 0;
        uint32_t Opaque = 0;
        for (int32_t x = 0; x < Width; ++x)
        {
            const uint8_t Alpha = Row[size_t(x) * 4 + 3];
            Graded |= uint32_t(uint8_t(Alpha - 3) < 250);
            Opaque += Alpha >> 7;
        }
        bGradedAlpha = bGradedAlpha || Graded != 0;
        SourceOpaque += Opaque;
    }

    void SumAcross(const uint8_t* Row)
    {
        std::memset(RowSums, 0, size_t(NewWidth) * 16);
        for (int32_t x = 0; x < Width; ++x, Row += 4)
        {
            const FBoxTap& Tap = ColumnTaps[x];
            uint32_t* Sum = RowSums + size_t(Tap.Dest) * 4;
            for (int32_t c = 0; c < 4; ++c)
                Sum[c] += Row[c] * Tap.Weight0;
            if (Tap.Weight1)
                for (int32_t c = 0; c < 4; ++c)
                    Sum[4 + c] += Row[c] * Tap.Weight1;
        }
    }

    // The colour sums weighted by alpha across one source row (64-bit: colour times alpha times a weight).
    void SumWeightedAcross(const uint8_t* Row)
    {
        std::memset(WeightedRowSums, 0, size_t(NewWidth) * 32);
        for (int32_t x = 0; x < Width; ++x, Row += 4)
        {
            const FBoxTap& Tap = ColumnTaps[x];
            uint64_t* Sum = WeightedRowSums + size_t(Tap.Dest) * 4;
            for (int32_t c = 0; c < 3; ++c)
                Sum[c] += uint64_t(uint32_t(Row[c]) * Row[3]) * Tap.Weight0;
            if (Tap.Weight1)
                for (int32_t c = 0; c < 3; ++c)
                    Sum[4 + c] += uint64_t(uint32_t(Row[c]) * Row[3]) * Tap.Weight1;
        }
    }

    void AddDown(int32_t Row, uint32_t Weight)
    {
        uint64_t* Sum = DestSums + size_t(Row & 1) * size_t(NewWidth) * 4;
        const size_t Count = size_t(NewWidth) * 4;
        for (size_t i = 0; i < Count; ++i)
            Sum[i] += uint64_t(RowSums[i]) * Weight;
        if (!bByAlpha)
            return;
        uint64_t* Weighted = WeightedDestSums + size_t(Row & 1) * Count;
        for (size_t i = 0; i < Count; ++i)
            Weighted[i] += WeightedRowSums[i] * Weight;
    }

    void FinishRow()
    {
        uint64_t* Sum = DestSums + size_t(FinishedRows & 1) * size_t(NewWidth) * 4;
        uint8_t* Out = Dest + size_t(FinishedRows) * size_t(NewWidth) * 4;
        const size_t Count = size_t(NewWidth) * 4;
        const uint64_t Half = Total / 2;
        if (bPowerOfTwo)
            for (size_t i = 0; i < Count; ++i)
                Out[i] = uint8_t((Sum[i] + Half) >> Shift);
        else
            for (size_t i = 0; i < Count; ++i)
                Out[i] = uint8_t((Sum[i] + Half) / Total);
        if (bByAlpha)
        {
            uint64_t* Weighted = WeightedDestSums + size_t(FinishedRows & 1) * Count;
            WeighColour(Out, NewWidth, static_cast<const uint64_t*>(Sum), static_cast<const uint64_t*>(Weighted),
                        255 * Total);
            std::memset(Weighted, 0, Count * 8);
        }
        std::memset(Sum, 0, Count * 8);
        ++FinishedRows;
    }

    const int32_t Width;
    const int32_t NewWidth;
    const int32_t NewHeight;
    uint8_t* const Dest;
    FBoxTap* ColumnTaps = nullptr;
    FBoxTap* RowTaps = nullptr;
    const bool bByAlpha;
    uint32_t* RowSums = nullptr;
    uint64_t* DestSums = nullptr;
    uint64_t* WeightedRowSums = nullptr;
    uint32_t* WeightedBlockSums = nullptr; // in the place of WeightedRowSums when the sides are divided exactly
    uint64_t* WeightedDestSums = nullptr;
    uint64_t Total = 1;
    int32_t Shift = 0;
    bool bPowerOfTwo = true;
    int32_t Across = 1;
    int32_t Down = 1;
    bool bExact = false;
    int32_t SourceRow = 0;
    int32_t FinishedRows = 0;
    bool bGradedAlpha = false;
    uint64_t SourceOpaque = 0;
};
} // namespace

void BoxResampleLevel(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, uint8_t* Dest,
                      int32_t NewWidth, int32_t NewHeight, FShrinkBuffers& Buffers, EColourWeight Weight,
                      EBoxColour Colour)
{
    FBoxResampler Box(Width, Height, NewWidth, NewHeight, Dest, Buffers, Weight);
    // The cubic's colour goes over the box filter's: each row goes to the box filter first.
    std::optional<FCubicColour> Cubic;
    if (Colour == EBoxColour::CatmullRom)
        Cubic.emplace(Width, Height, NewWidth, NewHeight, Dest, Weight, Buffers.CubicTaps, Buffers.CubicSums);
    auto AddRow = [&](const uint8_t* Row)
    {
        Box.AddRow(Row);
        if (Cubic)
            Cubic->AddRow(Row);
    };
    const size_t Pitch = size_t(Width) * 4;
    if (SourceFormat == PIXEL_RGBA)
    {
        for (int32_t y = 0; y < Height; ++y)
            AddRow(static_cast<const uint8_t*>(Source) + size_t(y) * Pitch);
    }
    else
    {
        const size_t BlockRowBytes = GetBlockRowBytes(Width, SourceFormat);
        uint8_t* const Strip = Buffers.Decoded.SetNum(int64_t(Pitch) * StripRows);
        for (int32_t First = 0; First < Height; First += StripRows)
        {
            const int32_t Rows = Height - First < StripRows ? Height - First : StripRows;
            const uint8_t* Blocks = static_cast<const uint8_t*>(Source) + size_t(First / 4) * BlockRowBytes;
            DecodeBlockRows(Width, Rows, Blocks, SourceFormat, Strip);
            for (int32_t y = 0; y < Rows; ++y)
                AddRow(Strip + size_t(y) * Pitch);
        }
    }
    // The dither ranks go where the strips were: the source is done with.
    Box.Finish(Buffers.Decoded);
    if (Cubic)
        Cubic->Finish();
}

void BoxResizeImage(const void* Source, int32_t SourceWidth, int32_t SourceHeight, void* Dest, int32_t NewWidth,
                    int32_t NewHeight, EColourWeight Weight)
{
    FShrinkBuffers Buffers;
    BoxResampleLevel(SourceWidth, SourceHeight, Source, PIXEL_RGBA, static_cast<uint8_t*>(Dest), NewWidth, NewHeight,
                     Buffers, Weight);
}
