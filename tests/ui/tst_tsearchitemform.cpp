// The search dialog on a real catalogue: the enabling rule, the settings kept in the INI file,
// the result list and the jump to an item.
#include "model/newguid.h"
#include "shell/appsettings.h"
#include "storage/cdbmanager.h"
#include "ui/dialogseam.h"
#include "ui/tsearchitemform.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <utility>
#include <vector>

namespace {

struct Located {
    std::string category, item;
};

} // namespace

class TestSearchItemForm : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<CDBManager> db;
    std::string ini;

    CCategory& category(int index) { return *db->GetRootCategory().GetChild(index); }

    CLinkItem* addItem(CCategory& into, const std::string& name, const std::string& target,
                       const std::string& comment = {})
    {
        auto item = std::make_unique<CLinkItem>();
        item->SetGuid(NewGuid());
        item->SetName(name);
        item->SetTarget(target);
        item->SetComment(comment);
        item->SetParentGuid(into.GetGuid());
        CLinkItem* raw = item.get();
        into.AddItem(std::move(item));
        if (!db->SaveCategory(into, false))
            qFatal("cannot save the test item");
        return raw;
    }

    void search(TSearchItemForm& form, const QString& keyword)
    {
        form.editKeyword->setText(keyword);
        QVERIFY(form.btnSearch->isEnabled());
        form.btnSearch->click();
    }

    QStringList lines(const TSearchItemForm& form) const
    {
        QStringList texts;
        for (int i = 0; i < form.lbResult->count(); ++i)
            texts << form.lbResult->item(i)->text();
        return texts;
    }

