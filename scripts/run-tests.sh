#!/usr/bin/env bash
# Runs the test suites that were built and prints one line per suite and a total:
#   native: 120 passed, 0 failed
#   windows: 120 passed, 0 failed
#   gui: 6 passed, 0 failed
#   preview: 7 passed, 0 failed
#   fuzz: 4 passed, 0 failed
#   dist: 7 passed, 0 failed
#   257 passed, 0 failed
# Usage: scripts/run-tests.sh [--native ok|failed] [--windows ok|failed] [--gui ok|failed] [--fuzz ok|failed]
#                             [--dist ok|failed] [--preview ok|failed]
# ("failed" means that suite did not build; it counts as one failure. The gui suite is PellmorWin.exe in real
# windows under Wine and Xvfb, tests/gui/run-gui-tests.sh, on the Windows build. The fuzz suite runs each fuzz
# target of the fuzzing build for FUZZ_SECONDS (default 10) with tests/fuzz/run-fuzz.sh; a target passes when
# nothing went wrong in that time. The preview suite opens pellmor preview's page of a sample archive in Debian's
# chromium, tests/preview/run-preview-test.sh, on the native build. The dist suite checks the release packages of make dist in DIST_DIR,
# tests/packaging/check-dist.sh.)
# Exits non-zero when anything failed.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

BUILD_DIR=${BUILD_DIR:-build}
WIN_BUILD_DIR=${WIN_BUILD_DIR:-build-win}
FUZZ_DIR=${FUZZ_DIR:-build-fuzz}
DIST_LINUX_DIR=${DIST_LINUX_DIR:-build-dist-linux}
# The GUI, fuzz and dist scripts find their builds through these.
export WIN_BUILD_DIR FUZZ_DIR DIST_LINUX_DIR
# A suite that hangs must not eat the whole CI budget.
SUITE_TIMEOUT=${PELLMOR_SUITE_TIMEOUT:-1800}

native_state=""
windows_state=""
gui_state=""
fuzz_state=""
dist_state=""
preview_state=""
while [[ $# -gt 0 ]]; do
    case "$1" in
        --native) native_state=$2; shift 2 ;;
        --windows) windows_state=$2; shift 2 ;;
        --gui) gui_state=$2; shift 2 ;;
        --fuzz) fuzz_state=$2; shift 2 ;;
        --dist) dist_state=$2; shift 2 ;;
        --preview) preview_state=$2; shift 2 ;;
        *) echo "usage: $0 [--native ok|failed] [--windows ok|failed] [--gui ok|failed] [--fuzz ok|failed]" \
                "[--dist ok|failed] [--preview ok|failed]" >&2
           exit 2 ;;
    esac
done

total_passed=0
total_failed=0
total_skipped=0
summary=()

# Counts from gtest's XML report: "passed failed skipped". A test case element
# with a <failure> child failed; status="notrun" is a disabled test.
count_xml()
{
    awk '
        function finish() { if (open) { if (notrun || skipped) s++; else if (failed) f++; else p++ } open = 0 }
        /^[ \t]*<testcase / {
            finish(); open = 1; failed = 0
            notrun = ($0 ~ / status="notrun"/); skipped = ($0 ~ / result="skipped"/)
            if ($0 ~ /\/>[ \t]*$/) finish()
            next
        }
        open && /^[ \t]*<failure / { failed = 1 }
        /^[ \t]*<\/testcase>/ { finish() }
        END { finish(); printf "%d %d %d\n", p, f, s }' "$1"
}

# Counts from gtest's console output, for a run that died before writing its
# report: finished tests only; the one that was running is added by the caller.
count_log()
{
    awk '
        /^\[       OK \] / { p++ }
        /^\[  FAILED  \] .*\([0-9]+ ms\)$/ { f++ }
        END { printf "%d %d 0\n", p, f }' "$1"
}

# run_suite NAME WORKDIR PROGRAM [RUNNER...]
# WORKDIR is where the program runs and where the report is written (a relative
# path, so that Windows programs under Wine write it there too).
run_suite()
{
    local name=$1 dir=$2 program=$3
    shift 3
    local report="$name-results.xml" log="$dir/$name-output.log"
    rm -f "$dir/$report"

    echo "==== $name suite ===="
    (cd "$dir" && timeout --kill-after=30 "$SUITE_TIMEOUT" "$@" "$program" --gtest_output="xml:$report") 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}

    if [[ $name == native ]] && grep -q 'LeakSanitizer has encountered a fatal error' "$log"; then
        # LeakSanitizer cannot stop the threads where ptrace is forbidden (some
        # sandboxes, or under a debugger); rerun without it rather than fail.
        echo "run-tests: LeakSanitizer does not work here; running again with detect_leaks=0"
        (cd "$dir" && ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0" \
            timeout --kill-after=30 "$SUITE_TIMEOUT" "$@" "$program" --gtest_output="xml:$report") 2>&1 | tee "$log"
        rc=${PIPESTATUS[0]}
    fi

    local passed failed skipped note=""
    if [[ -s "$dir/$report" ]] && grep -q '</testsuites>' "$dir/$report"; then
        read -r passed failed skipped < <(count_xml "$dir/$report")
        if [[ $rc -ne 0 && $failed -eq 0 ]]; then
            # Every test passed but the program still failed (a leak report at
            # exit, a crash in a static destructor, ...).
            failed=1
            note=" (the program failed after the tests, exit code $rc)"
        fi
    else
        read -r passed failed skipped < <(count_log "$log")
        failed=$((failed + 1))
        if [[ $rc -eq 124 || $rc -eq 137 ]]; then
            note=" (timed out after ${SUITE_TIMEOUT}s)"
        else
            note=" (stopped with exit code $rc before finishing)"
        fi
    fi

    local line="$name: $passed passed, $failed failed"
    [[ $skipped -gt 0 ]] && line+=", $skipped skipped"
    summary+=("$line$note")
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
}

