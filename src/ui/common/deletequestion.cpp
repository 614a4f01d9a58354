// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/deletequestion.h"

#include "import/importsummary.h"
#include "ui/common/qtext.h"

namespace {

QString counted(long long count, const char* one, const char* many)
{
    return toQ(countedText(static_cast<std::size_t>(count), one, many));
}

QString quoted(const QString& name)
{
    return QStringLiteral("\"%1\"").arg(name);
}

}  // namespace

QString deleteQuestion(const QString& question, const QString& whatGoes)
{
    return question + QStringLiteral("\n\n") + whatGoes;
}

QString itemsGoing(const CLinkItems& items)
{
    if (items.size() == 1)
        return quoted(toQ(items.front()->GetName()));
    return counted(static_cast<long long>(items.size()), "item", "items");
}

QString categoryGoing(const QString& name, int subcategories, long long items)
{
    return QStringLiteral("%1 with %2 and %3")
        .arg(quoted(name), counted(subcategories, "subcategory", "subcategories"), counted(items, "item", "items"));
}
