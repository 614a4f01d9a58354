// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/itemlistview.h"

#include "model/clinkitem.h"
#include "ui/fileicons.h"
#include "ui/qtext.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

#include <functional>

namespace {

class ItemRow : public QTreeWidgetItem {
public:
    static constexpr int Type = QTreeWidgetItem::UserType + 2;
    explicit ItemRow(CLinkItem& shown) : QTreeWidgetItem(Type), item(&shown) {}
    CLinkItem* item;
};

// Lets only the caption column be edited in place, hands the edited text to the list's owner instead
// of the model, and draws the grid lines of the report view.
class RowCaptionDelegate : public QStyledItemDelegate {
public:
    using Edited = std::function<void(const QModelIndex&, const QString&)>;

    RowCaptionDelegate(QObject* parent, Edited onEdited) : QStyledItemDelegate(parent), edited(std::move(onEdited)) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override
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
        QStyledItemDelegate::paint(painter, option, index);
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
    setIconSize(QSize(16, 16));
    header()->setSectionsClickable(false);
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
    auto* row = new ItemRow(item);
    row->setFlags(row->flags() | Qt::ItemIsEditable);
    refreshRow(row);
    addTopLevelItem(row);
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
        found = found || match;
    }
    return found;
}

void ItemListView::keyPressEvent(QKeyEvent* event)
{
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

void ItemListView::markBroken(QTreeWidgetItem* row, const QString& reason)
{
    const QBrush text = reason.isEmpty() ? palette().brush(QPalette::Text) : palette().brush(QPalette::Disabled, QPalette::Text);
    for (int column = 0; column < columnCount(); ++column) {
        row->setForeground(column, text);
        row->setToolTip(column, reason);
    }
    QFont font = row->font(0);
    font.setStrikeOut(!reason.isEmpty());
    row->setFont(0, font);
}