private slots:
    void initTestCase() { seam::enableTestMode(); }

    void init()
    {
        seam::clearTestState();
        dir = std::make_unique<QTemporaryDir>();
        ini = dir->filePath(QStringLiteral("varnelo.INI")).toStdString();
        db = std::make_unique<CDBManager>();
        QVERIFY(db->Open(dir->filePath(QStringLiteral("FavoritesDB.db")).toStdString()));
        db->EnsureDefaultCategories();
        QVERIFY(db->LoadCategories());
        QVERIFY(db->GetRootCategory().GetChildCount() >= 2);
    }

    void cleanup()
    {
        QCOMPARE(seam::unexpectedPromptCount(), 0);
        db.reset();
        dir.reset();
    }

    void freshDialogHasAllBoxesCheckedAndSearchDisabled()
    {
        TSearchItemForm form(nullptr, ini);
        QCOMPARE(form.windowTitle(), QStringLiteral("Search"));
        QCOMPARE(form.ckTitle->text(), QStringLiteral("Search title"));
        QCOMPARE(form.ckFilename->text(), QStringLiteral("Search item target"));
        QCOMPARE(form.ckComment->text(), QStringLiteral("Search comment"));
        QCOMPARE(form.btnClose->text(), QStringLiteral("Close"));
        QVERIFY(form.ckTitle->isChecked() && form.ckFilename->isChecked() && form.ckComment->isChecked());
        QVERIFY(!form.btnSearch->isEnabled());
        QVERIFY(form.editKeyword->text().isEmpty());
        QVERIFY(form.lbResult->isHidden());
    }

    void checkBoxesComeFromTheSearchSection()
    {
        writeIniFlags(ini, "Search", {{"title", false}, {"filename", true}, {"comment", false}});
        TSearchItemForm form(nullptr, ini);
        QVERIFY(!form.ckTitle->isChecked());
        QVERIFY(form.ckFilename->isChecked());
        QVERIFY(!form.ckComment->isChecked());
    }

    void blanksOrNoColumnKeepSearchDisabled()
    {
        TSearchItemForm form(nullptr, ini);
        form.editKeyword->setText(QStringLiteral("   \t"));
        QVERIFY(!form.btnSearch->isEnabled());
        form.editKeyword->setText(QStringLiteral(" abc "));
        QVERIFY(form.btnSearch->isEnabled());
        form.ckTitle->setChecked(false);
        form.ckFilename->setChecked(false);
        QVERIFY(form.btnSearch->isEnabled());
        form.ckComment->setChecked(false);
        QVERIFY(!form.btnSearch->isEnabled());
        form.ckFilename->setChecked(true);
        QVERIFY(form.btnSearch->isEnabled());
    }

    void changedBoxesWithoutSearchLeaveTheSettingsFileAlone()
    {
        QPointer<TSearchItemForm> form = new TSearchItemForm(nullptr, ini);
        form->setDatabase(db.get());
        form->ckTitle->setChecked(false);
        form->ckComment->setChecked(false);
        form->btnClose->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(form.isNull());
        QVERIFY(!QFile::exists(QString::fromStdString(ini)));
        TSearchItemForm again(nullptr, ini);
        QVERIFY(again.ckTitle->isChecked() && again.ckComment->isChecked());
    }

    void searchWritesTheBoxesAndSearchesTheKeywordWithItsBlanks()
    {
        addItem(category(0), "x abc y", "/t/1");
        addItem(category(0), "xabcy", "/t/2");
        TSearchItemForm form(nullptr, ini);
        form.setDatabase(db.get());
        form.ckFilename->setChecked(false);
        form.ckComment->setChecked(false);
        search(form, QStringLiteral(" abc "));
        QCOMPARE(lines(form), QStringList{QStringLiteral("x abc y")});
        QVERIFY(!readIniFlag(ini, "Search", "filename", true));
        QVERIFY(!readIniFlag(ini, "Search", "comment", true));
        QVERIFY(readIniFlag(ini, "Search", "title", false));
        TSearchItemForm next(nullptr, ini);
        QVERIFY(next.ckTitle->isChecked());
        QVERIFY(!next.ckFilename->isChecked());
    }

    void resultsComeInStoredOrderAndEachDuplicateLeadsToItsOwnItem()
    {
        CLinkItem* first = addItem(category(1), "Notes", "/a/notes.txt");
        addItem(category(0), "Other", "/a/zzz", "notes inside");
        CLinkItem* second = addItem(category(0), "Notes", "/b/notes.txt");
        const std::string firstGuid = first->GetGuid(), secondGuid = second->GetGuid();
        const std::string firstCategory = category(1).GetGuid(), secondCategory = category(0).GetGuid();
        std::vector<Located> located;
        TSearchItemForm form(nullptr, ini);
        form.setDatabase(db.get());
        form.setLocator([&](const std::string& c, const std::string& i) { located.push_back({c, i}); });
        search(form, QStringLiteral("notes"));
        QCOMPARE(lines(form), (QStringList{"Notes", "Other", "Notes"}));
        QCOMPARE(form.results().size(), size_t(3));
        form.lbResult->setCurrentRow(2);
        form.lbResultDblClick();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QRect rect = form.lbResult->visualItemRect(form.lbResult->item(0));
        QTest::mouseClick(form.lbResult->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(form.lbResult->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(located.size(), size_t(2));
        QCOMPARE(located[0].category, secondCategory);
        QCOMPARE(located[0].item, secondGuid);
        QCOMPARE(located[1].category, firstCategory);
        QCOMPARE(located[1].item, firstGuid);
        QCOMPARE(lines(form).size(), 3);
    }

    void doubleClickWithoutSelectionDoesNothing()
    {
        addItem(category(0), "alpha", "/a");
        int calls = 0;
        TSearchItemForm form(nullptr, ini);
        form.setDatabase(db.get());
        form.setLocator([&](const std::string&, const std::string&) { ++calls; });
        search(form, QStringLiteral("alpha"));
        form.lbResult->clearSelection();
        form.lbResultDblClick();
        QCOMPARE(calls, 0);
    }

    void dialogGrowsAfterEverySearchAndASecondSearchReplacesTheList()
    {
        addItem(category(0), "alpha", "/a");
        addItem(category(0), "beta", "/b");
        TSearchItemForm form(nullptr, ini);
        form.setDatabase(db.get());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const int before = form.frameGeometry().height();
        QVERIFY(before < 532);
        search(form, QStringLiteral("nothing like it"));
        QCOMPARE(form.lbResult->count(), 0);
        QVERIFY(!form.lbResult->isHidden());
        QCOMPARE(form.frameGeometry().height(), 532);
        search(form, QStringLiteral("alpha"));
        QCOMPARE(lines(form), QStringList{QStringLiteral("alpha")});
        search(form, QStringLiteral("beta"));
        QCOMPARE(lines(form), QStringList{QStringLiteral("beta")});
        QCOMPARE(form.results().size(), size_t(1));
        QCOMPARE(form.results().front().name, std::string("beta"));
        QCOMPARE(form.frameGeometry().height(), 532);
    }

    void wildcardsAndApostrophesAreSearchedSafely()
    {
        addItem(category(0), "Bob's notes.txt", "/n");
        addItem(category(0), "abc", "/m");
        addItem(category(0), "Sale 50 off", "/o");
        TSearchItemForm form(nullptr, ini);
        form.setDatabase(db.get());
        form.ckFilename->setChecked(false);
        form.ckComment->setChecked(false);
        search(form, QStringLiteral("Bob's"));
        QCOMPARE(lines(form), QStringList{QStringLiteral("Bob's notes.txt")});
        search(form, QStringLiteral("a_c"));
        QCOMPARE(lines(form), QStringList{QStringLiteral("abc")});
        search(form, QStringLiteral("50%"));
        QCOMPARE(lines(form), QStringList{QStringLiteral("Sale 50 off")});
        search(form, QStringLiteral("'; drop table link_table; --"));
        QCOMPARE(form.lbResult->count(), 0);
        search(form, QStringLiteral("abc"));
        QCOMPARE(lines(form), QStringList{QStringLiteral("abc")});
    }

    void withoutADatabaseSearchDoesNothing()
    {
        TSearchItemForm form(nullptr, ini);
        search(form, QStringLiteral("abc"));
        QVERIFY(form.lbResult->isHidden());
        QVERIFY(!QFile::exists(QString::fromStdString(ini)));
    }

    void unwritableSettingsAreReportedAndTheSearchStillRuns()
    {
        addItem(category(0), "alpha", "/a");
        TSearchItemForm form(nullptr, dir->filePath(QStringLiteral("missing/folder/varnelo.INI")).toStdString());
        form.setDatabase(db.get());
        search(form, QStringLiteral("alpha"));
        QCOMPARE(seam::shownMessages().size(), 1);
        QVERIFY2(seam::shownMessages().first().text.startsWith(QStringLiteral("Unable to write to ")),
                 qPrintable(seam::shownMessages().first().text));
        QCOMPARE(lines(form), QStringList{QStringLiteral("alpha")});
    }

    void closeButtonDestroysTheDialogAndTitleBarCloseOnlyHidesIt()
    {
        QPointer<TSearchItemForm> form = new TSearchItemForm(nullptr, ini);
        form->setDatabase(db.get());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.data()));
        form->editKeyword->setText(QStringLiteral("kept"));
        form->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!form.isNull());
        QVERIFY(form->isHidden());
        QCOMPARE(form->editKeyword->text(), QStringLiteral("kept"));
        form->show();
        form->btnClose->click();
        QVERIFY(form->isHidden());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(form.isNull());
    }
};

QTEST_MAIN(TestSearchItemForm)
#include "tst_tsearchitemform.moc"
