#!/usr/bin/env bash
# Times `pellmor shrink-img` of a full-size sample archive against a plain `cp` of the same file and against the
# command as it was at an earlier commit, in alternating runs, and reports medians, ratios and peak memory.
#
#   bench/shrink-vs-copy.sh [RUNS]        (default 5 runs of each)
#
# Each round runs, one after the other: cp; the baseline's shrink-img; this tree's shrink-img --jobs 1; this
# tree's shrink-img with its default (as many jobs as the machine runs at once). Every shrunk archive must equal
# the baseline's byte for byte, or the script stops.
#
# Environment: BASELINE (a commit, default fd3642d), BENCH_DIR (default build-bench/), BENCH_SEED (default 1),
# BENCH_SIZE_MB (default: full size, 908), BENCH_OUT_DIR (where the copies and shrunk archives are written,
# default BENCH_DIR; a tmpfs such as /dev/shm takes the disk's write-back out of the figures). The baseline is unpacked with `git archive` and built with the same
# release flags as this tree; it links Debian's libsquish, so it needs libsquish-dev. The sample archive and both
# builds are made once and reused. This is a benchmark, not a test: nothing here is run by `make test`.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-5}
bench_dir=${BENCH_DIR:-$repo/build-bench}
baseline=${BASELINE:-fd3642d}
seed=${BENCH_SEED:-1}
size_mb=${BENCH_SIZE_MB:-908}

command -v /usr/bin/time >/dev/null || { echo "GNU time is missing (make deps installs it)" >&2; exit 1; }

build() # SOURCE_DIR BUILD_DIR TARGETS...
{
    local src=$1 dir=$2
    shift 2
    cmake -S "$src" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DPELLMOR_TESTS=OFF >/dev/null
    cmake --build "$dir" -j2 --target "$@" >/dev/null
}

# This tree.
build "$repo" "$bench_dir/build" pellmor make-sample-game
pellmor=$bench_dir/build/cli/pellmor
generator=$bench_dir/build/tools/make-sample-game/make-sample-game

# The baseline, from the repository's history.
base_commit=$(git -C "$repo" rev-parse --short "$baseline^{commit}")
base_src=$bench_dir/baseline-$base_commit/src
if [[ ! -f $base_src/CMakeLists.txt ]]; then
    if ! dpkg -s libsquish-dev >/dev/null 2>&1; then
        echo "the baseline $base_commit links Debian's libsquish: apt-get install libsquish-dev" >&2
        exit 1
    fi
    rm -rf "$base_src"
    mkdir -p "$base_src"
    git -C "$repo" archive "$base_commit" | tar -x -C "$base_src"
fi
build "$base_src" "$bench_dir/baseline-$base_commit/build" pellmor
base_pellmor=$bench_dir/baseline-$base_commit/build/cli/pellmor

game=$bench_dir/game-seed$seed-${size_mb}mb
src=$game/models/gta3.img
if [[ ! -f $src ]]; then
    echo "generating the sample archive in $game"
    "$generator" --out "$game" --seed "$seed" --size "$size_mb" --quiet
fi
out_dir=${BENCH_OUT_DIR:-$bench_dir}
mkdir -p "$out_dir"
out=$out_dir/out.img
reference=$out_dir/reference.img
src_bytes=$(stat -c %s "$src")

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
last() { awk '{ print $NF }' <<<"$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }

names=(cp baseline jobs1 default)
declare -A times rss
# NAME COMMAND...: one timed run; the time and peak resident size are kept under NAME.
measure()
{
    local name=$1 t
    shift
    rm -f "$out"
    sync
    t=$( { /usr/bin/time -f '%e %M' "$@" >/dev/null; } 2>&1 | tail -n 1 )
    times[$name]+="${t%% *} "
    rss[$name]+="${t##* } "
    if [[ $name != cp ]]; then
        [[ -f $reference ]] || cp "$out" "$reference"
        cmp -s "$out" "$reference" || { echo "$name wrote another archive than the baseline" >&2; exit 1; }
    fi
}

# The source in the page cache, and the baseline's archive as the reference, before anything is timed.
rm -f "$reference"
cat "$src" >/dev/null
"$base_pellmor" shrink-img "$src" "$reference" >/dev/null
for ((i = 1; i <= runs; i++)); do
    measure cp cp "$src" "$out"
    measure baseline "$base_pellmor" shrink-img "$src" "$out"
    measure jobs1 "$pellmor" shrink-img "$src" "$out" --jobs 1
    measure default "$pellmor" shrink-img "$src" "$out"
    echo "run $i: cp $(last "${times[cp]}") s, baseline $(last "${times[baseline]}") s," \
         "--jobs 1 $(last "${times[jobs1]}") s, default $(last "${times[default]}") s"
done
out_bytes=$(stat -c %s "$reference")
rm -f "$out" "$reference"

declare -A med peak
for n in "${names[@]}"; do
    med[$n]=$(printf '%s\n' ${times[$n]} | median)
    peak[$n]=$(printf '%s\n' ${rss[$n]} | sort -n | tail -n 1)
done

echo
echo "machine:          $(nproc) hardware threads, $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -n 1), $(uname -sr)"
echo "archive:          $src ($((src_bytes / 1048576)) MiB) -> $((out_bytes / 1048576)) MiB, written to $out_dir"
echo "baseline:         $base_commit"
echo "medians of $runs:    cp ${med[cp]} s, baseline ${med[baseline]} s, --jobs 1 ${med[jobs1]} s, default ${med[default]} s"
echo "speed-up:         default $(ratio "${med[baseline]}" "${med[default]}")x the baseline, --jobs 1 $(ratio "${med[baseline]}" "${med[jobs1]}")x"
echo "scaling:          default $(ratio "${med[jobs1]}" "${med[default]}")x --jobs 1"
echo "against cp:       baseline $(ratio "${med[baseline]}" "${med[cp]}")x, --jobs 1 $(ratio "${med[jobs1]}" "${med[cp]}")x, default $(ratio "${med[default]}" "${med[cp]}")x"
echo "peak memory:      baseline ${peak[baseline]} KiB, --jobs 1 ${peak[jobs1]} KiB, default ${peak[default]} KiB"
