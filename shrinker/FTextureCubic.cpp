// The Catmull-Rom colour filter: the taps worked out once per resize, each source row summed down into the
// destination rows it reaches, each destination row summed across once it is complete.
#include "shrinker/FTextureCubic.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Core/Inc/Core.h"

namespace
{
const int32_t WeightOne = 1 << 14;
// The least alpha (of 255) the cubic itself gives a pixel for its colour weighted by alpha to be taken. Below it
// the negative lobes hold so much of the alpha that dividing by it would magnify their colour.
const float SteadyAlpha = 255.0f / 4.0f;

// Keys' cubic with a = -1/2 at X.
double CatmullRom(double X)
{
    X = std::fabs(X);
    if (X < 1.0)
        return (1.5 * X - 2.5) * X * X + 1.0;
    if (X < 2.0)
        return ((-0.5 * X + 2.5) * X - 4.0) * X + 2.0;
    return 0.0;
}

// The most taps a destination pixel can have along an axis: the kernel reaches two destination pixels (2 Size /
// NewSize source pixels) either way.
size_t MaxTaps(int32_t Size, int32_t NewSize)
{
    return size_t(4 * int64_t(Size) / NewSize) + 4;
}

// Each destination pixel's taps along an axis of Size source pixels shrunk to NewSize: the source pixels the
// widened kernel reaches from the pixel's centre, their index wrapped round, their weights rounded to 2.14 fixed
// point and put right on the largest so that they add up to 1 exactly. The kernel is a polynomial worked out in
// IEEE doubles and rounded exactly, so the weights are the same on every build. Taps of weight 0 are left out.
// Returns the taps written.
template <typename FTaps>
int32_t CubicTaps(int32_t Size, int32_t NewSize, FTaps* Taps, int32_t* Index, float* Weight)
{
    const double Ratio = double(Size) / double(NewSize);
    int32_t Used = 0;
    for (int32_t i = 0; i < NewSize; ++i)
    {
        const double Centre = (double(i) + 0.5) * Ratio - 0.5;
        const int32_t First = int32_t(std::floor(Centre - 2.0 * Ratio));
        const int32_t Last = int32_t(std::ceil(Centre + 2.0 * Ratio));
        // Tap j lies (j - Centre) / Ratio destination pixels out: ((2j + 1) NewSize - (2i + 1) Size) / (2 Size).
        auto KernelAt = [&](int32_t j)
        {
            const int64_t Distance = int64_t(2 * j + 1) * NewSize - int64_t(2 * i + 1) * Size;
            return CatmullRom(double(Distance) / double(2 * int64_t(Size)));
        };
        double Sum = 0.0;
        for (int32_t j = First; j <= Last; ++j)
            Sum += KernelAt(j);
        FTaps& Tap = Taps[i];
        Tap.First = Used;
        Tap.Count = 0;
        int32_t Total = 0, Largest = 0, LargestAt = Used;
        for (int32_t j = First; j <= Last; ++j)
        {
            const double K = KernelAt(j);
            if (K == 0.0)
                continue;
            const int32_t Whole = int32_t(std::lround(K / Sum * WeightOne));
            Tap.Low = Tap.Count == 0 ? j : Tap.Low;
            Tap.High = j;
            Index[Used] = ((j % Size) + Size) % Size;
            Weight[Used] = float(Whole);
            Total += Whole;
            LargestAt = Whole > Largest ? Used : LargestAt;
            Largest = Whole > Largest ? Whole : Largest;
            ++Used;
            ++Tap.Count;
        }
        Weight[LargestAt] += float(WeightOne - Total);
        for (int32_t k = Tap.First; k < Used; ++k)
            Weight[k] /= float(WeightOne);
    }
    return Used;
}

// The bytes of Count items of type T, rounded up to 8 so that every array carved after them is aligned.
template <typename T> size_t Bytes(size_t Count)
{
    return (Count * sizeof(T) + 7) & ~size_t(7);
}

template <typename T> T* Carve(uint8_t*& At, size_t Count)
{
    T* Carved = reinterpret_cast<T*>(At);
    At += Bytes<T>(Count);
    return Carved;
}
} // namespace

