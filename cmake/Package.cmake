# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `make package` configures a Release build for /usr without tests and runs
# cpack on it. The libraries come from dpkg-shlibdeps; the list below is what it cannot see, because
# the program loads it at run time or reaches it through other programs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnelo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Varnelo developers")
set(CPACK_PACKAGE_CONTACT "The Varnelo developers <support@varnelo.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "catalogue of documents and web addresses")
# one paragraph, lines kept short for dpkg and apt (a semicolon would split a CMake string)
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Varnelo keeps a tree of categories. Each category holds items that point at\n"
    "a file on disk or at a web address, with a title and a description. From one\n"
    "window you add, edit, copy, move and delete items and categories, open an\n"
    "item with its program or one you choose, search every item by keyword, back\n"
    "the catalogue up and restore it, and import a Favorites folder of web\n"
    "shortcuts. Every change is written at once to one SQLite file in your home\n"
    "folder. A browser extension for Firefox and the Chromium family files the\n"
    "page you are on; its host is installed for the browsers here.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://varnelo.app)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# qt6-qpa-plugins: the X11 platform plugin, without which no window opens (only recommended by Qt);
# libqt6svg6: the SVG icon engine and image plugin that draw every built-in icon;
# adwaita-icon-theme: the file-type icons of the item list; xdg-utils: xdg-open, through which
# items and web addresses open; fonts-dejavu-core: a system without fonts draws no text;
# fonts-liberation: Liberation Mono stands in for the dialogs' Courier New.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6svg6, adwaita-icon-theme, xdg-utils, fonts-dejavu-core, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The browser connector's host manifests for Chromium and Chrome live below /etc: an administrator's
# change to them survives an upgrade.
file(WRITE ${PROJECT_BINARY_DIR}/debian/conffiles
     "${CMAKE_INSTALL_FULL_SYSCONFDIR}/chromium/native-messaging-hosts/app.varnelo.connector.json\n"
     "${CMAKE_INSTALL_FULL_SYSCONFDIR}/opt/chrome/native-messaging-hosts/app.varnelo.connector.json\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/conffiles)

include(CPack)
