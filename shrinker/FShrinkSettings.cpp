// The settings of a shrink: validity, comparison, the text form and the description.
#include "shrinker/FShrinkSettings.h"

#include <initializer_list>

#include "Core/Inc/CoreAssert.h"
#include "Core/Inc/CoreFormat.h"

namespace
{
const char16_t* const StandardWord = u"standard";
// No '=' in the text form: the player's choices and the shrink's record keep it as an INI value, and the INI
// reader takes a value holding '=' for several pairs ("max-side=512 no-smooth" would lose its last word).
const char16_t* const SidePrefix = u"max-side:";
const char16_t* const QualityPrefix = u"keep-quality:";
const char16_t* const FitPrefix = u"fit:";
const char16_t* const SmoothWord = u"smooth";
const char16_t* const NoSmoothWord = u"no-smooth";

// A decimal number of at most MostDigits digits without sign or leading zero; -1 for anything else.
int64_t ReadNumber(const FString& Digits, int32_t MostDigits)
{
    if (Digits.IsEmpty() || Digits.Len() > MostDigits || Digits[0] == u'0')
        return -1;
    int64_t Value = 0;
    for (int32_t i = 0; i < Digits.Len(); ++i)
    {
        if (Digits[i] < u'0' || Digits[i] > u'9')
            return -1;
        Value = Value * 10 + (Digits[i] - u'0');
    }
    return Value;
}

// A side, a dB or a share: at most five digits.
int32_t ReadSide(const FString& Digits)
{
    return int32_t(ReadNumber(Digits, 5));
}

// "fit:BYTES" or "fit:PERCENT%" after its prefix.
bool ReadFit(const FString& Size, FShrinkSettings& Out)
{
    if (!Size.IsEmpty() && Size[Size.Len() - 1] == u'%')
    {
        const int32_t Percent = ReadSide(Size.Left(Size.Len() - 1));
        if (!FShrinkSettings::IsValidFitPercent(Percent))
            return false;
        Out = FShrinkSettings::FitInPercent(Percent);
        return true;
    }
    const int64_t Bytes = ReadNumber(Size, 15);
    if (Bytes <= 0)
        return false;
    Out = FShrinkSettings::FitIn(Bytes);
    return true;
}

bool ReadMode(const FString& Word, FShrinkSettings& Out)
{
    if (Word == StandardWord)
    {
        Out = FShrinkSettings::Standard();
        return true;
    }
    const FString Prefix(SidePrefix), Quality(QualityPrefix), Fit(FitPrefix);
    if (Word.Left(Fit.Len()) == Fit)
        return ReadFit(Word.Mid(Fit.Len()), Out);
    if (Word.Left(Quality.Len()) == Quality)
    {
        const int32_t Db = ReadSide(Word.Mid(Quality.Len()));
        if (!FShrinkSettings::IsValidMinPsnr(Db))
            return false;
        Out = FShrinkSettings::KeepQuality(Db);
        return true;
    }
    if (Word.Left(Prefix.Len()) != Prefix)
        return false;
    const int32_t Side = ReadSide(Word.Mid(Prefix.Len()));
    if (!FShrinkSettings::IsValidMaxSide(Side))
        return false;
    Out = FShrinkSettings::LargestSide(Side);
    return true;
}
} // namespace

FShrinkSettings FShrinkSettings::Standard()
{
    return FShrinkSettings();
}

FShrinkSettings FShrinkSettings::LargestSide(int32_t Side)
{
    appCheck(IsValidMaxSide(Side));
    FShrinkSettings Settings;
    Settings.Mode = EShrinkMode::LargestSide;
    Settings.MaxSide = Side;
    return Settings;
}

FShrinkSettings FShrinkSettings::KeepQuality(int32_t Db)
{
    appCheck(IsValidMinPsnr(Db));
    FShrinkSettings Settings;
    Settings.Mode = EShrinkMode::KeepQuality;
    Settings.MinPsnr = Db;
    return Settings;
}

FShrinkSettings FShrinkSettings::FitIn(int64_t Bytes)
{
    appCheck(Bytes > 0);
    FShrinkSettings Settings;
    Settings.Mode = EShrinkMode::Fit;
    Settings.FitBytes = Bytes;
    return Settings;
}

FShrinkSettings FShrinkSettings::FitInPercent(int32_t Percent)
{
    appCheck(IsValidFitPercent(Percent));
    FShrinkSettings Settings;
    Settings.Mode = EShrinkMode::Fit;
    Settings.FitPercent = Percent;
    return Settings;
}

