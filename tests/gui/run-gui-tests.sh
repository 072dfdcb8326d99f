#!/usr/bin/env bash
# The GUI tests: PellmorWin.exe in real windows under Wine, on a virtual X screen (Xvfb), driven with xdotool.
#   tests/gui/run-gui-tests.sh
# Needs the Windows build (WIN_BUILD_DIR, default build-win): app/PellmorWin.exe, tests/gui-probe.exe (which
# reads the windows' texts and places) and tools/make-sample-game/make-sample-game.exe. Works in
# WIN_BUILD_DIR/gui-tests, keeps its own Wine prefix (WIN_BUILD_DIR/wineprefix-gui, made on first use) and
# writes screenshots to WIN_BUILD_DIR/screens (those of the display scaled to 150% end in -150). Prints one line
# per test (a failed one is preceded by why, with the line of the test where that step stands), then
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
watch_pid=""
xvfb_pid=""
# How long a test waits for what the program does by itself: long, since a machine busy with other work can slow
# a step down many times over; a wait ends as soon as its window shows up.
patience=60

for f in "$exe" "$probe_exe" "$generator"; do
    if [[ ! -f $f ]]; then
        echo "run-gui-tests: $f is missing (make windows)"
        echo "gui: 0 passed, 1 failed"
        exit 1
    fi
done

