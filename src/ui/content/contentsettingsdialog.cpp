// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/content/contentsettingsdialog.h"

#include "extract/wire.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

ContentSettingsDialog::ContentSettingsDialog(QWidget* parent, const content::ContentSettings& settings)
    : QDialog(parent), chkIndexFiles(new QCheckBox(QStringLiteral("&Index the text of documents"))),
      chkKeepPages(new QCheckBox(QStringLiteral("&Keep a copy of every web page (fetches each web address)"))),
      spnSizeCap(new QSpinBox)
{
    setObjectName(QStringLiteral("ContentSettingsDialog"));
    setWindowTitle(QStringLiteral("Content Settings"));
    chkIndexFiles->setObjectName(QStringLiteral("chkIndexFiles"));
    chkKeepPages->setObjectName(QStringLiteral("chkKeepPages"));
    chkIndexFiles->setChecked(settings.indexFiles);
    chkKeepPages->setChecked(settings.keepPages);

    auto* kinds = new QGroupBox(QStringLiteral("Kinds of document read"));
    kinds->setObjectName(QStringLiteral("grpKinds"));
    auto* kindsLayout = new QVBoxLayout(kinds);
    const std::pair<const char*, const char*> names[] = {{"chkPdf", "&PDF"},
                                                         {"chkOffice", "&OpenDocument and Office (odt, docx, xlsx...)"},
                                                         {"chkEpub", "&EPUB"},
                                                         {"chkHtml", "&HTML"},
                                                         {"chkText", "Plain &text, Markdown, CSV, source"}};
    const unsigned flags[] = {extract::wire::Pdf, extract::wire::Office, extract::wire::Epub, extract::wire::Html,
                              extract::wire::PlainText};
    for (std::size_t i = 0; i < std::size(flags); ++i) {
        auto* box = new QCheckBox(QString::fromUtf8(names[i].second));
        box->setObjectName(QString::fromLatin1(names[i].first));
        box->setChecked(settings.kinds & flags[i]);
        kindsLayout->addWidget(box);
        kindBoxes.append({box, flags[i]});
    }

    spnSizeCap->setObjectName(QStringLiteral("spnSizeCap"));
    spnSizeCap->setRange(1, 4096);
    spnSizeCap->setSuffix(QStringLiteral(" MB"));
    spnSizeCap->setValue(settings.sizeCapMb);
    spnSizeCap->setAccessibleName(QStringLiteral("Largest file read"));
    auto* cap = new QFormLayout;
    cap->addRow(QStringLiteral("&Largest file read:"), spnSizeCap);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOk"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(chkIndexFiles);
    layout->addWidget(kinds);
    layout->addLayout(cap);
    layout->addWidget(chkKeepPages);
    layout->addWidget(buttons);
    connect(chkIndexFiles, &QCheckBox::toggled, this, &ContentSettingsDialog::showSwitches);
    showSwitches();
}

// Kinds and the size cap only mean something while documents are indexed.
void ContentSettingsDialog::showSwitches()
{
    for (const auto& [box, flag] : kindBoxes)
        box->setEnabled(chkIndexFiles->isChecked());
    spnSizeCap->setEnabled(chkIndexFiles->isChecked());
}

content::ContentSettings ContentSettingsDialog::settings() const
{
    content::ContentSettings chosen;
    chosen.indexFiles = chkIndexFiles->isChecked();
    chosen.keepPages = chkKeepPages->isChecked();
    chosen.kinds = 0;
    for (const auto& [box, flag] : kindBoxes)
        if (box->isChecked())
            chosen.kinds |= flag;
    chosen.sizeCapMb = spnSizeCap->value();
    return chosen;
}
