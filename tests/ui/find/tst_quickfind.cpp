// SPDX-License-Identifier: GPL-3.0-or-later
// Quick find through its field, as a user types into it: hits in the list area, the matched text
// marked, Enter opens, Esc brings the category back.
#include "testseam.h"
#include "testutil.h"

#include "content/contentindex.h"
#include "shell/paths.h"
#include "ui/find/quickfind.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QtTest>

using namespace testutil;

class TestQuickFind : public WindowTestCase {
    Q_OBJECT

private slots:
    void typing_ShowsHitsByColumnMarkedAndEnterOpensEscRestores()
    {
        CCategory* word = tree(window.get())
                              ->categoryOf(nodeAt(tree(window.get()), {QStringLiteral("Office documents"),
                                                                       QStringLiteral("Word documents")}));
        // Open refuses a file that does not exist.
        QTemporaryDir files;
        const QString draft = files.filePath(QStringLiteral("Report.txt"));
        QVERIFY(QFile(draft).open(QIODevice::WriteOnly));
        storeItem(sandbox->databasePath(), *word, "Draft", draft.toStdString());
        storeItem(sandbox->databasePath(), *word, "Notes", "/n.txt", 0, "for the yearly REPORT");
        storeItem(sandbox->databasePath(), *word, "Quarterly report", "/q.pdf");
        storeItem(sandbox->databasePath(), *word, "Unrelated", "/u.txt");
        select({QStringLiteral("Media files")});
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));

        auto* field = child<QLineEdit>(window.get(), "QuickFind");
        QCOMPARE(field->accessibleName(), QStringLiteral("Quick find"));
        QTest::keyClick(tree(window.get()), Qt::Key_Slash);
        QVERIFY(field->hasFocus());
        QTest::keyClicks(field, QStringLiteral("report"));
        QCOMPARE(field->text(), QStringLiteral("report"));

        auto* area = child<QStackedWidget>(window.get(), "listArea");
        auto* results = child<QTreeWidget>(window.get(), "listQuickFind");
        QTRY_COMPARE(rowTexts(results), (QStringList{"Quarterly report", "Draft", "Notes"}));
        QCOMPARE(area->currentWidget(), results);
        QCOMPARE(results->topLevelItem(0)->text(1), QStringLiteral("Office documents/Word documents"));
        QCOMPARE(results->topLevelItem(0)->data(0, QuickFind::MatchRole).toList(), QVariantList{QPoint(10, 6)});
        QCOMPARE(results->topLevelItem(1)->data(2, QuickFind::MatchRole).toList(),
                 QVariantList{QPoint(int(draft.lastIndexOf(QStringLiteral("Report"))), 6)});
        QCOMPARE(child<QLabel>(window.get(), "QuickFindCount")->text(), QStringLiteral("3 items found"));

        QTest::keyClick(field, Qt::Key_Down);
        QTest::keyClick(results, Qt::Key_Down);
        QTest::keyClick(results, Qt::Key_Return);
        QCOMPARE(sandbox->desktop.calls.size(), 1);
        QCOMPARE(sandbox->desktop.calls.first().target, draft);

        QTest::keyClick(results, Qt::Key_Escape);
        QVERIFY(field->text().isEmpty());
        QCOMPARE(area->currentWidget(), list(window.get()));
        QCOMPARE(tree(window.get())->selectedCategory()->GetName(), std::string("Media files"));

        // Ctrl+K comes back to the field; a keyword that finds nothing says so.
        QTest::keyClick(window.get(), Qt::Key_K, Qt::ControlModifier);
        QVERIFY(field->hasFocus());
        QTest::keyClicks(field, QStringLiteral("zzz"));
        QTRY_COMPARE(child<QLabel>(window.get(), "QuickFindCount")->text(), QStringLiteral("0 items found"));
        QCOMPARE(results->topLevelItemCount(), 0);
    }

    void anotherProgramsCommitShowsAndShowInCategorySelectsTheHit()
    {
        CCategory* word = tree(window.get())
                              ->categoryOf(nodeAt(tree(window.get()), {QStringLiteral("Office documents"),
                                                                       QStringLiteral("Word documents")}));
        select({QStringLiteral("Media files")});
        auto* field = child<QLineEdit>(window.get(), "QuickFind");
        auto* results = child<QTreeWidget>(window.get(), "listQuickFind");
        field->setFocus();
        QTest::keyClicks(field, QStringLiteral("needle"));
        QTRY_COMPARE(child<QLabel>(window.get(), "QuickFindCount")->text(), QStringLiteral("0 items found"));
        const std::string guid = storeItem(sandbox->databasePath(), *word, "Needle in a haystack", "/n.txt");
        QTRY_COMPARE_WITH_TIMEOUT(rowTexts(results), QStringList{"Needle in a haystack"}, 10000);

        action(window.get(), "ShowInCategory")->trigger();
        QVERIFY(field->text().isEmpty());
        QCOMPARE(child<QStackedWidget>(window.get(), "listArea")->currentWidget(), list(window.get()));
        QCOMPARE(tree(window.get())->selectedCategory(), word);
        const QList<QTreeWidgetItem*> rows = list(window.get())->selectedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(list(window.get())->itemOf(rows.first())->GetGuid(), guid);
    }

    // What a user reads for each kind of hit: accents and case folded in the title, the passage of the
    // description that holds the word, the document's passage and page; only the hits' count beside
    // them; nothing to add from the hits' popup.
    void hitsShowWhereTheyMatchedWithOnlyTheirCount()
    {
        CCategory* word = tree(window.get())
                              ->categoryOf(nodeAt(tree(window.get()), {QStringLiteral("Office documents"),
                                                                       QStringLiteral("Word documents")}));
        const std::string db = sandbox->databasePath().toStdString();
        storeItem(sandbox->databasePath(), *word, "R\xc3\x89SUM\xc3\x89 2025", "/cv.pdf");
        storeItem(sandbox->databasePath(), *word, "Agenda page 0", "/agenda.txt", 0,
                  "Line one\nwhere the word R\xc3\xa9sum\xc3\xa9 stands in the middle of a long description");
        QTemporaryDir files;
        const QString contractFile = files.filePath(QStringLiteral("contract.pdf"));
        QVERIFY(QFile(contractFile).open(QIODevice::WriteOnly));
        const std::string contract = storeItem(sandbox->databasePath(), *word, "Contract", contractFile.toStdString());
        {
            content::ContentIndex index(content::ContentIndex::pathFor(db, cacheFolderPath()));
            index.mapItem(contract, contractFile.toStdString(), contractFile.toStdString(), false);
            content::Extraction read;
            read.outcome = content::Extraction::Outcome::Text;
            read.pages = {{1, "Nothing here."}, {3, "The applicant sent a resume with the contract."}};
            index.storeExtraction(index.documents().front().id, {1, 1}, read);
        }
        select({QStringLiteral("Media files")});
        auto* count = child<QLabel>(window.get(), "lblItemCount");
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(count->isVisible());

        auto* field = child<QLineEdit>(window.get(), "QuickFind");
        auto* results = child<QTreeWidget>(window.get(), "listQuickFind");
        field->setFocus();
        QTest::keyClicks(field, QStringLiteral("resume"));
        QTRY_COMPARE(rowTexts(results), (QStringList{QString::fromUtf8("RÉSUMÉ 2025"), "Agenda page 0", "Contract"}));
        QCOMPARE(results->topLevelItem(0)->data(0, QuickFind::MatchRole).toList(), QVariantList{QPoint(0, 6)});
        QCOMPARE(results->topLevelItem(0)->text(3), QString());
        const QString passage = results->topLevelItem(1)->text(3);
        QVERIFY2(passage.startsWith(QString::fromUtf8("Line one where the word Résumé")), qPrintable(passage));
        QCOMPARE(results->topLevelItem(1)->data(3, QuickFind::MatchRole).toList(),
                 QVariantList{QPoint(int(passage.indexOf(QString::fromUtf8("Résumé"))), 6)});
        const QString snippet = results->topLevelItem(2)->text(3);
        QVERIFY2(snippet.startsWith(QStringLiteral("p. 3: ")) && snippet.contains(QStringLiteral("a resume with")),
                 qPrintable(snippet));
        QCOMPARE(results->topLevelItem(2)->data(3, QuickFind::MatchRole).toList(),
                 QVariantList{QPoint(int(snippet.indexOf(QStringLiteral("resume"))), 6)});
        QCOMPARE(child<QLabel>(window.get(), "QuickFindCount")->text(), QStringLiteral("3 items found"));
        QVERIFY(!count->isVisible());

        auto* popup = child<QMenu>(window.get(), "menuQuickFind");
        for (const char* adding : {"AddNewItem1", "AddWebAddressURL1"})
            QVERIFY2(!popup->actions().contains(action(window.get(), adding)), adding);

        // Enter on a content hit opens the item as on any other.
        results->setCurrentItem(results->topLevelItem(2));
        QTest::keyClick(results, Qt::Key_Return);
        QCOMPARE(sandbox->desktop.calls.size(), 1);
        QCOMPARE(sandbox->desktop.calls.first().target, contractFile);

        QTest::keyClick(results, Qt::Key_Escape);
        QVERIFY(count->isVisible());
    }
};

QTEST_MAIN(TestQuickFind)
#include "tst_quickfind.moc"
