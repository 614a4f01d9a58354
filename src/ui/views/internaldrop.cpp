// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/internaldrop.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>

namespace {

const char* const viewFormat = "application/x-varnelo-view";

QByteArray viewId(const QAbstractItemView* view)
{
    return QByteArray::number(QCoreApplication::applicationPid()) + '/' + view->objectName().toUtf8();
}

}  // namespace

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
    QAbstractItemView* source = sourceOf(drop->mimeData());
    if (!source)
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

QAbstractItemView* InternalDrop::sourceOf(const QMimeData* data) const
{
    if (!data || !data->hasFormat(QString::fromLatin1(viewFormat)))
        return nullptr;
    const QByteArray id = data->data(QString::fromLatin1(viewFormat));
    for (QAbstractItemView* view : sources)
        if (viewId(view) == id)
            return view;
    return nullptr;
}

QMimeData* internalDragData(const QAbstractItemView* view)
{
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(viewFormat), viewId(view));
    return data;
}

void startInternalDrag(QAbstractItemView* view)
{
    if (!view->selectionModel()->hasSelection())
        return;
    auto* drag = new QDrag(view);
    drag->setMimeData(internalDragData(view));
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}
