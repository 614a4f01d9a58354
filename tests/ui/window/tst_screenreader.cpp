// SPDX-License-Identifier: GPL-3.0-or-later
// What a keyboard and screen-reader user meets in our windows: access keys that lead somewhere,
// names on every list, tree and combo box, a Tab order that follows the layout, disabled choices
// reported as such.
#include "testseam.h"
#include "testutil.h"

#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QMenu>
#include <QMenuBar>
#include <QTreeWidget>
#include <QtTest>

using namespace testutil;

namespace {

const QStringList wordPath{QStringLiteral("Office documents"), QStringLiteral("Word documents")};
const QStringList officePath{QStringLiteral("Office documents")};

QChar accessKey(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&'))
            continue;
        if (text[i + 1] != QLatin1Char('&'))
            return text[i + 1].toLower();
        ++i;
    }
    return {};
}

// "Window/control" for each list, tree, table and combo box a screen reader would read without a name.
QStringList unnamedViews(const QWidget* window)
{
    QStringList unnamed;
    QList<QWidget*> views;
    for (QAbstractItemView* view : window->findChildren<QAbstractItemView*>())
        if (!qobject_cast<QComboBox*>(view->parentWidget()) && !view->inherits("QComboBoxListView")
            && !view->inherits("QHeaderView"))
            views << view;
    for (QComboBox* combo : window->findChildren<QComboBox*>())
        views << combo;
    for (QWidget* view : views) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(view);
        if (!face || face->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << window->metaObject()->className() + QStringLiteral("/") + view->objectName();
    }
    return unnamed;
}

}  // namespace

class TestScreenReader : public WindowTestCase {
    Q_OBJECT

private slots:
    // Fault caught: two entries of one menu sharing a key, so Alt+key reaches only the first.
    void menus_AccessKeysDoNotClash()
    {
        QList<QMenu*> menus;
        for (QAction* entry : window->menuBar()->actions())
            if (entry->menu())
                menus << entry->menu();
        QVERIFY(menus.size() >= 5);
        QStringList clashes;
        const auto collect = [&clashes](const QString& where, const QList<QAction*>& entries) {
            QHash<QChar, QString> taken;
            for (const QAction* entry : entries) {
                const QChar key = accessKey(entry->text());
                if (key.isNull() || entry->isSeparator())
                    continue;
                if (taken.contains(key))
                    clashes << where + QStringLiteral(": ") + taken[key] + QStringLiteral(" / ") + entry->text();
                taken.insert(key, entry->text());
            }
        };
        collect(QStringLiteral("menu bar"), window->menuBar()->actions());
        for (QMenu* shown : menus)
            collect(shown->objectName(), shown->actions());
        QCOMPARE(clashes, QStringList());
    }

    // Fault caught: a list, tree or combo box of ours read out as a nameless "table" or "combo box".
    void everyListTreeAndComboOfOursHasAName()
    {
        select(wordPath);
        storeItem(sandbox->databasePath(), *select(wordPath), "item", "/i");
        reselect(wordPath);
        testutil::selectRows(list(window.get()), {0});
        QStringList unnamed = unnamedViews(window.get());
        const char* const commands[] = {"CopyTo1",
                                        "Property3",
                                        "AddNewItem2",
                                        "AddCategoryItem",
                                        "Property2",
                                        "OnToolsSettings",
                                        "OnFileRestoreAutomatic",
                                        "OnToolsBackupSettings",
                                        "OnToolsSyncSettings",
                                        "MoveCategoryTo"};
        for (const char* name : commands) {
            seam::pushDialogHandler([&unnamed](QDialog* dialog) {
                unnamed << unnamedViews(dialog);
                return int(QDialog::Rejected);
            });
            action(window.get(), name)->trigger();
            QVERIFY2(seam::shownDialogs().size() >= 1, name);
            seam::clearTestState();
        }
        action(window.get(), "OnEditSearch")->trigger();
        action(window.get(), "ToolsCheckCatalogue")->trigger();
        int windows = 0;
        for (QWidget* shown : QApplication::topLevelWidgets())
            if (shown->isVisible() && !qobject_cast<QMenu*>(shown) && shown != window.get()) {
                unnamed << unnamedViews(shown);
                ++windows;
            }
        QCOMPARE(windows, 2);
        QCOMPARE(unnamed.join(QStringLiteral(", ")), QString());
    }

    // Fault caught: a category that cannot be chosen, greyed, but read out as choosable.
    void moveToCategory_TheGreyedBranchIsReportedDisabled()
    {
        select(officePath);
        QStringList states;
        seam::pushDialogHandler([&states](QDialog* dialog) {
            auto* choices = child<QTreeWidget>(dialog, "treeCategory");
            choices->expandAll();
            QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(choices);
            for (int i = 0; i < tree->childCount(); ++i) {
                QAccessibleInterface* node = tree->child(i);
                const QString name = node->text(QAccessible::Name);
                for (const char* watched : {"Office documents", "Word documents", "Media files"})
                    if (name.startsWith(QLatin1String(watched)))
                        states << name + (node->state().selectable ? QString() : QStringLiteral(" [not selectable]"));
            }
            return int(QDialog::Rejected);
        });
        action(window.get(), "MoveCategoryTo")->trigger();
        QCOMPARE(states, (QStringList{"Office documents (unavailable) [not selectable]",
                                      "Word documents (unavailable) [not selectable]", "Media files"}));
    }

    // Fault caught: Tab jumping from the place field over its Folder... button to the folder list.
    void syncSettings_TabFollowsTheLayout()
    {
        QStringList order;
        seam::pushDialogHandler([&order](QDialog* dialog) {
            dialog->show();
            QApplication::setActiveWindow(dialog);
            QWidget* at = dialog->findChild<QWidget*>(QStringLiteral("editPlace"));
            at->setFocus(Qt::TabFocusReason);
            for (int i = 0; i < 8 && at; ++i) {
                order << at->objectName();
                QTest::keyClick(at, Qt::Key_Tab);
                at = dialog->focusWidget();
            }
            return int(QDialog::Rejected);
        });
        action(window.get(), "OnToolsSyncSettings")->trigger();
        QCOMPARE(order, (QStringList{"editPlace", "btnBrowsePlace", "editUser", "editPassword", "editPassphrase",
                                     "editMachineName", "tableFolders", "btnAddFolder"}));
    }
};

QTEST_MAIN(TestScreenReader)
#include "tst_screenreader.moc"
