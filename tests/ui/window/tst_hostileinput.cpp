// SPDX-License-Identifier: GPL-3.0-or-later
// Catalogues and targets made to break the program: it refuses them clearly and loses nothing.
#include "testseam.h"
#include "testutil.h"

#include "model/ccategory.h"
#include "model/clinkitem.h"
#include "ui/common/dialogseam.h"
#include "ui/common/openwithdialog.h"
#include "ui/dialogs/ttmessageprocform.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using namespace testutil;

namespace {

const QStringList mediaPath{QStringLiteral("Media files")};
const QString readOnlyText = QStringLiteral("SQLITE_READONLY[8]: attempt to write a readonly database.");

QByteArray fileHash(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// A file format write version above 2 makes SQLite treat the file as read-only, whoever runs the
// program (root ignores a file's permission bits).
void makeReadOnly(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    file.seek(18);
    file.write(QByteArray(1, char(3)));
}

void chain(const QString& databasePath, int levels)
{
    execute(databasePath,
            "with recursive n(i) as (select 0 union all select i + 1 from n where i < " + std::to_string(levels - 1)
                + ") insert into category_table (guid,name,level,parent_guid,system,iconIndex) "
                  "select 'deep'||i, 'Level '||i, i, case when i = 0 then '' else 'deep'||(i - 1) end, 0, 0 from n;");
}

}  // namespace

class TestHostileInput : public WindowTestCase {
    Q_OBJECT

private:
    QAction* action(const char* name) { return testutil::action(window.get(), name); }
    CategoryTreeView* tree() { return testutil::tree(window.get()); }
    ItemListView* list() { return testutil::list(window.get()); }
    std::string store(const CCategory& category, const std::string& name, const std::string& target, int type = 0,
                      const std::string& comment = {})
    {
        return storeItem(sandbox->databasePath(), category, name, target, type, comment);
    }
    QString lastMessage() { return seam::shownMessages().isEmpty() ? QString() : seam::shownMessages().last().text; }

private slots:
    // Markup in a file's name would show bold and lose its tags: the box would name a file that is not there.
    void userTextWithMarkupShowsAsTypedInEveryBoxAndLabel()
    {
        const QString name = QStringLiteral("/tmp/Q3 <b>final</b> & <i>old</i>.mbk");
        Qt::TextFormat boxFormat = Qt::RichText;
        QString boxText;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            if (const auto* label = box ? box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")) : nullptr) {
                boxFormat = label->textFormat();
                boxText = label->text();
            }
            if (box)
                box->close();
        });
        Seam real;
        real.message(window.get(), QMessageBox::Critical, QStringLiteral("Varnelo"), name, QMessageBox::Ok,
                     QMessageBox::NoButton);
        QCOMPARE(boxText, name);
        QCOMPARE(boxFormat, Qt::PlainText);

