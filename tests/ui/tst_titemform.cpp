// The item dialog on its own: the OK rule, browsing, web mode and the split of several targets.
#include "ui/dialogseam.h"
#include "ui/titemform.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TestTitemForm : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { seam::enableTestMode(); }
    void init() { seam::clearTestState(); }
    void cleanup() { QCOMPARE(seam::unexpectedPromptCount(), 0); }

    void captionsAndLabelsAreTheDialogsOwn()
    {
        TitemForm form(nullptr);
        QCOMPARE(form.windowTitle(), QStringLiteral("New Item"));
        QCOMPARE(form.Label1->text(), QStringLiteral("Tiltle:"));
        QCOMPARE(form.Label2->text(), QStringLiteral("Source:"));
        QCOMPARE(form.Label3->text(), QStringLiteral("Description:"));
        QCOMPARE(form.ckTitle->text(), QStringLiteral("Using filename as title"));
        QCOMPARE(form.BitBtn1->text(), QStringLiteral("..."));
        QCOMPARE(form.btnOk->text(), QStringLiteral("OK"));
        QCOMPARE(form.btnCancel->text(), QStringLiteral("Cancel"));
        QVERIFY(form.btnOk->isDefault());
        QVERIFY(!form.ckTitle->isChecked());
        QVERIFY(!form.btnOk->isEnabled());
        QCOMPARE(form.txtTitle->accessibleName(), QStringLiteral("Tiltle:"));
        QCOMPARE(form.btnOk->accessibleName(), QStringLiteral("OK"));
    }

    void okNeedsTargetAndEitherTitleOrFileNameTitle()
    {
        TitemForm form(nullptr);
        form.txtTitle->setText(QStringLiteral("Report"));
        QVERIFY(!form.btnOk->isEnabled());
        form.txtTarget->setText(QStringLiteral("/tmp/report.txt"));
        QVERIFY(form.btnOk->isEnabled());
        form.txtTitle->setText(QString());
        QVERIFY(!form.btnOk->isEnabled());
        form.ckTitle->setChecked(true);
        QVERIFY(form.btnOk->isEnabled());
        form.ckTitle->setChecked(false);
        QVERIFY(!form.btnOk->isEnabled());
    }

    void blanksAndControlCharactersDoNotCountAsText()
    {
        TitemForm form(nullptr);
        form.txtTitle->setText(QStringLiteral("  \t "));
        form.txtTarget->setText(QStringLiteral("/tmp/a"));
        QVERIFY(!form.btnOk->isEnabled());
        form.txtTitle->setText(QStringLiteral(" x "));
        form.txtTarget->setText(QStringLiteral("   "));
        QVERIFY(!form.btnOk->isEnabled());
        form.txtTarget->setText(QStringLiteral(";;"));
        QVERIFY(form.btnOk->isEnabled());
        QVERIFY(isBlankText(QString()));
        QVERIFY(isBlankText(QString::fromUtf8("\x01\x1f \x7f")));
        QVERIFY(!isBlankText(QString::fromUtf8(" \xc3\xa9 ")));
    }

    void okButtonAcceptsOnlyWhenEnabled()
    {
        TitemForm form(nullptr);
        form.btnOkClick();
        QCOMPARE(form.result(), int(QDialog::Rejected));
        form.txtTitle->setText(QStringLiteral("t"));
        form.txtTarget->setText(QStringLiteral("u"));
        form.btnOk->click();
        QCOMPARE(form.result(), int(QDialog::Accepted));
    }

    void browsingOneFileFillsAnEmptyTitleWithItsName()
    {
        TitemForm form(nullptr);
        seam::pushFileAnswer({QStringLiteral("/home/u/docs/plan 2024.odt")});
        form.BitBtn1->click();
        QCOMPARE(form.txtTarget->text(), QStringLiteral("/home/u/docs/plan 2024.odt"));
        QCOMPARE(form.txtTitle->text(), QStringLiteral("plan 2024.odt"));
        QVERIFY(!form.IsMultiple());
        QVERIFY(form.btnOk->isEnabled());
        QCOMPARE(seam::shownFileDialogs().size(), 1);
        QVERIFY(!seam::shownFileDialogs().first().save);
    }

    void browsingOneFileKeepsATypedTitle()
    {
        TitemForm form(nullptr);
        form.txtTitle->setText(QStringLiteral("My plan"));
        seam::pushFileAnswer({QStringLiteral("/home/u/plan.odt")});
        form.BitBtn1->click();
        QCOMPARE(form.txtTitle->text(), QStringLiteral("My plan"));
        QCOMPARE(form.txtTarget->text(), QStringLiteral("/home/u/plan.odt"));
    }

    void browsingSeveralFilesJoinsThemAndSetsMultiple()
    {
        TitemForm form(nullptr);
        seam::pushFileAnswer({QStringLiteral("/a/one.txt"), QStringLiteral("/a/two.txt"), QStringLiteral("/b/three.txt")});
        form.BitBtn1->click();
        QCOMPARE(form.txtTarget->text(), QStringLiteral("/a/one.txt;/a/two.txt;/b/three.txt"));
        QVERIFY(form.txtTitle->text().isEmpty());
        QVERIFY(form.IsMultiple());
        QVERIFY(!form.btnOk->isEnabled());
        form.ckTitle->setChecked(true);
        QVERIFY(form.btnOk->isEnabled());
    }

    void aThousandChosenFilesAndLongTextsComeThroughWhole()
    {
        TitemForm form(nullptr);
        QStringList files;
        for (int i = 0; i < 1000; ++i)
            files << QStringLiteral("/home/user/pictures/holiday 2026/scans/picture-%1.png").arg(i);
        seam::pushFileAnswer(files);
        form.BitBtn1->click();
        QCOMPARE(splitTargets(form.txtTarget->text()), files);
        const QString longTitle(100000, QLatin1Char('t'));
        form.txtTitle->setText(longTitle);
        QCOMPARE(form.txtTitle->text().size(), longTitle.size());
    }

    void cancelledBrowseResetsMultipleAndKeepsTheFields()
    {
        TitemForm form(nullptr);
        seam::pushFileAnswer({QStringLiteral("/a/1"), QStringLiteral("/a/2")});
        form.BitBtn1->click();
        QVERIFY(form.IsMultiple());
        seam::pushFileAnswer({});
        form.BitBtn1->click();
        QVERIFY(!form.IsMultiple());
        QCOMPARE(form.txtTarget->text(), QStringLiteral("/a/1;/a/2"));
    }

    void webModeHidesBrowsingAndNeedsATitle()
    {
        TitemForm form(nullptr, true);
        QCOMPARE(form.windowTitle(), QStringLiteral("New Web Address"));
        QVERIFY(form.isWebMode());
        QVERIFY(form.BitBtn1->isHidden());
        QVERIFY(form.ckTitle->isHidden());
        form.txtTarget->setText(QStringLiteral("example.org"));
        QVERIFY(!form.btnOk->isEnabled());
        form.txtTitle->setText(QStringLiteral("Example"));
        QVERIFY(form.btnOk->isEnabled());
        TitemForm plain(nullptr, false);
        QVERIFY(!plain.BitBtn1->isHidden());
        QVERIFY(!plain.ckTitle->isHidden());
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
