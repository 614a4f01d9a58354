// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/commands/sendrequestqueue.h"

#include "ui/common/dialogseam.h"
#include "ui/views/catalogueview.h"

#include <utility>

SendRequestQueue::SendRequestQueue(CatalogueView& catalogueView, QWidget* owner, Show showRequest, QObject* parent)
    : QObject(parent), view(catalogueView), window(owner), show(std::move(showRequest))
{
}

void SendRequestQueue::receive(const QByteArray& request)
{
    if (!std::exchange(showing, true)) {
        view.whenIdle([this, request] { showFrom(request); });
        return;
    }
    if (gathered.size() < maxGathered)
        gathered.push_back(request);
    else
        ++refused;
}

void SendRequestQueue::showFrom(const QByteArray& first)
{
    show(first);
    // What comes while the gathered ones are shown (or asked about) is gathered again.
    while (!gathered.empty() || refused > 0) {
        const bool wanted = gatheredWanted();
        const std::vector<QByteArray> batch = std::exchange(gathered, {});
        if (wanted)
            for (const QByteArray& request : batch)
                show(request);
    }
    showing = false;
}

bool SendRequestQueue::gatheredWanted()
{
    if (const std::size_t count = std::exchange(refused, 0); count > 0)
        seam::message(window, QMessageBox::Warning, QStringLiteral("Varnelo"),
                      QStringLiteral("Too many pages were sent to Varnelo at once: %1 of them were refused. A web "
                                     "page may be sending them on its own.")
                          .arg(count));
    if (gathered.empty())
        return false;
    const QString text = gathered.size() == 1
                             ? QStringLiteral("1 more page was sent to Varnelo.")
                             : QStringLiteral("%1 more pages were sent to Varnelo.").arg(gathered.size());
    return seam::choice(window, QMessageBox::Question, QStringLiteral("Varnelo"), text, QStringLiteral("Show them"),
                        QStringLiteral("Discard"));
}
