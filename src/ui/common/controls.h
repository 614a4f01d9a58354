// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Controls carry the window's control name as object name and their caption as accessible name, so
// screen readers and tests find them by what the user reads.

#include <QFont>
#include <QString>
#include <Qt>

class QAction;
class QCheckBox;
class QObject;
class QLabel;
class QPushButton;
class QWidget;

QPushButton* makeButton(QWidget* owner, const char* name, const QString& text);
QCheckBox* makeCheckBox(QWidget* owner, const char* name, const QString& text);
QLabel* makeLabel(QWidget* owner, const char* name, const QString& text, Qt::Alignment alignment = {});
// An action named as the window's handlers know it; the hint shows in the status bar and as tooltip.
QAction* makeAction(QObject* owner, const char* name, const QString& caption, const QString& hint = {});

// "Courier New" at a pixel size; fontconfig gives its metric twin Liberation Mono where it is missing.
QFont courierNew(int pixelSize);
