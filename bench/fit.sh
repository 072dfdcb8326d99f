#!/usr/bin/env bash
# The fit mode on the full-size sample archive with its lettering dictionaries: the time and peak memory of
# `shrink-img --fit` at the size the standard shrink reaches against the standard shrink itself (medians of RUNS
# alternating runs, the default threads), what each loses close up (report's pooled PSNR over all textures), and
# the curve of the archive's size against the loss: fit at shares of today's size from no change down to where
# the rules stop, beside the standard shrink and each largest side.
#
#   bench/fit.sh [RUNS]        (default 3 timed runs of each)
#
# Environment: BENCH_DIR (default build-bench/), BENCH_SEED (default 1), BENCH_SIZE_MB (default: full size, 908),
# BENCH_OUT_DIR (where the shrunk archives are written, default BENCH_DIR). The release build and the sample
# archive are made once and reused. This is a benchmark, not a test: nothing here is run by `make test`.
set -euo pipefail

runs=${1:-3}
BENCH_TARGETS=pellmor
# shellcheck source=bench/lettered-sample.sh
source "$(dirname "${BASH_SOURCE[0]}")/lettered-sample.sh"
pellmor=$bench_dir/build/cli/pellmor
out=$out_dir/fit-bench.img

# A report's numbers: estimated bytes and pooled PSNR over all textures.
report() { "$pellmor" report "$src" --json "$@" | python3 -c '
import json, sys
d = json.load(sys.stdin)
psnr = d["loss"]["psnr"]
print(d["estimatedBytes"], "inf" if psnr is None else "%.2f" % psnr)'; }

read -r standard_bytes standard_psnr < <(report)
fit_size=${standard_bytes}B

# Seconds and peak resident KiB of one run.
timed() { /usr/bin/time -f "%e %M" "$pellmor" shrink-img "$src" "$out" "$@" 2>&1 >/dev/null | tail -n 1; }
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
: >"$out_dir/fit-standard.times"
: >"$out_dir/fit-fit.times"
for ((i = 0; i < runs; i++)); do
    timed >>"$out_dir/fit-standard.times"
    timed --fit "$fit_size" >>"$out_dir/fit-fit.times"
done
standard_time=$(cut -d' ' -f1 "$out_dir/fit-standard.times" | median)
fit_time=$(cut -d' ' -f1 "$out_dir/fit-fit.times" | median)
standard_kib=$(cut -d' ' -f2 "$out_dir/fit-standard.times" | sort -n | tail -n 1)
fit_kib=$(cut -d' ' -f2 "$out_dir/fit-fit.times" | sort -n | tail -n 1)
read -r fit_bytes fit_psnr < <(report --fit "$fit_size")
rm -f "$out"

echo
printf '%-34s %10s %10s %12s %10s\n' "" "time" "peak" "size" "PSNR"
printf '%-34s %9ss %7d MiB %12d %7s dB\n' "standard shrink" "$standard_time" $((standard_kib / 1024)) \
    "$standard_bytes" "$standard_psnr"
printf '%-34s %9ss %7d MiB %12d %7s dB\n' "--fit at the standard's size" "$fit_time" $((fit_kib / 1024)) \
    "$fit_bytes" "$fit_psnr"
python3 -c "
s, f = float('$standard_psnr'), float('$fit_psnr')
print('time: %.2fx the standard shrink; squared error: %.0f%% of the standard shrink\'s (%+.1f dB)' %
      (float('$fit_time') / float('$standard_time'), 100 * 10 ** ((s - f) / 10), f - s))"

echo
echo "size against loss (pooled PSNR over all textures):"
printf '  %-28s %12s %8s\n' "choice" "size" "PSNR"
for percent in 95 90 80 70 60 50 45 40 35 30 25 20; do
    read -r bytes psnr < <(report --fit "$percent%")
    printf '  %-28s %12d %5s dB\n' "fit in $percent%" "$bytes" "$psnr"
done
printf '  %-28s %12d %5s dB\n' "the standard shrink" "$standard_bytes" "$standard_psnr"
for side in 1024 512 256 128 64; do
    read -r bytes psnr < <(report --max-side "$side")
    printf '  %-28s %12d %5s dB\n' "at most $side pixels" "$bytes" "$psnr"
done
