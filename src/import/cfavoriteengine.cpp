#include "import/cfavoriteengine.h"

#include "base/files.h"
#include "import/importtext.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

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

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(),
                      [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

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

std::string_view trim(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

std::optional<std::string> readSmallFile(const fs::path& path)
{
    std::optional<std::string> data = readRegularFile(path.string(), largestShortcut);
    if (data && data->rfind("\xEF\xBB\xBF", 0) == 0)
        data->erase(0, 3);
    return data;
}

// Calls visit(section, key, value) for every key line of an INI-like text.
template <class Visit>
void forEachKey(std::string_view text, Visit&& visit)
{
    std::string_view section;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.front() == '[') {
            const std::size_t close = line.find(']');
            section = close == std::string_view::npos ? std::string_view() : line.substr(1, close - 1);
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos)
            visit(section, trim(line.substr(0, equals)), trim(line.substr(equals + 1)));
    }
}

// The URL of a Windows Internet shortcut; the first URL line of its section counts.
std::string internetShortcutUrl(std::string_view text)
{
    std::optional<std::string> url;
    forEachKey(text, [&url](std::string_view section, std::string_view key, std::string_view value) {
        if (!url && equalsIgnoringCase(section, "InternetShortcut") && equalsIgnoringCase(key, "URL"))
            url = std::string(value);
    });
    return url.value_or(std::string());
}

std::string unescapeDesktopValue(std::string_view value)
{
    std::string plain;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            plain += value[i];
            continue;
        }
        const char next = value[++i];
        plain += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
    }
    return plain;
}

// The URL of a freedesktop link entry (Type=Link); "" for any other entry.
std::string desktopLinkUrl(std::string_view text)
{
    std::optional<std::string> type;
    std::optional<std::string> url;
    forEachKey(text, [&](std::string_view section, std::string_view key, std::string_view value) {
        if (section != "Desktop Entry")
            return;
        if (key == "Type" && !type)
            type = std::string(value);
        else if (key == "URL" && !url)
            url = unescapeDesktopValue(value);
    });
    return type == "Link" ? url.value_or(std::string()) : std::string();
}

// Windows-1252 for the bytes 0x80-0x9F; the five it leaves undefined become U+FFFD.
constexpr char16_t cp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

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

template <class Node>
void append(std::unique_ptr<Node>*& tail, std::unique_ptr<Node> node, std::unique_ptr<Node> Node::*next)
{
    *tail = std::move(node);
    tail = &((**tail).*next);
}

} // namespace

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
            if (listed)
                append(folderTail, std::move(node), &FavoriteNode::nextFolder);
            continue;
        }
        if (!fs::is_regular_file(status))
            continue;
        std::string_view extension;
        std::string url;
        if (endsWithIgnoringCase(entry.name, ".url")) {
            extension = ".url";
            if (auto text = readSmallFile(entry.path))
                url = internetShortcutUrl(*text);
        } else if (endsWithIgnoringCase(entry.name, ".desktop")) {
            extension = ".desktop";
            if (auto text = readSmallFile(entry.path))
                url = desktopLinkUrl(*text);
        }
        if (url.empty())
            continue;
        const std::string name = entry.name.substr(0, entry.name.size() - extension.size());
        append(linkTail,
               std::make_unique<FavoriteNode>(FavoriteNode::kindLink, ConvertDisplayName(name), asUtf8(url)),
               &FavoriteNode::nextLink);
    }
    return true;
}

void CFavoriteEngine::FreeTree()
{
    root.reset();
}
