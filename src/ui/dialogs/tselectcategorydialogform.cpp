// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/tselectcategorydialogform.h"

#include "ui/common/controls.h"
#include "ui/common/dialogseam.h"
#include "ui/views/viewkeyboard.h"

#include "storage/cdbmanager.h"

#include <QBoxLayout>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace {

// A node that points at the category it shows, without owning it.
class CategoryChoice : public QTreeWidgetItem {
public:
    explicit CategoryChoice(CCategory* shown) : CategoryChoice(shown, QString::fromStdString(shown->GetName())) {}
    CategoryChoice(CCategory* shown, const QString& text)
        : QTreeWidgetItem(QStringList{text}, UserType), category(shown)
    {
    }
    CCategory* category;
};

QTreeWidgetItem* makeNode(CCategory* category)
{
    return new CategoryChoice(category);
}

// Qt tells a screen reader nothing of a disabled tree node: the node says it in its name, and is
// not selectable, for the node and each one below it.
void markUnavailable(QTreeWidgetItem* node)
{
    node->setFlags(node->flags() & ~Qt::ItemIsSelectable);
    node->setData(0, Qt::AccessibleTextRole, node->text(0) + QStringLiteral(" (unavailable)"));
    node->setData(0, Qt::AccessibleDescriptionRole, QStringLiteral("A category cannot go into itself or below itself"));
    for (int i = 0; i < node->childCount(); ++i)
        markUnavailable(node->child(i));
}

}  // namespace

TSelectCategoryDialogForm::TSelectCategoryDialogForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("SelectCategoryDialogForm"));
    setWindowTitle(QStringLiteral("Select Category"));
    Label1 = new QLabel(QStringLiteral("Select a category"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    treeCategory = new QTreeWidget(this);
    treeCategory->setObjectName(QStringLiteral("treeCategory"));
    treeCategory->setAccessibleName(QStringLiteral("Select a category"));
    treeCategory->setHeaderHidden(true);
    treeCategory->setIndentation(19);
    treeCategory->setSelectionMode(QAbstractItemView::SingleSelection);
    treeCategory->setEditTriggers(QAbstractItemView::NoEditTriggers);
    treeCategory->installEventFilter(this);
    Label1->setBuddy(treeCategory);
    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::HLine);
    Bevel1->setFrameShadow(QFrame::Sunken);
    OKBtn = makeButton(this, "OKBtn", QStringLiteral("OK"));
    OKBtn->setDefault(true);
    OKBtn->setEnabled(false);
    CancelBtn = makeButton(this, "CancelBtn", QStringLiteral("Cancel"));
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    // Keyboard selection counts as much as a click, so OK is reachable without a mouse.
    connect(treeCategory, &QTreeWidget::itemSelectionChanged, this, &TSelectCategoryDialogForm::treeCategoryClick);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(Label1);
    layout->addWidget(treeCategory, 1);
    layout->addWidget(Bevel1);
    layout->addLayout(buttons);
    setTabOrder(OKBtn, CancelBtn);
    setTabOrder(CancelBtn, treeCategory);
    setFixedSize(384, 315);
    treeCategory->setFocus();
}

void TSelectCategoryDialogForm::LoadCategories(CDBManager* database)
{
    db = database;
    if (!db)
        return;
    treeCategory->clear();
    CCategory& root = db->GetRootCategory();
    for (int i = 0; i < root.GetChildCount(); ++i) {
        CCategory* category = root.GetChild(i);
        QTreeWidgetItem* node = makeNode(category);
        treeCategory->addTopLevelItem(node);
        AddChildNodes(category, node);
    }
    treeCategoryClick();
}

void TSelectCategoryDialogForm::offerWholeCatalogue(const QString& text)
{
    if (db)
        treeCategory->insertTopLevelItem(0, new CategoryChoice(&db->GetRootCategory(), text));
}

void TSelectCategoryDialogForm::excludeBranch(const CCategory& category)
{
    for (QTreeWidgetItemIterator it(treeCategory); *it; ++it) {
        if (static_cast<CategoryChoice*>(*it)->category != &category)
            continue;
        // Disabling a node disables the nodes below it too.
        (*it)->setDisabled(true);
        (*it)->setSelected(false);
        markUnavailable(*it);
        return;
    }
}

bool TSelectCategoryDialogForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == treeCategory && event->type() == QEvent::KeyPress)
        return viewkeyboard::selectsCursorRow(*treeCategory, *static_cast<QKeyEvent*>(event));
    return QDialog::eventFilter(watched, event);
}

void TSelectCategoryDialogForm::placeCursorOn(const CCategory* category)
{
    QTreeWidgetItem* cursor = nullptr;
    for (QTreeWidgetItemIterator it(treeCategory); *it; ++it) {
        if ((*it)->isDisabled())
            continue;
        if (!cursor || static_cast<CategoryChoice*>(*it)->category == category)
            cursor = *it;
        if (static_cast<CategoryChoice*>(*it)->category == category)
            break;
    }
    if (!cursor)
        return;
    for (QTreeWidgetItem* above = cursor->parent(); above; above = above->parent())
        above->setExpanded(true);
    // Only the cursor: Enter must not file anything until the user has chosen (arrow, Space, click).
    treeCategory->selectionModel()->setCurrentIndex(treeCategory->indexFromItem(cursor), QItemSelectionModel::NoUpdate);
    treeCategory->scrollToItem(cursor);
}

void TSelectCategoryDialogForm::AddChildNodes(CCategory* category, QTreeWidgetItem* node)
{
    for (int i = 0; i < category->GetChildCount(); ++i) {
        CCategory* child = category->GetChild(i);
        QTreeWidgetItem* childNode = makeNode(child);
        node->addChild(childNode);
        AddChildNodes(child, childNode);
    }
}

CCategory* TSelectCategoryDialogForm::GetSelectedCategory() const
{
    for (QTreeWidgetItemIterator it(treeCategory); *it; ++it)
        if ((*it)->isSelected())
            return static_cast<CategoryChoice*>(*it)->category;
    return nullptr;
}

void TSelectCategoryDialogForm::treeCategoryClick()
{
    OKBtn->setEnabled(GetSelectedCategory() != nullptr);
}

CCategory* chooseCategory(QWidget* owner, CDBManager& database, const QString& wholeCatalogue, const CCategory* current)
{
    TSelectCategoryDialogForm dialog(owner);
    dialog.LoadCategories(&database);
    if (!wholeCatalogue.isEmpty())
        dialog.offerWholeCatalogue(wholeCatalogue);
    dialog.placeCursorOn(current);
    if (seam::exec(&dialog) != QDialog::Accepted)
        return nullptr;
    return dialog.GetSelectedCategory();
}
