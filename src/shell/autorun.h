// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

// Starting with the desktop session: an XDG autostart entry that runs the executable with "/tray".

// $XDG_CONFIG_HOME/autostart/varnelo.desktop (~/.config when unset).
std::string autorunEntryPath();

// The Exec value for the executable: its path, quoted by the Desktop Entry rules when it holds
// blanks or reserved characters, then " /tray".
std::string autorunCommandLine(const std::string& executable);

// Creates or replaces the entry; false when it could not be written.
bool writeAutorunEntry(const std::string& executable);
// Removes the entry; a missing entry is no failure.
bool removeAutorunEntry();

// The entry's Exec value with its escapes undone by the Desktop Entry rules; "" when there is no
// entry, it is no valid desktop entry, or it has no Exec.
std::string readAutorunCommandLine();
// True when the entry exists and its Exec holds more than blanks and control characters.
bool autorunEntryActive();

// Splits an Exec value into its arguments, undoing the quoting of autorunCommandLine.
std::vector<std::string> splitCommandLine(const std::string& commandLine);
