// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

namespace connector {

// The name browsers know the host by, and the extension each lets start it.
inline constexpr const char* hostName = "app.varnelo.connector";
inline constexpr const char* firefoxExtensionId = "connector@varnelo.app";
// Fixed by the public key in the extension's manifest.
inline constexpr const char* chromiumExtensionId = "jodofngddidefgdbbplahmcabnpmfbfi";

struct InstalledManifest {
    std::string browser;
    std::string path;
};

// Makes the host startable by the user's browsers: a launcher in the data folder
// (<data>/Varnelo/connector/varnelo-connector) that runs `cli` with `cliArguments` and then the
// browser's own arguments, and a manifest naming it in each browser's folder for the user's hosts
// (Firefox, Chromium, Chrome, Brave, Vivaldi). Raises std::runtime_error naming what could not be
// written.
std::vector<InstalledManifest> installHostManifests(const std::string& cli,
                                                    const std::vector<std::string>& cliArguments);

}  // namespace connector
