// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/openwithdialog.h"

#include "ui/common/dialogseam.h"
#include "ui/views/fileicons.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

const QString OpenWithDialog::Caption = QStringLiteral("Open With");
const QString OpenWithDialog::NoApplicationsText = QStringLiteral("No programs are installed for this kind of item");

namespace {

constexpr int IdRole = Qt::UserRole;

QString describeTarget(const QUrl& url)
{
    if (url.isLocalFile())
        return QStringLiteral("Choose the program you want to use to open the file \"%1\":")
            .arg(QFileInfo(url.toLocalFile()).fileName());
    return QStringLiteral("Choose the program you want to use to open \"%1\":").arg(url.toDisplayString());
}

QIcon programIcon(const Application& app)
{
    QIcon icon;
    if (QDir::isAbsolutePath(app.iconName))
        icon = QIcon(app.iconName);
    else if (!app.iconName.isEmpty())
        icon = QIcon::fromTheme(app.iconName);
    if (icon.isNull())
        icon = QIcon::fromTheme(QStringLiteral("application-x-executable"));
    return icon;
}

}  // namespace

OpenWithDialog::OpenWithDialog(const std::string& target, int itemType, QWidget* parent)
    : QDialog(parent), lblTarget(new QLabel(this)), listApplications(new QListWidget(this)),
      ckShowAll(new QCheckBox(QStringLiteral("Show all applications"), this)),
      buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)),
      targetUrlValue(targetUrl(target, itemType)), type(contentTypeForUrl(targetUrlValue))
{
    ensureIconTheme();
    setWindowTitle(Caption);
    setObjectName(QStringLiteral("OpenWithDialog"));
    lblTarget->setObjectName(QStringLiteral("lblTarget"));
    listApplications->setObjectName(QStringLiteral("listApplications"));
    ckShowAll->setObjectName(QStringLiteral("ckShowAll"));
    buttons->setObjectName(QStringLiteral("buttons"));
    lblTarget->setText(describeTarget(targetUrlValue));
    lblTarget->setWordWrap(true);
    lblTarget->setTextFormat(Qt::PlainText);
    listApplications->setIconSize(QSize(24, 24));
    listApplications->setSelectionMode(QAbstractItemView::SingleSelection);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblTarget);
    layout->addWidget(listApplications, 1);
    layout->addWidget(ckShowAll);
    layout->addWidget(buttons);
    resize(420, 380);

    connect(buttons, &QDialogButtonBox::accepted, this, &OpenWithDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OpenWithDialog::reject);
    connect(listApplications, &QListWidget::itemSelectionChanged, this, &OpenWithDialog::updateOkButton);
    connect(listApplications, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        if (item->flags() & Qt::ItemIsEnabled)
            accept();
    });
    connect(ckShowAll, &QCheckBox::toggled, this, &OpenWithDialog::fillList);

    forType = applicationsForType(type);
    // With nothing registered for the type, the whole list is the only useful offer.
    if (forType.isEmpty())
        ckShowAll->setChecked(true);
    fillList();
}

const QUrl& OpenWithDialog::url() const
{
    return targetUrlValue;
}

const QString& OpenWithDialog::contentType() const
{
    return type;
}

QString OpenWithDialog::selectedApplicationId() const
{
    const QList<QListWidgetItem*> selected = listApplications->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->data(IdRole).toString();
}

void OpenWithDialog::addApplication(const Application& app)
{
    auto* item = new QListWidgetItem(programIcon(app), app.name, listApplications);
    item->setData(IdRole, app.id);
    item->setToolTip(app.id);
    if (app.isDefault) {
        QFont font = item->font();
        font.setBold(true);
        item->setFont(font);
    }
}

void OpenWithDialog::fillList()
{
    listApplications->clear();
    QStringList listed;
    for (const Application& app : forType) {
        addApplication(app);
        listed.append(app.id);
    }
    if (ckShowAll->isChecked()) {
        for (const Application& app : allApplications()) {
            if (!listed.contains(app.id))
                addApplication(app);
        }
    }
    if (listApplications->count() == 0) {
        auto* note = new QListWidgetItem(NoApplicationsText, listApplications);
        note->setFlags(Qt::NoItemFlags);
    } else {
        listApplications->setCurrentRow(0);
    }
    updateOkButton();
}

void OpenWithDialog::updateOkButton()
{
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!selectedApplicationId().isEmpty());
}

void OpenWithDialog::accept()
{
    const QString appId = selectedApplicationId();
    if (appId.isEmpty())
        return;
    QString error;
    if (!launchApplication(appId, targetUrlValue, &error)) {
        seam::message(this, QMessageBox::Warning, Caption, error);
        return;
    }
    QDialog::accept();
}
