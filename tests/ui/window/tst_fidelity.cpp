// SPDX-License-Identifier: GPL-3.0-or-later
// The window and dialogs look and behave as the program always has: captions, filters, sizes, fonts, the tree's
// selection, the list's keys and hot tracking, and where the search dialog opens.
#include "testutil.h"

#include "session/iconlist.h"
#include "testseam.h"
#include "ui/common/dialogseam.h"
#include "ui/dialogs/ticondialog.h"
#include "ui/dialogs/titemform.h"
#include "ui/dialogs/tnewcategoryform.h"
#include "ui/dialogs/tsettingsdialog.h"
#include "ui/dialogs/ttmessageprocform.h"
#include "ui/views/categorytreeview.h"
#include "ui/views/itemlistview.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileDialog>
#include <QFontInfo>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

using namespace testutil;

namespace {

const QString mediaName = QStringLiteral("Media files");

bool isCourierNew(const QFont& font)
{
    const QString family = QFontInfo(font).family();
    return family == QStringLiteral("Courier New") || family == QStringLiteral("Liberation Mono");
}

struct SeenDialog {
    bool shown = false;
    bool asksBeforeReplacing = true;
    QFileDialog::FileMode mode = QFileDialog::ExistingFile;
    QStringList filters;
};

// Runs the real file dialog of the seam, reads the dialog it shows, then cancels it.
SeenDialog answeredRealDialog(const std::function<void()>& open)
{
    SeenDialog seen;
    Seam::install(nullptr);
    QTimer::singleShot(0, [&seen] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen = {true, !dialog->testOption(QFileDialog::DontConfirmOverwrite), dialog->fileMode(),
                dialog->nameFilters()};
        dialog->reject();
    });
    open();
    seam::enableTestMode();
    return seen;
}

}  // namespace

class TestFidelity : public WindowTestCase {
    Q_OBJECT

private:
    QAction* action(const char* name) { return window->findChild<QAction*>(QString::fromLatin1(name)); }
    CategoryTreeView* tree() { return window->findChild<CategoryTreeView*>(QStringLiteral("treeCategory")); }
    ItemListView* list() { return window->findChild<ItemListView*>(QStringLiteral("listContent")); }

    QTreeWidgetItem* showMedia(int items)
    {
        for (int i = 0; i < items; ++i) {
            // Files that exist, since Open refuses a missing one.
            const std::string file = sandbox->root().toStdString() + "/f" + std::to_string(i) + ".txt";
            QFile(QString::fromStdString(file)).open(QIODevice::WriteOnly);
            execute(sandbox->databasePath(),
                    "insert into link_table (guid,name,target,category,star,comment,type) values ('m"
                        + std::to_string(i) + "','file " + std::to_string(i) + "','" + file
                        + "','099C65A7-7E41-4d97-8294-6762A3E291F4',0,'',0);");
        }
        QTreeWidgetItem* media = nodeAt(tree(), {mediaName});
        tree()->setCurrentItem(media);
        return media;
    }

private slots:
    void returnThatEndsARenameOpensNothing()
    {
        showMedia(1);
        window->show();
        QTreeWidgetItem* row = list()->topLevelItem(0);
        list()->setCurrentItem(row);
        list()->editItem(row, 0);
        auto* editor = list()->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->setText(QStringLiteral("renamed"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(queryText(sandbox->databasePath(), "select name from link_table where guid='m0'"),
                     std::string("renamed"));
        QVERIFY(sandbox->desktop.calls.isEmpty());
        // Return on a selected row, with no edit running, still opens it.
        QTest::keyClick(list(), Qt::Key_Return);
        QCOMPARE(sandbox->desktop.calls.size(), 1);
    }

    void backupFileDialogsShowTheirFilterAndTakeAnyName()
    {
        seam::pushFileAnswer({});
        action("OnFileBackup")->trigger();
        seam::pushFileAnswer({});
        action("OnFileRestore")->trigger();
        const auto& dialogs = seam::shownFileDialogs();
        QCOMPARE(dialogs.at(0).filter, QStringLiteral("Backup Files(*.mbk);;All Files (*.*)"));
        QCOMPARE(dialogs.at(1).filter, QStringLiteral("Backup Files(*.mbk);;All Files (*.*)"));
        QVERIFY(!dialogs.at(1).mustExist);

        const SeenDialog save = answeredRealDialog([] {
            seam::saveFileName(nullptr, QStringLiteral("Choose a file for backup"),
                               QStringLiteral("Backup Files(*.mbk);;All Files (*.*)"), QStringLiteral("mbk"));
        });
        QVERIFY(save.shown);
        QVERIFY(!save.asksBeforeReplacing);
        QCOMPARE(save.filters, (QStringList{QStringLiteral("Backup Files(*.mbk)"), QStringLiteral("All Files (*.*)")}));
        const SeenDialog open = answeredRealDialog([] {
            seam::openFileName(nullptr, QStringLiteral("Choose backup file for restore"),
                               QStringLiteral("Backup Files(*.mbk);;All Files (*.*)"), {}, false);
        });
        QVERIFY(open.shown);
        QCOMPARE(open.mode, QFileDialog::AnyFile);
    }

    void noNodeLooksSelectedUnlessItIsAndPropertyOfTheTreeIsOff()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        tree()->clearFocus();
        const QImage unfocused = tree()->viewport()->grab().toImage();
        tree()->setFocus();
        QTRY_VERIFY(tree()->hasFocus());
        // The keyboard cursor shows as a frame, never with the selection's colour.
        const QImage focused = tree()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRgb highlight = tree()->palette().color(QPalette::Active, QPalette::Highlight).rgb();
        bool highlighted = false;
        for (int y = 0; y < focused.height(); ++y)
            for (int x = 0; x < focused.width(); ++x)
                highlighted = highlighted || focused.pixel(x, y) == highlight;
        QVERIFY(!highlighted);
        QVERIFY(focused != unfocused.convertToFormat(QImage::Format_RGB32));
        QVERIFY(!action("Property1")->isEnabled());
    }

    void ctrlClickKeepsTheSelectedCategory()
    {
        QTreeWidgetItem* media = showMedia(2);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          tree()->visualItemRect(media).center());
        QVERIFY(media->isSelected());
        QCOMPARE(list()->topLevelItemCount(), 2);
    }

