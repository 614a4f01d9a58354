// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/qtext.h"

QString toQ(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string fromQ(const QString& text)
{
    return text.toStdString();
}

std::string keptOrEdited(const QString& shown, const std::string& stored)
{
    return shown == toQ(stored) ? stored : fromQ(shown);
}
