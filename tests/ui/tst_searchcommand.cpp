// The search command of the main window: one dialog at a time, its settings in the program's settings
// file, and the jump to a found item, also after the item was deleted.
#include "testutil.h"

#include "model/ccategory.h"
#include "shell/appsettings.h"
#include "ui/dialogseam.h"
#include "ui/tsdiappform.h"
#include "ui/tsearchitemform.h"

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
    TSearchItemForm* openSearch()
    {
        window->OnEditSearch->trigger();
        return qobject_cast<TSearchItemForm*>(window->searchForm.data());
    }

    int searchDialogCount() const
    {
        return int(window->findChildren<TSearchItemForm*>().size());
    }

    void search(TSearchItemForm* form, const QString& keyword)
    {
        form->editKeyword->setText(keyword);
        form->btnSearch->click();
    }

    void doubleClickLine(TSearchItemForm* form, int row)
    {
        form->lbResult->setCurrentRow(row);
        form->lbResultDblClick();
    }

private slots:
    void searchTwice_ShowsOneDialogKeepingItsContents()
    {
        TSearchItemForm* first = openSearch();
        QVERIFY(first);
        QVERIFY(first->isVisible());
        first->editKeyword->setText(QStringLiteral("kept"));
        first->close();
        QVERIFY(first->isHidden());
        TSearchItemForm* second = openSearch();
        QCOMPARE(second, first);
        QVERIFY(second->isVisible());
        QCOMPARE(second->editKeyword->text(), QStringLiteral("kept"));
        QCOMPARE(searchDialogCount(), 1);
    }

    void afterCloseTheNextSearchIsFreshWithTheBoxesLastSavedBySearching()
    {
        TSearchItemForm* form = openSearch();
        form->ckFilename->setChecked(false);
        search(form, QStringLiteral("x"));
        QVERIFY(!readIniFlag(sandbox->settingsPath().toStdString(), "Search", "filename", true));
        form->ckComment->setChecked(false);
        form->btnClose->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window->searchForm.isNull());
        TSearchItemForm* fresh = openSearch();
        QVERIFY(fresh);
        QVERIFY(fresh->editKeyword->text().isEmpty());
        QCOMPARE(fresh->lbResult->count(), 0);
        QVERIFY(fresh->ckTitle->isChecked());
        QVERIFY(!fresh->ckFilename->isChecked());
        QVERIFY(fresh->ckComment->isChecked());
        QCOMPARE(searchDialogCount(), 1);
    }

    void doubleClick_SelectsTheCategoryAndTheItemsRow()
    {
        CCategory* word = TSDIAppForm::categoryOf(nodeAt(window->treeCategory, wordPath));
        storeItem(*window, *word, "first", "/1");
        const std::string wanted = storeItem(*window, *word, "needle report", "/2");
        storeItem(*window, *word, "third", "/3");
        TSearchItemForm* form = openSearch();
        search(form, QStringLiteral("needle"));
        QCOMPARE(form->lbResult->count(), 1);
        doubleClickLine(form, 0);
        QCOMPARE(window->GetSelectedCategory(), word);
        const QList<QTreeWidgetItem*> rows = window->selectedListRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(TSDIAppForm::itemOf(rows.first())->GetGuid(), wanted);
        QVERIFY(seam::shownMessages().isEmpty());
        QVERIFY(form->isVisible());
        QCOMPARE(form->lbResult->count(), 1);
    }

    void doubleClick_AfterTheItemWasDeletedSelectsItsCategoryAndSaysSo()
    {
        CCategory* word = TSDIAppForm::categoryOf(nodeAt(window->treeCategory, wordPath));
        const std::string guid = storeItem(*window, *word, "doomed", "/d");
        TSearchItemForm* form = openSearch();
        search(form, QStringLiteral("doomed"));
        execute(sandbox->databasePath(), "delete from link_table where guid = '" + guid + "'");
        doubleClickLine(form, 0);
        QCOMPARE(seam::shownMessages().size(), 1);
        QCOMPARE(seam::shownMessages().first().text, QStringLiteral("The selected item does not exist"));
        QCOMPARE(seam::shownMessages().first().caption, QStringLiteral("Error"));
        QCOMPARE(window->GetSelectedCategory(), word);
    }

    void doubleClick_AfterTheCategoryWasDeletedSaysSo()
    {
        QTreeWidgetItem* mediaNode = nodeAt(window->treeCategory, mediaPath);
        storeItem(*window, *TSDIAppForm::categoryOf(mediaNode), "lost", "/l");
        TSearchItemForm* form = openSearch();
        search(form, QStringLiteral("lost"));
        window->treeCategory->setCurrentItem(mediaNode);
        seam::pushMessageAnswer(QMessageBox::Yes);
        window->DeleteCategoryClick();
        doubleClickLine(form, 0);
        QCOMPARE(seam::shownMessages().size(), 2);
        QCOMPARE(seam::shownMessages().last().text, QStringLiteral("The selected item does not exist"));
    }
};

QTEST_MAIN(TestSearchCommand)
#include "tst_searchcommand.moc"
