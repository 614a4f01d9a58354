// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/appsettings.h"
#include "shell/paths.h"
#include "shell/singleinstance.h"
#include "ui/damagedcatalogue.h"
#include "ui/iconlist.h"
#include "ui/taboutbox.h"
#include "ui/tsdiappform.h"

#include <QApplication>
#include <QIcon>
#include <QStringList>

namespace {

// The whole command line as one text, the program's own path included: "/tray" counts anywhere in it.
QString commandLine(int argc, char** argv)
{
    QStringList parts;
    for (int i = 0; i < argc; ++i)
        parts.append(QString::fromLocal8Bit(argv[i]));
    return parts.join(QLatin1Char(' '));
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Varnelo"));
    QApplication::setDesktopFileName(QStringLiteral("app.varnelo.Varnelo"));
    ensureResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/varnelo.svg")));

    // A running instance is woken and this one ends before anything is read or opened.
    SingleInstance instance;
    if (!instance.claim())
        return 0;

    LoadSettings(AppSettings, settingsFilePath());
    if (!offerDamagedCatalogueRecovery(databaseFilePath()))
        return 0;

    // The window ends the program only when it really closes; hiding it in the tray, or closing the
    // about box while it is hidden, must not.
    QApplication::setQuitOnLastWindowClosed(false);
    TSDIAppForm form;
    QObject::connect(&form, &TSDIAppForm::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(&instance, &SingleInstance::wakeRequested, &form, &TSDIAppForm::wakeFromSecondInstance);
    TAboutBox about(&form);
    form.setAboutBox(&about);

    if (!TSDIAppForm::startsHidden(commandLine(argc, argv), AppSettings.autohide))
        form.show();
    QApplication::exec();
    return 0;
}
