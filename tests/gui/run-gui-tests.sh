#!/usr/bin/env bash
# The GUI tests: PellmorWin.exe in real windows under Wine, on a virtual X screen (Xvfb), driven with xdotool.
#   tests/gui/run-gui-tests.sh
# Needs the Windows build (WIN_BUILD_DIR, default build-win): app/PellmorWin.exe, tests/gui-probe.exe (which
# reads the windows' texts and places) and tools/make-sample-game/make-sample-game.exe. Works in
# WIN_BUILD_DIR/gui-tests, keeps its own Wine prefix (WIN_BUILD_DIR/wineprefix-gui, made on first use) and
# writes screenshots to WIN_BUILD_DIR/screens (those of the display scaled to 150% end in -150). Prints one line
# per test, then
#   gui: 9 passed, 0 failed           (", 1 skipped" when a test could not be done here)
# and exits non-zero when a test failed. PELLMOR_GUI_TESTS="cancel scaled-150" runs only the tests named.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cd "$repo"

WIN_BUILD_DIR=${WIN_BUILD_DIR:-build-win}
win_dir=$(cd "$WIN_BUILD_DIR" 2>/dev/null && pwd) || { echo "gui: 0 passed, 1 failed (no $WIN_BUILD_DIR)"; exit 1; }
exe=$win_dir/app/PellmorWin.exe
probe_exe=$win_dir/tests/gui-probe.exe
generator=$win_dir/tools/make-sample-game/make-sample-game.exe
work=$win_dir/gui-tests
# The release the build was made as, which the About box names.
release=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win_dir/CMakeCache.txt")
screens=$win_dir/screens

export WINEPREFIX=${PELLMOR_GUI_WINEPREFIX:-$win_dir/wineprefix-gui}
export WINEDEBUG=-all
wine_run=$repo/scripts/wine-run.sh

passed=0
failed=0
skipped=0
app_pid=""
first_pid=""
hold_pid=""
throttle_pid=""
xvfb_pid=""

for f in "$exe" "$probe_exe" "$generator"; do
    if [[ ! -f $f ]]; then
        echo "run-gui-tests: $f is missing (make windows)"
        echo "gui: 0 passed, 1 failed"
        exit 1
    fi
done

log() { echo "  $*"; }

# ---- Display, prefix and the program --------------------------------------------------------------------------

cleanup()
{
    throttle_stop
    if [[ -n $app_pid ]] && kill -0 "$app_pid" 2>/dev/null; then kill "$app_pid" 2>/dev/null; fi
    if [[ -n $first_pid ]] && kill -0 "$first_pid" 2>/dev/null; then kill "$first_pid" 2>/dev/null; fi
    if [[ -n $hold_pid ]] && kill -0 "$hold_pid" 2>/dev/null; then kill "$hold_pid" 2>/dev/null; fi
    # Ends what is left of this prefix's Windows processes (all of them ours).
    wineserver -k 2>/dev/null
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
    [[ -d $work/games/small/models ]] && allow_writes "$work/games/small/models"
}
trap cleanup EXIT

start_xvfb()
{
    rm -f "$work/xvfb-display"
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/xvfb-display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 100); do
        [[ -s $work/xvfb-display ]] && break
        sleep 0.05
    done
    [[ -s $work/xvfb-display ]] || { echo "run-gui-tests: Xvfb did not start"; return 1; }
    export DISPLAY=:$(head -n1 "$work/xvfb-display")
}

# The shared prefix set-up of wine-run.sh, then what windows need: Wine draws the frames and captions itself
# (there is no window manager on the virtual screen), and finds its own fonts (Tahoma for "MS Shell Dlg",
# Marlett for the caption buttons), which Debian's wine leaves outside the prefix.
prepare_prefix()
{
    "$wine_run" cmd /c exit >/dev/null 2>&1
    if [[ ! -f $WINEPREFIX/.pellmor-gui-ready ]]; then
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
        local fonts=$WINEPREFIX/drive_c/windows/Fonts
        mkdir -p "$fonts"
        for font in tahoma.ttf tahomabd.ttf marlett.ttf; do
            [[ -f /usr/share/wine/fonts/$font ]] && cp /usr/share/wine/fonts/$font "$fonts/"
        done
        wineserver -w
        touch "$WINEPREFIX/.pellmor-gui-ready"
    fi
    # A run that was stopped in the scaled test leaves the scale behind.
    set_dpi 96
}

