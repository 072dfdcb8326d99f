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

runs=${1:-3}
BENCH_TARGETS=shrink-bench
# shellcheck source=bench/lettered-sample.sh
source "$(dirname "${BASH_SOURCE[0]}")/lettered-sample.sh"
"$bench_dir/build/bench/shrink-bench" "$src" "$(cd "$out_dir" && pwd)" "$runs"
