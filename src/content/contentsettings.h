// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace content {

// The content index's switches, in a section of their own in our options file (optionsFilePath,
// "[Content]": index, keepPages, kinds, sizeCap); the designed settings file is never written here.
struct ContentSettings {
    bool indexFiles = true;  // read the text of file items
    // Fetch a kept copy of every web item's page: off until the user turns it on, since it fetches
    // every address in the catalogue.
    bool keepPages = false;
    unsigned kinds = 31;  // extract::wire::Kinds
    int sizeCapMb = 100;  // larger files are not read

    bool operator==(const ContentSettings&) const = default;
};

inline constexpr const char* contentSettingsSection = "Content";

// A missing or unreadable value takes its default.
ContentSettings loadContentSettings(const std::string& iniPath);
// Throws std::runtime_error("Unable to write to <path>") like the other settings.
void saveContentSettings(const ContentSettings& settings, const std::string& iniPath);

// "pdf,office,epub,html,text" and back; unknown names are left out.
std::string kindsText(unsigned kinds);
unsigned kindsFromText(const std::string& text);

}  // namespace content
