// SPDX-License-Identifier: GPL-3.0-or-later
#include "synctransport.h"

#include "foldertransport.h"
#include "webdavtransport.h"

#include <QBuffer>
#include <QTemporaryFile>

bool isWebDavPlace(const std::string& place)
{
    return place.starts_with("http://") || place.starts_with("https://");
}

std::unique_ptr<SyncTransport> openTransport(const SyncPlace& place)
{
    if (place.place.empty())
        throw SyncError("No sync place is set: choose a folder or a WebDAV address in Sync Settings.");
    if (isWebDavPlace(place.place))
        return std::make_unique<WebDavTransport>(place);
    return std::make_unique<FolderTransport>(place.place);
}

QByteArray SyncTransport::fetchSmall(const std::string& path)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    fetch(path, buffer);
    return bytes;
}

void SyncTransport::put(const std::string& path, const QByteArray& data)
{
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    put(path, buffer);
}

std::unique_ptr<QIODevice> SyncTransport::open(const std::string& path)
{
    auto file = std::make_unique<QTemporaryFile>();
    if (!file->open())
        throw SyncError("Cannot make a temporary file: " + file->errorString().toStdString());
    fetch(path, *file);
    if (!file->flush() || !file->seek(0))
        throw SyncError("Cannot keep a file from the place: " + file->errorString().toStdString());
    return file;
}

namespace {

class PutAtPlace : public SyncTransport::Sending {
public:
    PutAtPlace(SyncTransport& transport, std::string path, QIODevice& from)
        : transport(transport), path(std::move(path)), from(from)
    {
    }
    void place() override { transport.put(path, from); }

private:
    SyncTransport& transport;
    std::string path;
    QIODevice& from;
};

}  // namespace

std::unique_ptr<SyncTransport::Sending> SyncTransport::startPut(const std::string& path, QIODevice& from)
{
    return std::make_unique<PutAtPlace>(*this, path, from);
}
