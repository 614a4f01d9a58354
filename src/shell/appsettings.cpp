// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/appsettings.h"

#include "base/files.h"
#include "base/text.h"
#include "shell/autorun.h"
#include "shell/paths.h"

#include <SimpleIni.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

SettingsRecord AppSettings;

namespace {

constexpr const char* settingsSection = "Settings";
constexpr std::size_t longestValue = 2047;
// A settings file is a few hundred bytes; anything past this is not one.
constexpr std::size_t largestSettingsFile = 1024 * 1024;
constexpr std::string_view utf8Signature = "\xEF\xBB\xBF";

// The settings writer reads a file line by line; two things SimpleIni reads otherwise are made
// plain lines first, so that a key written is the key read. SimpleIni ends the file at a NUL byte
// (it becomes a byte that is neither blank nor syntax), and a '[' that no ']' closes on its line
// puts the keys below it into a section of no name, or joins the next line as the name (the line
// becomes a comment).
void asWrittenLines(std::string& data)
{
    std::replace(data.begin(), data.end(), '\0', '\x01');
    std::size_t at = data.rfind(utf8Signature, 0) == 0 ? utf8Signature.size() : 0;
    while (at < data.size()) {
        const std::size_t end = std::min(data.find_first_of("\r\n", at), data.size());
        const std::size_t first = data.find_first_not_of(" \t", at);
        if (first < end && data[first] == '[' && data.find(']', first) >= end)
            data[first] = ';';
        at = end + 1;
    }
}

// "1 ; note": a ';' or '#' after a blank starts a comment that is no part of the value; blanks
// around the value are not either.
std::string withoutInlineComment(std::string_view value)
{
    std::size_t end = value.size();
    for (std::size_t i = 1; i < value.size(); ++i)
        if ((value[i] == ';' || value[i] == '#') && (value[i - 1] == ' ' || value[i - 1] == '\t')) {
            end = i;
            break;
        }
    const std::size_t first = value.find_first_not_of(" \t");
    const std::size_t last = value.find_last_not_of(" \t", end == 0 ? 0 : end - 1);
    if (first == std::string_view::npos || first >= end || last == std::string_view::npos)
        return {};
    return std::string(value.substr(first, last - first + 1));
}

bool sameAsciiLetters(const std::string& a, const std::string& b)
{
    return lowerAscii(a) == lowerAscii(b);
}

// Windows-style profile: case-insensitive names; with duplicates the first one counts.
class ProfileFile {
public:
    ProfileFile() : ini(false, true, false) {}

    // False when the file exists but cannot be read; a missing file is an empty profile.
    bool load(const std::string& path)
    {
        std::string data;
        const ReadResult read = readRegularFile(path, largestSettingsFile, data);
        if (read != ReadResult::Read)
            return read == ReadResult::Missing;
        asWrittenLines(data);
        return ini.LoadData(data) >= 0;
    }

    bool flag(const std::string& section, const std::string& key, bool defaultValue) const
    {
        const char* text = ini.GetValue(section.c_str(), key.c_str(), nullptr);
        int value = 0;
        if (!text || !parseProfileInt(withoutInlineComment(text).substr(0, longestValue), value))
            return defaultValue;
        return value != 0;
    }

    std::string text(const std::string& section, const std::string& key, const std::string& defaultValue) const
    {
        const char* value = ini.GetValue(section.c_str(), key.c_str(), nullptr);
        return value ? std::string(value).substr(0, longestValue) : defaultValue;
    }

    bool hasSection(const std::string& section) const { return ini.GetSection(section.c_str()) != nullptr; }

