#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# installed_layout.sh CMAKE BUILD_DIR SOURCE_DIR
# Installs the build for /usr into a scratch folder and checks that the desktop finds what the menu
# entry and the AppStream data name: the program on PATH, the icon under the entry's Icon, the
# entry under the metainfo's launchable, and the man page where man looks; and that browsers find the
# connector's host through their manifests.
set -eu
cmake=$1
build=$2
source=$3
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR="$root" "$cmake" --install "$build" --prefix /usr >/dev/null

failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}
expect() {
    [ -f "$root/$1" ] || fail "$1 is not installed"
}

id=app.varnelo.Varnelo
expect usr/bin/varnelo
[ -x "$root/usr/bin/varnelo" ] || fail "usr/bin/varnelo is not executable"
expect usr/share/applications/$id.desktop
expect usr/share/metainfo/$id.metainfo.xml
expect usr/share/icons/hicolor/scalable/apps/$id.svg
expect usr/share/man/man1/varnelo.1.gz
expect usr/share/man/man1/varnelo-cli.1.gz
expect usr/bin/varnelo-cli
[ -x "$root/usr/bin/varnelo-cli" ] || fail "usr/bin/varnelo-cli is not executable"
expect usr/libexec/varnelo/varnelo-extract
[ -x "$root/usr/libexec/varnelo/varnelo-extract" ] || fail "usr/libexec/varnelo/varnelo-extract is not executable"
expect usr/libexec/varnelo/varnelo-connector
[ -x "$root/usr/libexec/varnelo/varnelo-connector" ] || fail "usr/libexec/varnelo/varnelo-connector is not executable"
host=app.varnelo.connector.json
expect usr/lib/mozilla/native-messaging-hosts/$host
for folder in chromium opt/chrome; do
    found=$(find "$root" -path "*/etc/$folder/native-messaging-hosts/$host")
    [ -n "$found" ] || fail "no host manifest in etc/$folder/native-messaging-hosts"
done
for manifest in $(find "$root" -name $host); do
    grep -q '"path": "/.*/libexec/varnelo/varnelo-connector"' "$manifest" || fail "$manifest does not start the launcher"
done
ls "$root"/usr/share/varnelo/connector/varnelo-connector-*.xpi >/dev/null 2>&1 || fail "the extension's .xpi is not installed"
ls "$root"/usr/share/varnelo/connector/varnelo-connector-*.zip >/dev/null 2>&1 || fail "the extension's .zip is not installed"
expect usr/share/doc/varnelo/copyright
expect usr/share/doc/varnelo/changelog.gz

entry="$root/usr/share/applications/$id.desktop"
if [ -f "$entry" ]; then
    icon=$(sed -n 's/^Icon=//p' "$entry")
    [ "$icon" = "$id" ] || fail "the entry's Icon is '$icon', the installed icon is $id"
    exec=$(sed -n 's/^Exec=//p' "$entry")
    [ -x "$root/usr/bin/${exec%% *}" ] || fail "the entry's Exec '$exec' is not an installed program"
fi
metainfo="$root/usr/share/metainfo/$id.metainfo.xml"
if [ -f "$metainfo" ]; then
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
        || fail "the metainfo does not launch $id.desktop"
fi
for name in varnelo varnelo-cli; do
    page="$root/usr/share/man/man1/$name.1.gz"
    if [ -f "$page" ]; then
        gzip -dc "$page" | cmp -s - "$source/resources/$name.1" || fail "the installed man page differs from resources/$name.1"
    fi
done
[ "$failed" -eq 0 ] && echo "PASS: the installed files are where the desktop looks for them"
exit "$failed"
