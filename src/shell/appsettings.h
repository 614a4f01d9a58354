// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

// The five flags of the "Settings" section; the defaults are those of a first start.
struct SettingsRecord {
    bool autorun = false;
    bool closetray = false;
    bool minitray = false;
    bool autohide = false;
    bool always = false;
};

extern SettingsRecord AppSettings;

// Fills the record from the settings file and the autorun entry; always true.
bool LoadSettings(SettingsRecord& settings, const std::string& iniPath);
// Writes all five flags, then creates or removes the autorun entry.
// Throws std::runtime_error("Unable to write to <path>") when the file cannot be written.
bool SaveSettings(const SettingsRecord& settings, const std::string& iniPath);

// One flag by the integer rule: not 0 is on; a missing, empty or unreadable value is the default.
bool readIniFlag(const std::string& iniPath, const std::string& section, const std::string& key, bool defaultValue);
// Writes each flag as "1" or "0": only the value on the line read for the key changes (a missing
// key or section is added); every other byte of the file stays. Throws like SaveSettings.
void writeIniFlags(const std::string& iniPath, const std::string& section,
                   const std::vector<std::pair<std::string, bool>>& keys);

// Texts of sections of our own (the window's place, the dialogs' folders): the value as written, or
// the default when the key is missing or the file unreadable.
std::string readIniText(const std::string& iniPath, const std::string& section, const std::string& key,
                        const std::string& defaultValue = {});
// As writeIniFlags, with the values as given; a value holding a line break is not written.
void writeIniTexts(const std::string& iniPath, const std::string& section,
                   const std::vector<std::pair<std::string, std::string>>& keys);

// Every key of a section with its value, in file order (the first of duplicates); empty when the
// section or the file is missing.
std::vector<std::pair<std::string, std::string>> readIniSection(const std::string& iniPath, const std::string& section);
bool iniHasSection(const std::string& iniPath, const std::string& section);
// Removes each occurrence of the section with its lines; every other byte stays. Throws like
// writeIniTexts.
void removeIniSection(const std::string& iniPath, const std::string& section);

// The integer rule itself: "0x"/"0X" and at least one more character is hexadecimal,
// anything else decimal with an optional sign; false when the text does not convert.
bool parseProfileInt(const std::string& text, int& value);
