// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <array>
#include <optional>
#include <string>

// End-to-end encryption of the sync files, by the user's choice. A passphrase becomes a key through
// Argon2id with a salt kept in the place's marker file ("Varnelo/encryption"); every file is then one
// XChaCha20-Poly1305 secret stream (libsodium), so the place holds only ciphertext and file names.

// The key every device of the place derives from the same passphrase and salt.
struct SyncKey {
    std::array<unsigned char, 32> bytes{};
    // For the keyring, and back.
    std::string toBase64() const;
    static std::optional<SyncKey> fromBase64(const std::string& text);
};

inline constexpr const char* encryptionMarkerName = "encryption";

// A new marker for the place: a fresh salt, the key the passphrase gives with it (the slow part,
// which any thread may do), and the marker that names the salt and lets a device check its key.
QByteArray newEncryptionSalt();
SyncKey newEncryptionKey(const std::string& passphrase, const QByteArray& salt);
QByteArray newEncryptionMarker(const QByteArray& salt, const SyncKey& key);
// The key the passphrase gives with the place's marker; nullopt when it is not the passphrase the
// marker was made with. Raises SyncError when the marker is no marker of ours.
std::optional<SyncKey> keyFromMarker(const QByteArray& marker, const std::string& passphrase);
// Whether a key (from the keyring) is the one of the place's marker.
bool keyFitsMarker(const QByteArray& marker, const SyncKey& key);

// The first bytes of every encrypted sync file.
inline constexpr char encryptedMagic[] = "VRNLSE01";
inline constexpr std::size_t encryptedMagicSize = sizeof encryptedMagic - 1;
