// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/ccategorymanager.h"

void CCategoryManager::Add(CCategory* category)
{
    if (category)
        levels[static_cast<std::uint32_t>(category->GetLevel())].push_back(category);
}

void CCategoryManager::Clear()
{
    levels.clear();
}
