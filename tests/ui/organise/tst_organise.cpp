// SPDX-License-Identifier: GPL-3.0-or-later
// Organising by hand in the main window: category nodes and item rows dragged onto the tree (the
// views' own drop handling, fed the drag a user's pointer makes), Move to Category with its top-level
// entry, and Undo of what was done, refused when another program changed it since.
#include "testseam.h"
#include "testutil.h"

#include "model/ccategory.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/internaldrop.h"
#include "ui/views/itemlistview.h"

#include <QAction>
#include <QMimeData>
#include <QPushButton>
#include <QtTest>

#include <memory>

using namespace testutil;

namespace {

const QStringList officePath{QStringLiteral("Office documents")};
const QStringList wordPath{QStringLiteral("Office documents"), QStringLiteral("Word documents")};
const QStringList mediaPath{QStringLiteral("Media files")};
const QStringList generalPath{QStringLiteral("General files")};
const char* const allRows =
    "select (select group_concat(guid||name||level||parent_guid||itemorder, ';') from category_table) || '#' || "
    "(select group_concat(guid||name||category||itemorder, ';') from link_table)";

// Drags the source view's selection over the tree to the point and lets go there, with Ctrl held for a
// copy; the action the pointer showed, IgnoreAction when the tree would not take it.
Qt::DropAction dragOnto(QAbstractItemView* source, QTreeWidget* tree, QPoint at, bool copy)
{
    const std::unique_ptr<QMimeData> data(internalDragData(source));
    const Qt::KeyboardModifiers keys = copy ? Qt::ControlModifier : Qt::NoModifier;
    const Qt::DropActions offered = Qt::MoveAction | Qt::CopyAction;
    QDragEnterEvent enter(at, offered, data.get(), Qt::LeftButton, keys);
    QCoreApplication::sendEvent(tree->viewport(), &enter);
    QDragMoveEvent move(at, offered, data.get(), Qt::LeftButton, keys);
    QCoreApplication::sendEvent(tree->viewport(), &move);
    if (!move.isAccepted()) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(tree->viewport(), &leave);
        return Qt::IgnoreAction;
    }
    QDropEvent drop(QPointF(at), offered, data.get(), Qt::LeftButton, keys);
    QCoreApplication::sendEvent(tree->viewport(), &drop);
    return move.dropAction();
}

QPoint on(QTreeWidget* tree, const QStringList& path)
{
    return tree->visualItemRect(nodeAt(tree, path)).center();
}

}  // namespace

class TestOrganise : public WindowTestCase {
    Q_OBJECT

private:
    QString stored() { return QString::fromStdString(queryText(sandbox->databasePath(), allRows)); }
    QString undoText() { return action(window.get(), "EditUndo")->text(); }

private slots:
    // Fault caught: after an undo the view stays on a sibling and what came back is out of sight.
    void undo_LandsOnWhatItBroughtBack()
    {
        CCategory* word = select(wordPath);
        for (const char* name : {"kept", "gone a", "gone b"})
            storeItem(sandbox->databasePath(), *word, name, "/d");
        reselect(wordPath);
        testutil::selectRows(list(window.get()), {1, 2});
        seam::pushMessageAnswer(QMessageBox::Yes);
        action(window.get(), "Delete1")->trigger();
        select(mediaPath);
        action(window.get(), "EditUndo")->trigger();
        QCOMPARE(tree(window.get())->selectedCategory()->GetName(), std::string("Word documents"));
        QStringList selected;
        for (QTreeWidgetItem* row : list(window.get())->selectedRows())
            selected << row->text(0);
        QCOMPARE(selected, (QStringList{"gone a", "gone b"}));

        select(wordPath);
        seam::pushMessageAnswer(QMessageBox::Yes);
        action(window.get(), "DeleteCategory")->trigger();
        QVERIFY(!nodeAt(tree(window.get()), wordPath));
        tree(window.get())->collapseAll();
        select(mediaPath);
        action(window.get(), "EditUndo")->trigger();
        QTreeWidgetItem* restored = nodeAt(tree(window.get()), wordPath);
        QVERIFY(restored);
        QCOMPARE(tree(window.get())->selectedNode(), restored);
        QVERIFY(restored->parent()->isExpanded());
        QCOMPARE(rowTexts(list(window.get())), (QStringList{"kept", "gone a", "gone b"}));
    }