not_built()
{
    summary+=("$1: not built")
    total_failed=$((total_failed + 1))
}

case "$native_state" in
    "") ;;
    ok)
        export ASAN_OPTIONS="${ASAN_OPTIONS:-halt_on_error=1:abort_on_error=0:detect_leaks=1:strict_string_checks=1:check_initialization_order=1:detect_stack_use_after_return=1}"
        export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
        if [[ -x "$BUILD_DIR/tests/pellmor_tests" ]]; then
            run_suite native "$BUILD_DIR/tests" ./pellmor_tests
        else
            not_built native
        fi
        ;;
    *) not_built native ;;
esac

case "$windows_state" in
    "") ;;
    ok)
        if [[ -f "$WIN_BUILD_DIR/tests/pellmor_tests.exe" ]]; then
            run_suite windows "$WIN_BUILD_DIR/tests" ./pellmor_tests.exe "$repo/scripts/wine-run.sh"
        else
            not_built windows
        fi
        ;;
    *) not_built windows ;;
esac

# The GUI and fuzz suites are scripts that print their own "NAME: N passed, M failed" line last, and a PASS or
# FAIL line per test. run_script_suite NAME LOG SCRIPT...
run_script_suite()
{
    local name=$1 log=$2
    shift 2
    mkdir -p "$(dirname "$log")"
    timeout --kill-after=30 "$SUITE_TIMEOUT" "$@" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local line passed failed skipped=0 note=""
    line=$(grep -E "^$name: [0-9]+ passed, [0-9]+ failed" "$log" | tail -n1)
    if [[ -n $line ]]; then
        read -r passed failed < <(sed -E "s/^$name: ([0-9]+) passed, ([0-9]+) failed.*/\\1 \\2/" <<<"$line")
        [[ $line =~ ([0-9]+)\ skipped ]] && skipped=${BASH_REMATCH[1]}
        if [[ $rc -ne 0 && $failed -eq 0 ]]; then
            failed=1
            note=" (the suite failed after its tests, exit code $rc)"
        fi
    else
        passed=$(grep -c '^PASS ' "$log")
        failed=$(($(grep -c '^FAIL ' "$log") + 1))
        if [[ $rc -eq 124 || $rc -eq 137 ]]; then
            note=" (timed out after ${SUITE_TIMEOUT}s)"
        else
            note=" (stopped with exit code $rc before finishing)"
        fi
    fi
    line="$name: $passed passed, $failed failed"
    [[ $skipped -gt 0 ]] && line+=", $skipped skipped"
    summary+=("$line$note")
    total_passed=$((total_passed + passed))
    total_failed=$((total_failed + failed))
    total_skipped=$((total_skipped + skipped))
}

case "$gui_state" in
    "") ;;
    ok) run_script_suite gui "$WIN_BUILD_DIR/gui-output.log" tests/gui/run-gui-tests.sh ;;
    *) not_built gui ;;
esac

case "$preview_state" in
    "") ;;
    ok)
        echo "==== preview suite ===="
        run_script_suite preview "$BUILD_DIR/preview-output.log" tests/preview/run-preview-test.sh
        ;;
    *) not_built preview ;;
esac

case "$fuzz_state" in
    "") ;;
    ok)
        echo "==== fuzz suite ===="
        export FUZZ_SECONDS=${FUZZ_SECONDS:-10}
        run_script_suite fuzz "$FUZZ_DIR/fuzz-output.log" tests/fuzz/run-fuzz.sh
        ;;
    *) not_built fuzz ;;
esac

case "$dist_state" in
    "") ;;
    ok)
        echo "==== dist suite ===="
        run_script_suite dist "$DIST_LINUX_DIR/dist-output.log" tests/packaging/check-dist.sh
        ;;
    *) not_built dist ;;
esac

echo
echo "==== summary ===="
for line in "${summary[@]}"; do
    echo "$line"
done
total_line="$total_passed passed, $total_failed failed"
[[ $total_skipped -gt 0 ]] && total_line+=", $total_skipped skipped"
echo "$total_line"

[[ $total_failed -eq 0 ]]
