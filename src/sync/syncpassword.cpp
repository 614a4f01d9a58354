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

QString keyOfPassphrase(const std::string& place)
{
    return QString::fromStdString("sync key@" + place);
}

KeyringAnswer storeSecret(const QString& name, const std::string& secret)
{
    QKeychain::WritePasswordJob job(Service);
    job.setKey(name);
    job.setTextData(QString::fromStdString(secret));
    return finish(job);
}

std::optional<std::string> readSecret(const QString& name, KeyringAnswer* answer)
{
    QKeychain::ReadPasswordJob job(Service);
    job.setKey(name);
    const KeyringAnswer result = finish(job);
    if (answer)
        *answer = result;
    if (!result.ok)
        return std::nullopt;
    return job.textData().toStdString();
}

KeyringAnswer forgetSecret(const QString& name)
{
    QKeychain::DeletePasswordJob job(Service);
    job.setKey(name);
    return finish(job);
}

}  // namespace

KeyringAnswer storeSyncPassword(const std::string& place, const std::string& user, const std::string& password)
{
    return storeSecret(keyOf(place, user), password);
}

std::optional<std::string> readSyncPassword(const std::string& place, const std::string& user, KeyringAnswer* answer)
{
    return readSecret(keyOf(place, user), answer);
}

KeyringAnswer forgetSyncPassword(const std::string& place, const std::string& user)
{
    return forgetSecret(keyOf(place, user));
}

KeyringAnswer storeSyncKey(const std::string& place, const std::string& key)
{
    return storeSecret(keyOfPassphrase(place), key);
}

std::optional<std::string> readSyncKey(const std::string& place, KeyringAnswer* answer)
{
    return readSecret(keyOfPassphrase(place), answer);
}

KeyringAnswer forgetSyncKey(const std::string& place)
{
    return forgetSecret(keyOfPassphrase(place));
}
