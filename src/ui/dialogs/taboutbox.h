// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;

// Borderless picture with the product name, the version and two links. Created once at start-up and
// shown modally any number of times; a click on the picture closes it.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* parent = nullptr);

    static const char* const webSite;
    static const char* const supportMail;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void Image1Click();
    void Label2Click();
    void Label3Click();

private:
    QLabel* Image1 = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Label3 = nullptr;  // support mail
    QLabel* Label2 = nullptr;  // web site
    QLabel* Label1 = nullptr;  // notice

    QLabel* makeLabel(const char* name, const QString& text, int x, int y, int pixelSize);
    void makeLink(QLabel* label);
};
