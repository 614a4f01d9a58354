// SPDX-License-Identifier: GPL-3.0-or-later
#include "check/filecheck.h"

#include "base/text.h"

#include <QByteArray>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include <dirent.h>
#include <sys/stat.h>

namespace check {

namespace {

std::vector<std::string> components(const std::string& path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

int matchingSuffix(const std::vector<std::string>& a, const std::vector<std::string>& b)
{
    int count = 0;
    while (count < static_cast<int>(std::min(a.size(), b.size())) && a[a.size() - 1 - count] == b[b.size() - 1 - count])
        ++count;
    return count;
}

std::string joinedPath(const std::vector<std::string>& parts, std::size_t count)
{
    std::string out;
    for (std::size_t i = 0; i < count; ++i)
        out += "/" + parts[i];
    return out.empty() ? "/" : out;
}

}  // namespace

std::string localPathOf(const std::string& target)
{
    const std::string text(trimControl(target));
    if (text.rfind("file:", 0) == 0) {
        const QUrl url = QUrl::fromEncoded(QByteArray::fromStdString(text), QUrl::TolerantMode);
        if (!url.isLocalFile())
            return {};
        return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
    }
    if (text.rfind("~/", 0) == 0) {
        if (const char* home = std::getenv("HOME"))
            return std::string(home) + text.substr(1);
    }
    return !text.empty() && text.front() == '/' ? text : std::string();
}

FileState checkFile(const std::string& target)
{
    FileState state;
    const std::string path = localPathOf(target);
    if (path.empty()) {
        state.kind = Kind::NotChecked;
        state.detail = target.empty() ? "The item has no file name" : "Not a full path to a local file";
        return state;
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        state.size = S_ISREG(info.st_mode) ? static_cast<std::int64_t>(info.st_size) : -1;
        return state;
    }
    state.kind = Kind::Missing;
    state.code = errno;
    if (state.code == ENOENT || state.code == ENOTDIR) {
        struct stat link {};
        state.detail =
            ::lstat(path.c_str(), &link) == 0 ? "The symbolic link points at nothing" : "The file does not exist";
    } else {
        state.detail = std::string("The file cannot be reached: ") + std::strerror(state.code);
    }
    return state;
}

std::string resolvedFilePath(const std::string& target)
{
    const std::string path = localPathOf(target);
    if (path.empty())
        return {};
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    return error ? std::filesystem::path(path).lexically_normal().string() : resolved.string();
}

RelinkSearch findCandidates(const std::string& lostPath, const std::vector<std::string>& folders,
                            std::int64_t knownSize, Progress& progress)
{
    RelinkSearch search;
    const std::vector<std::string> lost = components(lostPath);
    if (lost.empty())
        return search;
    const std::string& name = lost.back();
    std::set<std::pair<dev_t, ino_t>> visited;
    std::vector<std::string> pending(folders.rbegin(), folders.rend());
    std::size_t seen = 0;
    while (!pending.empty()) {
        if (++seen % 64 == 0 && !progress.advance(seen, 0)) {
            search.cancelled = true;
            break;
        }
        std::string folder = std::move(pending.back());
        pending.pop_back();
        struct stat info {};
        if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            continue;
        if (!visited.insert({info.st_dev, info.st_ino}).second) {
            ++search.loopsSkipped;
            continue;
        }
        DIR* dir = ::opendir(folder.c_str());
        if (!dir) {
            ++search.unreadableFolders;
            continue;
        }
        if (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        while (const dirent* entry = ::readdir(dir)) {
            const std::string entryName = entry->d_name;
            if (entryName == "." || entryName == "..")
                continue;
            const std::string path = (folder == "/" ? "" : folder) + "/" + entryName;
            if (entry->d_type == DT_DIR || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                struct stat child {};
                if (::stat(path.c_str(), &child) == 0 && S_ISDIR(child.st_mode)) {
                    pending.push_back(path);
                    continue;
                }
            }
            if (entryName != name)
                continue;
            struct stat file {};
            if (::stat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
                continue;
            if (search.candidates.size() >= maxCandidates) {
                search.truncated = true;
                continue;
            }
            Candidate candidate;
            candidate.path = path;
            candidate.size = file.st_size;
            candidate.matchingComponents = matchingSuffix(lost, components(path));
            if (knownSize >= 0)
                candidate.sizeMatches = knownSize == candidate.size;
            search.candidates.push_back(std::move(candidate));
        }
        ::closedir(dir);
    }
    std::stable_sort(search.candidates.begin(), search.candidates.end(), [](const Candidate& a, const Candidate& b) {
        const bool aConfirmed = a.sizeMatches.value_or(true);
        const bool bConfirmed = b.sizeMatches.value_or(true);
        if (aConfirmed != bConfirmed)
            return aConfirmed;
        if (a.matchingComponents != b.matchingComponents)
            return a.matchingComponents > b.matchingComponents;
        return a.path < b.path;
    });
    return search;
}

std::optional<PrefixMove> prefixMoveOf(const std::string& lostPath, const std::string& newPath)
{
    const std::vector<std::string> from = components(lostPath);
    const std::vector<std::string> to = components(newPath);
    const int shared = matchingSuffix(from, to);
    if (shared == 0 || shared == static_cast<int>(from.size()) || shared == static_cast<int>(to.size()))
        return std::nullopt;
    return PrefixMove{joinedPath(from, from.size() - shared), joinedPath(to, to.size() - shared)};
}

std::string movedPath(const std::string& path, const PrefixMove& move)
{
    const std::string prefix = move.from == "/" ? "/" : move.from + "/";
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0)
        return {};
    return (move.to == "/" ? "/" : move.to + "/") + path.substr(prefix.size());
}

}  // namespace check
