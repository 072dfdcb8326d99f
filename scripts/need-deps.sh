#!/usr/bin/env bash
# Exits 0 when every Debian package, command and apt source that the named groups of work rely on is present,
# 1 otherwise (and names what is missing on stderr). The groups:
#   build    the Linux programs for release: make demo, and with dist also make dist-linux and make install
#   windows  the Windows programs (mingw-w64)
#   dist     the release packages: make dist (with build and windows)
#   tests    the test programs that make native and make windows build beside the programs
#   checks   running the suites: Wine, X, the browser and the preview test's npm packages, the fuzz targets'
#            clang, strace, lintian
#   all      every group (the default)
# So a user who has the Debian packages builds and runs the demo without the test suites' npm packages, which
# only root installs into the checkout.
#   scripts/need-deps.sh [GROUP...]            check
#   scripts/need-deps.sh --list [GROUP...]     print the groups' package list (install-deps.sh reads it)
#   scripts/need-deps.sh --npm [GROUP...]      exit 0 when the groups include the npm packages
#   scripts/need-deps.sh --deb-src            check only for a deb-src entry for bookworm main
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)

# Each group's packages and the commands they bring.
BUILD_PACKAGES=(
    build-essential cmake make git pkg-config
    # the preview's PNG files and the resampling modes' block coder (stb, header only)
    libstb-dev
    # dpkg-dev so that `apt-get source libsquish` works: both builds compile the block coder from Debian's source;
    # dpkg-buildflags gives the release build Debian's hardening flags
    dpkg-dev
)
BUILD_COMMANDS=(gcc g++ make cmake git pkg-config dpkg-source dpkg-buildflags gzip)

# The posix-thread variant gives std::thread and std::mutex. Its runtime's copyright file is also what the notices
# of the release files are made from, in the Linux build too.
WINDOWS_PACKAGES=(gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64)
WINDOWS_COMMANDS=(x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres)

# zip for the Windows download; dpkg-dev's dpkg-shlibdeps for the package's Depends.
DIST_PACKAGES=(zip dpkg-dev)
DIST_COMMANDS=(zip dpkg-deb dpkg-shlibdeps)

TESTS_PACKAGES=(
    googletest libgtest-dev libgmock-dev
    # the tests' reader of the command's JSON (header only)
    nlohmann-json3-dev
)
TESTS_COMMANDS=(ctest)

CHECKS_PACKAGES=(
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
    # the preview page's test: Debian's browser, headless, driven by a Node script (puppeteer-core from npm,
    # which comes with nodejs)
    chromium nodejs
    # fuzz targets: clang with libFuzzer and the sanitizer runtimes, and llvm-symbolizer for readable reports
    clang libclang-rt-14-dev llvm-14
    # real system calls made to fail (make syscall-faults)
    strace
    # the packaging check: unzip, lintian, man-db to render the manual page, bash-completion whose helpers the
    # completion uses in an interactive bash
    unzip lintian man-db bash-completion
)
CHECKS_COMMANDS=(
    wine wineboot wineserver
    Xvfb xvfb-run xauth xdotool xwd import
    clang clang++ llvm-symbolizer-14
    strace
    chromium node npm
    unzip lintian man
)

mode=check
case "${1:-}" in
    --list | --npm | --deb-src) mode=${1#--}; shift ;;
esac
groups=("$@")
((${#groups[@]})) || groups=(all)
[[ " ${groups[*]} " == *" all "* ]] && groups=(build windows dist tests checks)
PACKAGES=()
COMMANDS=()
for group in "${groups[@]}"; do
    case $group in
        build) PACKAGES+=("${BUILD_PACKAGES[@]}"); COMMANDS+=("${BUILD_COMMANDS[@]}") ;;
        windows) PACKAGES+=("${WINDOWS_PACKAGES[@]}"); COMMANDS+=("${WINDOWS_COMMANDS[@]}") ;;
        dist) PACKAGES+=("${DIST_PACKAGES[@]}"); COMMANDS+=("${DIST_COMMANDS[@]}") ;;
        tests) PACKAGES+=("${TESTS_PACKAGES[@]}"); COMMANDS+=("${TESTS_COMMANDS[@]}") ;;
        checks) PACKAGES+=("${CHECKS_PACKAGES[@]}"); COMMANDS+=("${CHECKS_COMMANDS[@]}") ;;
        *) echo "need-deps: no group $group (build, windows, dist, tests, checks, all)" >&2; exit 2 ;;
    esac
done
# A package or command of two groups once.
mapfile -t PACKAGES < <(printf '%s\n' "${PACKAGES[@]}" | awk '!seen[$0]++')
mapfile -t COMMANDS < <(printf '%s\n' "${COMMANDS[@]}" | awk '!seen[$0]++')
# Whether the groups hold $1.
wants() { [[ " ${groups[*]} " == *" $1 "* ]]; }

if [[ $mode == list ]]; then
    printf '%s\n' "${PACKAGES[@]}"
    exit 0
fi
if [[ $mode == npm ]]; then
    wants checks
    exit
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

if [[ $mode == deb-src ]]; then
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
if wants checks && [[ ! -x /usr/lib/wine/wine64 ]]; then
    echo "need-deps: /usr/lib/wine/wine64 is missing (package wine64)" >&2
    missing=1
fi

if wants tests && [[ ! -f /usr/src/googletest/CMakeLists.txt ]]; then
    echo "need-deps: /usr/src/googletest is missing (package googletest)" >&2
    missing=1
fi

# The preview page's test: puppeteer-core at the versions of its lock file (install-deps.sh runs npm ci).
if wants checks && [[ ! -f "$here/../tests/preview/node_modules/puppeteer-core/package.json" ]]; then
    echo "need-deps: tests/preview/node_modules has no puppeteer-core (npm ci)" >&2
    missing=1
fi

# The block coder's sources, for every build.
if (wants build || wants windows) && ! have_bookworm_deb_src; then
    echo "need-deps: no deb-src entry for bookworm main" >&2
    missing=1
fi

exit $missing
