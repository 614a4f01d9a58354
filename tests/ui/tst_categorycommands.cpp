// The category commands of the main window on a real temporary catalogue, checked in the tree, in
// memory, in the database and again after the window is made anew on the same database.
#include "testutil.h"

#include "model/ccategory.h"
#include "ui/dialogseam.h"
#include "ui/iconlist.h"
#include "ui/ticondialog.h"
#include "ui/tnewcategoryform.h"
#include "ui/tsdiappform.h"
#include "ui/ttmessageprocform.h"

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
    QString name;          // null: leave the name field as it is
    int pickIcon = -1;     // -1: do not open the picker
    bool ok = true;
};

void answerCategoryDialog(const CategoryAnswer& answer, QString* seenCaption = nullptr, QString* seenName = nullptr,
                          bool* okEnabledAtOnce = nullptr)
{
    seam::pushDialogHandler([=](QDialog* dialog) {
        auto* form = qobject_cast<TNewCategoryForm*>(dialog);
        if (!form)
            return int(QDialog::Rejected);
        if (seenCaption)
            *seenCaption = form->windowTitle();
        if (seenName)
            *seenName = form->Edit1->text();
        if (okEnabledAtOnce)
            *okEnabledAtOnce = form->Button1->isEnabled();
        if (answer.pickIcon >= 0) {
            const int index = answer.pickIcon;
            seam::pushDialogHandler([index](QDialog* pickerDialog) {
                auto* picker = qobject_cast<TIconDialog*>(pickerDialog);
                picker->ListView1->item(index)->setSelected(true);
                return int(QDialog::Accepted);
            });
            form->imageIcon->click();
        }
        if (!answer.name.isNull())
            form->Edit1->setText(answer.name);
        (answer.ok ? form->Button1 : form->Button2)->click();
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

QImage picture(const QIcon& icon)
{
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

std::string categorySql(const std::string& column, const std::string& guid)
{
    return "select " + column + " from category_table where guid = '" + guid + "'";
}

}  // namespace

class TestCategoryCommands : public WindowTestCase {
    Q_OBJECT

private:
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
        window->AddCategoryItem->trigger();
        QCOMPARE(caption, QStringLiteral("New Category"));
        QVERIFY(startName.isEmpty());
        QVERIFY(!okAtOnce);
        QCOMPARE(topLevelTexts(window->treeCategory),
                 QStringList({"General files", "Office documents", "Media files", "Favorite websites", " Projects "}));
        QTreeWidgetItem* node = window->treeCategory->topLevelItem(4);
        QVERIFY(!node->isSelected());
        QCOMPARE(window->GetSelectedNode(), nullptr);
        QCOMPARE(picture(node->icon(0)), picture(window->ImageList2.icon(0)));
        CCategory* category = TSDIAppForm::categoryOf(node);
        QCOMPARE(window->db.GetRootCategory().GetChild(4), category);
        QCOMPARE(column("name", category->GetGuid()), std::string(" Projects "));
        QCOMPARE(column("level", category->GetGuid()), std::string("0"));
        QCOMPARE(column("parent_guid", category->GetGuid()), std::string(""));
        QCOMPARE(column("system", category->GetGuid()), std::string("0"));
        QCOMPARE(column("iconIndex", category->GetGuid()), std::string("0"));
        restart();
        QCOMPARE(topLevelTexts(window->treeCategory).last(), QStringLiteral(" Projects "));
    }

    void addCategory_CancelledAddsNothing()
    {
        CategoryAnswer answer = named(QStringLiteral("Never"));
        answer.ok = false;
        answerCategoryDialog(answer);
        window->AddCategoryItem->trigger();
        QCOMPARE(window->treeCategory->topLevelItemCount(), 4);
        QCOMPARE(window->db.GetRootCategory().GetChildCount(), 4);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from category_table"), 6);
    }

    void addSubcategory_UnderACollapsedParentWaitsForItToBeExpanded()
    {
        CCategory* office = select(officePath);
        QTreeWidgetItem* officeNode = window->GetSelectedNode();
        officeNode->setExpanded(false);
        answerCategoryDialog(named(QStringLiteral("Letters"), 9));
        window->AddSubCategoryItem->trigger();
        QCOMPARE(childTexts(officeNode), QStringList({"Word documents", "Excel documents", "Letters"}));
        QVERIFY(!officeNode->isExpanded());
        QCOMPARE(window->GetSelectedNode(), officeNode);
        QTreeWidgetItem* letters = officeNode->child(2);
        QCOMPARE(picture(letters->icon(0)), picture(window->ImageList2.icon(9)));
        CCategory* category = TSDIAppForm::categoryOf(letters);
        QCOMPARE(office->GetChild(2), category);
        QCOMPARE(category->GetLevel(), 1);
        QCOMPARE(category->GetParentGuid(), office->GetGuid());
        QCOMPARE(column("level", category->GetGuid()), std::string("1"));
        QCOMPARE(column("parent_guid", category->GetGuid()), office->GetGuid());
        QCOMPARE(column("iconIndex", category->GetGuid()), std::string("9"));

        window->treeCategory->setCurrentItem(letters);
        answerCategoryDialog(named(QStringLiteral("Private")));
        window->AddSubCategoryItem->trigger();
        CCategory* deeper = TSDIAppForm::categoryOf(letters->child(0));
        QCOMPARE(deeper->GetLevel(), 2);
        QCOMPARE(column("level", deeper->GetGuid()), std::string("2"));

        restart();
        QTreeWidgetItem* again = nodeAt(window->treeCategory, {QStringLiteral("Office documents"), QStringLiteral("Letters")});
        QVERIFY(again);
        QCOMPARE(picture(again->icon(0)), picture(window->ImageList2.icon(9)));
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
        window->Property2->trigger();
        QCOMPARE(caption, QStringLiteral("Media files"));
        QCOMPARE(name, QStringLiteral("Media files"));
        QVERIFY(okAtOnce);
        QCOMPARE(column("name", guid), std::string("Elsewhere"));
        QCOMPARE(window->GetSelectedNode()->text(0), QStringLiteral("Media files"));
    }

    void property_ChangingOnlyTheIconKeepsTheText()
    {
        CCategory* media = select(mediaPath);
        CategoryAnswer answer;
        answer.pickIcon = 12;
        answerCategoryDialog(answer);
        window->Property2->trigger();
        QTreeWidgetItem* node = window->GetSelectedNode();
        QCOMPARE(node->text(0), QStringLiteral("Media files"));
        QCOMPARE(picture(node->icon(0)), picture(window->ImageList2.icon(12)));
        QCOMPARE(media->GetIconIndex(), 12);
        QCOMPARE(column("iconIndex", media->GetGuid()), std::string("12"));
    }

    void property_RenamesADefaultCategoryAcrossARestart()
    {
        CCategory* word = select(wordPath);
        QVERIFY(word->IsSystem());
        const std::string guid = word->GetGuid();
        answerCategoryDialog(named(QStringLiteral("Texts")));
        window->Property2->trigger();
        QCOMPARE(window->GetSelectedNode()->text(0), QStringLiteral("Texts"));
        QCOMPARE(column("name", guid), std::string("Texts"));
        restart();
        QVERIFY(nodeAt(window->treeCategory, {QStringLiteral("Office documents"), QStringLiteral("Texts")}));
    }

    void property_WithoutASelectionAsksNothing()
    {
        window->Property2Click();
        window->EditCategory(nullptr);
        QVERIFY(seam::shownDialogs().isEmpty());
    }

    void delete_AnsweredNoChangesNothing()
    {
        CCategory* word = select(wordPath);
        storeItem(*window, *word, "kept", "/k");
        select(officePath);
        seam::pushMessageAnswer(QMessageBox::No);
        ShownMessageWindows shown;
        window->DeleteCategory->trigger();
        QVERIFY(shown.captions.isEmpty());
        QCOMPARE(seam::shownMessages().size(), 1);
        QCOMPARE(seam::shownMessages().first().text, QString::fromLatin1(deleteQuestion));
        QCOMPARE(seam::shownMessages().first().caption, QStringLiteral("Confirm"));
        QCOMPARE(seam::shownMessages().first().buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(window->treeCategory->topLevelItemCount(), 4);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from category_table"), 6);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 1);
    }

    void delete_RemovesTheWholeSubtreeFromTreeMemoryAndDatabase()
    {
        CCategory* word = select(wordPath);
        storeItem(*window, *word, "gone", "/g");
        CCategory* media = TSDIAppForm::categoryOf(nodeAt(window->treeCategory, mediaPath));
        storeItem(*window, *media, "stays", "/s");
        CCategory* office = select(officePath);
        window->ShowCategoryItems(word);
        answerCategoryDialog(named(QStringLiteral("Deep")));
        window->AddSubCategoryItem->trigger();
        seam::pushMessageAnswer(QMessageBox::Yes);
        ShownMessageWindows shown;
        window->DeleteCategory->trigger();
        QCOMPARE(shown.captions, QStringList{QStringLiteral("Delete category")});
        QVERIFY(window->findChildren<TTMessageProcForm*>().isEmpty());
        QCOMPARE(seam::shownMessages().size(), 1);
        QCOMPARE(topLevelTexts(window->treeCategory), QStringList({"General files", "Media files", "Favorite websites"}));
        QCOMPARE(window->db.GetRootCategory().GetChildCount(), 3);
        for (int i = 0; i < 3; ++i)
            QVERIFY(window->db.GetRootCategory().GetChild(i) != office);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from category_table"), 3);
        QCOMPARE(queryText(sandbox->databasePath(), "select name from link_table"), std::string("stays"));
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 1);
        for (int i = 0; i < window->listContent->topLevelItemCount(); ++i)
            QVERIFY(TSDIAppForm::itemOf(window->listContent->topLevelItem(i))->GetName() != "gone");
        restart();
        QCOMPARE(topLevelTexts(window->treeCategory), QStringList({"General files", "Media files", "Favorite websites"}));
    }

    void delete_OfTheLastCategoryEmptiesTheList()
    {
        while (window->treeCategory->topLevelItemCount() > 1) {
            window->treeCategory->setCurrentItem(window->treeCategory->topLevelItem(1));
            seam::pushMessageAnswer(QMessageBox::Yes);
            window->DeleteCategoryClick();
        }
        CCategory* last = TSDIAppForm::categoryOf(window->treeCategory->topLevelItem(0));
        storeItem(*window, *last, "row", "/r");
        window->treeCategory->setCurrentItem(window->treeCategory->topLevelItem(0));
        window->ShowCategoryItems(last);
        QCOMPARE(window->listContent->topLevelItemCount(), 1);
        seam::pushMessageAnswer(QMessageBox::Yes);
        window->DeleteCategoryClick();
        QCOMPARE(window->treeCategory->topLevelItemCount(), 0);
        QCOMPARE(window->listContent->topLevelItemCount(), 0);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from category_table"), 0);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 0);
    }

    void appendedIcon_IsStoredEvenWhenBothDialogsAreCancelled()
    {
        CCategory* media = select(mediaPath);
        const std::string guid = media->GetGuid();
        const int iconBefore = media->GetIconIndex();
        const QImage nodeBefore = picture(window->GetSelectedNode()->icon(0));
        const QString icon = writeIcon(QStringLiteral("new.ico"), Qt::darkCyan);
        seam::pushDialogHandler([&](QDialog* dialog) {
            auto* form = qobject_cast<TNewCategoryForm*>(dialog);
            seam::pushDialogHandler([&](QDialog* pickerDialog) {
                seam::pushFileAnswer({icon});
                qobject_cast<TIconDialog*>(pickerDialog)->btnAddIcon->click();
                return int(QDialog::Rejected);
            });
            form->imageIcon->click();
            form->Button2->click();
            return form->result();
        });
        window->Property2->trigger();
        QCOMPARE(window->ImageList2.count(), 24);
        QCOMPARE(media->GetIconIndex(), iconBefore);
        QCOMPARE(picture(window->GetSelectedNode()->icon(0)), nodeBefore);
        std::optional<IconList> stored = IconList::deserialize(window->db.LoadIconList());
        QVERIFY(stored.has_value());
        QCOMPARE(stored->count(), 24);
        restart();
        QCOMPARE(window->ImageList2.count(), 24);
        QCOMPARE(QColor(window->ImageList2.image(23).pixel(16, 16)), QColor(Qt::darkCyan));
        QCOMPARE(column("iconIndex", guid), std::to_string(iconBefore));
    }

    void appendedIcon_CanBePickedAtOnceAndShowsAfterARestart()
    {
        const QString icon = writeIcon(QStringLiteral("pick.ico"), Qt::darkMagenta);
        seam::pushDialogHandler([&](QDialog* dialog) {
            auto* form = qobject_cast<TNewCategoryForm*>(dialog);
            seam::pushDialogHandler([&](QDialog* pickerDialog) {
                auto* picker = qobject_cast<TIconDialog*>(pickerDialog);
                seam::pushFileAnswer({icon});
                picker->btnAddIcon->click();
                picker->ListView1->item(picker->ListView1->count() - 1)->setSelected(true);
                picker->OKBtn->click();
                return picker->result();
            });
            form->imageIcon->click();
            form->Edit1->setText(QStringLiteral("Custom"));
            form->Button1->click();
            return form->result();
        });
        window->AddCategoryItem->trigger();
        CCategory* custom = TSDIAppForm::categoryOf(window->treeCategory->topLevelItem(4));
        QCOMPARE(custom->GetIconIndex(), 23);
        QCOMPARE(column("iconIndex", custom->GetGuid()), std::string("23"));
        restart();
        QTreeWidgetItem* node = window->treeCategory->topLevelItem(4);
        QCOMPARE(node->text(0), QStringLiteral("Custom"));
        QCOMPARE(picture(node->icon(0)), picture(window->ImageList2.icon(23)));
        QCOMPARE(QColor(window->ImageList2.image(23).pixel(16, 16)), QColor(Qt::darkMagenta));
    }

    void twoAppendsLeaveOneStoredListOfTwentyFive()
    {
        select(mediaPath);
        const QString first = writeIcon(QStringLiteral("a.ico"), Qt::red);
        const QString second = writeIcon(QStringLiteral("b.ico"), Qt::blue);
        seam::pushDialogHandler([&](QDialog* dialog) {
            auto* form = qobject_cast<TNewCategoryForm*>(dialog);
            seam::pushDialogHandler([&](QDialog* pickerDialog) {
                auto* picker = qobject_cast<TIconDialog*>(pickerDialog);
                seam::pushFileAnswer({first});
                picker->btnAddIcon->click();
                seam::pushFileAnswer({second});
                picker->btnAddIcon->click();
                return int(QDialog::Rejected);
            });
            form->imageIcon->click();
            return int(QDialog::Rejected);
        });
        window->Property2->trigger();
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from imagelist_table"), 1);
        QCOMPARE(IconList::deserialize(window->db.LoadIconList())->count(), 25);
    }
};

QTEST_MAIN(TestCategoryCommands)
#include "tst_categorycommands.moc"
