// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on a real temporary catalogue: the tree, the item list and the item commands.
#include "testseam.h"
#include "testutil.h"

#include "model/ccategory.h"
#include "model/clinkitem.h"
#include "shell/appsettings.h"
#include "ui/dialogs/tsearchitemform.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"
#include "ui/window/tsdiappform.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

using namespace testutil;

namespace {

const QStringList officePath{QStringLiteral("Office documents")};
const QStringList wordPath{QStringLiteral("Office documents"), QStringLiteral("Word documents")};
const QStringList mediaPath{QStringLiteral("Media files")};

QStringList entryTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* action : menu->actions())
        texts.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

QStringList enabledEntries(const QMenu* menu)
{
    QStringList names;
    for (const QAction* action : menu->actions())
        if (action->isEnabled())
            names.append(action->objectName());
    return names;
}

// Searches the titles for the keyword in the search dialog, which the Search command shows.
TSearchItemForm* searchTitles(QObject* window, const QString& keyword)
{
    action(window, "OnEditSearch")->trigger();
    auto* form = window->findChild<TSearchItemForm*>();
    if (!form)
        missingObject(window, "TSearchItemForm", "");
    child<QLineEdit>(form, "editKeyword")->setText(keyword);
    child<QPushButton>(form, "btnSearch")->click();
    return form;
}

// A double click on the line of the result list.
void doubleClickResult(TSearchItemForm* form, int row)
{
    auto* results = child<QListWidget>(form, "lbResult");
    const QPoint at = results->visualItemRect(results->item(row)).center();
    QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(results->viewport(), Qt::LeftButton, {}, at);
}

}  // namespace

class TestTSDIAppForm : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Sandbox> sandbox;
    std::unique_ptr<TSDIAppForm> window;

    void open() { window = std::make_unique<TSDIAppForm>(); }

    CCategory* select(const QStringList& path) { return selectCategory(window.get(), path); }
    CCategory* reselect(const QStringList& path) { return reselectCategory(window.get(), path); }
    void selectRows(const QList<int>& indices) { testutil::selectRows(list(window.get()), indices); }
    std::string store(const CCategory& category, const std::string& name, const std::string& target, int type = 0,
                      const std::string& comment = {})
    {
        return storeItem(sandbox->databasePath(), category, name, target, type, comment);
    }

    // Word documents holding three file items a, b, c, shown in the list.
    CCategory* wordWithThreeItems()
    {
        CCategory* word = select(wordPath);
        store(*word, "a", "/docs/a.txt");
        store(*word, "b", "/docs/b.txt");
        store(*word, "c", "/docs/c.txt");
        return reselect(wordPath);
    }

