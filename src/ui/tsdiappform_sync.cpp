// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/tsdiappform.h"

#include "ui/categorytreeview.h"

void TSDIAppForm::reloadAfterSync()
{
    LoadCatalogue();
    if (auto stored = IconList::deserialize(db.LoadIconList())) {
        ImageList2 = std::move(*stored);
        treeCategory->refreshIcons();
    }
}
