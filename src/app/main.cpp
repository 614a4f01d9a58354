// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/firefoxplaces.h"
#include "session/iconlist.h"
#include "shell/appsettings.h"
#include "shell/ownsections.h"
#include "shell/paths.h"
#include "shell/sendrequest.h"
#include "shell/singleinstance.h"
#include "ui/backup/damagedcatalogue.h"
#include "ui/dialogs/taboutbox.h"
#include "ui/window/tsdiappform.h"

#include <QApplication>
#include <QIcon>
#include <QStringList>

namespace {

// The whole command line as one text, the program's own path included: "/tray" counts anywhere in it,
// except inside a "varnelo:" request, whose text a web page chose.
QString commandLine(int argc, char** argv)
{
    QStringList parts;
    for (int i = 0; i < argc; ++i)
        if (i == 0 || !isSendRequest(argv[i]))
            parts.append(QString::fromLocal8Bit(argv[i]));
    return parts.join(QLatin1Char(' '));
}

// The first "varnelo:" request on the command line (a browser's "send to Varnelo"), if any.
QByteArray sendRequest(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (isSendRequest(argv[i]))
            return QByteArray(argv[i]);
    return {};
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
    const QByteArray request = sendRequest(argc, argv);
    SingleInstance instance;
    if (!instance.claim(request))
        return 0;

    LoadSettings(AppSettings, settingsFilePath());
    moveOwnSectionsOut(settingsFilePath());
    // Copies of browser profiles that a killed import left behind.
    removeLeftoverProfileCopies();
    if (!offerDamagedCatalogueRecovery(databaseFilePath()))
        return 0;

    // The window ends the program only when it really closes; hiding it in the tray, or closing the
    // about box while it is hidden, must not.
    QApplication::setQuitOnLastWindowClosed(false);
    TSDIAppForm form;
    QObject::connect(&form, &TSDIAppForm::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(&instance, &SingleInstance::wakeRequested, &form, &TSDIAppForm::wakeFromSecondInstance);
    QObject::connect(&instance, &SingleInstance::requestReceived, &form, &TSDIAppForm::handleSendRequest);
    TAboutBox about(&form);
    form.setAboutBox(&about);

    if (!TSDIAppForm::startsHidden(commandLine(argc, argv), AppSettings.autohide))
        form.show();
    if (!request.isEmpty())
        QMetaObject::invokeMethod(
            &form, [&] { form.handleSendRequest(request); }, Qt::QueuedConnection);
    QApplication::exec();
    return 0;
}
