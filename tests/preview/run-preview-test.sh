#!/usr/bin/env bash
# The preview page in a real browser: pellmor preview of a sample archive with every texture kind, opened in
# Debian's chromium by check-page.js, against pellmor report --json of the same choice. Keeps the screenshots of a
# laptop's screen and a phone's as $BUILD_DIR/screens/preview.png (docs/screens/preview.png is a copy of one) and
# preview-phone.png. Prints the checks and "preview: N passed, M failed"; exits 1 when one failed.
# Needs the native build ($BUILD_DIR, default build) and scripts/install-deps.sh's npm ci in tests/preview.
set -uo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${BUILD_DIR:-build}
[[ "$build" = /* ]] || build="$repo/$build"
pellmor="$build/cli/pellmor"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL $1"; echo "preview: 0 passed, 1 failed"; exit 1; }
[[ -x "$pellmor" ]] || fail "no $pellmor (make native first)"
[[ -d "$repo/tests/preview/node_modules/puppeteer-core" ]] || fail "no puppeteer-core (scripts/install-deps.sh)"
"$build/tools/make-sample-game/make-sample-game" --out "$work/game" --entries 400 --lettering --quiet ||
    fail "make-sample-game"
# Far from any terminal: no progress line, the page's path alone. Without --out the page goes into the folder
# pellmor was started in (never beside the program), and a relative game folder is taken from there too.
page=$(cd "$work" && "$pellmor" preview game --max-side 256 </dev/null 2>"$work/preview.err") ||
    fail "pellmor preview: $(cat "$work/preview.err")"
[[ "$page" == "$work/pellmor-preview/index.html" ]] || fail "pellmor preview printed '$page'"
[[ ! -e "$build/cli/pellmor-preview" ]] || fail "pellmor preview wrote beside the program"
"$pellmor" report "$work/game" --max-side 256 --json >"$work/report.json" 2>/dev/null || fail "pellmor report --json"

mkdir -p "$build/screens"
out=$(cd "$repo/tests/preview" && node check-page.js "$page" "$work/report.json" "$build/screens/preview.png" \
    "$build/screens/preview-phone.png")
echo "$out"
passed=$(grep -c '^PASS ' <<<"$out")
failed=$(grep -c '^FAIL ' <<<"$out")
echo "preview: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
