// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/ticondialog.h"

#include "session/iconlist.h"
#include "ui/common/controls.h"
#include "ui/common/dialogseam.h"
#include "ui/common/errorbox.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageReader>
#include <QListWidget>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <stdexcept>

namespace {

const char* const iconFilter = "Icon File(*.ico)";
const char* const invalidImageSize = "Invalid image size";
const int iconSide = 32;

// The icons have no captions, so the focus frame would be a lone dot below the current icon; the
// selection highlight already shows where the keyboard is.
class IconDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem plain(option);
        plain.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, plain, index);
    }
};

std::runtime_error notAnIcon(const QString& fileName, const QString& reason)
{
    const QString text = QStringLiteral("Cannot load icon \"%1\". %2").arg(fileName, reason);
    return std::runtime_error(text.toStdString());
}

}  // namespace

QImage loadCategoryIcon(const QString& fileName)
{
    // Only real icon files: a picture of another format renamed to ".ico" is refused.
    QImageReader reader(fileName, "ico");
    reader.setDecideFormatFromContent(false);
    if (!reader.canRead())
        throw notAnIcon(fileName, QStringLiteral("The file is not an icon"));
    QImage best;
    bool readAny = false;
    const int count = qMax(1, reader.imageCount());
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        const QImage image = reader.read();
        if (image.isNull())
            continue;
        readAny = true;
        const bool bigEnough = image.width() >= iconSide && image.height() >= iconSide;
        const bool smallerThanBest =
            best.isNull() || qint64(image.width()) * image.height() < qint64(best.width()) * best.height();
        if (bigEnough && smallerThanBest)
            best = image;
    }
    if (!readAny)
        throw notAnIcon(fileName, reader.errorString());
    if (best.isNull())
        throw std::runtime_error(invalidImageSize);
    return best;
}

TIconDialog::TIconDialog(QWidget* owner, std::function<void()> onIconsChanged)
    : QDialog(owner), iconsChanged(std::move(onIconsChanged))
{
    setObjectName(QStringLiteral("TIconDialog"));
    setWindowTitle(QStringLiteral("Select Icon"));
    ListView1 = new QListWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setAccessibleName(QStringLiteral("Icons"));
    ListView1->setViewMode(QListView::IconMode);
    ListView1->setIconSize(QSize(iconSide, iconSide));
    ListView1->setGridSize(QSize(iconSide + 12, iconSide + 12));
    ListView1->setMovement(QListView::Static);
    ListView1->setResizeMode(QListView::Adjust);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setItemDelegate(new IconDelegate(ListView1));

    btnAddIcon = makeButton(this, "btnAddIcon", QStringLiteral("Add Icon..."));
    btnAddIcon->setAutoDefault(false);
    OKBtn = makeButton(this, "OKBtn", QStringLiteral("OK"));
    OKBtn->setDefault(true);
    CancelBtn = makeButton(this, "CancelBtn", QStringLiteral("Cancel"));
    CancelBtn->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnAddIcon);
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(ListView1, 1);
    outer->addLayout(buttons);
    setFixedSize(334, 228);
    setTabOrder(ListView1, OKBtn);
    setTabOrder(OKBtn, CancelBtn);
    setTabOrder(CancelBtn, btnAddIcon);

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(btnAddIcon, &QPushButton::clicked, this, &TIconDialog::btnAddIconClick);
    // A double click on an icon picks it, as users of icon pickers expect.
    connect(ListView1, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

void TIconDialog::SetImageList(IconList& images)
{
    imageList = &images;
    ListView1->clear();
    for (int i = 0; i < images.count(); ++i)
        addIconItem(i);
    ListView1->setCurrentItem(nullptr);
    ListView1->clearSelection();
}

void TIconDialog::addIconItem(int index)
{
    auto* item = new QListWidgetItem(imageList->icon(index), QString(), ListView1);
    item->setData(Qt::AccessibleTextRole, QStringLiteral("Icon %1").arg(index));
    item->setSizeHint(QSize(iconSide + 8, iconSide + 8));
}

int TIconDialog::selectedIconIndex() const
{
    for (int i = 0; i < ListView1->count(); ++i) {
        if (ListView1->item(i)->isSelected())
            return i;
    }
    return -1;
}

void TIconDialog::btnAddIconClick()
{
    const QString fileName = seam::openFileName(this, QString(), QString::fromLatin1(iconFilter));
    if (fileName.isEmpty() || !imageList)
        return;
    runCommand(this, [&] { appendIconFromFile(fileName); });
}

void TIconDialog::appendIconFromFile(const QString& fileName)
{
    const QImage image = loadCategoryIcon(fileName);
    imageList->append(image);
    addIconItem(imageList->count() - 1);
    // Beyond the icons in sight the new one would land out of view, and the button seem to do nothing.
    ListView1->scrollToItem(ListView1->item(ListView1->count() - 1));
    if (iconsChanged)
        iconsChanged();
}
