// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/records.h"

Record categoryRecord(const CategoryIndex& index, const CCategory& category)
{
    return {{"kind", std::string("category")}, {"guid", category.GetGuid()}, {"path", index.pathOf(category)}};
}

Record itemRecord(const CategoryIndex& index, const CLinkItem& item)
{
    const CCategory* category = index.byGuid(item.GetParentGuid());
    return {{"kind", std::string(item.GetType() == CLinkItem::WebType ? "web" : "file")},
            {"guid", item.GetGuid()},
            {"title", item.GetName()},
            {"target", item.GetTarget()},
            {"description", item.GetComment()},
            {"category", category ? index.pathOf(*category) : std::string()}};
}
