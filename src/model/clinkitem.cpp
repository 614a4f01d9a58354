// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/clinkitem.h"

#include "model/newguid.h"

std::unique_ptr<CLinkItem> CLinkItem::Copy(const CLinkItem& source)
{
    auto copy = std::make_unique<CLinkItem>(source);
    copy->SetGuid(NewGuid());
    return copy;
}
