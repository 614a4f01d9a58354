// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/controls.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

QPushButton* makeButton(QWidget* owner, const char* name, const QString& text)
{
    auto* button = new QPushButton(text, owner);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(text);
    return button;
}

QCheckBox* makeCheckBox(QWidget* owner, const char* name, const QString& text)
{
    auto* box = new QCheckBox(text, owner);
    box->setObjectName(QString::fromLatin1(name));
    box->setAccessibleName(text);
    return box;
}

QFont courierNew(int pixelSize)
{
    QFont font(QStringLiteral("Courier New"));
    font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")});
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(pixelSize);
    return font;
}

QLabel* makeLabel(QWidget* owner, const char* name, const QString& text, Qt::Alignment alignment)
{
    auto* label = new QLabel(text, owner);
    label->setObjectName(QString::fromLatin1(name));
    if (alignment)
        label->setAlignment(alignment);
    return label;
}

QAction* makeAction(QObject* owner, const char* name, const QString& caption, const QString& hint)
{
    auto* action = new QAction(caption, owner);
    action->setObjectName(QString::fromLatin1(name));
    if (!hint.isEmpty()) {
        action->setStatusTip(hint);
        action->setToolTip(hint);
    }
    return action;
}