# A unix folder as Wine's Windows programs name it.
winpath() { local p; p=$(cd "$1" && pwd); echo "Z:${p//\//\\}"; }

set_game_dir()
{
    wine reg add 'HKLM\SOFTWARE\Quorrin: San Andreas' /v 'GTA:SA Path' /t REG_SZ /d "$(winpath "$1")" /f >/dev/null 2>&1
}

# The display's scale: 96 pixels per inch is 100%, 144 is 150%. Wine reads it when its server starts, so the
# change counts from the next program on, once the prefix's server has ended (as it does between tests).
set_dpi()
{
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    wineserver -w
}

start_app()
{
    "$wine_run" "$exe" "$@" >"$work/app.log" 2>&1 &
    app_pid=$!
}

# Waits (at most $1 seconds) for the program to end; its exit code in $app_rc.
wait_app_exit()
{
    local deadline=$((SECONDS + $1))
    while kill -0 "$app_pid" 2>/dev/null; do
        ((SECONDS >= deadline)) && { app_rc=124; return 1; }
        sleep 0.1
    done
    wait "$app_pid"
    app_rc=$?
    app_pid=""
    return 0
}

# Holds $1 open for at most $2 seconds as the running game does (see gui-probe.exe --hold), from when it
# says so.
hold_file()
{
    local attempt
    # A holder that ends before it says anything did not start (Wine's server was going away); it is tried again.
    for attempt in 1 2 3; do
        "$wine_run" "$probe_exe" --hold "$(winpath "$(dirname "$1")")\\$(basename "$1")" "$2" >"$work/hold.log" 2>&1 &
        hold_pid=$!
        local deadline=$((SECONDS + 15))
        while ! grep -q holding "$work/hold.log" 2>/dev/null; do
            ((SECONDS < deadline)) || { log "could not hold $1 within 15 s"; return 1; }
            kill -0 "$hold_pid" 2>/dev/null || break
            sleep 0.1
        done
        grep -q holding "$work/hold.log" 2>/dev/null && return 0
        wait "$hold_pid" 2>/dev/null
        log "the holder of $1 ended with $? ($(cat "$work/hold.log" 2>/dev/null)); attempt $attempt"
        sleep 0.5
    done
    hold_pid=""
    return 1
}

# A modest game shrinks in well under a second under Wine, too fast to press Cancel in a window whose request
# reaches the engine only on the dialog's next one-second tick. While a test needs the shrink to last, the
# program is let run 5 ms in every 100 ms (SIGSTOP and SIGCONT; its shrink runs on every core meanwhile); its
# timer, tied to the clock, still ticks once a second.
throttle_start()
{
    local pid=$app_pid
    (
        trap 'kill -CONT '"$pid"' 2>/dev/null; exit 0' TERM
        while kill -0 "$pid" 2>/dev/null; do
            kill -STOP "$pid" 2>/dev/null
            sleep 0.095
            kill -CONT "$pid" 2>/dev/null
            sleep 0.005
        done
    ) &
    throttle_pid=$!
}

throttle_stop()
{
    if [[ -n $throttle_pid ]]; then
        kill "$throttle_pid" 2>/dev/null
        wait "$throttle_pid" 2>/dev/null
        throttle_pid=""
    fi
    [[ -n $app_pid ]] && kill -CONT "$app_pid" 2>/dev/null
    return 0
}

# ---- What is on the screen ----------------------------------------------------------------------------------------

# gui-probe's lines for the windows captioned $1.
probe() { wine "$probe_exe" "$1" 2>/dev/null | tr -d '\r'; }

# Waits (at most $3 seconds) until a window captioned $1 shows the text $2 (fixed string, "" for any).
wait_for()
{
    local deadline=$((SECONDS + $3))
    while ((SECONDS < deadline)); do
        if probe "$1" >"$work/probe.txt" && grep -qF -- "$2" "$work/probe.txt"; then
            return 0
        fi
        sleep 0.1
    done
    log "no window \"$1\" showing \"$2\"; last seen:"
    sed 's/^/    /' "$work/probe.txt" >&2
    return 1
}

# The field $2 (4: enabled, 5: visible, 6: place, 7: text) of control $1 in the last probe.
control_field() { awk -F'\t' -v id="$1" -v f="$2" '$1 == "control" && $2 == id { print $f; exit }' "$work/probe.txt"; }

