// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/targeturl.h"

#include "base/address.h"

#include <QDir>
#include <QFile>

namespace {

std::string trimmedBytes(const std::string& text)
{
    const char* blanks = " \t\r\n\f\v";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string cleanedTarget(const std::string& target)
{
    std::string text = trimmedBytes(target);
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = trimmedBytes(text.substr(1, text.size() - 2));
    return text;
}

// Targets are bytes, not always UTF-8: a URL is built from them with every byte outside printable
// ASCII percent-encoded, so a file named caf\xE9.txt opens as itself instead of caf\uFFFD.txt.
QByteArray encodedAddress(const std::string& text)
{
    QByteArray encoded;
    for (unsigned char c : text) {
        if (c > 0x20 && c < 0x7F)
            encoded += char(c);
        else
            encoded += '%' + QByteArray::number(c, 16).rightJustified(2, '0').toUpper();
    }
    return encoded;
}

QByteArray encodedPath(const QByteArray& path)
{
    return path.toPercentEncoding("/");
}

// A relative target is taken from the current folder, so a name starting with "-" can never read as
// an option.
QByteArray absoluteBytes(const std::string& path)
{
    const QByteArray bytes = QByteArray::fromStdString(path);
    if (bytes.startsWith('/'))
        return bytes;
    return QFile::encodeName(QDir::currentPath()) + '/' + bytes;
}

}  // namespace

QUrl fileUrlFromBytes(const QByteArray& absolutePath)
{
    return QUrl::fromEncoded("file://" + encodedPath(absolutePath), QUrl::StrictMode);
}

QUrl targetUrl(const std::string& target, int type)
{
    const std::string text = cleanedTarget(target);
    if (text.empty())
        return {};
    if (!targetScheme(text).empty()) {
        const QUrl url = QUrl::fromEncoded(encodedAddress(text), QUrl::TolerantMode);
        if (url.isValid())
            return url;
    }
    if (type == 1)
        return QUrl::fromEncoded("http://" + encodedAddress(text), QUrl::TolerantMode);
    return fileUrlFromBytes(absoluteBytes(text));
}

std::string localPathBytes(const QUrl& url)
{
    if (!url.isLocalFile())
        return {};
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}
