// shrink-bench: how good and how fast each kind of shrink is on one archive.
//
//   shrink-bench SOURCE.img WORK_DIR [RUNS [--time-only [MODE]]]   (MODE: 0 standard, 1 smooth, 2 and 4 the sides)
//
// Quality: the archive is shrunk the standard way (picking one pixel of each block), the standard way smooth,
// and at most 512 pixels (smooth, then picking). For every single-level texture that a shrink resampled, the
// result is decoded and compared with a Lanczos-3 downscale of the decoded original to the same size: the RGB
// PSNR, averaged over the textures (lettering, named sign*, also on its own). For cut-outs (every alpha 0..2 or
// 253..255) the change in the share of pixels with alpha 128 or more is averaged too, with its sign.
// Time: each mode (standard, standard smooth, at most 512, at most 256) is run RUNS times (default 3) with as many
// threads as the machine has, in turns; the medians and their ratio to the standard shrink are printed.
// A benchmark, not a test: nothing here runs in make test.
#include <algorithm>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Core/Inc/Core.h"
#include "Core/Inc/CoreFileRaw.h"
#include "shrinker/FImgArchive.h"
#include "shrinker/FImgShrinker.h"
#include "shrinker/FRwChunk.h"
#include "shrinker/FTextureResample.h"
#include "shrinker/FTxdImage.h"

