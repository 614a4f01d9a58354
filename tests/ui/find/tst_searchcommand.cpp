// SPDX-License-Identifier: GPL-3.0-or-later
// The search command of the main window: one dialog at a time, its settings in the program's settings
// file, and the jump to a found item, also after the item was deleted.
#include "testseam.h"
#include "testutil.h"

#include "model/ccategory.h"
#include "shell/appsettings.h"
#include "ui/dialogs/tsearchitemform.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"
#include "ui/window/tsdiappform.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

using namespace testutil;

namespace {

const QStringList wordPath{QStringLiteral("Office documents"), QStringLiteral("Word documents")};
const QStringList mediaPath{QStringLiteral("Media files")};

}  // namespace

class TestSearchCommand : public WindowTestCase {
    Q_OBJECT

private:
    TSearchItemForm* shownSearch() const { return window->findChild<TSearchItemForm*>(); }

    TSearchItemForm* openSearch()
    {
        action(window.get(), "OnEditSearch")->trigger();
        return shownSearch();
    }

    int searchDialogCount() const { return int(window->findChildren<TSearchItemForm*>().size()); }

    void search(TSearchItemForm* form, const QString& keyword)
    {
        child<QLineEdit>(form, "editKeyword")->setText(keyword);
        child<QPushButton>(form, "btnSearch")->click();
    }

    void doubleClickLine(TSearchItemForm* form, int row)
    {
        QVERIFY(QTest::qWaitForWindowExposed(form));
        auto* results = child<QListWidget>(form, "lbResult");
        const QPoint at = results->visualItemRect(results->item(row)).center();
        QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(results->viewport(), Qt::LeftButton, {}, at);
    }

    CCategory* categoryAt(const QStringList& path)
    {
        return tree(window.get())->categoryOf(nodeAt(tree(window.get()), path));
    }
    std::string store(const CCategory& category, const std::string& name, const std::string& target)
    {
        return storeItem(sandbox->databasePath(), category, name, target);
    }

private slots:
    void searchTwice_ShowsOneDialogKeepingItsContents()
    {
        TSearchItemForm* first = openSearch();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        child<QLineEdit>(first, "editKeyword")->setText(QStringLiteral("kept"));
        first->close();
        QVERIFY(first->isHidden());
        TSearchItemForm* second = openSearch();
        QCOMPARE(second, first);
        QVERIFY(second->isVisible());
        QCOMPARE(child<QLineEdit>(second, "editKeyword")->text(), QStringLiteral("kept"));
        QCOMPARE(searchDialogCount(), 1);
    }

    void afterCloseTheNextSearchIsFreshWithTheBoxesLastSavedBySearching()
    {
        TSearchItemForm* form = openSearch();
        child<QCheckBox>(form, "ckFilename")->setChecked(false);
        search(form, QStringLiteral("x"));
        QVERIFY(!readIniFlag(sandbox->settingsPath().toStdString(), "Search", "filename", true));
        child<QCheckBox>(form, "ckComment")->setChecked(false);
        child<QPushButton>(form, "btnClose")->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(shownSearch(), nullptr);
        TSearchItemForm* fresh = openSearch();
        QVERIFY(fresh);
        QVERIFY(child<QLineEdit>(fresh, "editKeyword")->text().isEmpty());
        QCOMPARE(child<QListWidget>(fresh, "lbResult")->count(), 0);
        QVERIFY(child<QCheckBox>(fresh, "ckTitle")->isChecked());
        QVERIFY(!child<QCheckBox>(fresh, "ckFilename")->isChecked());
        QVERIFY(child<QCheckBox>(fresh, "ckComment")->isChecked());
        QCOMPARE(searchDialogCount(), 1);
    }

    void doubleClick_SelectsTheCategoryAndTheItemsRow()
    {
        CCategory* word = categoryAt(wordPath);
        store(*word, "first", "/1");
        const std::string wanted = store(*word, "needle report", "/2");
        store(*word, "third", "/3");
        TSearchItemForm* form = openSearch();
        search(form, QStringLiteral("needle"));
        auto* results = child<QListWidget>(form, "lbResult");
        QCOMPARE(results->count(), 1);
        doubleClickLine(form, 0);
        QCOMPARE(tree(window.get())->selectedCategory(), word);
        ItemListView* items = list(window.get());
        const QList<QTreeWidgetItem*> rows = items->selectedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(items->itemOf(rows.first())->GetGuid(), wanted);
        QVERIFY(seam::shownMessages().isEmpty());
        QVERIFY(form->isVisible());
        QCOMPARE(results->count(), 1);
    }

    void doubleClick_ScrollsTheFoundRowIntoViewInALongCategory()
    {
        CCategory* word = categoryAt(wordPath);
        execute(sandbox->databasePath(),
                "with recursive n(i) as (select 0 union all select i + 1 from n where i < 499) insert into link_table "
                "(guid,name,target,category,star,comment,type) select 'row'||i, 'row '||i, '/r', '"
                    + word->GetGuid() + "', 0, '', 0 from n;");
        store(*word, "needle at the end", "/n");
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        TSearchItemForm* form = openSearch();
        search(form, QStringLiteral("needle"));
        doubleClickLine(form, 0);
        ItemListView* items = list(window.get());
        QCOMPARE(items->selectedRows().size(), 1);
        const QRect row = items->visualItemRect(items->selectedRows().first());
        QVERIFY(row.top() >= 0 && row.bottom() <= items->viewport()->height());
    }

    void doubleClick_AfterTheItemWasDeletedSelectsItsCategoryAndSaysSo()
    {
        CCategory* word = categoryAt(wordPath);
        const std::string guid = store(*word, "doomed", "/d");
        TSearchItemForm* form = openSearch();
        search(form, QStringLiteral("doomed"));
        execute(sandbox->databasePath(), "delete from link_table where guid = '" + guid + "'");
        doubleClickLine(form, 0);
        QCOMPARE(seam::shownMessages().size(), 1);
        QCOMPARE(seam::shownMessages().first().text, QStringLiteral("The selected item does not exist"));
        QCOMPARE(seam::shownMessages().first().caption, QStringLiteral("Error"));
        QCOMPARE(tree(window.get())->selectedCategory(), word);
    }

    void doubleClick_AfterTheCategoryWasDeletedSaysSo()
    {
        store(*categoryAt(mediaPath), "lost", "/l");
        TSearchItemForm* form = openSearch();
        search(form, QStringLiteral("lost"));
        select(mediaPath);
        seam::pushMessageAnswer(QMessageBox::Yes);
        action(window.get(), "DeleteCategory")->trigger();
        QVERIFY(!nodeAt(tree(window.get()), mediaPath));
        doubleClickLine(form, 0);
        QCOMPARE(seam::shownMessages().size(), 2);
        QCOMPARE(seam::shownMessages().last().text, QStringLiteral("The selected item does not exist"));
    }
};

QTEST_MAIN(TestSearchCommand)
#include "tst_searchcommand.moc"
