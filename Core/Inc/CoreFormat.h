// Quantities written for people, the same in every front end: sizes in decimal megabytes (as file managers show
// them) and durations as a clock shows them.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateString.h"

// "912.3 MB" (MB of 1,000,000 bytes), "-" for a negative size (not known).
FString appFormatMegabytes(int64_t Bytes);
// A size that may be small: "170.7 KB" (KB of 1,000 bytes) below a megabyte, else as appFormatMegabytes.
FString appFormatSize(int64_t Bytes);
// "1:05" for 65 seconds, "1:02:03" from an hour on, "?" when not known (negative).
FString appFormatDuration(double Seconds);
