// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synctransport.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

// What a WebDAV server answers about its folders, read as the one reader of that format.

// The entries of a PROPFIND multistatus answer, leaving out the folder asked about (its path,
// decoded). More than `limit` entries, or XML that does not read, raise SyncError naming `where`.
std::vector<RemoteEntry> readListing(const QByteArray& multistatus, const QString& folderPath, int limit,
                                     const std::string& where);

// "Wed, 10 Dec 2025 13:53:00 GMT" as milliseconds since the epoch; 0 when it is no such date.
long long httpDate(const QByteArray& text);