namespace
{
typedef std::vector<uint8_t> FBytes;

struct FMode
{
    const char* Name;
    FShrinkSettings Settings;
};

FShrinkSettings WithSmooth(FShrinkSettings Settings, ESmoothChoice Smooth)
{
    Settings.Smooth = Smooth;
    return Settings;
}

FBytes ReadAll(const FString& Path)
{
    FBytes Bytes;
    FFileHandle File = appFileOpenRead(*Path);
    if (!File)
        return Bytes;
    Bytes.resize(size_t(CoreOS::FileGetSize(File)));
    if (!ReadImgBytes(File, 0, Bytes.data(), int64_t(Bytes.size())))
        Bytes.clear();
    appFileClose(File);
    return Bytes;
}

// ---- Lanczos-3 ----------------------------------------------------------------------------------------------------

double Sinc(double X)
{
    if (std::fabs(X) < 1e-9)
        return 1.0;
    const double Pi = 3.14159265358979323846;
    return std::sin(Pi * X) / (Pi * X);
}

// One axis of a Lanczos-3 downscale, the kernel widened by the ratio; edges clamp. Rows of Count pixels of four
// floats, Lines of them, Stride floats apart along the axis.
std::vector<double> LanczosAxis(const std::vector<double>& In, int32_t Size, int32_t NewSize, int32_t Lines,
                                bool bAcross)
{
    const double Scale = double(Size) / double(NewSize);
    const double Support = 3.0 * std::max(1.0, Scale);
    std::vector<double> Out(size_t(NewSize) * size_t(Lines) * 4, 0.0);
    for (int32_t i = 0; i < NewSize; ++i)
    {
        const double Centre = (i + 0.5) * Scale - 0.5;
        const int32_t First = int32_t(std::floor(Centre - Support)), Last = int32_t(std::ceil(Centre + Support));
        std::vector<double> Weights;
        double Sum = 0.0;
        for (int32_t j = First; j <= Last; ++j)
        {
            const double X = (j - Centre) / std::max(1.0, Scale);
            const double W = std::fabs(X) < 3.0 ? Sinc(X) * Sinc(X / 3.0) : 0.0;
            Weights.push_back(W);
            Sum += W;
        }
        for (int32_t Line = 0; Line < Lines; ++Line)
            for (int32_t j = First; j <= Last; ++j)
            {
                const int32_t At = std::clamp(j, 0, Size - 1);
                const double W = Weights[size_t(j - First)] / Sum;
                const size_t From = bAcross ? (size_t(Line) * Size + At) * 4 : (size_t(At) * Lines + Line) * 4;
                const size_t To = bAcross ? (size_t(Line) * NewSize + i) * 4 : (size_t(i) * Lines + Line) * 4;
                for (int32_t c = 0; c < 4; ++c)
                    Out[To + c] += In[From + c] * W;
            }
    }
    return Out;
}

FBytes Lanczos(const FBytes& Rgba, int32_t Width, int32_t Height, int32_t NewWidth, int32_t NewHeight)
{
    std::vector<double> Pixels(Rgba.begin(), Rgba.end());
    const std::vector<double> Across = LanczosAxis(Pixels, Width, NewWidth, Height, true);
    const std::vector<double> Down = LanczosAxis(Across, Height, NewHeight, NewWidth, false);
    FBytes Out(Down.size());
    for (size_t i = 0; i < Down.size(); ++i)
        Out[i] = uint8_t(std::clamp(std::lround(Down[i]), 0L, 255L));
    return Out;
}

double RgbPsnr(const FBytes& A, const FBytes& B)
{
    double Sum = 0.0;
    for (size_t i = 0; i < A.size(); ++i)
        if (i % 4 != 3)
        {
            const double D = double(A[i]) - double(B[i]);
            Sum += D * D;
        }
    const double Mse = Sum / double(A.size() / 4 * 3);
    return Mse > 0.0 ? std::min(99.0, 10.0 * std::log10(255.0 * 255.0 / Mse)) : 99.0;
}

// ---- Comparing two archives -------------------------------------------------------------------------------------

struct FQuality
{
    int32_t Textures = 0;
    double Psnr = 0.0;
    int32_t Lettering = 0;
    double LetteringPsnr = 0.0;
    int32_t CutOuts = 0;
    double CoverageChange = 0.0; // points, signed
    double CoverageAbs = 0.0;
    // The same cut-outs averaged over whole blocks with every alpha rounded and snapped at 128 instead.
    int32_t Snapped = 0;
    double SnappedChange = 0.0;
    double SnappedAbs = 0.0;
};

// The records of a well-formed dictionary, parsed; empty for anything else.
bool ParseImages(const uint8_t* Bytes, int32_t Count, TDynArray<FRwChunk>& Roots, std::vector<FTxdImage>& Images)
{
    if (!ReadChunks(Bytes, Count, false, Roots) || !CheckTxdShape(Roots))
        return false;
    Images.resize(size_t(Roots[0].InnerChunks.Num() - 2));
    for (size_t i = 0; i < Images.size(); ++i)
    {
        const FHeldBytes& Payload = Roots[0].InnerChunks[int32_t(i) + 1].InnerChunks[0].DataBytes;
        if (!ParseTxdImage(Payload.GetData(), Payload.Num(), Images[i]))
            return false;
    }
    return true;
}

bool Decode(const FTxdImage& Image, FBytes& Rgba)
{
    const FTextureKind* Kind = FindTextureKind(GetTextureKind(Image.Header));
    if (!Kind || Image.MipList.Num() == 0)
        return false;
    FByteArray Out;
    if (!ConvertImage(Image.Header.Width, Image.Header.Height, Image.MipList[0].GetData(), Kind->Pixels, Out,
                      PIXEL_RGBA, Image.MipList[0].Num()))
        return false;
    Rgba.assign(Out.begin(), Out.end());
    return true;
}

double OpaqueShare(const FBytes& Rgba, bool& bCutOut)
{
    size_t On = 0;
    bCutOut = true;
    for (size_t i = 3; i < Rgba.size(); i += 4)
    {
        On += Rgba[i] >= 128;
        bCutOut = bCutOut && (Rgba[i] <= 2 || Rgba[i] >= 253);
    }
    return 100.0 * double(On) / double(Rgba.size() / 4);
}

// The share of opaque pixels after a plain average over whole Across x Down blocks, every alpha rounded to
// nearest and snapped at 128 (the rule that the shrinker's cut-out rule replaces).
double SnappedShare(const FBytes& Rgba, int32_t Width, int32_t Height, int32_t Across, int32_t Down)
{
    size_t On = 0, Pixels = 0;
    for (int32_t y = 0; y + Down <= Height; y += Down)
        for (int32_t x = 0; x + Across <= Width; x += Across, ++Pixels)
        {
            uint32_t Sum = 0;
            for (int32_t j = 0; j < Down; ++j)
                for (int32_t i = 0; i < Across; ++i)
                    Sum += Rgba[(size_t(y + j) * size_t(Width) + size_t(x + i)) * 4 + 3];
            const uint32_t Count = uint32_t(Across * Down);
            On += (Sum + Count / 2) / Count >= 128;
        }
    return 100.0 * double(On) / double(Pixels);
}

void CompareTexture(const FTxdImage& Was, const FTxdImage& Is, FQuality& Quality)
{
    if (Was.Header.MipLevels != 1 || Is.Header.MipLevels != 1 ||
        (Was.Header.Width == Is.Header.Width && Was.Header.Height == Is.Header.Height))
        return;
    FBytes Source, Result;
    if (!Decode(Was, Source) || !Decode(Is, Result))
        return;
    const double Psnr =
        RgbPsnr(Result, Lanczos(Source, Was.Header.Width, Was.Header.Height, Is.Header.Width, Is.Header.Height));
    ++Quality.Textures;
    Quality.Psnr += Psnr;
    if (std::strncmp(Was.Header.Name, "sign", 4) == 0)
    {
        ++Quality.Lettering;
        Quality.LetteringPsnr += Psnr;
    }
    bool bCutOut = false, bIgnored = false;
    const double Before = OpaqueShare(Source, bCutOut);
    if (bCutOut && Before > 0.0 && Before < 100.0)
    {
        const double Change = OpaqueShare(Result, bIgnored) - Before;
        ++Quality.CutOuts;
        Quality.CoverageChange += Change;
        Quality.CoverageAbs += std::fabs(Change);
        const int32_t Width = Was.Header.Width, Height = Was.Header.Height;
        if (Width % Is.Header.Width == 0 && Height % Is.Header.Height == 0)
        {
            const double Snapped =
                SnappedShare(Source, Width, Height, Width / Is.Header.Width, Height / Is.Header.Height) - Before;
            ++Quality.Snapped;
            Quality.SnappedChange += Snapped;
            Quality.SnappedAbs += std::fabs(Snapped);
        }
    }
}

FQuality CompareArchives(const FBytes& Source, const FBytes& Output)
{
    FQuality Quality;
    auto Directory = [](const FBytes& Bytes, uint32_t& Count)
    {
        std::memcpy(&Count, Bytes.data() + 4, 4);
        return reinterpret_cast<const FImgDirEntry*>(Bytes.data() + 8);
    };
    uint32_t Count = 0, OutCount = 0;
    const FImgDirEntry* Before = Directory(Source, Count);
    const FImgDirEntry* After = Directory(Output, OutCount);
    for (uint32_t i = 0; i < Count && i < OutCount; ++i)
    {
        FString TxdName;
        if (!GetImgTxdName(Before[i], TxdName) || After[i].DataEnd() > int64_t(Output.size()) ||
            Before[i].DataEnd() > int64_t(Source.size()))
            continue;
        TDynArray<FRwChunk> WasRoots, IsRoots;
        std::vector<FTxdImage> Was, Is;
        if (!ParseImages(Source.data() + Before[i].DataOffset(), int32_t(Before[i].DataBytes()), WasRoots, Was) ||
            !ParseImages(Output.data() + After[i].DataOffset(), int32_t(After[i].DataBytes()), IsRoots, Is) ||
            Was.size() != Is.size())
            continue;
        for (size_t t = 0; t < Was.size(); ++t)
            if (!Was[t].IsPaletteImage())
                CompareTexture(Was[t], Is[t], Quality);
    }
    return Quality;
}

// ---- Running ------------------------------------------------------------------------------------------------------

// Seconds: on the clock; Cpu: of every thread of the process (what the shrink costs on a machine that others
// share, where the clock's time depends on them).
bool Shrink(const FString& Src, const FString& Dest, const FShrinkSettings& Settings, double& Seconds,
            double* Cpu = nullptr)
{
    const std::clock_t CpuStart = std::clock();
    FShrinkOptions Options;
    Options.Settings = Settings;
    Options.SkipRulesFile = Dest + u".no-rules.ini"; // absolute and missing: the built-in rules
    const double Start = appSeconds();
    const FShrinkResult Result = ShrinkImgFile(*Dest, *Src, Options);
    Seconds = appSeconds() - Start;
    if (Cpu)
        *Cpu = double(std::clock() - CpuStart) / CLOCKS_PER_SEC;
    if (!Result.bOk)
        std::printf("shrink failed: %s\n", Result.Reason.ToUtf8().c_str());
    return Result.bOk;
}

double Median(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    const size_t Half = Values.size() / 2;
    return Values.size() % 2 ? Values[Half] : (Values[Half - 1] + Values[Half]) / 2.0;
}

int Run(const FString& Src, const FString& Work, int32_t Runs, bool bTimeOnly, int32_t OnlyMode)
{
    const FMode Modes[] = {
        {"standard", FShrinkSettings::Standard()},
        {"standard smooth", WithSmooth(FShrinkSettings::Standard(), ESmoothChoice::Smooth)},
        {"max-side 512", FShrinkSettings::LargestSide(512)},
        {"max-side 512 no-smooth", WithSmooth(FShrinkSettings::LargestSide(512), ESmoothChoice::NoSmooth)},
        {"max-side 256", FShrinkSettings::LargestSide(256)},
    };
    const FString Out = Work + u"/bench-out.img";
    const FBytes Source = ReadAll(Src);
    if (Source.size() < 8)
        return std::printf("cannot read %s\n", Src.ToUtf8().c_str()), 1;
    std::printf("quality: RGB PSNR of resampled single-level textures against Lanczos-3 (mean of textures)\n");
    for (int32_t m = 0; m < (bTimeOnly ? 0 : 4); ++m)
    {
        double Seconds = 0.0;
        if (!Shrink(Src, Out, Modes[m].Settings, Seconds))
            return 1;
        const FQuality Q = CompareArchives(Source, ReadAll(Out));
        std::printf("  %-24s %5d textures %6.2f dB; lettering %4d %6.2f dB; cut-outs %4d, coverage change %+.2f "
                    "points (mean), %.2f (mean size)\n",
                    Modes[m].Name, Q.Textures, Q.Textures ? Q.Psnr / Q.Textures : 0.0, Q.Lettering,
                    Q.Lettering ? Q.LetteringPsnr / Q.Lettering : 0.0, Q.CutOuts,
                    Q.CutOuts ? Q.CoverageChange / Q.CutOuts : 0.0, Q.CutOuts ? Q.CoverageAbs / Q.CutOuts : 0.0);
        if (m == 1)
            std::printf("  (its cut-outs averaged and snapped at 128 instead: %d, coverage change %+.2f points (mean), "
                        "%.2f (mean size))\n",
                        Q.Snapped, Q.Snapped ? Q.SnappedChange / Q.Snapped : 0.0,
                        Q.Snapped ? Q.SnappedAbs / Q.Snapped : 0.0);
        std::fflush(stdout);
    }
    const int32_t Timed[] = {0, 1, 2, 4};
    std::vector<double> Times[5], CpuTimes[5];
    for (int32_t r = 0; r < Runs; ++r)
        for (int32_t m : Timed)
        {
            if (OnlyMode >= 0 && m != OnlyMode)
                continue;
            double Seconds = 0.0, Cpu = 0.0;
            if (!Shrink(Src, Out, Modes[m].Settings, Seconds, &Cpu))
                return 1;
            Times[m].push_back(Seconds);
            CpuTimes[m].push_back(Cpu);
        }
    appFileDelete(*Out);
    std::printf("time: medians of %d runs\n", Runs);
    const double Standard = Times[0].empty() ? 1.0 : Median(Times[0]);
    const double StandardCpu = CpuTimes[0].empty() ? 1.0 : Median(CpuTimes[0]);
    for (int32_t m : Timed)
        if (!Times[m].empty())
            std::printf("  %-24s %7.2f s  %.3fx the standard shrink; processor time %7.2f s  %.3fx\n", Modes[m].Name,
                        Median(Times[m]), Median(Times[m]) / Standard, Median(CpuTimes[m]),
                        Median(CpuTimes[m]) / StandardCpu);
    return 0;
}
} // namespace

int main(int ArgCount, char** Args)
{
    if (ArgCount < 3)
    {
        std::printf("usage: shrink-bench SOURCE.img WORK_DIR [RUNS [--time-only]]\n");
        return 2;
    }
    GEnsureCoreInited();
    const bool bTimeOnly = ArgCount > 4 && std::strcmp(Args[4], "--time-only") == 0;
    const int Result = Run(FString::FromUtf8(Args[1]), FString::FromUtf8(Args[2]),
                           ArgCount > 3 ? std::atoi(Args[3]) : 3, bTimeOnly, ArgCount > 5 ? std::atoi(Args[5]) : -1);
    GShutdownCore();
    return Result;
}
