// SPDX-License-Identifier: GPL-3.0-or-later
#include "foldertransport.h"

#include <QFile>
#include <QSaveFile>
#include <QString>
#include <QUuid>

#include <chrono>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

constexpr qint64 Chunk = 256 * 1024;

QString native(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

[[noreturn]] void fail(const std::string& what, const std::filesystem::path& path, const std::string& reason)
{
    throw SyncError(what + " \"" + path.string() + "\": " + reason);
}

long long millisecondsOf(std::filesystem::file_time_type time)
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(file_clock::to_sys(time).time_since_epoch()).count();
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
    for (std::filesystem::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
        if (static_cast<int>(entries.size()) >= limits().listingEntries)
            fail("The sync folder holds too many entries", path,
                 "more than " + std::to_string(limits().listingEntries));
        RemoteEntry entry{it->path().filename().string(), it->is_directory(error)};
        if (!entry.folder)
            entry.size = static_cast<long long>(it->file_size(error));
        entry.modified = millisecondsOf(it->last_write_time(error));
        error.clear();
        entries.push_back(std::move(entry));
    }
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

void FolderTransport::fetch(const std::string& path, QIODevice& into)
{
    QFile file(native(root / path));
    if (!file.open(QIODevice::ReadOnly))
        fail("Cannot read", root / path, file.errorString().toStdString());
    QByteArray chunk;
    long long total = 0;
    for (;;) {
        chunk = file.read(Chunk);
        if (file.error() != QFile::NoError)
            fail("Cannot read", root / path, file.errorString().toStdString());
        if (chunk.isEmpty())
            break;
        total += chunk.size();
        if (total > limits().fileBytes)
            fail("Refused to read", root / path,
                 "it is larger than " + std::to_string(limits().fileBytes >> 20) + " MiB");
        if (into.write(chunk) != chunk.size())
            throw SyncError("Cannot keep what was read from \"" + (root / path).string()
                            + "\": " + into.errorString().toStdString());
    }
    received += total;
}

void FolderTransport::put(const std::string& path, QIODevice& from)
{
    // QSaveFile writes a temporary file beside the target, flushes it and renames it into place.
    QSaveFile file(native(root / path));
    if (!file.open(QIODevice::WriteOnly))
        fail("Cannot write", root / path, file.errorString().toStdString());
    from.seek(0);
    long long total = 0;
    for (QByteArray chunk = from.read(Chunk); !chunk.isEmpty(); chunk = from.read(Chunk)) {
        if (file.write(chunk) != chunk.size())
            fail("Cannot write", root / path, file.errorString().toStdString());
        total += chunk.size();
    }
    if (!file.commit())
        fail("Cannot write", root / path, file.errorString().toStdString());
    sent += total;
}

bool FolderTransport::create(const std::string& path, const QByteArray& data)
{
    const auto target = root / path;
    const auto temporary =
        target.parent_path() / (".create-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString());
    {
        QFile file(native(temporary));
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.flush())
            fail("Cannot write", temporary, file.errorString().toStdString());
        ::fsync(file.handle());
    }
    // A hard link is made only where no file is: of two devices making it at once, one wins.
    const int linked = ::link(temporary.c_str(), target.c_str());
    const int error = errno;
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    if (linked != 0 && error != EEXIST)
        fail("Cannot write", target, std::strerror(error));
    if (linked == 0)
        sent += data.size();
    return linked == 0;
}

void FolderTransport::remove(const std::string& path)
{
    std::error_code error;
    std::filesystem::remove(root / path, error);
    if (error)
        fail("Cannot remove", root / path, error.message());
}

void FolderTransport::removeFolder(const std::string& folder)
{
    std::error_code error;
    std::filesystem::remove_all(root / folder, error);
    if (error)
        fail("Cannot remove", root / folder, error.message());
}

std::unique_ptr<QIODevice> FolderTransport::open(const std::string& path)
{
    auto file = std::make_unique<QFile>(native(root / path));
    if (!file->open(QIODevice::ReadOnly))
        fail("Cannot read", root / path, file->errorString().toStdString());
    if (file->size() > limits().fileBytes)
        fail("Refused to read", root / path, "it is larger than " + std::to_string(limits().fileBytes >> 20) + " MiB");
    received += file->size();
    return file;
}
