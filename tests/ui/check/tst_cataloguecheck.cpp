// SPDX-License-Identifier: GPL-3.0-or-later
// Tools > "Check Catalogue...": the check runs beside the window, the results are grouped, and each
// mending command changes the catalogue only when the user asks.
#include "testseam.h"
#include "testutil.h"

#include "check/checkstore.h"
#include "model/ccategory.h"
#include "ui/check/cataloguecheckwindow.h"
#include "ui/dialogs/titemform.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTreeWidget>
#include <QtTest>

using namespace testutil;

namespace {

const QStringList generalPath{QStringLiteral("General files")};
const QStringList websitesPath{QStringLiteral("Favorite websites")};

QStringList groupTexts(QTreeWidget* findings)
{
    QStringList texts;
    for (int i = 0; i < findings->topLevelItemCount(); ++i)
        texts << findings->topLevelItem(i)->text(0);
    return texts;
}

QTreeWidgetItem* findingRow(QTreeWidget* findings, const QString& title)
{
    for (int i = 0; i < findings->topLevelItemCount(); ++i)
        for (int j = 0; j < findings->topLevelItem(i)->childCount(); ++j)
            if (findings->topLevelItem(i)->child(j)->text(0) == title)
                return findings->topLevelItem(i)->child(j);
    return nullptr;
}

}  // namespace

class TestCatalogueCheck : public WindowTestCase {
    Q_OBJECT

private:
    CatalogueCheckWindow* runCheck()
    {
        action(window.get(), "ToolsCheckCatalogue")->trigger();
        auto* results = window->findChild<CatalogueCheckWindow*>();
        QSignalSpy done(results, &CatalogueCheckWindow::checkFinished);
        child<QPushButton>(results, "btnCheck")->click();
        // The window goes on answering while the check runs on its worker.
        if (!window->isEnabled() || !results->isRunning())
            qFatal("the check should run beside the window");
        if (!done.wait(30000))
            qFatal("the check did not finish");
        return results;
    }

    void clickOn(CatalogueCheckWindow* results, const QString& title, const char* button)
    {
        auto* findings = child<QTreeWidget>(results, "listFindings");
        QTreeWidgetItem* row = findingRow(findings, title);
        QVERIFY2(row, qPrintable(title));
        findings->clearSelection();
        row->setSelected(true);
        child<QPushButton>(results, button)->click();
    }

