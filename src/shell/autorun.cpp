#include "shell/autorun.h"

#include "base/files.h"
#include "shell/paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>

namespace {

constexpr std::string_view entryGroup = "[Desktop Entry]";
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

// The string-value escapes of the Desktop Entry format.
std::string escapeValue(const std::string& value)
{
    std::string escaped;
    for (char c : value) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '\n': escaped += "\\n"; break;
        case '\t': escaped += "\\t"; break;
        case '\r': escaped += "\\r"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string unescapeValue(std::string_view value)
{
    std::string plain;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            plain += value[i];
            continue;
        }
        switch (value[++i]) {
        case 's': plain += ' '; break;
        case 'n': plain += '\n'; break;
        case 't': plain += '\t'; break;
        case 'r': plain += '\r'; break;
        case '\\': plain += '\\'; break;
        default: plain += '\\'; plain += value[i];
        }
    }
    return plain;
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32)
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32)
        text.remove_suffix(1);
    return text;
}

// The raw value of key in the main group, if the line is there.
bool findEntryValue(std::istream& in, std::string_view key, std::string& value)
{
    bool inGroup = false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line.front() == '[') {
            inGroup = line == entryGroup;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inGroup || equals == std::string::npos)
            continue;
        if (trimBlanks(std::string_view(line).substr(0, equals)) != key)
            continue;
        std::string_view raw = std::string_view(line).substr(equals + 1);
        while (!raw.empty() && (raw.front() == ' ' || raw.front() == '\t'))
            raw.remove_prefix(1);
        value = unescapeValue(raw);
        return true;
    }
    return false;
}

} // namespace

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
    std::ostringstream entry;
    entry << entryGroup << '\n'
          << "Type=Application\n"
          << "Name=Varnelo\n"
          << "Exec=" << escapeValue(escapePercent(autorunCommandLine(executable))) << '\n';
    return replaceFileContents(path, entry.str());
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
    std::istringstream in(*entry);
    std::string value;
    if (!findEntryValue(in, "Exec", value))
        return {};
    return value;
}

bool autorunEntryActive()
{
    return !trimBlanks(readAutorunCommandLine()).empty();
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
