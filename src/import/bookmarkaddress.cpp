// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/bookmarkaddress.h"

#include "base/address.h"
#include "base/text.h"

#include "import/importtext.h"

#include <algorithm>
#include <utility>

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A '%' that is not followed by two hexadecimal digits stays as it is.
std::string percentDecoded(std::string_view text)
{
    std::string plain;
    plain.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = i + 2 < text.size() && text[i] == '%' ? hexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(text[i + 2]) : -1;
        if (low < 0) {
            plain += text[i];
            continue;
        }
        plain += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return plain;
}

bool keptInUrl(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
           || c == '_' || c == '~' || c == '/';
}

}  // namespace

std::optional<std::string> pathFromFileUrl(std::string_view url)
{
    if (!startsWithIgnoringCase(url, "file:"))
        return std::nullopt;
    std::string_view path = url.substr(5);
    if (path.substr(0, 2) == "//") {
        path.remove_prefix(2);
        const std::size_t slash = path.find('/');
        if (slash == std::string_view::npos)
            return std::nullopt;
        const std::string_view host = path.substr(0, slash);
        if (!host.empty() && !(host.size() == 9 && startsWithIgnoringCase(host, "localhost")))
            return std::nullopt;
        path.remove_prefix(slash);
    }
    if (path.find_first_of("?#") != std::string_view::npos)
        return std::nullopt;
    std::string plain = percentDecoded(path);
    if (plain.empty() || plain.find('\0') != std::string::npos)
        return std::nullopt;
    return plain;
}

std::string fileUrlFromPath(std::string_view path)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string url = !path.empty() && path.front() == '/' ? "file://" : "file:";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (keptInUrl(byte)) {
            url += c;
            continue;
        }
        url += '%';
        url += digits[byte >> 4];
        url += digits[byte & 0x0F];
    }
    return url;
}

std::string importedTitle(std::string_view name)
{
    const std::string valid = repairedUtf8(name);
    std::string title;
    title.reserve(std::min(valid.size(), maxTitleCharacters * 4));
    std::size_t characters = 0;
    for (std::size_t at = 0; at < valid.size() && characters < maxTitleCharacters; ++characters) {
        const std::size_t length = utf8SequenceLength(valid, at);
        const auto lead = static_cast<unsigned char>(valid[at]);
        if (lead < 0x20 || lead == 0x7F)
            title += ' ';
        else
            title.append(valid, at, length);
        at += length;
    }
    return title;
}

std::string importedDescription(std::string_view text)
{
    const std::string valid = repairedUtf8(text.substr(0, maxDescriptionBytes + 3));
    return std::string(utf8Prefix(valid, maxDescriptionBytes));
}

ImportEntry* appendBookmark(ImportFolder& folder, int& skipped, std::string_view name, std::string_view url)
{
    const std::string address = browserAddress(url);
    if (address.empty() || address.size() > maxAddressBytes || addressScheme(address) == "place"
        || isScriptAddress(address)) {
        ++skipped;
        return nullptr;
    }
    ImportEntry entry;
    entry.name = importedTitle(name);
    if (trimControl(entry.name).empty())
        entry.name = importedTitle(address);
    if (std::optional<std::string> path = pathFromFileUrl(address)) {
        entry.target = std::move(*path);
        entry.type = 0;
    } else {
        entry.target = address;
        entry.type = 1;
    }
    folder.entries.push_back(std::move(entry));
    return &folder.entries.back();
}
