// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/itemlistview.h"

#include "model/clinkitem.h"
#include "ui/common/qtext.h"
#include "ui/views/fileicons.h"
#include "ui/views/internaldrop.h"
#include "ui/views/viewkeyboard.h"

#include <QCollator>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

#include <algorithm>
#include <functional>

namespace {

// Names as people sort them: "file 9" before "file 10", "alpha" before "Beta".
const QCollator& collator()
{
    static const QCollator sorter = [] {
        QCollator made;
        made.setCaseSensitivity(Qt::CaseInsensitive);
        made.setNumericMode(true);
        return made;
    }();
    return sorter;
}

class ItemRow : public QTreeWidgetItem {
public:
    static constexpr int Type = QTreeWidgetItem::UserType + 2;
    ItemRow(CLinkItem& shown, long long place) : QTreeWidgetItem(Type), item(&shown), shownAt(place) {}
    CLinkItem* item;
    // Rows are added in the stored order; this brings it back after sorting by a column.
    long long shownAt;

    bool operator<(const QTreeWidgetItem& other) const override
    {
        const auto& row = static_cast<const ItemRow&>(other);
        // A row about to be added is compared before it belongs to the list.
        const auto* list = static_cast<const ItemListView*>(treeWidget() ? treeWidget() : other.treeWidget());
        const int column = list ? list->sortedColumn() : -1;
        if (column >= 0) {
            const int order = collator().compare(text(column), row.text(column));
            if (order != 0)
                return order < 0;
        }
        return shownAt < row.shownAt;
    }
};

// Lets only the caption column be edited in place, hands the edited text to the list's owner instead
// of the model, and draws the grid lines of the report view.
class RowCaptionDelegate : public QStyledItemDelegate {
public:
    using Edited = std::function<void(const QModelIndex&, const QString&)>;

    RowCaptionDelegate(QObject* parent, Edited onEdited) : QStyledItemDelegate(parent), edited(std::move(onEdited)) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        if (index.column() != 0)
            return nullptr;
        return QStyledItemDelegate::createEditor(parent, option, index);
    }

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            edited(index, line->text());
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem shown(option);
        shown.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, shown, index);
        if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
            viewkeyboard::paintCursor(*painter, *view, index, option.rect);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Midlight));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->restore();
    }

private:
    Edited edited;
};

}  // namespace

ItemListView::ItemListView(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("listContent"));
    setAccessibleName(QStringLiteral("Items"));
    setColumnCount(3);
    setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Reference"), QStringLiteral("Description")});
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::SelectedClicked);
    setDragEnabled(true);
    setIconSize(QSize(16, 16));
    header()->setSectionsClickable(false);
    connect(header(), &QHeaderView::sectionClicked, this, &ItemListView::sortBy);
    header()->setSectionsMovable(false);
    header()->setMinimumSectionSize(50);
    header()->setStretchLastSection(false);
    setColumnWidth(0, 200);
    setColumnWidth(1, 250);
    setColumnWidth(2, 150);
    setItemDelegate(new RowCaptionDelegate(this, [this](const QModelIndex& index, const QString& text) {
        emit captionEdited(itemFromIndex(index), text);
    }));
    viewport()->setAttribute(Qt::WA_Hover);
    viewport()->setMouseTracking(true);
    hoverTimer = new QTimer(this);
    hoverTimer->setSingleShot(true);
    hoverTimer->setInterval(style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay, nullptr, this));
    connect(hoverTimer, &QTimer::timeout, this, &ItemListView::selectRestingRow);
    // A row that goes away (cleared list, deleted item) must not be selected afterwards.
    connect(model(), &QAbstractItemModel::rowsAboutToBeRemoved, this, [this] {
        hoverTimer->stop();
        restingRow = nullptr;
    });
}

void ItemListView::mouseMoveEvent(QMouseEvent* event)
{
    QTreeWidget::mouseMoveEvent(event);
    QTreeWidgetItem* row = event->buttons() == Qt::NoButton ? itemAt(event->position().toPoint()) : nullptr;
    if (row == restingRow)
        return;
    restingRow = row;
    if (row)
        hoverTimer->start();
    else
        hoverTimer->stop();
}

void ItemListView::leaveEvent(QEvent* event)
{
    QTreeWidget::leaveEvent(event);
    hoverTimer->stop();
    restingRow = nullptr;
}

void ItemListView::selectRestingRow()
{
    if (restingRow && state() == QAbstractItemView::NoState && !restingRow->isSelected())
        setCurrentItem(restingRow);
}

QTreeWidgetItem* ItemListView::addRow(CLinkItem& item)
{
    auto* row = new ItemRow(item, rowsAdded++);
    row->setFlags(row->flags() | Qt::ItemIsEditable);
    refreshRow(row);
    insertTopLevelItem(sortedPlace(*row), row);
    return row;
}

void ItemListView::refreshRow(QTreeWidgetItem* row)
{
    const CLinkItem* item = itemOf(row);
    if (!item)
        return;
    row->setText(0, toQ(item->GetName()));
    row->setText(1, toQ(item->GetTarget()));
    row->setText(2, toQ(item->GetComment()));
    row->setIcon(0, itemIcon(item->GetTarget(), item->GetType()));
}

