#!/usr/bin/env bash
# Runs a Windows program under Wine and returns its exit code.
#   scripts/wine-run.sh PROGRAM.exe [ARGS...]
# The prefix lives in build-win/wineprefix unless WINEPREFIX is set; it is made
# on first use. No X display is needed for console programs.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

if [[ $# -lt 1 ]]; then
    echo "usage: $0 PROGRAM.exe [ARGS...]" >&2
    exit 2
fi

export WINEPREFIX="${WINEPREFIX:-$repo/build-win/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko install prompts, no desktop menu entries for what we run.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"

mkdir -p "$(dirname "$WINEPREFIX")"

# Several runs may start at once (make -j, ctest -j): one makes the prefix, the
# others wait for it.
exec 9>"$WINEPREFIX.lock"
flock 9
if [[ ! -f "$WINEPREFIX/.pellmor-ready" ]]; then
    echo "wine-run: creating Wine prefix $WINEPREFIX" >&2
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    if ! wineboot -i >/dev/null 2>&1; then
        echo "wine-run: wineboot failed" >&2
        exit 125
    fi
    # Wine starts winedbg on an unhandled exception, and after winedbg the exit
    # code is not the exception code (it is 0 once any other thread has run), so a
    # crashed test program would look like a clean one. A debugger that cannot be
    # started leaves Wine's own "wine: Unhandled ..." line and the real exit code.
    # For a backtrace, delete the value again:
    #   wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /t REG_SZ /d 'no-debugger.exe' /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.pellmor-ready"
fi
flock -u 9
exec 9>&-

program=$1
shift
exec wine "$program" "$@"
