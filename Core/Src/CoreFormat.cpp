// Sizes and durations for people.
#include "Core/Inc/CoreFormat.h"

#include <cmath>

#include "Core/Inc/CoreOS.h"

namespace
{
// As Explorer shows a size: bytes below 1 KB, else three digits, cut rather than rounded, in the largest unit of
// 1024 that keeps the number below 1000: "908 MB", "45.6 MB", "1.39 GB", "0.97 MB".
FString ExplorerSize(int64_t Bytes)
{
    if (Bytes < 1024)
        return FString::Printf(u"%lld bytes", (long long)Bytes);
    const char16_t* const Units[] = {u"KB", u"MB", u"GB", u"TB", u"PB"};
    double Value = double(Bytes) / 1024.0;
    int32_t Unit = 0;
    while (Value >= 1000.0 && Unit < 4)
    {
        Value /= 1024.0;
        ++Unit;
    }
    if (Value >= 100.0)
        return FString::Printf(u"%.0f %s", std::floor(Value), Units[Unit]);
    if (Value >= 10.0)
        return FString::Printf(u"%.1f %s", std::floor(Value * 10.0) / 10.0, Units[Unit]);
    return FString::Printf(u"%.2f %s", std::floor(Value * 100.0) / 100.0, Units[Unit]);
}

bool IsExplorer()
{
    return CoreOS::SizeUnits() == CoreOS::SIZEUNITS_Explorer;
}
} // namespace

FString appFormatMegabytes(int64_t Bytes)
{
    if (Bytes < 0)
        return FString(u"-");
    if (IsExplorer())
        return ExplorerSize(Bytes);
    // From a thousand megabytes on, gigabytes, as the file managers count them.
    if (Bytes >= 999950000)
        return FString::Printf(u"%.1f GB", double(Bytes) / 1e9);
    return FString::Printf(u"%.1f MB", double(Bytes) / 1e6);
}

FString appFormatSize(int64_t Bytes)
{
    if (Bytes < 0 || Bytes >= 1000000 || IsExplorer())
        return appFormatMegabytes(Bytes);
    return FString::Printf(u"%.1f KB", double(Bytes) / 1e3);
}

double appBytesPerMegabyte()
{
    return IsExplorer() ? 1048576.0 : 1e6;
}

FString appFormatDuration(double Seconds)
{
    if (Seconds < 0)
        return FString(u"?");
    const int64_t Whole = int64_t(Seconds + 0.5);
    if (Whole >= 3600)
        return FString::Printf(u"%lld:%02lld:%02lld", (long long)(Whole / 3600), (long long)(Whole / 60 % 60),
                               (long long)(Whole % 60));
    return FString::Printf(u"%lld:%02lld", (long long)(Whole / 60), (long long)(Whole % 60));
}