    void categoryDrags_MoveAndCopyBranches_AndUndoPutsTheTablesBack()
    {
        window->show();
        CategoryTreeView* categories = tree(window.get());
        const QString before = stored();
        select(mediaPath);
        QCOMPARE(dragOnto(categories, categories, on(categories, mediaPath), false), Qt::IgnoreAction);
        const QPoint belowLast(20, categories->viewport()->height() - 4);
        QCOMPARE(dragOnto(categories, categories, belowLast, false), Qt::IgnoreAction);

        QCOMPARE(dragOnto(categories, categories, on(categories, officePath), false), Qt::MoveAction);
        // Among its new siblings the category takes the place of its row: it was made before them.
        QCOMPARE(childTexts(nodeAt(categories, officePath)),
                 QStringList({"Media files", "Word documents", "Excel documents"}));
        QCOMPARE(queryInt(sandbox->databasePath(), "select level from category_table where name='Media files'"), 1);
        QCOMPARE(undoText(), QStringLiteral("&Undo Move Category \"Media files\""));

        select(officePath);
        QCOMPARE(dragOnto(categories, categories, on(categories, {"Office documents", "Media files"}), true),
                 Qt::IgnoreAction);
        QCOMPARE(dragOnto(categories, categories, belowLast, true), Qt::CopyAction);
        QCOMPARE(topLevelTexts(categories),
                 QStringList({"General files", "Office documents", "Favorite websites", "Office documents"}));
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(distinct guid) from category_table"), 10);

        action(window.get(), "EditUndo")->trigger();
        action(window.get(), "EditUndo")->trigger();
        QCOMPARE(stored(), before);
        QCOMPARE(topLevelTexts(categories),
                 QStringList({"General files", "Office documents", "Media files", "Favorite websites"}));
        QCOMPARE(action(window.get(), "EditRedo")->text(), QStringLiteral("&Redo Move Category \"Media files\""));
        QVERIFY(!action(window.get(), "EditUndo")->isEnabled());
    }

    void itemRows_DroppedOnACategory_MoveOrCopyWithCtrl_ButNotOntoTheirOwn()
    {
        window->show();
        const CCategory& general = *window->catalogue().GetRootCategory().GetChild(0);
        for (const char* name : {"one", "two", "three"})
            storeItem(sandbox->databasePath(), general, name, std::string("/data/") + name);
        select(generalPath);
        ItemListView* rows = list(window.get());
        CategoryTreeView* categories = tree(window.get());
        selectRows(rows, {0, 1});
        QCOMPARE(dragOnto(rows, categories, on(categories, generalPath), false), Qt::IgnoreAction);
        QCOMPARE(dragOnto(rows, categories, on(categories, generalPath), true), Qt::IgnoreAction);

        const std::string inMedia = "select count(*) from link_table l join category_table c on c.guid=l.category "
                                    "where c.name='Media files'";
        QCOMPARE(dragOnto(rows, categories, on(categories, mediaPath), true), Qt::CopyAction);
        QCOMPARE(rowTexts(rows), QStringList({"one", "two", "three"}));
        QCOMPARE(queryInt(sandbox->databasePath(), inMedia), 2);
        QCOMPARE(dragOnto(rows, categories, on(categories, mediaPath), false), Qt::MoveAction);
        QCOMPARE(rowTexts(rows), QStringList({"three"}));
        QCOMPARE(queryInt(sandbox->databasePath(), inMedia), 4);

        QCOMPARE(undoText(), QStringLiteral("&Undo Move 2 Items"));
        action(window.get(), "EditUndo")->trigger();
        QCOMPARE(rowTexts(rows), QStringList({"one", "two", "three"}));
        QCOMPARE(tree(window.get())->selectedCategory()->GetName(), std::string("General files"));
    }

    void moveToCategory_OffersTheTopLevel_NotItsOwnBranch_AndAnOutsideChangeRefusesTheUndo()
    {
        select(wordPath);
        QStringList offered;
        seam::pushDialogHandler([&offered](QDialog* dialog) {
            auto* choices = child<QTreeWidget>(dialog, "treeCategory");
            for (QTreeWidgetItemIterator it(choices); *it; ++it)
                offered << (*it)->text(0) + ((*it)->isDisabled() ? QStringLiteral(" (no)") : QString());
            choices->setCurrentItem(choices->topLevelItem(0));
            child<QPushButton>(dialog, "OKBtn")->click();
            return dialog->result();
        });
        action(window.get(), "MoveCategoryTo")->trigger();
        QCOMPARE(offered, QStringList({"Top level", "General files", "Office documents", "Word documents (no)",
                                       "Excel documents", "Media files", "Favorite websites"}));
        QCOMPARE(topLevelTexts(tree(window.get())), QStringList({"General files", "Office documents", "Media files",
                                                                 "Favorite websites", "Word documents"}));

        // A copy cancelled at its first step leaves nothing and no history behind.
        select(officePath);
        answerSelectCategory(mediaPath);
        seam::pushProgressHandler([](std::size_t, std::size_t) { return false; });
        const QString before = stored();
        action(window.get(), "CopyCategoryTo")->trigger();
        QCOMPARE(stored(), before);
        QCOMPARE(undoText(), QStringLiteral("&Undo Move Category \"Word documents\""));

        execute(sandbox->databasePath(), "update category_table set level=1, parent_guid='5EE0962C-217D-411a-BB72-"
                                         "6261B1B4F5BF' where name='Word documents';");
        const QString changed = stored();
        action(window.get(), "EditUndo")->trigger();
        QCOMPARE(seam::shownMessages().last().text,
                 QStringLiteral("Cannot undo Move Category \"Word documents\": the category \"Word documents\" was "
                                "changed by another program since. Nothing was changed."));
        QCOMPARE(stored(), changed);
        QCOMPARE(undoText(), QStringLiteral("&Undo Move Category \"Word documents\""));
    }
};

QTEST_MAIN(TestOrganise)
#include "tst_organise.moc"
