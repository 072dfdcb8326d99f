// Sizes and durations for people.
#include "Core/Inc/CoreFormat.h"

FString appFormatMegabytes(int64_t Bytes)
{
    if (Bytes < 0)
        return FString(u"-");
    return FString::Printf(u"%.1f MB", double(Bytes) / 1e6);
}

FString appFormatSize(int64_t Bytes)
{
    if (Bytes < 0 || Bytes >= 1000000)
        return appFormatMegabytes(Bytes);
    return FString::Printf(u"%.1f KB", double(Bytes) / 1e3);
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