    void theRowUnderTheRestingPointerBecomesSelected()
    {
        showMedia(3);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTreeWidgetItem* row = list()->topLevelItem(1);
        QTest::mouseMove(list()->viewport(), list()->visualItemRect(row).center());
        QTRY_VERIFY(row->isSelected());
        QCOMPARE(list()->selectedRows().size(), 1);
    }

    void toolbarHoldsTheLargeImagesOnButtonsOf55By54()
    {
        auto* bar = window->findChild<QToolBar*>(QStringLiteral("ToolBar1"));
        QCOMPARE(bar->iconSize(), QSize(48, 48));
        QCOMPARE(bar->height(), 60);
        for (const char* name : {"ToolButton1", "ToolButton4", "ToolButton10"})
            QCOMPARE(window->findChild<QToolButton*>(QString::fromLatin1(name))->size(), QSize(55, 54));
    }

    void dialogsHaveTheirFixedFontsAndSizes()
    {
        TitemForm item(window.get());
        QVERIFY(isCourierNew(item.font()));
        QCOMPARE(item.font().pixelSize(), 15);
        IconList icons = IconList::builtIn();
        TNewCategoryForm category(window.get(), 0, icons);
        auto* label = category.findChild<QLabel*>(QStringLiteral("Label1"));
        QVERIFY(isCourierNew(label->font()));
        QCOMPARE(label->font().pixelSize(), 16);
        TSettingsDialog settings(window.get());
        QCOMPARE(settings.size(), QSize(384, 228));
        settings.show();
        for (QCheckBox* box : settings.findChildren<QCheckBox*>()) {
            const QRect whole(box->mapTo(&settings, QPoint(0, 0)), box->sizeHint());
            QVERIFY2(settings.rect().contains(whole), qPrintable(box->text()));
        }
        TTMessageProcForm message(window.get());
        QVERIFY(!(message.windowFlags()
                  & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint)));
        message.setWindowTitle(QStringLiteral("Delete category"));
        message.showPainted();
        QVERIFY(message.windowHandle()->isExposed());
    }

    void anAppendedIconIsScrolledIntoSight()
    {
        IconList icons = IconList::builtIn();
        for (int i = 0; i < 40; ++i)
            icons.append(icons.image(i % IconList::BuiltInCount));
        TIconDialog picker(window.get());
        picker.SetImageList(icons);
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        const QString ico = sandbox->root() + QStringLiteral("/added.ico");
        QImage picture(32, 32, QImage::Format_ARGB32);
        picture.fill(Qt::darkCyan);
        QVERIFY(QImageWriter(ico, "ico").write(picture));
        seam::pushFileAnswer({ico});
        picker.findChild<QPushButton*>(QStringLiteral("btnAddIcon"))->click();
        auto* view = picker.findChild<QListWidget*>(QStringLiteral("ListView1"));
        QCOMPARE(view->count(), 64);
        QTRY_VERIFY(view->viewport()->rect().intersects(view->visualItemRect(view->item(63))));
    }

    void theSearchDialogOpensBesideTheWindowThenWhereItWasPut()
    {
        window->resize(400, 300);
        window->move(0, 0);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        action("OnEditSearch")->trigger();
        auto* search = window->findChild<QDialog*>(QStringLiteral("TSearchItemForm"));
        QVERIFY(search);
        QVERIFY(search->x() >= window->frameGeometry().right());
        search->move(30, 250);
        search->findChild<QPushButton*>(QStringLiteral("btnClose"))->click();
        QTRY_VERIFY(!window->findChild<QDialog*>(QStringLiteral("TSearchItemForm")));
        action("OnEditSearch")->trigger();
        search = window->findChild<QDialog*>(QStringLiteral("TSearchItemForm"));
        QVERIFY(search);
        QCOMPARE(search->pos(), QPoint(30, 250));
    }
};

QTEST_MAIN(TestFidelity)
#include "tst_fidelity.moc"
