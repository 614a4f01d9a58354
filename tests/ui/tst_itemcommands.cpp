// Adding and editing items through the main window, and dropping files and addresses onto it, on a
// real temporary catalogue. The item dialog is answered through the seam like a user would fill it.
#include "testutil.h"

#include "model/ccategory.h"
#include "model/clinkitem.h"
#include "ui/dialogseam.h"
#include "ui/titemform.h"
#include "ui/tsdiappform.h"

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
    QStringList browse;        // files chosen with the "..." button, before the fields are typed
    bool typeTarget = true;    // false: keep the target the browse button made
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
            form->BitBtn1->click();
        }
        if (!fill.title.isNull())
            form->txtTitle->setText(fill.title);
        if (fill.typeTarget)
            form->txtTarget->setText(fill.target);
        form->memoDescription->setPlainText(fill.description);
        form->ckTitle->setChecked(fill.nameFromFile);
        if (okWasEnabled)
            *okWasEnabled = form->btnOk->isEnabled();
        form->btnOk->click();
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
    // The stored items of a category as "name|target|comment|type|star", in stored order.
    QStringList stored(const CCategory& category)
    {
        const std::string where = " from link_table where category = '" + category.GetGuid() + "'";
        const int count = queryInt(sandbox->databasePath(), "select count(*)" + where);
        QStringList rows;
        for (int i = 0; i < count; ++i) {
            const std::string row = " order by itemorder limit 1 offset " + std::to_string(i);
            rows << QString::fromStdString(
                queryText(sandbox->databasePath(),
                          "select name || '|' || target || '|' || comment || '|' || type || '|' || star" + where + row));
        }
        return rows;
    }

