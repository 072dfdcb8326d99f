#!/usr/bin/env bash
# Makes the seed corpus in tests/fuzz/corpus/<target>/ again, with the native build's make-fuzz-seeds (built here
# in $BUILD_DIR, default build/, which `make native` configures). The seeds are committed; run this after
# changing tests/fuzz/seeds/MakeFuzzSeeds.cpp or the builders in tests/support.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${BUILD_DIR:-build}
cd "$repo"

if [[ ! -f "$build/CMakeCache.txt" ]]; then
    echo "make-seeds: $build is not configured; run make native first" >&2
    exit 1
fi
cmake --build "$build" -j "${JOBS:-2}" --target make-fuzz-seeds
rm -rf tests/fuzz/corpus
"$build/tests/fuzz/make-fuzz-seeds" tests/fuzz/corpus
ls -l tests/fuzz/corpus/*
