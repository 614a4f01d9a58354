// The main window on a real temporary catalogue: the tree, the item list and the item commands.
#include "testutil.h"

#include "model/ccategory.h"
#include "model/clinkitem.h"
#include "shell/appsettings.h"
#include "ui/dialogseam.h"
#include "ui/tsdiappform.h"
#include "ui/tselectcategorydialogform.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
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

// Answers the next select-category dialog by picking the node at the path (or cancelling).
void answerSelectCategory(const QStringList& path)
{
    seam::pushDialogHandler([path](QDialog* dialog) {
        auto* select = qobject_cast<TSelectCategoryDialogForm*>(dialog);
        if (!select)
            return int(QDialog::Rejected);
        QTreeWidgetItem* node = nodeAt(select->treeCategory, path);
        if (!node)
            return int(QDialog::Rejected);
        select->treeCategory->setCurrentItem(node);
        return int(QDialog::Accepted);
    });
}

}  // namespace

class TestTSDIAppForm : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Sandbox> sandbox;
    std::unique_ptr<TSDIAppForm> window;

    void open()
    {
        window = std::make_unique<TSDIAppForm>();
    }

    CCategory* select(const QStringList& path)
    {
        QTreeWidgetItem* node = nodeAt(window->treeCategory, path);
        if (!node)
            return nullptr;
        window->treeCategory->setCurrentItem(node);
        return TSDIAppForm::categoryOf(node);
    }

    void selectRows(const QList<int>& indices)
    {
        window->listContent->clearSelection();
        for (int index : indices)
            window->listContent->topLevelItem(index)->setSelected(true);
    }

    // Word documents holding three file items a, b, c, shown in the list.
    CCategory* wordWithThreeItems()
    {
        CCategory* word = select(wordPath);
        storeItem(*window, *word, "a", "/docs/a.txt");
        storeItem(*window, *word, "b", "/docs/b.txt");
        storeItem(*window, *word, "c", "/docs/c.txt");
        window->ShowCategoryItems(word);
        return word;
    }

