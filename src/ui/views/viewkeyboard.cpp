// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/viewkeyboard.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPainter>

namespace viewkeyboard {

bool opensPopup(QAbstractItemView& view, const QKeyEvent& event)
{
    if (event.key() != Qt::Key_F10 || event.modifiers() != Qt::ShiftModifier)
        return false;
    QWidget* viewport = view.viewport();
    const QRect row = view.visualRect(view.currentIndex());
    const QPoint at = row.isValid() ? row.center() : QPoint(0, 0);
    QContextMenuEvent request(QContextMenuEvent::Keyboard, at, viewport->mapToGlobal(at));
    QCoreApplication::sendEvent(viewport, &request);
    return true;
}

bool selectsCursorRow(QAbstractItemView& view, const QKeyEvent& event)
{
    const bool arrow = event.key() == Qt::Key_Down || event.key() == Qt::Key_Up;
    if (!arrow || event.modifiers() != Qt::NoModifier || !view.currentIndex().isValid()
        || view.selectionModel()->hasSelection())
        return false;
    view.setCurrentIndex(view.currentIndex());
    return true;
}

void paintCursor(QPainter& painter, const QAbstractItemView& view, const QModelIndex& index, const QRect& rect)
{
    const QModelIndex current = view.currentIndex();
    if (!view.hasFocus() || !current.isValid() || current.row() != index.row() || current.parent() != index.parent())
        return;
    const int lastColumn = view.model()->columnCount(index.parent()) - 1;
    const QRect r = rect.adjusted(0, 0, -1, -1);
    painter.save();
    QPen pen(view.palette().color(QPalette::Text));
    pen.setStyle(Qt::DotLine);
    painter.setPen(pen);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    if (index.column() == 0)
        painter.drawLine(r.topLeft(), r.bottomLeft());
    if (index.column() == lastColumn)
        painter.drawLine(r.topRight(), r.bottomRight());
    painter.restore();
}

}  // namespace viewkeyboard
