// SPDX-License-Identifier: GPL-3.0-or-later
// The live window: what another connection commits shows without losing the user's place, an item
// edited meanwhile is not overwritten unasked, and addresses come in from a browser's request and
// from the clipboard only through the item dialog.
#include "testseam.h"
#include "testutil.h"

#include "model/ccategory.h"
#include "session/cataloguesession.h"
#include "shell/sendrequest.h"
#include "storage/cppsqlite3.h"
#include "ui/commands/sendrequestqueue.h"
#include "ui/dialogs/titemform.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace testutil;

namespace {

const QStringList wordPath{QStringLiteral("Office documents"), QStringLiteral("Word documents")};
constexpr int shownWithinMs = 2000;

// Answers the next item dialog: records what it was filled with, types the title, presses OK.
void answerItemDialog(QStringList* filled, const QString& title, const std::function<void()>& meanwhile = {})
{
    seam::pushDialogHandler([=](QDialog* dialog) {
        auto* form = qobject_cast<TitemForm*>(dialog);
        if (!form)
            return int(QDialog::Rejected);
        if (filled)
            *filled = {form->title(), form->target()};
        if (meanwhile)
            meanwhile();
        child<QLineEdit>(form, "txtTitle")->setText(title);
        child<QPushButton>(form, "btnOk")->click();
        return form->result();
    });
}

}  // namespace

