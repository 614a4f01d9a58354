#include "shell/appsettings.h"

#include "base/files.h"
#include "shell/autorun.h"
#include "shell/paths.h"

#include <SimpleIni.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
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

// Windows-style profile: case-insensitive names; with duplicates the first one counts.
class ProfileFile {
public:
    ProfileFile() : ini(false, true, false) { ini.SetSpaces(false); }

    // False when the file exists but cannot be read; a missing file is an empty profile.
    bool load(const std::string& path)
    {
        std::string data;
        const ReadResult read = readRegularFile(path, largestSettingsFile, data);
        if (read != ReadResult::Read)
            return read == ReadResult::Missing;
        return ini.LoadData(data) >= 0;
    }

    bool flag(const std::string& section, const std::string& key, bool defaultValue) const
    {
        const char* text = ini.GetValue(section.c_str(), key.c_str(), nullptr);
        int value = 0;
        if (!text || !parseProfileInt(std::string(text).substr(0, longestValue), value))
            return defaultValue;
        return value != 0;
    }

    // A key already present keeps its spelling; only its value changes.
    void setFlag(const std::string& section, const std::string& key, bool on)
    {
        const std::string name = existingSpelling(section, key);
        ini.SetValue(section.c_str(), name.c_str(), on ? "1" : "0", nullptr, true);
    }

    bool save(std::string& out) const { return ini.Save(out, false) >= 0; }

private:
    std::string existingSpelling(const std::string& section, const std::string& key) const
    {
        CSimpleIniA::TNamesDepend keys;
        ini.GetAllKeys(section.c_str(), keys);
        const CSimpleIniA::Entry wanted(key.c_str());
        for (const CSimpleIniA::Entry& entry : keys)
            if (!CSimpleIniA::Entry::KeyOrder()(entry, wanted) && !CSimpleIniA::Entry::KeyOrder()(wanted, entry))
                return entry.pItem;
        return key;
    }

    CSimpleIniA ini;
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

// Writing through a symbolic link updates the file it points at, not the link.
std::string resolvedTarget(const std::string& path)
{
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(path, error)))
        return path;
    const fs::path target = fs::canonical(path, error);
    return error ? path : target.string();
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

} // namespace

bool parseProfileInt(const std::string& text, int& value)
{
    if (text.empty())
        return false;
    if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return parseHex(text.substr(2), value);
    return parseDecimal(text, value);
}

bool readIniFlag(const std::string& iniPath, const std::string& section, const std::string& key,
                 bool defaultValue)
{
    ProfileFile profile;
    if (!profile.load(iniPath))
        return defaultValue;
    return profile.flag(section, key, defaultValue);
}

void writeIniFlags(const std::string& iniPath, const std::string& section,
                   const std::vector<std::pair<std::string, bool>>& keys)
{
    const std::string target = resolvedTarget(iniPath);
    ProfileFile profile;
    if (fileRefusesWrites(target) || !profile.load(target))
        unableToWrite(iniPath);
    for (const auto& [key, on] : keys)
        profile.setFlag(section, key, on);
    std::string contents;
    if (!profile.save(contents) || !replaceFileContents(target, contents))
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
