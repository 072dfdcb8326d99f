#!/usr/bin/env bash
# Times `pellmor shrink-img` of a full-size sample archive against a plain `cp` of the same file, several runs
# each, and reports the medians, their ratio and the shrink's peak memory (GNU time's maximum resident size).
#
#   bench/shrink-vs-copy.sh [RUNS]        (default 3 runs of each)
#
# Environment: BENCH_DIR (default build-bench/), BENCH_SEED (default 1), BENCH_SIZE_MB (default: full size).
# The sample archive is generated once and reused. This is a benchmark, not a test: nothing here is run by
# `make test`.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-3}
bench_dir=${BENCH_DIR:-$repo/build-bench}
build_dir=$bench_dir/build
seed=${BENCH_SEED:-1}
size_args=()
[[ -n ${BENCH_SIZE_MB:-} ]] && size_args=(--size "$BENCH_SIZE_MB")

command -v /usr/bin/time >/dev/null || { echo "GNU time is missing (make deps installs it)" >&2; exit 1; }

cmake -S "$repo" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DPELLMOR_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j2 --target pellmor make-sample-game >/dev/null
pellmor=$(find "$build_dir" -type f -name pellmor -perm -u+x | head -n 1)
generator=$(find "$build_dir" -type f -name make-sample-game -perm -u+x | head -n 1)

game=$bench_dir/game-seed$seed${BENCH_SIZE_MB:+-${BENCH_SIZE_MB}mb}
src=$game/models/gta3.img
if [[ ! -f $src ]]; then
    echo "generating the sample archive in $game"
    "$generator" --out "$game" --seed "$seed" "${size_args[@]}" --quiet
fi
copy=$bench_dir/copy.img
out=$bench_dir/shrunk.img
src_bytes=$(stat -c %s "$src")

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

copy_times=()
shrink_times=()
shrink_rss=()
for ((i = 1; i <= runs; i++)); do
    rm -f "$copy" "$out"
    sync
    t=$( { /usr/bin/time -f '%e %M' cp "$src" "$copy" ; } 2>&1 | tail -n 1 )
    copy_times+=("${t%% *}")
    rm -f "$copy"
    sync
    t=$( { /usr/bin/time -f '%e %M' "$pellmor" shrink-img "$src" "$out" ; } 2>&1 | tail -n 1 )
    shrink_times+=("${t%% *}")
    shrink_rss+=("${t##* }")
    echo "run $i: cp ${copy_times[-1]} s, shrink-img ${shrink_times[-1]} s, peak ${shrink_rss[-1]} KiB"
done

out_bytes=$(stat -c %s "$out")
copy_median=$(printf '%s\n' "${copy_times[@]}" | median)
shrink_median=$(printf '%s\n' "${shrink_times[@]}" | median)
rss_max=$(printf '%s\n' "${shrink_rss[@]}" | sort -n | tail -n 1)
rm -f "$out"

echo
echo "archive:          $src ($((src_bytes / 1048576)) MiB)"
echo "shrunk archive:   $((out_bytes / 1048576)) MiB ($(awk -v a="$out_bytes" -v b="$src_bytes" 'BEGIN { printf "%.1f", 100 * a / b }')% of the original)"
echo "cp median:        $copy_median s"
echo "shrink median:    $shrink_median s"
echo "ratio:            $(awk -v a="$shrink_median" -v b="$copy_median" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }') x the copy"
echo "shrink peak RSS:  $rss_max KiB"
