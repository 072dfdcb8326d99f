# Sourced by the benchmarks on the full-size sample archive with its lettering dictionaries: builds the release
# targets named in BENCH_TARGETS, makes the sample once, warms the page cache and says what is measured. Sets
# repo, bench_dir, src and out_dir. Environment: BENCH_DIR (default build-bench/), BENCH_SEED (default 1),
# BENCH_SIZE_MB (default: full size, 908), BENCH_OUT_DIR (where the shrunk archives are written, default BENCH_DIR).
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bench_dir=${BENCH_DIR:-$repo/build-bench}
seed=${BENCH_SEED:-1}
size_mb=${BENCH_SIZE_MB:-908}

cmake -S "$repo" -B "$bench_dir/build" -DCMAKE_BUILD_TYPE=Release -DPELLMOR_TESTS=OFF >/dev/null
# shellcheck disable=SC2086 # the targets are words
cmake --build "$bench_dir/build" -j2 --target $BENCH_TARGETS make-sample-game >/dev/null

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
