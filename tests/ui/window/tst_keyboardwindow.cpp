// SPDX-License-Identifier: GPL-3.0-or-later
// The main window by keyboard alone, and what it keeps between starts.
#include "testseam.h"
#include "testutil.h"

#include "shell/appsettings.h"
#include "ui/common/dialogseam.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QtTest>

using namespace testutil;

namespace {

const QStringList wordPath{QStringLiteral("Office documents"), QStringLiteral("Word documents")};

QLineEdit* openEditor(ItemListView* list)
{
    for (QLineEdit* line : list->viewport()->findChildren<QLineEdit*>())
        if (!line->isHidden())
            return line;
    return nullptr;
}

// Notes the folder the next file dialog opens in, then chooses the file (or cancels).
void answerFileDialog(QString& openedIn, const QString& choose)
{
    QTimer::singleShot(0, [&openedIn, choose] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        openedIn = dialog ? dialog->directory().absolutePath() : QString();
        if (dialog)
            dialog->selectFile(choose);
        if (dialog)
            QMetaObject::invokeMethod(dialog, choose.isEmpty() ? "reject" : "accept");
    });
}

}  // namespace

class TestKeyboardWindow : public WindowTestCase {
    Q_OBJECT

private:
    void storeThree()
    {
        for (const char* name : {"b", "C", "a"})
            storeItem(sandbox->databasePath(), *tree(window.get())->categoryOf(nodeAt(tree(window.get()), wordPath)),
                      name, "/d");
    }

