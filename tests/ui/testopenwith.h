// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "testutil.h"

#include "ui/common/openwithdialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>

// The program chooser's controls, found by their names.
struct Chooser {
    explicit Chooser(OpenWithDialog& dialog)
        : lblTarget(testutil::child<QLabel>(&dialog, "lblTarget")),
          listApplications(testutil::child<QListWidget>(&dialog, "listApplications")),
          ckShowAll(testutil::child<QCheckBox>(&dialog, "ckShowAll")),
          buttons(testutil::child<QDialogButtonBox>(&dialog, "buttons"))
    {
    }
    QLabel* lblTarget;
    QListWidget* listApplications;
    QCheckBox* ckShowAll;
    QDialogButtonBox* buttons;
};
