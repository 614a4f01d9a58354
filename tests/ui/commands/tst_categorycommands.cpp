// SPDX-License-Identifier: GPL-3.0-or-later
// The category commands of the main window on a real temporary catalogue, checked in the tree, in
// memory, in the database and again after the window is made anew on the same database.
#include "testseam.h"
#include "testutil.h"

#include "model/ccategory.h"
#include "session/iconlist.h"
#include "ui/dialogs/ticondialog.h"
#include "ui/dialogs/tnewcategoryform.h"
#include "ui/dialogs/ttmessageprocform.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"
#include "ui/window/tsdiappform.h"

#include <QAction>
#include <QImageWriter>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

using namespace testutil;

namespace {

const QStringList officePath{QStringLiteral("Office documents")};
const QStringList wordPath{QStringLiteral("Office documents"), QStringLiteral("Word documents")};
const QStringList mediaPath{QStringLiteral("Media files")};
const char* const deleteQuestion = "Do you want to delete all sub-categories and items in this category?";

// What the user does in the category dialog: optionally pick an icon, type a name, press OK or Cancel.
struct CategoryAnswer {
    QString name;       // null: leave the name field as it is
    int pickIcon = -1;  // -1: do not open the picker
    bool ok = true;
};

void answerCategoryDialog(const CategoryAnswer& answer, QString* seenCaption = nullptr, QString* seenName = nullptr,
                          bool* okEnabledAtOnce = nullptr)
{
    seam::pushDialogHandler([=](QDialog* dialog) {
        auto* form = qobject_cast<TNewCategoryForm*>(dialog);
        if (!form)
            return int(QDialog::Rejected);
        auto* name = child<QLineEdit>(form, "Edit1");
        if (seenCaption)
            *seenCaption = form->windowTitle();
        if (seenName)
            *seenName = name->text();
        if (okEnabledAtOnce)
            *okEnabledAtOnce = child<QPushButton>(form, "Button1")->isEnabled();
        if (answer.pickIcon >= 0) {
            const int index = answer.pickIcon;
            seam::pushDialogHandler([index](QDialog* picker) {
                child<QListWidget>(picker, "ListView1")->item(index)->setSelected(true);
                child<QPushButton>(picker, "OKBtn")->click();
                return picker->result();
            });
            child<QToolButton>(form, "imageIcon")->click();
        }
        if (!answer.name.isNull())
            name->setText(answer.name);
        child<QPushButton>(form, answer.ok ? "Button1" : "Button2")->click();
        return form->result();
    });
}

// Notes every message window that is shown, with its caption, while it watches the application.
class ShownMessageWindows : public QObject {
public:
    ShownMessageWindows() { qApp->installEventFilter(this); }
    ~ShownMessageWindows() override { qApp->removeEventFilter(this); }
    QStringList captions;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* form = qobject_cast<TTMessageProcForm*>(watched))
                captions << form->windowTitle();
        return false;
    }
};

CategoryAnswer named(const QString& name, int pickIcon = -1)
{
    CategoryAnswer answer;
    answer.name = name;
    answer.pickIcon = pickIcon;
    return answer;
}

QImage builtInPicture(int index)
{
    return picture(IconList::builtIn().icon(index));
}

std::string categorySql(const std::string& column, const std::string& guid)
{
    return "select " + column + " from category_table where guid = '" + guid + "'";
}

}  // namespace

class TestCategoryCommands : public WindowTestCase {
    Q_OBJECT

private:
    CategoryTreeView* categories() { return tree(window.get()); }
    QAction* command(const char* name) { return action(window.get(), name); }
    std::string store(const CCategory& category, const std::string& name, const std::string& target)
    {
        return storeItem(sandbox->databasePath(), category, name, target);
    }

    std::string column(const std::string& name, const std::string& guid)
    {
        return queryText(sandbox->databasePath(), categorySql(name, guid));
    }

