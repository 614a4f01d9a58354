// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>

class CCategory;
class QAbstractItemView;
class QPoint;

// Files and web addresses dragged from other programs onto a view; each drop lands in the category
// the view names for the drop point. Drags that start in our own views are not taken.
class DropTarget : public QObject {
public:
    using CategoryAt = std::function<CCategory*(const QPoint& viewportPos)>;
    using Dropped = std::function<void(CCategory& category, const QList<QUrl>& urls)>;

    DropTarget(QAbstractItemView* view, CategoryAt categoryAt, Dropped dropped);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CategoryAt categoryAt;
    Dropped dropped;
};