    void showWindow()
    {
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

private slots:
    void keyboardAlone_ReachesTheMenusAndMovesAsExpected()
    {
        storeThree();
        showWindow();
        QObject* w = window.get();
        CategoryTreeView* categories = tree(w);

        // The cursor shows where the keys start; the first Down selects that row, not the next.
        categories->setFocus(Qt::TabFocusReason);
        QVERIFY(categories->currentIndex().isValid());
        const QRect cursorRow = categories->visualRect(categories->currentIndex());
        const QImage withCursor = categories->viewport()->grab(cursorRow).toImage();
        window->setFocus();
        QVERIFY(categories->viewport()->grab(cursorRow).toImage() != withCursor);
        categories->setFocus(Qt::TabFocusReason);
        QTest::keyClick(categories, Qt::Key_Down);
        QCOMPARE(categories->selectedNode(), categories->topLevelItem(0));

        // Shift+F10 opens the selected node's menu; the top-level "Add Category" is in the Edit menu.
        QTest::keyClick(categories, Qt::Key_F10, Qt::ShiftModifier);
        QVERIFY(menu(w, "menuCategoryItem")->isVisible());
        menu(w, "menuCategoryItem")->close();
        QVERIFY(menu(w, "Edit1")->actions().contains(action(w, "AddCategoryItem")));

        select(wordPath);
        ItemListView* items = list(w);
        items->setFocus(Qt::TabFocusReason);
        QTest::keyClick(items, Qt::Key_Down);
        QCOMPARE(items->selectedRows(), QList<QTreeWidgetItem*>{items->topLevelItem(0)});
        QTest::keyClick(items, Qt::Key_F10, Qt::ShiftModifier);
        QVERIFY(menu(w, "menuListView")->isVisible());
        menu(w, "menuListView")->close();

        // Tab ends a rename and moves on; the next row's name is never opened for editing.
        items->setFocus(Qt::TabFocusReason);
        items->editItem(items->topLevelItem(0), 0);
        QVERIFY(openEditor(items));
        openEditor(items)->setText(QStringLiteral("renamed"));
        QTest::keyClick(openEditor(items), Qt::Key_Tab);
        QTRY_VERIFY(!openEditor(items));
        QCOMPARE(items->topLevelItem(0)->text(0), QStringLiteral("renamed"));
        QVERIFY(!items->hasFocus());

        // In Select Category the row under the cursor is the chosen one.
        bool okFollowsCursor = false;
        seam::pushDialogHandler([&](QDialog* dialog) {
            dialog->show();
            auto* choices = child<QTreeWidget>(dialog, "treeCategory");
            choices->setFocus(Qt::TabFocusReason);
            QTest::keyClick(choices, Qt::Key_Down);
            okFollowsCursor = child<QPushButton>(dialog, "OKBtn")->isEnabled()
                              && choices->selectedItems() == QList<QTreeWidgetItem*>{choices->currentItem()};
            return int(QDialog::Rejected);
        });
        action(w, "CopyTo1")->trigger();
        QVERIFY(okFollowsCursor);
    }

    void windowPlace_IsKeptAcrossStartsAndNeverBeyondTheScreen()
    {
        const QRect screen = window->screen()->availableGeometry();
        QVERIFY(screen.contains(QRect(window->pos(), window->size())));
        showWindow();
        window->resize(500, 400);
        window->move(20, 30);
        child<QSplitter>(window.get(), "Splitter1")->setSizes({150, 340});
        list(window.get())->header()->resizeSection(1, 111);
        // The splitter shares its width out again when the window lays itself out: what counts is
        // that the panels come back as they were when the window closed.
        const int treeWidth = child<QSplitter>(window.get(), "Splitter1")->sizes().first();
        QVERIFY(qAbs(treeWidth - 150) <= 4);
        window->close();

        restart();
        showWindow();
        QCOMPARE(window->size(), QSize(500, 400));
        QCOMPARE(window->pos(), QPoint(20, 30));
        QCOMPARE(child<QSplitter>(window.get(), "Splitter1")->sizes().first(), treeWidth);
        QCOMPARE(list(window.get())->header()->sectionSize(1), 111);
        // The program's own sections keep their keys; the place has a section of its own.
        QCOMPARE(QString::fromStdString(readIniText(sandbox->settingsPath().toStdString(), "Window", "geometry")),
                 QStringLiteral("20,30,500,400"));

        writeIniTexts(sandbox->settingsPath().toStdString(), "Window", {{"geometry", "3000,2000,5000,4000"}});
        restart();
        QVERIFY(screen.contains(QRect(window->pos(), window->size())));
    }

    void headerClicks_SortByAColumnThenBackToTheStoredOrderAndTheCountShows()
    {
        storeThree();
        showWindow();
        select(wordPath);
        ItemListView* items = list(window.get());
        QHeaderView* header = items->header();
        const auto clickName = [header] {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(0) + 10, header->height() / 2));
        };
        clickName();
        QCOMPARE(rowTexts(items), (QStringList{"a", "b", "C"}));
        clickName();
        QCOMPARE(rowTexts(items), (QStringList{"C", "b", "a"}));
        clickName();
        QCOMPARE(rowTexts(items), (QStringList{"b", "C", "a"}));

        auto* count = child<QLabel>(window.get(), "lblItemCount");
        QTRY_COMPARE(count->text(), QStringLiteral("3 items"));
        testutil::selectRows(items, {0});
        seam::pushMessageAnswer(QMessageBox::Yes);
        action(window.get(), "Delete1")->trigger();
        QTRY_COMPARE(count->text(), QStringLiteral("2 items"));
    }

    void fileDialogs_OpenAtHomeThenWhereTheUserLastWasInThatDialog()
    {
        const QString docs = sandbox->root() + QStringLiteral("/docs");
        QVERIFY(QDir().mkpath(docs));
        QFile(docs + QStringLiteral("/a.txt")).open(QIODevice::WriteOnly);
        Seam real;
        QString openedIn;
        answerFileDialog(openedIn, docs + QStringLiteral("/a.txt"));
        real.openFileNames(window.get(), {}, {});
        QCOMPARE(openedIn, QDir::homePath());
        answerFileDialog(openedIn, {});
        real.openFileNames(window.get(), {}, {});
        QCOMPARE(openedIn, docs);
        answerFileDialog(openedIn, {});
        real.openFileName(window.get(), QStringLiteral("Choose a bookmark file to import"), {}, {}, true);
        QCOMPARE(openedIn, QDir::homePath());
    }
};

QTEST_MAIN(TestKeyboardWindow)
#include "tst_keyboardwindow.moc"
