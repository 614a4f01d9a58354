// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/backup/movedcatalogue.h"

#include "session/cataloguesession.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"
#include "ui/views/catalogueview.h"

#include <QMainWindow>
#include <QStatusBar>

MovedCatalogue::MovedCatalogue(CatalogueSession& catalogueSession, CatalogueView& catalogueView, QMainWindow* owner)
    : QObject(owner), session(catalogueSession), view(catalogueView), window(owner)
{
    // Told after the watch's look has finished: the question must not run inside it.
    connect(&session, &CatalogueSession::replacedElsewhere, this, &MovedCatalogue::tellReplaced, Qt::QueuedConnection);
    connect(&session, &CatalogueSession::lostElsewhere, this, &MovedCatalogue::offerWriteBack, Qt::QueuedConnection);
}

void MovedCatalogue::tellReplaced()
{
    window->statusBar()->clearMessage();
    seam::message(window, QMessageBox::Information, QStringLiteral("Varnelo"),
                  QStringLiteral("Another program put a different catalogue file in place of the open one:\n%1\n\n"
                                 "Varnelo now shows the catalogue in that file. What you did before cannot be "
                                 "undone, because it was done in the file that was replaced.")
                      .arg(QString::fromStdString(session.path())));
}

void MovedCatalogue::offerWriteBack()
{
    if (!session.detached())
        return;
    const QString path = QString::fromStdString(session.path());
    const QMessageBox::StandardButton answer = seam::message(
        window, QMessageBox::Warning, QStringLiteral("Varnelo"),
        QStringLiteral("The catalogue file is no longer in its place; another program deleted, moved or "
                       "replaced it:\n%1\n\nVarnelo still shows everything it held. Write it back to that place?\n\n"
                       "If you do not, nothing can be changed until a catalogue is back there.")
            .arg(path),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) {
        window->statusBar()->showMessage(
            QStringLiteral("The catalogue file is gone from %1; nothing can be changed until it is back.").arg(path));
        return;
    }
    runCommand(window, [this] {
        view.reopenKeepingPlace([this] { session.writeBack(); });
        window->statusBar()->showMessage(QStringLiteral("The catalogue was written back to its place."));
    });
}
