// SPDX-License-Identifier: GPL-3.0-or-later
// Backup, restore and the Favorites import as the main window runs them: the dialogs, the messages,
// and the catalogue and tree afterwards.
#include "testseam.h"
#include "testutil.h"

#include "model/ccategory.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"
#include "ui/window/tsdiappform.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

using namespace testutil;

namespace {

const QStringList officePath{QStringLiteral("Office documents")};
const QStringList mediaPath{QStringLiteral("Media files")};
const QString backupFilter = QStringLiteral("Backup Files(*.mbk);;All Files (*.*)");
const QString invalidBackup = QStringLiteral("This is not a valid backup file. \nCan't finish resotre process");

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray le32(quint32 value)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((value >> (8 * i)) & 0xff);
    return bytes;
}

// A backup file around any content: magic, version 1, sizes and the CRC-32 of zlib.
QByteArray backupOf(const QByteArray& content)
{
    quint32 crc = 0xFFFFFFFFu;
    for (char c : content) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    const quint32 size = quint32(content.size());
    return QByteArray("VaRnElOcAtAlOgUe") + QByteArray::fromHex("0100") + le32(size) + le32(size)
           + le32(crc ^ 0xFFFFFFFFu) + content;
}

QByteArray shortcut(const QByteArray& url)
{
    return "[InternetShortcut]\r\nURL=" + url + "\r\n";
}

}  // namespace

class TestBackupImportCommands : public WindowTestCase {
    Q_OBJECT

private:
    QString backupPath() const { return sandbox->root() + QStringLiteral("/saved.mbk"); }
    QString favorites() const { return QFile::decodeName(qgetenv("HOME")) + QStringLiteral("/Favorites"); }

    CategoryTreeView* categories() { return tree(window.get()); }
    QAction* command(const char* name) { return action(window.get(), name); }

    // "Add Category" with the name typed and OK.
    void addTopCategory(const QString& name)
    {
        seam::pushDialogHandler([name](QDialog* dialog) {
            child<QLineEdit>(dialog, "Edit1")->setText(name);
            child<QPushButton>(dialog, "Button1")->click();
            return dialog->result();
        });
        command("AddCategoryItem")->trigger();
        QCOMPARE(topLevelTexts(categories()).last(), name);
        QCOMPARE(queryInt(sandbox->databasePath(),
                          "select count(*) from category_table where name = '" + name.toStdString() + "'"),
                 1);
    }

    void backUp()
    {
        seam::pushFileAnswer({backupPath()});
        command("OnFileBackup")->trigger();
    }

    void restoreFrom(const QString& path)
    {
        seam::pushFileAnswer({path});
        command("OnFileRestore")->trigger();
    }

