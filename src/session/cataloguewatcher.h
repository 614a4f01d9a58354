// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <optional>
#include <utility>

// Notices commits that other connections make to the catalogue file: the command line, a worker with
// a connection of its own, another program. It asks the window's own connection for SQLite's data
// version, which moves only when someone else commits: often while the watched window is visible,
// seldom while it is hidden (the sync still hears of a change within seconds), and never while a
// command of the window is under way.
class CatalogueWatcher : public QObject {
    Q_OBJECT
public:
    // The connection's data version now; nullopt when it cannot be read at once (another program is
    // writing, or no catalogue is open), so the next look tries again.
    using VersionProbe = std::function<std::optional<long long>()>;

    explicit CatalogueWatcher(VersionProbe probe, QObject* parent = nullptr);

    // The catalogue file, whose replacement by another file (a restore from elsewhere) counts as a
    // change too: the window's connection would go on reading the replaced one.
    void setFile(const QString& path);
    // The timer does not look while this says so: while a command of the window waits for another
    // program's lock, its connection must not be asked anything in between.
    void pauseWhile(std::function<bool()> busy) { paused = std::move(busy); }
    // Starts looking, at the pace the object's visibility asks for; a window shown again looks at
    // its first quick tick.
    void watchBeside(QObject* window);
    // Takes the version as it is now as seen: after the catalogue was reopened, whose connection
    // counts afresh.
    void rebase();
    // Compares the version with the one last seen, announcing a change.
    void check();
    // Whether another connection committed since the last look (nothing is announced or taken as
    // seen).
    bool changedSinceSeen();
    // Whether a change announced since the last rebase replaced the file, so the catalogue must be
    // opened afresh.
    bool fileWasReplaced() const { return replacedFile; }

    // How often a visible window looks: well inside the two seconds a user waits at most.
    static constexpr int intervalMs = 500;
    // How often a hidden one does: the sync waits half a minute after a change anyway, and quick
    // find's hits follow within seconds.
    static constexpr int hiddenIntervalMs = 2000;

signals:
    void catalogueChanged();
    // The path has no file any more (told once, until a file is there again).
    void fileGone();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followVisibility(bool visible);

    std::optional<std::pair<quint64, quint64>> fileIdentity() const;
    bool pathIsEmpty() const;

    VersionProbe probe;
    std::function<bool()> paused;
    QTimer timer;
    QString file;
    std::optional<long long> seen;
    std::optional<std::pair<quint64, quint64>> seenFile;
    bool replacedFile = false;
    bool gone = false;
};
