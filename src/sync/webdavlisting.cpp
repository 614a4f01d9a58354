// SPDX-License-Identifier: GPL-3.0-or-later
#include "webdavlisting.h"

#include <QDateTime>
#include <QLocale>
#include <QUrl>
#include <QXmlStreamReader>

namespace {

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

}  // namespace

long long httpDate(const QByteArray& text)
{
    QDateTime time = QLocale::c().toDateTime(QString::fromLatin1(text.trimmed().left(25)), "ddd, dd MMM yyyy hh:mm:ss");
    if (!time.isValid())
        return 0;
    time.setTimeSpec(Qt::UTC);
    return time.toMSecsSinceEpoch();
}

std::vector<RemoteEntry> readListing(const QByteArray& multistatus, const QString& folderPath, int limit,
                                     const std::string& where)
{
    std::vector<RemoteEntry> entries;
    QXmlStreamReader xml(multistatus);
    QString href;
    RemoteEntry entry;
    const QString self = withoutTrailingSlash(folderPath);
    while (!xml.atEnd()) {
        xml.readNext();
        const bool dav = xml.namespaceUri() == QLatin1String("DAV:");
        if (xml.isStartElement() && dav) {
            if (xml.name() == QLatin1String("response")) {
                href.clear();
                entry = RemoteEntry();
            } else if (xml.name() == QLatin1String("href")) {
                href = xml.readElementText();
            } else if (xml.name() == QLatin1String("collection")) {
                entry.folder = true;
            } else if (xml.name() == QLatin1String("getcontentlength")) {
                bool number = false;
                const long long size = xml.readElementText().trimmed().toLongLong(&number);
                entry.size = number && size >= 0 ? size : -1;
            } else if (xml.name() == QLatin1String("getlastmodified")) {
                entry.modified = httpDate(xml.readElementText().toLatin1());
            }
        } else if (xml.isEndElement() && dav && xml.name() == QLatin1String("response")) {
            const QString path = withoutTrailingSlash(QUrl(href).path(QUrl::FullyDecoded));
            if (path == self || path.isEmpty())
                continue;
            entry.name = path.section('/', -1).toStdString();
            if (entry.name.empty())
                continue;
            if (static_cast<int>(entries.size()) >= limit)
                throw SyncError("The WebDAV server at " + where + " lists more than " + std::to_string(limit)
                                + " entries in one folder: refused.");
            entries.push_back(entry);
        }
    }
    if (xml.hasError())
        throw SyncError("The WebDAV server at " + where
                        + " sent a folder listing that cannot be read: " + xml.errorString().toStdString());
    return entries;
}