    QString storedTarget(const std::string& guid)
    {
        return QString::fromStdString(
            queryText(sandbox->databasePath(), "select target from link_table where guid = '" + guid + "'"));
    }

private slots:
    void movedFolderIsRelinkedOnceAndTheRestOnOffer()
    {
        QDir home(QDir::homePath());
        QVERIFY(home.mkpath("Old/Docs"));
        for (const char* name : {"Old/Docs/a.txt", "Old/Docs/b.txt", "Old/Docs/c.txt"}) {
            QFile file(home.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("text");
        }
        CCategory* general = tree(window.get())->categoryOf(nodeAt(tree(window.get()), generalPath));
        const std::string a =
            storeItem(sandbox->databasePath(), *general, "A", home.filePath("Old/Docs/a.txt").toStdString());
        const std::string b =
            storeItem(sandbox->databasePath(), *general, "B", home.filePath("Old/Docs/b.txt").toStdString());
        const std::string c =
            storeItem(sandbox->databasePath(), *general, "C", home.filePath("Old/Docs/c.txt").toStdString());
        // A first check learns the files' sizes; then the folder moves and one file goes for good.
        runCheck();
        QVERIFY(home.rename("Old", "New"));
        QVERIFY(QFile::remove(home.filePath("New/Docs/c.txt")));
        select(generalPath);
        CatalogueCheckWindow* results = runCheck();
        auto* findings = child<QTreeWidget>(results, "listFindings");
        QCOMPARE(groupTexts(findings), QStringList{QStringLiteral("Missing files (3)")});
        QVERIFY(findingRow(findings, "A")->text(3).contains("The file does not exist; new"));
        ItemListView* items = list(window.get());
        QVERIFY(items->topLevelItem(0)->toolTip(0).startsWith("Missing: The file does not exist"));

        // The one match found is chosen already: Relink takes it.
        seam::pushDialogHandler([](QDialog* dialog) {
            child<QPushButton>(dialog, "btnSearch")->click();
            auto* candidates = child<QTreeWidget>(dialog, "listCandidates");
            if (candidates->topLevelItemCount() != 1 || candidates->selectedItems().size() != 1
                || !child<QPushButton>(dialog, "btnOk")->isEnabled())
                return int(QDialog::Rejected);
            return int(QDialog::Accepted);
        });
        seam::pushMessageAnswer(QMessageBox::Yes);
        clickOn(results, "A", "btnRelink");
        QCOMPARE(storedTarget(a), home.filePath("New/Docs/a.txt"));
        QCOMPARE(storedTarget(b), home.filePath("New/Docs/b.txt"));
        QCOMPARE(storedTarget(c), home.filePath("Old/Docs/c.txt"));
        QVERIFY(seam::shownMessages().last().text.startsWith(
            QStringLiteral("Relink 1 other missing items from \"%1\" to \"%2\" the same way?")
                .arg(home.filePath("Old"), home.filePath("New"))));
        QVERIFY(seam::shownMessages().last().text.contains("1 more missing items"));
        QCOMPARE(groupTexts(findings), QStringList{QStringLiteral("Missing files (1)")});
        QCOMPARE(items->topLevelItem(0)->text(1), home.filePath("New/Docs/a.txt"));
        QVERIFY(items->topLevelItem(0)->toolTip(0).isEmpty());
        QVERIFY(!items->topLevelItem(2)->toolTip(0).isEmpty());

        clickOn(results, "C", "btnIgnore");
        QCOMPARE(findings->topLevelItemCount(), 0);
        QVERIFY(items->topLevelItem(2)->toolTip(0).isEmpty());
    }

    // A screen reader hears a window with named parts; it opens over the main window, on its screen.
    void checkWindow_IsAWindowWithNamedPartsOpenedOverTheMainWindow()
    {
        window->resize(760, 500);
        window->move(20, 40);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        action(window.get(), "ToolsCheckCatalogue")->trigger();
        auto* results = window->findChild<CatalogueCheckWindow*>();
        QVERIFY(QTest::qWaitForWindowExposed(results));
        QCOMPARE(QAccessible::queryAccessibleInterface(results)->role(), QAccessible::Window);
        for (const char* name : {"listFindings", "cbScope"})
            QVERIFY2(!QAccessible::queryAccessibleInterface(child<QWidget>(results, name))
                          ->text(QAccessible::Name)
                          .isEmpty(),
                     name);
        const QPoint offset = results->geometry().center() - window->geometry().center();
        QVERIFY2(offset.manhattanLength() <= 60, qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
        QVERIFY(window->screen()->availableGeometry().contains(results->frameGeometry()));
    }

    // Mending from the results is a change like every other: Edit > Undo takes it back, and the
    // changes made before it can still be taken back after it.
    void relinkAndDeleteFromTheResultsAreTakenBackByUndo()
    {
        QDir home(QDir::homePath());
        QVERIFY(home.mkpath("Old"));
        QFile file(home.filePath("Old/a.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("text");
        file.close();
        CCategory* general = tree(window.get())->categoryOf(nodeAt(tree(window.get()), generalPath));
        const std::string a =
            storeItem(sandbox->databasePath(), *general, "A", home.filePath("Old/a.txt").toStdString());
        runCheck();
        QVERIFY(home.rename("Old", "New"));
        reselect(generalPath);
        renameInPlace(list(window.get()), 0, QStringLiteral("A renamed"));
        CatalogueCheckWindow* results = runCheck();

        seam::pushDialogHandler([](QDialog* dialog) {
            child<QPushButton>(dialog, "btnSearch")->click();
            child<QTreeWidget>(dialog, "listCandidates")->topLevelItem(0)->setSelected(true);
            return int(QDialog::Accepted);
        });
        clickOn(results, "A renamed", "btnRelink");
        QCOMPARE(storedTarget(a), home.filePath("New/a.txt"));
        QCOMPARE(action(window.get(), "EditUndo")->text(), QStringLiteral("&Undo Relink Item \"A renamed\""));
        action(window.get(), "EditUndo")->trigger();
        QCOMPARE(storedTarget(a), home.filePath("Old/a.txt"));
        action(window.get(), "EditUndo")->trigger();
        QCOMPARE(queryText(sandbox->databasePath(), "select name from link_table where guid = '" + a + "'"),
                 std::string("A"));

        results = runCheck();
        seam::pushMessageAnswer(QMessageBox::Yes);
        clickOn(results, "A", "btnDelete");
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table where guid = '" + a + "'"), 0);
        action(window.get(), "EditUndo")->trigger();
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table where guid = '" + a + "'"), 1);
        QCOMPARE(rowTexts(list(window.get())), QStringList{QStringLiteral("A")});
        for (const seam::ShownMessage& shown : seam::shownMessages())
            QVERIFY2(shown.icon != QMessageBox::Critical, qPrintable(shown.text));
    }

    void deadLinkIsLocatedDeletedOnConfirmAndDatedInItsProperties()
    {
        CCategory* websites = tree(window.get())->categoryOf(nodeAt(tree(window.get()), websitesPath));
        storeItem(sandbox->databasePath(), *websites, "Kept", "javascript:void(0)", 1);
        const std::string gone = storeItem(sandbox->databasePath(), *websites, "Gone", "http://gone.invalid/", 1);
        storeItem(sandbox->databasePath(), *websites, "Gone twice", "HTTP://gone.invalid:80", 1);
        CatalogueCheckWindow* results = runCheck();
        auto* findings = child<QTreeWidget>(results, "listFindings");
        QCOMPARE(groupTexts(findings), (QStringList{QStringLiteral("Dead links (2)"), QStringLiteral("Duplicates (2)"),
                                                    QStringLiteral("Not checked (1)")}));

        clickOn(results, "Gone", "btnLocate");
        QCOMPARE(tree(window.get())->selectedCategory(), websites);
        ItemListView* items = list(window.get());
        QCOMPARE(items->itemOf(items->firstSelectedRow())->GetGuid(), gone);
        QVERIFY(items->firstSelectedRow()->toolTip(0).contains("does not resolve"));

        QString note;
        seam::pushDialogHandler([&note](QDialog* dialog) {
            note = child<QLabel>(dialog, "lblChecked")->text();
            return int(QDialog::Rejected);
        });
        action(window.get(), "Property3")->trigger();
        QVERIFY2(note.startsWith("Last checked ") && note.contains("does not resolve"), qPrintable(note));

        seam::pushMessageAnswer(QMessageBox::No);
        clickOn(results, "Gone", "btnDelete");
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table where guid = '" + gone + "'"), 1);
        seam::pushMessageAnswer(QMessageBox::Yes);
        clickOn(results, "Gone", "btnDelete");
        QCOMPARE(seam::shownMessages().last().text, QStringLiteral("Do you want to delete selected item?"));
        QCOMPARE(seam::shownMessages().last().caption, QStringLiteral("Confirm"));
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table where guid = '" + gone + "'"), 0);
        QCOMPARE(rowTexts(items), (QStringList{QStringLiteral("Kept"), QStringLiteral("Gone twice")}));
        QCOMPARE(groupTexts(findings),
                 (QStringList{QStringLiteral("Dead links (1)"), QStringLiteral("Not checked (1)")}));
    }

    void movedLinkTakesItsNewAddressOnlyOnCommand()
    {
        CCategory* websites = tree(window.get())->categoryOf(nodeAt(tree(window.get()), websitesPath));
        const std::string guid = storeItem(sandbox->databasePath(), *websites, "Old home", "http://old.example/", 1);
        {
            // The result a check stored earlier, as the worker's own connection writes it.
            CppSQLite3DB connection;
            connection.Open(sandbox->databasePath().toUtf8().constData());
            check::CheckStore store(connection);
            store.ensureTable();
            check::Finding moved;
            moved.guid = guid;
            moved.aspect = check::Aspect::Link;
            moved.kind = check::Kind::Moved;
            moved.target = "http://old.example/";
            moved.newTarget = "https://new.example/home";
            moved.detail = "Moved permanently to https://new.example/home";
            store.record(moved, 1700000000);
        }
        action(window.get(), "ToolsCheckCatalogue")->trigger();
        auto* results = window->findChild<CatalogueCheckWindow*>();
        auto* findings = child<QTreeWidget>(results, "listFindings");
        QCOMPARE(groupTexts(findings), QStringList{QStringLiteral("Moved links (1)")});
        QCOMPARE(storedTarget(guid), QStringLiteral("http://old.example/"));
        clickOn(results, "Old home", "btnUseNewAddress");
        QCOMPARE(storedTarget(guid), QStringLiteral("https://new.example/home"));
        QCOMPARE(findings->topLevelItemCount(), 0);
    }
};

QTEST_MAIN(TestCatalogueCheck)
#include "tst_cataloguecheck.moc"
