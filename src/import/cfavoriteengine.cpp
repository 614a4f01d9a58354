// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/cfavoriteengine.h"

#include "base/address.h"
#include "base/files.h"
#include "base/text.h"
#include "import/importtext.h"

#include <SimpleIni.h>
#include <glib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Real shortcuts are a few hundred bytes; anything far larger is not read at all.
constexpr std::uintmax_t largestShortcut = 1024 * 1024;

struct Entry {
    std::string name;
    fs::path path;
};

bool lessByName(const Entry& a, const Entry& b)
{
    const auto lower = [](char x, char y) { return lowerAscii(x) < lowerAscii(y); };
    if (std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(), lower))
        return true;
    if (std::lexicographical_compare(b.name.begin(), b.name.end(), a.name.begin(), a.name.end(), lower))
        return false;
    return a.name < b.name;
}

bool endsWithIgnoringCase(const std::string& name, std::string_view suffix)
{
    return name.size() > suffix.size()
           && equalsIgnoringCase(std::string_view(name).substr(name.size() - suffix.size()), suffix);
}

// Without a UTF-8 signature, which GKeyFile would take for text before the first group.
std::optional<std::string> readSmallFile(const fs::path& path)
{
    std::optional<std::string> data = readRegularFile(path.string(), largestShortcut);
    if (data && data->rfind("\xEF\xBB\xBF", 0) == 0)
        data->erase(0, 3);
    return data;
}

// The URL of a Windows Internet shortcut, read like any Windows profile: names match whatever
// their case, and of two URL lines the first counts.
std::string internetShortcutUrl(const std::string& text)
{
    CSimpleIniA ini(false, true, false);
    if (ini.LoadData(text) < 0)
        return {};
    return ini.GetValue("InternetShortcut", "URL", "");
}

using KeyFile = std::unique_ptr<GKeyFile, decltype(&g_key_file_free)>;

std::optional<std::string> ownedText(gchar* value)
{
    if (!value)
        return std::nullopt;
    std::string copy(value);
    g_free(value);
    return copy;
}

struct DesktopLink {
    std::string url;
    std::optional<std::string> name;
};

// A freedesktop link entry (Type=Link) with its escapes undone by the Desktop Entry rules; its
// name is the one a desktop shows, Name[xx] for the user's language before Name.
std::optional<DesktopLink> desktopLink(const std::string& text)
{
    constexpr const char* group = "Desktop Entry";
    KeyFile file(g_key_file_new(), &g_key_file_free);
    if (!g_key_file_load_from_data(file.get(), text.data(), text.size(), G_KEY_FILE_NONE, nullptr))
        return std::nullopt;
    const std::optional<std::string> type = ownedText(g_key_file_get_string(file.get(), group, "Type", nullptr));
    if (!type || trimControl(*type) != "Link")
        return std::nullopt;
    const std::optional<std::string> url = ownedText(g_key_file_get_string(file.get(), group, "URL", nullptr));
    if (!url)
        return std::nullopt;
    DesktopLink link{std::string(trimControl(*url)), std::nullopt};
    // No locale given: GLib takes the user's languages from LANGUAGE, LC_ALL, LC_MESSAGES and LANG,
    // the environment from which QApplication also sets the process locale.
    const std::optional<std::string> name =
        ownedText(g_key_file_get_locale_string(file.get(), group, "Name", nullptr, nullptr));
    if (name && !trimControl(*name).empty())
        link.name = std::string(trimControl(*name));
    return link;
}

// Windows-1252 for the bytes 0x80-0x9F; the five it leaves undefined become U+FFFD.
constexpr char16_t cp1252High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                     0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string asUtf8(const std::string& raw)
{
    std::string text;
    for (std::size_t i = 0; i < raw.size();) {
        const std::size_t length = utf8SequenceLength(raw, i);
        if (length > 0) {
            text.append(raw, i, length);
            i += length;
            continue;
        }
        const auto byte = static_cast<unsigned char>(raw[i++]);
        appendUtf8(text, byte >= 0x80 && byte < 0xA0 ? cp1252High[byte - 0x80] : byte);
    }
    return text;
}