    std::vector<std::pair<std::string, std::string>> keys(const std::string& section) const
    {
        CSimpleIniA::TNamesDepend names;
        ini.GetAllKeys(section.c_str(), names);
        names.sort(CSimpleIniA::Entry::LoadOrder());
        std::vector<std::pair<std::string, std::string>> found;
        for (const auto& name : names)
            if (found.end() == std::find_if(found.begin(), found.end(), [&](const auto& kept) {
                    return sameAsciiLetters(kept.first, name.pItem);
                }))
                found.emplace_back(name.pItem, text(section, name.pItem, {}));
        return found;
    }

private:
    CSimpleIniA ini;
};

// The settings file edited line by line, so that saving changes nothing but the values written:
// comments, blank lines, spacing, duplicates, lines that are no key, the spelling of names and the
// line breaks all stay. Lines are told apart as SimpleIni reads them, so the line changed for a
// key is the line that LoadSettings reads for it.
class ProfileLines {
public:
    explicit ProfileLines(const std::string& text)
    {
        std::size_t at = 0;
        if (text.rfind(utf8Signature, 0) == 0) {
            signature = utf8Signature;
            at = signature.size();
        }
        while (at < text.size()) {
            const std::size_t end = text.find_first_of("\r\n", at);
            if (end == std::string::npos) {
                lines.push_back({text.substr(at), ""});
                break;
            }
            const std::size_t width = (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
            lines.push_back({text.substr(at, end - at), text.substr(end, width)});
            if (lineBreak.empty())
                lineBreak = lines.back().ending;
            at = end + width;
        }
        // assign() rather than = "\n": GCC 12 warns falsely (-Wrestrict) about the latter in Release.
        if (lineBreak.empty())
            lineBreak.assign(1, '\n');
    }

    // Changes the value of the key's first line in its section, else adds the key after the last
    // key line of the section's first occurrence, else adds the section at the end of the file.
    void setValue(const std::string& section, const std::string& key, const std::string& value)
    {
        std::optional<std::size_t> firstHeader;
        std::optional<std::size_t> lastKeyOfFirst;
        bool inSection = false;
        bool inFirst = false;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Parsed line = parse(lines[i].content);
            if (line.kind == Parsed::Section) {
                inSection = sameName(line.name, section);
                inFirst = inSection && !firstHeader;
                if (inFirst)
                    firstHeader = i;
            } else if (line.kind == Parsed::Key && inSection) {
                if (sameName(line.name, key)) {
                    lines[i].content.replace(line.valueStart, line.valueEnd - line.valueStart, value);
                    return;
                }
                if (inFirst)
                    lastKeyOfFirst = i;
            }
        }
        if (firstHeader) {
            insertAfter(lastKeyOfFirst.value_or(*firstHeader), {key + "=" + value});
            return;
        }
        const std::size_t count = lines.size();
        const std::vector<std::string> added{"[" + section + "]", key + "=" + value};
        if (count == 0) {
            for (const std::string& content : added)
                lines.push_back({content, lineBreak});
            return;
        }
        insertAfter(count - 1, added);
    }

    // Drops every occurrence of the section: its header and each line up to the next header.
    void removeSection(const std::string& section)
    {
        bool inSection = false;
        std::vector<Line> kept;
        for (const Line& line : lines) {
            const Parsed parsed = parse(line.content);
            if (parsed.kind == Parsed::Section)
                inSection = sameName(parsed.name, section);
            if (!inSection)
                kept.push_back(line);
        }
        lines = std::move(kept);
    }

    std::string text() const
    {
        std::string joined = signature;
        for (const Line& line : lines)
            joined += line.content + line.ending;
        return joined;
    }

private:
    struct Line {
        std::string content;
        std::string ending;
    };

    struct Parsed {
        enum Kind { Other, Section, Key } kind = Other;
        std::string name;
        std::size_t valueStart = 0;
        std::size_t valueEnd = 0;
    };

    static bool isBlank(char c) { return c == ' ' || c == '\t'; }

    static bool sameName(const std::string& a, const std::string& b)
    {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        return a.size() == b.size()
               && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
    }

    static std::size_t skipBlanks(const std::string& text, std::size_t at)
    {
        while (at < text.size() && isBlank(text[at]))
            ++at;
        return at;
    }

    static std::size_t trimBlanksBefore(const std::string& text, std::size_t start, std::size_t end)
    {
        while (end > start && isBlank(text[end - 1]))
            --end;
        return end;
    }

    // SimpleIni's rules: ';' and '#' open comments, "[name]" opens a section (text after ']' is
    // ignored), "key=value" with blanks around both trimmed; anything else is passed over.
    static Parsed parse(const std::string& text)
    {
        Parsed line;
        const std::size_t start = skipBlanks(text, 0);
        if (start == text.size() || text[start] == ';' || text[start] == '#')
            return line;
        if (text[start] == '[') {
            const std::size_t close = text.find(']', start);
            if (close == std::string::npos)
                return line;
            const std::size_t nameStart = skipBlanks(text, start + 1);
            line.kind = Parsed::Section;
            line.name = text.substr(nameStart, trimBlanksBefore(text, nameStart, close) - nameStart);
            return line;
        }
        const std::size_t equals = text.find('=', start);
        if (equals == std::string::npos || equals == start)
            return line;
        line.kind = Parsed::Key;
        line.name = text.substr(start, trimBlanksBefore(text, start, equals) - start);
        line.valueStart = skipBlanks(text, equals + 1);
        const std::size_t valueSize = withoutInlineComment(text.substr(line.valueStart)).size();
        line.valueEnd = line.valueStart + valueSize;
        return line;
    }

    // A file that ended without a line break still does.
    void insertAfter(std::size_t index, const std::vector<std::string>& added)
    {
        std::string lastEnding = lines[index].ending;
        if (lastEnding.empty())
            lines[index].ending = lineBreak;
        std::vector<Line> inserted;
        for (std::size_t k = 0; k < added.size(); ++k)
            inserted.push_back({added[k], k + 1 == added.size() ? lastEnding : lineBreak});
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(index) + 1, inserted.begin(), inserted.end());
    }

    std::string signature;
    std::string lineBreak;
    std::vector<Line> lines;
};

[[noreturn]] void unableToWrite(const std::string& path)
{
    throw std::runtime_error("Unable to write to " + path);
}

