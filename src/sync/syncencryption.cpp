// SPDX-License-Identifier: GPL-3.0-or-later
#include "syncencryption.h"

#include "synctransport.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <sodium.h>

#include <stdexcept>

namespace {

const QByteArray checkText = "varnelo sync key check";

void startSodium()
{
    if (sodium_init() < 0)
        throw SyncError("The encryption library (libsodium) cannot start on this machine.");
}

QByteArray deriveKey(const std::string& passphrase, const QByteArray& salt, unsigned long long ops, std::size_t mem,
                     SyncKey& key)
{
    if (salt.size() != crypto_pwhash_SALTBYTES)
        throw SyncError("The place's encryption marker is damaged (its salt).");
    if (crypto_pwhash(key.bytes.data(), key.bytes.size(), passphrase.data(), passphrase.size(),
                      reinterpret_cast<const unsigned char*>(salt.data()), ops, mem, crypto_pwhash_ALG_ARGON2ID13)
        != 0)
        throw SyncError("This machine has not enough memory to derive the sync key from the passphrase.");
    return salt;
}

// The check text sealed with the key: whoever opens it holds the same key.
QByteArray sealCheck(const SyncKey& key)
{
    QByteArray sealed(crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + checkText.size(), '\0');
    auto* nonce = reinterpret_cast<unsigned char*>(sealed.data());
    randombytes_buf(nonce, crypto_secretbox_NONCEBYTES);
    crypto_secretbox_easy(nonce + crypto_secretbox_NONCEBYTES, reinterpret_cast<const unsigned char*>(checkText.data()),
                          checkText.size(), nonce, key.bytes.data());
    return sealed;
}

bool opensCheck(const QByteArray& sealed, const SyncKey& key)
{
    if (sealed.size() != crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + checkText.size())
        return false;
    QByteArray opened(checkText.size(), '\0');
    const auto* nonce = reinterpret_cast<const unsigned char*>(sealed.constData());
    return crypto_secretbox_open_easy(reinterpret_cast<unsigned char*>(opened.data()),
                                      nonce + crypto_secretbox_NONCEBYTES, sealed.size() - crypto_secretbox_NONCEBYTES,
                                      nonce, key.bytes.data())
               == 0
           && opened == checkText;
}

struct Marker {
    QByteArray salt;
    unsigned long long ops = 0;
    std::size_t mem = 0;
    QByteArray check;
};

Marker readMarker(const QByteArray& bytes)
{
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    Marker marker;
    marker.salt = QByteArray::fromBase64(object.value("salt").toString().toLatin1());
    marker.check = QByteArray::fromBase64(object.value("check").toString().toLatin1());
    const qint64 ops = object.value("ops").toInteger(-1), mem = object.value("mem").toInteger(-1);
    // Within libsodium's bounds and this program's memory limit, so a marker cannot make a device
    // spend hours or gigabytes on the key.
    if (object.value("kdf").toString() != "argon2id13" || ops < static_cast<qint64>(crypto_pwhash_OPSLIMIT_MIN)
        || ops > 16 || mem < static_cast<qint64>(crypto_pwhash_MEMLIMIT_MIN) || mem > (256LL << 20))
        throw SyncError("The place's encryption marker \"Varnelo/encryption\" is not one Varnelo can use.");
    marker.ops = static_cast<unsigned long long>(ops);
    marker.mem = static_cast<std::size_t>(mem);
    return marker;
}

}  // namespace

std::string SyncKey::toBase64() const
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), bytes.size()).toBase64().toStdString();
}

std::optional<SyncKey> SyncKey::fromBase64(const std::string& text)
{
    const QByteArray raw = QByteArray::fromBase64(QByteArray::fromStdString(text));
    if (raw.size() != static_cast<qsizetype>(SyncKey().bytes.size()))
        return std::nullopt;
    SyncKey key;
    std::copy(raw.begin(), raw.end(), key.bytes.begin());
    return key;
}

QByteArray newEncryptionSalt()
{
    startSodium();
    QByteArray salt(crypto_pwhash_SALTBYTES, '\0');
    randombytes_buf(salt.data(), salt.size());
    return salt;
}

SyncKey newEncryptionKey(const std::string& passphrase, const QByteArray& salt)
{
    startSodium();
    SyncKey key;
    deriveKey(passphrase, salt, crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE, key);
    return key;
}

QByteArray newEncryptionMarker(const QByteArray& salt, const SyncKey& key)
{
    startSodium();
    const QJsonObject marker{{"varnelo-encryption", 1},
                             {"kdf", "argon2id13"},
                             {"ops", static_cast<qint64>(crypto_pwhash_OPSLIMIT_INTERACTIVE)},
                             {"mem", static_cast<qint64>(crypto_pwhash_MEMLIMIT_INTERACTIVE)},
                             {"salt", QString::fromLatin1(salt.toBase64())},
                             {"check", QString::fromLatin1(sealCheck(key).toBase64())}};
    return QJsonDocument(marker).toJson(QJsonDocument::Compact);
}

std::optional<SyncKey> keyFromMarker(const QByteArray& bytes, const std::string& passphrase)
{
    startSodium();
    const Marker marker = readMarker(bytes);
    SyncKey key;
    deriveKey(passphrase, marker.salt, marker.ops, marker.mem, key);
    if (!opensCheck(marker.check, key))
        return std::nullopt;
    return key;
}

bool keyFitsMarker(const QByteArray& bytes, const SyncKey& key)
{
    startSodium();
    return opensCheck(readMarker(bytes).check, key);
}
