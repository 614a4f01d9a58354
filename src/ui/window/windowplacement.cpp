// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window/windowplacement.h"

#include "shell/appsettings.h"
#include "ui/common/screenfit.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QScreen>
#include <QSplitter>
#include <QStringList>

#include <algorithm>
#include <stdexcept>

namespace {

const char* const windowSection = "Window";
const char* const listSection = "List";
const char* const sortsByHeadersKey = "sortByHeaders";

std::string joined(const QList<int>& values)
{
    QStringList texts;
    for (int value : values)
        texts << QString::number(value);
    return texts.join(QLatin1Char(',')).toStdString();
}

// Whole numbers only (a screen left of the first one lies at negative places); anything else in the
// file reads as nothing stored.
QList<int> numbers(const std::string& text, qsizetype count)
{
    const QStringList texts = QString::fromStdString(text).split(QLatin1Char(','));
    QList<int> values;
    for (const QString& piece : texts) {
        bool ok = false;
        const int value = piece.trimmed().toInt(&ok);
        if (!ok || value < -100000 || value > 100000)
            return {};
        values << value;
    }
    return values.size() == count ? values : QList<int>{};
}

}  // namespace

WindowPlacement::WindowPlacement(QMainWindow& mainWindow, QSplitter& panels, QHeaderView& header, std::string path)
    : window(mainWindow), splitter(panels), columns(header), iniPath(std::move(path))
{
}

QRect WindowPlacement::fitted(const QRect& wanted, const QRect& area)
{
    return fittedInto(wanted, area);
}

void WindowPlacement::restore()
{
    const QList<int> place = numbers(readIniText(iniPath, windowSection, "geometry"), 4);
    QRect wanted = place.isEmpty()
                       ? QRect(window.pos(), window.size())
                       : QRect(QPoint(place[0], place[1]), QSize(place[2], place[3]).expandedTo({200, 150}));
    const QScreen* screen = QGuiApplication::screenAt(wanted.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        wanted = fitted(wanted, roomForClient(screen->availableGeometry(), window));
    }
    window.resize(wanted.size());
    window.move(wanted.topLeft());
    if (readIniText(iniPath, windowSection, "maximized") == "1")
        window.setWindowState(window.windowState() | Qt::WindowMaximized);
    const QList<int> panels = numbers(readIniText(iniPath, windowSection, "splitter"), splitter.count());
    if (!panels.isEmpty())
        splitter.setSizes(panels);
    const QList<int> widths = numbers(readIniText(iniPath, windowSection, "columns"), columns.count());
    for (int i = 0; i < widths.size(); ++i)
        columns.resizeSection(i, std::max(widths[i], columns.minimumSectionSize()));
}

void WindowPlacement::save() const
{
    const QRect normal = window.isMaximized() ? window.normalGeometry() : QRect(window.pos(), window.size());
    QList<int> widths;
    for (int i = 0; i < columns.count(); ++i)
        widths << columns.sectionSize(i);
    try {
        writeIniTexts(iniPath, windowSection,
                      {{"geometry", joined({normal.x(), normal.y(), normal.width(), normal.height()})},
                       {"maximized", window.isMaximized() ? "1" : "0"},
                       {"splitter", joined(splitter.sizes())},
                       {"columns", joined(widths)}});
    } catch (const std::runtime_error&) {
        // Only the place is lost; the next start opens where the file last said.
    }
}

bool WindowPlacement::sortsByHeaders() const
{
    return readIniFlag(iniPath, listSection, sortsByHeadersKey, false);
}

void WindowPlacement::rememberSortsByHeaders(bool on) const
{
    try {
        writeIniFlags(iniPath, listSection, {{sortsByHeadersKey, on}});
    } catch (const std::runtime_error&) {
        // The list opens unsorted next time, as it does for a new user.
    }
}
