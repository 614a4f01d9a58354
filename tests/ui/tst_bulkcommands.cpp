// Commands that can take long on a large catalogue: their progress, Cancel, and what stays stored.
#include "testutil.h"

#include "ui/dialogseam.h"
#include "ui/titemform.h"

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
        auto* form = qobject_cast<TitemForm*>(dialog);
        seam::pushFileAnswer(files);
        form->findChild<QPushButton*>(QStringLiteral("BitBtn1"))->click();
        form->findChild<QCheckBox*>(QStringLiteral("ckTitle"))->setChecked(true);
        form->findChild<QPushButton*>(QStringLiteral("btnOk"))->click();
        return form->result();
    });
}

}  // namespace

class TestBulkCommands : public WindowTestCase {
    Q_OBJECT

private:
    QAction* action(const char* name) { return window->findChild<QAction*>(QString::fromLatin1(name)); }
    QTreeWidget* list() { return window->findChild<QTreeWidget*>(QStringLiteral("listContent")); }
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
        QCOMPARE(queryText(sandbox->databasePath(),
                           "select name from link_table order by itemorder desc limit 1"),
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
        auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("treeCategory"));
        const QIcon first = nodeAt(tree, {QStringLiteral("General files")})->icon(0);
        QVERIFY(!first.isNull());
        QCOMPARE(nodeAt(tree, {QStringLiteral("Office documents"), QStringLiteral("Word documents")})->icon(0).cacheKey(),
                 first.cacheKey());
    }
};

QTEST_MAIN(TestBulkCommands)
#include "tst_bulkcommands.moc"