private slots:
    void initTestCase() { seam::enableTestMode(); }

    void init()
    {
        seam::clearTestState();
        sandbox = std::make_unique<Sandbox>();
    }

    void cleanup()
    {
        window.reset();
        sandbox.reset();
        QCOMPARE(seam::unexpectedPrompts(), QStringList());
        QCOMPARE(seam::pendingAnswerCount(), 0);
    }

    void freshStart_ShowsFourCategoriesTwoUnderOfficeNothingSelectedEmptyList()
    {
        open();
        QVERIFY(QFile::exists(sandbox->databasePath()));
        CategoryTreeView* categories = tree(window.get());
        QCOMPARE(topLevelTexts(categories),
                 QStringList({"General files", "Office documents", "Media files", "Favorite websites"}));
        QTreeWidgetItem* office = nodeAt(categories, officePath);
        QCOMPARE(childTexts(office), QStringList({"Word documents", "Excel documents"}));
        QVERIFY(!office->isExpanded());
        QCOMPARE(categories->selectedNode(), nullptr);
        QCOMPARE(categories->selectedCategory(), nullptr);
        QCOMPARE(list(window.get())->topLevelItemCount(), 0);
        QVERIFY(seam::shownMessages().isEmpty());
        QCOMPARE(offeredIcons(window.get()).size(), 23);
        QVERIFY(!trayIconShown(window.get()));
    }

    void nodesPointAtTheCatalogueCategories()
    {
        open();
        CategoryTreeView* categories = tree(window.get());
        QTreeWidgetItem* word = nodeAt(categories, wordPath);
        CCategory* category = categories->categoryOf(word);
        QVERIFY(category);
        QCOMPARE(category->GetGuid(), std::string("6C6FCDD3-6C95-49d9-AC6A-CC0913ABE5C1"));
        QCOMPARE(category, window->catalogue().GetRootCategory().GetChild(1)->GetChild(0));
        QCOMPARE(categories->nodeOf(category), word);
        QCOMPARE(categories->findNode(category->GetGuid()), word);
    }

    void captionMenusAndToolbarHaveTheirNamesTextsAndHints()
    {
        open();
        QObject* w = window.get();
        QCOMPARE(window->windowTitle(), QStringLiteral("Varnelo"));
        QStringList menus;
        for (QAction* entry : window->menuBar()->actions())
            menus.append(entry->text());
        // The designed menus keep their entries in their order; ours come after them, or in a menu of their own.
        QCOMPARE(menus, QStringList({"&File", "&Edit", "&View", "&Tools", "&Help"}));
        QCOMPARE(entryTexts(menu(w, "File1")),
                 QStringList({"&Backup...", "&Restore...", "Restore &Automatic Backup...", "-", "E&xit"}));
        QCOMPARE(entryTexts(menu(w, "Edit1")),
                 QStringList({"&Undo", "&Redo", "Restore &Automatic Backup...", "-", "&Search", "-", "Add Category",
                              "-", "Add &File(s)...", "Add &Web Address (URL)...", "Add F&older..."}));
        QCOMPARE(entryTexts(menu(w, "View1")), QStringList({"&Sort by Column Headers"}));
        QCOMPARE(entryTexts(menu(w, "Tools1")),
                 QStringList({"&Import from IE Favorites...", "Import &Bookmarks File...", "Import from B&rowser...",
                              "&Export Bookmarks File...", "Check &Catalogue...", "-", "&Settings",
                              "Bac&kup Settings...", "S&ync Settings...", "Sync &Now", "Con&tent Settings..."}));
        QCOMPARE(entryTexts(menu(w, "Help1")), QStringList({"Online &Help ", "-", "&About"}));
        QCOMPARE(menu(w, "File1")->menuAction()->statusTip(), QStringLiteral("File related commands"));
        QCOMPARE(menu(w, "Help1")->menuAction()->statusTip(), QStringLiteral("Help topics"));
        QCOMPARE(entryTexts(menu(w, "menuCategory")), QStringList({"Add Category", "Property"}));
        QCOMPARE(entryTexts(menu(w, "menuCategoryItem")),
                 QStringList({"Add Subcategory", "Add File(s)...", "Add Web Address (URL)...", "Add Folder...", "-",
                              "Delete", "-", "Property", "-", "Move to Category...", "Copy to Category..."}));
        QCOMPARE(entryTexts(menu(w, "menuListView")),
                 QStringList({"Open", "Open With...", "Open Containing Folder", "Open &Kept Copy", "-",
                              "Add File(s)...", "Add Web Address (URL)...", "-", "Copy to Category...",
                              "Move to Category...", "Delete", "-", "Property"}));
        // Shown only for a web item with a kept copy: the popup otherwise reads as it always did.
        QVERIFY(!action(w, "OpenKeptCopy")->isVisible());
        QCOMPARE(entryTexts(menu(w, "menuTray")),
                 QStringList({"Show Window", "-", "Settings...", "Online &Help", "&About", "-", "&Exit"}));

        auto* toolBar = child<QToolBar>(w, "ToolBar1");
        QStringList hints;
        for (QAction* entry : toolBar->actions())
            if (auto* button = qobject_cast<QToolButton*>(toolBar->widgetForAction(entry)))
                hints.append(button->objectName() + QLatin1Char('=') + button->toolTip() + QLatin1Char('|')
                             + button->accessibleName());
        QCOMPARE(hints,
                 QStringList(
                     {"ToolButton1=Create backup  for current database|Create backup  for current database",
                      "ToolButton2=Restore database from saved backup file.|Restore database from saved backup file.",
                      "ToolButton4=Search items with special keyword.|Search items with special keyword.",
                      "ToolButton6=Application settings|Application settings", "ToolButton7=Show help|Show help",
                      "ToolButton8=Show about information|Show about information",
                      "ToolButton10=Close and exit the application|Close and exit the application"}));
        QCOMPARE(action(w, "OnFileBackup")->statusTip(), QStringLiteral("Create backup  for current database"));
        ItemListView* items = list(w);
        QCOMPARE(items->headerItem()->text(0), QStringLiteral("Name"));
        QCOMPARE(items->headerItem()->text(1), QStringLiteral("Reference"));
        QCOMPARE(items->headerItem()->text(2), QStringLiteral("Description"));
    }

    void selectingCategory_ReloadsItsItemsFromTheDatabase()
    {
        open();
        ItemListView* items = list(window.get());
        CCategory* word = select(wordPath);
        QCOMPARE(items->topLevelItemCount(), 0);
        store(*word, "Report", "/home/u/report.odt", 0, "yearly");
        store(*word, "Site", "example.org", 1);
        // Another category and back: the list shows what is stored now.
        select(mediaPath);
        QCOMPARE(items->topLevelItemCount(), 0);
        select(wordPath);
        QCOMPARE(rowTexts(items), QStringList({"Report", "Site"}));
        QCOMPARE(rowTexts(items, 1), QStringList({"/home/u/report.odt", "example.org"}));
        QCOMPARE(rowTexts(items, 2), QStringList({"yearly", ""}));
        QCOMPARE(word->GetItemCount(), 2);
        QCOMPARE(items->itemOf(items->topLevelItem(0)), word->GetItem(0));
        QCOMPARE(items->itemAtRow(1), word->GetItem(1));
        QCOMPARE(items->rowOf(word->GetItem(1)), items->topLevelItem(1));

        execute(sandbox->databasePath(), "delete from link_table where name='Report';");
        select(mediaPath);
        select(wordPath);
        QCOMPARE(rowTexts(items), QStringList({"Site"}));
    }

    void popupEnabling_FollowsTheSelectedRows_data()
    {
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<QStringList>("enabled");
        QTest::newRow("none") << QList<int>{} << QStringList({"AddNewItem1", "AddWebAddressURL1"});
        QTest::newRow("one file") << QList<int>{0}
                                  << QStringList({"Open1", "OpenWith1", "OpenContainingFolder1", "N4", "AddNewItem1",
                                                  "AddWebAddressURL1", "N5", "CopyTo1", "MoveTo1", "Delete1", "N6",
                                                  "Property3"});
        QTest::newRow("one web address") << QList<int>{1}
                                         << QStringList({"Open1", "OpenWith1", "N4", "AddNewItem1", "AddWebAddressURL1",
                                                         "N5", "CopyTo1", "MoveTo1", "Delete1", "N6", "Property3"});
        QTest::newRow("several") << QList<int>{0, 1}
                                 << QStringList({"AddNewItem1", "AddWebAddressURL1", "CopyTo1", "MoveTo1", "Delete1"});
    }

    void popupEnabling_FollowsTheSelectedRows()
    {
        QFETCH(QList<int>, rows);
        QFETCH(QStringList, enabled);
        open();
        CCategory* word = select(wordPath);
        store(*word, "File", "/tmp/file.txt", 0);
        store(*word, "Web", "https://example.org", 1);
        reselect(wordPath);
        selectRows(rows);
        QMenu* popup = openListPopup(window.get());
        QVERIFY(popup->isVisible());
        QCOMPARE(enabledEntries(popup), enabled);
        popup->hide();
    }

    void popupEnabling_OffersNoAddingWithoutACategory()
    {
        open();
        QMenu* popup = openListPopup(window.get());
        QCOMPARE(enabledEntries(popup), QStringList());
        popup->hide();
    }

    void rightClickOnTheList_SelectsTheRowUnderThePointerAndOpensThePopup()
    {
        open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        CCategory* word = select(wordPath);
        store(*word, "File", "/tmp/file.txt", 0);
        store(*word, "Web", "https://example.org", 1);
        reselect(wordPath);
        ItemListView* items = list(window.get());
        QMenu* popup = menu(window.get(), "menuListView");
        const QPoint onWeb = items->visualItemRect(items->topLevelItem(1)).center();
        QTest::mouseClick(items->viewport(), Qt::RightButton, {}, onWeb);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, onWeb, items->viewport()->mapToGlobal(onWeb));
        QCoreApplication::sendEvent(items->viewport(), &menuEvent);
        QTRY_VERIFY(popup->isVisible());
        QCOMPARE(items->firstSelectedRow(), items->topLevelItem(1));
        QVERIFY(!action(window.get(), "OpenContainingFolder1")->isEnabled());
        QVERIFY(action(window.get(), "OpenWith1")->isEnabled());
        popup->hide();
    }

    void openCommands_PassTheSelectedTargetToTheDesktop()
    {
        open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QObject* w = window.get();
        CCategory* word = select(wordPath);
        const std::string odd = "-rf \"a b\";$HOME.txt";
        // The odd name exists, relative to the folder the program runs in, since Open refuses a missing file.
        const QString started = QDir::currentPath();
        QDir::setCurrent(sandbox->root());
        const auto back = qScopeGuard([&] { QDir::setCurrent(started); });
        QFile(QString::fromStdString(odd)).open(QIODevice::WriteOnly);
        store(*word, "Odd", odd, 0);
        store(*word, "Web", "example.org/x?a=1", 1);
        reselect(wordPath);
        ItemListView* items = list(w);

        action(w, "Open1")->trigger();
        QVERIFY(sandbox->desktop.calls.isEmpty());  // nothing selected: nothing happens
        selectRows({0});
        action(w, "Open1")->trigger();
        action(w, "OpenWith1")->trigger();
        action(w, "OpenContainingFolder1")->trigger();
        items->setFocus();
        QTest::keyClick(items, Qt::Key_Return);
        // A double click on the other row, which its first click selects.
        items->clearSelection();
        const QPoint onWeb = items->visualItemRect(items->topLevelItem(1)).center();
        QTest::mouseClick(items->viewport(), Qt::LeftButton, {}, onWeb);
        QTest::mouseDClick(items->viewport(), Qt::LeftButton, {}, onWeb);
        QCOMPARE(items->selectedRows(), QList<QTreeWidgetItem*>{items->topLevelItem(1)});
        action(w, "OpenContainingFolder1")->trigger();  // not for a web address
        const QList<DesktopCall>& calls = sandbox->desktop.calls;
        QCOMPARE(calls.size(), 5);
        QCOMPARE(calls[0].kind + calls[0].target, QStringLiteral("open") + QString::fromStdString(odd));
        QCOMPARE(calls[0].type, 0);
        QCOMPARE(calls[1].kind + calls[1].target, QStringLiteral("openWith") + QString::fromStdString(odd));
        QCOMPARE(calls[2].kind + calls[2].target, QStringLiteral("showInFolder") + QString::fromStdString(odd));
        QCOMPARE(calls[3].kind + calls[3].target, QStringLiteral("open") + QString::fromStdString(odd));
        QCOMPARE(calls[4].kind + calls[4].target, QStringLiteral("openexample.org/x?a=1"));
        QCOMPARE(calls[4].type, 1);
    }

    void deleteOneRow_AsksAndRemovesOnYes()
    {
        open();
        CCategory* word = wordWithThreeItems();
        selectRows({1});
        seam::pushMessageAnswer(QMessageBox::Yes);
        action(window.get(), "Delete1")->trigger();
        QCOMPARE(seam::shownMessages().size(), 1);
        QCOMPARE(seam::shownMessages()[0].caption, QStringLiteral("Confirm"));
        QCOMPARE(seam::shownMessages()[0].text, QStringLiteral("Do you want to delete selected item?\n\n\"b\""));
        QCOMPARE(seam::shownMessages()[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(rowTexts(list(window.get())), QStringList({"a", "c"}));
        QCOMPARE(word->GetItemCount(), 2);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table where name='b';"), 0);
    }

    void deleteSeveralRows_AsksWithoutQuestionMarkAndNoKeepsEverything()
    {
        open();
        CCategory* word = wordWithThreeItems();
        selectRows({0, 2});
        seam::pushMessageAnswer(QMessageBox::No);
        action(window.get(), "Delete1")->trigger();
        QCOMPARE(seam::shownMessages().size(), 1);
        QCOMPARE(seam::shownMessages()[0].text, QStringLiteral("Do you want to delete selected items\n\n2 items"));
        QCOMPARE(rowTexts(list(window.get())), QStringList({"a", "b", "c"}));
        QCOMPARE(word->GetItemCount(), 3);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table;"), 3);

        seam::pushMessageAnswer(QMessageBox::Yes);
        action(window.get(), "Delete1")->trigger();
        QCOMPARE(rowTexts(list(window.get())), QStringList({"b"}));
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table;"), 1);
    }

    void deleteKey_RunsDeleteWithItsConfirmation()
    {
        open();
        wordWithThreeItems();
        ItemListView* items = list(window.get());
        selectRows({0});
        seam::pushMessageAnswer(QMessageBox::Yes);
        QTest::keyClick(items, Qt::Key_Delete);
        QCOMPARE(rowTexts(items), QStringList({"b", "c"}));
        items->clearSelection();
        QTest::keyClick(items, Qt::Key_Delete);  // nothing selected: no question
        QCOMPARE(seam::shownMessages().size(), 1);
    }

    void deletedItem_DoesNotComeBackWhenTheCategoryIsSavedLater()
    {
        open();
        CCategory* word = wordWithThreeItems();
        selectRows({0});
        seam::pushMessageAnswer(QMessageBox::Yes);
        action(window.get(), "Delete1")->trigger();
        // Moving another item out saves the category's remaining items.
        selectRows({0});
        answerSelectCategory(mediaPath);
        action(window.get(), "MoveTo1")->trigger();
        QCOMPARE(word->GetItemCount(), 1);
        select(mediaPath);
        select(wordPath);
        QCOMPARE(rowTexts(list(window.get())), QStringList({"c"}));
    }

    void renameToTheSameText_WritesNothing()
    {
        open();
        CCategory* word = wordWithThreeItems();
        // Changed behind the window's back: a write of the row would put "a" back.
        execute(sandbox->databasePath(), "update link_table set name='elsewhere' where name='a';");
        renameInPlace(list(window.get()), 0, QStringLiteral("a"));
        QCOMPARE(queryText(sandbox->databasePath(), "select name from link_table where target='/docs/a.txt';"),
                 std::string("elsewhere"));
        QCOMPARE(word->GetItem(0)->GetName(), std::string("a"));
    }

    void renameToNewOrEmptyText_StoresIt()
    {
        open();
        CCategory* word = wordWithThreeItems();
        ItemListView* items = list(window.get());
        QTreeWidgetItem* row = items->topLevelItem(1);
        renameInPlace(items, 1, QStringLiteral("B renamed"));
        QCOMPARE(row->text(0), QStringLiteral("B renamed"));
        QCOMPARE(word->GetItem(1)->GetName(), std::string("B renamed"));
        QCOMPARE(queryText(sandbox->databasePath(), "select name from link_table where target='/docs/b.txt';"),
                 std::string("B renamed"));
        renameInPlace(items, 1, QString());
        QCOMPARE(row->text(0), QString());
        QCOMPARE(queryText(sandbox->databasePath(), "select name from link_table where target='/docs/b.txt';"),
                 std::string(""));
    }

    void inPlaceEditor_CommitsThroughTheRenameRule()
    {
        open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        wordWithThreeItems();
        ItemListView* items = list(window.get());
        selectRows({2});
        items->setCurrentItem(items->topLevelItem(2));
        items->setFocus();
        QTest::keyClick(items, Qt::Key_F2);
        auto* editor = items->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("typed"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(queryText(sandbox->databasePath(), "select name from link_table where target='/docs/c.txt';"),
                     std::string("typed"));
        QCOMPARE(items->topLevelItem(2)->text(0), QStringLiteral("typed"));
    }

    void moveTwoOfThree_LeavesOneRowAndTheTargetShowsTheTwo()
    {
        open();
        CCategory* word = wordWithThreeItems();
        selectRows({0, 2});
        answerSelectCategory(mediaPath);
        action(window.get(), "MoveTo1")->trigger();
        QCOMPARE(seam::shownDialogs(), QStringList({"TSelectCategoryDialogForm"}));
        QCOMPARE(rowTexts(list(window.get())), QStringList({"b"}));
        QCOMPARE(word->GetItemCount(), 1);
        select(mediaPath);
        QCOMPARE(rowTexts(list(window.get())), QStringList({"a", "c"}));
        select(wordPath);
        QCOMPARE(rowTexts(list(window.get())), QStringList({"b"}));
    }

    void copyToAnotherCategory_StoresCopiesWithFreshGuids()
    {
        open();
        CCategory* word = wordWithThreeItems();
        const std::string originalGuid = word->GetItem(1)->GetGuid();
        selectRows({1});
        answerSelectCategory(mediaPath);
        action(window.get(), "CopyTo1")->trigger();
        ItemListView* items = list(window.get());
        QCOMPARE(rowTexts(items), QStringList({"a", "b", "c"}));
        select(mediaPath);
        QCOMPARE(rowTexts(items), QStringList({"b"}));
        const CLinkItem* copy = items->itemAtRow(0);
        QVERIFY(copy->GetGuid() != originalGuid);
        QCOMPARE(copy->GetTarget(), std::string("/docs/b.txt"));
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table;"), 4);
    }

    void copyOrMoveToTheCurrentCategory_DoesNothing()
    {
        open();
        wordWithThreeItems();
        selectRows({0, 1});
        answerSelectCategory(wordPath);
        action(window.get(), "CopyTo1")->trigger();
        answerSelectCategory(wordPath);
        action(window.get(), "MoveTo1")->trigger();
        QCOMPARE(rowTexts(list(window.get())), QStringList({"a", "b", "c"}));
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table;"), 3);
        QVERIFY(seam::shownMessages().isEmpty());
    }

    void cancelledSelectCategory_CopiesNothing()
    {
        open();
        wordWithThreeItems();
        selectRows({0});
        seam::pushDialogHandler([](QDialog* dialog) {
            child<QPushButton>(dialog, "CancelBtn")->click();
            return dialog->result();
        });
        action(window.get(), "CopyTo1")->trigger();
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table;"), 3);
    }

    void locateItem_SelectsCategoryAndRow()
    {
        open();
        CCategory* word = select(wordPath);
        store(*word, "first", "/x/1");
        const std::string wanted = store(*word, "second", "/x/2");
        select(mediaPath);
        TSearchItemForm* search = searchTitles(window.get(), QStringLiteral("second"));
        QVERIFY(QTest::qWaitForWindowExposed(search));
        doubleClickResult(search, 0);
        CategoryTreeView* categories = tree(window.get());
        ItemListView* items = list(window.get());
        QCOMPARE(categories->selectedCategory(), word);
        QVERIFY(nodeAt(categories, officePath)->isExpanded());
        QCOMPARE(rowTexts(items), QStringList({"first", "second"}));
        QCOMPARE(items->selectedRows().size(), 1);
        QCOMPARE(items->firstSelectedRow()->text(0), QStringLiteral("second"));
        QCOMPARE(items->itemOf(items->firstSelectedRow())->GetGuid(), wanted);
        QVERIFY(seam::shownMessages().isEmpty());
    }

    void locateItem_MissingCategoryOrItemSaysSo()
    {
        open();
        CCategory* word = select(wordPath);
        store(*word, "first", "/x/1");
        reselect(wordPath);
        list(window.get())->topLevelItem(0)->setSelected(true);
        CategoryTreeView* categories = tree(window.get());

        // An item whose category is in no tree: stored by a program that knew another catalogue.
        execute(sandbox->databasePath(), "insert into link_table (guid,name,target,category,star,comment,type) "
                                         "values('orphan-item','orphan','/o','no-such-category',0,'',0);");
        TSearchItemForm* search = searchTitles(window.get(), QStringLiteral("orphan"));
        QVERIFY(QTest::qWaitForWindowExposed(search));
        doubleClickResult(search, 0);
        QCOMPARE(seam::shownMessages().size(), 1);
        QCOMPARE(seam::shownMessages()[0].caption, QStringLiteral("Error"));
        QCOMPARE(seam::shownMessages()[0].text, QStringLiteral("The selected item does not exist"));
        QCOMPARE(categories->selectedCategory(), word);

        CCategory* media = categories->categoryOf(nodeAt(categories, mediaPath));
        const std::string vanishing = store(*media, "vanishing", "/v");
        searchTitles(window.get(), QStringLiteral("vanishing"));
        execute(sandbox->databasePath(), "delete from link_table where guid='" + vanishing + "';");
        doubleClickResult(search, 0);
        QCOMPARE(seam::shownMessages().size(), 2);
        QCOMPARE(seam::shownMessages()[1].text, QStringLiteral("The selected item does not exist"));
        QCOMPARE(categories->selectedCategory(), media);
    }

    void rightClickInTree_NeverMovesSelectionAndPicksTheMenuByRow()
    {
        open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        CategoryTreeView* categories = tree(window.get());
        QMenu* treeMenu = menu(window.get(), "menuCategory");
        QMenu* categoryMenu = menu(window.get(), "menuCategoryItem");
        QTreeWidgetItem* general = categories->topLevelItem(0);
        QTreeWidgetItem* media = nodeAt(categories, mediaPath);

        // Nothing selected: the tree's own menu, and still nothing selected.
        QTest::mouseClick(categories->viewport(), Qt::RightButton, {}, categories->visualItemRect(media).center());
        QTRY_VERIFY(treeMenu->isVisible());
        treeMenu->hide();
        QCOMPARE(categories->selectedNode(), nullptr);

        categories->setCurrentItem(general);
        // On another node: the tree's menu; the selection stays.
        QTest::mouseClick(categories->viewport(), Qt::RightButton, {}, categories->visualItemRect(media).center());
        QTRY_VERIFY(treeMenu->isVisible());
        treeMenu->hide();
        QCOMPARE(categories->selectedNode(), general);
        QVERIFY(!categoryMenu->isVisible());

        // On the selected node's row, far right of its text: the category's menu.
        const QRect row = categories->visualItemRect(general);
        QTest::mouseClick(categories->viewport(), Qt::RightButton, {},
                          QPoint(categories->viewport()->width() - 3, row.center().y()));
        QTRY_VERIFY(categoryMenu->isVisible());
        categoryMenu->hide();
        QCOMPARE(categories->selectedNode(), general);

        // The menu key reaches the selected category's menu too.
        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0), categories->mapToGlobal(QPoint(0, 0)));
        QCoreApplication::sendEvent(categories, &key);
        QTRY_VERIFY(categoryMenu->isVisible());
        categoryMenu->hide();
    }

    void lostTreeSelection_EmptiesTheList()
    {
        open();
        wordWithThreeItems();
        QCOMPARE(list(window.get())->topLevelItemCount(), 3);
        tree(window.get())->clearSelection();
        QCOMPARE(list(window.get())->topLevelItemCount(), 0);
    }

    void reload_DropsRowsAndSelectionBeforeDiscardingTheCatalogue()
    {
        open();
        wordWithThreeItems();
        // A restore reloads the catalogue in the same window.
        const QString backup = sandbox->root() + QStringLiteral("/reload.mbk");
        seam::pushFileAnswer({backup});
        action(window.get(), "OnFileBackup")->trigger();
        seam::pushFileAnswer({backup});
        action(window.get(), "OnFileRestore")->trigger();
        QCOMPARE(seam::shownMessages().last().text, QStringLiteral("Successfully finish restoring!"));
        QCOMPARE(list(window.get())->topLevelItemCount(), 0);
        QCOMPARE(tree(window.get())->selectedNode(), nullptr);
        QCOMPARE(topLevelTexts(tree(window.get())).size(), 4);
        select(wordPath);
        QCOMPARE(rowTexts(list(window.get())), QStringList({"a", "b", "c"}));
    }

    void catalogueThatIsNotADatabase_ShowsErrorBoxAndEmptyTree()
    {
        QFile file(sandbox->databasePath());
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        open();
        QCOMPARE(tree(window.get())->topLevelItemCount(), 0);
        QCOMPARE(seam::shownMessages().size(), 1);
        QCOMPARE(seam::shownMessages()[0].caption, QStringLiteral("Varnelo"));
        QCOMPARE(seam::shownMessages()[0].icon, QMessageBox::Critical);
        QVERIFY(!seam::shownMessages()[0].text.isEmpty());
        // The window stays usable: its popup opens, and a command runs and says why it failed.
        QMenu* popup = openListPopup(window.get());
        QCOMPARE(enabledEntries(popup), QStringList());
        popup->hide();
        seam::pushDialogHandler([](QDialog* dialog) {
            child<QLineEdit>(dialog, "Edit1")->setText(QStringLiteral("Anything"));
            child<QPushButton>(dialog, "Button1")->click();
            return dialog->result();
        });
        action(window.get(), "AddCategoryItem")->trigger();
        QCOMPARE(seam::shownMessages().size(), 2);
        QCOMPARE(seam::shownMessages()[1].icon, QMessageBox::Critical);
        QCOMPARE(tree(window.get())->topLevelItemCount(), 0);
    }

    void noDataFolder_SaysSoAndAsksTheProgramToEnd()
    {
        // A file where the data folder should be: the folder cannot be made.
        const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
        QVERIFY(QDir().rmdir(QString::fromLocal8Bit(dataHome)));
        QFile blocker(QString::fromLocal8Bit(dataHome));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        open();
        QCOMPARE(seam::shownMessages().size(), 1);
        QCOMPARE(seam::shownMessages()[0].text, QStringLiteral("Failed to get \"Application Data\" folder!"));
        QCOMPARE(seam::shownMessages()[0].caption, QString());
        QCOMPARE(seam::shownMessages()[0].icon, QMessageBox::NoIcon);
        QCOMPARE(tree(window.get())->topLevelItemCount(), 0);
        // The quit request waits in the queue for the loop; a loop started now ends at once.
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    void storedIconList_ReplacesTheBuiltInSetAtStart()
    {
        open();
        CCategory* media = tree(window.get())->categoryOf(nodeAt(tree(window.get()), mediaPath));
        const std::string mediaGuid = media->GetGuid();
        window.reset();
        // Another run stored a list with one more icon and gave it to a category.
        IconList icons = IconList::builtIn();
        QImage red(32, 32, QImage::Format_ARGB32);
        red.fill(Qt::red);
        QVERIFY(icons.append(red));
        storeIcons(sandbox->databasePath(), icons);
        execute(sandbox->databasePath(), "update category_table set iconIndex=23 where guid='" + mediaGuid + "';");

        open();
        QCOMPARE(offeredIcons(window.get()).size(), 24);
        const QImage shown = nodeAt(tree(window.get()), mediaPath)->icon(0).pixmap(32, 32).toImage();
        QCOMPARE(shown.pixelColor(16, 16), QColor(Qt::red));
    }

    void settingsCommand_AddsTheTrayIconOnlyWhenAlwaysTurnsOn()
    {
        open();
        QAction* settings = action(window.get(), "OnToolsSettings");
        // Cancel: nothing changes.
        seam::pushDialogHandler([](QDialog*) { return int(QDialog::Rejected); });
        settings->trigger();
        QVERIFY(!trayIconShown(window.get()));
        seam::pushDialogHandler([](QDialog* dialog) {
            child<QCheckBox>(dialog, "ckAlways")->setChecked(true);
            child<QPushButton>(dialog, "OKBtn")->click();
            return dialog->result();
        });
        settings->trigger();
        QVERIFY(trayIconShown(window.get()));
        QVERIFY(AppSettings.always);
        // Off again: the icon that is there stays.
        seam::pushDialogHandler([](QDialog* dialog) {
            child<QCheckBox>(dialog, "ckAlways")->setChecked(false);
            child<QPushButton>(dialog, "OKBtn")->click();
            return dialog->result();
        });
        settings->trigger();
        QVERIFY(trayIconShown(window.get()));
        QVERIFY(!AppSettings.always);
    }

    void helpAndAbout_GoThroughTheDesktopAndTheSeam()
    {
        open();
        action(window.get(), "OnHelpHelp")->trigger();
        QCOMPARE(sandbox->desktop.calls.size(), 1);
        QCOMPARE(sandbox->desktop.calls[0].kind, QStringLiteral("openUrl"));
        QVERIFY(sandbox->desktop.calls[0].target.endsWith(QStringLiteral("/help")));
        seam::pushDialogHandler([](QDialog*) { return int(QDialog::Accepted); });
        seam::pushDialogHandler([](QDialog*) { return int(QDialog::Accepted); });
        action(window.get(), "OnHelpAbout")->trigger();
        action(window.get(), "About1")->trigger();
        QCOMPARE(seam::shownDialogs(), QStringList({"TAboutBox", "TAboutBox"}));
    }

    void everyControlAndEntryHasAnAccessibleName()
    {
        open();
        QObject* w = window.get();
        QCOMPARE(tree(w)->accessibleName(), QStringLiteral("Categories"));
        QCOMPARE(list(w)->accessibleName(), QStringLiteral("Items"));
        for (QToolButton* button : child<QToolBar>(w, "ToolBar1")->findChildren<QToolButton*>())
            if (button->defaultAction())
                QVERIFY2(!button->accessibleName().isEmpty(), qPrintable(button->objectName()));
        for (const char* name :
             {"File1", "Edit1", "Tools1", "Help1", "menuCategory", "menuCategoryItem", "menuListView", "menuTray"})
            for (QAction* entry : menu(w, name)->actions())
                QVERIFY2(entry->isSeparator() || !entry->text().isEmpty(), qPrintable(entry->objectName()));
    }
};

QTEST_MAIN(TestTSDIAppForm)
#include "tst_tsdiappform.moc"
