// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/opencheck.h"

#include "base/address.h"
#include "shell/desktopservices.h"

#include <QFile>
#include <QMimeDatabase>

#include <cerrno>

#include <sys/stat.h>

namespace {

bool isDesktopLauncher(const std::string& path, const QMimeType& type)
{
    const std::string suffix = ".desktop";
    return type.inherits(QStringLiteral("application/x-desktop"))
           || (path.size() > suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0);
}

// Binaries and scripts; every script is plain text underneath.
bool isRunnableType(const QMimeType& type)
{
    static const char* const runnable[] = {"application/x-executable", "application/x-pie-executable",
                                           "application/x-sharedlib", "application/x-shellscript", "text/plain"};
    for (const char* name : runnable)
        if (type.inherits(QString::fromLatin1(name)))
            return true;
    return false;
}

}  // namespace

OpenCheck checkBeforeOpening(const std::string& target, int type)
{
    if (isScriptAddress(target))
        return {OpenCheck::ScriptAddress, {}};
    const QUrl url = targetUrl(target, type);
    if (!url.isLocalFile())
        return {};
    const std::string path = localPathBytes(url);
    const QString shown = QFile::decodeName(QByteArray::fromStdString(path));
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return {errno == ENOENT || errno == ENOTDIR ? OpenCheck::MissingFile : OpenCheck::Document, shown};
    if (!S_ISREG(info.st_mode))
        return {};
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(shown);
    const bool executable = (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
    if (isDesktopLauncher(path, mime) || (executable && isRunnableType(mime)))
        return {OpenCheck::Program, shown};
    return {};
}
