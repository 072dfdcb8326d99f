// Statistics of an archive shrink, the texture facts and the report lines; the entry context.
#include "shrinker/FShrinkStats.h"

#include <algorithm>

#include "Core/Inc/CoreAssert.h"
#include "Core/Inc/CoreUtil.h"
#include "shrinker/FTxdImage.h"

namespace
{
template <typename K> void AddCount(TMap<K, int32_t>& Map, const K& Key, int32_t Count)
{
    if (int32_t* Found = Map.Find(Key))
        *Found += Count;
    else
        Map.Set(Key, Count);
}

void CountSize(FTextureFacts& Facts, int32_t Width, int32_t Height, int32_t Count)
{
    const uint32_t Key = (uint32_t(Width) << 16) | (uint32_t(Height) & 0xFFFF);
    if (const int32_t* Index = Facts.SizeIndex.Find(Key))
    {
        Facts.Sizes[*Index].Count += Count;
        return;
    }
    Facts.SizeIndex.Set(Key, Facts.Sizes.AddItem(FTextureSizeCount{Width, Height, Count}));
}

// Descending without regard to ASCII case; equal lines keep their order. (The same order as stepping through
// neighbours and swapping those that sort upwards, in n log n.)
void SortDescending(TDynArray<FString>& Lines)
{
    std::stable_sort(Lines.begin(), Lines.end(),
                     [](const FString& A, const FString& B) { return appStricmp(*A, *B) > 0; });
}
} // namespace

FString FTextureFact::FormatName() const
{
    if (FindTextureKind(Kind))
        return GetTextureKindName(Kind);
    if (Depth == 8)
        return u"palette";
    // A block format's four characters, stored as a little-endian word ("DXT5").
    FString Code;
    for (int32_t Shift = 0; Shift < 32; Shift += 8)
    {
        const char16_t Char = char16_t((D3DFormat >> Shift) & 0xFF);
        if (Char < u' ' || Char > u'~')
            return FString::Printf(u"format %u", D3DFormat);
        Code += Char;
    }
    return Code;
}

void FTextureFacts::Count(uint32_t Kind, int32_t Width, int32_t Height, ETextureOutcome Outcome)
{
    ++Total;
    switch (Outcome)
    {
        case ETextureOutcome::Changed:
            ++Changed;
            break;
        case ETextureOutcome::Skipped:
            ++Skipped;
            break;
        case ETextureOutcome::TooSmall:
            ++TooSmall;
            break;
        case ETextureOutcome::Palette:
            ++Palette;
            break;
        case ETextureOutcome::NotUnderstood:
            ++NotUnderstood;
            break;
        case ETextureOutcome::BrokenLevels:
            ++BrokenLevels;
            break;
        case ETextureOutcome::TooLargeToDecode:
            ++TooLargeToDecode;
            break;
    }
    AddCount(PerKind, Kind, 1);
    CountSize(*this, Width, Height, 1);
}

void FTextureFacts::Add(const FTextureFacts& Other)
{
    Total += Other.Total;
    Changed += Other.Changed;
    Skipped += Other.Skipped;
    TooSmall += Other.TooSmall;
    Palette += Other.Palette;
    NotUnderstood += Other.NotUnderstood;
    BrokenLevels += Other.BrokenLevels;
    TooLargeToDecode += Other.TooLargeToDecode;
    CannotReachSide += Other.CannotReachSide;
    MalformedEntries += Other.MalformedEntries;
    for (const auto& Pair : Other.PerKind)
        AddCount(PerKind, Pair.Key, Pair.Value);
    for (const FTextureSizeCount& Size : Other.Sizes)
        CountSize(*this, Size.Width, Size.Height, Size.Count);
}

int32_t FTextureFacts::KeptAsTheyAre() const
{
    return TooSmall + Palette + NotUnderstood + BrokenLevels + TooLargeToDecode;
}

void FShrinkStats::Add(const FShrinkStats& Other)
{
    for (const auto& Pair : Other.MipLevelStats)
        AddCount(MipLevelStats, Pair.Key, Pair.Value);
    for (const auto& Pair : Other.FormatStats)
        AddCount(FormatStats, Pair.Key, Pair.Value);
    for (const auto& Pair : Other.DescriptionStats)
        AddCount(DescriptionStats, Pair.Key, Pair.Value);
    Textures.Add(Other.Textures);
}

TDynArray<FString> FShrinkStats::GetReportLines() const
{
    TDynArray<FString> Lines;
    for (const auto& Pair : MipLevelStats)
        if (Pair.Value != 0)
            Lines.AddItem(FString::Printf(u"%d images have %d MipLevels", Pair.Value, Pair.Key));
    for (const auto& Pair : FormatStats)
        if (Pair.Value != 0)
            Lines.AddItem(FString::Printf(u"%d images have %s format", Pair.Value, GetTextureKindName(Pair.Key)));

    // A description key reads "<sort part>: <text>"; the line is made with the sort part in front, sorted, and
    // printed without it.
    TDynArray<FString> Descriptions;
    for (const auto& Pair : DescriptionStats)
    {
        if (Pair.Value == 0)
            continue;
        const int32_t Colon = Pair.Key.InStr(u":");
        const FString Left = Colon >= 0 ? Pair.Key.Left(Colon) : FString();
        const FString Right = Colon >= 0 ? Pair.Key.Mid(Colon + 1) : FString();
        Descriptions.AddItem(FString::Printf(u"%s:%4d images are %s", *Left, Pair.Value, *Right));
    }
    SortDescending(Descriptions);
    for (const FString& Line : Descriptions)
        Lines.AddItem(Line.Mid(Line.InStr(u":") + 1));
    return Lines;
}

FTxdEntryContext::FTxdEntryContext(const FSkipRules& InSkipRules, FReencodeImageFunc InReencode,
                                   const FString& InTxdName, FEntryTrace* InTrace, FShrinkBuffers* InBuffers,
                                   const FShrinkSettings& InSettings)
    : SkipRules(InSkipRules), Reencode(InReencode), TxdName(InTxdName), Settings(InSettings),
      Trace(InTrace ? *InTrace : OwnTrace), Buffers(InBuffers ? *InBuffers : OwnBuffers)
{
    appCheck(Reencode != nullptr);
}

int32_t FTxdEntryContext::MatchSkipRule() const
{
    if (SkipMatch < 0)
        SkipMatch = SkipRules.MatchSkipRule(TxdName);
    return SkipMatch;
}

void FLossTally::Add(const FTextureFact& Fact)
{
    if (Fact.Outcome != ETextureOutcome::Changed)
        All.Pixels += int64_t(Fact.Width) * Fact.Height;
    if (!Fact.Loss.IsMeasured())
        return;
    ++Measured;
    for (FTextureLoss* Sum : {&Changed, &All})
    {
        Sum->SquaredError += Fact.Loss.SquaredError;
        Sum->Pixels += Fact.Loss.Pixels;
    }
    // Kept in order: Fact goes before the first that loses less, and the last falls off past WorstKept.
    int32_t At = 0;
    while (At < Worst.Num() && Worst[At].Loss.Psnr() <= Fact.Loss.Psnr())
        ++At;
    if (At >= WorstKept)
        return;
    Worst.Insert(At);
    Worst[At] = Fact;
    if (Worst.Num() > WorstKept)
        Worst.Remove(WorstKept);
}
