// SPDX-License-Identifier: GPL-3.0-or-later
#include "content/keptpages.h"

#include "base/files.h"
#include "shell/paths.h"

#include <QCryptographicHash>
#include <QStandardPaths>

#include <filesystem>

namespace content {

std::string keptPagesFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? std::string() : (data + QLatin1String("/Varnelo/pages")).toStdString();
}

std::string keptCopyPath(const std::string& pagesFolder, const std::string& address)
{
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(address), QCryptographicHash::Sha256);
    return pagesFolder + "/" + digest.toHex().left(32).toStdString() + ".html";
}

bool writeKeptCopy(const std::string& pagesFolder, const std::string& address, const std::string& page)
{
    std::error_code failure;
    std::filesystem::create_directories(pagesFolder, failure);
    std::filesystem::permissions(pagesFolder, std::filesystem::perms::owner_all, failure);
    return replaceFileContents(keptCopyPath(pagesFolder, address), page, NewFileMode::Private);
}

}  // namespace content
