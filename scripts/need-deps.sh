#!/usr/bin/env bash
# Exits 0 when every Debian package, command and apt source that the build and
# the tests rely on is present, 1 otherwise (and names what is missing on stderr).
#   scripts/need-deps.sh          check
#   scripts/need-deps.sh --list     print the package list (install-deps.sh reads it)
#   scripts/need-deps.sh --deb-src  check only for a deb-src entry for bookworm main
set -uo pipefail

PACKAGES=(
    # native build and tests
    build-essential cmake make git pkg-config
    googletest libgtest-dev libgmock-dev
    # the tests' reader of the command's JSON (header only)
    nlohmann-json3-dev
    # Windows cross build: the posix-thread variant gives std::thread and std::mutex
    gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    # Windows tests under Wine (64-bit only, no i386 multiarch)
    wine wine64 libwine
    # X libraries and fonts Wine loads at run time for real windows and dialogs;
    # they are only recommends, so they are named here
    fonts-wine fonts-liberation libgnutls30 libdbus-1-3
    libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxinerama1 libxfixes3 libxxf86vm1
    # GUI runs and screenshots
    xvfb xauth xdotool x11-apps imagemagick
    # GNU time for measured runs
    time
    # the preview's PNG files (stb_image_write, header only; the tests read them back with stb_image)
    libstb-dev
    # the preview page's test: Debian's browser, headless, driven by a Node script (puppeteer-core from npm,
    # which comes with nodejs)
    chromium nodejs
    # dpkg-dev so that `apt-get source libsquish` works: both builds compile the block coder from Debian's source
    dpkg-dev
    # fuzz targets: clang with libFuzzer and the sanitizer runtimes, and llvm-symbolizer for readable reports
    clang libclang-rt-14-dev llvm-14
    # real system calls made to fail (make syscall-faults)
    strace
    # the release packages (make dist) and their check: zip and unzip for the Windows download, dpkg-dev's
    # dpkg-shlibdeps and dpkg-buildflags, lintian, man-db to render the manual page, bash-completion whose
    # helpers the completion uses in an interactive bash
    zip unzip lintian man-db bash-completion
)

COMMANDS=(
    gcc g++ make cmake ctest git pkg-config
    x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres
    wine wineboot wineserver
    Xvfb xvfb-run xauth xdotool xwd import
    dpkg-source
    clang clang++ llvm-symbolizer-14
    strace
    chromium node npm
    zip unzip lintian man dpkg-deb dpkg-shlibdeps dpkg-buildflags gzip
)

if [[ "${1:-}" == "--list" ]]; then
    printf '%s\n' "${PACKAGES[@]}"
    exit 0
fi

# True when apt knows a deb-src entry for bookworm main, in either the one-line
# format (*.list) or the deb822 format (*.sources).
have_bookworm_deb_src()
{
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -r "$f" ]] || continue
        if grep -Eq '^[[:space:]]*deb-src[[:space:]]+(\[[^]]*\][[:space:]]+)?[^[:space:]]+[[:space:]]+bookworm[[:space:]]+(.*[[:space:]])?main([[:space:]]|$)' "$f"; then
            return 0
        fi
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [[ -r "$f" ]] || continue
        # Stanzas are separated by blank lines; field names are case-insensitive.
        if awk '
            function check() { if (types ~ /(^|[ \t])deb-src([ \t]|$)/ && suites ~ /(^|[ \t])bookworm([ \t]|$)/ &&
                                   comps ~ /(^|[ \t])main([ \t]|$)/ && enabled !~ /^[ \t]*no/) found = 1 }
            /^[ \t]*$/ { check(); types = suites = comps = enabled = ""; next }
            /^[ \t]*#/ { next }
            tolower($0) ~ /^types:/      { types = $0 }
            tolower($0) ~ /^suites:/     { suites = $0 }
            tolower($0) ~ /^components:/ { comps = $0 }
            tolower($0) ~ /^enabled:/    { sub(/^[^:]*:/, ""); enabled = tolower($0) }
            END { check(); exit found ? 0 : 1 }' "$f"; then
            return 0
        fi
    done
    return 1
}

if [[ "${1:-}" == "--deb-src" ]]; then
    have_bookworm_deb_src
    exit
fi

missing=0

installed=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${PACKAGES[@]}" 2>/dev/null)
for p in "${PACKAGES[@]}"; do
    if ! grep -Eq "^${p//+/\\+} ii" <<<"$installed"; then
        echo "need-deps: package $p is not installed" >&2
        missing=1
    fi
done

for c in "${COMMANDS[@]}"; do
    if ! command -v "$c" >/dev/null 2>&1; then
        echo "need-deps: command $c not found" >&2
        missing=1
    fi
done

# Debian's wine64 package keeps the loader out of PATH.
if [[ ! -x /usr/lib/wine/wine64 ]]; then
    echo "need-deps: /usr/lib/wine/wine64 is missing (package wine64)" >&2
    missing=1
fi

if [[ ! -f /usr/src/googletest/CMakeLists.txt ]]; then
    echo "need-deps: /usr/src/googletest is missing (package googletest)" >&2
    missing=1
fi

# The preview page's test: puppeteer-core at the versions of its lock file (install-deps.sh runs npm ci).
here=$(cd "$(dirname "$0")" && pwd)
if [[ ! -f "$here/../tests/preview/node_modules/puppeteer-core/package.json" ]]; then
    echo "need-deps: tests/preview/node_modules has no puppeteer-core (npm ci)" >&2
    missing=1
fi

if ! have_bookworm_deb_src; then
    echo "need-deps: no deb-src entry for bookworm main" >&2
    missing=1
fi

exit $missing
