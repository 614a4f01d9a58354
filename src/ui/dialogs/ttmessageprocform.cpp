// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/ttmessageprocform.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWindow>

namespace {

bool fits(const QFontMetrics& metrics, const QRect& area, const QString& text)
{
    const QRect needed = metrics.boundingRect(area, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
    return needed.height() <= area.height() && needed.width() <= area.width();
}

}  // namespace

TTMessageProcForm::TTMessageProcForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("TMessageProcForm"));
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    msgLabel = new QLabel(this);
    msgLabel->setObjectName(QStringLiteral("msgLabel"));
    msgLabel->setWordWrap(true);
    msgLabel->setTextFormat(Qt::PlainText);
    msgLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    msgLabel->setMargin(4);
    msgLabel->setFixedSize(495, 61);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 22);
    layout->addWidget(msgLabel);
    setFixedSize(511, 91);
    FormCreate();
}

void TTMessageProcForm::FormCreate()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TTMessageProcForm::showPainted()
{
    show();
    // The window manager maps the window a moment after the request; until then nothing is drawn.
    QElapsedTimer waited;
    waited.start();
    while (!(windowHandle() && windowHandle()->isExposed()) && waited.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TTMessageProcForm::setMessage(const QString& text)
{
    const QFontMetrics metrics(msgLabel->font());
    const int margin = msgLabel->margin();
    const QRect area = msgLabel->rect().adjusted(margin, margin, -margin, -margin);
    QString shown = text;
    QStringList words = text.split(QLatin1Char(' '));
    while (words.size() > 1 && !fits(metrics, area, shown)) {
        words.removeLast();
        shown = words.join(QLatin1Char(' ')) + QStringLiteral("...");
    }
    if (!fits(metrics, area, shown))
        shown = metrics.elidedText(text, Qt::ElideRight, area.width());
    msgLabel->setText(shown);
    msgLabel->setAccessibleName(shown);
}
