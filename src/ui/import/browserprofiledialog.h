// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "import/browserprofiles.h"

#include <QDialog>

#include <vector>

class QDialogButtonBox;
class QListWidget;

// Lists the browser profiles found for the current user, by browser and profile name with their
// bookmark counts, and returns the one the user picks.
class BrowserProfileDialog : public QDialog {
    Q_OBJECT
public:
    BrowserProfileDialog(std::vector<BrowserProfile> profiles, QWidget* parent = nullptr);

    // The chosen profile, or nullptr when none is selected.
    const BrowserProfile* selectedProfile() const;

    static QString describe(const BrowserProfile& profile);

private slots:
    void updateOkButton();

private:
    std::vector<BrowserProfile> profiles;
    QListWidget* listProfiles;
    QDialogButtonBox* buttons;
};