private slots:
    void addOneFile_WithATypedTitle()
    {
        CCategory* word = select(wordPath);
        answerItemDialog(typed(QStringLiteral("Plan"), QStringLiteral("/docs/plan.odt"), QStringLiteral("for May")));
        window->AddNewItem1->trigger();
        QCOMPARE(stored(*word), QStringList{QStringLiteral("Plan|/docs/plan.odt|for May|0|0")});
        QCOMPARE(rowTexts(window->listContent), QStringList{QStringLiteral("Plan")});
        QCOMPARE(rowTexts(window->listContent, 1), QStringList{QStringLiteral("/docs/plan.odt")});
        QCOMPARE(rowTexts(window->listContent, 2), QStringList{QStringLiteral("for May")});
        CLinkItem* item = TSDIAppForm::itemOf(window->listContent->topLevelItem(0));
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
        window->AddNewItem2->trigger();
        QVERIFY(okEnabled);
        QCOMPARE(stored(*word), QStringList{QStringLiteral("minutes 2024.odt|/home/u/minutes 2024.odt||0|0")});
    }

    void addOneFile_UsingFilenameAsTitleTakesTheTypedTargetsName()
    {
        CCategory* word = select(wordPath);
        answerItemDialog(typed(QString(), QStringLiteral("/srv/share/report.pdf"), QString(), true));
        window->AddNewItem1->trigger();
        QCOMPARE(stored(*word), QStringList{QStringLiteral("report.pdf|/srv/share/report.pdf||0|0")});
    }

    void threeFiles_WithTheBoxCheckedAreNamedAfterTheirFiles()
    {
        CCategory* word = select(wordPath);
        answerItemDialog(browsed(QStringLiteral("ignored"),
                                 {QStringLiteral("/d/one.txt"), QStringLiteral("/d/two.txt"), QStringLiteral("/e/three.txt")},
                                 true, QString(), QStringLiteral("batch")));
        window->AddNewItem1->trigger();
        QCOMPARE(stored(*word), (QStringList{"one.txt|/d/one.txt|batch|0|0", "two.txt|/d/two.txt|batch|0|0",
                                             "three.txt|/e/three.txt|batch|0|0"}));
        QCOMPARE(rowTexts(window->listContent), (QStringList{"one.txt", "two.txt", "three.txt"}));
        QSet<QString> guids;
        for (int i = 0; i < 3; ++i)
            guids.insert(QString::fromStdString(TSDIAppForm::itemOf(window->listContent->topLevelItem(i))->GetGuid()));
        QCOMPARE(guids.size(), 3);
    }

    void threeFiles_WithTheBoxUncheckedAllCarryTheTitle()
    {
        CCategory* word = select(wordPath);
        answerItemDialog(browsed(QStringLiteral("Scan"),
                                 {QStringLiteral("/d/1.png"), QStringLiteral("/d/2.png"), QStringLiteral("/d/3.png")}, false));
        window->AddNewItem1->trigger();
        QCOMPARE(stored(*word), (QStringList{"Scan|/d/1.png||0|0", "Scan|/d/2.png||0|0", "Scan|/d/3.png||0|0"}));
    }

    void severalFiles_EditedToTwoSemicolonsGiveThreeItems()
    {
        CCategory* word = select(wordPath);
        answerItemDialog(browsed(QStringLiteral("T"), {QStringLiteral("/x/1"), QStringLiteral("/x/2")}, false,
                                 QStringLiteral("/a.txt;;/c.txt")));
        window->AddNewItem1->trigger();
        QCOMPARE(stored(*word), (QStringList{"T|/a.txt||0|0", "T|||0|0", "T|/c.txt||0|0"}));
        QCOMPARE(window->listContent->topLevelItemCount(), 3);
    }

    void severalFiles_EditedDownToOnePathAddOneItem()
    {
        CCategory* word = select(wordPath);
        answerItemDialog(browsed(QStringLiteral("T"), {QStringLiteral("/x/1"), QStringLiteral("/x/2")}, false,
                                 QStringLiteral("/only.txt")));
        window->AddNewItem1->trigger();
        QCOMPARE(stored(*word), QStringList{QStringLiteral("T|/only.txt||0|0")});
    }

    void typedTargetWithSemicolonsIsOneItem()
    {
        CCategory* word = select(wordPath);
        answerItemDialog(typed(QStringLiteral("T"), QStringLiteral(";;")));
        window->AddNewItem1->trigger();
        QCOMPARE(stored(*word), QStringList{QStringLiteral("T|;;||0|0")});
    }

    void cancelledDialogAddsNothing()
    {
        CCategory* word = select(wordPath);
        seam::pushDialogHandler([](QDialog*) { return int(QDialog::Rejected); });
        window->AddNewItem1->trigger();
        QVERIFY(stored(*word).isEmpty());
        QCOMPARE(word->GetItemCount(), 0);
    }

    void withoutASelectedCategoryNothingIsAsked()
    {
        window->AddNewItem1Click();
        window->AddWebAddressURL1Click();
        QVERIFY(seam::shownDialogs().isEmpty());
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 0);
    }

    void webAddress_IsStoredAsTypedWithTypeOneAndTheWebPageIcon()
    {
        CCategory* media = select(mediaPath);
        const QString longText(5000, QLatin1Char('w'));
        answerItemDialog(typed(QStringLiteral("Example"), QStringLiteral(" example.org/a b "), longText));
        window->AddWebAddressURL1->trigger();
        QCOMPARE(stored(*media), QStringList{QStringLiteral("Example| example.org/a b |") + longText
                                             + QStringLiteral("|1|0")});
        QTreeWidgetItem* row = window->listContent->topLevelItem(0);
        CLinkItem* item = TSDIAppForm::itemOf(row);
        QCOMPARE(item->GetType(), 1);
        QCOMPARE(iconImage(row->icon(0)), iconImage(window->itemIcon(*item)));
        CLinkItem page;
        page.SetType(0);
        page.SetTarget("index.html");
        QCOMPARE(iconImage(row->icon(0)), iconImage(window->itemIcon(page)));
        QCOMPARE(seam::shownDialogs(), QStringList{QStringLiteral("TitemForm")});
    }

    void property_KeepsGuidParentTypeAndStar()
    {
        CCategory* media = select(mediaPath);
        const std::string guid = storeItem(*window, *media, "Old", "old.example.org", 1, "old text");
        execute(sandbox->databasePath(), "update link_table set star = 4 where guid = '" + guid + "'");
        window->ShowCategoryItems(media);
        window->listContent->topLevelItem(0)->setSelected(true);
        QString caption, title, target, description;
        seam::pushDialogHandler([&](QDialog* dialog) {
            auto* form = qobject_cast<TitemForm*>(dialog);
            caption = form->windowTitle();
            title = form->txtTitle->text();
            target = form->txtTarget->text();
            description = form->memoDescription->toPlainText();
            if (!form->btnOk->isEnabled() || !form->isWebMode())
                return int(QDialog::Rejected);
            form->txtTitle->setText(QStringLiteral("New"));
            form->txtTarget->setText(QStringLiteral("new.example.org"));
            form->memoDescription->setPlainText(QStringLiteral("new text"));
            form->btnOk->click();
            return form->result();
        });
        window->Property3->trigger();
        QCOMPARE(caption, QStringLiteral("Old"));
        QCOMPARE(title, QStringLiteral("Old"));
        QCOMPARE(target, QStringLiteral("old.example.org"));
        QCOMPARE(description, QStringLiteral("old text"));
        QCOMPARE(stored(*media), QStringList{QStringLiteral("New|new.example.org|new text|1|4")});
        QCOMPARE(queryText(sandbox->databasePath(), itemSql("category", guid)), media->GetGuid());
        QTreeWidgetItem* row = window->listContent->topLevelItem(0);
        QCOMPARE(row->text(0), QStringLiteral("New"));
        QCOMPARE(row->text(1), QStringLiteral("new.example.org"));
        QCOMPARE(row->text(2), QStringLiteral("new text"));
        QCOMPARE(TSDIAppForm::itemOf(row)->GetGuid(), guid);
        QCOMPARE(iconImage(row->icon(0)), iconImage(window->itemIcon(*TSDIAppForm::itemOf(row))));
    }

    void property_CancelledChangesNothing()
    {
        CCategory* word = select(wordPath);
        storeItem(*window, *word, "Keep", "/k.txt");
        window->ShowCategoryItems(word);
        window->listContent->topLevelItem(0)->setSelected(true);
        seam::pushDialogHandler([](QDialog* dialog) {
            qobject_cast<TitemForm*>(dialog)->txtTitle->setText(QStringLiteral("Changed"));
            return int(QDialog::Rejected);
        });
        window->Property3Click();
        QCOMPARE(stored(*word), QStringList{QStringLiteral("Keep|/k.txt||0|0")});
        QCOMPARE(TSDIAppForm::itemOf(window->listContent->topLevelItem(0))->GetName(), std::string("Keep"));
    }

    void property_WithoutASelectedRowAsksNothing()
    {
        select(wordPath);
        window->Property3Click();
        QVERIFY(seam::shownDialogs().isEmpty());
    }

    void droppedFilesAndAddressesBecomeItemsOfTheShownCategory()
    {
        CCategory* word = select(wordPath);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/home/u/a b.txt")), QUrl(QStringLiteral("https://example.org/x?y=1"))});
        QWidget* viewport = window->listContent->viewport();
        const QPoint centre = viewport->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(stored(*word), (QStringList{"a b.txt|/home/u/a b.txt||0|0",
                                             "https://example.org/x?y=1|https://example.org/x?y=1||1|0"}));
        QCOMPARE(rowTexts(window->listContent), (QStringList{"a b.txt", "https://example.org/x?y=1"}));
    }

    void dropOntoACategoryNodeStoresThereWithoutTouchingTheList()
    {
        CCategory* word = select(wordPath);
        storeItem(*window, *word, "shown", "/s");
        window->ShowCategoryItems(word);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTreeWidgetItem* mediaNode = nodeAt(window->treeCategory, mediaPath);
        CCategory* media = TSDIAppForm::categoryOf(mediaNode);
        storeItem(*window, *media, "already there", "/m");
        QWidget* viewport = window->treeCategory->viewport();
        const QPoint onMedia = window->treeCategory->visualItemRect(mediaNode).center();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/film.mkv"))});
        QDragEnterEvent enter(onMedia, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(onMedia, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(stored(*media), (QStringList{"already there|/m||0|0", "film.mkv|/tmp/film.mkv||0|0"}));
        QCOMPARE(rowTexts(window->listContent), QStringList{QStringLiteral("shown")});
        QCOMPARE(window->GetSelectedCategory(), word);
    }

    void dropWithoutACategoryOrUrlsIsRefused()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/x.txt"))});
        QWidget* viewport = window->listContent->viewport();
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