// A file marked read-only stays unwritten even for a user whom the system would let through.
bool fileRefusesWrites(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return errno != ENOENT;
    if (!S_ISREG(info.st_mode))
        return true;
    return (info.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
}

bool hexDigit(char c, unsigned& digit)
{
    if (c >= '0' && c <= '9')
        digit = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f')
        digit = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
        digit = static_cast<unsigned>(c - 'A' + 10);
    else
        return false;
    return true;
}

bool parseHex(const std::string& digits, int& value)
{
    uint64_t total = 0;
    for (char c : digits) {
        unsigned digit = 0;
        if (!hexDigit(c, digit))
            return false;
        total = total * 16 + digit;
        if (total > 0xFFFFFFFFu)
            return false;
    }
    value = static_cast<int>(static_cast<uint32_t>(total));
    return true;
}

bool parseDecimal(const std::string& text, int& value)
{
    std::size_t start = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (start == text.size())
        return false;
    int64_t total = 0;
    for (std::size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        total = total * 10 + (text[i] - '0');
        if (total > int64_t(INT32_MAX) + 1)
            return false;
    }
    if (text[0] == '-')
        total = -total;
    if (total > INT32_MAX)
        return false;
    value = static_cast<int>(total);
    return true;
}

}  // namespace

bool parseProfileInt(const std::string& text, int& value)
{
    if (text.empty())
        return false;
    if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return parseHex(text.substr(2), value);
    return parseDecimal(text, value);
}

bool readIniFlag(const std::string& iniPath, const std::string& section, const std::string& key, bool defaultValue)
{
    ProfileFile profile;
    if (!profile.load(iniPath))
        return defaultValue;
    return profile.flag(section, key, defaultValue);
}

void writeIniFlags(const std::string& iniPath, const std::string& section,
                   const std::vector<std::pair<std::string, bool>>& keys)
{
    std::vector<std::pair<std::string, std::string>> texts;
    for (const auto& [key, on] : keys)
        texts.emplace_back(key, on ? "1" : "0");
    writeIniTexts(iniPath, section, texts);
}

std::string readIniText(const std::string& iniPath, const std::string& section, const std::string& key,
                        const std::string& defaultValue)
{
    ProfileFile profile;
    if (!profile.load(iniPath))
        return defaultValue;
    return profile.text(section, key, defaultValue);
}

void writeIniTexts(const std::string& iniPath, const std::string& section,
                   const std::vector<std::pair<std::string, std::string>>& keys)
{
    const std::string target = fileWrittenFor(iniPath);
    std::string original;
    if (fileRefusesWrites(target) || readRegularFile(target, largestSettingsFile, original) == ReadResult::Refused)
        unableToWrite(iniPath);
    ProfileLines profile(original);
    for (const auto& [key, value] : keys)
        if (value.find_first_of("\r\n") == std::string::npos)
            profile.setValue(section, key, value);
    if (!replaceFileContents(target, profile.text(), NewFileMode::UserDocument))
        unableToWrite(iniPath);
}

std::vector<std::pair<std::string, std::string>> readIniSection(const std::string& iniPath, const std::string& section)
{
    ProfileFile profile;
    if (!profile.load(iniPath) || !profile.hasSection(section))
        return {};
    return profile.keys(section);
}

bool iniHasSection(const std::string& iniPath, const std::string& section)
{
    ProfileFile profile;
    return profile.load(iniPath) && profile.hasSection(section);
}

void removeIniSection(const std::string& iniPath, const std::string& section)
{
    const std::string target = fileWrittenFor(iniPath);
    std::string original;
    if (fileRefusesWrites(target) || readRegularFile(target, largestSettingsFile, original) != ReadResult::Read)
        unableToWrite(iniPath);
    ProfileLines profile(original);
    profile.removeSection(section);
    if (!replaceFileContents(target, profile.text(), NewFileMode::UserDocument))
        unableToWrite(iniPath);
}

bool LoadSettings(SettingsRecord& settings, const std::string& iniPath)
{
    // An unreadable file reads like a missing one: every flag takes its default.
    ProfileFile profile;
    profile.load(iniPath);
    settings.autorun = profile.flag(settingsSection, "autorun", true);
    settings.closetray = profile.flag(settingsSection, "closetray", true);
    settings.minitray = profile.flag(settingsSection, "minitray", true);
    settings.autohide = profile.flag(settingsSection, "autohide", false);
    settings.always = profile.flag(settingsSection, "always", true);
    // The autostart entry can only turn autorun off: both stores must agree that it is on.
    if (!autorunEntryActive())
        settings.autorun = false;
    return true;
}

bool SaveSettings(const SettingsRecord& settings, const std::string& iniPath)
{
    writeIniFlags(iniPath, settingsSection,
                  {{"autorun", settings.autorun},
                   {"closetray", settings.closetray},
                   {"minitray", settings.minitray},
                   {"autohide", settings.autohide},
                   {"always", settings.always}});
    // Like the rest of the desktop integration, a refused autostart entry is not an error here:
    // the next load shows autorun off.
    if (settings.autorun)
        writeAutorunEntry(executablePath());
    else
        removeAutorunEntry();
    return true;
}
