// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/dialogfolders.h"

#include "shell/appsettings.h"
#include "shell/paths.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

namespace {

const char* const foldersSection = "Folders";

std::string keyOf(const QString& dialog)
{
    return dialog.isEmpty() ? std::string("Add File(s)") : dialog.toStdString();
}

}  // namespace

QString dialogStartFolder(const QString& dialog)
{
    const QString folder = QString::fromStdString(readIniText(windowStateFilePath(), foldersSection, keyOf(dialog)));
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

void rememberDialogFolder(const QString& dialog, const QString& chosen)
{
    if (chosen.isEmpty())
        return;
    try {
        writeIniTexts(windowStateFilePath(), foldersSection,
                      {{keyOf(dialog), QFileInfo(chosen).absolutePath().toStdString()}});
    } catch (const std::runtime_error&) {
        // The next dialog opens in the home folder again; nothing else is lost.
    }
}
