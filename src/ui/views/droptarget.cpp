// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/droptarget.h"

#include <QAbstractItemView>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>

namespace {

bool fromElsewhere(const QDropEvent* event)
{
    return event->mimeData()->hasUrls() && !qobject_cast<QAbstractItemView*>(event->source());
}

}  // namespace

DropTarget::DropTarget(QAbstractItemView* view, CategoryAt where, Dropped onDrop)
    : QObject(view), categoryAt(std::move(where)), dropped(std::move(onDrop))
{
    view->setAcceptDrops(true);
    view->viewport()->setAcceptDrops(true);
    view->viewport()->installEventFilter(this);
}

bool DropTarget::eventFilter(QObject*, QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (fromElsewhere(drag) && categoryAt(drag->position().toPoint()))
            drag->acceptProposedAction();
        else
            drag->ignore();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        CCategory* category = fromElsewhere(drop) ? categoryAt(drop->position().toPoint()) : nullptr;
        if (!category) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        dropped(*category, drop->mimeData()->urls());
        return true;
    }
    default:
        return false;
    }
}
