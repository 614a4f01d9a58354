// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/chromiumbookmarks.h"

#include "import/bookmarkaddress.h"
#include "import/importtext.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <string_view>
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

// The part of the JSON a bookmark reader looks at: the members named below, every array element,
// strings only as long as a reader can use them. Nesting past keptDepth is not kept: each
// bookmark or folder down there is only counted, in `hidden` of the deepest array kept above it.
struct JsonNode {
    enum Kind { Other, String, Object, Array } kind = Other;
    std::string key;              // its name in the object that holds it
    std::string text;             // a string's
    std::vector<JsonNode> items;  // an array's elements or an object's members
    long long hidden = 0;

    const JsonNode* member(std::string_view name) const
    {
        for (const JsonNode& value : items)
            if (value.key == name)
                return &value;
        return nullptr;
    }
    std::string_view string(std::string_view name) const
    {
        const JsonNode* value = member(name);
        return value && value->kind == String ? std::string_view(value->text) : std::string_view();
    }
};

// A folder at import depth d is the object at JSON depth 2d + 1 and its children the array below
// it, so every folder a reader keeps, and the folders one level deeper that it counts, are kept.
constexpr std::size_t keptDepth = 2 * maxImportDepth + 4;
constexpr std::size_t longestString = maxAddressBytes + 1;

bool isKeptKey(std::string_view key)
{
    static constexpr std::string_view kept[] = {"roots",    "bookmark_bar", "other", "synced",
                                                "children", "type",         "name",  "url"};
    for (const std::string_view name : kept)
        if (key == name)
            return true;
    return false;
}

// Builds the kept part on the parser's events. The parser works without recursion, so no nesting
// ends the read.
class BoundedTree final : public nlohmann::json_sax<nlohmann::json> {
public:
    JsonNode root;

    bool null() override { return other(); }
    bool boolean(bool) override { return other(); }
    bool number_integer(number_integer_t) override { return other(); }
    bool number_unsigned(number_unsigned_t) override { return other(); }
    bool number_float(number_float_t, const string_t&) override { return other(); }
    bool binary(binary_t&) override { return other(); }
    bool string(string_t& text) override
    {
        if (JsonNode* node = add(JsonNode::String, nullptr))
            node->text.assign(text, 0, longestString);
        return true;
    }
    bool start_object(std::size_t) override { return open(JsonNode::Object); }
    bool start_array(std::size_t) override { return open(JsonNode::Array); }
    bool key(string_t& text) override
    {
        Frame& frame = frames.back();
        frame.key.assign(text, 0, 16);
        frame.keyIsChildren = text == "children";
        return true;
    }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    struct Frame {
        JsonNode* node;     // nullptr when not kept
        JsonNode* counter;  // the kept array that counts what is hidden below, or nullptr
        bool isArray;
        bool isChildren;  // an array named "children"
        std::string key;  // an object's current member name
        bool keyIsChildren = false;
    };

    // The new value's node, or nullptr when it is not kept (and counted when it is a bookmark).
    JsonNode* add(JsonNode::Kind kind, Frame* opened)
    {
        if (frames.empty()) {
            root.kind = kind;
            return &root;
        }
        Frame& parent = frames.back();
        JsonNode* node = nullptr;
        const bool keptPlace = parent.isArray || isKeptKey(parent.key);
        if (parent.node && keptPlace && frames.size() < keptDepth) {
            // Only the open value's parent grows meanwhile, so the nodes of open frames stay put.
            node = &parent.node->items.emplace_back();
            node->kind = kind;
            if (!parent.isArray)
                node->key = parent.key;
        } else if (kind == JsonNode::Object && parent.isChildren && parent.counter) {
            ++parent.counter->hidden;
        }
        if (opened) {
            opened->node = node;
            opened->counter = node ? node : (keptPlace ? parent.counter : nullptr);
            opened->isChildren = kind == JsonNode::Array && !parent.isArray && parent.keyIsChildren;
            if (!parent.isArray)
                parent.key.clear();
        } else if (!parent.isArray) {
            parent.key.clear();
        }
        return node;
    }

    bool open(JsonNode::Kind kind)
    {
        Frame frame{nullptr, nullptr, kind == JsonNode::Array, false, {}};
        add(kind, &frame);
        if (frames.empty())
            frame.node = frame.counter = &root;
        frames.push_back(std::move(frame));
        return true;
    }

    bool close()
    {
        frames.pop_back();
        return true;
    }

    bool other()
    {
        add(JsonNode::Other, nullptr);
        return true;
    }

    std::vector<Frame> frames;
};

// No number is read, and the parser refuses one that no double holds ("id": 1e400); so every
// number outside a string becomes 0 before the parse.
std::string withNumbersAsZero(const std::string& json)
{
    std::string plain;
    plain.reserve(json.size());
    bool inString = false;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            plain += c;
            if (c == '\\' && i + 1 < json.size())
                plain += json[++i];
            else if (c == '"')
                inString = false;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            plain += '0';
            while (i + 1 < json.size()
                   && std::string_view("0123456789+-.eE").find(json[i + 1]) != std::string_view::npos)
                ++i;
        } else {
            inString = c == '"';
            plain += c;
        }
    }
    return plain;
}

// Every folder and bookmark below `children`, each counted once.
long long countAll(const JsonNode* children)
{
    if (!children)
        return 0;
    long long count = children->hidden;
    for (const JsonNode& node : children->items) {
        ++count;
        if (node.string("type") == "folder")
            count += countAll(node.member("children"));
    }
    return count;
}

void readChildren(const JsonNode* children, ImportFolder& into, int depth, int& skipped)
{
    if (!children)
        return;
    skipped += static_cast<int>(children->hidden);
    for (const JsonNode& node : children->items) {
        const std::string_view type = node.string("type");
        if (type == "url") {
            appendBookmark(into, skipped, node.string("name"), node.string("url"));
        } else if (type == "folder" && depth + 1 > maxImportDepth) {
            skipped += static_cast<int>(1 + countAll(node.member("children")));
        } else if (type == "folder") {
            into.folders.push_back({importedTitle(node.string("name")), {}, {}});
            readChildren(node.member("children"), into.folders.back(), depth + 1, skipped);
        } else {
            ++skipped;
        }
    }
}

}  // namespace

ImportTree readChromiumBookmarks(const std::string& path)
{
    // A bad byte reads as U+FFFD, as the browser would show it, instead of ending the read.
    const std::string data = withNumbersAsZero(repairedUtf8(InputFile(path, largestBookmarksJson).readAll()));
    BoundedTree json;
    const JsonNode* rootNodes = nlohmann::json::sax_parse(data, &json) ? json.root.member("roots") : nullptr;
    if (!rootNodes || rootNodes->kind != JsonNode::Object)
        throwFileError(notChromiumBookmarksText, path);

    ImportTree tree;
    for (const Root& root : roots) {
        ImportFolder folder{root.name, {}, {}};
        const JsonNode* rootNode = rootNodes->member(root.key);
        readChildren(rootNode ? rootNode->member("children") : nullptr, folder, 1, tree.skipped);
        if (!folder.folders.empty() || !folder.entries.empty())
            tree.root.folders.push_back(std::move(folder));
    }
    return tree;
}
