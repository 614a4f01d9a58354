// SPDX-License-Identifier: GPL-3.0-or-later
// Adding and editing items through the main window, and dropping files and addresses onto it, on a
// real temporary catalogue. The item dialog is answered through the seam like a user would fill it.
#include "testseam.h"
#include "testutil.h"

#include "model/ccategory.h"
#include "model/clinkitem.h"
#include "ui/dialogs/titemform.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/fileicons.h"
#include "ui/views/itemlistview.h"
#include "ui/window/tsdiappform.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

using namespace testutil;

namespace {

const QStringList wordPath{QStringLiteral("Office documents"), QStringLiteral("Word documents")};
const QStringList mediaPath{QStringLiteral("Media files")};

struct Fill {
    QString title;
    QString target;
    QString description;
    bool nameFromFile = false;
    QStringList browse;      // files chosen with the "..." button, before the fields are typed
    bool typeTarget = true;  // false: keep the target the browse button made
};

Fill typed(const QString& title, const QString& target, const QString& description = {}, bool nameFromFile = false)
{
    Fill fill;
    fill.title = title;
    fill.target = target;
    fill.description = description;
    fill.nameFromFile = nameFromFile;
    return fill;
}

Fill browsed(const QString& title, const QStringList& files, bool nameFromFile, const QString& typedTarget = {},
             const QString& description = {})
{
    Fill fill = typed(title, typedTarget, description, nameFromFile);
    fill.browse = files;
    fill.typeTarget = !typedTarget.isNull();
    return fill;
}

// Answers the next item dialog: browse, type, tick, then press OK (which must be enabled).
void answerItemDialog(const Fill& fill, bool* okWasEnabled = nullptr)
{
    seam::pushDialogHandler([fill, okWasEnabled](QDialog* dialog) {
        auto* form = qobject_cast<TitemForm*>(dialog);
        if (!form)
            return int(QDialog::Rejected);
        if (!fill.browse.isEmpty()) {
            seam::pushFileAnswer(fill.browse);
            child<QPushButton>(form, "BitBtn1")->click();
        }
        if (!fill.title.isNull())
            child<QLineEdit>(form, "txtTitle")->setText(fill.title);
        if (fill.typeTarget)
            child<QLineEdit>(form, "txtTarget")->setText(fill.target);
        child<QPlainTextEdit>(form, "memoDescription")->setPlainText(fill.description);
        child<QCheckBox>(form, "ckTitle")->setChecked(fill.nameFromFile);
        auto* ok = child<QPushButton>(form, "btnOk");
        if (okWasEnabled)
            *okWasEnabled = ok->isEnabled();
        ok->click();
        return form->result();
    });
}

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

std::string itemSql(const std::string& column, const std::string& guid)
{
    return "select " + column + " from link_table where guid = '" + guid + "'";
}

}  // namespace

class TestItemCommands : public WindowTestCase {
    Q_OBJECT

private:
    ItemListView* items() { return list(window.get()); }
    QAction* command(const char* name) { return action(window.get(), name); }
    std::string store(const CCategory& category, const std::string& name, const std::string& target, int type = 0,
                      const std::string& comment = {})
    {
        return storeItem(sandbox->databasePath(), category, name, target, type, comment);
    }

    // The stored items of a category as "name|target|comment|type|star", in stored order.
    QStringList stored(const CCategory& category)
    {
        const std::string where = " from link_table where category = '" + category.GetGuid() + "'";
        const int count = queryInt(sandbox->databasePath(), "select count(*)" + where);
        QStringList rows;
        for (int i = 0; i < count; ++i) {
            const std::string row = " order by itemorder limit 1 offset " + std::to_string(i);
            rows << QString::fromStdString(queryText(
                sandbox->databasePath(),
                "select name || '|' || target || '|' || comment || '|' || type || '|' || star" + where + row));
        }
        return rows;
    }

private slots:
    void addOneFile_WithATypedTitle()
    {
        CCategory* word = select(wordPath);
        answerItemDialog(typed(QStringLiteral("Plan"), QStringLiteral("/docs/plan.odt"), QStringLiteral("for May")));
        command("AddNewItem1")->trigger();
        QCOMPARE(stored(*word), QStringList{QStringLiteral("Plan|/docs/plan.odt|for May|0|0")});
        QCOMPARE(rowTexts(items()), QStringList{QStringLiteral("Plan")});
        QCOMPARE(rowTexts(items(), 1), QStringList{QStringLiteral("/docs/plan.odt")});
        QCOMPARE(rowTexts(items(), 2), QStringList{QStringLiteral("for May")});
        CLinkItem* item = items()->itemOf(items()->topLevelItem(0));
        QCOMPARE(item->GetParentGuid(), word->GetGuid());
        QCOMPARE(item->GetGuid().size(), size_t(36));
        QCOMPARE(seam::shownDialogs(), QStringList{QStringLiteral("TitemForm")});
    }

