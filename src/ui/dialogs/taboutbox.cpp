// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/taboutbox.h"

#include "ui/common/controls.h"

#include "session/iconlist.h"
#include "ui/common/desktop.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <QUrl>

const char* const TAboutBox::webSite = "https://varnelo.app";
const char* const TAboutBox::supportMail = "support@varnelo.app";

namespace {

QPixmap aboutPicture()
{
    ensureResources();
    QPixmap picture(454, 340);
    picture.fill(QColor(0x20, 0x2a, 0x3a));
    QSvgRenderer renderer(QStringLiteral(":/icons/about.svg"));
    if (renderer.isValid()) {
        QPainter painter(&picture);
        renderer.render(&painter, QRectF(0, 0, 454, 340));
    }
    return picture;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setAccessibleName(QStringLiteral("About"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(454, 340);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAccessibleName(QStringLiteral("About picture"));
    Image1->setGeometry(0, 0, 454, 340);
    Image1->setPixmap(aboutPicture());
    Image1->installEventFilter(this);

    ProductName = makeLabel("ProductName", QStringLiteral("Varnelo"), 155, 24, 21);
    QFont bold = ProductName->font();
    bold.setBold(true);
    ProductName->setFont(bold);
    Version = makeLabel("Version", QStringLiteral("Version 1.1"), 155, 61, 15);
    Label3 = makeLabel("Label3", QString::fromLatin1(supportMail), 155, 128, 12);
    makeLink(Label3);
    Label2 = makeLabel("Label2", QString::fromLatin1(webSite), 155, 160, 12);
    makeLink(Label2);
    Label1 = makeLabel("Label1", QStringLiteral("Your documents and web addresses, in one catalogue."), 144, 311, 11);
    Label1->setFont(font);
}

QLabel* TAboutBox::makeLabel(const char* name, const QString& text, int x, int y, int pixelSize)
{
    auto* label = new QLabel(text, this);
    label->setObjectName(QString::fromLatin1(name));
    label->setAccessibleName(text);
    label->setFont(courierNew(pixelSize));
    label->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    label->move(x, y);
    label->adjustSize();
    return label;
}

void TAboutBox::makeLink(QLabel* label)
{
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: #4da3ff; background: transparent;"));
    label->setCursor(Qt::PointingHandCursor);
    label->adjustSize();
    label->installEventFilter(this);
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == Image1)
            Image1Click();
        else if (watched == Label2)
            Label2Click();
        else if (watched == Label3)
            Label3Click();
        return watched == Image1 || watched == Label2 || watched == Label3;
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::Image1Click()
{
    accept();
}

void TAboutBox::Label2Click()
{
    Desktop::instance().openUrl(QUrl(QString::fromLatin1(webSite)));
}

void TAboutBox::Label3Click()
{
    Desktop::instance().openUrl(QUrl(QStringLiteral("mailto:") + QString::fromLatin1(supportMail)));
}