private slots:
    void initTestCase()
    {
        seam::enableTestMode();
    }

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
        QCOMPARE(topLevelTexts(window->treeCategory),
                 QStringList({"General files", "Office documents", "Media files", "Favorite websites"}));
        QTreeWidgetItem* office = nodeAt(window->treeCategory, officePath);
        QCOMPARE(childTexts(office), QStringList({"Word documents", "Excel documents"}));
        QVERIFY(!office->isExpanded());
        QCOMPARE(window->GetSelectedNode(), nullptr);
        QCOMPARE(window->GetSelectedCategory(), nullptr);
        QCOMPARE(window->listContent->topLevelItemCount(), 0);
        QVERIFY(seam::shownMessages().isEmpty());
        QCOMPARE(window->ImageList2.count(), 23);
        QVERIFY(!window->trayIconShown);
    }

    void nodesPointAtTheCatalogueCategories()
    {
        open();
        QTreeWidgetItem* word = nodeAt(window->treeCategory, wordPath);
        CCategory* category = TSDIAppForm::categoryOf(word);
        QVERIFY(category);
        QCOMPARE(category->GetGuid(), std::string("6C6FCDD3-6C95-49d9-AC6A-CC0913ABE5C1"));
        QCOMPARE(category, window->db.GetRootCategory().GetChild(1)->GetChild(0));
    }

    void captionMenusAndToolbarAreTheDesignedOnes()
    {
        open();
        QCOMPARE(window->windowTitle(), QStringLiteral("Varnelo"));
        QStringList menus;
        for (QAction* action : window->menuBar()->actions())
            menus.append(action->text());
        QCOMPARE(menus, QStringList({"&File", "&Edit", "&Tools", "&Help"}));
        QCOMPARE(entryTexts(window->File1), QStringList({"&Backup...", "&Restore...", "-", "E&xit"}));
        QCOMPARE(entryTexts(window->Edit1), QStringList({"&Search"}));
        QCOMPARE(entryTexts(window->Tools1), QStringList({"&Import from IE Favorites...", "-", "&Settings"}));
        QCOMPARE(entryTexts(window->Help1), QStringList({"Online &Help ", "-", "&About"}));
        QCOMPARE(window->File1->menuAction()->statusTip(), QStringLiteral("File related commands"));
        QCOMPARE(window->Help1->menuAction()->statusTip(), QStringLiteral("Help topics"));
        QCOMPARE(entryTexts(window->menuCategory), QStringList({"Add Category", "Property"}));
        QCOMPARE(entryTexts(window->menuCategoryItem),
                 QStringList({"Add Subcategory", "Add File(s)...", "Add Web Address (URL)...", "-", "Delete", "-",
                              "Property"}));
        QCOMPARE(entryTexts(window->menuListView),
                 QStringList({"Open", "Open With...", "Open Containing Folder", "-", "Add File(s)...",
                              "Add Web Address (URL)...", "-", "Copy to Category...", "Move to Category...",
                              "Delete", "-", "Property"}));
        QCOMPARE(entryTexts(window->menuTray),
                 QStringList({"Show Window", "-", "Settings...", "Online &Help", "&About", "-", "&Exit"}));

        QStringList hints;
        for (QAction* action : window->ToolBar1->actions())
            if (auto* button = qobject_cast<QToolButton*>(window->ToolBar1->widgetForAction(action)))
                hints.append(button->objectName() + QLatin1Char('=') + button->toolTip() + QLatin1Char('|')
                             + button->accessibleName());
        QCOMPARE(hints, QStringList({
            "ToolButton1=Create backup  for current database|Create backup  for current database",
            "ToolButton2=Restore database from saved backup file.|Restore database from saved backup file.",
            "ToolButton4=Search items with special keyword.|Search items with special keyword.",
            "ToolButton6=Application settings|Application settings",
            "ToolButton7=Show help|Show help",
            "ToolButton8=Show about information|Show about information",
            "ToolButton10=Close and exit the application|Close and exit the application"}));
        QCOMPARE(window->OnFileBackup->statusTip(), QStringLiteral("Create backup  for current database"));
        QCOMPARE(window->listContent->headerItem()->text(0), QStringLiteral("Name"));
        QCOMPARE(window->listContent->headerItem()->text(1), QStringLiteral("Reference"));
        QCOMPARE(window->listContent->headerItem()->text(2), QStringLiteral("Description"));
    }

    void selectingCategory_ReloadsItsItemsFromTheDatabase()
    {
        open();
        CCategory* word = select(wordPath);
        QCOMPARE(window->listContent->topLevelItemCount(), 0);
        storeItem(*window, *word, "Report", "/home/u/report.odt", 0, "yearly");
        storeItem(*window, *word, "Site", "example.org", 1);
        // Another category and back: the list shows what is stored now.
        select(mediaPath);
        QCOMPARE(window->listContent->topLevelItemCount(), 0);
        select(wordPath);
        QCOMPARE(rowTexts(window->listContent), QStringList({"Report", "Site"}));
        QCOMPARE(rowTexts(window->listContent, 1), QStringList({"/home/u/report.odt", "example.org"}));
        QCOMPARE(rowTexts(window->listContent, 2), QStringList({"yearly", ""}));
        QCOMPARE(word->GetItemCount(), 2);
        QCOMPARE(TSDIAppForm::itemOf(window->listContent->topLevelItem(0)), word->GetItem(0));

        execute(sandbox->databasePath(), "delete from link_table where name='Report';");
        select(mediaPath);
        select(wordPath);
        QCOMPARE(rowTexts(window->listContent), QStringList({"Site"}));
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
                                         << QStringList({"Open1", "OpenWith1", "N4", "AddNewItem1",
                                                         "AddWebAddressURL1", "N5", "CopyTo1", "MoveTo1", "Delete1",
                                                         "N6", "Property3"});
        QTest::newRow("several") << QList<int>{0, 1}
                                 << QStringList({"AddNewItem1", "AddWebAddressURL1", "CopyTo1", "MoveTo1", "Delete1"});
    }

    void popupEnabling_FollowsTheSelectedRows()
    {
        QFETCH(QList<int>, rows);
        QFETCH(QStringList, enabled);
        open();
        CCategory* word = select(wordPath);
        storeItem(*window, *word, "File", "/tmp/file.txt", 0);
        storeItem(*window, *word, "Web", "https://example.org", 1);
        window->ShowCategoryItems(word);
        selectRows(rows);
        window->listContentContextPopup();
        QCOMPARE(enabledEntries(window->menuListView), enabled);
    }

    void popupEnabling_OffersNoAddingWithoutACategory()
    {
        open();
        window->listContentContextPopup();
        QCOMPARE(enabledEntries(window->menuListView), QStringList());
    }

    void rightClickOnTheList_SelectsTheRowUnderThePointerAndOpensThePopup()
    {
        open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        CCategory* word = select(wordPath);
        storeItem(*window, *word, "File", "/tmp/file.txt", 0);
        storeItem(*window, *word, "Web", "https://example.org", 1);
        window->ShowCategoryItems(word);
        QTreeWidget* list = window->listContent;
        const QPoint onWeb = list->visualItemRect(list->topLevelItem(1)).center();
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, onWeb);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, onWeb, list->viewport()->mapToGlobal(onWeb));
        QCoreApplication::sendEvent(list->viewport(), &menuEvent);
        QTRY_VERIFY(window->menuListView->isVisible());
        QCOMPARE(window->GetSelectedListItem(), list->topLevelItem(1));
        QVERIFY(!window->OpenContainingFolder1->isEnabled());
        QVERIFY(window->OpenWith1->isEnabled());
        window->menuListView->hide();
    }

    void openCommands_PassTheSelectedTargetToTheDesktop()
    {
        open();
        CCategory* word = select(wordPath);
        const std::string odd = "-rf \"a b\";$HOME.txt";
        storeItem(*window, *word, "Odd", odd, 0);
        storeItem(*window, *word, "Web", "example.org/x?a=1", 1);
        window->ShowCategoryItems(word);

        window->Open1Click();
        QVERIFY(sandbox->desktop.calls.isEmpty());  // nothing selected: nothing happens
        selectRows({0});
        window->Open1Click();
        window->OpenWith1Click();
        window->OpenContainingFolder1Click();
        window->listContent->setFocus();
        QTest::keyClick(window->listContent, Qt::Key_Return);
        selectRows({1});
        window->listContentDblClick();
        window->OpenContainingFolder1Click();  // not for a web address
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
        window->Delete1Click();
        QCOMPARE(seam::shownMessages().size(), 1);
        QCOMPARE(seam::shownMessages()[0].caption, QStringLiteral("Confirm"));
        QCOMPARE(seam::shownMessages()[0].text, QStringLiteral("Do you want to delete selected item?"));
        QCOMPARE(seam::shownMessages()[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(rowTexts(window->listContent), QStringList({"a", "c"}));
        QCOMPARE(word->GetItemCount(), 2);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table where name='b';"), 0);
    }

    void deleteSeveralRows_AsksWithoutQuestionMarkAndNoKeepsEverything()
    {
        open();
        CCategory* word = wordWithThreeItems();
        selectRows({0, 2});
        seam::pushMessageAnswer(QMessageBox::No);
        window->Delete1Click();
        QCOMPARE(seam::shownMessages().size(), 1);
        QCOMPARE(seam::shownMessages()[0].text, QStringLiteral("Do you want to delete selected items"));
        QCOMPARE(rowTexts(window->listContent), QStringList({"a", "b", "c"}));
        QCOMPARE(word->GetItemCount(), 3);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table;"), 3);

        seam::pushMessageAnswer(QMessageBox::Yes);
        window->Delete1Click();
        QCOMPARE(rowTexts(window->listContent), QStringList({"b"}));
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table;"), 1);
    }

    void deleteKey_RunsDeleteWithItsConfirmation()
    {
        open();
        wordWithThreeItems();
        selectRows({0});
        seam::pushMessageAnswer(QMessageBox::Yes);
        QTest::keyClick(window->listContent, Qt::Key_Delete);
        QCOMPARE(rowTexts(window->listContent), QStringList({"b", "c"}));
        window->listContent->clearSelection();
        QTest::keyClick(window->listContent, Qt::Key_Delete);  // nothing selected: no question
        QCOMPARE(seam::shownMessages().size(), 1);
    }

    void deletedItem_DoesNotComeBackWhenTheCategoryIsSavedLater()
    {
        open();
        CCategory* word = wordWithThreeItems();
        selectRows({0});
        seam::pushMessageAnswer(QMessageBox::Yes);
        window->Delete1Click();
        // Moving another item out saves the category's remaining items.
        selectRows({0});
        answerSelectCategory(mediaPath);
        window->MoveTo1Click();
        QCOMPARE(word->GetItemCount(), 1);
        select(mediaPath);
        select(wordPath);
        QCOMPARE(rowTexts(window->listContent), QStringList({"c"}));
    }

    void renameToTheSameText_WritesNothing()
    {
        open();
        CCategory* word = wordWithThreeItems();
        // Changed behind the window's back: a write of the row would put "a" back.
        execute(sandbox->databasePath(), "update link_table set name='elsewhere' where name='a';");
        QTreeWidgetItem* row = window->listContent->topLevelItem(0);
        window->listContentEdited(row, QStringLiteral("a"));
        QCOMPARE(queryText(sandbox->databasePath(), "select name from link_table where target='/docs/a.txt';"),
                 std::string("elsewhere"));
        QCOMPARE(word->GetItem(0)->GetName(), std::string("a"));
    }

    void renameToNewOrEmptyText_StoresIt()
    {
        open();
        CCategory* word = wordWithThreeItems();
        QTreeWidgetItem* row = window->listContent->topLevelItem(1);
        window->listContentEdited(row, QStringLiteral("B renamed"));
        QCOMPARE(row->text(0), QStringLiteral("B renamed"));
        QCOMPARE(word->GetItem(1)->GetName(), std::string("B renamed"));
        QCOMPARE(queryText(sandbox->databasePath(), "select name from link_table where target='/docs/b.txt';"),
                 std::string("B renamed"));
        window->listContentEdited(row, QString());
        QCOMPARE(queryText(sandbox->databasePath(), "select name from link_table where target='/docs/b.txt';"),
                 std::string(""));
    }

    void inPlaceEditor_CommitsThroughTheRenameRule()
    {
        open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        wordWithThreeItems();
        selectRows({2});
        window->listContent->setCurrentItem(window->listContent->topLevelItem(2));
        window->listContent->setFocus();
        QTest::keyClick(window->listContent, Qt::Key_F2);
        auto* editor = window->listContent->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("typed"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(queryText(sandbox->databasePath(), "select name from link_table where target='/docs/c.txt';"),
                     std::string("typed"));
        QCOMPARE(window->listContent->topLevelItem(2)->text(0), QStringLiteral("typed"));
    }

    void moveTwoOfThree_LeavesOneRowAndTheTargetShowsTheTwo()
    {
        open();
        CCategory* word = wordWithThreeItems();
        selectRows({0, 2});
        answerSelectCategory(mediaPath);
        window->MoveTo1Click();
        QCOMPARE(seam::shownDialogs(), QStringList({"TSelectCategoryDialogForm"}));
        QCOMPARE(rowTexts(window->listContent), QStringList({"b"}));
        QCOMPARE(word->GetItemCount(), 1);
        select(mediaPath);
        QCOMPARE(rowTexts(window->listContent), QStringList({"a", "c"}));
        select(wordPath);
        QCOMPARE(rowTexts(window->listContent), QStringList({"b"}));
    }

    void copyToAnotherCategory_StoresCopiesWithFreshGuids()
    {
        open();
        CCategory* word = wordWithThreeItems();
        const std::string originalGuid = word->GetItem(1)->GetGuid();
        selectRows({1});
        answerSelectCategory(mediaPath);
        window->CopyTo1Click();
        QCOMPARE(rowTexts(window->listContent), QStringList({"a", "b", "c"}));
        select(mediaPath);
        QCOMPARE(rowTexts(window->listContent), QStringList({"b"}));
        const CLinkItem* copy = TSDIAppForm::itemOf(window->listContent->topLevelItem(0));
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
        window->CopyTo1Click();
        answerSelectCategory(wordPath);
        window->MoveTo1Click();
        QCOMPARE(rowTexts(window->listContent), QStringList({"a", "b", "c"}));
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table;"), 3);
        QVERIFY(seam::shownMessages().isEmpty());
    }

    void cancelledSelectCategory_CopiesNothing()
    {
        open();
        wordWithThreeItems();
        selectRows({0});
        seam::pushDialogHandler([](QDialog*) { return int(QDialog::Rejected); });
        window->CopyTo1Click();
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table;"), 3);
    }

    void locateItem_SelectsCategoryAndRow()
    {
        open();
        CCategory* word = select(wordPath);
        storeItem(*window, *word, "first", "/x/1");
        const std::string wanted = storeItem(*window, *word, "second", "/x/2");
        select(mediaPath);
        window->LocateItem(word->GetGuid(), wanted);
        QCOMPARE(window->GetSelectedCategory(), word);
        QVERIFY(nodeAt(window->treeCategory, officePath)->isExpanded());
        QCOMPARE(rowTexts(window->listContent), QStringList({"first", "second"}));
        QCOMPARE(window->selectedListRows().size(), 1);
        QCOMPARE(window->GetSelectedListItem()->text(0), QStringLiteral("second"));
        QVERIFY(seam::shownMessages().isEmpty());
    }

    void locateItem_MissingCategoryOrItemSaysSo()
    {
        open();
        CCategory* word = select(wordPath);
        storeItem(*window, *word, "first", "/x/1");
        window->ShowCategoryItems(word);
        window->listContent->topLevelItem(0)->setSelected(true);

        window->LocateItem("no-such-category", "no-such-item");
        QCOMPARE(seam::shownMessages().size(), 1);
        QCOMPARE(seam::shownMessages()[0].caption, QStringLiteral("Error"));
        QCOMPARE(seam::shownMessages()[0].text, QStringLiteral("The selected item does not exist"));
        QCOMPARE(window->GetSelectedCategory(), word);

        CCategory* media = TSDIAppForm::categoryOf(nodeAt(window->treeCategory, mediaPath));
        window->LocateItem(media->GetGuid(), "deleted-meanwhile");
        QCOMPARE(seam::shownMessages().size(), 2);
        QCOMPARE(seam::shownMessages()[1].text, QStringLiteral("The selected item does not exist"));
        QCOMPARE(window->GetSelectedCategory(), media);
    }

    void rightClickInTree_NeverMovesSelectionAndPicksTheMenuByRow()
    {
        open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTreeWidget* tree = window->treeCategory;
        QTreeWidgetItem* general = tree->topLevelItem(0);
        QTreeWidgetItem* media = nodeAt(tree, mediaPath);

        // Nothing selected: the tree's own menu, and still nothing selected.
        QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, tree->visualItemRect(media).center());
        QTRY_VERIFY(window->menuCategory->isVisible());
        window->menuCategory->hide();
        QCOMPARE(window->GetSelectedNode(), nullptr);

        tree->setCurrentItem(general);
        // On another node: the tree's menu; the selection stays.
        QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, tree->visualItemRect(media).center());
        QTRY_VERIFY(window->menuCategory->isVisible());
        window->menuCategory->hide();
        QCOMPARE(window->GetSelectedNode(), general);
        QVERIFY(!window->menuCategoryItem->isVisible());

        // On the selected node's row, far right of its text: the category's menu.
        const QRect row = tree->visualItemRect(general);
        QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, QPoint(tree->viewport()->width() - 3, row.center().y()));
        QTRY_VERIFY(window->menuCategoryItem->isVisible());
        window->menuCategoryItem->hide();
        QCOMPARE(window->GetSelectedNode(), general);

        // The menu key reaches the selected category's menu too.
        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(0, 0), tree->mapToGlobal(QPoint(0, 0)));
        QCoreApplication::sendEvent(tree, &key);
        QTRY_VERIFY(window->menuCategoryItem->isVisible());
        window->menuCategoryItem->hide();
    }

    void lostTreeSelection_EmptiesTheList()
    {
        open();
        wordWithThreeItems();
        QCOMPARE(window->listContent->topLevelItemCount(), 3);
        window->treeCategory->clearSelection();
        QCOMPARE(window->listContent->topLevelItemCount(), 0);
    }

    void reload_DropsRowsAndSelectionBeforeDiscardingTheCatalogue()
    {
        open();
        wordWithThreeItems();
        window->LoadCatalogue();
        QCOMPARE(window->listContent->topLevelItemCount(), 0);
        QCOMPARE(window->GetSelectedNode(), nullptr);
        QCOMPARE(topLevelTexts(window->treeCategory).size(), 4);
        select(wordPath);
        QCOMPARE(rowTexts(window->listContent), QStringList({"a", "b", "c"}));
    }

    void catalogueThatIsNotADatabase_ShowsErrorBoxAndEmptyTree()
    {
        QFile file(sandbox->databasePath());
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
        file.close();
        open();
        QCOMPARE(window->treeCategory->topLevelItemCount(), 0);
        QCOMPARE(seam::shownMessages().size(), 1);
        QCOMPARE(seam::shownMessages()[0].caption, QStringLiteral("Varnelo"));
        QCOMPARE(seam::shownMessages()[0].icon, QMessageBox::Critical);
        QVERIFY(!seam::shownMessages()[0].text.isEmpty());
        // The window stays usable.
        window->listContentContextPopup();
        window->LocateItem("x", "y");
        QCOMPARE(seam::shownMessages().size(), 2);
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
        QCOMPARE(window->treeCategory->topLevelItemCount(), 0);
        // The quit request waits in the queue for the loop; a loop started now ends at once.
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    void storedIconList_ReplacesTheBuiltInSetAtStart()
    {
        open();
        QImage red(32, 32, QImage::Format_ARGB32);
        red.fill(Qt::red);
        QVERIFY(window->ImageList2.append(red));
        window->SaveIconList();
        CCategory* media = TSDIAppForm::categoryOf(nodeAt(window->treeCategory, mediaPath));
        media->SetIconIndex(23);
        window->db.SaveCategory(*media, true);
        window.reset();

        open();
        QCOMPARE(window->ImageList2.count(), 24);
        const QImage shown = nodeAt(window->treeCategory, mediaPath)->icon(0).pixmap(32, 32).toImage();
        QCOMPARE(shown.pixelColor(16, 16), QColor(Qt::red));
    }

    void settingsCommand_AddsTheTrayIconOnlyWhenAlwaysTurnsOn()
    {
        open();
        // Cancel: nothing changes.
        seam::pushDialogHandler([](QDialog*) { return int(QDialog::Rejected); });
        window->OnToolsSettingsExecute();
        QVERIFY(!window->trayIconShown);
        seam::pushDialogHandler([](QDialog* dialog) {
            dialog->findChild<QCheckBox*>(QStringLiteral("ckAlways"))->setChecked(true);
            dialog->findChild<QPushButton*>(QStringLiteral("OKBtn"))->click();
            return dialog->result();
        });
        window->OnToolsSettingsExecute();
        QVERIFY(window->trayIconShown);
        QVERIFY(AppSettings.always);
        // Off again: the icon that is there stays.
        seam::pushDialogHandler([](QDialog* dialog) {
            dialog->findChild<QCheckBox*>(QStringLiteral("ckAlways"))->setChecked(false);
            dialog->findChild<QPushButton*>(QStringLiteral("OKBtn"))->click();
            return dialog->result();
        });
        window->OnToolsSettingsExecute();
        QVERIFY(window->trayIconShown);
        QVERIFY(!AppSettings.always);
    }

    void helpAndAbout_GoThroughTheDesktopAndTheSeam()
    {
        open();
        window->OnHelpHelp->trigger();
        QCOMPARE(sandbox->desktop.calls.size(), 1);
        QCOMPARE(sandbox->desktop.calls[0].kind, QStringLiteral("openUrl"));
        QVERIFY(sandbox->desktop.calls[0].target.endsWith(QStringLiteral("/help")));
        seam::pushDialogHandler([](QDialog*) { return int(QDialog::Accepted); });
        seam::pushDialogHandler([](QDialog*) { return int(QDialog::Accepted); });
        window->OnHelpAbout->trigger();
        window->About1->trigger();
        QCOMPARE(seam::shownDialogs(), QStringList({"TAboutBox", "TAboutBox"}));
    }

    void everyControlAndEntryHasAnAccessibleName()
    {
        open();
        QCOMPARE(window->treeCategory->accessibleName(), QStringLiteral("Categories"));
        QCOMPARE(window->listContent->accessibleName(), QStringLiteral("Items"));
        for (QToolButton* button : window->ToolBar1->findChildren<QToolButton*>())
            if (button->defaultAction())
                QVERIFY2(!button->accessibleName().isEmpty(), qPrintable(button->objectName()));
        for (QMenu* menu : {window->File1, window->Edit1, window->Tools1, window->Help1, window->menuCategory,
                            window->menuCategoryItem, window->menuListView, window->menuTray})
            for (QAction* action : menu->actions())
                QVERIFY2(action->isSeparator() || !action->text().isEmpty(), qPrintable(action->objectName()));
    }
};

QTEST_MAIN(TestTSDIAppForm)
#include "tst_tsdiappform.moc"
