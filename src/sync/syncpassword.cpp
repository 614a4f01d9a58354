// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncpassword.h"

#include <QEventLoop>
#include <qt6keychain/keychain.h>

namespace {

const QString Service = QStringLiteral("Varnelo sync");

QString keyOf(const std::string& place, const std::string& user)
{
    return QString::fromStdString(user + "@" + place);
}

// Runs the job to its end; the keyring is never replaced by a plain file.
KeyringAnswer finish(QKeychain::Job& job)
{
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (job.error() == QKeychain::NoError)
        return {true, {}};
    if (job.error() == QKeychain::EntryNotFound)
        return {false, "No sync password is stored in the keyring."};
    return {false, "The desktop's keyring did not answer: " + job.errorString().toStdString()};
}

}  // namespace

KeyringAnswer storeSyncPassword(const std::string& place, const std::string& user, const std::string& password)
{
    QKeychain::WritePasswordJob job(Service);
    job.setKey(keyOf(place, user));
    job.setTextData(QString::fromStdString(password));
    return finish(job);
}

std::optional<std::string> readSyncPassword(const std::string& place, const std::string& user, KeyringAnswer* answer)
{
    QKeychain::ReadPasswordJob job(Service);
    job.setKey(keyOf(place, user));
    const KeyringAnswer result = finish(job);
    if (answer)
        *answer = result;
    if (!result.ok)
        return std::nullopt;
    return job.textData().toStdString();
}

KeyringAnswer forgetSyncPassword(const std::string& place, const std::string& user)
{
    QKeychain::DeletePasswordJob job(Service);
    job.setKey(keyOf(place, user));
    return finish(job);
}