# Clicks the middle of control $2 of the window captioned $1.
click()
{
    probe "$1" >"$work/probe.txt" || return 1
    local l t r b
    read -r l t r b <<<"$(control_field "$2" 6)"
    [[ -n ${b:-} ]] || { log "window \"$1\" has no control $2"; return 1; }
    xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1
}

# The window captioned $2 as $screens/$1.png.
shoot()
{
    probe "$2" >"$work/shot-probe.txt" || { log "no window \"$2\" to photograph"; return 1; }
    shoot_seen "$1" "$work/shot-probe.txt"
}

# The window of a probe's output ($2, default: the last wait_for's) as $screens/$1.png, without asking again:
# for a window that may not stay long.
shoot_seen()
{
    local l t r b
    read -r l t r b <<<"$(awk -F'\t' '$1 == "window" { print $3; exit }' "${2:-$work/probe.txt}")"
    import -window root -crop "$((r - l))x$((b - t))+$l+$t" +repage "$screens/$1.png"
}

# Every control $1 of every window in the last probe (windows of one caption may be several) is $2 (field 4).
expect_every_control()
{
    local got
    got=$(awk -F'\t' -v id="$1" '$1 == "control" && $2 == id { print $4 }' "$work/probe.txt" | sort -u)
    [[ $got == "$2" ]] || { log "control $1: expected $2 everywhere, got: $(echo $got)"; return 1; }
}

expect_control()
{
    probe "$1" >"$work/probe.txt"
    local got
    got=$(control_field "$2" "$3")
    [[ $got == "$4" ]] || { log "control $2 of \"$1\": expected \"$4\", got \"$got\""; return 1; }
}

# Opens the About box from the system menu of the window captioned $1 (the caption's icon, $2 pixels in from
# the window's corner); its item is the menu's last.
open_about()
{
    probe "$1" >"$work/probe.txt"
    local l t r b
    read -r l t r b <<<"$(awk -F'\t' '$1 == "window" { print $3; exit }' "$work/probe.txt")"
    xdotool mousemove $((l + $2)) $((t + $2 + 1)) click 1
    sleep 0.5
    xdotool key Up Return
    wait_for "About PellmorWin" "PellmorWin Version 1.0" 10 && wait_for "About PellmorWin" "Release $release" 2
}

# ---- Game files -------------------------------------------------------------------------------------------------

digest() { sha256sum "$1" | cut -d' ' -f1; }

# Makes $1/models/gta3.img with make-sample-game's options $2... (kept between runs when unchanged), and puts
# the folder back into its standard state: only gta3.img, the one generated.
make_game()
{
    local dir=$1
    shift
    local stamp="$*"
    local models=$dir/models
    if [[ -f $models/gta3_ORIG_BAK.img ]]; then
        mv -f "$models/gta3_ORIG_BAK.img" "$models/gta3.img"
    fi
    rm -f "$models/gta3_TEMP.img" "$models/gta3_SHRUNK_BAK.img" "$models"/PellmorWin-write-test.tmp
    if [[ ! -f $dir.sha256 || $(head -n1 "$dir.sha256") != "$stamp" || ! -f $models/gta3.img ||
        $(digest "$models/gta3.img") != $(sed -n 2p "$dir.sha256") ]]; then
        rm -rf "$dir"
        mkdir -p "$dir"
        "$wine_run" "$generator" --out "$(winpath "$dir")" --quiet "$@" >"$work/generate.log" 2>&1 || return 1
        printf '%s\n%s\n' "$stamp" "$(digest "$models/gta3.img")" >"$dir.sha256"
    fi
}

original_of() { sed -n 2p "$1.sha256"; }

# "standard" (only the original gta3.img), "shrunk" (a different gta3.img, the original kept as _ORIG_BAK),
# or what is wrong.
game_state()
{
    local models=$1/models original
    original=$(original_of "$1")
    if [[ -f $models/gta3_TEMP.img ]]; then echo "temporary archive left"; return; fi
    if [[ -f $models/gta3_ORIG_BAK.img ]]; then
        if [[ -f $models/gta3.img && $(digest "$models/gta3_ORIG_BAK.img") == "$original" &&
            $(digest "$models/gta3.img") != "$original" ]]; then
            echo shrunk
        else
            echo "backup without a shrunk archive"
        fi
        return
    fi
    if [[ -f $models/gta3.img && $(digest "$models/gta3.img") == "$original" ]]; then echo standard; return; fi
    echo "archive missing or changed"
}

