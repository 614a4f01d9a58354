// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where each file dialog opens: the home folder the first time, then the folder the user last chose
// from in that dialog (told apart by its caption), kept in a section of the settings file.
QString dialogStartFolder(const QString& dialog);
void rememberDialogFolder(const QString& dialog, const QString& chosen);
