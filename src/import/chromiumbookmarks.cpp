// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/chromiumbookmarks.h"

#include "import/bookmarkaddress.h"
#include "import/importtext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <vector>

namespace {

constexpr const char* notChromiumBookmarksText = "The file \"%s\" is not a Chromium bookmark file.";
// Real files are a few megabytes even with many thousands of bookmarks.
constexpr std::uintmax_t largestBookmarksJson = 64ull * 1024 * 1024;

struct Root {
    const char* key;
    const char* name;
};
constexpr Root roots[] = {
    {"bookmark_bar", "Bookmarks bar"}, {"other", "Other bookmarks"}, {"synced", "Mobile bookmarks"}};

std::string utf8(const QJsonValue& value)
{
    return value.toString().toStdString();
}

// Every folder and bookmark below `children`, each counted once; the nesting is bounded by the
// JSON parser's own limit.
int countAll(const QJsonArray& children)
{
    int count = 0;
    for (const QJsonValue& child : children) {
        ++count;
        const QJsonObject node = child.toObject();
        if (node.value("type").toString() == "folder")
            count += countAll(node.value("children").toArray());
    }
    return count;
}

void readChildren(const QJsonArray& children, ImportFolder& into, int depth, int& skipped)
{
    for (const QJsonValue& child : children) {
        const QJsonObject node = child.toObject();
        const QString type = node.value("type").toString();
        if (type == "url") {
            appendBookmark(into, skipped, utf8(node.value("name")), utf8(node.value("url")));
        } else if (type == "folder" && depth + 1 > maxImportDepth) {
            skipped += 1 + countAll(node.value("children").toArray());
        } else if (type == "folder") {
            into.folders.push_back({utf8(node.value("name")), {}, {}});
            readChildren(node.value("children").toArray(), into.folders.back(), depth + 1, skipped);
        } else {
            ++skipped;
        }
    }
}

} // namespace

ImportTree readChromiumBookmarks(const std::string& path)
{
    const std::string data = InputFile(path, largestBookmarksJson).readAll();
    QJsonParseError error;
    const QByteArray json = QByteArray::fromRawData(data.data(), static_cast<qsizetype>(data.size()));
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    const QJsonValue rootsValue = document.object().value("roots");
    if (error.error != QJsonParseError::NoError || !rootsValue.isObject())
        throwFileError(notChromiumBookmarksText, path);

    ImportTree tree;
    const QJsonObject rootNodes = rootsValue.toObject();
    for (const Root& root : roots) {
        ImportFolder folder{root.name, {}, {}};
        readChildren(rootNodes.value(root.key).toObject().value("children").toArray(), folder, 1, tree.skipped);
        if (!folder.folders.empty() || !folder.entries.empty())
            tree.root.folders.push_back(std::move(folder));
    }
    return tree;
}
