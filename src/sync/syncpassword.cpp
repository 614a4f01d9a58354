// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncpassword.h"

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include <functional>

namespace {

const QString Service = QStringLiteral("Varnelo sync");

QString keyOf(const std::string& place, const std::string& user)
{
    return QString::fromStdString(user + "@" + place);
}

// How long a keyring may take to answer, an unlock prompt included, before the sync goes on without it.
constexpr int KeyringDeadlineMs = 60 * 1000;

// Runs the job to its end or its deadline (it may also end before it is waited for); the keyring is
// never replaced by a plain file. A job that outlives its deadline deletes itself when it answers.
KeyringAnswer finish(QKeychain::Job* job, const std::function<void(QKeychain::Job&)>& answered = {})
{
    job->setAutoDelete(false);
    job->setInsecureFallback(false);
    QEventLoop loop;
    bool ended = false;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&] {
        ended = true;
        loop.quit();
    });
    QTimer::singleShot(KeyringDeadlineMs, &loop, &QEventLoop::quit);
    job->start();
    if (!ended)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!ended) {
        QObject::connect(job, &QKeychain::Job::finished, job, &QObject::deleteLater);
        return {false, "The desktop's keyring did not answer within a minute."};
    }
    // The keyring's library still has work queued for the job when it says it finished.
    job->deleteLater();
    if (job->error() == QKeychain::EntryNotFound)
        return {false, "No sync password is stored in the keyring."};
    if (job->error() != QKeychain::NoError)
        return {false, "The desktop's keyring did not answer: " + job->errorString().toStdString()};
    if (answered)
        answered(*job);
    return {true, {}};
}

QString keyOfPassphrase(const std::string& place)
{
    return QString::fromStdString("sync key@" + place);
}

KeyringAnswer storeSecret(const QString& name, const std::string& secret)
{
    auto* job = new QKeychain::WritePasswordJob(Service);
    job->setKey(name);
    job->setTextData(QString::fromStdString(secret));
    return finish(job);
}

std::optional<std::string> readSecret(const QString& name, KeyringAnswer* answer)
{
    auto* job = new QKeychain::ReadPasswordJob(Service);
    job->setKey(name);
    std::optional<std::string> secret;
    const KeyringAnswer result = finish(job, [&secret](QKeychain::Job& ended) {
        secret = static_cast<QKeychain::ReadPasswordJob&>(ended).textData().toStdString();
    });
    if (answer)
        *answer = result;
    return secret;
}

KeyringAnswer forgetSecret(const QString& name)
{
    auto* job = new QKeychain::DeletePasswordJob(Service);
    job->setKey(name);
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