    void addOneFile_WithoutATitleTakesTheBrowsedFilesName()
    {
        CCategory* word = select(wordPath);
        Fill fill;
        fill.browse = QStringList{QStringLiteral("/home/u/minutes 2024.odt")};
        fill.typeTarget = false;
        bool okEnabled = false;
        answerItemDialog(fill, &okEnabled);
        command("AddNewItem2")->trigger();
        QVERIFY(okEnabled);
        QCOMPARE(stored(*word), QStringList{QStringLiteral("minutes 2024.odt|/home/u/minutes 2024.odt||0|0")});
    }

    void addOneFile_UsingFilenameAsTitleTakesTheTypedTargetsName()
    {
        CCategory* word = select(wordPath);
        answerItemDialog(typed(QString(), QStringLiteral("/srv/share/report.pdf"), QString(), true));
        command("AddNewItem1")->trigger();
        QCOMPARE(stored(*word), QStringList{QStringLiteral("report.pdf|/srv/share/report.pdf||0|0")});
    }

    void threeFiles_WithTheBoxCheckedAreNamedAfterTheirFiles()
    {
        CCategory* word = select(wordPath);
        answerItemDialog(
            browsed(QStringLiteral("ignored"),
                    {QStringLiteral("/d/one.txt"), QStringLiteral("/d/two.txt"), QStringLiteral("/e/three.txt")}, true,
                    QString(), QStringLiteral("batch")));
        command("AddNewItem1")->trigger();
        QCOMPARE(stored(*word), (QStringList{"one.txt|/d/one.txt|batch|0|0", "two.txt|/d/two.txt|batch|0|0",
                                             "three.txt|/e/three.txt|batch|0|0"}));
        QCOMPARE(rowTexts(items()), (QStringList{"one.txt", "two.txt", "three.txt"}));
        QSet<QString> guids;
        for (int i = 0; i < 3; ++i)
            guids.insert(QString::fromStdString(items()->itemOf(items()->topLevelItem(i))->GetGuid()));
        QCOMPARE(guids.size(), 3);
    }

    void threeFiles_WithTheBoxUncheckedAllCarryTheTitle()
    {
        CCategory* word = select(wordPath);
        answerItemDialog(browsed(QStringLiteral("Scan"),
                                 {QStringLiteral("/d/1.png"), QStringLiteral("/d/2.png"), QStringLiteral("/d/3.png")},
                                 false));
        command("AddNewItem1")->trigger();
        QCOMPARE(stored(*word), (QStringList{"Scan|/d/1.png||0|0", "Scan|/d/2.png||0|0", "Scan|/d/3.png||0|0"}));
    }

    void severalFiles_WithASemicolonInANameAddEachFileAsChosen()
    {
        CCategory* word = select(wordPath);
        answerItemDialog(
            browsed(QString(), {QStringLiteral("/d/notes; part 2.txt"), QStringLiteral("/d/b.txt")}, true));
        command("AddNewItem1")->trigger();
        QCOMPARE(stored(*word), (QStringList{"notes; part 2.txt|/d/notes; part 2.txt||0|0", "b.txt|/d/b.txt||0|0"}));
    }