expect_state()
{
    local got
    got=$(game_state "$1")
    [[ $got == "$2" ]] || { log "game files: expected $2, found: $got"; return 1; }
}

# ---- The tests ----------------------------------------------------------------------------------------------------

standard_status="Found standard GTA:SA files."
shrunk_status="Found shrunked GTA:SA files."
elsewhere_status="Another shrink or restore is running on these game files."

# Runs PellmorWin.exe with the flag $1 until it ends by itself, which must be with exit code $2.
run_auto()
{
    start_app "$1"
    wait_app_exit 60 || { log "PellmorWin.exe $1 did not end by itself"; return 1; }
    [[ $app_rc -eq $2 ]] || { log "PellmorWin.exe $1: exit code $app_rc, expected $2"; return 1; }
}

# Shrinks, then finds nothing more to do.
test_auto_shrink()
{
    set_game_dir "$small"
    run_auto /s 0 && expect_state "$small" shrunk || return 1
    run_auto /s 0 && expect_state "$small" shrunk
}

# Restores, keeping the shrunk archive; without a game there is nothing to restore.
test_auto_restore()
{
    set_game_dir "$small"
    run_auto /u 0 && expect_state "$small" standard || return 1
    [[ -f $small/models/gta3_SHRUNK_BAK.img ]] || { log "the shrunk archive was not kept"; return 1; }
    set_game_dir "$work/games"
    run_auto /u 2
}

# The game holds its archive open: the shrink fails, its message comes once, and the program ends after OK.
test_auto_held()
{
    make_game "$small" --entries 60 || return 1
    set_game_dir "$small"
    hold_file "$small/models/gta3.img" 60 || return 1
    start_app /s
    wait_for "Perform Shrink" "Perform Shrink - Failed renaming" 30 || return 1
    [[ $(grep -c '^window' "$work/probe.txt") -eq 1 ]] || { log "more than one message box"; return 1; }
    grep -qF "Close the game, or any program that has gta3.img open, and try again." "$work/probe.txt" ||
        { log "no advice for an archive in use"; return 1; }
    shoot held "Perform Shrink"
    click "Perform Shrink" 1 || return 1
    sleep 0.5
    while kill -0 "$app_pid" 2>/dev/null; do
        probe "Perform Shrink" >/dev/null && { log "the message came back"; return 1; }
        sleep 0.2
    done
    wait_app_exit 1 && [[ $app_rc -eq 1 ]] || { log "exit code $app_rc, expected 1"; return 1; }
    kill "$hold_pid" 2>/dev/null
    wait "$hold_pid" 2>/dev/null
    hold_pid=""
    expect_state "$small" standard && make_game "$small" --entries 60
}

# Every state of the main dialog, the About box, and typing directories.
test_interactive()
{
    local main="PellmorWin v1.03"
    set_game_dir "$small"
    start_app
    wait_for "$main" "$standard_status" 15 || return 1
    expect_control "$main" 1003 4 enabled && expect_control "$main" 1004 4 disabled || return 1
    expect_control "$main" 1000 7 "$(winpath "$small")" || return 1
    shoot main-standard "$main"

    click "$main" 1003 || return 1
    wait_for "$main" "$shrunk_status" 30 || return 1
    expect_control "$main" 1003 4 disabled && expect_control "$main" 1004 4 enabled || return 1
    expect_state "$small" shrunk || return 1
    shoot main-shrunk "$main"

    open_about "$main" 10 || return 1
    shoot about "About PellmorWin"
    click "About PellmorWin" 1 || return 1

    click "$main" 1004 || return 1
    # "Please wait." at once, for the second or two until the files have been tested again.
    wait_for "$main" "Please wait." 5 || return 1
    shoot_seen main-busy
    wait_for "$main" "$standard_status" 30 || return 1
    expect_state "$small" standard || return 1

    # Another game's folder typed in and Shrink clicked in the same instant: the buttons went off with the first
    # key, so the click does nothing to the folder shown before; the typed folder is checked a moment after the
    # last key, and Shrink, clicked again as soon as it is back, shrinks it.
    click "$main" 1000 || return 1
    xdotool key End shift+Home
    xdotool type --delay 5 "$(winpath "$other")"
    click "$main" 1003 || return 1
    sleep 1
    expect_state "$small" standard && expect_state "$other" standard || return 1
    wait_for "$main" "$standard_status" 10 && click "$main" 1003 || return 1
    wait_for "$main" "$shrunk_status" 30 || return 1
    expect_state "$other" shrunk && expect_state "$small" standard || return 1

    # A directory typed slowly, over several ticks whose status changes must not disturb the typing.
    local typed
    typed="$(winpath "$work")\\nowhere"
    click "$main" 1000 || return 1
    xdotool key End shift+Home
    xdotool type --delay 60 "$typed"
    wait_for "$main" "Cannot find GTA:SA files." 10 || return 1
    expect_control "$main" 1000 7 "$typed" || return 1
    expect_control "$main" 1003 4 disabled && expect_control "$main" 1004 4 disabled || return 1
    shoot main-nogame "$main"

    click "$main" 1005 || return 1
    wait_app_exit 15 || { log "Exit did not end the program"; return 1; }
    [[ $app_rc -eq 0 ]] || { log "exit code $app_rc"; return 1; }
}

