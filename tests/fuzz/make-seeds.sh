#!/usr/bin/env bash
# Makes the binary seeds in tests/fuzz/corpus/txd_entry/ and img_archive/ again, with the native build's
# make-fuzz-seeds (built here in $BUILD_DIR, default build/, which `make native` configures). The seeds are
# committed; run this after changing tests/fuzz/seeds/MakeFuzzSeeds.cpp or the builders in tests/support. The
# text seeds of the other targets are kept by hand and left as they are.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${BUILD_DIR:-build}
cd "$repo"

if [[ ! -f "$build/CMakeCache.txt" ]]; then
    echo "make-seeds: $build is not configured; run make native first" >&2
    exit 1
fi
cmake --build "$build" -j "${JOBS:-2}" --target make-fuzz-seeds
rm -rf tests/fuzz/corpus/txd_entry tests/fuzz/corpus/img_archive
"$build/tests/fuzz/make-fuzz-seeds" tests/fuzz/corpus
ls -l tests/fuzz/corpus/txd_entry tests/fuzz/corpus/img_archive