    QString writeIcon(const QString& name, QColor colour)
    {
        QImage image(48, 48, QImage::Format_ARGB32);
        image.fill(colour);
        const QString path = sandbox->root() + QLatin1Char('/') + name;
        QImageWriter writer(path, "ico");
        if (!writer.write(image))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void addCategory_WithoutAnIconIsTheLastTopLevelNodeWithIconZero()
    {
        QString caption, startName;
        bool okAtOnce = true;
        answerCategoryDialog(named(QStringLiteral(" Projects ")), &caption, &startName, &okAtOnce);
        command("AddCategoryItem")->trigger();
        QCOMPARE(caption, QStringLiteral("New Category"));
        QVERIFY(startName.isEmpty());
        QVERIFY(!okAtOnce);
        QCOMPARE(topLevelTexts(categories()),
                 QStringList({"General files", "Office documents", "Media files", "Favorite websites", " Projects "}));
        QTreeWidgetItem* node = categories()->topLevelItem(4);
        QVERIFY(!node->isSelected());
        QCOMPARE(categories()->selectedNode(), nullptr);
        QCOMPARE(picture(node->icon(0)), builtInPicture(0));
        CCategory* category = categories()->categoryOf(node);
        QCOMPARE(window->catalogue().GetRootCategory().GetChild(4), category);
        QCOMPARE(column("name", category->GetGuid()), std::string(" Projects "));
        QCOMPARE(column("level", category->GetGuid()), std::string("0"));
        QCOMPARE(column("parent_guid", category->GetGuid()), std::string(""));
        QCOMPARE(column("system", category->GetGuid()), std::string("0"));
        QCOMPARE(column("iconIndex", category->GetGuid()), std::string("0"));
        restart();
        QCOMPARE(topLevelTexts(categories()).last(), QStringLiteral(" Projects "));
    }

    void addCategory_CancelledAddsNothing()
    {
        CategoryAnswer answer = named(QStringLiteral("Never"));
        answer.ok = false;
        answerCategoryDialog(answer);
        command("AddCategoryItem")->trigger();
        QCOMPARE(categories()->topLevelItemCount(), 4);
        QCOMPARE(window->catalogue().GetRootCategory().GetChildCount(), 4);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from category_table"), 6);
    }

    void addSubcategory_UnderACollapsedParentWaitsForItToBeExpanded()
    {
        CCategory* office = select(officePath);
        QTreeWidgetItem* officeNode = categories()->selectedNode();
        officeNode->setExpanded(false);
        answerCategoryDialog(named(QStringLiteral("Letters"), 9));
        command("AddSubCategoryItem")->trigger();
        QCOMPARE(childTexts(officeNode), QStringList({"Word documents", "Excel documents", "Letters"}));
        QVERIFY(!officeNode->isExpanded());
        QCOMPARE(categories()->selectedNode(), officeNode);
        QTreeWidgetItem* letters = officeNode->child(2);
        QCOMPARE(picture(letters->icon(0)), builtInPicture(9));
        CCategory* category = categories()->categoryOf(letters);
        QCOMPARE(office->GetChild(2), category);
        QCOMPARE(category->GetLevel(), 1);
        QCOMPARE(category->GetParentGuid(), office->GetGuid());
        QCOMPARE(column("level", category->GetGuid()), std::string("1"));
        QCOMPARE(column("parent_guid", category->GetGuid()), office->GetGuid());
        QCOMPARE(column("iconIndex", category->GetGuid()), std::string("9"));

        categories()->setCurrentItem(letters);
        answerCategoryDialog(named(QStringLiteral("Private")));
        command("AddSubCategoryItem")->trigger();
        CCategory* deeper = categories()->categoryOf(letters->child(0));
        QCOMPARE(deeper->GetLevel(), 2);
        QCOMPARE(column("level", deeper->GetGuid()), std::string("2"));

        restart();
        QTreeWidgetItem* again = nodeAt(categories(), {QStringLiteral("Office documents"), QStringLiteral("Letters")});
        QVERIFY(again);
        QCOMPARE(picture(again->icon(0)), builtInPicture(9));
        QCOMPARE(childTexts(again), QStringList{QStringLiteral("Private")});
    }

    void property_OpensWithTheNameAndWritesNothingWhenNothingChanged()
    {
        CCategory* media = select(mediaPath);
        const std::string guid = media->GetGuid();
        // Changed behind the window's back: a write of the unchanged category would undo this.
        execute(sandbox->databasePath(), "update category_table set name = 'Elsewhere' where guid = '" + guid + "'");
        QString caption, name;
        bool okAtOnce = false;
        answerCategoryDialog(CategoryAnswer{}, &caption, &name, &okAtOnce);
        command("Property2")->trigger();
        QCOMPARE(caption, QStringLiteral("Media files"));
        QCOMPARE(name, QStringLiteral("Media files"));
        QVERIFY(okAtOnce);
        QCOMPARE(column("name", guid), std::string("Elsewhere"));
        QCOMPARE(categories()->selectedNode()->text(0), QStringLiteral("Media files"));
    }

    void property_ChangingOnlyTheIconKeepsTheText()
    {
        CCategory* media = select(mediaPath);
        CategoryAnswer answer;
        answer.pickIcon = 12;
        answerCategoryDialog(answer);
        command("Property2")->trigger();
        QTreeWidgetItem* node = categories()->selectedNode();
        QCOMPARE(node->text(0), QStringLiteral("Media files"));
        QCOMPARE(picture(node->icon(0)), builtInPicture(12));
        QCOMPARE(media->GetIconIndex(), 12);
        QCOMPARE(column("iconIndex", media->GetGuid()), std::string("12"));
    }

    void property_RenamesADefaultCategoryAcrossARestart()
    {
        CCategory* word = select(wordPath);
        QVERIFY(word->IsSystem());
        const std::string guid = word->GetGuid();
        answerCategoryDialog(named(QStringLiteral("Texts")));
        command("Property2")->trigger();
        QCOMPARE(categories()->selectedNode()->text(0), QStringLiteral("Texts"));
        QCOMPARE(column("name", guid), std::string("Texts"));
        restart();
        QVERIFY(nodeAt(categories(), {QStringLiteral("Office documents"), QStringLiteral("Texts")}));
    }

    void property_WithoutASelectionAsksNothing()
    {
        command("Property2")->trigger();
        // The tree's own "Property" has no command.
        command("Property1")->trigger();
        QVERIFY(seam::shownDialogs().isEmpty());
    }

    void delete_AnsweredNoChangesNothing()
    {
        CCategory* word = select(wordPath);
        store(*word, "kept", "/k");
        store(*select(officePath), "also kept", "/a");
        seam::pushMessageAnswer(QMessageBox::No);
        ShownMessageWindows shown;
        command("DeleteCategory")->trigger();
        QVERIFY(shown.captions.isEmpty());
        QCOMPARE(seam::shownMessages().size(), 1);
        // After the question, what the answer would delete, counted down the whole branch.
        QCOMPARE(seam::shownMessages().first().text,
                 QString::fromLatin1(deleteQuestion)
                     + QStringLiteral("\n\n\"Office documents\" with 2 subcategories and 2 items"));
        QCOMPARE(seam::shownMessages().first().caption, QStringLiteral("Confirm"));
        QCOMPARE(seam::shownMessages().first().buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(categories()->topLevelItemCount(), 4);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from category_table"), 6);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 2);
    }

    void delete_RemovesTheWholeSubtreeFromTreeMemoryAndDatabase()
    {
        CCategory* word = select(wordPath);
        store(*word, "gone", "/g");
        CCategory* media = categories()->categoryOf(nodeAt(categories(), mediaPath));
        store(*media, "stays", "/s");
        CCategory* office = select(officePath);
        store(*office, "gone too", "/g2");
        // The list shows rows of the category about to go.
        reselect(officePath);
        QCOMPARE(rowTexts(list(window.get())), QStringList{QStringLiteral("gone too")});
        answerCategoryDialog(named(QStringLiteral("Deep")));
        command("AddSubCategoryItem")->trigger();
        seam::pushMessageAnswer(QMessageBox::Yes);
        ShownMessageWindows shown;
        command("DeleteCategory")->trigger();
        QCOMPARE(shown.captions, QStringList{QStringLiteral("Delete category")});
        QVERIFY(window->findChildren<TTMessageProcForm*>().isEmpty());
        QCOMPARE(seam::shownMessages().size(), 1);
        QCOMPARE(topLevelTexts(categories()), QStringList({"General files", "Media files", "Favorite websites"}));
        const CCategory& root = window->catalogue().GetRootCategory();
        QCOMPARE(root.GetChildCount(), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY(root.GetChild(i) != office);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from category_table"), 3);
        QCOMPARE(queryText(sandbox->databasePath(), "select name from link_table"), std::string("stays"));
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 1);
        ItemListView* items = list(window.get());
        for (int i = 0; i < items->topLevelItemCount(); ++i) {
            QVERIFY(items->itemAtRow(i)->GetName() != "gone");
            QVERIFY(items->itemAtRow(i)->GetName() != "gone too");
        }
        restart();
        QCOMPARE(topLevelTexts(categories()), QStringList({"General files", "Media files", "Favorite websites"}));
    }

    void delete_OfTheLastCategoryEmptiesTheList()
    {
        while (categories()->topLevelItemCount() > 1) {
            categories()->setCurrentItem(categories()->topLevelItem(1));
            seam::pushMessageAnswer(QMessageBox::Yes);
            command("DeleteCategory")->trigger();
        }
        const QStringList lastPath{categories()->topLevelItem(0)->text(0)};
        store(*categories()->categoryOf(categories()->topLevelItem(0)), "row", "/r");
        reselect(lastPath);
        QCOMPARE(list(window.get())->topLevelItemCount(), 1);
        seam::pushMessageAnswer(QMessageBox::Yes);
        command("DeleteCategory")->trigger();
        QCOMPARE(categories()->topLevelItemCount(), 0);
        QCOMPARE(list(window.get())->topLevelItemCount(), 0);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from category_table"), 0);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 0);
    }

    void appendedIcon_IsStoredEvenWhenBothDialogsAreCancelled()
    {
        CCategory* media = select(mediaPath);
        const std::string guid = media->GetGuid();
        const int iconBefore = media->GetIconIndex();
        const QImage nodeBefore = picture(categories()->selectedNode()->icon(0));
        const QString icon = writeIcon(QStringLiteral("new.ico"), Qt::darkCyan);
        seam::pushDialogHandler([&](QDialog* form) {
            seam::pushDialogHandler([&](QDialog* picker) {
                seam::pushFileAnswer({icon});
                child<QPushButton>(picker, "btnAddIcon")->click();
                child<QPushButton>(picker, "CancelBtn")->click();
                return picker->result();
            });
            child<QToolButton>(form, "imageIcon")->click();
            child<QPushButton>(form, "Button2")->click();
            return form->result();
        });
        command("Property2")->trigger();
        QCOMPARE(offeredIcons(window.get()).size(), 24);
        QCOMPARE(media->GetIconIndex(), iconBefore);
        QCOMPARE(picture(categories()->selectedNode()->icon(0)), nodeBefore);
        std::optional<IconList> stored = storedIcons(sandbox->databasePath());
        QVERIFY(stored.has_value());
        QCOMPARE(stored->count(), 24);
        restart();
        const QList<QIcon> offered = offeredIcons(window.get());
        QCOMPARE(offered.size(), 24);
        QCOMPARE(picture(offered[23]).pixelColor(16, 16), QColor(Qt::darkCyan));
        QCOMPARE(column("iconIndex", guid), std::to_string(iconBefore));
    }

    void appendedIcon_CanBePickedAtOnceAndShowsAfterARestart()
    {
        const QString icon = writeIcon(QStringLiteral("pick.ico"), Qt::darkMagenta);
        seam::pushDialogHandler([&](QDialog* form) {
            seam::pushDialogHandler([&](QDialog* picker) {
                auto* icons = child<QListWidget>(picker, "ListView1");
                seam::pushFileAnswer({icon});
                child<QPushButton>(picker, "btnAddIcon")->click();
                icons->item(icons->count() - 1)->setSelected(true);
                child<QPushButton>(picker, "OKBtn")->click();
                return picker->result();
            });
            child<QToolButton>(form, "imageIcon")->click();
            child<QLineEdit>(form, "Edit1")->setText(QStringLiteral("Custom"));
            child<QPushButton>(form, "Button1")->click();
            return form->result();
        });
        command("AddCategoryItem")->trigger();
        CCategory* custom = categories()->categoryOf(categories()->topLevelItem(4));
        QCOMPARE(custom->GetIconIndex(), 23);
        QCOMPARE(column("iconIndex", custom->GetGuid()), std::string("23"));
        restart();
        QTreeWidgetItem* node = categories()->topLevelItem(4);
        QCOMPARE(node->text(0), QStringLiteral("Custom"));
        const QList<QIcon> offered = offeredIcons(window.get());
        QCOMPARE(offered.size(), 24);
        QCOMPARE(picture(node->icon(0)), picture(offered[23]));
        QCOMPARE(picture(offered[23]).pixelColor(16, 16), QColor(Qt::darkMagenta));
    }

    void twoAppendsLeaveOneStoredListOfTwentyFive()
    {
        select(mediaPath);
        const QString first = writeIcon(QStringLiteral("a.ico"), Qt::red);
        const QString second = writeIcon(QStringLiteral("b.ico"), Qt::blue);
        seam::pushDialogHandler([&](QDialog* form) {
            seam::pushDialogHandler([&](QDialog* picker) {
                seam::pushFileAnswer({first});
                child<QPushButton>(picker, "btnAddIcon")->click();
                seam::pushFileAnswer({second});
                child<QPushButton>(picker, "btnAddIcon")->click();
                return int(QDialog::Rejected);
            });
            child<QToolButton>(form, "imageIcon")->click();
            return int(QDialog::Rejected);
        });
        command("Property2")->trigger();
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from imagelist_table"), 1);
        QCOMPARE(storedIcons(sandbox->databasePath())->count(), 25);
    }
};

QTEST_MAIN(TestCategoryCommands)
#include "tst_categorycommands.moc"
