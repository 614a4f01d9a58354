// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/ownsections.h"

#include "shell/appsettings.h"
#include "shell/backupsettings.h"
#include "shell/paths.h"

#include <stdexcept>
#include <utility>

namespace {

struct OwnSection {
    const char* name;
    std::string (*destination)();
};

// "Content" is the content index's section (content/contentsettings.h), named here since the
// settings file's own floor does not reach the index.
const OwnSection ownSections[] = {
    {"Window", windowStateFilePath},
    {"Folders", windowStateFilePath},
    {"Content", optionsFilePath},
    {backupSettingsSection, optionsFilePath},
};

}  // namespace

void moveOwnSectionsOut(const std::string& iniPath)
{
    for (const OwnSection& section : ownSections) {
        if (!iniHasSection(iniPath, section.name))
            continue;
        const std::string destination = section.destination();
        if (destination.empty())
            continue;
        try {
            writeIniTexts(destination, section.name, readIniSection(iniPath, section.name));
            removeIniSection(iniPath, section.name);
        } catch (const std::runtime_error&) {
            // Tried again at the next start; meanwhile the defaults apply.
        }
    }
}