    void severalFiles_EditedToTwoSemicolonsGiveThreeItems()
    {
        CCategory* word = select(wordPath);
        answerItemDialog(browsed(QStringLiteral("T"), {QStringLiteral("/x/1"), QStringLiteral("/x/2")}, false,
                                 QStringLiteral("/a.txt;;/c.txt")));
        command("AddNewItem1")->trigger();
        QCOMPARE(stored(*word), (QStringList{"T|/a.txt||0|0", "T|||0|0", "T|/c.txt||0|0"}));
        QCOMPARE(items()->topLevelItemCount(), 3);
    }

    void severalFiles_EditedDownToOnePathAddOneItem()
    {
        CCategory* word = select(wordPath);
        answerItemDialog(browsed(QStringLiteral("T"), {QStringLiteral("/x/1"), QStringLiteral("/x/2")}, false,
                                 QStringLiteral("/only.txt")));
        command("AddNewItem1")->trigger();
        QCOMPARE(stored(*word), QStringList{QStringLiteral("T|/only.txt||0|0")});
    }

    void typedTargetWithSemicolonsIsOneItem()
    {
        CCategory* word = select(wordPath);
        answerItemDialog(typed(QStringLiteral("T"), QStringLiteral(";;")));
        command("AddNewItem1")->trigger();
        QCOMPARE(stored(*word), QStringList{QStringLiteral("T|;;||0|0")});
    }

    void cancelledDialogAddsNothing()
    {
        CCategory* word = select(wordPath);
        seam::pushDialogHandler([](QDialog*) { return int(QDialog::Rejected); });
        command("AddNewItem1")->trigger();
        QVERIFY(stored(*word).isEmpty());
        QCOMPARE(word->GetItemCount(), 0);
    }

