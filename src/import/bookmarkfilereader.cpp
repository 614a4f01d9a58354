// SPDX-License-Identifier: GPL-3.0-or-later
#include "import/bookmarkfilereader.h"

#include "base/text.h"

#include "import/bookmarkaddress.h"
#include "import/importtext.h"

#include <libxml/HTMLparser.h>

#include <QStringDecoder>

#include <algorithm>
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
constexpr int parseOptions =
    HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET | XML_PARSE_HUGE;

std::string_view text(const xmlChar* value)
{
    return value ? std::string_view(reinterpret_cast<const char*>(value)) : std::string_view();
}

bool named(const xmlChar* name, std::string_view wanted)
{
    const std::string_view given = text(name);
    return given.size() == wanted.size() && startsWithIgnoringCase(given, wanted);
}

// A line break that ends or starts an element's text is the layout of the file (an <A> or <H3>
// left open ends at the next line's tag), not part of the title; blanks are the title's own.
std::string_view withoutOuterLineBreaks(std::string_view text)
{
    while (!text.empty() && (text.front() == '\n' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// The elements that carry the structure; every other element only holds text.
enum class Tag { Other, List, Term, Description, Heading, Link, Rule };

Tag tagOf(const xmlChar* name)
{
    static constexpr std::pair<std::string_view, Tag> tags[] = {{"dl", Tag::List},        {"dt", Tag::Term},
                                                                {"dd", Tag::Description}, {"h3", Tag::Heading},
                                                                {"a", Tag::Link},         {"hr", Tag::Rule}};
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
        ImportFolder* folder;  // nullptr below maxImportDepth: everything in it is only counted
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
    case Tag::List:
        openList();
        break;
    case Tag::Term:
        heading = nullptr;
        headingPending = false;
        break;
    case Tag::Heading:
        sawMarks = true;
        collecting = Collecting::FolderName;
        break;
    case Tag::Link:
        startLink(attributes);
        break;
    case Tag::Rule:
        ++tree.skipped;
        break;
    default:
        break;
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

// Nothing longer than a description is kept, so a 100 MB title costs no 100 MB.
void NetscapeParse::characters(std::string_view chunk)
{
    constexpr std::size_t enough = maxDescriptionBytes + 4;
    if (collecting != Collecting::Nothing && collected.size() < enough)
        collected.append(chunk.substr(0, enough - collected.size()));
}

void NetscapeParse::openList()
{
    sawList = true;
    const List around = current();
    if (headingPending && around.folder)
        lists.push_back({heading, around.depth + 1});  // heading is nullptr when too deep to keep
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
        lastEntry->comment = importedDescription(trimControl(collected));
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
        around.folder->folders.push_back({importedTitle(withoutOuterLineBreaks(collected)), {}, {}});
        heading = &around.folder->folders.back();
    }
    collecting = Collecting::Nothing;
    collected.clear();
}

void NetscapeParse::finishLinkName()
{
    const List around = current();
    if (around.folder)
        lastEntry = appendBookmark(*around.folder, tree.skipped, withoutOuterLineBreaks(collected), href);
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

// The charset a <META> near the top declares, in lower case; "" when none is declared.
std::string declaredCharset(std::string_view head)
{
    std::string lower(head);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    std::size_t at = lower.find("charset");
    if (at == std::string::npos)
        return {};
    at = lower.find_first_not_of(" \t\r\n", at + 7);
    if (at == std::string::npos || lower[at] != '=')
        return {};
    at = lower.find_first_not_of(" \t\r\n\"'", at + 1);
    const std::size_t end =
        std::min(lower.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_.:-", at), lower.size());
    return at == std::string::npos ? std::string() : lower.substr(at, end - at);
}

// What the parser is fed. A file with a byte-order mark is read in that Unicode form; one that
// declares an 8-bit charset goes to the parser as it is, which converts it; any other is UTF-8 in
// which each bad byte becomes U+FFFD, as browsers read it, instead of the parser's switch to
// Latin-1 for the rest of the file. NUL bytes never reach the parser (it ends an attribute there
// and takes the rest for text): U+FFFD, as browsers show them, or a blank in an 8-bit charset.
class InputText {
public:
    explicit InputText(std::string_view head)
    {
        const auto starts = [head](std::string_view mark) { return head.substr(0, mark.size()) == mark; };
        if (starts("\xFF\xFE"))
            decoder = QStringDecoder(QStringDecoder::Utf16LE);
        else if (starts("\xFE\xFF"))
            decoder = QStringDecoder(QStringDecoder::Utf16BE);
        else if (const std::string charset = declaredCharset(head);
                 !charset.empty() && charset != "utf-8" && charset != "utf8")
            raw = true;
    }

    // Unicode is handed over as UTF-8 whose charset hints the parser must not follow.
    bool isUnicode() const { return !raw; }

    std::string next(std::string_view bytes)
    {
        if (raw) {
            std::string copy(bytes);
            std::replace(copy.begin(), copy.end(), '\0', ' ');
            return copy;
        }
        QString text = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
        text.replace(QChar(u'\0'), QChar(QChar::ReplacementCharacter));
        return text.toStdString();
    }

private:
    QStringDecoder decoder{QStringDecoder::Utf8};
    bool raw = false;
};

struct ParserFree {
    void operator()(htmlParserCtxtPtr parser) const
    {
        if (parser->myDoc)
            xmlFreeDoc(parser->myDoc);
        htmlFreeParserCtxt(parser);
    }
};

}  // namespace

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

    std::vector<char> buffer(1 << 16);
    std::size_t got = file.read(buffer.data(), buffer.size());
    InputText input(std::string_view(buffer.data(), got));
    htmlCtxtUseOptions(parser.get(), parseOptions | (input.isUnicode() ? HTML_PARSE_IGNORE_ENC : 0));
    const auto feed = [&](const std::string& text, bool last) {
        htmlParseChunk(parser.get(), text.data(), static_cast<int>(text.size()), last ? 1 : 0);
        if (parse.failed())
            throw std::bad_alloc();
    };
    for (; got > 0; got = file.read(buffer.data(), buffer.size()))
        feed(input.next(std::string_view(buffer.data(), got)), false);
    feed({}, true);
    if (parse.failed())
        throw std::bad_alloc();
    if (!parse.looksLikeBookmarks())
        throwFileError(notBookmarkFileText, path);
    return parse.take();
}