std::vector<Entry> listFolder(const fs::path& folder, std::error_code& error)
{
    std::vector<Entry> entries;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        std::string name = it->path().filename().string();
        if (!name.empty() && name.front() != '.')
            entries.push_back({std::move(name), it->path()});
    }
    std::sort(entries.begin(), entries.end(), lessByName);
    return entries;
}

bool canEnter(const fs::path& folder)
{
    return ::faccessat(AT_FDCWD, folder.c_str(), X_OK, AT_EACCESS) == 0;
}

template <class Node>
void append(std::unique_ptr<Node>*& tail, std::unique_ptr<Node> node, std::unique_ptr<Node> Node::*next)
{
    *tail = std::move(node);
    tail = &((**tail).*next);
}

}  // namespace

std::string defaultFavoritesFolder()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return std::string(home) + "/Favorites";
    const passwd* user = ::getpwuid(::getuid());
    return user && user->pw_dir ? std::string(user->pw_dir) + "/Favorites" : std::string();
}

CFavoriteEngine::CFavoriteEngine(std::string favoritesFolder) : folder(std::move(favoritesFolder))
{
}

CFavoriteEngine::~CFavoriteEngine()
{
    FreeTree();
}

const FavoriteNode* CFavoriteEngine::ReadFavorites()
{
    FreeTree();
    std::error_code error;
    if (folder.empty() || !fs::is_directory(folder, error))
        return nullptr;
    root = std::make_unique<FavoriteNode>();
    std::vector<fs::path> chain{fs::canonical(folder, error)};
    ReadFolder(folder, *root, chain);
    return root.get();
}

std::string CFavoriteEngine::ConvertDisplayName(const std::string& raw) const
{
    return asUtf8(raw);
}

bool CFavoriteEngine::ReadFolder(const fs::path& path, FavoriteNode& head, std::vector<fs::path>& chain)
{
    std::error_code error;
    const std::vector<Entry> entries = listFolder(path, error);
    if (error)
        return false;
    std::unique_ptr<FavoriteNode>* folderTail = &head.nextFolder;
    std::unique_ptr<FavoriteNode>* linkTail = &head.nextLink;
    for (const Entry& entry : entries) {
        const fs::file_status status = fs::status(entry.path, error);
        if (fs::is_directory(status)) {
            fs::path canonical = fs::canonical(entry.path, error);
            if (error || std::find(chain.begin(), chain.end(), canonical) != chain.end())
                continue;
            auto node = std::make_unique<FavoriteNode>(FavoriteNode::kindFolder, ConvertDisplayName(entry.name));
            node->child = std::make_unique<FavoriteNode>();
            chain.push_back(std::move(canonical));
            const bool listed = ReadFolder(entry.path, *node->child, chain);
            chain.pop_back();
            // A folder that can be entered but not listed is an empty category; one that can be
            // neither is left out.
            if (listed || canEnter(entry.path))
                append(folderTail, std::move(node), &FavoriteNode::nextFolder);
            continue;
        }
        if (!fs::is_regular_file(status))
            continue;
        std::string name;
        std::string url;
        if (endsWithIgnoringCase(entry.name, ".url")) {
            name = entry.name.substr(0, entry.name.size() - 4);
            if (auto text = readSmallFile(entry.path))
                url = internetShortcutUrl(*text);
        } else if (endsWithIgnoringCase(entry.name, ".desktop")) {
            name = entry.name.substr(0, entry.name.size() - 8);
            const std::optional<std::string> text = readSmallFile(entry.path);
            if (const std::optional<DesktopLink> link = text ? desktopLink(*text) : std::nullopt) {
                url = link->url;
                name = link->name.value_or(name);
            }
        }
        // A shortcut to a script or to inline data would run in the browser it is opened with.
        if (url.empty() || isScriptAddress(url))
            continue;
        append(linkTail, std::make_unique<FavoriteNode>(FavoriteNode::kindLink, ConvertDisplayName(name), asUtf8(url)),
               &FavoriteNode::nextLink);
    }
    return true;
}

void CFavoriteEngine::FreeTree()
{
    root.reset();
}