# PellmorWin.exe on the big game with Shrink clicked, its shrink slowed down (throttle_start) and the progress
# window up: for the tests that act while a shrink runs.
start_slow_shrink()
{
    set_game_dir "$big"
    start_app
    wait_for "$main" "$standard_status" 15 || return 1
    throttle_start
    click "$main" 1003 || return 1
    wait_for "Shrink Progress" "/100" 10
}

test_cancel()
{
    local main="PellmorWin v1.03"
    start_slow_shrink || return 1
    wait_for "$main" "Please wait." 5 || return 1
    # The picture shows some progress, when the shrink gets that far within a few seconds.
    local deadline=$((SECONDS + 3))
    while ((SECONDS < deadline)); do
        probe "Shrink Progress" >"$work/probe.txt"
        [[ $(control_field 1000 7) != 0/100 ]] && break
        sleep 0.2
    done
    shoot main-shrinking "$main"
    shoot progress "Shrink Progress"
    click "Shrink Progress" 1007 || return 1
    wait_for "Perform Shrink" "Shrink canceled" 30 || return 1
    throttle_stop
    shoot canceled "Perform Shrink"
    click "Perform Shrink" 1 || return 1
    wait_for "$main" "$standard_status" 15 || return 1
    expect_state "$big" standard || return 1
    click "$main" 1005 || return 1
    wait_app_exit 15 || { log "Exit did not end the program"; return 1; }
}

# Closing while a shrink runs: "Please wait." until the engine has stopped, then the program ends by itself
# and the files are in a state the tests recognise.
test_close_during_shrink()
{
    local main="PellmorWin v1.03"
    start_slow_shrink || return 1
    click "$main" 1005 || return 1
    # The dialog says "Please wait." until the cancelled shrink has let go of the files; on a loaded machine that
    # can be over before a probe gets to look, so a program already gone is no failure (the files decide below).
    local deadline=$((SECONDS + 5)) seen=""
    while [[ -z $seen ]] && ((SECONDS < deadline)); do
        if ! kill -0 "$app_pid" 2>/dev/null; then
            seen=gone
        elif probe "$main" >"$work/probe.txt" && grep -qF -- "Please wait." "$work/probe.txt"; then
            seen=waiting
            shoot_seen main-closing
        else
            sleep 0.1
        fi
    done
    [[ -n $seen ]] || { log "the dialog did not say \"Please wait.\" while it closed"; return 1; }
    wait_app_exit 60 || { log "the program did not end after the shrink stopped"; return 1; }
    throttle_stop
    [[ $app_rc -eq 0 ]] || { log "exit code $app_rc"; return 1; }
    local state
    state=$(game_state "$big")
    [[ $state == standard || $state == shrunk ]] || { log "game files: $state"; return 1; }
}

