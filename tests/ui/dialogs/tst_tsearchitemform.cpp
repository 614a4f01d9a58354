// SPDX-License-Identifier: GPL-3.0-or-later
// The search dialog on a real catalogue: the enabling rule, the settings kept in the INI file,
// the result list and the jump to an item.
#include "testseam.h"
#include "testutil.h"

#include "model/newguid.h"
#include "shell/appsettings.h"
#include "storage/cdbmanager.h"
#include "ui/dialogs/tsearchitemform.h"

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

using testutil::child;

namespace {

struct Located {
    std::string category, item;
};

}  // namespace

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
        db->SaveCategory(into, false);
        return raw;
    }

    void search(TSearchItemForm& form, const QString& keyword)
    {
        child<QLineEdit>(&form, "editKeyword")->setText(keyword);
        auto* button = child<QPushButton>(&form, "btnSearch");
        QVERIFY(button->isEnabled());
        button->click();
    }

    QStringList lines(const TSearchItemForm& form) const
    {
        const auto* results = child<QListWidget>(&form, "lbResult");
        QStringList texts;
        for (int i = 0; i < results->count(); ++i)
            texts << results->item(i)->text();
        return texts;
    }

    // Return on the current line of the result list activates it, as a double click does.
    void pressReturnInResults(TSearchItemForm& form)
    {
        QTest::keyClick(child<QListWidget>(&form, "lbResult"), Qt::Key_Return);
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
        QCOMPARE(child<QCheckBox>(&form, "ckTitle")->text(), QStringLiteral("Search title"));
        QCOMPARE(child<QCheckBox>(&form, "ckFilename")->text(), QStringLiteral("Search item target"));
        QCOMPARE(child<QCheckBox>(&form, "ckComment")->text(), QStringLiteral("Search comment"));
        QCOMPARE(child<QPushButton>(&form, "btnClose")->text(), QStringLiteral("Close"));
        QVERIFY(child<QCheckBox>(&form, "ckTitle")->isChecked() && child<QCheckBox>(&form, "ckFilename")->isChecked()
                && child<QCheckBox>(&form, "ckComment")->isChecked());
        QVERIFY(!child<QPushButton>(&form, "btnSearch")->isEnabled());
        QVERIFY(child<QLineEdit>(&form, "editKeyword")->text().isEmpty());
        QVERIFY(child<QListWidget>(&form, "lbResult")->isHidden());
    }

    void checkBoxesComeFromTheSearchSection()
    {
        writeIniFlags(ini, "Search", {{"title", false}, {"filename", true}, {"comment", false}});
        TSearchItemForm form(nullptr, ini);
        QVERIFY(!child<QCheckBox>(&form, "ckTitle")->isChecked());
        QVERIFY(child<QCheckBox>(&form, "ckFilename")->isChecked());
        QVERIFY(!child<QCheckBox>(&form, "ckComment")->isChecked());
    }

    void blanksOrNoColumnKeepSearchDisabled()
    {
        TSearchItemForm form(nullptr, ini);
        child<QLineEdit>(&form, "editKeyword")->setText(QStringLiteral("   \t"));
        QVERIFY(!child<QPushButton>(&form, "btnSearch")->isEnabled());
        child<QLineEdit>(&form, "editKeyword")->setText(QStringLiteral(" abc "));
        QVERIFY(child<QPushButton>(&form, "btnSearch")->isEnabled());
        child<QCheckBox>(&form, "ckTitle")->setChecked(false);
        child<QCheckBox>(&form, "ckFilename")->setChecked(false);
        QVERIFY(child<QPushButton>(&form, "btnSearch")->isEnabled());
        child<QCheckBox>(&form, "ckComment")->setChecked(false);
        QVERIFY(!child<QPushButton>(&form, "btnSearch")->isEnabled());
        child<QCheckBox>(&form, "ckFilename")->setChecked(true);
        QVERIFY(child<QPushButton>(&form, "btnSearch")->isEnabled());
    }

    void changedBoxesWithoutSearchLeaveTheSettingsFileAlone()
    {
        QPointer<TSearchItemForm> form = new TSearchItemForm(nullptr, ini);
        form->setDatabase(db.get());
        child<QCheckBox>(form.data(), "ckTitle")->setChecked(false);
        child<QCheckBox>(form.data(), "ckComment")->setChecked(false);
        child<QPushButton>(form.data(), "btnClose")->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(form.isNull());
        QVERIFY(!QFile::exists(QString::fromStdString(ini)));
        TSearchItemForm again(nullptr, ini);
        QVERIFY(child<QCheckBox>(&again, "ckTitle")->isChecked() && child<QCheckBox>(&again, "ckComment")->isChecked());
    }

    void searchWritesTheBoxesAndSearchesTheKeywordWithItsBlanks()
    {
        addItem(category(0), "x abc y", "/t/1");
        addItem(category(0), "xabcy", "/t/2");
        TSearchItemForm form(nullptr, ini);
        form.setDatabase(db.get());
        child<QCheckBox>(&form, "ckFilename")->setChecked(false);
        child<QCheckBox>(&form, "ckComment")->setChecked(false);
        search(form, QStringLiteral(" abc "));
        QCOMPARE(lines(form), QStringList{QStringLiteral("x abc y")});
        QVERIFY(!readIniFlag(ini, "Search", "filename", true));
        QVERIFY(!readIniFlag(ini, "Search", "comment", true));
        QVERIFY(readIniFlag(ini, "Search", "title", false));
        TSearchItemForm next(nullptr, ini);
        QVERIFY(child<QCheckBox>(&next, "ckTitle")->isChecked());
        QVERIFY(!child<QCheckBox>(&next, "ckFilename")->isChecked());
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
        child<QListWidget>(&form, "lbResult")->setCurrentRow(2);
        pressReturnInResults(form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QRect rect =
            child<QListWidget>(&form, "lbResult")->visualItemRect(child<QListWidget>(&form, "lbResult")->item(0));
        QTest::mouseClick(child<QListWidget>(&form, "lbResult")->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(child<QListWidget>(&form, "lbResult")->viewport(), Qt::LeftButton, {}, rect.center());
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
        // The line is current but not selected.
        auto* results = child<QListWidget>(&form, "lbResult");
        results->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        results->clearSelection();
        pressReturnInResults(form);
        QCOMPARE(calls, 0);
        results->item(0)->setSelected(true);
        pressReturnInResults(form);
        QCOMPARE(calls, 1);
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
        QCOMPARE(child<QListWidget>(&form, "lbResult")->count(), 0);
        QVERIFY(!child<QListWidget>(&form, "lbResult")->isHidden());
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
        child<QCheckBox>(&form, "ckFilename")->setChecked(false);
        child<QCheckBox>(&form, "ckComment")->setChecked(false);
        search(form, QStringLiteral("Bob's"));
        QCOMPARE(lines(form), QStringList{QStringLiteral("Bob's notes.txt")});
        search(form, QStringLiteral("a_c"));
        QCOMPARE(lines(form), QStringList{QStringLiteral("abc")});
        search(form, QStringLiteral("50%"));
        QCOMPARE(lines(form), QStringList{QStringLiteral("Sale 50 off")});
        search(form, QStringLiteral("'; drop table link_table; --"));
        QCOMPARE(child<QListWidget>(&form, "lbResult")->count(), 0);
        search(form, QStringLiteral("abc"));
        QCOMPARE(lines(form), QStringList{QStringLiteral("abc")});
    }

    void withoutADatabaseSearchDoesNothing()
    {
        TSearchItemForm form(nullptr, ini);
        search(form, QStringLiteral("abc"));
        QVERIFY(child<QListWidget>(&form, "lbResult")->isHidden());
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
        child<QLineEdit>(form.data(), "editKeyword")->setText(QStringLiteral("kept"));
        form->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!form.isNull());
        QVERIFY(form->isHidden());
        QCOMPARE(child<QLineEdit>(form.data(), "editKeyword")->text(), QStringLiteral("kept"));
        form->show();
        child<QPushButton>(form.data(), "btnClose")->click();
        QVERIFY(form->isHidden());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(form.isNull());
    }
};

QTEST_MAIN(TestSearchItemForm)
#include "tst_tsearchitemform.moc"
