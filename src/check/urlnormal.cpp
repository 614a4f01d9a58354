// SPDX-License-Identifier: GPL-3.0-or-later
#include "check/urlnormal.h"

#include "base/address.h"
#include "base/text.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

namespace check {

namespace {

struct UrlParts {
    std::string scheme;
    bool hasAuthority = false;
    std::string userinfo;  // with its "@"
    std::string host;
    std::string port;  // without its ":"
    std::string path;
    bool hasQuery = false;
    std::string query;
    bool hasFragment = false;
    std::string fragment;
};

bool isHex(char c)
{
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

int hexValue(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : lowerAscii(c) - 'a' + 10;
}

bool isUnreserved(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' || c == '~';
}

// Upper-case hex digits; an encoded unreserved character is the character itself (RFC 3986 6.2.2.2).
std::string normalisePercent(std::string_view text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
            const auto decoded = static_cast<unsigned char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            if (isUnreserved(static_cast<char>(decoded))) {
                out += static_cast<char>(decoded);
            } else {
                out += '%';
                out += digits[(decoded >> 4) & 0xF];
                out += digits[decoded & 0xF];
            }
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// RFC 3986 5.2.4.
std::string removeDotSegments(std::string_view path)
{
    std::vector<std::string_view> kept;
    const bool absolute = !path.empty() && path.front() == '/';
    std::size_t start = absolute ? 1 : 0;
    bool endsAsFolder = false;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::string_view segment =
            path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        const bool last = slash == std::string_view::npos;
        endsAsFolder = false;
        if (segment == ".") {
            endsAsFolder = last;
        } else if (segment == "..") {
            if (!kept.empty())
                kept.pop_back();
            endsAsFolder = last;
        } else {
            kept.push_back(segment);
        }
        if (last)
            break;
        start = slash + 1;
    }
    std::string out = absolute ? "/" : "";
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i > 0)
            out += '/';
        out += kept[i];
    }
    if (endsAsFolder && !out.empty() && out.back() != '/')
        out += '/';
    return out;
}

std::optional<UrlParts> splitUrl(std::string_view url)
{
    UrlParts parts;
    parts.scheme = targetScheme(url);
    const std::size_t length = parts.scheme.size();
    if (length == 0 || url.size() <= length || url[length] != ':')
        return std::nullopt;
    std::string_view rest = url.substr(length + 1);
    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
        parts.hasFragment = true;
        parts.fragment = rest.substr(hash + 1);
        rest = rest.substr(0, hash);
    }
    if (const std::size_t question = rest.find('?'); question != std::string_view::npos) {
        parts.hasQuery = true;
        parts.query = rest.substr(question + 1);
        rest = rest.substr(0, question);
    }
    if (rest.substr(0, 2) == "//") {
        parts.hasAuthority = true;
        rest = rest.substr(2);
        const std::size_t slash = rest.find('/');
        std::string_view authority = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
            parts.userinfo = authority.substr(0, at + 1);
            authority = authority.substr(at + 1);
        }
        const std::size_t colon = authority.rfind(':');
        const std::size_t bracket = authority.rfind(']');
        if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
            parts.port = authority.substr(colon + 1);
            authority = authority.substr(0, colon);
        }
        parts.host = authority;
    }
    parts.path = rest;
    return parts;
}

std::string defaultPort(const std::string& scheme)
{
    if (scheme == "http" || scheme == "ws")
        return "80";
    if (scheme == "https" || scheme == "wss")
        return "443";
    if (scheme == "ftp")
        return "21";
    return {};
}

std::optional<UrlParts> normalisedParts(std::string_view url)
{
    std::optional<UrlParts> parts = splitUrl(trimControl(url));
    if (!parts)
        return std::nullopt;
    parts->userinfo = normalisePercent(parts->userinfo);
    parts->host = lowerAscii(normalisePercent(parts->host));
    if (parts->port == defaultPort(parts->scheme))
        parts->port.clear();
    parts->path = removeDotSegments(normalisePercent(parts->path));
    if (parts->hasAuthority && parts->path.empty())
        parts->path = "/";
    parts->query = normalisePercent(parts->query);
    parts->fragment = normalisePercent(parts->fragment);
    return parts;
}

std::string joined(const UrlParts& parts)
{
    std::string out = parts.scheme + ":";
    if (parts.hasAuthority) {
        out += "//" + parts.userinfo + parts.host;
        if (!parts.port.empty())
            out += ":" + parts.port;
    }
    out += parts.path;
    if (parts.hasQuery)
        out += "?" + parts.query;
    if (parts.hasFragment)
        out += "#" + parts.fragment;
    return out;
}

std::string withoutTrackingParameters(std::string_view query)
{
    std::string out;
    std::size_t start = 0;
    while (start <= query.size()) {
        const std::size_t amp = query.find('&', start);
        const std::string_view pair =
            query.substr(start, amp == std::string_view::npos ? std::string_view::npos : amp - start);
        if (!pair.empty() && lowerAscii(pair.substr(0, 4)) != "utm_") {
            if (!out.empty())
                out += '&';
            out += pair;
        }
        if (amp == std::string_view::npos)
            break;
        start = amp + 1;
    }
    return out;
}

}  // namespace

std::string normaliseUrl(std::string_view url)
{
    const std::optional<UrlParts> parts = normalisedParts(url);
    return parts ? joined(*parts) : std::string();
}

std::string looseUrlKey(std::string_view url)
{
    std::optional<UrlParts> parts = normalisedParts(url);
    if (!parts)
        return {};
    if (parts->scheme == "https")
        parts->scheme = "http";
    if (parts->host.rfind("www.", 0) == 0)
        parts->host.erase(0, 4);
    while (parts->path.size() > 1 && parts->path.back() == '/')
        parts->path.pop_back();
    if (parts->path == "/")
        parts->path.clear();
    parts->query = withoutTrackingParameters(parts->query);
    parts->hasQuery = !parts->query.empty();
    parts->hasFragment = false;
    return joined(*parts);
}

}  // namespace check