FCubicColour::FCubicColour(int32_t InWidth, int32_t Height, int32_t InNewWidth, int32_t InNewHeight, uint8_t* InDest,
                           EColourWeight Weight, FScratchBytes& Taps, FScratchBytes& Sums)
    : Width(InWidth), NewWidth(InNewWidth), NewHeight(InNewHeight), Dest(InDest),
      bByAlpha(Weight == EColourWeight::ByAlpha)
{
    appCheck(InWidth > 0 && Height > 0 && InNewWidth > 0 && InNewHeight > 0);
    appCheck(InNewWidth <= InWidth && InNewHeight <= Height);
    const size_t Across = size_t(InNewWidth) * MaxTaps(InWidth, InNewWidth);
    const size_t Down = size_t(InNewHeight) * MaxTaps(Height, InNewHeight);
    const size_t NewRows = size_t(InNewHeight);
    uint8_t* At = Taps.SetNum(int64_t(Bytes<FTaps>(size_t(InNewWidth)) + Bytes<FTaps>(NewRows) + Bytes<int32_t>(Across) +
                                      Bytes<float>(Across) + Bytes<int32_t>(Down) + Bytes<float>(Down) +
                                      Bytes<int32_t>(size_t(Height) + 1) + Bytes<FContribution>(Down) +
                                      2 * Bytes<int32_t>(NewRows)));
    ColumnTaps = Carve<FTaps>(At, size_t(InNewWidth));
    RowTaps = Carve<FTaps>(At, NewRows);
    ColumnIndex = Carve<int32_t>(At, Across);
    ColumnWeight = Carve<float>(At, Across);
    int32_t* RowIndex = Carve<int32_t>(At, Down);
    float* RowWeight = Carve<float>(At, Down);
    ContributionStart = Carve<int32_t>(At, size_t(Height) + 1);
    Contributions = Carve<FContribution>(At, Down);
    RowEnd = Carve<int32_t>(At, NewRows);
    RowSlot = Carve<int32_t>(At, NewRows);
    CubicTaps(InWidth, InNewWidth, ColumnTaps, ColumnIndex, ColumnWeight);
    const int32_t RowTapCount = CubicTaps(Height, InNewHeight, RowTaps, RowIndex, RowWeight);

    // Every source row's contributions to the destination rows, in the order of the rows.
    std::memset(ContributionStart, 0, (size_t(Height) + 1) * 4);
    for (int32_t k = 0; k < RowTapCount; ++k)
        ++ContributionStart[RowIndex[k] + 1];
    for (int32_t j = 0; j < Height; ++j)
        ContributionStart[j + 1] += ContributionStart[j];
    for (int32_t i = 0; i < InNewHeight; ++i)
        for (int32_t k = RowTaps[i].First; k < RowTaps[i].First + RowTaps[i].Count; ++k)
            Contributions[ContributionStart[RowIndex[k]]++] = FContribution{i, RowWeight[k]};
    for (int32_t j = Height; j > 0; --j)
        ContributionStart[j] = ContributionStart[j - 1];
    ContributionStart[0] = 0;

    // A row whose kernel wraps round from the far edge is summed from the first source row to the last and keeps
    // a slot of its own; the others, in between, are complete after their last source row and share a ring of
    // slots, as many as ever overlap.
    int32_t Wrapped = 0;
    for (int32_t i = 0; i < InNewHeight; ++i)
    {
        const bool bWraps = RowTaps[i].Low < 0 || RowTaps[i].High >= Height;
        RowEnd[i] = bWraps ? -1 : RowTaps[i].High;
        if (bWraps)
            RowSlot[i] = Wrapped++;
    }
    int32_t Ring = 1;
    for (int32_t i = 0; i < InNewHeight; ++i)
        while (RowEnd[i] >= 0 && i + Ring < InNewHeight && RowEnd[i + Ring] >= 0 && RowTaps[i + Ring].Low <= RowEnd[i])
            ++Ring;
    for (int32_t i = 0; i < InNewHeight; ++i)
        if (RowEnd[i] >= 0)
            RowSlot[i] = Wrapped + i % Ring;

    const size_t RowSums = size_t(InWidth) * 4, SlotSums = RowSums * size_t(Wrapped + Ring);
    Premultiplied = reinterpret_cast<float*>(Sums.SetNum(int64_t((RowSums + SlotSums) * sizeof(float))));
    Slots = Premultiplied + RowSums;
    std::fill(Slots, Slots + SlotSums, 0.0f);
}

void FCubicColour::AddRow(const uint8_t* Row)
{
    for (; NextRow < NewHeight && RowEnd[NextRow] < SourceRow; ++NextRow)
        if (RowEnd[NextRow] >= 0)
            FinishRow(NextRow);
    for (int32_t x = 0; x < Width; ++x, Row += 4)
    {
        const float Alpha = bByAlpha ? Row[3] : 255;
        float* Pixel = Premultiplied + size_t(x) * 4;
        Pixel[0] = Alpha * Row[0];
        Pixel[1] = Alpha * Row[1];
        Pixel[2] = Alpha * Row[2];
        Pixel[3] = Alpha;
    }
    const size_t RowSums = size_t(Width) * 4;
    for (int32_t k = ContributionStart[SourceRow]; k < ContributionStart[SourceRow + 1]; ++k)
    {
        float* Slot = Slots + size_t(RowSlot[Contributions[k].DestRow]) * RowSums;
        const float Weight = Contributions[k].Weight;
        for (size_t i = 0; i < RowSums; ++i)
            Slot[i] += Weight * Premultiplied[i];
    }
    ++SourceRow;
}

void FCubicColour::Finish()
{
    for (; NextRow < NewHeight; ++NextRow)
        if (RowEnd[NextRow] >= 0)
            FinishRow(NextRow);
    for (int32_t i = 0; i < NewHeight; ++i)
        if (RowEnd[i] < 0)
            FinishRow(i);
}

// Sums the destination row's slot across; a pixel whose alpha by the cubic is SteadyAlpha or more takes the
// colour, the weighted colour sum over the alpha sum, rounded to nearest and clamped to 0..255.
void FCubicColour::FinishRow(int32_t DestRow)
{
    float* const Slot = Slots + size_t(RowSlot[DestRow]) * size_t(Width) * 4;
    uint8_t* Out = Dest + size_t(DestRow) * size_t(NewWidth) * 4;
    for (int32_t x = 0; x < NewWidth; ++x, Out += 4)
    {
        const FTaps& Tap = ColumnTaps[x];
        float Sum[4] = {};
        for (int32_t k = Tap.First; k < Tap.First + Tap.Count; ++k)
        {
            const float* Column = Slot + size_t(ColumnIndex[k]) * 4;
            for (int32_t c = 0; c < 4; ++c)
                Sum[c] += ColumnWeight[k] * Column[c];
        }
        if (Sum[3] < SteadyAlpha)
            continue;
        for (int32_t c = 0; c < 3; ++c)
        {
            const float Colour = Sum[c] / Sum[3];
            Out[c] = Colour <= 0.0f ? 0 : Colour >= 255.0f ? 255 : uint8_t(Colour + 0.5f);
        }
    }
    std::fill(Slot, Slot + size_t(Width) * 4, 0.0f);
}
