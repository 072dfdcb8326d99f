#!/usr/bin/env bash
# Installs the Debian packages that the named groups of work need (Debian 12, as root): the groups of
# need-deps.sh (build, windows, dist, tests, checks), every group when none is named. With checks also the preview
# test's npm packages, into the checkout. Safe to run again: apt skips what is there, the deb-src entry is added
# once.
#   scripts/install-deps.sh [GROUP...]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$here/need-deps.sh" --list "$@" >/dev/null || exit 2

if [[ $(id -u) -ne 0 ]]; then
    if command -v sudo >/dev/null 2>&1; then
        exec sudo -E "$0" "$@"
    fi
    "$here/need-deps.sh" "$@" || true
    echo "install-deps: the above is missing; run scripts/install-deps.sh $* as root to install it" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive

# `apt-get source libsquish` needs a deb-src entry for bookworm main. Debian 12 images carry either
# /etc/apt/sources.list or a deb822 debian.sources; the entry added takes the mirror named there. A machine
# whose apt sources name no bookworm mirror gets told how to add the entry itself.
add_deb_src()
{
    "$here/need-deps.sh" --deb-src && return 0
    local uri=""
    if [[ -r /etc/apt/sources.list.d/debian.sources ]]; then
        uri=$(awk '
            function check() { if (!uri && suites ~ /[ \t]bookworm([ \t]|$)/) uri = uris }
            /^[ \t]*$/ { check(); uris = suites = ""; next }
            tolower($1) == "uris:"   { uris = $2 }
            tolower($1) == "suites:" { suites = $0 }
            END { check(); print uri }' /etc/apt/sources.list.d/debian.sources)
    fi
    if [[ -z "$uri" && -r /etc/apt/sources.list ]]; then
        uri=$(awk '$1 == "deb" && $0 ~ / bookworm / {
                    for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' /etc/apt/sources.list)
    fi
    if [[ -z "$uri" ]]; then
        cat >&2 <<'NONE'
install-deps: apt's sources name no Debian 12 (bookworm) mirror, so there is none to take the sources of
libsquish from (the build compiles it from Debian's source package). Add a deb-src line for bookworm main
with the mirror you use to /etc/apt/sources.list, for example
    deb-src MIRROR bookworm main
(MIRROR: the address of a Debian mirror), then run scripts/install-deps.sh again.
NONE
        exit 1
    fi
    echo "install-deps: adding deb-src entry for bookworm main ($uri)"
    cat >/etc/apt/sources.list.d/pellmor-deb-src.sources <<SRC
Types: deb-src
URIs: $uri
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
}

add_deb_src

mapfile -t packages < <("$here/need-deps.sh" --list "$@")

# Wait for another apt (say, a first-boot upgrade) instead of failing on its lock.
apt_wait=(-o DPkg::Lock::Timeout=600)
apt-get "${apt_wait[@]}" update
apt-get "${apt_wait[@]}" install -y --no-install-recommends "${packages[@]}"

# The toolchain file names the -posix compilers directly; point the plain names
# at them too, so a hand-typed x86_64-w64-mingw32-g++ has std::thread as well.
for tool in gcc g++; do
    target=/usr/bin/x86_64-w64-mingw32-$tool-posix
    if [[ -x "$target" ]] && update-alternatives --list "x86_64-w64-mingw32-$tool" >/dev/null 2>&1; then
        update-alternatives --set "x86_64-w64-mingw32-$tool" "$target" >/dev/null
    fi
done

# The preview page's test drives Debian's chromium with puppeteer-core from npm, at the versions of its lock file;
# no browser is downloaded (PUPPETEER_SKIP_DOWNLOAD), the test names /usr/bin/chromium.
if "$here/need-deps.sh" --npm "$@"; then
    (cd "$here/../tests/preview" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund)
fi

if ! "$here/need-deps.sh" "$@"; then
    echo "install-deps: something is still missing" >&2
    exit 1
fi
echo "install-deps: all packages present"