# Two programs on one game: while the first one's shrink runs, a second PellmorWin.exe says that another shrink
# or restore is running, and neither program offers a button. The second one ends as usual; the first one's
# shrink is then cancelled in its progress window (which the second window covered).
test_two_programs()
{
    local main="PellmorWin v1.03"
    start_slow_shrink || return 1
    first_pid=$app_pid
    start_app
    wait_for "$main" "$elsewhere_status" 20 || return 1
    [[ $(grep -c '^window' "$work/probe.txt") -eq 2 ]] || { log "expected two main windows"; return 1; }
    expect_every_control 1003 disabled && expect_every_control 1004 disabled || return 1
    shoot_seen main-elsewhere
    # The second window is the topmost, so its controls come first.
    click "$main" 1005 || return 1
    wait_app_exit 15 && [[ $app_rc -eq 0 ]] || { log "the second program did not end with 0"; return 1; }
    app_pid=$first_pid
    first_pid=""
    # The first program's shrink went on meanwhile, undisturbed. Cancel it if it still runs; on a loaded machine
    # it may have finished already, and then the files must be shrunk.
    click "Shrink Progress" 1007 2>/dev/null
    throttle_stop
    local deadline=$((SECONDS + 60))
    while ((SECONDS < deadline)); do
        if probe "Perform Shrink" >"$work/probe.txt" 2>/dev/null && grep -qF "Shrink canceled" "$work/probe.txt"; then
            click "Perform Shrink" 1 || return 1
            wait_for "$main" "$standard_status" 15 || return 1
            expect_state "$big" standard
            return
        fi
        if probe "$main" >"$work/probe.txt" 2>/dev/null && grep -qF "$shrunk_status" "$work/probe.txt"; then
            expect_state "$big" shrunk
            return
        fi
        sleep 0.2
    done
    log "the first program's shrink neither was cancelled nor finished"
    return 1
}

# A folder that refuses new files: without write permission, and immutable for root, whom permissions do not
# stop (chattr, where the file system and the sandbox allow it).
refuse_writes()
{
    chmod a-w "$1" || return 1
    if [[ $(id -u) -eq 0 ]] && ! chattr +i "$1" 2>/dev/null; then
        chmod u+w "$1"
        return 1
    fi
}

allow_writes()
{
    chattr -i "$1" 2>/dev/null
    chmod u+w "$1"
}

# A Models folder that refuses new files (as Program Files does under UAC): the failure says why and what to do.
test_write_protected()
{
    local main="PellmorWin v1.03"
    make_game "$small" --entries 60 || return 1
    if ! refuse_writes "$small/models"; then
        log "cannot make a folder refuse writes here"
        return 2
    fi
    set_game_dir "$small"
    start_app
    wait_for "$main" "$standard_status" 15 || return 1
    click "$main" 1003 || return 1
    wait_for "Perform Shrink" "Run PellmorWin as administrator" 30 || return 1
    grep -qF "Perform Shrink - Failed" "$work/probe.txt" ||
        { log "the engine's message is missing"; return 1; }
    shoot write-protected "Perform Shrink"
    click "Perform Shrink" 1 || return 1
    allow_writes "$small/models"
    wait_for "$main" "$standard_status" 15 || return 1
    click "$main" 1005 || return 1
    wait_app_exit 15 || { log "Exit did not end the program"; return 1; }
    expect_state "$small" standard
}

# PellmorWin.exe copied into a game's folder, as the README suggests, finds the game there without a registry value
# and says so. With the all-archives box it lists, shrinks and restores each archive the game loads, and the box
# is remembered beside that copy when it closes.
test_in_game_folder()
{
    local main="PellmorWin v1.03" game=$work/games/three archive
    make_game "$game" --entries 60 --extra-archive gta_int:30 --extra-archive mod:20 || return 1
    for archive in gta_int mod; do
        [[ -f $game/models/${archive}_ORIG_BAK.img ]] && mv -f "$game/models/${archive}_ORIG_BAK.img" "$game/models/$archive.img"
        rm -f "$game/models/${archive}_SHRUNK_BAK.img"
    done
    cp "$exe" "$game/PellmorWin.exe" && rm -f "$game/PellmorWin.ini" || return 1
    wine reg delete 'HKLM\SOFTWARE\Quorrin: San Andreas' /v 'GTA:SA Path' /f >/dev/null 2>&1
    "$wine_run" "$game/PellmorWin.exe" >"$work/app.log" 2>&1 &
    app_pid=$!
    wait_for "$main" "The folder this program is in." 15 || return 1
    expect_control "$main" 1000 7 "$(winpath "$game")\\" || return 1
    shoot main-in-game "$main"

    click "$main" 1009 || return 1
    wait_for "$main" "mod.img: standard" 15 || return 1
    shoot main-all-standard "$main"
    click "$main" 1003 || return 1
    wait_for "$main" "mod.img: shrunk" 30 || return 1
    for archive in gta3 gta_int mod; do
        [[ -f $game/models/${archive}_ORIG_BAK.img ]] || { log "$archive.img was not shrunk"; return 1; }
    done
    shoot main-all-shrunk "$main"
    click "$main" 1004 || return 1
    wait_for "$main" "mod.img: standard" 30 || return 1
    expect_state "$game" standard || return 1
    click "$main" 1005 || return 1
    wait_app_exit 15 || { log "Exit did not end the program"; return 1; }
    grep -q "AllArchives=True" "$game/PellmorWin.ini" || { log "the all-archives box was not remembered"; return 1; }
    rm -f "$game/PellmorWin.exe" "$game/PellmorWin.ini"
}

