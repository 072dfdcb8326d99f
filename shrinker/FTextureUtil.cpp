// Texture pixels: format changes through libsquish and the bilinear resampler.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include <squish.h>

#include "Core/Inc/Core.h"
#include "shrinker/FEntryTrace.h"
#include "shrinker/FTextureUtil.h"

namespace
{
// Our formats name the block coder's two flavours by their pixel format; colours are fitted along their range
// (fast, and good enough for textures that are being made smaller anyway), with the default colour metric and
// no weighting by alpha.
int SquishFlags(FPixelFormat Format)
{
    const int Coder = Format == PIXEL_DXT1 ? squish::kDxt1 : Format == PIXEL_DXT3 ? squish::kDxt3 : squish::kDxt5;
    return Coder | squish::kColourRangeFit;
}

bool IsBlockFormat(FPixelFormat Format)
{
    return GetBlockBytes(Format) > 0;
}

// Width * Height * BytesPerPixel when it fits a signed 32-bit count, else -1.
int32_t RasterBytes(int32_t Width, int32_t Height, int32_t BytesPerPixel)
{
    if (Width < 0 || Height < 0)
        return -1;
    const int64_t Bytes = int64_t(Width) * Height * BytesPerPixel;
    return Bytes <= INT32_MAX ? int32_t(Bytes) : -1;
}

bool SourceTooShort(int32_t SourceBytes, int32_t Needed)
{
    return SourceBytes >= 0 && SourceBytes < Needed;
}

// The bytes a conversion produces, or -1 (traced) when it cannot be made. Checks everything before anything is
// written, so that a refused conversion leaves the output as it was.
int32_t ConvertedBytes(int32_t Width, int32_t Height, FPixelFormat SourceFormat, FPixelFormat OutFormat,
                       int32_t SourceBytes, FEntryTrace& Trace)
{
    const int32_t RgbaBytes = RasterBytes(Width, Height, 4);
    if (SourceFormat == PIXEL_RGBA && OutFormat == PIXEL_RGBA)
    {
        if (RgbaBytes >= 0 && !SourceTooShort(SourceBytes, RgbaBytes))
            return RgbaBytes;
        Trace.Logf(TEXT("Could not convert %x to %x: no %d x %d pixels"), SourceFormat, OutFormat, Width, Height);
        return -1;
    }
    if (SourceFormat == PIXEL_RGBA && IsBlockFormat(OutFormat))
    {
        // The blocks fill the output exactly only when both sides are multiples of 4; otherwise the coder
        // would write past the bytes the level may hold, so such a size is refused.
        const int32_t Bits = GetBlockBytes(OutFormat) / 2;
        const int32_t BytesReq = RgbaBytes >= 0 ? int32_t(int64_t(Width) * Height * Bits / 8) : -1;
        const int32_t ResultBytesReq =
            RgbaBytes >= 0 ? squish::GetStorageRequirements(Width, Height, SquishFlags(OutFormat)) : -2;
        if (RgbaBytes >= 0 && BytesReq == ResultBytesReq && !SourceTooShort(SourceBytes, RgbaBytes))
            return BytesReq;
        Trace.Logf(TEXT("Could not convert %x to %x: %d x %d is not made of whole blocks"), SourceFormat, OutFormat,
                   Width, Height);
        return -1;
    }
    if (IsBlockFormat(SourceFormat) && OutFormat == PIXEL_RGBA)
    {
        // Partial blocks at the right and bottom edges are fine here: the coder reads whole blocks and writes
        // only the pixels inside the image.
        const int32_t BlockBytes =
            RgbaBytes >= 0 ? squish::GetStorageRequirements(Width, Height, SquishFlags(SourceFormat)) : -1;
        if (RgbaBytes >= 0 && !SourceTooShort(SourceBytes, BlockBytes))
            return RgbaBytes;
        Trace.Logf(TEXT("Could not convert %x to %x: no %d x %d blocks"), SourceFormat, OutFormat, Width, Height);
        return -1;
    }
    Trace.Logf(TEXT("Could not convert %x to %x"), SourceFormat, OutFormat);
    return -1;
}

// Makes a conversion that ConvertedBytes has accepted, into Out bytes.
void Convert(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, uint8_t* Out,
             FPixelFormat OutFormat, int32_t OutBytes)
{
    if (OutBytes == 0)
        return;
    if (SourceFormat == PIXEL_RGBA && OutFormat == PIXEL_RGBA)
        std::memcpy(Out, Source, size_t(OutBytes));
    else if (SourceFormat == PIXEL_RGBA)
        squish::CompressImage(static_cast<const squish::u8*>(Source), Width, Height, Out, SquishFlags(OutFormat));
    else
        squish::DecompressImage(Out, Width, Height, Source, SquishFlags(SourceFormat));
}

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

// The sampling of one resize: where every destination column samples (worked out once), and the rows on
// demand, so that the source may be at hand whole or a strip of rows at a time.
class FResampler
{
public:
    // Columns must hold NewWidth entries; it is the caller's.
    FResampler(int32_t InSourceWidth, int32_t InSourceHeight, int32_t InNewWidth, int32_t InNewHeight,
               FSamplePos* InColumns)
        : SourceHeight(InSourceHeight), NewWidth(InNewWidth), NewHeight(InNewHeight),
          Ry(1.0f / static_cast<float>(InNewHeight)), Columns(InColumns)
    {
        appCheck(InSourceWidth > 0 && InSourceHeight > 0 && InNewWidth > 0 && InNewHeight > 0);
        appCheck(RasterBytes(InSourceWidth, InSourceHeight, 4) >= 0 && RasterBytes(InNewWidth, InNewHeight, 4) >= 0);
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
        }
    }

