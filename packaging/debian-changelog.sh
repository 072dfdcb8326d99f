#!/bin/sh
# Prints CHANGELOG.md as the Debian changelog of the package: one entry per "## VERSION (YYYY-MM-DD)" section,
# each paragraph or "- " item of it as one of the entry's items, wrapped to 80 columns, signed by the
# Maintainer of the control file on that day. Several releases of one day are told apart by the minute after
# midnight, the newest the latest, so that each entry is newer than the one below it.
#   packaging/debian-changelog.sh CHANGELOG.md debian/control.in
set -eu

changelog=$1 control=$2
maintainer=$(sed -n 's/^Maintainer: //p' "$control")

awk -v maintainer="$maintainer" '
    # The item gathered so far, as "  * " and lines of at most 80 columns.
    function flush_item(    n, words, i, line) {
        if (item == "") return
        n = split(item, words, " ")
        line = "  *"
        for (i = 1; i <= n; i++) {
            if (length(line) + 1 + length(words[i]) > 80 && line != "    ") { print line; line = "    " }
            line = line (line == "    " ? "" : " ") words[i]
        }
        print line
        item = ""
    }
    # The first pass counts the releases of each day.
    NR == FNR { if (/^## /) { d = $3; gsub(/[()]/, "", d); releases[d]++ } next }
    function close_entry(    cmd, stamp) {
        flush_item()
        if (version == "") return
        cmd = sprintf("date -u -R -d \"%s 00:%02d\"", day, minute)
        cmd | getline stamp
        close(cmd)
        printf "\n -- %s  %s\n", maintainer, stamp
    }
    /^## / {
        close_entry()
        if (version != "") print ""
        version = $2; day = $3; gsub(/[()]/, "", day)
        minute = releases[day] - (++seen[day])
        printf "pellmor (%s) unstable; urgency=medium\n\n", version
        next
    }
    version == "" { next }
    /^[ \t]*$/ { flush_item(); next }
    /^- / { flush_item(); sub(/^- /, ""); item = $0; next }
    { sub(/^[ \t]+/, ""); item = item == "" ? $0 : item " " $0 }
    END { close_entry() }' "$changelog" "$changelog"
