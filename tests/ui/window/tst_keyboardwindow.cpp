// SPDX-License-Identifier: GPL-3.0-or-later
// The main window by keyboard alone, and what it keeps between starts.
#include "testseam.h"
#include "testutil.h"

#include "shell/appsettings.h"
#include "shell/paths.h"
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
#include <QTreeWidget>
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

    // Enter at once must file nothing; Space (or the first arrow) chooses the category under the cursor.
    void selectCategory_OpensWithNothingChosenTheCursorOnTheShownCategory()
    {
        storeThree();
        showWindow();
        select(wordPath);
        testutil::selectRows(list(window.get()), {0});
        struct Seen {
            bool focused = false, okAtOpen = true, chosenAtOpen = true, acceptedByEnter = false;
            QString cursor, chosenBySpace;
            bool okAfterSpace = false;
        } seen;
        seam::pushDialogHandler([&seen](QDialog* dialog) {
            dialog->show();
            QApplication::setActiveWindow(dialog);
            auto* choices = child<QTreeWidget>(dialog, "treeCategory");
            auto* ok = child<QPushButton>(dialog, "OKBtn");
            seen.focused = dialog->focusWidget() == choices;
            seen.okAtOpen = ok->isEnabled();
            seen.chosenAtOpen = !choices->selectedItems().isEmpty();
            seen.cursor = choices->currentItem() ? choices->currentItem()->text(0) : QString();
            QTest::keyClick(choices, Qt::Key_Return);
            seen.acceptedByEnter = dialog->result() == QDialog::Accepted;
            QTest::keyClick(choices, Qt::Key_Space);
            seen.okAfterSpace = ok->isEnabled();
            const auto chosen = choices->selectedItems();
            seen.chosenBySpace = chosen.size() == 1 ? chosen.first()->text(0) : QString();
            return int(QDialog::Rejected);
        });
        action(window.get(), "CopyTo1")->trigger();
        QVERIFY(seen.focused);
        QVERIFY(!seen.okAtOpen);
        QVERIFY(!seen.chosenAtOpen);
        QCOMPARE(seen.cursor, wordPath.last());
        QVERIFY(!seen.acceptedByEnter);
        QVERIFY(seen.okAfterSpace);
        QCOMPARE(seen.chosenBySpace, wordPath.last());
    }

    // A newcomer's Tab from the tree must land in the list (where Down, Return and Delete work), not
    // in the quick-find field, which Ctrl+K and "/" reach from anywhere.
    void tab_GoesTreeListThenQuickFindAndTheKeysReachTheField()
    {
        showWindow();
        QWidget* categories = tree(window.get());
        QWidget* items = list(window.get());
        QWidget* field = child<QLineEdit>(window.get(), "QuickFind");
        const auto press = [](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
            QCoreApplication::processEvents();
            return QApplication::focusWidget();
        };
        categories->setFocus(Qt::TabFocusReason);
        QCOMPARE(press(Qt::Key_Tab), items);
        QCOMPARE(press(Qt::Key_Tab), field);
        QCOMPARE(press(Qt::Key_Backtab, Qt::ShiftModifier), items);
        QCOMPARE(press(Qt::Key_Backtab, Qt::ShiftModifier), categories);
        const struct {
            QWidget* from;
            int key;
            Qt::KeyboardModifiers modifiers;
        } shortcuts[] = {{categories, Qt::Key_K, Qt::ControlModifier}, {items, Qt::Key_Slash, Qt::NoModifier}};
        for (const auto& shortcut : shortcuts) {
            shortcut.from->setFocus(Qt::TabFocusReason);
            QCOMPARE(press(shortcut.key, shortcut.modifiers), field);
        }
        // A window too narrow for the whole toolbar: the field waits in its overflow, and Ctrl+K
        // opens the overflow to reach it rather than typing into nothing.
        window->resize(420, 400);
        QTRY_VERIFY(!field->isVisible());
        items->setFocus(Qt::TabFocusReason);
        press(Qt::Key_K, Qt::ControlModifier);
        QTRY_COMPARE(QApplication::focusWidget(), field);
        QVERIFY(field->isVisible());
    }

    // Delete on a category asks the category's own question; No keeps it, Yes deletes it.
    void deleteKey_OnACategoryRunsItsDeleteWithTheQuestion()
    {
        showWindow();
        CategoryTreeView* categories = tree(window.get());
        for (const auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            select(wordPath);
            categories->setFocus(Qt::TabFocusReason);
            seam::pushMessageAnswer(answer);
            QTest::keyClick(categories, Qt::Key_Delete);
            QCOMPARE(seam::shownMessages().last().caption, QStringLiteral("Confirm"));
            QCOMPARE(nodeAt(categories, wordPath) != nullptr, answer == QMessageBox::No);
        }
    }

    // A first start shows a way in: the Edit menu runs the category's adding commands, and the empty
    // list of an empty catalogue says what to do until the first item is there.
    void firstStart_EditMenuAddsToTheCategoryAndTheEmptyListSaysHow()
    {
        showWindow();
        select(wordPath);
        QTRY_VERIFY(!list(window.get())->emptyHint().isEmpty());
        const struct {
            const char* edit;
            const char* popup;
            bool asksForFolder;
        } entries[] = {{"EditAddFiles", "AddNewItem2", false},
                       {"EditAddWebAddress", "AddWebAddressURL2", false},
                       {"EditAddFolder", "AddFolder2", true}};
        for (const auto& entry : entries) {
            QStringList asked[2];
            for (int i = 0; i < 2; ++i) {
                seam::clearTestState();
                if (entry.asksForFolder)
                    seam::pushFileAnswer({});
                else
                    seam::pushDialogHandler([](QDialog*) { return int(QDialog::Rejected); });
                action(window.get(), i == 0 ? entry.popup : entry.edit)->trigger();
                asked[i] = seam::shownDialogs();
                for (const seam::ShownFileDialog& shown : seam::shownFileDialogs())
                    asked[i] << shown.caption;
            }
            QVERIFY2(!asked[0].isEmpty(), entry.edit);
            QCOMPARE(asked[1], asked[0]);
        }

        storeItem(sandbox->databasePath(), *select(wordPath), "first", "/f");
        reselect(wordPath);
        select({QStringLiteral("Media files")});
        QTRY_VERIFY(list(window.get())->emptyHint().isEmpty());
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
        // The place lives in our state file, never in the settings file.
        QCOMPARE(QString::fromStdString(readIniText(windowStateFilePath(), "Window", "geometry")),
                 QStringLiteral("20,30,500,400"));
        QVERIFY(!QFile::exists(sandbox->settingsPath()));

        writeIniTexts(windowStateFilePath(), "Window", {{"geometry", "3000,2000,5000,4000"}});
        restart();
        QVERIFY(screen.contains(QRect(window->pos(), window->size())));
    }

    void headerClicks_SortOnlyWhenTheUserTurnedSortingOnAndTheCountShows()
    {
        storeThree();
        showWindow();
        select(wordPath);
        const auto clickName = [this] {
            QHeaderView* header = list(window.get())->header();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(0) + 10, header->height() / 2));
        };
        // The list keeps the stored order: a header click does nothing until the user asks for sorting.
        QVERIFY(!action(window.get(), "SortByColumnHeaders")->isChecked());
        clickName();
        QCOMPARE(rowTexts(list(window.get())), (QStringList{"b", "C", "a"}));

        action(window.get(), "SortByColumnHeaders")->trigger();
        clickName();
        QCOMPARE(rowTexts(list(window.get())), (QStringList{"a", "b", "C"}));
        clickName();
        QCOMPARE(rowTexts(list(window.get())), (QStringList{"C", "b", "a"}));
        clickName();
        QCOMPARE(rowTexts(list(window.get())), (QStringList{"b", "C", "a"}));

        // The choice outlives the window, and turning it off brings the stored order back at once.
        restart();
        showWindow();
        select(wordPath);
        QVERIFY(action(window.get(), "SortByColumnHeaders")->isChecked());
        clickName();
        QCOMPARE(rowTexts(list(window.get())), (QStringList{"a", "b", "C"}));
        action(window.get(), "SortByColumnHeaders")->trigger();
        QCOMPARE(rowTexts(list(window.get())), (QStringList{"b", "C", "a"}));
        clickName();
        QCOMPARE(rowTexts(list(window.get())), (QStringList{"b", "C", "a"}));

        ItemListView* items = list(window.get());
        auto* count = child<QLabel>(window.get(), "lblItemCount");
        QTRY_COMPARE(count->text(), QStringLiteral("3 items"));
        testutil::selectRows(items, {0});
        seam::pushMessageAnswer(QMessageBox::Yes);
        action(window.get(), "Delete1")->trigger();
        QTRY_COMPARE(count->text(), QStringLiteral("2 items"));
    }

    // Only the Settings and Search dialogs write the settings file: the window's place, the sorting
    // choice and the dialogs' folders go to our state file, also at exit.
    void settingsFile_IsLeftByteForByteAsItWasByARunAndItsExit()
    {
        const QByteArray designed = "; mine\r\n[Settings]\r\nautorun=0\r\nclosetray=0\r\n[Search]\r\ntitle=1\r\n";
        QFile ini(sandbox->settingsPath());
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(designed);
        ini.close();
        const QString docs = sandbox->root() + QStringLiteral("/docs");
        QVERIFY(QDir().mkpath(docs));
        QFile(docs + QStringLiteral("/a.txt")).open(QIODevice::WriteOnly);

        restart();
        showWindow();
        window->resize(600, 450);
        list(window.get())->header()->resizeSection(0, 120);
        action(window.get(), "SortByColumnHeaders")->trigger();
        Seam real;
        QString openedIn;
        answerFileDialog(openedIn, docs + QStringLiteral("/a.txt"));
        real.openFileNames(window.get(), {}, {});
        action(window.get(), "OnFileExit")->trigger();
        QTRY_VERIFY(!window->isVisible());

        QVERIFY(ini.open(QIODevice::ReadOnly));
        QCOMPARE(ini.readAll(), designed);
        QCOMPARE(QString::fromStdString(readIniText(windowStateFilePath(), "Folders", "Add File(s)")), docs);
        QCOMPARE(QString::fromStdString(readIniText(windowStateFilePath(), "Window", "columns")).section(',', 0, 0),
                 QStringLiteral("120"));
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
