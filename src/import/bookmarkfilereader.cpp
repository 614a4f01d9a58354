// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/bookmarkfilereader.h"

#include "base/text.h"

#include "import/bookmarkaddress.h"
#include "import/importtext.h"

#include <libxml/HTMLparser.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr const char* notBookmarkFileText = "The file \"%s\" is not a bookmark file.";
constexpr std::uintmax_t largestBookmarkFile = 256ull * 1024 * 1024;
constexpr std::string_view netscapeDoctype = "NETSCAPE-Bookmark-file-1";

// Huge lets megabytes of ICON= data through; the file is undeclared UTF-8 unless a <META> says otherwise.
constexpr int parseOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING
                           | HTML_PARSE_NONET | XML_PARSE_HUGE;

std::string_view text(const xmlChar* value)
{
    return value ? std::string_view(reinterpret_cast<const char*>(value)) : std::string_view();
}

bool named(const xmlChar* name, std::string_view wanted)
{
    const std::string_view given = text(name);
    return given.size() == wanted.size() && startsWithIgnoringCase(given, wanted);
}

// The elements that carry the structure; every other element only holds text.
enum class Tag { Other, List, Term, Description, Heading, Link, Rule };

Tag tagOf(const xmlChar* name)
{
    static constexpr std::pair<std::string_view, Tag> tags[] = {
        {"dl", Tag::List}, {"dt", Tag::Term}, {"dd", Tag::Description},
        {"h3", Tag::Heading}, {"a", Tag::Link}, {"hr", Tag::Rule}};
    for (const auto& [tagName, tag] : tags)
        if (named(name, tagName))
            return tag;
    return Tag::Other;
}

// Follows the parser's events: every <DL> opens a list, which belongs to the folder of the heading
// right before it, or, without one, to the folder around it.
class NetscapeParse {
public:
    explicit NetscapeParse(htmlParserCtxtPtr parser) : context(parser) {}

    static htmlSAXHandler handler();

    bool failed() const { return outOfMemory; }
    bool looksLikeBookmarks() const { return sawDoctype || (sawList && sawMarks); }
    ImportTree take() { return std::move(tree); }

private:
    // One open folder level. Lists that open no level of their own (no heading before them, or
    // anywhere below the depth limit) are only counted, so hostile nesting cannot grow the stack.
    struct List {
        ImportFolder* folder;   // nullptr below maxImportDepth: everything in it is only counted
        int depth;
        long nested = 0;
    };
    enum class Collecting { Nothing, FolderName, LinkName, Comment };

    template <class Step>
    static void guarded(void* self, Step&& step);

    void start(const xmlChar* name, const xmlChar** attributes);
    void end(const xmlChar* name);
    void characters(std::string_view chunk);
    void doctype(const xmlChar* name);

    List current() { return lists.empty() ? List{&tree.root, 0} : lists.back(); }
    void openList();
    void closeList();
    void startLink(const xmlChar** attributes);
    void finishCollecting();
    void finishFolderName();
    void finishLinkName();

    htmlParserCtxtPtr context;
    ImportTree tree;
    std::vector<List> lists;
    Collecting collecting = Collecting::Nothing;
    std::string collected;
    std::string href;
    // The heading just read, whose list may follow; headingPending covers one too deep to keep.
    ImportFolder* heading = nullptr;
    bool headingPending = false;
    ImportEntry* lastEntry = nullptr;
    bool sawDoctype = false;
    bool sawList = false;
    bool sawMarks = false;
    bool outOfMemory = false;
};

htmlSAXHandler NetscapeParse::handler()
{
    htmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.startElement = [](void* self, const xmlChar* name, const xmlChar** attributes) {
        guarded(self, [&](NetscapeParse& parse) { parse.start(name, attributes); });
    };
    sax.endElement = [](void* self, const xmlChar* name) {
        guarded(self, [&](NetscapeParse& parse) { parse.end(name); });
    };
    sax.characters = [](void* self, const xmlChar* chunk, int length) {
        guarded(self, [&](NetscapeParse& parse) {
            parse.characters(std::string_view(reinterpret_cast<const char*>(chunk), static_cast<std::size_t>(length)));
        });
    };
    sax.internalSubset = [](void* self, const xmlChar* name, const xmlChar*, const xmlChar*) {
        guarded(self, [&](NetscapeParse& parse) { parse.doctype(name); });
    };
    return sax;
}

// No exception may cross the C parser: a failure stops it and is reported after it returns.
template <class Step>
void NetscapeParse::guarded(void* self, Step&& step)
{
    auto& parse = *static_cast<NetscapeParse*>(self);
    if (parse.outOfMemory)
        return;
    try {
        step(parse);
    } catch (...) {
        parse.outOfMemory = true;
        xmlStopParser(parse.context);
    }
}

void NetscapeParse::doctype(const xmlChar* name)
{
    if (named(name, netscapeDoctype))
        sawDoctype = true;
}

