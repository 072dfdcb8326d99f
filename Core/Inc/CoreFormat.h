// Quantities written for people, the same in every front end of a system: sizes in the units its file manager
// shows them in (CoreOS::SizeUnits: Explorer's on Windows, decimal megabytes elsewhere) and durations as a clock
// shows them.
#pragma once

#include <cstdint>

#include "Core/Inc/CoreTemplateString.h"

// "912.3 MB" (MB of 1,000,000 bytes), "80.0 GB" from 1000 MB on, in decimal units; as Explorer shows it on Windows: "870 MB" (MB of 1024 KB),
// "1.39 GB", "512 bytes". "-" for a negative size (not known).
FString appFormatMegabytes(int64_t Bytes);
// A size that may be small: "170.7 KB" (KB of 1,000 bytes) below a megabyte in decimal units, else as
// appFormatMegabytes.
FString appFormatSize(int64_t Bytes);
// The bytes of the megabyte that the sizes above count in, for rates ("MB/s").
double appBytesPerMegabyte();
// "1:05" for 65 seconds, "1:02:03" from an hour on, "?" when not known (negative).
FString appFormatDuration(double Seconds);
