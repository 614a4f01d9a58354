// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "content/contentsettings.h"

#include <QDialog>

class QCheckBox;
class QSpinBox;

// Tools > "Content Settings...": whether the text of documents is indexed, whether a copy of every web
// item's page is kept (off until the user turns it on: it fetches every address), which kinds of
// document are read, and how large a file may be to be read.
class ContentSettingsDialog : public QDialog {
    Q_OBJECT
public:
    ContentSettingsDialog(QWidget* parent, const content::ContentSettings& settings);
    content::ContentSettings settings() const;

private:
    void showSwitches();

    QCheckBox* chkIndexFiles;
    QCheckBox* chkKeepPages;
    QList<QPair<QCheckBox*, unsigned>> kindBoxes;
    QSpinBox* spnSizeCap;
};
