// SPDX-License-Identifier: GPL-3.0-or-later
// The item dialog on its own: the OK rule, browsing, web mode and the split of several targets.
#include "testseam.h"
#include "testutil.h"

#include "ui/dialogs/titemform.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using testutil::child;

namespace {

// The controls of one item dialog, found by their names.
struct ItemDialog {
    explicit ItemDialog(TitemForm& form)
        : Label1(child<QLabel>(&form, "Label1")), Label2(child<QLabel>(&form, "Label2")),
          Label3(child<QLabel>(&form, "Label3")), txtTitle(child<QLineEdit>(&form, "txtTitle")),
          txtTarget(child<QLineEdit>(&form, "txtTarget")), ckTitle(child<QCheckBox>(&form, "ckTitle")),
          BitBtn1(child<QPushButton>(&form, "BitBtn1")), btnOk(child<QPushButton>(&form, "btnOk")),
          btnCancel(child<QPushButton>(&form, "btnCancel"))
    {
    }
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLineEdit* txtTitle;
    QLineEdit* txtTarget;
    QCheckBox* ckTitle;
    QPushButton* BitBtn1;
    QPushButton* btnOk;
    QPushButton* btnCancel;
};

}  // namespace

class TestTitemForm : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { seam::enableTestMode(); }
    void init() { seam::clearTestState(); }
    void cleanup() { QCOMPARE(seam::unexpectedPromptCount(), 0); }

    void captionsAndLabelsAreTheDialogsOwn()
    {
        TitemForm form(nullptr);
        ItemDialog ui(form);
        QCOMPARE(form.windowTitle(), QStringLiteral("New Item"));
        QCOMPARE(ui.Label1->text(), QStringLiteral("Tiltle:"));
        QCOMPARE(ui.Label2->text(), QStringLiteral("Source:"));
        QCOMPARE(ui.Label3->text(), QStringLiteral("Description:"));
        QCOMPARE(ui.ckTitle->text(), QStringLiteral("Using filename as title"));
        QCOMPARE(ui.BitBtn1->text(), QStringLiteral("..."));
        QCOMPARE(ui.btnOk->text(), QStringLiteral("OK"));
        QCOMPARE(ui.btnCancel->text(), QStringLiteral("Cancel"));
        QVERIFY(ui.btnOk->isDefault());
        QVERIFY(!ui.ckTitle->isChecked());
        QVERIFY(!ui.btnOk->isEnabled());
        QCOMPARE(ui.txtTitle->accessibleName(), QStringLiteral("Tiltle:"));
        QCOMPARE(ui.btnOk->accessibleName(), QStringLiteral("OK"));
    }

    void okNeedsTargetAndEitherTitleOrFileNameTitle()
    {
        TitemForm form(nullptr);
        ItemDialog ui(form);
        ui.txtTitle->setText(QStringLiteral("Report"));
        QVERIFY(!ui.btnOk->isEnabled());
        ui.txtTarget->setText(QStringLiteral("/tmp/report.txt"));
        QVERIFY(ui.btnOk->isEnabled());
        ui.txtTitle->setText(QString());
        QVERIFY(!ui.btnOk->isEnabled());
        ui.ckTitle->setChecked(true);
        QVERIFY(ui.btnOk->isEnabled());
        ui.ckTitle->setChecked(false);
        QVERIFY(!ui.btnOk->isEnabled());
    }

    void blanksAndControlCharactersDoNotCountAsText()
    {
        TitemForm form(nullptr);
        ItemDialog ui(form);
        ui.txtTitle->setText(QStringLiteral("  \t "));
        ui.txtTarget->setText(QStringLiteral("/tmp/a"));
        QVERIFY(!ui.btnOk->isEnabled());
        ui.txtTitle->setText(QStringLiteral(" x "));
        ui.txtTarget->setText(QStringLiteral("   "));
        QVERIFY(!ui.btnOk->isEnabled());
        ui.txtTarget->setText(QStringLiteral(";;"));
        QVERIFY(ui.btnOk->isEnabled());
        QVERIFY(isBlankText(QString()));
        QVERIFY(isBlankText(QString::fromUtf8("\x01\x1f \x7f")));
        QVERIFY(!isBlankText(QString::fromUtf8(" \xc3\xa9 ")));
    }

    void okButtonAcceptsOnlyWhenEnabled()
    {
        TitemForm form(nullptr);
        ItemDialog ui(form);
        // Neither a click nor Return gets past the disabled button.
        ui.btnOk->click();
        QTest::keyClick(&form, Qt::Key_Return);
        QCOMPARE(form.result(), int(QDialog::Rejected));
        ui.txtTitle->setText(QStringLiteral("t"));
        ui.txtTarget->setText(QStringLiteral("u"));
        ui.btnOk->click();
        QCOMPARE(form.result(), int(QDialog::Accepted));
    }

    void browsingOneFileFillsAnEmptyTitleWithItsName()
    {
        TitemForm form(nullptr);
        ItemDialog ui(form);
        seam::pushFileAnswer({QStringLiteral("/home/u/docs/plan 2024.odt")});
        ui.BitBtn1->click();
        QCOMPARE(ui.txtTarget->text(), QStringLiteral("/home/u/docs/plan 2024.odt"));
        QCOMPARE(ui.txtTitle->text(), QStringLiteral("plan 2024.odt"));
        QVERIFY(!form.IsMultiple());
        QVERIFY(ui.btnOk->isEnabled());
        QCOMPARE(seam::shownFileDialogs().size(), 1);
        QVERIFY(!seam::shownFileDialogs().first().save);
    }

    void browsingOneFileKeepsATypedTitle()
    {
        TitemForm form(nullptr);
        ItemDialog ui(form);
        ui.txtTitle->setText(QStringLiteral("My plan"));
        seam::pushFileAnswer({QStringLiteral("/home/u/plan.odt")});
        ui.BitBtn1->click();
        QCOMPARE(ui.txtTitle->text(), QStringLiteral("My plan"));
        QCOMPARE(ui.txtTarget->text(), QStringLiteral("/home/u/plan.odt"));
    }

    void browsingSeveralFilesJoinsThemAndSetsMultiple()
    {
        TitemForm form(nullptr);
        ItemDialog ui(form);
        seam::pushFileAnswer(
            {QStringLiteral("/a/one.txt"), QStringLiteral("/a/two.txt"), QStringLiteral("/b/three.txt")});
        ui.BitBtn1->click();
        QCOMPARE(ui.txtTarget->text(), QStringLiteral("/a/one.txt;/a/two.txt;/b/three.txt"));
        QVERIFY(ui.txtTitle->text().isEmpty());
        QVERIFY(form.IsMultiple());
        QVERIFY(!ui.btnOk->isEnabled());
        ui.ckTitle->setChecked(true);
        QVERIFY(ui.btnOk->isEnabled());
    }

    void aThousandChosenFilesAndLongTextsComeThroughWhole()
    {
        TitemForm form(nullptr);
        ItemDialog ui(form);
        QStringList files;
        for (int i = 0; i < 1000; ++i)
            files << QStringLiteral("/home/user/pictures/holiday 2026/scans/picture-%1.png").arg(i);
        seam::pushFileAnswer(files);
        ui.BitBtn1->click();
        QCOMPARE(splitTargets(ui.txtTarget->text()), files);
        const QString longTitle(100000, QLatin1Char('t'));
        ui.txtTitle->setText(longTitle);
        QCOMPARE(ui.txtTitle->text().size(), longTitle.size());
    }

    void cancelledBrowseResetsMultipleAndKeepsTheFields()
    {
        TitemForm form(nullptr);
        ItemDialog ui(form);
        seam::pushFileAnswer({QStringLiteral("/a/1"), QStringLiteral("/a/2")});
        ui.BitBtn1->click();
        QVERIFY(form.IsMultiple());
        seam::pushFileAnswer({});
        ui.BitBtn1->click();
        QVERIFY(!form.IsMultiple());
        QCOMPARE(ui.txtTarget->text(), QStringLiteral("/a/1;/a/2"));
    }

    void webModeHidesBrowsingAndNeedsATitle()
    {
        TitemForm form(nullptr, true);
        ItemDialog ui(form);
        QCOMPARE(form.windowTitle(), QStringLiteral("New Web Address"));
        QVERIFY(form.isWebMode());
        QVERIFY(ui.BitBtn1->isHidden());
        QVERIFY(ui.ckTitle->isHidden());
        ui.txtTarget->setText(QStringLiteral("example.org"));
        QVERIFY(!ui.btnOk->isEnabled());
        ui.txtTitle->setText(QStringLiteral("Example"));
        QVERIFY(ui.btnOk->isEnabled());
        TitemForm plain(nullptr, false);
        ItemDialog plainUi(plain);
        QVERIFY(!plainUi.BitBtn1->isHidden());
        QVERIFY(!plainUi.ckTitle->isHidden());
    }

    void splitKeepsPiecesEndingAtASemicolonAndANonEmptyTail_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("pieces");
        QTest::newRow("one path") << "/a" << QStringList{"/a"};
        QTest::newRow("three paths") << "/a;/b;/c" << QStringList{"/a", "/b", "/c"};
        QTest::newRow("two semicolons") << "/a;;/c" << QStringList{"/a", "", "/c"};
        QTest::newRow("trailing semicolon") << "/a;/b;" << QStringList{"/a", "/b"};
        QTest::newRow("only semicolons") << ";;" << QStringList{"", ""};
        QTest::newRow("leading semicolon") << ";/a" << QStringList{"", "/a"};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("blanks kept") << " /a ; /b" << QStringList{" /a ", " /b"};
    }
    void splitKeepsPiecesEndingAtASemicolonAndANonEmptyTail()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, pieces);
        QCOMPARE(splitTargets(text), pieces);
    }

    void fileNamePartIsTheTextAfterTheLastSlash()
    {
        QCOMPARE(fileNamePart(QStringLiteral("/home/u/a b.txt")), QStringLiteral("a b.txt"));
        QCOMPARE(fileNamePart(QStringLiteral("plain.txt")), QStringLiteral("plain.txt"));
        QCOMPARE(fileNamePart(QStringLiteral("/home/u/")), QString());
        const QString longName(5000, QLatin1Char('n'));
        QCOMPARE(fileNamePart(QStringLiteral("/x/") + longName), longName);
    }
};

QTEST_MAIN(TestTitemForm)
#include "tst_titemform.moc"
