// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/foldertree.h"

#include "import/importtext.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* cannotReadFolderText = "The folder \"%s\" cannot be read.";

struct Name {
    std::string raw;
    std::string key;  // the file manager's order
};

struct Listing {
    std::vector<Name> files;
    std::vector<Name> folders;
};

void sortByName(std::vector<Name>& names)
{
    std::sort(names.begin(), names.end(),
              [](const Name& a, const Name& b) { return a.key != b.key ? a.key < b.key : a.raw < b.raw; });
}

// Symbolic links count as what they point at, except folders, which are not followed.
void sortIn(Listing& listing, int folderFd, std::string name)
{
    struct stat status {};
    if (::fstatat(folderFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    const bool link = S_ISLNK(status.st_mode);
    if (link && ::fstatat(folderFd, name.c_str(), &status, 0) != 0)
        return;
    if (S_ISREG(status.st_mode))
        listing.files.push_back({std::move(name), {}});
    else if (S_ISDIR(status.st_mode) && !link)
        listing.folders.push_back({std::move(name), {}});
}

// The folder's visible files and subfolders, each sorted; nothing when it cannot be listed.
std::optional<Listing> listFolder(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* folder = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!folder) {
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    Listing listing;
    while (const dirent* entry = ::readdir(folder))
        if (entry->d_name[0] != '.')
            sortIn(listing, fd, entry->d_name);
    ::closedir(folder);
    for (std::vector<Name>* names : {&listing.files, &listing.folders}) {
        for (Name& name : *names)
            name.key = fileNameOrderKey(name.raw);
        sortByName(*names);
    }
    return listing;
}

std::string joined(const std::string& folder, const std::string& name)
{
    return folder.empty() || folder.back() == '/' ? folder + name : folder + '/' + name;
}

// The files and folders below a folder too deep to keep, as they would have been read.
int countBelow(const std::string& path)
{
    int count = 0;
    std::vector<std::string> pending{path};
    while (!pending.empty()) {
        const std::optional<Listing> listing = listFolder(pending.back());
        const std::string folder = std::move(pending.back());
        pending.pop_back();
        if (!listing)
            continue;
        count += static_cast<int>(listing->files.size() + listing->folders.size());
        for (const Name& child : listing->folders)
            pending.push_back(joined(folder, child.raw));
    }
    return count;
}

void readInto(const std::string& path, const Listing& listing, ImportFolder& into, int depth, int& skipped,
              Progress& progress, std::size_t& folders)
{
    if (!progress.advance(++folders, 0))
        throw ReadStopped{};
    for (const Name& file : listing.files)
        into.entries.push_back({file.raw, joined(path, file.raw), {}, 0});
    for (const Name& child : listing.folders) {
        const std::string childPath = joined(path, child.raw);
        if (depth + 1 > maxImportDepth) {
            skipped += 1 + countBelow(childPath);
            continue;
        }
        const std::optional<Listing> childListing = listFolder(childPath);
        if (!childListing) {
            ++skipped;
            continue;
        }
        into.folders.push_back({child.raw, {}, {}});
        readInto(childPath, *childListing, into.folders.back(), depth + 1, skipped, progress, folders);
    }
}

// An absolute path, without the slashes a folder chooser may leave at its end.
std::string absoluteFolder(const std::string& folder)
{
    std::error_code error;
    std::string path = folder.empty() ? folder : std::filesystem::absolute(folder, error).string();
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

}  // namespace

ImportTree readFolderTree(const std::string& folder, Progress& progress)
{
    const std::string path = absoluteFolder(folder);
    const std::optional<Listing> listing = path.empty() ? std::nullopt : listFolder(path);
    if (!listing)
        throwFileError(cannotReadFolderText, folder);
    ImportTree tree;
    std::size_t folders = 0;
    readInto(path, *listing, tree.root, 0, tree.skipped, progress, folders);
    return tree;
}
