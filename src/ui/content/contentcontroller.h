// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <string>

class CatalogueSession;
class CatalogueView;
class CLinkItem;
class ContentKeeper;
class QAction;
class QMainWindow;

// The words inside the catalogue's documents and kept pages, from the window: the content index kept
// up to date in the background, Tools > "Content Settings...", "Open Kept Copy" on a web item whose
// page was kept, and what the index says of an item's document for its Property dialog.
class ContentController : public QObject {
    Q_OBJECT
public:
    ContentController(CatalogueSession& session, CatalogueView& view, QMainWindow* window);
    ~ContentController() override;

    QAction* settingsAction() const { return ContentSettings; }
    QAction* openKeptCopyAction() const { return OpenKeptCopy; }
    // Enables "Open Kept Copy" for the selected item, before the list's popup opens.
    void prepareOpenKeptCopy();
    // The kept copy of the page at this address; "" when none was kept.
    static std::string keptCopyOf(const std::string& address);
    // Opens the kept copy of the page at this address with the desktop's program for web pages.
    void openKeptCopy(const std::string& address);
    // "could not be read: took longer than 30 s", "no text: ...", for the item's Property dialog; ""
    // when its text is held or the index knows nothing of it.
    QString contentNote(const CLinkItem& item) const;
    // The user is typing into quick find: reading documents waits.
    void userTyping();

private:
    void ContentSettingsClick();
    void OpenKeptCopyClick();

    CatalogueSession& session;
    CatalogueView& view;
    QMainWindow* window;
    ContentKeeper* keeper;
    QAction* ContentSettings;
    QAction* OpenKeptCopy;
};
