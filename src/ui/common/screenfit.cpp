// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/common/screenfit.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace {

const char* const windowRoleProperty = "varnelo.windowRole";

QAccessibleInterface* windowRole(const QString&, QObject* object)
{
    if (!object || !object->isWidgetType() || !object->property(windowRoleProperty).toBool())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
}

}  // namespace

QRect fittedInto(const QRect& wanted, const QRect& area)
{
    QRect fit(wanted.topLeft(), wanted.size().boundedTo(area.size()));
    fit.moveLeft(std::clamp(fit.left(), area.left(), area.right() - fit.width() + 1));
    fit.moveTop(std::clamp(fit.top(), area.top(), area.bottom() - fit.height() + 1));
    return fit;
}

void placeOver(QWidget* window, const QWidget* owner)
{
    const QWidget* over = owner ? owner->window() : nullptr;
    QScreen* screen = over ? over->screen() : window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // The frame is not known before the window is shown; keep room for a title bar above it.
    const int titleBar = window->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const QRect area = screen->availableGeometry().adjusted(0, titleBar, 0, 0);
    const QSize size = window->size().expandedTo(window->minimumSizeHint()).boundedTo(area.size());
    QRect wanted(QPoint(), size);
    wanted.moveCenter(over && over->isVisible() ? over->frameGeometry().center() : area.center());
    const QRect fit = fittedInto(wanted, area);
    window->resize(fit.size());
    window->move(fit.topLeft());
}

void reportAsWindow(QWidget* window)
{
    static const bool installed = [] {
        QAccessible::installFactory(windowRole);
        return true;
    }();
    (void)installed;
    window->setProperty(windowRoleProperty, true);
}
