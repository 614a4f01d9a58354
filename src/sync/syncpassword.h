// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

// The sync password lives in the desktop's keyring (Secret Service or KWallet), never in a file.
// Each call waits for the keyring's answer, so it needs a running Qt application.
struct KeyringAnswer {
    bool ok = false;
    // Why the keyring did not answer, for the user; empty when it did.
    std::string problem;
};

// The entry belongs to one place and user.
KeyringAnswer storeSyncPassword(const std::string& place, const std::string& user, const std::string& password);
// nullopt with the problem when there is none or no keyring answered.
std::optional<std::string> readSyncPassword(const std::string& place, const std::string& user,
                                            KeyringAnswer* answer = nullptr);
KeyringAnswer forgetSyncPassword(const std::string& place, const std::string& user);

// The key of an encrypted place (from its passphrase, base64 as SyncKey::toBase64 gives it) is kept in
// the keyring the same way, one per place, so the passphrase is asked once.
KeyringAnswer storeSyncKey(const std::string& place, const std::string& key);
std::optional<std::string> readSyncKey(const std::string& place, KeyringAnswer* answer = nullptr);
KeyringAnswer forgetSyncKey(const std::string& place);
