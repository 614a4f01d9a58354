// SPDX-License-Identifier: GPL-3.0-or-later
#include "synctransport.h"

#include "foldertransport.h"
#include "webdavtransport.h"

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
