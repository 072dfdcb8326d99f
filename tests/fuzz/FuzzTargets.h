// The bodies of the fuzz targets. Each takes arbitrary bytes through one reader of untrusted input the way the
// shrink takes them, and checks the promises that reader makes about its result. The libFuzzer programs
// (tests/fuzz/main) and the replay test both call these, so a kept input is replayed exactly as it was found.
#pragma once

#include <cstddef>
#include <cstdint>

// Each body returns null when every promise held, else a short description of the one that broke; a crash, a
// sanitizer report or an assertion is the other way for a body to fail. One thread at a time: the bodies share
// one temporary folder of the process (made on first use, removed at exit) and the Core's services.
//
// txd_entry:   the bytes are one texture dictionary entry, processed with the real re-encoding policy.
// img_archive: the bytes are an archive file, shrunk into a destination and once more as a dry run.
// config_file: the bytes are an INI file, read by the config cache, queried, changed and written back.
// skip_rules:  the bytes up to the last zero are a rules file, read as a shrink reads it and checked as the user
//              is told about it; the bytes after it are names (one a line) matched against the rules.
typedef const char* (*FFuzzTargetFunc)(const uint8_t* Data, size_t Size);

struct FFuzzTarget
{
    const char* Name; // also the name of its corpus and regression folders
    FFuzzTargetFunc Run;
};

// Every target, in a fixed order, and their number.
extern const FFuzzTarget GFuzzTargets[];
extern const int32_t GNumFuzzTargets;
// The target of that name, or null.
const FFuzzTarget* FindFuzzTarget(const char* Name);
