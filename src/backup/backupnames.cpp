// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/backupnames.h"

#include "base/text.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <set>
#include <tuple>

namespace autobackup {

namespace {

constexpr const char* dailyPrefix = "daily-";
constexpr const char* beforePrefix = "before-";
constexpr std::size_t stampLength = 19;  // 2026-12-10_06-30-00
constexpr std::size_t longestReason = 60;

bool digitsAt(const std::string& text, std::size_t at, std::size_t count, int& value)
{
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

std::optional<std::int64_t> parseStamp(const std::string& text, std::size_t at)
{
    std::tm parts{};
    int year, month, day, hour, minute, second;
    const char* separators = "--_--";
    const std::size_t positions[] = {4, 7, 10, 13, 16};
    for (int i = 0; i < 5; ++i)
        if (at + positions[i] >= text.size() || text[at + positions[i]] != separators[i])
            return std::nullopt;
    if (!digitsAt(text, at, 4, year) || !digitsAt(text, at + 5, 2, month) || !digitsAt(text, at + 8, 2, day)
        || !digitsAt(text, at + 11, 2, hour) || !digitsAt(text, at + 14, 2, minute)
        || !digitsAt(text, at + 17, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = second;
    const std::time_t time = ::timegm(&parts);
    // 31 February and the like normalise to another date: not a name we made.
    if (utcStamp(time, "%Y-%m-%d_%H-%M-%S") != text.substr(at, stampLength))
        return std::nullopt;
    return static_cast<std::int64_t>(time);
}

bool reasonByteAllowed(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-'
           || c == '_' || c >= 0x80;
}

// The reason as it can stand in a file name: blanks and anything a name should not hold become '_'.
std::string reasonForName(const std::string& reason)
{
    std::string slug;
    for (unsigned char c : reason)
        slug += reasonByteAllowed(c) ? static_cast<char>(c) : '_';
    slug = utf8Prefix(slug, longestReason);
    return slug.empty() ? std::string("command") : slug;
}

std::int64_t dayNumber(std::int64_t time)
{
    return time >= 0 ? time / secondsPerDay : (time - secondsPerDay + 1) / secondsPerDay;
}

// Weeks begin on Monday; the epoch was a Thursday.
std::int64_t weekNumber(std::int64_t time)
{
    const std::int64_t days = dayNumber(time) + 3;
    return days >= 0 ? days / 7 : (days - 6) / 7;
}

std::int64_t monthNumber(std::int64_t time)
{
    const std::time_t seconds = static_cast<std::time_t>(time);
    std::tm parts{};
    ::gmtime_r(&seconds, &parts);
    return static_cast<std::int64_t>(parts.tm_year) * 12 + parts.tm_mon;
}

}  // namespace

std::string utcStamp(std::int64_t time, const char* format)
{
    const std::time_t seconds = static_cast<std::time_t>(time);
    std::tm parts{};
    ::gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, format, &parts);
    return text;
}

std::string backupFileName(const BackupName& name)
{
    const std::string when = utcStamp(name.time, "%Y-%m-%d_%H-%M-%S");
    if (name.kind == Kind::Daily)
        return dailyPrefix + when + backupExtension;
    return beforePrefix + when + "-" + reasonForName(name.reason) + backupExtension;
}

std::optional<BackupName> parseBackupName(const std::string& fileName)
{
    const std::size_t extensionLength = std::strlen(backupExtension);
    if (fileName.size() <= extensionLength
        || fileName.compare(fileName.size() - extensionLength, extensionLength, backupExtension) != 0)
        return std::nullopt;
    const std::string stem = fileName.substr(0, fileName.size() - extensionLength);
    BackupName name;
    std::size_t at = 0;
    if (stem.rfind(dailyPrefix, 0) == 0) {
        at = std::strlen(dailyPrefix);
        if (stem.size() != at + stampLength)
            return std::nullopt;
    } else if (stem.rfind(beforePrefix, 0) == 0) {
        name.kind = Kind::BeforeCommand;
        at = std::strlen(beforePrefix);
        if (stem.size() < at + stampLength + 2 || stem[at + stampLength] != '-')
            return std::nullopt;
        name.reason = stem.substr(at + stampLength + 1);
        if (!std::all_of(name.reason.begin(), name.reason.end(),
                         [](char c) { return reasonByteAllowed(static_cast<unsigned char>(c)); }))
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    const std::optional<std::int64_t> time = parseStamp(stem, at);
    if (!time)
        return std::nullopt;
    name.time = *time;
    return name;
}

std::vector<std::string> rotationRemovals(const std::vector<std::string>& fileNames, int keepDaily)
{
    std::vector<MadeBackup> backups;
    for (const std::string& fileName : fileNames)
        backups.push_back({fileName, 0});
    return rotationRemovals(backups, keepDaily);
}

std::vector<std::string> rotationRemovals(const std::vector<MadeBackup>& backups, int keepDaily)
{
    struct Known {
        long long made;
        std::int64_t time;
        std::string fileName;
    };
    std::vector<Known> dailyOrder, beforeOrder;
    for (const MadeBackup& backup : backups)
        if (const auto name = parseBackupName(backup.fileName))
            (name->kind == Kind::Daily ? dailyOrder : beforeOrder)
                .push_back({backup.made, name->time, backup.fileName});
    const auto newestFirst = [](const Known& a, const Known& b) {
        return std::tie(a.made, a.time, a.fileName) > std::tie(b.made, b.time, b.fileName);
    };
    std::sort(dailyOrder.begin(), dailyOrder.end(), newestFirst);
    std::sort(beforeOrder.begin(), beforeOrder.end(), newestFirst);
    std::vector<std::pair<std::int64_t, std::string>> daily, before;
    for (const Known& backup : dailyOrder)
        daily.push_back({backup.time, backup.fileName});
    for (const Known& backup : beforeOrder)
        before.push_back({backup.time, backup.fileName});

    std::set<std::string> kept;
    // Each rule keeps the newest backup of each of its periods, counting only those no earlier rule kept.
    const auto keepPerPeriod = [&](std::int64_t (*period)(std::int64_t), int wanted) {
        std::optional<std::int64_t> last;
        int count = 0;
        for (const auto& [time, fileName] : daily) {
            if (count >= wanted)
                break;
            if (last && period(time) == *last)
                continue;
            last = period(time);
            if (kept.insert(fileName).second)
                ++count;
        }
    };
    keepPerPeriod(dayNumber, keepDaily);
    keepPerPeriod(weekNumber, keptWeekly);
    keepPerPeriod(monthNumber, keptMonthly);
    for (std::size_t i = 0; i < before.size() && i < static_cast<std::size_t>(keptBeforeCommand); ++i)
        kept.insert(before[i].second);

    std::vector<std::string> removals;
    for (const auto& list : {daily, before})
        for (const auto& [time, fileName] : list)
            if (!kept.count(fileName))
                removals.push_back(fileName);
    return removals;
}

bool dailyDue(std::int64_t now, std::optional<std::int64_t> newestDaily, std::optional<std::int64_t> lastUnchangedCheck)
{
    const std::optional<std::int64_t> last = std::max(newestDaily, lastUnchangedCheck);
    return !last || now - *last >= secondsPerDay || *last > now + 60;
}

std::string describeKind(const BackupName& name)
{
    if (name.kind == Kind::Daily)
        return "daily";
    std::string reason = name.reason;
    std::replace(reason.begin(), reason.end(), '_', ' ');
    return "before " + reason;
}

}  // namespace autobackup
