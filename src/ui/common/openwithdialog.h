// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/desktopservices.h"

#include <QDialog>
#include <QUrl>

#include <string>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QListWidget;
class QListWidgetItem;

// The program's own chooser of a program to open a target with: the programs registered for the
// target's type (the default one first), every installed program on request. OK launches the chosen
// program on the target; a failed launch is reported and the chooser stays open.
class OpenWithDialog : public QDialog {
    Q_OBJECT
public:
    OpenWithDialog(const std::string& target, int type, QWidget* parent = nullptr);

    const QUrl& url() const;
    const QString& contentType() const;
    // Id of the selected program, empty when none is selected.
    QString selectedApplicationId() const;
    void accept() override;

    static const QString Caption;
    static const QString NoApplicationsText;

private:
    QLabel* lblTarget;
    QListWidget* listApplications;
    QCheckBox* ckShowAll;
    QDialogButtonBox* buttons;

    void fillList();
    void addApplication(const Application& app);
    void updateOkButton();

    QUrl targetUrlValue;
    QString type;
    QList<Application> forType;
};
