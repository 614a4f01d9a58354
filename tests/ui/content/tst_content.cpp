// SPDX-License-Identifier: GPL-3.0-or-later
// The content index from the window: kept up to date after a commit, its switches in Content
// Settings, a kept copy of a page opened from the item's popup, and an unreadable document's reason
// in the item's Property dialog.
#include "pageserver.h"
#include "testseam.h"
#include "testutil.h"

#include "content/contentindex.h"
#include "content/contentsettings.h"
#include "content/keptpages.h"
#include "extract/wire.h"
#include "model/ccategory.h"
#include "shell/paths.h"
#include "ui/dialogs/titemform.h"
#include "ui/views/itemlistview.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

using namespace testutil;

namespace {

const QStringList wordPath{QStringLiteral("Office documents"), QStringLiteral("Word documents")};

std::string contentIndexPath(const Sandbox& sandbox)
{
    return content::ContentIndex::pathFor(sandbox.databasePath().toStdString(), cacheFolderPath());
}

}  // namespace

class TestContent : public WindowTestCase {
    Q_OBJECT

private slots:
    void aCommittedDocumentIsFoundByItsWords()
    {
        QTemporaryDir files;
        const QString notes = files.filePath(QStringLiteral("notes.txt"));
        QFile file(notes);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("The quarterly figures mention a zeppelin.\n");
        file.close();
        CCategory* word = select(wordPath);
        const std::string guid = storeItem(sandbox->databasePath(), *word, "Notes", notes.toStdString());
        std::vector<content::ContentHit> hits;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                try {
                    hits = content::ContentIndex(contentIndexPath(*sandbox)).search("zeppelin", 5);
                } catch (const std::exception&) {
                    return false;
                }
                return !hits.empty();
            }(),
            60000);
        QCOMPARE(hits.front().guid, guid);
    }

    void aWebItemsPageIsKeptAndFoundByItsWordsOnceTheUserAsks()
    {
        QTemporaryDir site;
        QFile page(site.filePath(QStringLiteral("brochure.html")));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<html><body><p>The brochure praises a narwhal.</p></body></html>");
        page.close();
        const PageServer server(site.path().toStdString());
        content::ContentSettings settings = content::loadContentSettings(settingsFilePath());
        settings.keepPages = true;
        content::saveContentSettings(settings, settingsFilePath());
        const std::string address = server.url("/brochure.html");
        const std::string guid = storeItem(sandbox->databasePath(), *select(wordPath), "Brochure", address, 1);
        std::vector<content::ContentHit> hits;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                try {
                    hits = content::ContentIndex(contentIndexPath(*sandbox)).search("narwhal", 5);
                } catch (const std::exception&) {
                    return false;
                }
                return !hits.empty();
            }(),
            60000);
        QCOMPARE(hits.front().guid, guid);
        QVERIFY(QFile::exists(QString::fromStdString(content::keptCopyPath(content::keptPagesFolder(), address))));
    }

    void contentSettingsAreStoredAsChosen()
    {
        QVERIFY(!content::loadContentSettings(settingsFilePath()).keepPages);
        seam::pushDialogHandler([](QDialog* dialog) {
            if (dialog->objectName() != QStringLiteral("ContentSettingsDialog"))
                return int(QDialog::Rejected);
            // Pages are only fetched once the user asks for it.
            if (child<QCheckBox>(dialog, "chkKeepPages")->isChecked())
                return int(QDialog::Rejected);
            child<QCheckBox>(dialog, "chkKeepPages")->setChecked(true);
            child<QCheckBox>(dialog, "chkPdf")->setChecked(false);
            child<QSpinBox>(dialog, "spnSizeCap")->setValue(50);
            child<QPushButton>(dialog, "btnOk")->click();
            return dialog->result();
        });
        action(window.get(), "ContentSettings")->trigger();
        const content::ContentSettings stored = content::loadContentSettings(settingsFilePath());
        QVERIFY(stored.keepPages);
        QVERIFY(stored.indexFiles);
        QCOMPARE(stored.kinds, unsigned(extract::wire::AllKinds & ~extract::wire::Pdf));
        QCOMPARE(stored.sizeCapMb, 50);
    }

    void keptCopyIsOfferedOnlyWhereOneWasKept()
    {
        CCategory* word = select(wordPath);
        storeItem(sandbox->databasePath(), *word, "Kept", "https://example.org/kept", 1);
        storeItem(sandbox->databasePath(), *word, "Not kept", "https://example.org/other", 1);
        QVERIFY(content::writeKeptCopy(content::keptPagesFolder(), "https://example.org/kept", "<p>kept</p>"));
        reselect(wordPath);
        QCOMPARE(rowTexts(list(window.get())), (QStringList{"Kept", "Not kept"}));
        QAction* open = action(window.get(), "OpenKeptCopy");
        for (int row : {1, 0}) {
            selectRows(list(window.get()), {row});
            QMenu* popup = openListPopup(window.get());
            popup->close();
            QCOMPARE(open->isVisible(), row == 0);
        }
        open->trigger();
        QCOMPARE(sandbox->desktop.calls.size(), 1);
        QCOMPARE(sandbox->desktop.calls.first().target,
                 QString::fromStdString(content::keptCopyPath(content::keptPagesFolder(), "https://example.org/kept")));
    }

    void propertySaysWhyADocumentHasNoText()
    {
        CCategory* word = select(wordPath);
        const std::string guid = storeItem(sandbox->databasePath(), *word, "Slow", "/slow.pdf");
        {
            content::ContentIndex index(contentIndexPath(*sandbox));
            index.mapItem(guid, "/slow.pdf", "/slow.pdf", false);
            content::Extraction read;
            read.reason = "took longer than 30 s";
            index.storeExtraction(index.documents().front().id, {1, 1}, read);
        }
        reselect(wordPath);
        selectRows(list(window.get()), {0});
        QString note;
        seam::pushDialogHandler([&](QDialog* dialog) {
            note = child<QLabel>(dialog, "lblChecked")->text();
            return int(QDialog::Rejected);
        });
        action(window.get(), "Property3")->trigger();
        QCOMPARE(note, QStringLiteral("Content: could not be read: took longer than 30 s"));
    }
};

QTEST_MAIN(TestContent)
#include "tst_content.moc"
