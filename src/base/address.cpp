// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/address.h"

#include "base/text.h"

namespace {

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
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

// RFC 3986: a letter, then letters, digits, "+", "-" or ".", up to the first ":".
std::string addressScheme(std::string_view address)
{
    const std::string plain = browserAddress(address);
    if (plain.empty() || !isAsciiLetter(plain.front()))
        return {};
    std::string scheme;
    for (const char c : plain) {
        if (c == ':')
            return scheme;
        if (!isAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
            return {};
        scheme += lowerAscii(c);
    }
    return {};
}

bool isScriptAddress(std::string_view address)
{
    const std::string scheme = addressScheme(address);
    return scheme == "javascript" || scheme == "vbscript" || scheme == "data";
}
