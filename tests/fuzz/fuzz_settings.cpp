// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file and the autostart entry: LoadSettings on the fuzzed bytes as the settings file,
// and the autostart readers with the same bytes as autostart/varnelo.desktop. Flags written into
// whatever the file held read back as written.

#include "fuzzsupport.h"

#include "shell/appsettings.h"
#include "shell/autorun.h"

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

struct Ground {
    FuzzFolder folder;
    std::string settings = folder.path("varnelo.INI");
    std::string entry;

    Ground()
    {
        const std::string config = folder.path("config");
        std::filesystem::create_directories(config + "/autostart");
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        entry = autorunEntryPath();
        FUZZ_CHECK(entry == config + "/autostart/varnelo.desktop");
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ground<Ground>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Ground& g = ground<Ground>();
    writeInput(g.settings, data, size);
    writeInput(g.entry, data, size);

    const std::string commandLine = readAutorunCommandLine();
    const bool active = autorunEntryActive();
    // Active means an Exec that holds more than blanks and control characters.
    FUZZ_CHECK(active == std::any_of(commandLine.begin(), commandLine.end(), [](char c) {
                   return static_cast<unsigned char>(c) > ' ';
               }));
    splitCommandLine(commandLine);

    SettingsRecord loaded;
    LoadSettings(loaded, g.settings);
    // The entry can only turn autorun off.
    FUZZ_CHECK(active || !loaded.autorun);

    // Each flag the opposite of what was read, so that a write that took no effect shows.
    const SettingsRecord wanted{!loaded.autorun, !loaded.closetray, !loaded.minitray, !loaded.autohide, !loaded.always};
    writeIniFlags(g.settings, "Settings",
                  {{"autorun", wanted.autorun},
                   {"closetray", wanted.closetray},
                   {"minitray", wanted.minitray},
                   {"autohide", wanted.autohide},
                   {"always", wanted.always}});
    SettingsRecord reread;
    LoadSettings(reread, g.settings);
    FUZZ_CHECK(reread.autorun == (wanted.autorun && active));
    FUZZ_CHECK(reread.closetray == wanted.closetray && reread.minitray == wanted.minitray
               && reread.autohide == wanted.autohide && reread.always == wanted.always);
    return 0;
}
