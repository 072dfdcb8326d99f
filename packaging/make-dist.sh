#!/usr/bin/env bash
# Assembles the release packages from the release builds (make dist):
#   DIST/PellmorWin-VERSION-windows-x64.zip   the Windows programs, the read-me, the example skip rules, the
#                                             licence and the notices, text files with Windows line ends (and
#                                             a .txt file that holds more than ASCII with UTF-8's byte-order
#                                             mark, by which Notepad before Windows 10 knows it)
#   DIST/pellmor_VERSION_amd64.deb            pellmor, its manual page, its bash completion and its docs: the
#                                             read-me for Linux, the copyright as Debian wants it (no mark)
#   DIST/SHA256SUMS                           of both
# Two runs over the same builds of one commit give the same bytes: every time stamp is the last commit's
# (SOURCE_DATE_EPOCH, unless set; the present time outside a git checkout), the zip's entries are sorted and hold
# no owners, the package's files belong to root.
#   packaging/make-dist.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR DIST_DIR
set -euo pipefail

if [[ $# -ne 3 ]]; then
    echo "usage: $0 LINUX_BUILD_DIR WINDOWS_BUILD_DIR DIST_DIR" >&2
    exit 2
fi
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
linux=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
mkdir -p "$3"
dist=$(cd "$3" && pwd)
files=$linux/packaging
stage=$linux/dist-stage

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$repo" log -1 --format=%ct 2>/dev/null || date +%s)}
export TZ=UTC LC_ALL=C
umask 022

version=$("$linux/cli/pellmor" --version | sed -n '1s/^pellmor //p')
[[ -n $version ]] || { echo "make-dist: no version from $linux/cli/pellmor --version" >&2; exit 1; }
for f in "$windows/app/PellmorWin.exe" "$windows/cli/pellmor.exe" "$files/pellmor.1.gz" "$files/THIRD-PARTY.txt"; do
    [[ -f $f ]] || { echo "make-dist: $f is missing (make dist-linux dist-windows)" >&2; exit 1; }
done

# Every file and folder below $1 with the commit's time.
stamp() { find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +; }
# A text file for Windows: Windows line ends, and the byte-order mark before a .txt file's text beyond ASCII.
windows_text()
{
    if [[ $2 == *.txt ]] && LC_ALL=C grep -q '[^[:print:][:space:]]' "$1"; then
        printf '\357\273\277' >"$2"
    else
        : >"$2"
    fi
    sed 's/\r$//; s/$/\r/' "$1" >>"$2"
}

# ---- The Windows zip ------------------------------------------------------------------------------------------

zip_name=PellmorWin-$version-windows-x64.zip
zip_stage=$stage/windows
rm -rf "$zip_stage"
mkdir -p "$zip_stage"
cp "$windows/app/PellmorWin.exe" "$windows/cli/pellmor.exe" "$zip_stage/"
windows_text "$repo/packaging/README.txt" "$zip_stage/README.txt"
windows_text "$files/SkipRules.example.ini" "$zip_stage/SkipRules.example.ini"
windows_text "$repo/LICENSE" "$zip_stage/LICENSE.txt"
windows_text "$files/THIRD-PARTY.txt" "$zip_stage/THIRD-PARTY.txt"
chmod 0644 "$zip_stage"/*
stamp "$zip_stage"
rm -f "$dist/$zip_name"
(cd "$zip_stage" && find . -type f -printf '%P\n' | sort | zip -q -X -9 -@ "$dist/$zip_name")

# ---- The Debian package ---------------------------------------------------------------------------------------

deb_name=pellmor_${version}_amd64.deb
deb_stage=$stage/pellmor
doc=$deb_stage/usr/share/doc/pellmor
rm -rf "$deb_stage"
DESTDIR=$deb_stage cmake --install "$linux" --prefix /usr --strip >/dev/null
# As Debian's own packages are stripped: also without the compiler's version notes.
strip --remove-section=.comment --remove-section=.note "$deb_stage/usr/bin/pellmor"
mkdir -p "$doc" "$deb_stage/DEBIAN"
cp "$files/copyright" "$doc/copyright"
cp "$repo/packaging/README-linux.txt" "$doc/README"
"$repo/packaging/debian-changelog.sh" "$repo/CHANGELOG.md" "$repo/packaging/debian/control.in" |
    gzip -9n >"$doc/changelog.gz"

# dpkg-shlibdeps reads the source package's control file; a minimal one in a folder of its own will do.
shlibs=$stage/shlibdeps
rm -rf "$shlibs"
mkdir -p "$shlibs/debian"
printf 'Source: pellmor\n\nPackage: pellmor\nArchitecture: amd64\n' >"$shlibs/debian/control"
depends=$(cd "$shlibs" && dpkg-shlibdeps -O -e"$deb_stage/usr/bin/pellmor" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
[[ -n $depends ]] || { echo "make-dist: dpkg-shlibdeps found no dependencies of pellmor" >&2; exit 1; }
# What dpkg counts: each file's size in KiB, rounded up, and one KiB for every other entry.
size=$(cd "$deb_stage" && find usr -printf '%y %s\n' | awk '$1 == "f" { k += int(($2 + 1023) / 1024); next } { k++ } END { print k }')
sed -e "s/@VERSION@/$version/" -e "s/@DEPENDS@/$depends/" -e "s/@INSTALLED_SIZE@/$size/" \
    "$repo/packaging/debian/control.in" >"$deb_stage/DEBIAN/control"
(cd "$deb_stage" && find usr -type f | sort | xargs md5sum >DEBIAN/md5sums)
chmod 0644 "$deb_stage/DEBIAN/control" "$deb_stage/DEBIAN/md5sums"
stamp "$deb_stage"
dpkg-deb --root-owner-group -Zxz --build "$deb_stage" "$dist/$deb_name" >/dev/null

(cd "$dist" && sha256sum "$zip_name" "$deb_name" >SHA256SUMS)
echo "make-dist: $dist/$zip_name, $dist/$deb_name and SHA256SUMS"
