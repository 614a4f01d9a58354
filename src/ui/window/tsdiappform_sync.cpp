// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/tsdiappform.h"

#include "ui/common/errorbox.h"
#include "ui/views/categorytreeview.h"

// A sync may bring icons of other machines; the catalogue itself follows through the live reload,
// which keeps the user's place.
void TSDIAppForm::reloadAfterSync()
{
    runCommand(this, [&] {
        if (auto stored = IconList::deserialize(db.LoadIconList())) {
            ImageList2 = std::move(*stored);
            treeCategory->refreshIcons();
        }
    });
    reloadCatalogue();
}
