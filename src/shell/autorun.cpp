// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/autorun.h"

#include "base/files.h"
#include "base/text.h"
#include "shell/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <glib.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>

namespace {

constexpr const char* entryGroup = "Desktop Entry";
// A desktop entry is a few lines; anything past this is not ours.
constexpr std::size_t largestEntry = 64 * 1024;
constexpr std::string_view reservedInArgument = " \t\n\"'\\><~|&;$*?#()`";
constexpr std::string_view escapedInQuotes = "\"`$\\";

std::string quoteArgument(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(reservedInArgument) == std::string::npos)
        return argument;
    std::string quoted = "\"";
    for (char c : argument) {
        if (escapedInQuotes.find(c) != std::string_view::npos)
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

// Field codes start with '%', so a literal one is doubled.
std::string escapePercent(const std::string& value)
{
    std::string escaped;
    for (char c : value) {
        escaped += c;
        if (c == '%')
            escaped += '%';
    }
    return escaped;
}

using KeyFile = std::unique_ptr<GKeyFile, decltype(&g_key_file_free)>;

KeyFile newKeyFile()
{
    return KeyFile(g_key_file_new(), &g_key_file_free);
}

// A string value of the main group with its escapes undone by the Desktop Entry rules; nothing
// when the file does not parse as a desktop entry or the key is missing or not UTF-8.
std::optional<std::string> entryString(const std::string& data, const char* key)
{
    KeyFile file = newKeyFile();
    if (!g_key_file_load_from_data(file.get(), data.data(), data.size(), G_KEY_FILE_NONE, nullptr))
        return std::nullopt;
    gchar* value = g_key_file_get_string(file.get(), entryGroup, key, nullptr);
    if (!value)
        return std::nullopt;
    std::string copy(value);
    g_free(value);
    return copy;
}

}  // namespace

std::string autorunEntryPath()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        return {};
    return config.toStdString() + "/autostart/varnelo.desktop";
}

std::string autorunCommandLine(const std::string& executable)
{
    return quoteArgument(executable) + " /tray";
}

bool writeAutorunEntry(const std::string& executable)
{
    const std::string path = autorunEntryPath();
    if (path.empty())
        return false;
    QDir().mkpath(QString::fromStdString(path.substr(0, path.find_last_of('/'))));
    KeyFile entry = newKeyFile();
    g_key_file_set_string(entry.get(), entryGroup, "Type", "Application");
    g_key_file_set_string(entry.get(), entryGroup, "Name", "Varnelo");
    g_key_file_set_string(entry.get(), entryGroup, "Exec", escapePercent(autorunCommandLine(executable)).c_str());
    gsize length = 0;
    gchar* text = g_key_file_to_data(entry.get(), &length, nullptr);
    const std::string contents(text, length);
    g_free(text);
    return replaceFileContents(path, contents, NewFileMode::UserDocument);
}

bool removeAutorunEntry()
{
    const std::string path = autorunEntryPath();
    if (path.empty())
        return true;
    return std::remove(path.c_str()) == 0 || !QFileInfo::exists(QString::fromStdString(path));
}

std::string readAutorunCommandLine()
{
    const std::optional<std::string> entry = readRegularFile(autorunEntryPath(), largestEntry);
    if (!entry)
        return {};
    return entryString(*entry, "Exec").value_or(std::string());
}

bool autorunEntryActive()
{
    return !trimControl(readAutorunCommandLine()).empty();
}

std::vector<std::string> splitCommandLine(const std::string& commandLine)
{
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (std::size_t i = 0; i < commandLine.size(); ++i) {
        const char c = commandLine[i];
        if (c == '%' && i + 1 < commandLine.size() && commandLine[i + 1] == '%') {
            current += c;
            inArgument = true;
            ++i;
        } else if (quoted && c == '\\' && i + 1 < commandLine.size()) {
            current += commandLine[++i];
        } else if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inArgument)
                arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        arguments.push_back(current);
    return arguments;
}
