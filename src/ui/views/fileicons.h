// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QString>

#include <string>

// Makes theme icons resolvable where no desktop names a theme (offscreen, a bare X server).
void ensureIconTheme();

// The icon of a file type, from the name alone: the file is never touched.
QIcon fileTypeIcon(const QString& fileName);

// The row icon of an item: a web address (type 1) shows the icon of a web page, a file its type's.
QIcon itemIcon(const std::string& target, int type);