class TestLiveCatalogue : public WindowTestCase {
    Q_OBJECT

private:
    QString db() const { return sandbox->databasePath(); }
    QStringList storedTitles(const CCategory& category) const
    {
        const std::string where = " from link_table where category = '" + category.GetGuid() + "'";
        return QString::fromStdString(queryText(db(), "select coalesce(group_concat(name, '|'), '') from (select name"
                                                          + where + " order by name)"))
            .split(QLatin1Char('|'), Qt::SkipEmptyParts);
    }

private slots:
    void outsideCommitShowsAndKeepsThePlace()
    {
        CCategory* word = select(wordPath);
        const std::string wordGuid = word->GetGuid();
        const std::string kept = storeItem(db(), *word, "kept", "/k");
        reselect(wordPath);
        selectRows(list(window.get()), {0});
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));

        // What the window held before it was shown may have been read afresh since.
        storeItem(db(), *tree(window.get())->selectedCategory(), "added elsewhere", "/a");
        execute(db(), "insert into category_table (guid,name,level,parent_guid,system,iconIndex) "
                      "values ('new-top','News',0,'',0,0)");
        QTRY_COMPARE_WITH_TIMEOUT(list(window.get())->topLevelItemCount(), 2, shownWithinMs);
        QVERIFY(nodeAt(tree(window.get()), {QStringLiteral("News")}));
        QCOMPARE(tree(window.get())->selectedCategory()->GetGuid(), wordGuid);
        QVERIFY(nodeAt(tree(window.get()), {wordPath[0]})->isExpanded());
        const CLinkItems selected = list(window.get())->selectedListItems();
        QCOMPARE(selected.size(), size_t(1));
        QCOMPARE(selected.front()->GetGuid(), kept);

        // The selected category goes: nothing is selected, nothing points at the old objects.
        execute(db(), "delete from category_table where guid = '" + wordGuid + "'");
        QTRY_VERIFY_WITH_TIMEOUT(!nodeAt(tree(window.get()), wordPath), shownWithinMs);
        QCOMPARE(tree(window.get())->selectedCategory(), nullptr);
        QCOMPARE(list(window.get())->topLevelItemCount(), 0);
    }

    // Each commit is told once, by the one watch of the catalogue: the view shows another program's,
    // and the sync's quiet wait and the search index follow it and the window's own, also while the
    // window is hidden in the tray.
    void aCommitIsAnnouncedOnceToTheViewTheSyncAndTheIndex()
    {
        auto* session = window->findChild<CatalogueSession*>();
        QVERIFY(session);
        QTRY_VERIFY_WITH_TIMEOUT(session->indexSettled(), 30000);
        QTimer* syncWait = child<QTimer>(window.get(), "syncQuietTimer");
        QSignalSpy elsewhere(session, &CatalogueSession::changedElsewhere);
        QSignalSpy indexed(session, &CatalogueSession::indexUpdated);
        select(wordPath);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));

        storeItem(db(), *tree(window.get())->selectedCategory(), "from elsewhere", "/e");
        QTRY_COMPARE_WITH_TIMEOUT(rowTexts(list(window.get())), QStringList{"from elsewhere"}, shownWithinMs);
        session->lookNow();
        session->lookNow();
        QCOMPARE(elsewhere.count(), 1);
        QVERIFY(syncWait->isActive());
        QTRY_COMPARE_WITH_TIMEOUT(indexed.count(), 1, 30000);

        syncWait->stop();
        renameInPlace(list(window.get()), 0, QStringLiteral("renamed here"));
        QVERIFY(syncWait->isActive());
        QTRY_COMPARE_WITH_TIMEOUT(indexed.count(), 2, 30000);
        QCOMPARE(elsewhere.count(), 1);

        window->hide();
        syncWait->stop();
        storeItem(db(), *tree(window.get())->selectedCategory(), "while hidden", "/h");
        QTRY_VERIFY_WITH_TIMEOUT(syncWait->isActive(), 30000);
        QCOMPARE(elsewhere.count(), 2);
    }

    // While another program holds the catalogue, the window's wait runs no queued slot or timer: one
    // would use the connection from inside its own busy handler, and a lock taken there stalled every
    // writer until the wait gave up.
    void aWaitForAnotherProgramsLockRunsNoQueuedWork()
    {
        auto* session = window->findChild<CatalogueSession*>();
        std::atomic<bool> holding{false};
        std::thread holder([&] {
            CppSQLite3DB other;
            other.Open(db().toUtf8().constData());
            other.ExecuteStatement("begin exclusive;");
            holding = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            holding = false;
            other.ExecuteStatement("commit;");
        });
        QDeadlineTimer deadline(30000);
        while (!holding && !deadline.hasExpired())
            std::this_thread::yield();
        bool ran = false;
        bool ranWhileHeld = false;
        QTimer::singleShot(0, this, [&] {
            ran = true;
            ranWhileHeld = holding;
        });
        const int items = session->database().ExecuteScalar("select count(*) from link_table;");
        holder.join();
        QVERIFY(items >= 0);
        QTRY_VERIFY(ran);
        QVERIFY(!ranWhileHeld);
    }

    // Another catalogue moved over the open one: the window shows that file and what is committed to
    // it later, says so, and offers nothing to take back or make again in the file that was replaced.
    void aCatalogueMovedOverTheOpenOneIsFollowed()
    {
        select(wordPath);
        storeItem(db(), *tree(window.get())->selectedCategory(), "mine", "/m");
        reselect(wordPath);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        renameInPlace(list(window.get()), 0, QStringLiteral("renamed here"));
        action(window.get(), "EditUndo")->trigger();
        QVERIFY(action(window.get(), "EditRedo")->isEnabled());

        const QString other = sandbox->root() + QStringLiteral("/other.db");
        QVERIFY(QFile::copy(db(), other));
        execute(other, "insert into category_table (guid,name,level,parent_guid,system,iconIndex) "
                       "values ('other-top','From the other file',0,'',0,0)");
        QVERIFY(::rename(QFile::encodeName(other).constData(), QFile::encodeName(db()).constData()) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(nodeAt(tree(window.get()), {QStringLiteral("From the other file")}), shownWithinMs);
        QTRY_COMPARE_WITH_TIMEOUT(seam::shownMessages().size(), qsizetype(1), shownWithinMs);
        QVERIFY(seam::shownMessages().front().text.contains(db()));
        QVERIFY(!action(window.get(), "EditRedo")->isEnabled());

        execute(db(), "insert into category_table (guid,name,level,parent_guid,system,iconIndex) "
                      "values ('later-top','Made later',0,'',0,0)");
        QTRY_VERIFY_WITH_TIMEOUT(nodeAt(tree(window.get()), {QStringLiteral("Made later")}), shownWithinMs);
    }

    // The open catalogue deleted by another program: the user is asked to have it written back; a
    // refusal keeps it on screen, unchangeable, and an empty file put in its place is not made a
    // catalogue.
    void aDeletedCatalogueIsNeverReplacedByAnEmptyOne_data()
    {
        QTest::addColumn<bool>("writeBack");
        QTest::newRow("written back") << true;
        QTest::newRow("left gone") << false;
    }
    void aDeletedCatalogueIsNeverReplacedByAnEmptyOne()
    {
        QFETCH(bool, writeBack);
        select(wordPath);
        storeItem(db(), *tree(window.get())->selectedCategory(), "kept", "/k");
        reselect(wordPath);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));

        seam::pushMessageAnswer(writeBack ? QMessageBox::Yes : QMessageBox::No);
        QVERIFY(QFile::remove(db()));
        QTRY_COMPARE_WITH_TIMEOUT(seam::shownMessages().size(), qsizetype(1), shownWithinMs);
        QVERIFY(seam::shownMessages().front().text.contains(db()));
        if (writeBack) {
            QCOMPARE(queryText(db(), "select name from link_table"), std::string("kept"));
            storeItem(db(), *tree(window.get())->selectedCategory(), "stored after", "/s");
            QTRY_COMPARE_WITH_TIMEOUT(rowTexts(list(window.get())), (QStringList{"kept", "stored after"}),
                                      shownWithinMs);
            return;
        }
        QFile empty(db());
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        window->findChild<CatalogueSession*>()->lookNow();
        QCOMPARE(QFileInfo(db()).size(), qint64(0));
        QCOMPARE(rowTexts(list(window.get())), QStringList{"kept"});
        renameInPlace(list(window.get()), 0, QStringLiteral("renamed"));
        QCOMPARE(seam::shownMessages().size(), qsizetype(2));
        QVERIFY(seam::shownMessages().back().text.contains(QStringLiteral("no longer in its place")));
        QCOMPARE(QFileInfo(db()).size(), qint64(0));
    }

    // What the other program did while the dialog was open, the answer to the question, and the
    // titles stored afterwards.
    void editOfAnItemChangedMeanwhile_data()
    {
        QTest::addColumn<QString>("outside");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("changed, keep both")
            << "update link_table set name = 'theirs'" << int(QMessageBox::Yes) << QStringList{"mine", "theirs"};
        QTest::newRow("changed, replace")
            << "update link_table set name = 'theirs'" << int(QMessageBox::No) << QStringList{"mine"};
        QTest::newRow("deleted, save as new")
            << "delete from link_table" << int(QMessageBox::Yes) << QStringList{"mine"};
        QTest::newRow("unchanged, no question") << "" << -1 << QStringList{"mine"};
    }
    void editOfAnItemChangedMeanwhile()
    {
        QFETCH(QString, outside);
        QFETCH(int, answer);
        QFETCH(QStringList, titles);
        CCategory* word = select(wordPath);
        storeItem(db(), *word, "original", "/o");
        reselect(wordPath);
        selectRows(list(window.get()), {0});
        answerItemDialog(nullptr, QStringLiteral("mine"), [&] {
            if (!outside.isEmpty())
                execute(db(), outside.toStdString());
        });
        if (answer >= 0)
            seam::pushMessageAnswer(QMessageBox::StandardButton(answer));
        action(window.get(), "Property3")->trigger();
        QCOMPARE(storedTitles(*word), titles);
        QCOMPARE(seam::shownMessages().size(), answer >= 0 ? 1 : 0);
    }

    void sendRequestOpensThePrefilledDialog_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QStringList>("filled");  // empty: refused with a message
        QTest::newRow("address and title")
            << QByteArray("varnelo:add?url=https%3A%2F%2Fexample.org%2Fa%3Fb%3D1%26c&title=Caf%C3%A9%20%2F%20news")
            << QStringList{QString::fromUtf8("Café / news"), "https://example.org/a?b=1&c"};
        QTest::newRow("scheme in capitals, no title")
            << QByteArray("VARNELO:add?url=ftp://files.example.org/x") << QStringList{"", "ftp://files.example.org/x"};
        QTest::newRow("another request") << QByteArray("varnelo:delete?url=https://example.org/") << QStringList();
        QTest::newRow("no address") << QByteArray("varnelo:add?title=x") << QStringList();
        QTest::newRow("two addresses") << QByteArray("varnelo:add?url=http://a.org/&url=http://b.org/")
                                       << QStringList();
        QTest::newRow("a file") << QByteArray("varnelo:add?url=%2Fetc%2Fpasswd") << QStringList();
        QTest::newRow("a script") << QByteArray("varnelo:add?url=javascript:alert(1)") << QStringList();
        QTest::newRow("over 64 KB") << "varnelo:add?url=https://example.org/" + QByteArray(64 * 1024, 'a')
                                    << QStringList();
    }
    void sendRequestOpensThePrefilledDialog()
    {
        QFETCH(QByteArray, request);
        QFETCH(QStringList, filled);
        CCategory* word = select(wordPath);
        QStringList seen;
        if (!filled.isEmpty())
            answerItemDialog(&seen, QStringLiteral("sent"));
        window->handleSendRequest(request);
        QTRY_COMPARE_WITH_TIMEOUT(seam::shownDialogs().size() + seam::shownMessages().size(), qsizetype(1),
                                  shownWithinMs);
        QCOMPARE(seen, filled);
        QCOMPARE(storedTitles(*word), filled.isEmpty() ? QStringList() : QStringList{"sent"});
    }

    // A sent address goes where the user sees it going: the dialog names the category and takes another.
    void sendRequestNamesItsCategoryAndTakesAnotherOne()
    {
        CCategory* word = select(wordPath);
        const QStringList mediaPath{QStringLiteral("Media files")};
        const CCategory* media = tree(window.get())->categoryOf(nodeAt(tree(window.get()), mediaPath));
        QStringList named;
        seam::pushDialogHandler([&named, mediaPath](QDialog* form) {
            auto* category = child<QLabel>(form, "lblCategory");
            named << category->text();
            answerSelectCategory(mediaPath);
            child<QPushButton>(form, "btnCategory")->click();
            named << category->text();
            child<QPushButton>(form, "btnOk")->click();
            return form->result();
        });
        window->handleSendRequest("varnelo:add?url=https%3A%2F%2Fexample.org%2F&title=Sent");
        QTRY_COMPARE_WITH_TIMEOUT(seam::shownDialogs().size(), qsizetype(2), shownWithinMs);
        QCOMPARE(named, (QStringList{"Word documents", "Media files"}));
        QCOMPARE(storedTitles(*media), QStringList{"Sent"});
        QCOMPARE(storedTitles(*word), QStringList());
    }

    // The connector's "Open in Varnelo" names an item by GUID, whatever the window shows meanwhile.
    void locateRequestSelectsTheItemInItsCategory()
    {
        CCategory* word = select(wordPath);
        const std::string guid = storeItem(db(), *word, "filed from a browser", "https://example.org/");
        select({QStringLiteral("Media files")});
        auto* field = child<QLineEdit>(window.get(), "QuickFind");
        field->setText(QStringLiteral("browser"));
        window->handleSendRequest(locateRequest(guid));
        QTRY_VERIFY_WITH_TIMEOUT(!list(window.get())->selectedRows().isEmpty(), shownWithinMs);
        QCOMPARE(tree(window.get())->selectedCategory()->GetGuid(), word->GetGuid());
        QCOMPARE(list(window.get())->itemOf(list(window.get())->selectedRows().first())->GetGuid(), guid);
        QVERIFY(field->text().isEmpty());

        window->handleSendRequest(locateRequest("no-such-item"));
        QTRY_COMPARE_WITH_TIMEOUT(seam::shownMessages().size(), qsizetype(1), shownWithinMs);
        QCOMPARE(seam::shownMessages().first().text, QStringLiteral("The selected item does not exist"));
    }

    // A page that fires the scheme while its first request is shown stacks no dialogs: the user is
    // asked once about those gathered, and a burst past the limit is refused in one message.
    void requestsSentMeanwhileAreGathered_data()
    {
        QTest::addColumn<int>("sentMeanwhile");
        QTest::addColumn<bool>("showThem");
        QTest::addColumn<QStringList>("told");
        const int burst = 1000;
        const int kept = int(SendRequestQueue::maxGathered);
        QTest::newRow("three, shown") << 3 << true << QStringList{"3 more pages were sent to Varnelo."};
        QTest::newRow("one, discarded") << 1 << false << QStringList{"1 more page was sent to Varnelo."};
        QTest::newRow("a burst")
            << burst << false
            << QStringList{QStringLiteral("Too many pages were sent to Varnelo at once: %1 of them").arg(burst - kept),
                           QStringLiteral("%1 more pages were sent to Varnelo.").arg(kept)};
    }
    void requestsSentMeanwhileAreGathered()
    {
        QFETCH(int, sentMeanwhile);
        QFETCH(bool, showThem);
        QFETCH(QStringList, told);
        select(wordPath);
        const QByteArray request("varnelo:add?url=https://example.org/");
        seam::pushDialogHandler([&](QDialog*) {
            for (int i = 0; i < sentMeanwhile; ++i)
                window->handleSendRequest(request);
            return int(QDialog::Rejected);
        });
        const int shown = showThem ? 1 + sentMeanwhile : 1;
        for (int i = 1; i < shown; ++i)
            seam::pushDialogHandler([](QDialog*) { return int(QDialog::Rejected); });
        seam::pushMessageAnswer(showThem ? QMessageBox::Yes : QMessageBox::No);
        window->handleSendRequest(request);
        QTRY_COMPARE_WITH_TIMEOUT(seam::shownMessages().size(), qsizetype(told.size()), shownWithinMs);
        QTRY_COMPARE_WITH_TIMEOUT(seam::shownDialogs().size(), qsizetype(shown), shownWithinMs);
        for (int i = 0; i < told.size(); ++i)
            QVERIFY2(seam::shownMessages()[i].text.startsWith(told[i]), qPrintable(seam::shownMessages()[i].text));
    }

    void clipboardAddressIsOffered()
    {
        select(wordPath);
        auto* data = new QMimeData;
        const QString moz = QStringLiteral("https://example.org/page\nThe page");
        data->setData(QStringLiteral("text/x-moz-url"),
                      QByteArray(reinterpret_cast<const char*>(moz.utf16()), moz.size() * 2));
        QApplication::clipboard()->setMimeData(data);
        QStringList seen;
        answerItemDialog(&seen, QStringLiteral("kept"));
        action(window.get(), "AddWebAddressURL1")->trigger();
        QCOMPARE(seen, (QStringList{"The page", "https://example.org/page"}));

        QApplication::clipboard()->setText(QStringLiteral("just some words"));
        answerItemDialog(&seen, QStringLiteral("typed"));
        action(window.get(), "AddWebAddressURL1")->trigger();
        QCOMPARE(seen, (QStringList{"", ""}));
    }
};

QTEST_MAIN(TestLiveCatalogue)
#include "tst_livecatalogue.moc"
