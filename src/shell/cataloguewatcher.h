// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <optional>

// Notices commits that other connections make to the catalogue file: the command line, a worker with
// a connection of its own, another program. It asks the window's own connection for SQLite's data
// version, which moves only when someone else commits, on a short timer and only while the watched
// window is visible, so nothing is read while nothing changes or nobody looks.
class CatalogueWatcher : public QObject {
    Q_OBJECT
public:
    // The connection's data version now; nullopt when it cannot be read at once (another program is
    // writing, or no catalogue is open), so the next look tries again.
    using VersionProbe = std::function<std::optional<long long>()>;

    explicit CatalogueWatcher(VersionProbe probe, QObject* parent = nullptr);

    // Looks only while the object's "visible" property is true; a window shown again is looked at
    // at once, so what changed while it was hidden shows as it appears.
    void watchWhileVisible(QObject* window);
    // Takes the version as it is now as seen: after the catalogue was reopened, whose connection
    // counts afresh.
    void rebase();
    // Compares the version with the one last seen, announcing a change.
    void check();

    // How often a visible window looks: well inside the two seconds a user waits at most.
    static constexpr int intervalMs = 500;

signals:
    void catalogueChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followVisibility(bool visible);

    VersionProbe probe;
    QTimer timer;
    std::optional<long long> seen;
};