# The progress window, with its line under the bar, on a display scaled to 150%.
test_scaled_150_progress()
{
    local main="PellmorWin v1.03" rc=1
    make_game "$big" --size 320 || return 1
    set_dpi 144
    if start_slow_shrink && wait_for "Shrink Progress" " MB of " 15; then
        shoot progress-150 "Shrink Progress"
        click "Shrink Progress" 1007 && wait_for "Perform Shrink" "Shrink canceled" 30 && throttle_stop &&
            click "Perform Shrink" 1 && wait_for "$main" "$standard_status" 15 && click "$main" 1005 &&
            wait_app_exit 15
        rc=$?
    fi
    throttle_stop
    set_dpi 96
    return $rc
}

# The dialogs on a display scaled to 150%: the program draws them itself at that scale (the manifest says it
# is aware of the scale); the screenshots show whether anything is clipped or overlaps.
test_scaled_150()
{
    local main="PellmorWin v1.03" rc=1
    set_dpi 144
    set_game_dir "$small"
    start_app
    if wait_for "$main" "$standard_status" 15 && shoot main-standard-150 "$main" && open_about "$main" 14; then
        shoot about-150 "About PellmorWin"
        click "About PellmorWin" 1 && click "$main" 1005 && wait_app_exit 15
        rc=$?
    fi
    set_dpi 96
    return $rc
}

run_test()
{
    local name=$1 started=$SECONDS rc
    # The dialog remembers its folder beside the program; each test starts without what an earlier one left.
    rm -f "$win_dir/app/PellmorWin.ini"
    "test_${name//-/_}"
    rc=$?
    if [[ $rc -eq 0 ]]; then
        echo "PASS $name ($((SECONDS - started)) s)"
        passed=$((passed + 1))
    elif [[ $rc -eq 2 ]]; then
        echo "SKIP $name"
        skipped=$((skipped + 1))
    else
        echo "FAIL $name ($((SECONDS - started)) s)"
        failed=$((failed + 1))
        shoot "failed-$name" "PellmorWin v1.03" 2>/dev/null
        import -window root "$screens/failed-$name-screen.png" 2>/dev/null
    fi
    # Nothing of a test outlives it.
    throttle_stop
    if [[ -n $hold_pid ]]; then
        kill "$hold_pid" 2>/dev/null
        wait "$hold_pid" 2>/dev/null
        hold_pid=""
    fi
    for pid in "$app_pid" "$first_pid"; do
        if [[ -n $pid ]]; then
            kill "$pid" 2>/dev/null
            wait "$pid" 2>/dev/null
        fi
    done
    app_pid=""
    first_pid=""
    rm -f "$win_dir/app/PellmorWin.ini"
    # The server ends a moment after it is told to; a program started meanwhile would find it dying.
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
}

mkdir -p "$work/games" "$screens"
rm -f "$screens"/*.png
small=$work/games/small
other=$work/games/other
big=$work/games/big

echo "==== gui suite ===="
if ! start_xvfb || ! prepare_prefix; then
    echo "gui: 0 passed, 1 failed (no X screen or Wine prefix)"
    exit 1
fi
if ! make_game "$small" --entries 60 || ! make_game "$other" --entries 40 || ! make_game "$big" --size 320; then
    cat "$work/generate.log"
    echo "gui: 0 passed, 1 failed (sample games)"
    exit 1
fi

all_tests="auto-shrink auto-restore auto-held interactive cancel close-during-shrink two-programs write-protected
    scaled-150 in-game-folder scaled-150-progress"
for name in ${PELLMOR_GUI_TESTS:-$all_tests}; do
    run_test "$name"
done
echo "screenshots: $screens"
line="gui: $passed passed, $failed failed"
[[ $skipped -gt 0 ]] && line+=", $skipped skipped"
echo "$line"
[[ $failed -eq 0 ]]
