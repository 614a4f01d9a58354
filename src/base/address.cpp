// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/address.h"

#include "base/text.h"

namespace {

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Length of the scheme at the start of the text, before its ":"; 0 when there is none.
std::size_t schemeLength(std::string_view text)
{
    if (text.empty() || !isAsciiLetter(text.front()))
        return 0;
    for (std::size_t at = 1; at < text.size(); ++at) {
        const char c = text[at];
        if (c == ':')
            return at;
        if (!isAsciiLetter(c) && !isDigit(c) && c != '+' && c != '-' && c != '.')
            return 0;
    }
    return 0;
}

// Whether the ":" at `colon` starts a port: digits, then the end, "/", "?" or "#".
bool portFollows(std::string_view text, std::size_t colon)
{
    std::size_t end = colon + 1;
    while (end < text.size() && isDigit(text[end]))
        ++end;
    return end > colon + 1 && (end == text.size() || text[end] == '/' || text[end] == '?' || text[end] == '#');
}

}  // namespace

std::string browserAddress(std::string_view address)
{
    std::string kept;
    kept.reserve(address.size());
    for (const char c : trimControl(address))
        if (c != '\t' && c != '\r' && c != '\n')
            kept += c;
    return kept;
}

std::string addressScheme(std::string_view address)
{
    const std::string plain = browserAddress(address);
    return lowerAscii(std::string_view(plain).substr(0, schemeLength(plain)));
}

bool isScriptAddress(std::string_view address)
{
    const std::string scheme = addressScheme(address);
    return scheme == "javascript" || scheme == "vbscript" || scheme == "data";
}

std::string targetScheme(std::string_view target)
{
    const std::string plain = browserAddress(target);
    const std::size_t length = schemeLength(plain);
    if (length < 2 || portFollows(plain, length))
        return {};
    return lowerAscii(std::string_view(plain).substr(0, length));
}

std::string webAddressOf(std::string_view target, int type)
{
    const std::string_view text = trimControl(target);
    if (text.empty())
        return {};
    if (type == 1 && targetScheme(text).empty())
        return "http://" + std::string(text);
    return std::string(text);
}
