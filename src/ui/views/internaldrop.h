// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QObject>

#include <functional>

class QAbstractItemView;
class QMimeData;
class QPoint;

// Drags that start in our own views (category nodes, item rows) and end on a view: a plain drag
// moves, one with Ctrl held copies, and the pointer shows which, or that the place under it takes
// nothing. Drags from other programs are left to the view's other handlers.
class InternalDrop : public QObject {
public:
    // Whether the source's selection can go to the point (a viewport position) of the view.
    using Accepts = std::function<bool(QAbstractItemView* source, const QPoint& at, bool copy)>;
    using Dropped = std::function<void(QAbstractItemView* source, const QPoint& at, bool copy)>;

    InternalDrop(QAbstractItemView* view, QList<QAbstractItemView*> sources, Accepts accepts, Dropped dropped);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractItemView* sourceOf(const QMimeData* data) const;

    QList<QAbstractItemView*> sources;
    Accepts accepts;
    Dropped dropped;
};

// Starts a drag of the view's selection that offers move and copy, move first. The drop decides what
// happens; the view itself never removes the dragged rows.
void startInternalDrag(QAbstractItemView* view);
// What such a drag carries: the view it came from, in this process (a drag from another running
// copy of the program names a view of that one, and is not taken).
QMimeData* internalDragData(const QAbstractItemView* view);
