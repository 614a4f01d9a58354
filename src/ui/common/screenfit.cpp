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

QRect roomForClient(const QRect& available, const QWidget& window)
{
    constexpr int border = 4;
    const int titleBar = window.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    return available.adjusted(border, titleBar, -border, -border);
}

void placeOver(QWidget* window, const QWidget* owner)
{
    const QWidget* over = owner ? owner->window() : nullptr;
    QScreen* screen = over ? over->screen() : window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = roomForClient(screen->availableGeometry(), *window);
    // A window nobody sized yet takes its natural size when shown; only a shrink is imposed then.
    const bool sized = window->testAttribute(Qt::WA_Resized);
    const QSize natural = sized ? window->size() : window->sizeHint().expandedTo(window->minimumSizeHint());
    QRect wanted(QPoint(), natural);
    wanted.moveCenter(over && over->isVisible() ? over->frameGeometry().center() : area.center());
    const QRect fit = fittedInto(wanted, area);
    if (sized || fit.size() != natural)
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
