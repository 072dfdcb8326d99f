#!/usr/bin/env bash
# Runs each fuzz program of the fuzzing build (make fuzz-build) for a bounded time, and prints one line per
# target and a summary line:
#   PASS txd_entry: 104211 runs in 10 s, peak 410 MB
#   FAIL img_archive: crash; input kept in build-fuzz/fuzz-artifacts/img_archive/crash-..., log in ...
#   fuzz: 3 passed, 1 failed
# Usage: tests/fuzz/run-fuzz.sh [TARGET...]      (default: every fuzz_* program that was built)
#   FUZZ_SECONDS   time per target (default 60)
#   FUZZ_DIR       the fuzzing build (default build-fuzz)
# Each target starts from its committed seeds and regressions (tests/fuzz/corpus/<target>/,
# tests/fuzz/regressions/<target>/) and a working corpus of its own in $FUZZ_DIR/fuzz-corpus/<target>/, which
# grows from run to run. A crash, a sanitizer report, a leak, one input running over 10 s or the program going
# past 2048 MB fails the target; libFuzzer keeps the input in $FUZZ_DIR/fuzz-artifacts/<target>/. Copy it into
# tests/fuzz/regressions/<target>/ with the fix, so that the replay test keeps it.
# Exits non-zero when a target failed or none was found.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$repo"

FUZZ_SECONDS=${FUZZ_SECONDS:-60}
FUZZ_DIR=${FUZZ_DIR:-build-fuzz}
work=$(cd "$FUZZ_DIR" 2>/dev/null && pwd) || work="$repo/$FUZZ_DIR"
programs_dir="$work/tests/fuzz"

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
    for program in "$programs_dir"/fuzz_*; do
        [[ -x $program ]] && targets+=("${program##*/fuzz_}")
    done
fi
if [[ ${#targets[@]} -eq 0 ]]; then
    echo "run-fuzz: no fuzz programs in $programs_dir (make fuzz-build)"
    echo "fuzz: 0 passed, 1 failed"
    exit 1
fi

# The targets write their inputs to temporary files thousands of times a second; a memory file system keeps
# that from waiting on the disk.
if [[ -z ${TMPDIR:-} && -d /dev/shm && -w /dev/shm ]]; then
    export TMPDIR=/dev/shm
fi
# The programs set allocator_may_return_null themselves; these add the checks of the native test run.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
if [[ -z ${ASAN_SYMBOLIZER_PATH:-} ]] && command -v llvm-symbolizer-14 >/dev/null 2>&1; then
    export ASAN_SYMBOLIZER_PATH=$(command -v llvm-symbolizer-14)
fi

# What went wrong, from libFuzzer's log. failure_kind TARGET LOG
failure_kind()
{
    local target=$1 log=$2
    if grep -q "^$target: " "$log"; then echo "broken promise: $(grep -m1 "^$target: " "$log" | cut -d' ' -f2-)"
    elif grep -q 'ERROR: libFuzzer: timeout' "$log"; then echo "timeout (one input over 10 s)"
    elif grep -q 'ERROR: libFuzzer: out-of-memory' "$log"; then echo "out of memory (over 2048 MB)"
    elif grep -q 'ERROR: LeakSanitizer: detected memory leaks' "$log"; then echo "leak"
    elif grep -q 'runtime error:' "$log"; then echo "undefined behaviour"
    elif grep -q 'ERROR: AddressSanitizer' "$log"; then echo "AddressSanitizer: $(grep -m1 -o 'AddressSanitizer: [a-z-]*' "$log" | cut -d' ' -f2)"
    elif grep -q 'Assertion failed' "$log"; then echo "assertion: $(grep -m1 -o 'Assertion failed: .*' "$log")"
    elif grep -q 'ERROR: libFuzzer: deadly signal' "$log"; then echo "crash"
    else echo "stopped"
    fi
}

passed=0
failed=0
for target in "${targets[@]}"; do
    program="$programs_dir/fuzz_$target"
    corpus="$work/fuzz-corpus/$target"
    artifacts="$work/fuzz-artifacts/$target"
    log="$work/fuzz-logs/$target.log"
    mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
    if [[ ! -x $program ]]; then
        echo "FAIL $target: no program $program"
        failed=$((failed + 1))
        continue
    fi
    dirs=("$corpus")
    for kept in "$repo/tests/fuzz/corpus/$target" "$repo/tests/fuzz/regressions/$target"; do
        [[ -d $kept ]] && dirs+=("$kept")
    done

    run()
    {
        timeout --kill-after=30 $((FUZZ_SECONDS + 120)) "$program" -max_total_time="$FUZZ_SECONDS" -timeout=10 \
            -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" "${dirs[@]}" >"$log" 2>&1
    }
    run
    rc=$?
    if [[ $rc -ne 0 ]] && grep -q 'LeakSanitizer has encountered a fatal error' "$log"; then
        # LeakSanitizer cannot stop the threads where ptrace is forbidden; run again without it rather than fail.
        echo "run-fuzz: LeakSanitizer does not work here; running $target again with detect_leaks=0"
        ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0" run
        rc=$?
    fi

    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
    peak=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -n1)
    if [[ $rc -eq 0 && -n $runs ]]; then
        echo "PASS $target: $runs runs in $FUZZ_SECONDS s, peak ${peak:-?} MB"
        passed=$((passed + 1))
    else
        input=$(grep -o "Test unit written to [^ ]*" "$log" | tail -n1 | sed 's/^Test unit written to //')
        echo "FAIL $target: $(failure_kind "$target" "$log"); input ${input:-not kept}; log $log"
        grep -E '^(SUMMARY|==[0-9]+==ERROR|.*runtime error:|.*Assertion failed)' "$log" | head -n 5 | sed 's/^/    /'
        failed=$((failed + 1))
    fi
done

echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
