// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/contentaccess.h"
#include "connector/connectorhost.h"
#include "connector/hostmanifests.h"
#include "content/keptpages.h"
#include "shell/paths.h"
#include "shell/singleinstance.h"

#include <unistd.h>

namespace {

int install(Invocation& run)
{
    std::vector<std::string> arguments;
    if (run.databasePath() != databaseFilePath())
        arguments = {"--db", run.databasePath()};
    try {
        for (const connector::InstalledManifest& each : connector::installHostManifests(executablePath(), arguments))
            run.out().print({{"browser", each.browser}, {"manifest", each.path}});
    } catch (const OutputFailure&) {
        throw;
    } catch (const std::runtime_error& error) {
        throw Failure(error.what());
    }
    return ExitSuccess;
}

// Without a cache folder the copies are still kept; only their indexing waits.
content::IndexerSetup contentFor(Invocation& run)
{
    try {
        return contentSetup(run);
    } catch (const Failure&) {
        content::IndexerSetup setup;
        setup.cataloguePath = run.databasePath();
        setup.pagesFolder = content::keptPagesFolder();
        return setup;
    }
}

// Browsers start the host with arguments of their own (the manifest's path and the extension's id, or
// the extension's origin); the manifest already says which extensions may, so they are not needed.
int connectorCommand(Invocation& run)
{
    if (run.has("install"))
        return install(run);
    const std::unique_ptr<QCoreApplication> application = eventLoopApplication();
    connector::ConnectorHost host({run.databasePath(), contentFor(run), SingleInstance::defaultServerName()});
    connector::NativeMessaging channel(STDIN_FILENO, STDOUT_FILENO);
    host.serve(channel);
    return ExitSuccess;
}

}  // namespace

extern const Subcommand cmd_connector = {
    "connector",
    "[--install] [BROWSER-ARGUMENT...]",
    "The browser extension's host, speaking native messaging on stdin and stdout; --install makes it known to "
    "Firefox, Chromium, Chrome, Brave and Vivaldi",
    {{"install", nullptr, "write the host's manifests into the user's browser folders and print where"}},
    0,
    2,
    connectorCommand};
