// SPDX-License-Identifier: GPL-3.0-or-later
// Commands that can take long on a large catalogue: their progress, Cancel, and what stays stored.
#include "testseam.h"
#include "testutil.h"

#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

using namespace testutil;

namespace {

const QStringList mediaPath{QStringLiteral("Media files")};

QStringList manyFiles(int count)
{
    QStringList files;
    for (int i = 0; i < count; ++i)
        files << QStringLiteral("/data/picture %1.png").arg(i, 4, 10, QLatin1Char('0'));
    return files;
}

// Chooses the files with the browse button and names each item after its file.
void answerWithFiles(const QStringList& files)
{
    seam::pushDialogHandler([files](QDialog* dialog) {
        seam::pushFileAnswer(files);
        child<QPushButton>(dialog, "BitBtn1")->click();
        child<QCheckBox>(dialog, "ckTitle")->setChecked(true);
        child<QPushButton>(dialog, "btnOk")->click();
        return dialog->result();
    });
}

}  // namespace

class TestBulkCommands : public WindowTestCase {
    Q_OBJECT

private:
    QAction* action(const char* name) { return testutil::action(window.get(), name); }
    ItemListView* list() { return testutil::list(window.get()); }
    int storedItems() { return queryInt(sandbox->databasePath(), "select count(*) from link_table"); }

private slots:
    void addingManyFiles_OffersCancelAndACancelKeepsTheStoredBatchSilently()
    {
        select(mediaPath);
        answerWithFiles(manyFiles(450));
        std::vector<std::size_t> told;
        seam::pushProgressHandler([&told](std::size_t done, std::size_t total) {
            told.push_back(done);
            return !(done == 200 && total == 450);
        });
        action("AddNewItem1")->trigger();
        QCOMPARE(seam::shownProgress(), QStringList{QStringLiteral("Adding to the catalogue... (Cancel)")});
        QCOMPARE(told, (std::vector<std::size_t>{200}));
        QCOMPARE(list()->topLevelItemCount(), 200);
        QCOMPARE(list()->topLevelItem(199)->text(0), QStringLiteral("picture 0199.png"));
        QCOMPARE(storedItems(), 200);
        QVERIFY(seam::shownMessages().isEmpty());
    }

    void addingManyFiles_ShowsEveryStoredRowInTheChosenOrder()
    {
        select(mediaPath);
        answerWithFiles(manyFiles(450));
        action("AddNewItem1")->trigger();
        QCOMPARE(rowTexts(list()).size(), 450);
        QCOMPARE(rowTexts(list()).last(), QStringLiteral("picture 0449.png"));
        QCOMPARE(queryText(sandbox->databasePath(), "select name from link_table order by itemorder desc limit 1"),
                 std::string("picture 0449.png"));
    }

    void deletingACategory_ReportsProgressWithoutCancel()
    {
        select({QStringLiteral("Office documents")});
        seam::pushMessageAnswer(QMessageBox::Yes);
        action("DeleteCategory")->trigger();
        QCOMPARE(seam::shownProgress(), QStringList{QStringLiteral("Deleting the category...")});
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from category_table"), 3);
    }

    void treeNodes_ShareOneIconPerIconIndex()
    {
        CategoryTreeView* categories = tree(window.get());
        const QIcon first = nodeAt(categories, {QStringLiteral("General files")})->icon(0);
        QVERIFY(!first.isNull());
        QCOMPARE(nodeAt(categories, {QStringLiteral("Office documents"), QStringLiteral("Word documents")})
                     ->icon(0)
                     .cacheKey(),
                 first.cacheKey());
    }
};

QTEST_MAIN(TestBulkCommands)
#include "tst_bulkcommands.moc"
