#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# versions_agree.sh VERSION SOURCE_DIR
# The project's version is written out in files that CMake does not generate: the newest
# AppStream release, the newest changelog entry, the man pages' footers and the browser extension's
# manifest must all name it.
set -eu
version=$1
resources=$2/resources
failed=0
agree() {
    if [ "$2" != "$version" ]; then
        echo "FAIL: $1 names version '$2', the project is $version"
        failed=1
    fi
}
agree "the newest release in the metainfo" \
    "$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$resources/app.varnelo.Varnelo.metainfo.xml" | head -n 1)"
agree "the newest changelog entry" "$(sed -n '1s/^varnelo (\([^)]*\)).*/\1/p' "$resources/changelog")"
agree "the man page" "$(sed -n 's/^\.TH VARNELO 1 "[^"]*" "Varnelo \([^"]*\)".*/\1/p' "$resources/varnelo.1")"
agree "the command line's man page" "$(sed -n 's/^\.TH VARNELO-CLI 1 "[^"]*" "Varnelo \([^"]*\)".*/\1/p' "$resources/varnelo-cli.1")"
agree "the browser extension's manifest" "$(sed -n 's/^ *"version": "\([^"]*\)".*/\1/p' "$2/connector/manifest.json")"
[ "$failed" -eq 0 ] && echo "PASS: every file names version $version"
exit "$failed"