    void withoutASelectedCategoryNothingIsAsked()
    {
        for (const char* adding : {"AddNewItem1", "AddNewItem2", "AddWebAddressURL1", "AddWebAddressURL2"})
            command(adding)->trigger();
        QVERIFY(seam::shownDialogs().isEmpty());
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 0);
    }

    void webAddress_IsStoredAsTypedWithTypeOneAndTheWebPageIcon()
    {
        CCategory* media = select(mediaPath);
        const QString longText(5000, QLatin1Char('w'));
        answerItemDialog(typed(QStringLiteral("Example"), QStringLiteral(" example.org/a b "), longText));
        command("AddWebAddressURL1")->trigger();
        QCOMPARE(stored(*media),
                 QStringList{QStringLiteral("Example| example.org/a b |") + longText + QStringLiteral("|1|0")});
        QTreeWidgetItem* row = items()->topLevelItem(0);
        CLinkItem* item = items()->itemOf(row);
        QCOMPARE(item->GetType(), 1);
        QCOMPARE(iconImage(row->icon(0)), iconImage(itemIcon(item->GetTarget(), item->GetType())));
        QCOMPARE(iconImage(row->icon(0)), iconImage(itemIcon("index.html", 0)));
        QCOMPARE(seam::shownDialogs(), QStringList{QStringLiteral("TitemForm")});
    }

    void property_KeepsGuidParentTypeAndStar()
    {
        CCategory* media = select(mediaPath);
        const std::string guid = store(*media, "Old", "old.example.org", 1, "old text");
        execute(sandbox->databasePath(), "update link_table set star = 4 where guid = '" + guid + "'");
        reselect(mediaPath);
        items()->topLevelItem(0)->setSelected(true);
        QString caption, title, target, description;
        seam::pushDialogHandler([&](QDialog* dialog) {
            auto* form = qobject_cast<TitemForm*>(dialog);
            auto* titleField = child<QLineEdit>(form, "txtTitle");
            auto* targetField = child<QLineEdit>(form, "txtTarget");
            auto* descriptionField = child<QPlainTextEdit>(form, "memoDescription");
            auto* ok = child<QPushButton>(form, "btnOk");
            caption = form->windowTitle();
            title = titleField->text();
            target = targetField->text();
            description = descriptionField->toPlainText();
            if (!ok->isEnabled() || !form->isWebMode())
                return int(QDialog::Rejected);
            titleField->setText(QStringLiteral("New"));
            targetField->setText(QStringLiteral("new.example.org"));
            descriptionField->setPlainText(QStringLiteral("new text"));
            ok->click();
            return form->result();
        });
        command("Property3")->trigger();
        QCOMPARE(caption, QStringLiteral("Old"));
        QCOMPARE(title, QStringLiteral("Old"));
        QCOMPARE(target, QStringLiteral("old.example.org"));
        QCOMPARE(description, QStringLiteral("old text"));
        QCOMPARE(stored(*media), QStringList{QStringLiteral("New|new.example.org|new text|1|4")});
        QCOMPARE(queryText(sandbox->databasePath(), itemSql("category", guid)), media->GetGuid());
        QTreeWidgetItem* row = items()->topLevelItem(0);
        QCOMPARE(row->text(0), QStringLiteral("New"));
        QCOMPARE(row->text(1), QStringLiteral("new.example.org"));
        QCOMPARE(row->text(2), QStringLiteral("new text"));
        QCOMPARE(items()->itemOf(row)->GetGuid(), guid);
        QCOMPARE(iconImage(row->icon(0)),
                 iconImage(itemIcon(items()->itemOf(row)->GetTarget(), items()->itemOf(row)->GetType())));
    }

    void property_CancelledChangesNothing()
    {
        CCategory* word = select(wordPath);
        store(*word, "Keep", "/k.txt");
        reselect(wordPath);
        items()->topLevelItem(0)->setSelected(true);
        seam::pushDialogHandler([](QDialog* dialog) {
            child<QLineEdit>(dialog, "txtTitle")->setText(QStringLiteral("Changed"));
            child<QPushButton>(dialog, "btnCancel")->click();
            return dialog->result();
        });
        command("Property3")->trigger();
        QCOMPARE(stored(*word), QStringList{QStringLiteral("Keep|/k.txt||0|0")});
        QCOMPARE(items()->itemOf(items()->topLevelItem(0))->GetName(), std::string("Keep"));
    }

    void property_WithoutASelectedRowAsksNothing()
    {
        select(wordPath);
        command("Property3")->trigger();
        QVERIFY(seam::shownDialogs().isEmpty());
    }

    void droppedFilesAndAddressesBecomeItemsOfTheShownCategory()
    {
        CCategory* word = select(wordPath);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/home/u/a b.txt")),
                      QUrl(QStringLiteral("https://example.org/x?y=1"))});
        QWidget* viewport = items()->viewport();
        const QPoint centre = viewport->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(stored(*word), (QStringList{"a b.txt|/home/u/a b.txt||0|0",
                                             "https://example.org/x?y=1|https://example.org/x?y=1||1|0"}));
        QCOMPARE(rowTexts(items()), (QStringList{"a b.txt", "https://example.org/x?y=1"}));
    }

    void dropOntoACategoryNodeStoresThereWithoutTouchingTheList()
    {
        CCategory* word = select(wordPath);
        store(*word, "shown", "/s");
        reselect(wordPath);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        CategoryTreeView* categories = tree(window.get());
        QTreeWidgetItem* mediaNode = nodeAt(categories, mediaPath);
        CCategory* media = categories->categoryOf(mediaNode);
        store(*media, "already there", "/m");
        QWidget* viewport = categories->viewport();
        const QPoint onMedia = categories->visualItemRect(mediaNode).center();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/film.mkv"))});
        QDragEnterEvent enter(onMedia, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(onMedia, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(stored(*media), (QStringList{"already there|/m||0|0", "film.mkv|/tmp/film.mkv||0|0"}));
        QCOMPARE(rowTexts(items()), QStringList{QStringLiteral("shown")});
        QCOMPARE(categories->selectedCategory(), word);
    }

    void dropWithoutACategoryOrUrlsIsRefused()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/x.txt"))});
        QWidget* viewport = items()->viewport();
        QDragEnterEvent enter(viewport->rect().center(), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QVERIFY(!enter.isAccepted());
        select(wordPath);
        QMimeData text;
        text.setText(QStringLiteral("just words"));
        QDragEnterEvent textEnter(viewport->rect().center(), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &textEnter);
        QVERIFY(!textEnter.isAccepted());
        QDropEvent drop(viewport->rect().center(), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
        QVERIFY(!drop.isAccepted());
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 0);
    }
};

QTEST_MAIN(TestItemCommands)
#include "tst_itemcommands.moc"
