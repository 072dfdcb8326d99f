#!/bin/sh
# Writes the manual page pellmor.1: its title line (the version of `pellmor --version`, the date of that
# release in CHANGELOG.md), the name line, the sections the program writes from its own tables
# (`pellmor --man-page`), the hand-written sections, and the copyright line of LICENSE.
#   packaging/make-manpage.sh PELLMOR SECTIONS LICENSE CHANGELOG OUT
set -eu

pellmor=$1 sections=$2 license=$3 changelog=$4 out=$5

version=$("$pellmor" --version | sed -n '1s/^pellmor //p')
# "## 1.03.1 (2026-12-07)"
date=$(sed -n "s/^## $version (\([0-9-]*\))\$/\1/p" "$changelog")
if [ -z "$version" ] || [ -z "$date" ]; then
    echo "make-manpage: no section \"## $version (YYYY-MM-DD)\" in $changelog" >&2
    exit 1
fi
copyright=$(grep -m1 '^Copyright ' "$license")

{
    printf '.TH PELLMOR 1 "%s" "pellmor %s" "User Commands"\n' "$date" "$version"
    # Paths and options are not hyphenated, and lines are not stretched to the margin around them.
    printf '.nh\n.ad l\n'
    printf '.SH NAME\npellmor \\- make the texture archive of GTA San Andreas smaller, and undo it\n'
    "$pellmor" --man-page
    cat "$sections"
    printf '.SH COPYRIGHT\n%s.\n' "$copyright"
    printf 'Free software under the MIT licence; the licence texts come with the program.\n'
} >"$out.new"
mv "$out.new" "$out"
