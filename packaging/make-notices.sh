#!/bin/sh
# Writes the notices of the third-party code from what the build compiled and linked, so that they are never
# copied by hand:
#   OUT/THIRD-PARTY.txt  for the Windows download: THIRD-PARTY.md, then libsquish's copyright and licence (from
#                        the debian/copyright of the source package the build compiled), then the copyright file
#                        of Debian's mingw-w64 runtime (the start-up code and winpthreads in the static .exe files)
#   OUT/copyright        for the Debian package, in Debian's machine-readable format: PellmorWin's own (LICENSE)
#                        and libsquish's
#   packaging/make-notices.sh THIRD-PARTY.md LICENSE SQUISH_SOURCE_DIR MINGW_COPYRIGHT OUT
set -eu

notes=$1 license=$2 squish=$3 mingw=$4 out=$5

squish_copyright=$squish/debian/copyright
for f in "$notes" "$license" "$squish_copyright" "$squish/debian/changelog" "$mingw"; do
    [ -r "$f" ] || { echo "make-notices: cannot read $f" >&2; exit 1; }
done

# "1.15-3", from the first line of the package's changelog: "libsquish (1.15-3) unstable; urgency=medium".
squish_version=$(sed -n '1s/^[^ ]* (\([^)]*\)).*/\1/p' "$squish/debian/changelog")
squish_upstream=${squish_version%-*}
mingw_version=$(dpkg-query -W -f='${Version}' mingw-w64-x86-64-dev 2>/dev/null || echo unknown)

# The holders of the "Files: *" paragraph, one a line: "2006 Simon Brown <si@sjbrown.co.uk>".
squish_holders=$(awk '
    /^$/ { files = copyright = 0; next }
    /^Files:/ { files = ($2 == "*" && NF == 2); copyright = 0; next }
    files && /^Copyright:/ { copyright = 1; sub(/^Copyright:[ \t]*/, ""); print; next }
    files && copyright && /^[ \t]/ { sub(/^[ \t]+/, ""); print; next }
    { copyright = 0 }' "$squish_copyright")
# The text of the stand-alone "License: MIT" paragraph, in its own layout (" ." lines are blank lines).
squish_license=$(awk '
    prev == "" && /^License: MIT[ \t]*$/ { on = 1; prev = $0; next }
    on && /^[ \t]/ { sub(/^ /, ""); if ($0 == ".") $0 = ""; print; prev = $0; next }
    { on = 0; prev = $0 }' "$squish_copyright")
if [ -z "$squish_holders" ] || [ -z "$squish_license" ]; then
    echo "make-notices: no Files: * copyright or License: MIT text in $squish_copyright" >&2
    exit 1
fi

# LICENSE: its "Copyright (c) YEAR HOLDER" line, and the licence text after it.
own_holder=$(sed -n 's/^Copyright (c) //p' "$license" | head -n1)
own_license=$(sed '1,/^Copyright /d' "$license" | sed '/./,$!d')

underline() { printf '%s\n' "$1"; printf '%s\n' "$1" | sed 's/./=/g'; }

{
    cat "$notes"
    echo
    echo
    underline "libsquish $squish_upstream (Debian source package libsquish $squish_version)"
    echo
    printf '%s\n' "$squish_holders" | sed 's/^/Copyright (c) /'
    echo
    printf '%s\n' "$squish_license"
    echo
    echo
    underline "mingw-w64 runtime (Debian package mingw-w64-x86-64-dev $mingw_version)"
    echo
    echo "The copyright file of the Debian package follows as it is; the Windows programs contain its C runtime"
    echo "start-up code and winpthreads."
    echo
    cat "$mingw"
} >"$out/THIRD-PARTY.txt.new"

{
    echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
    echo "Upstream-Name: PellmorWin"
    echo
    echo "Files: *"
    echo "Copyright: $own_holder"
    echo "License: MIT"
    echo
    echo "Files: libsquish/*"
    printf '%s\n' "$squish_holders" | sed '1s/^/Copyright: /; 2,$s/^/           /'
    echo "Comment: libsquish $squish_upstream, the DXT block coder, is compiled into /usr/bin/pellmor from"
    echo " Debian's source package libsquish $squish_version; this is the copyright of its debian/copyright."
    echo "License: MIT"
    echo
    echo "License: MIT"
    printf '%s\n' "$own_license" | sed 's/^$/./; s/^/ /'
} >"$out/copyright.new"

mv "$out/THIRD-PARTY.txt.new" "$out/THIRD-PARTY.txt"
mv "$out/copyright.new" "$out/copyright"