TDynArray<FShrinkSettings> FShrinkSettings::Choices()
{
    TDynArray<FShrinkSettings> List;
    List.AddItem(Standard());
    FShrinkSettings Smooth = Standard();
    Smooth.Smooth = ESmoothChoice::Smooth;
    List.AddItem(Smooth);
    for (int32_t Side : {1024, 512, 256, 128})
        List.AddItem(LargestSide(Side));
    return List;
}

bool FShrinkSettings::IsValidMaxSide(int64_t Side)
{
    return Side >= SHRINK_MinSide && Side <= SHRINK_MaxSide;
}

bool FShrinkSettings::IsValidMinPsnr(int64_t Db)
{
    return Db >= SHRINK_MinPsnr && Db <= SHRINK_MaxPsnr;
}

bool FShrinkSettings::IsValidFitPercent(int64_t Percent)
{
    return Percent >= SHRINK_MinFitPercent && Percent <= SHRINK_MaxFitPercent;
}

int64_t FShrinkSettings::FitTarget(int64_t Bytes) const
{
    if (Mode != EShrinkMode::Fit)
        return 0;
    return FitBytes > 0 ? FitBytes : Bytes / 100 * FitPercent + Bytes % 100 * FitPercent / 100;
}

bool FShrinkSettings::IsSmooth() const
{
    if (Smooth == ESmoothChoice::ModeDefault)
        return Mode != EShrinkMode::Standard;
    return Smooth == ESmoothChoice::Smooth;
}

bool FShrinkSettings::UsesFinePixels() const
{
    return Mode != EShrinkMode::Standard || IsSmooth();
}

bool FShrinkSettings::MakesSameArchive(const FShrinkSettings& Other) const
{
    return Mode == Other.Mode && MaxSide == Other.MaxSide && MinPsnr == Other.MinPsnr && FitBytes == Other.FitBytes &&
           FitPercent == Other.FitPercent && IsSmooth() == Other.IsSmooth();
}

bool FShrinkSettings::operator==(const FShrinkSettings& Other) const
{
    return Mode == Other.Mode && MaxSide == Other.MaxSide && MinPsnr == Other.MinPsnr && FitBytes == Other.FitBytes &&
           FitPercent == Other.FitPercent && Smooth == Other.Smooth;
}

FString FShrinkSettings::ToText() const
{
    FString Text;
    switch (Mode)
    {
        case EShrinkMode::Standard:
            Text = StandardWord;
            break;
        case EShrinkMode::LargestSide:
            Text = FString::Printf(u"%s%d", SidePrefix, MaxSide);
            break;
        case EShrinkMode::KeepQuality:
            Text = FString::Printf(u"%s%d", QualityPrefix, MinPsnr);
            break;
        case EShrinkMode::Fit:
            Text = FitBytes > 0 ? FString::Printf(u"%s%lld", FitPrefix, (long long)FitBytes)
                                : FString::Printf(u"%s%d%%", FitPrefix, FitPercent);
            break;
    }
    if (Smooth == ESmoothChoice::Smooth)
        Text += FString(u" ") + SmoothWord;
    else if (Smooth == ESmoothChoice::NoSmooth)
        Text += FString(u" ") + NoSmoothWord;
    return Text;
}

bool FShrinkSettings::FromText(const FString& Text, FShrinkSettings& Out)
{
    const int32_t Blank = Text.InStr(u" ");
    FShrinkSettings Read;
    if (!ReadMode(Blank < 0 ? Text : Text.Left(Blank), Read))
        return false;
    if (Blank >= 0)
    {
        const FString Word = Text.Mid(Blank + 1);
        if (Word == SmoothWord)
            Read.Smooth = ESmoothChoice::Smooth;
        else if (Word == NoSmoothWord)
            Read.Smooth = ESmoothChoice::NoSmooth;
        else
            return false;
    }
    Out = Read;
    return true;
}

FString FShrinkSettings::Describe() const
{
    if (Mode == EShrinkMode::Standard)
        return IsSmooth() ? FString(u"the standard shrink, smooth") : FString(u"the standard shrink");
    const char16_t* Smoothing = IsSmooth() ? u"smooth" : u"not smooth";
    if (Mode == EShrinkMode::KeepQuality && MinPsnr == SHRINK_NoVisibleChange)
        return FString::Printf(u"no visible change (%d dB), %s", MinPsnr, Smoothing);
    if (Mode == EShrinkMode::KeepQuality)
        return FString::Printf(u"every texture at least %d dB, %s", MinPsnr, Smoothing);
    if (Mode == EShrinkMode::Fit && FitBytes > 0)
        return FString::Printf(u"fit in %s, %s", *appFormatMegabytes(FitBytes), Smoothing);
    if (Mode == EShrinkMode::Fit)
        return FString::Printf(u"fit in %d%% of today's size, %s", FitPercent, Smoothing);
    return FString::Printf(u"at most %d pixels, %s", MaxSide, Smoothing);
}
