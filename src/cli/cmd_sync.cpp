// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cliapp.h"

#include "base/files.h"
#include "sync/syncbackup.h"
#include "sync/syncengine.h"

#include <QCoreApplication>

#include <iostream>
#include <memory>

namespace {

// A secret is a line, not a file: /dev/zero or a FIFO named instead is refused, not read for good.
constexpr std::size_t largestSecretFile = 64 * 1024;

// The first line of a file the user names; what names it says in the message.
std::string secretFrom(const std::string& file, const char* what)
{
    std::string contents;
    if (readRegularFile(file, largestSecretFile, contents) != ReadResult::Read || contents.empty())
        throw Failure(std::string("cannot read the ") + what + " file \"" + file + "\" (a text file of at most "
                      + std::to_string(largestSecretFile / 1024) + " KiB)");
    std::string password = contents.substr(0, contents.find('\n'));
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return password;
}

int sync(Invocation& run)
{
    // The network needs an event loop; the rest of the command line does not start one.
    std::unique_ptr<QCoreApplication> application;
    static int argc = 1;
    static char name[] = "varnelo-cli";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        application = std::make_unique<QCoreApplication>(argc, argv);

    const std::string& db = run.databasePath();
    run.closeCatalogue();
    SyncSettings settings = loadSyncSettings(db);
    bool changed = false;
    if (auto place = run.value("place")) {
        settings.place = *place;
        changed = true;
    }
    if (auto user = run.value("user")) {
        settings.user = *user;
        changed = true;
    }
    if (changed)
        saveSyncSettings(db, settings);

    SyncPlace place{settings.place, settings.user, {}, 30};
    if (auto file = run.value("password-file"))
        place.password = secretFrom(*file, "password");
    SyncOptions options;
    options.machineName = settings.machineName;
    options.documentFolders = settings.documentFolders;
    options.allowMassDelete = run.has("confirm-deletions");
    options.backup = backupBeforeSync;
    if (auto file = run.value("passphrase-file")) {
        options.passphrase = secretFrom(*file, "passphrase");
        if (options.passphrase.empty())
            throw Failure("the passphrase file \"" + *file + "\" holds an empty passphrase");
    }

    SyncReport report;
    try {
        auto transport = openTransport(place);
        report = synchronize(db, *transport, options);
    } catch (const SyncError& error) {
        throw Failure(error.what());
    }
    // Warnings go beside the output, which stays one record per line.
    for (const std::string& warning : report.warnings)
        std::cerr << "varnelo-cli: " << warning << '\n';
    if (report.needsConfirmation)
        throw Failure(report.error + " Run again with --confirm-deletions to go ahead.");
    if (!report.ok)
        throw Failure(report.error);
    run.noteStored();
    // --json keeps the record for scripts; a person reads what happened in words.
    if (run.out().json())
        run.out().print({{"received", static_cast<long long>(report.changesReceived)},
                         {"sent", static_cast<long long>(report.changesSent)},
                         {"changed", report.catalogueChanged ? std::string("yes") : std::string("no")}});
    else
        run.out().text("received " + std::to_string(report.changesReceived) + ", sent "
                       + std::to_string(report.changesSent) + ", "
                       + (report.catalogueChanged ? "the catalogue here changed" : "nothing changed here"));
    return ExitSuccess;
}

}  // namespace

extern const Subcommand cmd_sync = {
    "sync",
    "[--place PLACE] [--user USER] [--password-file FILE] [--passphrase-file FILE] [--confirm-deletions]",
    "Sync the catalogue once with its other devices through a folder or a WebDAV server",
    {{"place", "PLACE", "a folder or an http(s):// WebDAV address; kept for later syncs"},
     {"user", "USER", "the WebDAV user name; kept for later syncs"},
     {"password-file", "FILE", "read the WebDAV password from the file's first line (never stored)"},
     {"passphrase-file", "FILE",
      "read the sync passphrase from the file's first line (never stored): the place's files are encrypted with "
      "it, and a place without encryption gets it"},
     {"confirm-deletions", nullptr, "go ahead with a merge that deletes more than a quarter of the items"}},
    0,
    0,
    sync};
