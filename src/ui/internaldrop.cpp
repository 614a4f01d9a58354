// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/internaldrop.h"

#include <QAbstractItemView>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>

InternalDrop::InternalDrop(QAbstractItemView* view, QList<QAbstractItemView*> fromViews, Accepts onAccepts,
                           Dropped onDropped)
    : QObject(view), sources(std::move(fromViews)), accepts(std::move(onAccepts)), dropped(std::move(onDropped))
{
    view->setAcceptDrops(true);
    view->viewport()->setAcceptDrops(true);
    view->viewport()->installEventFilter(this);
}

bool InternalDrop::eventFilter(QObject*, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    auto* source = qobject_cast<QAbstractItemView*>(drop->source());
    if (!sources.contains(source))
        return false;
    // Entering is always taken, or no move over the view would follow.
    if (type == QEvent::DragEnter) {
        drop->acceptProposedAction();
        return true;
    }
    const bool copy = drop->modifiers().testFlag(Qt::ControlModifier);
    const QPoint at = drop->position().toPoint();
    if (!accepts(source, at, copy)) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(copy ? Qt::CopyAction : Qt::MoveAction);
    drop->accept();
    if (type == QEvent::Drop)
        dropped(source, at, copy);
    return true;
}

void startInternalDrag(QAbstractItemView* view)
{
    const QModelIndexList selected = view->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return;
    auto* drag = new QDrag(view);
    drag->setMimeData(view->model()->mimeData(selected));
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}