CLinkItem* ItemListView::itemOf(const QTreeWidgetItem* row) const
{
    return row && row->type() == ItemRow::Type ? static_cast<const ItemRow*>(row)->item : nullptr;
}

const CLinkItem* ItemListView::itemAtRow(int row) const
{
    return itemOf(topLevelItem(row));
}

QTreeWidgetItem* ItemListView::rowOf(const CLinkItem* item) const
{
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (itemOf(topLevelItem(i)) == item)
            return topLevelItem(i);
    return nullptr;
}

QTreeWidgetItem* ItemListView::firstSelectedRow() const
{
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected())
            return topLevelItem(i);
    return nullptr;
}

QList<QTreeWidgetItem*> ItemListView::selectedRows() const
{
    QList<QTreeWidgetItem*> rows;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected())
            rows.append(topLevelItem(i));
    return rows;
}

CLinkItems ItemListView::selectedListItems() const
{
    CLinkItems items;
    for (QTreeWidgetItem* row : selectedRows())
        items.push_back(itemOf(row));
    return items;
}

bool ItemListView::selectOnly(const std::string& itemGuid)
{
    bool found = false;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem* row = topLevelItem(i);
        const CLinkItem* item = itemOf(row);
        const bool match = item && item->GetGuid() == itemGuid;
        row->setSelected(match);
        if (match && !found)
            scrollToItem(row);
        found = found || match;
    }
    return found;
}

// Where a new row goes in the order shown: at the end in the stored order, else after every row
// that sorts before it or alike, found by halving.
int ItemListView::sortedPlace(const QTreeWidgetItem& row) const
{
    int low = 0;
    int high = topLevelItemCount();
    if (sortColumn < 0)
        return high;
    while (low < high) {
        const int middle = (low + high) / 2;
        const QTreeWidgetItem& shown = *topLevelItem(middle);
        const bool before = sortOrder == Qt::AscendingOrder ? row < shown : shown < row;
        if (before)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

void ItemListView::setEmptyHint(const QString& text)
{
    if (text == hint)
        return;
    hint = text;
    viewport()->update();
}

void ItemListView::paintEvent(QPaintEvent* event)
{
    QTreeWidget::paintEvent(event);
    if (hint.isEmpty() || topLevelItemCount() > 0)
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const QRect area = viewport()->rect().adjusted(24, 24, -24, -24);
    painter.drawText(area, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, hint);
}

void ItemListView::offerSorting(bool offered)
{
    header()->setSectionsClickable(offered);
    if (offered || sortColumn < 0)
        return;
    sortColumn = -1;
    sortOrder = Qt::AscendingOrder;
    showSortedRows();
}

// A click sorts by the column, a second click the other way round, a third brings the stored order
// back.
void ItemListView::sortBy(int column)
{
    // Offered or not, the headers say: they take clicks only while sorting is on.
    if (!header()->sectionsClickable())
        return;
    if (column != sortColumn) {
        sortColumn = column;
        sortOrder = Qt::AscendingOrder;
    } else if (sortOrder == Qt::AscendingOrder) {
        sortOrder = Qt::DescendingOrder;
    } else {
        sortColumn = -1;
        sortOrder = Qt::AscendingOrder;
    }
    showSortedRows();
}

void ItemListView::showSortedRows()
{
    header()->setSortIndicatorShown(sortColumn >= 0);
    if (sortColumn >= 0)
        header()->setSortIndicator(sortColumn, sortOrder);
    sortItems(std::max(sortColumn, 0), sortOrder);
    if (QTreeWidgetItem* row = firstSelectedRow())
        scrollToItem(row);
}

// Tab ends the edit and moves the focus on, as it does everywhere else; Qt would open the editor of
// the next row, renaming it by accident.
void ItemListView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    const bool tabbed = hint == QAbstractItemDelegate::EditNextItem || hint == QAbstractItemDelegate::EditPreviousItem;
    QTreeWidget::closeEditor(editor, tabbed ? QAbstractItemDelegate::NoHint : hint);
    if (tabbed)
        focusNextPrevChild(hint == QAbstractItemDelegate::EditNextItem);
}

void ItemListView::keyPressEvent(QKeyEvent* event)
{
    if (viewkeyboard::opensPopup(*this, *event) || viewkeyboard::selectsCursorRow(*this, *event))
        return;
    if (event->modifiers() == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Delete:
            emit deletePressed();
            return;
        case Qt::Key_F2:
            if (QTreeWidgetItem* row = firstSelectedRow())
                editItem(row, 0);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // The in-place editor passes on the Return that ends it; that one opens nothing.
            if (state() != QAbstractItemView::EditingState)
                emit returnPressed();
            return;
        default:
            break;
        }
    }
    QTreeWidget::keyPressEvent(event);
}

void ItemListView::startDrag(Qt::DropActions)
{
    startInternalDrag(this);
}

void ItemListView::markBroken(QTreeWidgetItem* row, const QString& reason)
{
    const QBrush text =
        reason.isEmpty() ? palette().brush(QPalette::Text) : palette().brush(QPalette::Disabled, QPalette::Text);
    for (int column = 0; column < columnCount(); ++column) {
        row->setForeground(column, text);
        row->setToolTip(column, reason);
    }
    QFont font = row->font(0);
    font.setStrikeOut(!reason.isEmpty());
    row->setFont(0, font);
}
