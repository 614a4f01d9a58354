// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ccategory.h"

#include <QList>
#include <QTimer>
#include <QTreeWidget>

#include <string>

class CLinkItem;

// The item list of the main window in report view: one row per item, showing its name, target and
// description with the icon of its type. Rows point at the category's items without owning them;
// that mapping stays inside this view.
class ItemListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit ItemListView(QWidget* parent = nullptr);

    QTreeWidgetItem* addRow(CLinkItem& item);
    // The row's texts and icon from its item.
    void refreshRow(QTreeWidgetItem* row);
    // Greys the row of an item whose file is missing or whose address is dead, the reason in its
    // tooltip; an empty reason takes the mark away.
    void markBroken(QTreeWidgetItem* row, const QString& reason);
    CLinkItem* itemOf(const QTreeWidgetItem* row) const;
    const CLinkItem* itemAtRow(int row) const;
    QTreeWidgetItem* rowOf(const CLinkItem* item) const;

    // The first selected row in list order, and all of them from the first to the last.
    QTreeWidgetItem* firstSelectedRow() const;
    QList<QTreeWidgetItem*> selectedRows() const;
    CLinkItems selectedListItems() const;
    // The column the rows are sorted by, or -1 for the stored order.
    int sortedColumn() const { return sortColumn; }
    // The list shows the stored order and its headers ignore clicks; when offered, a header click
    // sorts by its column. Taking the offer back brings the stored order back.
    void offerSorting(bool offered);
    // A text shown in the empty list (what a new user can do first); empty for none.
    void setEmptyHint(const QString& text);
    QString emptyHint() const { return hint; }

    // Selects exactly the rows of the item with this GUID and scrolls the first into view; false when
    // no row has it.
    bool selectOnly(const std::string& itemGuid);

    // An edit in place, a drag or a rubber band is under way.
    bool interacting() const { return state() != NoState; }

signals:
    // An in-place edit of a row's caption ended with this text (a cancelled edit does not come here).
    void captionEdited(QTreeWidgetItem* row, const QString& text);
    void deletePressed();
    void returnPressed();

protected:
    // Drops of our own drags are handled by the window (see InternalDrop), never by the view.
    void startDrag(Qt::DropActions supportedActions) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void selectRestingRow();
    void sortBy(int column);
    void showSortedRows();
    int sortedPlace(const QTreeWidgetItem& row) const;

    // Hot-track selection: the row under the resting pointer is highlighted, and selected once the
    // pointer has rested on it for the platform's hover time.
    QTimer* hoverTimer;
    QTreeWidgetItem* restingRow = nullptr;
    int sortColumn = -1;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    QString hint;
    long long rowsAdded = 0;
};
