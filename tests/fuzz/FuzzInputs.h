// The fuzz targets' kept inputs (tests/fuzz/corpus/<target>/ and tests/fuzz/regressions/<target>/), embedded in
// the test program at build time so that it needs no source tree when it runs, under Wine too.
#pragma once

#include <cstddef>
#include <cstdint>

struct FFuzzInput
{
    const char* Target; // the folder below corpus/ or regressions/
    const char* Path;   // relative to tests/fuzz, for messages
    const uint8_t* Data;
    size_t Size;
};

// Every kept input, ordered by path. Built by tests/fuzz/CMakeLists.txt.
extern const FFuzzInput GFuzzInputs[];
extern const int32_t GNumFuzzInputs;