        TTMessageProcForm progress(window.get());
        progress.setMessage(name);
        QCOMPARE(child<QLabel>(&progress, "msgLabel")->textFormat(), Qt::PlainText);
        OpenWithDialog chooser(name.toStdString(), 0, window.get());
        QCOMPARE(child<QLabel>(&chooser, "lblTarget")->textFormat(), Qt::PlainText);
    }

    void aChainTooDeepToShowIsRefusedAndTheFileLeftAlone()
    {
        chain(sandbox->databasePath(), 30000);
        const QByteArray before = fileHash(sandbox->databasePath());
        restart();
        QCOMPARE(lastMessage(), QStringLiteral("The catalogue \"%1\" nests its categories 30000 levels deep; Varnelo "
                                               "opens catalogues of up to 10000 levels. The file was not changed.")
                                    .arg(sandbox->databasePath()));
        QCOMPARE(tree()->topLevelItemCount(), 0);
        QTest::keyClick(tree(), Qt::Key_Asterisk);
        QCOMPARE(fileHash(sandbox->databasePath()), before);
    }

    void tenThousandLevelsStillOpen()
    {
        chain(sandbox->databasePath(), 9996);
        restart();
        QVERIFY(seam::shownMessages().isEmpty());
        QTreeWidgetItem* node = nodeAt(tree(), {QStringLiteral("Level 0")});
        QVERIFY(node);
        int depth = 1;
        for (; node->childCount() > 0; node = node->child(0))
            ++depth;
        QCOMPARE(depth, 9996);
    }

    void onAReadOnlyCatalogueAFailedAddSaysWhyAndLeavesNoPhantom()
    {
        window.reset();
        makeReadOnly(sandbox->databasePath());
        restart();
        select(mediaPath);
        seam::pushDialogHandler([](QDialog* dialog) {
            child<QLineEdit>(dialog, "txtTitle")->setText(QStringLiteral("Example"));
            child<QLineEdit>(dialog, "txtTarget")->setText(QStringLiteral("https://example.org"));
            child<QPushButton>(dialog, "btnOk")->click();
            return dialog->result();
        });
        action("AddWebAddressURL1")->trigger();
        QCOMPARE(lastMessage(), readOnlyText);
        QCOMPARE(list()->topLevelItemCount(), 0);

        seam::pushDialogHandler([](QDialog* dialog) {
            child<QLineEdit>(dialog, "Edit1")->setText(QStringLiteral("Phantom"));
            child<QPushButton>(dialog, "Button1")->click();
            return dialog->result();
        });
        action("AddCategoryItem")->trigger();
        QCOMPARE(lastMessage(), readOnlyText);
        QCOMPARE(topLevelTexts(tree()).size(), 4);
        // The select-category dialog offers what the tree holds in memory.
        QCOMPARE(window->catalogue().GetRootCategory().GetChildCount(), 4);
    }

    void aBackupOfAWriteAheadLogCatalogueHoldsEveryCommittedChange()
    {
        window.reset();
        execute(sandbox->databasePath(), "pragma journal_mode=wal;");
        restart();
        CCategory* media = select(mediaPath);
        store(*media, "kept in the log", "/tmp/log.txt");
        const QString backup = sandbox->root() + QStringLiteral("/wal.mbk");
        seam::pushFileAnswer({backup});
        action("OnFileBackup")->trigger();
        QCOMPARE(lastMessage(), QStringLiteral("Successfully finish backup!"));
        QFile file(backup);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString copy = sandbox->root() + QStringLiteral("/content.db");
        QFile out(copy);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file.readAll().mid(30));
        out.close();
        QCOMPARE(queryText(copy, "select name from link_table"), std::string("kept in the log"));
    }

    void bytesThatAreNotUtf8SurviveAnEditOfAnotherField()
    {
        CCategory* media = select(mediaPath);
        const std::string name = "caf\xE9 notes";
        const std::string target = "/tmp/caf\xE9.txt";
        const std::string guid = store(*media, name, target);
        select({QStringLiteral("General files")});
        select(mediaPath);
        list()->topLevelItem(0)->setSelected(true);
        seam::pushDialogHandler([](QDialog* dialog) {
            child<QPlainTextEdit>(dialog, "memoDescription")->setPlainText(QStringLiteral("edited"));
            child<QPushButton>(dialog, "btnOk")->click();
            return dialog->result();
        });
        action("Property3")->trigger();
        const std::string where = " from link_table where guid='" + guid + "'";
        QCOMPARE(queryText(sandbox->databasePath(), "select hex(name)" + where), std::string("636166E9206E6F746573"));
        QCOMPARE(queryText(sandbox->databasePath(), "select hex(target)" + where),
                 std::string("2F746D702F636166E92E747874"));
        QCOMPARE(queryText(sandbox->databasePath(), "select comment" + where), std::string("edited"));
    }

    void aWebAddressThatFormsNoUrlIsNotHandedToAnyProgram()
    {
        CCategory* media = select(mediaPath);
        store(*media, "odd", "--help", CLinkItem::WebType);
        select({QStringLiteral("General files")});
        select(mediaPath);
        list()->topLevelItem(0)->setSelected(true);
        action("OpenWith1")->trigger();
        QCOMPARE(lastMessage(), QStringLiteral("The address \"--help\" cannot be opened."));
        action("Open1")->trigger();
        QCOMPARE(seam::shownMessages().size(), 2);
        QVERIFY(sandbox->desktop.calls.isEmpty());
    }

    void riskyTargetsAreRefusedOrOpenedOnlyWhenTheUserSaysSo()
    {
        const QString root = sandbox->root();
        const auto make = [&root](const char* name, const QByteArray& bytes, QFile::Permissions extra) {
            QFile file(root + QLatin1Char('/') + QLatin1String(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | extra);
        };
        make("run.sh", "#!/bin/sh\necho hi\n", QFile::ExeOwner);
        make("app.desktop", "[Desktop Entry]\nType=Application\nExec=true\n", {});
        make("doc.pdf", "", QFile::ExeOwner);  // every file is executable on a FAT disk
        const QString programText = QStringLiteral("\"%1\" is a program. Run it?");
        struct Case {
            std::string target;
            int type;
            QMessageBox::StandardButton answer;  // NoButton: no question is expected
            QString message;                     // the last message shown, or empty for none
            int opened;
        };
        const QList<Case> cases{
            {"java\tscript:alert(1)", 1, QMessageBox::NoButton,
             QStringLiteral("The address \"java\tscript:alert(1)\" cannot be opened."), 0},
            {"vbscript:msgbox", 1, QMessageBox::NoButton,
             QStringLiteral("The address \"vbscript:msgbox\" cannot be opened."), 0},
            {"data:text/html,x", 0, QMessageBox::NoButton,
             QStringLiteral("The address \"data:text/html,x\" cannot be opened."), 0},
            {root.toStdString() + "/gone.txt", 0, QMessageBox::NoButton,
             QStringLiteral("The file \"%1/gone.txt\" does not exist.").arg(root), 0},
            {root.toStdString() + "/run.sh", 0, QMessageBox::No, programText.arg(root + QStringLiteral("/run.sh")), 0},
            {root.toStdString() + "/run.sh", 0, QMessageBox::Yes, programText.arg(root + QStringLiteral("/run.sh")), 1},
            {"file://" + root.toStdString() + "/app.desktop", 1, QMessageBox::No,
             programText.arg(root + QStringLiteral("/app.desktop")), 0},
            {root.toStdString() + "/doc.pdf", 0, QMessageBox::NoButton, QString(), 1},
        };
        CCategory* media = select(mediaPath);
        for (const Case& c : cases) {
            const QString name = QString::fromStdString(c.target);
            store(*media, c.target, c.target, c.type);
            reselect(mediaPath);
            for (int row = 0; row < list()->topLevelItemCount(); ++row)
                list()->topLevelItem(row)->setSelected(list()->topLevelItem(row)->text(0) == name);
            if (c.answer != QMessageBox::NoButton)
                seam::pushMessageAnswer(c.answer);
            const qsizetype shownBefore = seam::shownMessages().size();
            const qsizetype openedBefore = sandbox->desktop.calls.size();
            action("Open1")->trigger();
            QCOMPARE(seam::shownMessages().size() - shownBefore, c.message.isEmpty() ? 0 : 1);
            if (!c.message.isEmpty()) {
                QCOMPARE(lastMessage(), c.message);
                if (c.answer != QMessageBox::NoButton)
                    QCOMPARE(seam::shownMessages().last().defaultButton, QMessageBox::No);
            }
            QCOMPARE(sandbox->desktop.calls.size() - openedBefore, c.opened);
            execute(sandbox->databasePath(), "delete from link_table;");
        }
        QCOMPARE(seam::pendingAnswerCount(), 0);
    }

    void aCraftedBrowserProfileIsCountedAsideAndCancelEndsTheCommand()
    {
        const QString firefox = qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/mozilla/firefox");
        QVERIFY(QDir().mkpath(firefox + QStringLiteral("/crafted")));
        QFile ini(firefox + QStringLiteral("/profiles.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Profile0]\nName=Crafted\nPath=crafted\n");
        ini.close();
        execute(firefox + QStringLiteral("/crafted/places.sqlite"),
                "create table moz_places (id integer primary key, url text);"
                "create view moz_bookmarks as with recursive n(i) as (select 1 union all select i + 1 from n) "
                "select i as id, 1 as type, i as fk, 0 as parent, i as position, 'x' as title, 'g' as guid from n;");

        seam::pushProgressHandler([](std::size_t, std::size_t) { return false; });  // Cancel
        const qsizetype dialogsBefore = seam::shownDialogs().size();
        action("ToolsImportBrowser")->trigger();
        QCOMPARE(seam::shownDialogs().size(), dialogsBefore);
        QCOMPARE(seam::shownProgress().last(),
                 QStringLiteral("Counting the bookmarks of the browser profiles... (Cancel)"));

        QString listed;
        seam::pushDialogHandler([&listed](QDialog* dialog) {
            listed = child<QListWidget>(dialog, "listProfiles")->item(0)->text();
            return int(QDialog::Rejected);
        });
        action("ToolsImportBrowser")->trigger();
        QCOMPARE(listed, QStringLiteral("Firefox \u2014 Crafted (bookmarks cannot be read)"));
        QCOMPARE(seam::pendingAnswerCount(), 0);
    }

    void megabyteTextsComeThroughThePropertyDialogWhole()
    {
        CCategory* media = select(mediaPath);
        const std::string big(1000000, 'm');
        const std::string guid = store(*media, big, "/tmp/" + big, 0, big);
        select({QStringLiteral("General files")});
        select(mediaPath);
        list()->topLevelItem(0)->setSelected(true);
        QTextOption::WrapMode wrap = QTextOption::WordWrap;
        seam::pushDialogHandler([&wrap](QDialog* dialog) {
            wrap = child<QPlainTextEdit>(dialog, "memoDescription")->wordWrapMode();
            child<QPushButton>(dialog, "btnOk")->click();
            return dialog->result();
        });
        action("Property3")->trigger();
        QCOMPARE(wrap, QTextOption::WrapAnywhere);
        const std::string where = " from link_table where guid='" + guid + "'";
        QCOMPARE(queryInt(sandbox->databasePath(), "select length(name) + length(target) + length(comment)" + where),
                 3000005);
    }
};

QTEST_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