    const int32_t SourceHeight;
    const int32_t NewWidth;
    const int32_t NewHeight;
    const float Ry;
    FSamplePos* const Columns;
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
    const size_t BlockRowBytes = size_t((Width + 3) / 4) * size_t(GetBlockBytes(SourceFormat));
    uint8_t* const Strip = Scratch.SetNum(int64_t(Pitch) * (StripRows + 2));
    uint8_t* const FirstRow = Strip + Pitch * StripRows;
    uint8_t* const RowBefore = FirstRow + Pitch;
    bool bGradedAlpha = false;
    int32_t Y = 0;
    for (int32_t First = 0; First < Height; First += StripRows)
    {
        const int32_t Rows = Height - First < StripRows ? Height - First : StripRows;
        const uint8_t* Blocks = static_cast<const uint8_t*>(Source) + size_t(First / 4) * BlockRowBytes;
        squish::DecompressImage(Strip, Width, Rows, Blocks, SquishFlags(SourceFormat));
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
// ---- The box filter ---------------------------------------------------------------------------------------------

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

// The area average of one resize, fed the source rows in order: each row is summed across into the
// destination columns, and the column sums into the (at most two) destination rows it overlaps. A destination row
// is finished when a source row starts past it. The sums are exact integers; the result rounds once.
class FBoxResampler
{
public:
    FBoxResampler(int32_t InWidth, int32_t InHeight, int32_t InNewWidth, int32_t InNewHeight, uint8_t* InDest,
                  FShrinkBuffers& Buffers)
        : Width(InWidth), NewWidth(InNewWidth), NewHeight(InNewHeight), Dest(InDest)
    {
        appCheck(InWidth > 0 && InHeight > 0 && InNewWidth > 0 && InNewHeight > 0);
        appCheck(InNewWidth <= InWidth && InNewHeight <= InHeight);
        FBoxTap* Taps = reinterpret_cast<FBoxTap*>(
            Buffers.Columns.SetNum((int64_t(InWidth) + InHeight) * int64_t(sizeof(FBoxTap))));
        ColumnTaps = Taps;
        RowTaps = Taps + InWidth;
        const uint64_t AcrossWeight = BoxTaps(InWidth, InNewWidth, ColumnTaps);
        Total = AcrossWeight * BoxTaps(InHeight, InNewHeight, RowTaps);
        // Row sums first (32-bit: at most 255 * 65535), then two destination rows of 64-bit sums.
        uint8_t* Sums = Buffers.Sums.SetNum(int64_t(InNewWidth) * 4 * (4 + 2 * 8));
        RowSums = reinterpret_cast<uint32_t*>(Sums);
        DestSums = reinterpret_cast<uint64_t*>(Sums + size_t(InNewWidth) * 16);
        std::memset(Sums, 0, size_t(InNewWidth) * 4 * (4 + 2 * 8));
        Shift = 0;
        while (Shift < 63 && (uint64_t(1) << Shift) < Total)
            ++Shift;
        bPowerOfTwo = (uint64_t(1) << Shift) == Total;
        // Sides divided exactly (every halving of even sides) sum whole blocks of source pixels without weights,
        // into 32-bit sums: one destination row at a time.
        Across = InWidth / InNewWidth;
        Down = InHeight / InNewHeight;
        bExact = InWidth % InNewWidth == 0 && InHeight % InNewHeight == 0 && Total <= (uint64_t(1) << 24);
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
        std::memset(RowSums, 0, Count * 4);
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

    void AddDown(int32_t Row, uint32_t Weight)
    {
        uint64_t* Sum = DestSums + size_t(Row & 1) * size_t(NewWidth) * 4;
        const size_t Count = size_t(NewWidth) * 4;
        for (size_t i = 0; i < Count; ++i)
            Sum[i] += uint64_t(RowSums[i]) * Weight;
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
        std::memset(Sum, 0, Count * 8);
        ++FinishedRows;
    }

    const int32_t Width;
    const int32_t NewWidth;
    const int32_t NewHeight;
    uint8_t* const Dest;
    FBoxTap* ColumnTaps = nullptr;
    FBoxTap* RowTaps = nullptr;
    uint32_t* RowSums = nullptr;
    uint64_t* DestSums = nullptr;
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

// The box filter over a level: RGBA rows where they are, block-coded ones decoded a strip at a time.
void BoxLevel(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, uint8_t* Dest,
              int32_t NewWidth, int32_t NewHeight, FShrinkBuffers& Buffers)
{
    FBoxResampler Box(Width, Height, NewWidth, NewHeight, Dest, Buffers);
    const size_t Pitch = size_t(Width) * 4;
    if (SourceFormat == PIXEL_RGBA)
    {
        for (int32_t y = 0; y < Height; ++y)
            Box.AddRow(static_cast<const uint8_t*>(Source) + size_t(y) * Pitch);
    }
    else
    {
        const size_t BlockRowBytes = size_t((Width + 3) / 4) * size_t(GetBlockBytes(SourceFormat));
        uint8_t* const Strip = Buffers.Decoded.SetNum(int64_t(Pitch) * StripRows);
        for (int32_t First = 0; First < Height; First += StripRows)
        {
            const int32_t Rows = Height - First < StripRows ? Height - First : StripRows;
            const uint8_t* Blocks = static_cast<const uint8_t*>(Source) + size_t(First / 4) * BlockRowBytes;
            squish::DecompressImage(Strip, Width, Rows, Blocks, SquishFlags(SourceFormat));
            for (int32_t y = 0; y < Rows; ++y)
                Box.AddRow(Strip + size_t(y) * Pitch);
        }
    }
    // The dither ranks go where the strips were: the source is done with.
    Box.Finish(Buffers.Decoded);
}
} // namespace

namespace
{
// The output buffer made Bytes long, for either kind of buffer.
uint8_t* Sized(FByteArray& Out, int32_t Bytes)
{
    Out.SetNum(Bytes);
    return Out.GetData();
}

uint8_t* Sized(FScratchBytes& Out, int32_t Bytes)
{
    return Out.SetNum(Bytes);
}

template <typename TOut>
bool ConvertInto(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, TOut& Out,
                 FPixelFormat OutFormat, int32_t SourceBytes, FEntryTrace* Trace)
{
    FEntryTrace Direct;
    const int32_t OutBytes =
        ConvertedBytes(Width, Height, SourceFormat, OutFormat, SourceBytes, Trace ? *Trace : Direct);
    if (OutBytes < 0)
        return false;
    Convert(Width, Height, Source, SourceFormat, Sized(Out, OutBytes), OutFormat, OutBytes);
    return true;
}
} // namespace

bool ConvertImage(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, FByteArray& Out,
                  FPixelFormat OutFormat, int32_t SourceBytes, FEntryTrace* Trace)
{
    return ConvertInto(Width, Height, Source, SourceFormat, Out, OutFormat, SourceBytes, Trace);
}

bool ConvertImage(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, FScratchBytes& Out,
                  FPixelFormat OutFormat, int32_t SourceBytes, FEntryTrace* Trace)
{
    return ConvertInto(Width, Height, Source, SourceFormat, Out, OutFormat, SourceBytes, Trace);
}

int32_t GetConvertedBytes(int32_t Width, int32_t Height, FPixelFormat SourceFormat, FPixelFormat OutFormat,
                          int32_t SourceBytes, FEntryTrace* Trace)
{
    FEntryTrace Direct;
    return ConvertedBytes(Width, Height, SourceFormat, OutFormat, SourceBytes, Trace ? *Trace : Direct);
}

int32_t GetBlockBytes(FPixelFormat Format)
{
    return Format == PIXEL_DXT1 ? 8 : (Format == PIXEL_DXT3 || Format == PIXEL_DXT5) ? 16 : 0;
}

void BoxResizeImage(const void* Source, int32_t SourceWidth, int32_t SourceHeight, void* Dest, int32_t NewWidth,
                    int32_t NewHeight)
{
    FShrinkBuffers Buffers;
    BoxLevel(SourceWidth, SourceHeight, Source, PIXEL_RGBA, static_cast<uint8_t*>(Dest), NewWidth, NewHeight, Buffers);
}

void ResizeImage(const void* Source, int32_t SourceWidth, int32_t SourceHeight, void* Dest, int32_t NewWidth,
                 int32_t NewHeight)
{
    appCheck(NewWidth > 0);
    TDynArray<FSamplePos> Columns(NewWidth);
    const FResampler Resampler(SourceWidth, SourceHeight, NewWidth, NewHeight, Columns.GetData());
    ResampleWhole(Resampler, static_cast<const uint8_t*>(Source), SourceWidth, SourceHeight,
                  static_cast<uint8_t*>(Dest), NewWidth, NewHeight);
}

bool ResampleLevel(int32_t Width, int32_t Height, const void* Source, FPixelFormat SourceFormat, int32_t SourceBytes,
                   void* Dest, int32_t NewWidth, int32_t NewHeight, FShrinkBuffers& Buffers, FEntryTrace* Trace,
                   EResampleFilter Filter)
{
    // The checks (and traces) of decoding the level whole.
    FEntryTrace Direct;
    if (ConvertedBytes(Width, Height, SourceFormat, PIXEL_RGBA, SourceBytes, Trace ? *Trace : Direct) < 0)
        return false;
    appCheck(NewWidth > 0);
    if (Filter == EResampleFilter::Box)
    {
        BoxLevel(Width, Height, Source, SourceFormat, static_cast<uint8_t*>(Dest), NewWidth, NewHeight, Buffers);
        return true;
    }
    FSamplePos* Columns =
        reinterpret_cast<FSamplePos*>(Buffers.Columns.SetNum(int64_t(NewWidth) * int64_t(sizeof(FSamplePos))));
    const FResampler Resampler(Width, Height, NewWidth, NewHeight, Columns);
    uint8_t* Out = static_cast<uint8_t*>(Dest);
    if (SourceFormat == PIXEL_RGBA)
        ResampleWhole(Resampler, static_cast<const uint8_t*>(Source), Width, Height, Out, NewWidth, NewHeight);
    else
        ResampleBlocks(Width, Height, Source, SourceFormat, Resampler, Out, NewWidth, NewHeight, Buffers.Decoded);
    return true;
}
