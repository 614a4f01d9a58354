// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class CatalogueSession;
class CatalogueView;
class QMainWindow;

// Tells the user when another program replaced or removed the open catalogue's file. A replacement
// is shown as the window reloads from the new file. A removed file is never followed by an empty
// catalogue: the user is offered to write the open one back, and otherwise keeps it on screen
// unchangeable until a catalogue is back in its place.
class MovedCatalogue : public QObject {
    Q_OBJECT
public:
    MovedCatalogue(CatalogueSession& session, CatalogueView& view, QMainWindow* window);

private:
    void tellReplaced();
    void offerWriteBack();

    CatalogueSession& session;
    CatalogueView& view;
    QMainWindow* window;
};
