#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages Varnelo needs to build, test, package and run (chromium and
# python3-websocket only for the browser connector's end-to-end test).
# Idempotent: asks apt only for what is missing, and updates the package
# lists only when something has to be installed.
set -eu

PACKAGES="
build-essential cmake pkg-config clang-14 libclang-rt-14-dev clang-tidy-14 clang-format-14
qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6
libglib2.0-dev libsqlite3-dev sqlite3 libsimpleini-dev libicu-dev libxml2-dev
libgtest-dev libgmock-dev zlib1g-dev libpng-dev libbenchmark-dev
adwaita-icon-theme fonts-dejavu-core fonts-liberation xdg-utils desktop-file-utils
xvfb xauth xdotool imagemagick fluxbox dbus-x11 at-spi2-core python3 python3-pyatspi
appstream groff-base dpkg-dev file locales
rclone gnome-keyring libsecret-tools qtkeychain-qt6-dev nlohmann-json3-dev openssl dbus
libpoppler-cpp-dev libzip-dev pandoc ghostscript recoll
chromium python3-websocket
libzstd-dev libsodium-dev libsimdjson-dev apache2 libfaketime
"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^ii'; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" != 0 ]; then
    SUDO="sudo"
fi

echo "Installing:$missing"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q $missing
