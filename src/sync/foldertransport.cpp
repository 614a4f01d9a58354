// SPDX-License-Identifier: GPL-3.0-or-later
#include "foldertransport.h"

#include <QFile>
#include <QSaveFile>
#include <QString>

namespace {

QString native(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, const std::string& reason)
{
    throw SyncError(what + " \"" + path.string() + "\": " + reason);
}

}  // namespace

FolderTransport::FolderTransport(std::filesystem::path root) : root(std::move(root))
{
}

std::optional<std::vector<RemoteEntry>> FolderTransport::list(const std::string& folder)
{
    const auto path = root / folder;
    std::error_code error;
    if (!std::filesystem::is_directory(path, error)) {
        if (!std::filesystem::exists(root, error))
            fail("The sync folder is not there", root, "check that it is mounted and reachable");
        return std::nullopt;
    }
    std::vector<RemoteEntry> entries;
    for (std::filesystem::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
        entries.push_back({it->path().filename().string(), it->is_directory()});
    if (error)
        fail("Cannot read the folder", path, error.message());
    return entries;
}

void FolderTransport::makeFolder(const std::string& folder)
{
    std::error_code error;
    std::filesystem::create_directory(root / folder, error);
    if (error)
        fail("Cannot create the folder", root / folder, error.message());
}

QByteArray FolderTransport::get(const std::string& path)
{
    QFile file(native(root / path));
    if (!file.open(QIODevice::ReadOnly))
        fail("Cannot read", root / path, file.errorString().toStdString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFile::NoError)
        fail("Cannot read", root / path, file.errorString().toStdString());
    received += bytes.size();
    return bytes;
}

void FolderTransport::put(const std::string& path, const QByteArray& data)
{
    // QSaveFile writes a temporary file beside the target, flushes it and renames it into place.
    QSaveFile file(native(root / path));
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        fail("Cannot write", root / path, file.errorString().toStdString());
    sent += data.size();
}

void FolderTransport::remove(const std::string& path)
{
    std::error_code error;
    std::filesystem::remove(root / path, error);
    if (error)
        fail("Cannot remove", root / path, error.message());
}