void NetscapeParse::start(const xmlChar* name, const xmlChar** attributes)
{
    const Tag tag = tagOf(name);
    if (tag == Tag::Other)
        return;
    finishCollecting();
    if (tag == Tag::Description) {
        if (lastEntry)
            collecting = Collecting::Comment;
        return;
    }
    lastEntry = nullptr;
    switch (tag) {
    case Tag::List: openList(); break;
    case Tag::Term: heading = nullptr; headingPending = false; break;
    case Tag::Heading: sawMarks = true; collecting = Collecting::FolderName; break;
    case Tag::Link: startLink(attributes); break;
    case Tag::Rule: ++tree.skipped; break;
    default: break;
    }
}

void NetscapeParse::end(const xmlChar* name)
{
    const Tag tag = tagOf(name);
    if (tag == Tag::List)
        closeList();
    else if ((tag == Tag::Heading && collecting == Collecting::FolderName)
             || (tag == Tag::Link && collecting == Collecting::LinkName)
             || (tag == Tag::Description && collecting == Collecting::Comment))
        finishCollecting();
}

void NetscapeParse::characters(std::string_view chunk)
{
    if (collecting != Collecting::Nothing)
        collected.append(chunk);
}

void NetscapeParse::openList()
{
    sawList = true;
    const List around = current();
    if (headingPending && around.folder)
        lists.push_back({heading, around.depth + 1});   // heading is nullptr when too deep to keep
    else if (!lists.empty())
        ++lists.back().nested;
    else
        lists.push_back(around);
    heading = nullptr;
    headingPending = false;
}

void NetscapeParse::closeList()
{
    finishCollecting();
    lastEntry = nullptr;
    heading = nullptr;
    headingPending = false;
    if (!lists.empty() && lists.back().nested > 0)
        --lists.back().nested;
    else if (!lists.empty())
        lists.pop_back();
}

void NetscapeParse::startLink(const xmlChar** attributes)
{
    href.clear();
    for (int i = 0; attributes && attributes[i]; i += 2)
        if (named(attributes[i], "href"))
            href = text(attributes[i + 1]);
    sawMarks = true;
    collecting = Collecting::LinkName;
}

void NetscapeParse::finishCollecting()
{
    if (collecting == Collecting::FolderName)
        finishFolderName();
    else if (collecting == Collecting::LinkName)
        finishLinkName();
    else if (collecting == Collecting::Comment && lastEntry)
        lastEntry->comment = trimControl(collected);
    collecting = Collecting::Nothing;
    collected.clear();
}

void NetscapeParse::finishFolderName()
{
    const List around = current();
    heading = nullptr;
    headingPending = true;
    if (!around.folder || around.depth + 1 > maxImportDepth) {
        ++tree.skipped;
    } else {
        around.folder->folders.push_back({std::string(trimControl(collected)), {}, {}});
        heading = &around.folder->folders.back();
    }
    collecting = Collecting::Nothing;
    collected.clear();
}

void NetscapeParse::finishLinkName()
{
    const List around = current();
    if (around.folder)
        lastEntry = appendBookmark(*around.folder, tree.skipped, std::string(trimControl(collected)), href);
    else
        ++tree.skipped;
    collecting = Collecting::Nothing;
    collected.clear();
}

// Some failures (an encoding that cannot be converted) are reported outside the parser's own
// options, on the thread's generic error channel; nothing of a user's file belongs on stderr.
class SilentErrors {
public:
    SilentErrors() : channel(xmlGenericError), context(xmlGenericErrorContext)
    {
        xmlSetGenericErrorFunc(nullptr, ignore);
    }
    SilentErrors(const SilentErrors&) = delete;
    SilentErrors& operator=(const SilentErrors&) = delete;
    ~SilentErrors() { xmlSetGenericErrorFunc(context, channel); }

private:
    static void ignore(void*, const char*, ...) {}

    xmlGenericErrorFunc channel;
    void* context;
};

struct ParserFree {
    void operator()(htmlParserCtxtPtr parser) const
    {
        if (parser->myDoc)
            xmlFreeDoc(parser->myDoc);
        htmlFreeParserCtxt(parser);
    }
};

} // namespace

ImportTree readBookmarkFile(const std::string& path)
{
    InputFile file(path, largestBookmarkFile);
    xmlInitParser();
    const SilentErrors silence;
    htmlSAXHandler sax = NetscapeParse::handler();
    std::unique_ptr<htmlParserCtxt, ParserFree> parser(
        htmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8));
    if (!parser)
        throw std::bad_alloc();
    NetscapeParse parse(parser.get());
    parser->userData = &parse;
    htmlCtxtUseOptions(parser.get(), parseOptions);

    std::vector<char> buffer(1 << 16);
    while (const std::size_t got = file.read(buffer.data(), buffer.size())) {
        htmlParseChunk(parser.get(), buffer.data(), static_cast<int>(got), 0);
        if (parse.failed())
            throw std::bad_alloc();
    }
    htmlParseChunk(parser.get(), nullptr, 0, 1);
    if (parse.failed())
        throw std::bad_alloc();
    if (!parse.looksLikeBookmarks())
        throwFileError(notBookmarkFileText, path);
    return parse.take();
}
