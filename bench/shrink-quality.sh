#!/usr/bin/env bash
# The quality and the time of each kind of shrink on the full-size sample archive with its lettering
# dictionaries (make-sample-game --lettering): mean RGB PSNR of resampled single-level textures against a
# Lanczos-3 downscale, standard and smooth, the coverage of cut-outs, and the time of each mode against the
# standard shrink (shrink-bench).
#
#   bench/shrink-quality.sh [RUNS]        (default 3 timed runs of each mode)
#
# Environment: BENCH_DIR (default build-bench/), BENCH_SEED (default 1), BENCH_SIZE_MB (default: full size, 908),
# BENCH_OUT_DIR (where the shrunk archives are written, default BENCH_DIR). The release build and the sample
# archive are made once and reused. This is a benchmark, not a test: nothing here is run by `make test`.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-3}
bench_dir=${BENCH_DIR:-$repo/build-bench}
seed=${BENCH_SEED:-1}
size_mb=${BENCH_SIZE_MB:-908}

cmake -S "$repo" -B "$bench_dir/build" -DCMAKE_BUILD_TYPE=Release -DPELLMOR_TESTS=OFF >/dev/null
cmake --build "$bench_dir/build" -j2 --target shrink-bench make-sample-game >/dev/null

game=$bench_dir/game-seed$seed-${size_mb}mb-lettering
src=$game/models/gta3.img
if [[ ! -f $src ]]; then
    echo "generating the sample archive in $game"
    "$bench_dir/build/tools/make-sample-game/make-sample-game" --out "$game" --seed "$seed" --size "$size_mb" \
        --lettering --quiet
fi
out_dir=${BENCH_OUT_DIR:-$bench_dir}
mkdir -p "$out_dir"
cat "$src" >/dev/null # in the page cache before anything is timed
echo "machine: $(nproc) hardware threads, $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -n 1)"
echo "archive: $src ($(($(stat -c %s "$src") / 1048576)) MiB)"
"$bench_dir/build/bench/shrink-bench" "$src" "$(cd "$out_dir" && pwd)" "$runs"
