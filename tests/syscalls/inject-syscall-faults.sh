#!/usr/bin/env bash
# Real system calls made to fail (strace's fault injection, not the OS layer's own table): a shrink that builds, a
# shrink that reuses the kept archive and a restore, each run once for every chosen call of each kind, with EIO
# returned at the 1/9th, 2/9th, ... and last of that kind's calls in a clean run. After every run: the original
# archive's bytes are in gta3.img or gta3_ORIG_BAK.img, status recognises the state, and a clean restore brings the
# original back.
#   tests/syscalls/inject-syscall-faults.sh [PELLMOR [MAKE_SAMPLE_GAME]]   (make syscall-faults)
# Prints a line for each run that failed and one with the totals; exits non-zero when the original was lost or a
# state was not recognised.
set -uo pipefail

pellmor=${1:-build-release/cli/pellmor}
generator=${2:-build-release/tools/make-sample-game/make-sample-game}
command -v strace >/dev/null || { echo "inject-syscall-faults: needs strace (apt-get install strace)"; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
game=$work/game
"$generator" --out "$game" --entries 300 --quiet || exit 2
digest() { sha256sum "$1" 2>/dev/null | cut -c1-64; }
original=$(digest "$game/models/gta3.img")
state() { "$pellmor" status "$game" --json 2>/dev/null | sed -n 's/^  "state": "\([a-z-]*\)",$/\1/p'; }

# Brings the game to where the run starts from: original without a kept archive, original with one, shrunk.
prepare()
{
    case $1 in
        build) "$pellmor" restore "$game" >/dev/null 2>&1; rm -f "$game/models/gta3_SHRUNK_BAK.img" ;;
        reuse) "$pellmor" restore "$game" >/dev/null 2>&1
               [[ -f $game/models/gta3_SHRUNK_BAK.img ]] ||
                   { "$pellmor" shrink "$game" >/dev/null 2>&1; "$pellmor" restore "$game" >/dev/null 2>&1; } ;;
        restore) "$pellmor" shrink "$game" >/dev/null 2>&1 ;;
    esac
}
command_of() { [[ $1 == restore ]] && echo restore || echo shrink; }

runs=0 failed=0 bad=0
for mode in build reuse restore; do
    prepare "$mode"
    strace -f -c -o "$work/counts" "$pellmor" "$(command_of "$mode")" "$game" >/dev/null 2>&1
    for call in openat read write pread64 lseek rename unlink fsync close flock statfs newfstatat; do
        count=$(awk -v c="$call" '$NF == c { print $4 }' "$work/counts")
        [[ -n $count ]] || continue
        for k in 1 2 3 4 5 6 7 8 9; do echo $(((count * k + 8) / 9)); done | sort -nu >"$work/whens"
        while read -r when; do
            prepare "$mode"
            out=$(strace -f -qq -o /dev/null -e trace="$call" -e inject="$call:error=EIO:when=$when" \
                "$pellmor" "$(command_of "$mode")" "$game" 2>&1)
            rc=$?
            runs=$((runs + 1))
            now=$(state)
            if [[ $(digest "$game/models/gta3.img") != "$original" &&
                  $(digest "$game/models/gta3_ORIG_BAK.img") != "$original" ]]; then
                echo "LOST: the original after $mode, $call #$when"
                bad=1
            fi
            case $now in
                original | shrunk | interrupted) ;;
                *) echo "NOT RECOGNISED: state '$now' after $mode, $call #$when"; bad=1 ;;
            esac
            # 127: the program did not start (the loader's own call failed).
            if [[ $rc -ne 0 && $rc -ne 127 ]]; then
                failed=$((failed + 1))
                echo "$mode, $call #$when of $count: exit $rc, $now: $(grep '^pellmor:' <<<"$out" | head -1)"
            fi
            "$pellmor" restore "$game" >/dev/null 2>&1 && [[ $(digest "$game/models/gta3.img") == "$original" ]] ||
                { echo "NOT REPAIRED: a clean restore after $mode, $call #$when"; bad=1; }
        done <"$work/whens"
    done
done
echo "syscall faults: $runs runs, $failed failed as they should have, original kept in every one: $([[ $bad -eq 0 ]] && echo yes || echo NO)"
exit $bad