# A line of a test's output, naming the line of the test (its step) from which it was said; a failing test says
# why with it.
log()
{
    local i where=""
    for ((i = 0; i + 1 < ${#FUNCNAME[@]}; i++)); do
        [[ ${FUNCNAME[i + 1]} == test_* ]] && { where="line ${BASH_LINENO[i]}: "; break; }
    done
    echo "  $where$*"
    said=1
}

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
    # Web pages that the program opens go to Wine's browser (the prefix has no association for them of its own,
    # and ShellExecute would fail), which is /bin/true here: no real browser opens on the test screen.
    wine reg add 'HKLM\Software\Classes\.html' /ve /t REG_SZ /d htmlfile /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /t REG_SZ /d true /f >/dev/null 2>&1
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
    timeout 60 wineserver -w
    dpi=$1
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

# Waits for the program to end after Exit.
expect_exit() { wait_app_exit "$patience" || { log "Exit did not end the program"; return 1; }; }

# Holds $1 open for at most $2 seconds as the running game does (see gui-probe.exe --hold), from when it
# says so.
hold_file()
{
    local attempt
    # A holder that ends before it says anything did not start (Wine's server was going away); it is tried again.
    for attempt in 1 2 3; do
        "$wine_run" "$probe_exe" --hold "$(winpath "$(dirname "$1")")\\$(basename "$1")" "$2" >"$work/hold.log" 2>&1 &
        hold_pid=$!
        local deadline=$((SECONDS + patience))
        while ! grep -q holding "$work/hold.log" 2>/dev/null; do
            ((SECONDS < deadline)) || { log "could not hold $1 within $patience s"; return 1; }
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

# A modest game shrinks in well under a second under Wine, too fast to press Cancel or Exit while it runs. While a
# test needs the shrink to last, the program is let run 5 ms in every 100 ms (SIGSTOP and SIGCONT; its shrink runs
# on every core meanwhile); its timer, tied to the clock, still ticks once a second.
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

# Waits (at most $patience seconds) until a window captioned $1 shows the text $2, or one of the texts after it
# (fixed strings); its lines are then in $work/probe.txt.
wait_for()
{
    watch_what="\"$1\" showing \"$2\"${3:+ or \"$3\"} within $patience s"
    wine "$probe_exe" --wait "$patience" "$1" "${@:2}" >"$work/watch.txt" 2>/dev/null
    take_watch $?
}

# Starts looking (for at most $2 seconds) for a window captioned $1 that shows one of the texts $3... and returns
# once the first look is done; seen waits for the answer. Started before a click, it catches a state that may be
# over before a look started after the click would come.
watch_for()
{
    watch_what="\"$1\" showing \"$3\"${4:+ or \"$4\"} within $2 s"
    rm -f "$work/watch.log"
    wine "$probe_exe" --wait "$2" "$1" "${@:3}" >"$work/watch.txt" 2>"$work/watch.log" &
    watch_pid=$!
    local deadline=$((SECONDS + patience))
    until grep -q looking "$work/watch.log" 2>/dev/null || ! kill -0 "$watch_pid" 2>/dev/null; do
        ((SECONDS < deadline)) || { log "gui-probe.exe did not start within $patience s"; return 1; }
        sleep 0.05
    done
}

seen()
{
    wait "$watch_pid"
    take_watch $?
}

# The window's lines of a look that ended with $1 into $work/probe.txt; when it did not find what it looked for,
# says what was on the screen instead.
take_watch()
{
    watch_pid=""
    tr -d '\r' <"$work/watch.txt" >"$work/probe.txt"
    (($1 == 0)) && return 0
    log "no window $watch_what; seen instead:"
    sed 's/^/    /' "$work/probe.txt"
    return 1
}

# The field $2 (4: enabled, 5: visible, 6: place, 7: text, 8: vscroll or -) of control $1 in a probe's output ($3,
# default: the
# last probe's).
control_field()
{
    awk -F'\t' -v id="$1" -v f="$2" '$1 == "control" && $2 == id { print $f; exit }' "${3:-$work/probe.txt}"
}

# Clicks the middle of control $2 of the window captioned $1.
click()
{
    probe "$1" >"$work/probe.txt" || { log "no window \"$1\" to click in"; return 1; }
    click_seen "$2"
}

# Clicks the middle of control $1 as a probe's output ($2, default: the last probe's) placed it, without asking
# again (windows do not move): right after typing, or in a program slowed down too much to be asked in time.
click_seen()
{
    local l t r b
    read -r l t r b <<<"$(control_field "$1" 6 "${2:-}")"
    [[ -n ${b:-} ]] || { log "no control $1 in the window seen"; return 1; }
    xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1 || { log "xdotool could not click"; return 1; }
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
    wait_for "About PellmorWin" "PellmorWin Version 1.0" && wait_for "About PellmorWin" "Release $release" &&
        wait_for "About PellmorWin" "PellmorWin.log"
}

# ---- Game files -------------------------------------------------------------------------------------------------

digest() { sha256sum "$1" | cut -d' ' -f1; }

# Puts the game folder $1 back into its standard state, as far as renames and deletions do: what a test leaves
# behind, even one that failed, does not reach the next one.
put_back()
{
    local models=$1/models
    if [[ -f $models/gta3_ORIG_BAK.img ]]; then
        mv -f "$models/gta3_ORIG_BAK.img" "$models/gta3.img"
    fi
    rm -f "$models/gta3_TEMP.img" "$models/gta3_SHRUNK_BAK.img" "$models/gta3_SHRINK.ini" \
        "$models"/PellmorWin-write-test.tmp
}

# Makes $1/models/gta3.img with make-sample-game's options $2... (kept between runs when unchanged), and puts
# the folder back into its standard state: only gta3.img, the one generated.
make_game()
{
    local dir=$1
    shift
    local stamp="$*"
    local models=$dir/models
    put_back "$dir"
    if [[ ! -f $dir.sha256 || $(head -n1 "$dir.sha256") != "$stamp" || ! -f $models/gta3.img ||
        $(digest "$models/gta3.img") != $(sed -n 2p "$dir.sha256") ]]; then
        rm -rf "$dir"
        mkdir -p "$dir"
        "$wine_run" "$generator" --out "$(winpath "$dir")" --quiet "$@" >"$work/generate.log" 2>&1 ||
            { log "make-sample-game $*: $(cat "$work/generate.log")"; return 1; }
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
    [[ $got == "$2" ]] || { log "game files in $(basename "$1"): expected $2, found: $got"; return 1; }
}

# ---- The tests ----------------------------------------------------------------------------------------------------

standard_status="Found standard GTA:SA files."
shrunk_status="Found shrunked GTA:SA files."
elsewhere_status="Another shrink or restore is running on these game files."

# Runs PellmorWin.exe with the flag $1 until it ends by itself, which must be with exit code $2.
run_auto()
{
    start_app "$1"
    wait_app_exit "$patience" || { log "PellmorWin.exe $1 did not end by itself"; return 1; }
    [[ $app_rc -eq $2 ]] || { log "PellmorWin.exe $1: exit code $app_rc, expected $2"; return 1; }
}

# Shrinks, then finds nothing more to do.
test_auto_shrink()
{
    set_game_dir "$small"
    run_auto /s 0 && expect_state "$small" shrunk || return 1
    run_auto /s 0 && expect_state "$small" shrunk
}

# Restores, keeping the shrunk archive; without a game there is nothing to restore. The window then offers to
# remove the kept copy: it asks first, naming the file and its size, and says what it removed.
test_auto_restore()
{
    local main="PellmorWin v1.03" clean="Remove kept copy"
    set_game_dir "$small"
    run_auto /u 0 && expect_state "$small" standard || return 1
    [[ -f $small/models/gta3_SHRUNK_BAK.img ]] || { log "the shrunk archive was not kept"; return 1; }
    start_app
    wait_for "$main" "$standard_status" || return 1
    expect_control "$main" 1014 4 enabled || return 1
    click "$main" 1014 || return 1
    wait_for "$clean" "gta3_SHRUNK_BAK.img (" && wait_for "$clean" "Remove these files?" || return 1
    shoot clean-question "$clean"
    click "$clean" 6 || return 1
    wait_for "$clean" "Removed gta3_SHRUNK_BAK.img" || return 1
    shoot clean-result "$clean"
    click "$clean" 1 || return 1
    wait_for "$main" "$standard_status" || return 1
    expect_control "$main" 1014 4 disabled || return 1
    [[ ! -f $small/models/gta3_SHRUNK_BAK.img ]] || { log "the kept copy is still there"; return 1; }
    expect_state "$small" standard || return 1
    click "$main" 1005 || return 1
    expect_exit || return 1
    # The window remembered its folder, which /u would find first.
    rm -f "$win_dir/app/PellmorWin.ini"
    set_game_dir "$work/games"
    run_auto /u 2
}

# Preview... makes the page and hands it to the system. When nothing is registered for web pages (the prefix's
# .html is given a kind without a program for a moment) a message names the page to open by hand; otherwise the
# status says where the page is and that it went to the browser.
test_preview()
{
    local main="PellmorWin v1.03" rc=1
    make_game "$small" --entries 60 || return 1
    set_game_dir "$small"
    wine reg add 'HKLM\Software\Classes\.html' /ve /t REG_SZ /d PellmorWinNoProgram /f >/dev/null 2>&1
    start_app
    if wait_for "$main" "$standard_status" && click "$main" 1011 &&
        wait_for "Preview" "Open this page in your web browser by hand:" && grep -qF "index.html" "$work/probe.txt"; then
        shoot preview-not-opened "Preview"
        click "Preview" 1 && wait_for "$main" "; open it in your web browser." && rc=0
    fi
    wine reg add 'HKLM\Software\Classes\.html' /ve /t REG_SZ /d htmlfile /f >/dev/null 2>&1
    ((rc == 0)) || return 1
    click "$main" 1011 && wait_for "$main" "; it went to your web browser." || return 1
    shoot main-preview "$main"
    click "$main" 1005 || return 1
    expect_exit
}

# The game holds its archive open: the shrink fails, its message comes once, and the program ends after OK.
test_auto_held()
{
    make_game "$small" --entries 60 || return 1
    set_game_dir "$small"
    hold_file "$small/models/gta3.img" 60 || return 1
    start_app /s
    wait_for "Perform Shrink" "Perform Shrink - Failed renaming" || return 1
    [[ $(grep -c '^window' "$work/probe.txt") -eq 1 ]] || { log "more than one message box"; return 1; }
    grep -qF "Close the game, or any program that has gta3.img open, and try again." "$work/probe.txt" ||
        { log "no advice for an archive in use"; return 1; }
    # The log beside the program keeps the failure with the system's error, and the message says where it is.
    grep -qF "What happened is logged in " "$work/probe.txt" || { log "the message does not name the log"; return 1; }
    grep -q "gta3.img: not done.*system error [0-9]" "$win_dir/app/PellmorWin.log" ||
        { log "the log lacks the failure's system error"; return 1; }
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
    put_back "$small"
    put_back "$other"
    set_game_dir "$small"
    start_app
    wait_for "$main" "$standard_status" || return 1
    expect_control "$main" 1003 4 enabled && expect_control "$main" 1004 4 disabled || return 1
    expect_control "$main" 1000 7 "$(winpath "$small")" || return 1
    shoot main-standard "$main"

    click "$main" 1003 || return 1
    wait_for "$main" "$shrunk_status" || return 1
    expect_control "$main" 1003 4 disabled && expect_control "$main" 1004 4 enabled || return 1
    expect_state "$small" shrunk || return 1
    shoot main-shrunk "$main"

    open_about "$main" 10 || return 1
    shoot about "About PellmorWin"
    click "About PellmorWin" 1 || return 1

    # "Please wait." at once, for the second or two until the files have been tested again: looked for from before
    # the click, since a probe started after it can come too late on a busy machine.
    watch_for "$main" "$patience" "Please wait." && click "$main" 1004 && seen || return 1
    shoot_seen main-busy
    wait_for "$main" "$standard_status" || return 1
    expect_state "$small" standard || return 1

    # Another game's folder typed in and Shrink clicked right after the last key, with no probe in between. The
    # buttons went off with the first key, so the click finds Shrink off, or, when a busy machine held it back
    # until the typed folder had been checked, shrinks that folder; never the one shown before. Once the box shows
    # the whole folder every key has been taken, and the state shown next is the typed folder's; Shrink, clicked
    # then in case the first click did nothing, shrinks it.
    click "$main" 1000 || return 1
    xdotool key End shift+Home
    xdotool type --delay 5 "$(winpath "$other")"
    click_seen 1003 || return 1
    wait_for "$main" "$(winpath "$other")" || return 1
    watch_for "$main" "$patience" "$standard_status" "$shrunk_status" && seen || return 1
    if grep -qF "$standard_status" "$work/probe.txt"; then click "$main" 1003 || return 1; fi
    wait_for "$main" "$shrunk_status" || return 1
    expect_state "$other" shrunk && expect_state "$small" standard || return 1

    # A directory typed slowly, over several ticks whose status changes must not disturb the typing.
    local typed
    typed="$(winpath "$work")\\nowhere"
    click "$main" 1000 || return 1
    xdotool key End shift+Home
    xdotool type --delay 60 "$typed"
    # The box shows the whole text once every key has been taken; what the status says after that is about it.
    wait_for "$main" "$typed" && wait_for "$main" "Cannot find GTA:SA files." || return 1
    expect_control "$main" 1000 7 "$typed" || return 1
    expect_control "$main" 1003 4 disabled && expect_control "$main" 1004 4 disabled || return 1
    shoot main-nogame "$main"

    click "$main" 1005 || return 1
    expect_exit || return 1
    [[ $app_rc -eq 0 ]] || { log "exit code $app_rc"; return 1; }
}

# A texture size picked in the drop-down: Smooth ticks itself, the status estimates the shrink, and Shrink makes
# the archive at that size. A mod tool then changes the shrunk archive: the status says so, Restore asks first,
# and No leaves everything as it is. The choice is remembered when the window closes. Then "Fit in ... MB", last
# in the list, with the megabytes typed beside it: a size above the archive's today is refused in the status, one
# the shrink cannot reach is said so after it, and one it can is what the archive comes out at; that is remembered.
test_texture_size()
{
    local main="PellmorWin v1.03"
    make_game "$small" --entries 60 || return 1
    set_game_dir "$small"
    start_app
    wait_for "$main" "With this choice gta3.img becomes about" || return 1
    # The click opens the list, which starts at "Standard shrink"; four steps down is 128.
    click "$main" 1012 || return 1
    sleep 0.5
    xdotool key Down Down Down Down Return
    wait_for "$main" "At most 128 pixels" || return 1
    sleep 1
    wait_for "$main" "With this choice gta3.img becomes about" || return 1
    # The line under the choice says what it does.
    grep -qF "Textures larger than 128 pixels" "$work/probe.txt" || { log "no line on the size chosen"; return 1; }
    shoot main-size "$main"
    click "$main" 1003 || return 1
    wait_for "$main" "Shrunk at most 128 pixels, smooth." || return 1
    expect_state "$small" shrunk || return 1
    shoot main-size-shrunk "$main"

    printf 'a mod' >>"$small/models/gta3.img"
    wait_for "$main" "gta3.img changed after the shrink" || return 1
    click "$main" 1004 || return 1
    wait_for "Restore" "Restore anyway and lose the change?" || return 1
    shoot restore-changed "Restore"
    # No (IDNO) is the default.
    click "Restore" 7 || return 1
    wait_for "$main" "gta3.img changed after the shrink" || return 1
    [[ -f $small/models/gta3_ORIG_BAK.img ]] || { log "No restored all the same"; return 1; }
    click "$main" 1005 || return 1
    expect_exit || return 1
    grep -q "Settings=max-side:128" "$win_dir/app/PellmorWin.ini" || { log "the texture size was not remembered"; return 1; }
    put_back "$small"

    # The sample archive is 2.49 MB: the fit proposes 2 MB, refuses 3 and cannot reach 1.
    start_app
    wait_for "$main" "With this choice gta3.img becomes about" || return 1
    click "$main" 1012 || return 1
    sleep 0.5
    xdotool key End Return
    wait_for "$main" "of 2.49 MB today" || return 1
    expect_control "$main" 1016 5 visible && expect_control "$main" 1016 7 2 || return 1
    click "$main" 1016 && xdotool key End BackSpace && xdotool type 3 || return 1
    wait_for "$main" "Type at most 2 MB: the archive is 2.49 MB today." || return 1
    expect_control "$main" 1003 4 disabled || return 1
    shoot main-fit-refused "$main"
    click "$main" 1016 && xdotool key End BackSpace && xdotool type 1 || return 1
    wait_for "$main" "With this choice gta3.img becomes about" && expect_control "$main" 1003 4 enabled || return 1
    shoot main-fit "$main"
    click "$main" 1003 || return 1
    wait_for "Perform Shrink" "It does not fit in the 1.00 MB asked" || return 1
    shoot fit-unmet "Perform Shrink"
    click "Perform Shrink" 1 && wait_for "$main" "Shrunk to fit in 1.00 MB" && click "$main" 1004 || return 1
    wait_for "$main" "$standard_status" || return 1
    click "$main" 1016 && xdotool key End BackSpace && xdotool type 2 || return 1
    wait_for "$main" "With this choice gta3.img becomes about" && click "$main" 1003 || return 1
    wait_for "$main" "Shrunk to fit in 2.00 MB, smooth." || return 1
    expect_state "$small" shrunk || return 1
    local bytes
    bytes=$(stat -c %s "$small/models/gta3.img")
    ((bytes <= 2 * 1048576)) || { log "gta3.img came out at $bytes bytes, not in 2 MB"; return 1; }
    click "$main" 1005 && expect_exit || return 1
    grep -q "Settings=fit:2097152" "$win_dir/app/PellmorWin.ini" || { log "the fit was not remembered"; return 1; }
    put_back "$small"
}

# PellmorWin.exe on the big game (in its standard state) with Shrink clicked, its shrink slowed down
# (throttle_start) and the progress window up, seen in $work/probe.txt: for the tests that act while a shrink
# runs. The main window as seen before the shrink is in $work/main.txt. The slowed shrink lasts some seconds, and
# a probe started meanwhile takes a good part of them on a busy machine: the progress window is looked for from
# before the click, and the click needs no probe.
start_slow_shrink()
{
    put_back "$big"
    set_game_dir "$big"
    start_app
    wait_for "$main" "$standard_status" || return 1
    cp "$work/probe.txt" "$work/main.txt"
    throttle_start
    watch_for "Shrink Progress" "$patience" "/100" && click_seen 1003 && seen
}

test_cancel()
{
    local main="PellmorWin v1.03"
    start_slow_shrink || return 1
    shoot_seen progress
    click_seen 1007 || return 1
    shoot_seen main-shrinking "$work/main.txt"
    wait_for "Perform Shrink" "Shrink canceled" || return 1
    throttle_stop
    shoot canceled "Perform Shrink"
    click "Perform Shrink" 1 || return 1
    wait_for "$main" "$standard_status" || return 1
    expect_state "$big" standard || return 1
    click "$main" 1005 || return 1
    expect_exit || return 1
}

# Exit while a shrink runs asks first, and No is the default: a stray Enter keeps the shrink going. Yes cancels it,
# and the program ends by itself once the engine has let go of the files, which are then in a state the tests
# recognise (shrunk when the shrink ended first). Meanwhile the dialog says "Please wait.", as it does all through
# a shrink, so a probe cannot tell closing from shrinking; the dialog's own tests look at that.
test_close_during_shrink()
{
    local main="PellmorWin v1.03" question="A shrink is running. Stop it and exit?"
    start_slow_shrink || return 1
    click_seen 1005 "$work/main.txt" || return 1
    wait_for "Exit" "$question" || return 1
    shoot_seen exit-question
    xdotool key Return
    local deadline=$((SECONDS + patience))
    while probe "Exit" >/dev/null; do
        ((SECONDS < deadline)) || { log "Enter did not answer the question"; return 1; }
        sleep 0.2
    done
    kill -0 "$app_pid" 2>/dev/null || { log "a stray Enter ended the program"; return 1; }
    probe "Shrink Progress" >"$work/probe.txt" || [[ $(game_state "$big") == shrunk ]] ||
        { log "a stray Enter stopped the shrink"; return 1; }
    click_seen 1005 "$work/main.txt" || return 1
    if wait_for "Exit" "$question"; then
        click "Exit" 6 || return 1
    fi
    wait_app_exit "$patience" || { log "the program did not end after the shrink stopped"; return 1; }
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
    wait_for "$main" "$elsewhere_status" || return 1
    [[ $(grep -c '^window' "$work/probe.txt") -eq 2 ]] || { log "expected two main windows"; return 1; }
    expect_every_control 1003 disabled && expect_every_control 1004 disabled || return 1
    shoot_seen main-elsewhere
    # The second window is the topmost, so its controls come first.
    click "$main" 1005 || return 1
    wait_app_exit "$patience" && [[ $app_rc -eq 0 ]] || { log "the second program did not end with 0"; return 1; }
    app_pid=$first_pid
    first_pid=""
    # The first program's shrink went on meanwhile, undisturbed. Cancel it if it still runs; on a loaded machine
    # it may have finished already, and then the files must be shrunk (and a Cancel that came after its end says
    # that it came too late).
    click "Shrink Progress" 1007 >/dev/null
    throttle_stop
    local deadline=$((SECONDS + patience))
    while ((SECONDS < deadline)); do
        if probe "Perform Shrink" >"$work/probe.txt" 2>/dev/null && grep -qF "Shrink canceled" "$work/probe.txt"; then
            click "Perform Shrink" 1 || return 1
            wait_for "$main" "$standard_status" || return 1
            expect_state "$big" standard
            return
        fi
        if grep -qF "The cancel came too late: the shrink had finished." "$work/probe.txt" 2>/dev/null; then
            click "Perform Shrink" 1 || return 1
            wait_for "$main" "$shrunk_status" || return 1
            expect_state "$big" shrunk
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
    wait_for "$main" "$standard_status" || return 1
    click "$main" 1003 || return 1
    wait_for "Perform Shrink" "Run PellmorWin as administrator" || return 1
    grep -qF "Perform Shrink - Failed" "$work/probe.txt" ||
        { log "the engine's message is missing"; return 1; }
    shoot write-protected "Perform Shrink"
    click "Perform Shrink" 1 || return 1
    allow_writes "$small/models"
    wait_for "$main" "$standard_status" || return 1
    click "$main" 1005 || return 1
    expect_exit || return 1
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
    wait_for "$main" "The folder this program is in." || return 1
    expect_control "$main" 1000 7 "$(winpath "$game")\\" || return 1
    shoot main-in-game "$main"

    click "$main" 1009 || return 1
    wait_for "$main" "mod.img: original" || return 1
    shoot main-all-standard "$main"
    click "$main" 1003 || return 1
    wait_for "$main" "mod.img: shrunk" || return 1
    for archive in gta3 gta_int mod; do
        [[ -f $game/models/${archive}_ORIG_BAK.img ]] || { log "$archive.img was not shrunk"; return 1; }
    done
    shoot main-all-shrunk "$main"
    click "$main" 1004 || return 1
    wait_for "$main" "mod.img: original" || return 1
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
    if start_slow_shrink && wait_for "Shrink Progress" " MB of "; then
        shoot progress-150 "Shrink Progress"
        # Exit asks; No keeps the shrink going.
        click_seen 1005 "$work/main.txt" && wait_for "Exit" "Stop it and exit?" && shoot_seen exit-question-150 &&
            click "Exit" 7 || return 1
        # On a busy machine the steps after it may take longer than the slowed shrink: the cancel then ends the
        # shrink (a box says so), comes too late (a box says that), or finds the progress window gone.
        click "Shrink Progress" 1007 >/dev/null 2>&1
        throttle_stop
        if wine "$probe_exe" --wait 30 "Perform Shrink" "Shrink canceled" "The cancel came too late" \
            >"$work/watch.txt" 2>/dev/null; then
            take_watch 0 && click "Perform Shrink" 1 || return 1
        fi
        wait_for "$main" "$standard_status" "$shrunk_status" && click "$main" 1005 && wait_app_exit 15
        rc=$?
    fi
    return $rc
}

# The dialogs on a display scaled to 150%: the program draws them itself at that scale (the manifest says it
# is aware of the scale); the screenshots show whether anything is clipped or overlaps: the main window with the
# line on the choice (a remembered fit, with its megabytes beside the list) and then the preview's line, the About box, and after a shrink and a restore the clean-up's
# question and answer.
test_scaled_150()
{
    local main="PellmorWin v1.03" clean="Remove kept copy" rc=1
    make_game "$small" --entries 60 || return 1
    set_dpi 144
    set_game_dir "$small"
    printf '[PellmorWin]\r\nSettings=fit:2097152\r\n' >"$win_dir/app/PellmorWin.ini"
    start_app
    if wait_for "$main" "$standard_status" && wait_for "$main" "of 2.49 MB today" &&
        expect_control "$main" 1016 7 2 && shoot main-standard-150 "$main" && open_about "$main" 14; then
        shoot about-150 "About PellmorWin"
        click "About PellmorWin" 1 && click "$main" 1011 && wait_for "$main" "; it went to your web browser." &&
            shoot main-preview-150 "$main" &&
            click "$main" 1003 && wait_for "$main" "$shrunk_status" && click "$main" 1004 &&
            wait_for "$main" "$standard_status" && click "$main" 1014 && wait_for "$clean" "Remove these files?" &&
            shoot clean-question-150 "$clean" && click "$clean" 6 && wait_for "$clean" "Removed" &&
            shoot clean-result-150 "$clean" && click "$clean" 1 && wait_for "$main" "$standard_status" &&
            click "$main" 1005 && expect_exit && rc=0
    fi
    return $rc
}

# Four archives shrunk, and a preview made, at 150%: the status's lines overflow its box, which has a vertical
# scroll bar, so that its last line can be reached (Ctrl+End in the box shows it).
test_scaled_150_archives()
{
    local main="PellmorWin v1.03" game=$work/games/four archive rc=1
    make_game "$game" --entries 60 --extra-archive gta_int:30 --extra-archive mod:20 --extra-archive extra:20 ||
        return 1
    for archive in gta_int mod extra; do
        [[ -f $game/models/${archive}_ORIG_BAK.img ]] && mv -f "$game/models/${archive}_ORIG_BAK.img" "$game/models/$archive.img"
        rm -f "$game/models/${archive}_SHRUNK_BAK.img"
    done
    set_dpi 144
    set_game_dir "$game"
    start_app
    if wait_for "$main" "$standard_status" && click "$main" 1009 && wait_for "$main" "extra.img: original" &&
        click "$main" 1003 && wait_for "$main" "extra.img: shrunk" && click "$main" 1011 &&
        wait_for "$main" "; it went to your web browser."; then
        if [[ $(control_field 1001 8) == vscroll ]]; then
            shoot main-all-150 "$main"
            click "$main" 1001 && xdotool key ctrl+End && sleep 0.5 && shoot main-all-150-end "$main" &&
                click "$main" 1004 && wait_for "$main" "extra.img: original" && click "$main" 1005 && expect_exit &&
                rc=0
        else
            log "the status box has no vertical scroll bar"
        fi
    fi
    return $rc
}

run_test()
{
    local name=$1 started=$SECONDS rc
    said=0
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
        ((said)) || echo "  (a step failed without saying why)"
        echo "FAIL $name ($((SECONDS - started)) s)"
        failed=$((failed + 1))
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
    [[ -n $watch_pid ]] && kill "$watch_pid" 2>/dev/null
    app_pid=""
    first_pid=""
    watch_pid=""
    rm -f "$win_dir/app/PellmorWin.ini"
    # The server ends a moment after it is told to; a program started meanwhile would find it dying.
    wineserver -k 2>/dev/null
    timeout 60 wineserver -w 2>/dev/null
    # A test on a scaled display leaves the scale to be put back here, when none of its programs is left to keep
    # Wine's server (which set_dpi waits for) from ending.
    [[ $dpi == 96 ]] || set_dpi 96
}

mkdir -p "$work/games" "$screens"
rm -f "$screens"/*.png "$win_dir/app/PellmorWin.log"
small=$work/games/small
other=$work/games/other
big=$work/games/big

echo "==== gui suite ===="
if ! start_xvfb || ! prepare_prefix; then
    echo "gui: 0 passed, 1 failed (no X screen or Wine prefix)"
    exit 1
fi
if ! make_game "$small" --entries 60 || ! make_game "$other" --entries 40 || ! make_game "$big" --size 320; then
    echo "gui: 0 passed, 1 failed (sample games)"
    exit 1
fi

all_tests="auto-shrink auto-restore auto-held interactive preview cancel close-during-shrink two-programs
    write-protected scaled-150 scaled-150-archives in-game-folder scaled-150-progress texture-size"
for name in ${PELLMOR_GUI_TESTS:-$all_tests}; do
    run_test "$name"
done
echo "screenshots: $screens"
line="gui: $passed passed, $failed failed"
[[ $skipped -gt 0 ]] && line+=", $skipped skipped"
echo "$line"
[[ $failed -eq 0 ]]