    QString lastMessage() const
    {
        return seam::shownMessages().isEmpty() ? QString() : seam::shownMessages().last().text;
    }

private slots:
    void backup_AsksForAnMbkNameAndSaysItFinishedInAPlainBox()
    {
        backUp();
        QCOMPARE(seam::shownFileDialogs().size(), 1);
        const seam::ShownFileDialog shown = seam::shownFileDialogs().first();
        QCOMPARE(shown.caption, QStringLiteral("Choose a file for backup"));
        QCOMPARE(shown.filter, backupFilter);
        QCOMPARE(shown.defaultSuffix, QStringLiteral("mbk"));
        QVERIFY(shown.save);
        QVERIFY(shown.selectedFile.isEmpty());
        QCOMPARE(seam::shownMessages().size(), 1);
        const seam::ShownMessage box = seam::shownMessages().first();
        QCOMPARE(box.text, QStringLiteral("Successfully finish backup!"));
        QCOMPARE(box.caption, QStringLiteral("Varnelo"));
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QFile saved(backupPath());
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.read(16), QByteArray("VaRnElOcAtAlOgUe"));
        QCOMPARE(saved.size(), 30 + QFileInfo(sandbox->databasePath()).size());
    }

    void backup_OffersTheLastChosenNameNextTime()
    {
        backUp();
        seam::pushFileAnswer({});
        command("OnFileBackup")->trigger();
        QCOMPARE(seam::shownFileDialogs().last().selectedFile, backupPath());
        QCOMPARE(seam::shownMessages().size(), 1);
    }

    void backup_Cancelled_WritesNothing()
    {
        seam::pushFileAnswer({});
        command("OnFileBackup")->trigger();
        QVERIFY(seam::shownMessages().isEmpty());
        QVERIFY(!QFile::exists(backupPath()));
    }

    void backup_ThenRestore_BringsTheCatalogueBack()
    {
        backUp();
        addTopCategory(QStringLiteral("Added later"));
        QCOMPARE(categories()->topLevelItemCount(), 5);
        select(mediaPath);
        restoreFrom(backupPath());
        const seam::ShownFileDialog shown = seam::shownFileDialogs().last();
        QCOMPARE(shown.caption, QStringLiteral("Choose backup file for restore"));
        QCOMPARE(shown.filter, backupFilter);
        QVERIFY(shown.defaultSuffix.isEmpty());
        QVERIFY(!shown.save);
        // The category added since the backup was in the history, which the restore ends.
        QCOMPARE(lastMessage(), QStringLiteral("Successfully finish restoring! Undo and Redo start afresh from the "
                                               "restored catalogue."));
        QVERIFY(!command("EditUndo")->isEnabled());
        QCOMPARE(seam::shownMessages().last().caption, QStringLiteral("Varnelo"));
        QCOMPARE(seam::shownMessages().last().icon, QMessageBox::NoIcon);
        QCOMPARE(topLevelTexts(categories()),
                 QStringList({"General files", "Office documents", "Media files", "Favorite websites"}));
        QCOMPARE(categories()->selectedNode(), nullptr);
        QCOMPARE(list(window.get())->topLevelItemCount(), 0);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from category_table"), 6);
        seam::pushFileAnswer({});
        command("OnFileRestore")->trigger();
        QCOMPARE(seam::shownFileDialogs().last().selectedFile, backupPath());
    }

    void restore_RefusesFilesThatAreNotSoundBackups_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("not a backup") << "text";
        QTest::newRow("truncated backup") << "truncated";
        QTest::newRow("payload not a database") << "payload";
        QTest::newRow("only the magic") << "magic";
    }
    void restore_RefusesFilesThatAreNotSoundBackups()
    {
        QFETCH(QString, kind);
        backUp();
        QFile saved(backupPath());
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray whole = saved.readAll();
        saved.close();
        const QString path = sandbox->root() + QStringLiteral("/bad.mbk");
        if (kind == QLatin1String("text")) {
            writeFile(path, "just some text, not a backup at all");
        } else if (kind == QLatin1String("truncated")) {
            writeFile(path, whole.left(whole.size() / 2));
        } else if (kind == QLatin1String("magic")) {
            writeFile(path, whole.left(16));
        } else {
            // A correct header and checksum over bytes that are no SQLite database.
            writeFile(path, backupOf(QByteArray(4096, 'x')));
        }
        addTopCategory(QStringLiteral("Kept"));
        const QByteArray before = [this] {
            QFile db(sandbox->databasePath());
            db.open(QIODevice::ReadOnly);
            return db.readAll();
        }();
        restoreFrom(path);
        QCOMPARE(lastMessage(), invalidBackup);
        QCOMPARE(topLevelTexts(categories()).last(), QStringLiteral("Kept"));
        QFile db(sandbox->databasePath());
        QVERIFY(db.open(QIODevice::ReadOnly));
        QCOMPARE(db.readAll(), before);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from category_table"), 7);
    }

    void restore_Cancelled_ChangesNothing()
    {
        addTopCategory(QStringLiteral("Kept"));
        seam::pushFileAnswer({});
        command("OnFileRestore")->trigger();
        QVERIFY(seam::shownMessages().isEmpty());
        QCOMPARE(categories()->topLevelItemCount(), 5);
    }

    void import_NewsAndLocal_ShowsTheWholeImportedBranchAtOnce()
    {
        writeFile(favorites() + QStringLiteral("/News/Daily.url"), shortcut("https://daily.example/"));
        writeFile(favorites() + QStringLiteral("/News/Weekly.url"), shortcut("https://weekly.example/"));
        writeFile(favorites() + QStringLiteral("/News/Local/Town.url"), shortcut("https://town.example/"));
        writeFile(favorites() + QStringLiteral("/Top.url"), shortcut("https://top.example/"));
        QTreeWidgetItem* mediaNode = nodeAt(categories(), mediaPath);
        CCategory* media = categories()->categoryOf(mediaNode);
        answerSelectCategory(mediaPath);
        command("ToolsImportIEFavorites")->trigger();
        QCOMPARE(seam::shownDialogs(), QStringList{QStringLiteral("TSelectCategoryDialogForm")});
        QVERIFY(seam::shownMessages().isEmpty());

        QCOMPARE(childTexts(mediaNode), QStringList{QStringLiteral("News")});
        QTreeWidgetItem* newsNode = mediaNode->child(0);
        QCOMPARE(childTexts(newsNode), QStringList{QStringLiteral("Local")});
        CCategory* news = categories()->categoryOf(newsNode);
        CCategory* local = categories()->categoryOf(newsNode->child(0));
        QCOMPARE(media->GetChildCount(), 1);
        QCOMPARE(media->GetChild(0), news);
        QCOMPARE(news->GetChild(0), local);
        QCOMPARE(news->GetLevel(), media->GetLevel() + 1);
        QCOMPARE(local->GetLevel(), media->GetLevel() + 2);
        QCOMPARE(news->GetParentGuid(), media->GetGuid());

        const QString db = sandbox->databasePath();
        const auto itemsOf = [&](const CCategory* category) {
            return queryInt(db, "select count(*) from link_table where type = 1 and comment = 'Export from IE Favorite'"
                                " and category = '"
                                    + category->GetGuid() + "'");
        };
        QCOMPARE(itemsOf(news), 2);
        QCOMPARE(itemsOf(local), 1);
        QCOMPARE(itemsOf(media), 1);
        QCOMPARE(queryText(db, "select target from link_table where category = '" + media->GetGuid() + "'"),
                 std::string("https://top.example/"));
        categories()->setCurrentItem(newsNode);
        QCOMPARE(rowTexts(list(window.get())), (QStringList{"Daily", "Weekly"}));
    }

    void import_BelowACategoryWithChildrenKeepsTheOldNodesOnce()
    {
        writeFile(favorites() + QStringLiteral("/Tools/Site.url"), shortcut("https://site.example/"));
        answerSelectCategory(officePath);
        command("ToolsImportIEFavorites")->trigger();
        QTreeWidgetItem* office = nodeAt(categories(), officePath);
        QCOMPARE(childTexts(office), QStringList({"Word documents", "Excel documents", "Tools"}));
        QCOMPARE(categories()->categoryOf(office)->GetChildCount(), 3);
    }

    void import_MissingEmptyOrBrokenFavoritesImportNothing_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing folder") << "missing";
        QTest::newRow("empty folder") << "empty";
        QTest::newRow("broken shortcuts") << "broken";
    }
    void import_MissingEmptyOrBrokenFavoritesImportNothing()
    {
        QFETCH(QString, kind);
        if (kind == QLatin1String("empty"))
            QVERIFY(QDir().mkpath(favorites()));
        if (kind == QLatin1String("broken")) {
            writeFile(favorites() + QStringLiteral("/NoUrl.url"), "[InternetShortcut]\r\nIconIndex=0\r\n");
            writeFile(favorites() + QStringLiteral("/Empty.url"), "[InternetShortcut]\r\nURL=\r\n");
            writeFile(favorites() + QStringLiteral("/Garbage.url"), QByteArray("\x00\xff\x01garbage", 10));
            writeFile(favorites() + QStringLiteral("/notes.txt"), "plain file");
        }
        answerSelectCategory(mediaPath);
        command("ToolsImportIEFavorites")->trigger();
        QVERIFY(seam::shownMessages().isEmpty());
        QCOMPARE(childTexts(nodeAt(categories(), mediaPath)), QStringList());
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 0);
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from category_table"), 6);
    }

    void import_CancelledChoiceReadsNothing()
    {
        writeFile(favorites() + QStringLiteral("/Top.url"), shortcut("https://top.example/"));
        seam::pushDialogHandler([](QDialog*) { return int(QDialog::Rejected); });
        command("ToolsImportIEFavorites")->trigger();
        QCOMPARE(queryInt(sandbox->databasePath(), "select count(*) from link_table"), 0);
    }
};

QTEST_MAIN(TestBackupImportCommands)
#include "tst_backupimportcommands.moc"
