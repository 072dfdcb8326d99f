#!/usr/bin/env bash
# The packaging check: what `make dist` wrote into dist/ is what a player downloads. Prints a PASS or FAIL line
# per check, then
#   dist: 9 passed, 0 failed
# and exits non-zero when a check failed. Needs dist/ and the release builds (DIST_DIR, DIST_LINUX_DIR,
# DIST_WIN_DIR; make dist); the Windows programs run under Wine (scripts/wine-run.sh's prefix), the dialog on a
# virtual X screen.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$repo"
DIST_DIR=${DIST_DIR:-dist}
DIST_LINUX_DIR=${DIST_LINUX_DIR:-build-dist-linux}
DIST_WIN_DIR=${DIST_WIN_DIR:-build-dist-win}

passed=0
failed=0
work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup()
{
    [[ -n $app_pid ]] && kill "$app_pid" 2>/dev/null
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A check passes when its function returns 0 and called fail nowhere: a fail before its last line counts too.
check()
{
    local name=$1
    shift
    rm -f "$work/failed"
    if "$@" >"$work/$name.log" 2>&1 && [[ ! -e $work/failed ]]; then
        echo "PASS $name"
        passed=$((passed + 1))
    else
        echo "FAIL $name"
        sed 's/^/  /' "$work/$name.log"
        failed=$((failed + 1))
    fi
}

fail() { echo "$*"; : >"$work/failed"; return 1; }

version=$(sed -n 's/^project(PellmorWin VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
zip=$DIST_DIR/PellmorWin-$version-windows-x64.zip
deb=$DIST_DIR/pellmor_${version}_amd64.deb
unzipped=$work/zip
extracted=$work/deb

# ---- The Windows zip --------------------------------------------------------------------------------------------

zip_contents()
{
    local want got
    want=$'LICENSE.txt\nPellmorWin.exe\nREADME.txt\nSkipRules.example.ini\nTHIRD-PARTY.txt\npellmor.exe'
    got=$(unzip -Z1 "$zip" | LC_ALL=C sort) || return 1
    [[ $got == "$want" ]] || fail "the zip holds: $got"
    mkdir -p "$unzipped" && unzip -q "$zip" -d "$unzipped" || return 1
    grep -q 'libsquish' "$unzipped/THIRD-PARTY.txt" || fail "THIRD-PARTY.txt names no libsquish"
    grep -q 'start PellmorWin.exe' "$unzipped/README.txt" || fail "README.txt is not the read-me for Windows"
    strings -el "$unzipped/PellmorWin.exe" | grep -qx "$version" || fail "PellmorWin.exe has no version resource $version"
}

# The text files as Notepad shows them, also the one of Windows 7 and 8: Windows line ends throughout, and a .txt
# file with more than ASCII in it marked as UTF-8 (which the notices are, with the names of their authors).
zip_texts()
{
    local file name bad=0
    for file in "$unzipped"/*.txt "$unzipped"/*.ini; do
        name=${file##*/}
        ! grep -qv $'\r$' "$file" || { echo "$name has lines without Windows line ends"; bad=1; }
        if [[ $(head -c3 "$file") == $'\xef\xbb\xbf' ]]; then
            [[ $name == *.txt ]] || { echo "$name begins with a byte-order mark"; bad=1; }
        elif LC_ALL=C grep -q '[^[:print:][:space:]]' "$file"; then
            echo "$name holds more than ASCII without UTF-8's byte-order mark"
            bad=1
        fi
    done
    LC_ALL=C grep -q '[^[:print:][:space:]]' "$unzipped/THIRD-PARTY.txt" ||
        { echo "THIRD-PARTY.txt is all ASCII: its mark went untried"; bad=1; }
    return $bad
}

zip_programs_start()
{
    local out
    out=$(scripts/wine-run.sh "$unzipped/pellmor.exe" --version | tr -d '\r') || return 1
    [[ $out == "pellmor $version" ]] || fail "pellmor.exe --version: $out"

    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    local i
    for i in $(seq 1 100); do [[ -s $work/display ]] && break; sleep 0.05; done
    export DISPLAY=:$(head -n1 "$work/display")
    scripts/wine-run.sh "$unzipped/PellmorWin.exe" >/dev/null 2>&1 &
    app_pid=$!
    for i in $(seq 1 60); do
        xdotool search --name '^PellmorWin v' >/dev/null 2>&1 && break
        kill -0 "$app_pid" 2>/dev/null || fail "PellmorWin.exe ended before it showed its window"
        sleep 0.5
    done
    xdotool search --name '^PellmorWin v' >/dev/null 2>&1 || fail "PellmorWin.exe showed no window in 30 s"
    # The release goes on from the number in the window's own caption ("PellmorWin v1.03": 1.03.1), so that
    # nothing a player sees contradicts it.
    local caption
    caption=$(xdotool getwindowname "$(xdotool search --name '^PellmorWin v' | head -n1)")
    [[ $version == "${caption#PellmorWin v}".* ]] || fail "release $version under the caption \"$caption\""
    kill "$app_pid"
    wait "$app_pid" 2>/dev/null
    app_pid=""
}

# ---- The Debian package -----------------------------------------------------------------------------------------

deb_contents()
{
    local want got
    want=$'./usr/bin/pellmor\n./usr/share/bash-completion/completions/pellmor\n./usr/share/doc/pellmor/README'
    want+=$'\n./usr/share/doc/pellmor/changelog.gz\n./usr/share/doc/pellmor/copyright'
    want+=$'\n./usr/share/man/man1/pellmor.1.gz'
    got=$(dpkg-deb -c "$deb" | awk '$1 ~ /^-/ { print $6 }' | LC_ALL=C sort) || return 1
    [[ $got == "$want" ]] || fail "the package holds: $got"
    ! dpkg-deb -c "$deb" | awk '{ print $2 }' | grep -v '^root/root$' || fail "files not owned by root"
    dpkg-deb -x "$deb" "$extracted" || return 1
    local out
    out=$("$extracted/usr/bin/pellmor" --version) || return 1
    [[ $out == "pellmor $version" ]] || fail "pellmor --version: $out"
    "$extracted/usr/bin/pellmor" --help >/dev/null || fail "pellmor --help failed"
    zcat "$extracted/usr/share/doc/pellmor/changelog.gz" | head -n1 | grep -q "^pellmor ($version) " ||
        fail "the changelog's newest entry is not $version"
    local readme=$extracted/usr/share/doc/pellmor/README
    grep -q 'pellmor status' "$readme" && grep -q 'man pellmor' "$readme" && ! grep -q 'start PellmorWin.exe' "$readme" ||
        fail "the package's README is not the read-me for Linux"
    [[ $(head -c7 "$extracted/usr/share/doc/pellmor/copyright") == Format: ]] ||
        fail "the copyright does not begin with its Format: line"
}

# The page renders without a warning, and its EXIT STATUS names the exit codes of `pellmor --help`.
manual_page()
{
    local page=$extracted/usr/share/man/man1/pellmor.1.gz warnings
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "man --warnings: $warnings"
    local help_codes page_codes
    help_codes=$("$extracted/usr/bin/pellmor" --help | sed -n '/^exit codes:/,/^$/p' | grep -o '\b[0-9]\+ [a-z]' |
        cut -d' ' -f1 | tr '\n' ' ')
    page_codes=$(zcat "$page" | sed -n '/^\.SH "EXIT STATUS"/,/^\.SH/p' | sed -n 's/^\.B \([0-9]*\)$/\1/p' | tr '\n' ' ')
    [[ -n $help_codes && $help_codes == "$page_codes" ]] ||
        fail "exit codes: pellmor --help says '$help_codes', the manual page '$page_codes'"
    # What the page says status exits with in a folder without the game is what it does.
    local said status_exit=0
    said=$(MANWIDTH=80 man -l "$page" 2>/dev/null | tr -s ' \n' ' ' |
        sed -n 's/.*Exits with \([0-9]*\) when there are no game files.*/\1/p')
    mkdir -p "$work/no-game"
    "$extracted/usr/bin/pellmor" status "$work/no-game" >/dev/null 2>&1 || status_exit=$?
    [[ -n $said && $said == "$status_exit" ]] ||
        fail "status without game files: the page says '$said', it exits $status_exit"
}

# In a non-interactive bash, as Tab does in an interactive one.
bash_completion()
{
    mkdir -p "$work/game/Models" "$work/game/data"
    touch "$work/game/Models/gta3.img" "$work/game/Models/gta_int.img" "$work/game/Models/gta3_ORIG_BAK.img"
    printf 'IMG MODELS\\GTA_INT.IMG\r\n' >"$work/game/data/gta.dat"
    bash --norc --noprofile -c '
        source "$1"
        complete -p pellmor || exit 1
        expect() {
            local want=$1; shift
            COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=()
            _pellmor
            [[ "${COMPREPLY[*]}" == "$want" ]] || { echo "$*: got \"${COMPREPLY[*]}\", not \"$want\""; exit 1; }
        }
        expect "shrink shrink-img" pellmor sh
        expect "--skip-rules" pellmor shrink --sk
        expect "--max-side" pellmor shrink --ma
        expect "1024 512 256 128" pellmor shrink --max-side ""
        expect "256" pellmor report --max-side = 2
        expect "gta3 gta_int" pellmor status "$2" --archive ""
        expect "status shrink shrink-img" pellmor help s
    ' - "$extracted/usr/share/bash-completion/completions/pellmor" "$work/game"
}

lintian_errors()
{
    local out
    out=$(lintian --tag-display-limit 0 "$deb" 2>&1)
    echo "$out"
    ! grep -q '^E:' <<<"$out"
}

# The packaging step again, from the same builds: the same bytes.
same_bytes_again()
{
    packaging/make-dist.sh "$DIST_LINUX_DIR" "$DIST_WIN_DIR" "$work/again" >/dev/null || return 1
    cmp "$DIST_DIR/SHA256SUMS" "$work/again/SHA256SUMS" || fail "$(diff "$DIST_DIR/SHA256SUMS" "$work/again/SHA256SUMS")"
}

# A user with the Debian packages builds the demo and the release files: what those targets check for holds none
# of the test suites' npm packages, which only root installs into the checkout.
user_build()
{
    local target groups
    for target in demo dist-linux dist-windows install; do
        groups=$(make -n "$target" 2>/dev/null | sed -n 's/.*need-deps\.sh \([a-z ]*\).*/\1/p' | head -n1)
        [[ -n $groups ]] || fail "make $target checks for nothing"
        ! scripts/need-deps.sh --npm $groups || fail "make $target wants the npm packages ($groups)"
    done
}

if [[ ! -f $zip || ! -f $deb ]]; then
    echo "FAIL dist: $zip or $deb is missing (make dist)"
    echo "dist: 0 passed, 1 failed"
    exit 1
fi

check zip-contents zip_contents
check zip-texts zip_texts
check zip-programs-start zip_programs_start
check deb-contents deb_contents
check manual-page manual_page
check bash-completion bash_completion
check lintian lintian_errors
check same-bytes-again same_bytes_again
check user-build user_build

echo "dist: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
