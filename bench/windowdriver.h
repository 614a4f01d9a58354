// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Drives the main window the way a user does: actions and controls found by their object names,
// every prompt answered through the dialog seam's queues. This pair of files is the only part of
// the suite that knows how the window is built, so a change there is adapted here alone.

#include <QString>
#include <QStringList>

#include <memory>

class QMainWindow;

class WindowDriver {
public:
    // Prompts are answered from queues, never shown. Once per process, after the QApplication.
    static void answerPromptsFromQueues();

    // Opens the main window on the catalogue at $XDG_DATA_HOME/Varnelo/FavoritesDB.db and shows it,
    // painted once; with settleIndex, waits until its search index has taken the catalogue in.
    explicit WindowDriver(bool settleIndex = true);
    ~WindowDriver();
    WindowDriver(const WindowDriver&) = delete;
    WindowDriver& operator=(const WindowDriver&) = delete;

    // Makes the first category node with that name current, as a click does, and waits until the
    // list shows `rows` rows (whatever it shows when rows is negative). False when there is no
    // such node or the list did not fill within a minute.
    bool selectCategory(const QString& name, int rows = -1);
    int listRowCount() const;
    // Every node of the category tree, collapsed ones included.
    int categoryNodeCount() const;

    // "Add File(s)..." of the selected category: the item dialog's browse button answered with
    // the files, "Using filename as title" checked, OK.
    void addFiles(const QStringList& files);
    // "Delete" of the selected category, the question answered Yes.
    void deleteSelectedCategory();
    // Tools > "Import from IE Favorites...", the named category chosen in the select dialog, OK.
    void importFavorites(const QString& intoCategory);
    // Tools > "Import Bookmarks File...", the file dialog answered with the file, the named category
    // chosen in the select dialog.
    void importBookmarks(const QString& file, const QString& intoCategory);
    // "Move to Category..." of the selected category, the named category chosen in the select dialog.
    void moveSelectedCategory(const QString& toCategory);
    // Edit > Undo.
    void undo();
    // File > "Backup..." and File > "Restore...", the file dialog answered with the file.
    void backup(const QString& file);
    void restore(const QString& file);

    // What the window does when it notices another connection's commit: the catalogue read afresh,
    // the user's place kept. True when the list then shows `rows` rows.
    bool reloadAfterOutsideChange(int rows);

    // Types the text into quick find one key at a time, keyGapMs apart with the window's event loop
    // running between keys as a typist's pauses do, and waits until the hits of the whole text are
    // shown. Times are of the user-interface thread: what each key cost, and the longest stretch it
    // was busy at all (the hits arriving included); rows is -1 when no hits came within a minute.
    struct Typing {
        double medianKeyMs = 0;
        double slowestKeyMs = 0;
        double longestBusyMs = 0;
        double lastKeyToHitsMs = 0;
        int rows = -1;
        QString status;
    };
    Typing typeQuickFind(const QString& text, int keyGapMs);

    // The texts of the message boxes shown since the window opened, in order.
    QStringList messages() const;
    // What did not go as a user expects since the window opened: error boxes, prompts that had no
    // answer, answers nobody asked for, controls not found. Empty when all went well.
    QString problems() const;

private:
    void trigger(const char* action);

    std::unique_ptr<QMainWindow> window;
    std::shared_ptr<QStringList> missing;  // controls the prompt handlers looked for in vain
};
