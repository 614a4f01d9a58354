// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <exception>
#include <string>
#include <utility>

class QWidget;

// The default error box: the error's text (a full stop added after a final letter or digit),
// caption "Varnelo", critical icon, OK.
void showErrorBox(QWidget* parent, const QString& text);
QString errorBoxText(const QString& text);
// The plain box of a command's outcome (a backup, a restore, an import): the application's title
// as caption, OK, no icon. An empty text shows nothing.
void showPlainMessage(QWidget* parent, const std::string& text);

// Runs one command; an error ends that command only and is shown in the default error box, so nothing
// is ever thrown through Qt's event loop. The storage error type derives from std::exception.
// How many commands are under way, nested ones counted: while one is, it may hold the catalogue's
// objects, so nothing may read the catalogue afresh under it.
int& runningCommands();

template <class F>
void runCommand(QWidget* parent, F&& command)
{
    struct Running {
        Running() { ++runningCommands(); }
        ~Running() { --runningCommands(); }
    } running;
    try {
        std::forward<F>(command)();
    } catch (const std::exception& error) {
        showErrorBox(parent, QString::fromUtf8(error.what()));
    } catch (...) {
        showErrorBox(parent, QStringLiteral("Unknown error"));
    }
}
