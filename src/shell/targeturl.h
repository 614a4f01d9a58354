// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QUrl>

#include <string>

// A target with a URL scheme (by the one rule of targetScheme) opens as that URL; any other target is
// a local file (made absolute, so a name starting with "-" can never read as an option). A web address
// (type 1) without a scheme is taken as http://, as the link check takes it. Blanks around the target and one pair of
// enclosing double quotes are dropped. An empty target gives an empty (invalid) URL.
QUrl targetUrl(const std::string& target, int type);

// The exact bytes of a file URL's path (which need not be UTF-8); "" for any other URL.
std::string localPathBytes(const QUrl& url);

// The file URL of an absolute path given as its exact bytes.
QUrl fileUrlFromBytes(const QByteArray& absolutePath);
