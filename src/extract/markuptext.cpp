// SPDX-License-Identifier: GPL-3.0-or-later
#include "extract/markuptext.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace extract {

namespace {

std::string_view nameOf(const unsigned char* name)
{
    return name ? std::string_view(reinterpret_cast<const char*>(name)) : std::string_view();
}

void ignoreMessage(void*, const char*, ...)
{
}
void ignoreError(void*, const xmlError*)
{
}

}  // namespace

void quietLibxml()
{
    xmlInitParser();
    xmlSetGenericErrorFunc(nullptr, ignoreMessage);
    xmlSetStructuredErrorFunc(nullptr, reinterpret_cast<xmlStructuredErrorFunc>(ignoreError));
}

const MarkupRules& htmlRules()
{
    static const MarkupRules rules{
        {},
        {"p",  "div", "br",      "li",      "tr",     "td",     "th",         "h1",    "h2",         "h3",
         "h4", "h5",  "h6",      "title",   "pre",    "hr",     "blockquote", "table", "ul",         "ol",
         "dt", "dd",  "section", "article", "header", "footer", "nav",        "aside", "figcaption", "caption"},
        {},
        {"script", "style", "noscript", "template", "svg", "math", "object", "iframe"},
    };
    return rules;
}

MarkupText::MarkupText(TextSink& textSink, const MarkupRules& markupRules, Language markupLanguage)
    : sink(textSink), rules(markupRules), language(markupLanguage)
{
    xmlSAXHandler handler;
    std::memset(&handler, 0, sizeof handler);
    handler.characters = onCharacters;
    handler.cdataBlock = onCharacters;
    if (language == Language::Xml) {
        handler.initialized = XML_SAX2_MAGIC;
        handler.startElementNs = onStartXml;
        handler.endElementNs = onEndXml;
        parser = xmlCreatePushParserCtxt(&handler, this, nullptr, 0, nullptr);
        if (parser)
            xmlCtxtUseOptions(parser, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_NOCDATA);
    } else {
        handler.startElement = onStartHtml;
        handler.endElement = onEndHtml;
        parser = htmlCreatePushParserCtxt(&handler, this, nullptr, 0, nullptr, XML_CHAR_ENCODING_NONE);
        if (parser)
            htmlCtxtUseOptions(parser, HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_RECOVER
                                           | HTML_PARSE_NOIMPLIED);
    }
    if (!parser)
        throw std::bad_alloc();
}

MarkupText::~MarkupText()
{
    if (language == Language::Html)
        htmlFreeParserCtxt(parser);
    else
        xmlFreeParserCtxt(parser);
}

bool MarkupText::feed(std::string_view bytes)
{
    // The parser takes an int's worth at a time.
    while (!bytes.empty() && !sink.full()) {
        const std::size_t piece = std::min<std::size_t>(bytes.size(), 1 << 20);
        const int failure = language == Language::Html ? htmlParseChunk(parser, bytes.data(), int(piece), 0)
                                                       : xmlParseChunk(parser, bytes.data(), int(piece), 0);
        if (failure != 0 && language == Language::Xml)
            return false;
        bytes.remove_prefix(piece);
    }
    return !sink.full();
}

void MarkupText::finish()
{
    if (language == Language::Html)
        htmlParseChunk(parser, nullptr, 0, 1);
    else
        xmlParseChunk(parser, nullptr, 0, 1);
}

bool MarkupText::among(const std::vector<std::string_view>& names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

void MarkupText::start(std::string_view name)
{
    if (skipDepth > 0 || among(rules.skipElements, name)) {
        ++skipDepth;
        return;
    }
    if (among(rules.blockElements, name))
        sink.breakLine();
    else if (among(rules.blankElements, name))
        sink.append(" ");
    if (among(rules.textElements, name))
        ++textDepth;
}

void MarkupText::end(std::string_view name)
{
    if (skipDepth > 0) {
        --skipDepth;
        return;
    }
    if (among(rules.textElements, name) && textDepth > 0)
        --textDepth;
    if (among(rules.blockElements, name))
        sink.breakLine();
}

void MarkupText::characters(std::string_view text)
{
    if (skipDepth == 0 && (rules.textElements.empty() || textDepth > 0))
        sink.append(text);
    if (sink.full())
        xmlStopParser(parser);
}

void MarkupText::onStartXml(void* self, const unsigned char* localName, const unsigned char*, const unsigned char*, int,
                            const unsigned char**, int, int, const unsigned char**)
{
    static_cast<MarkupText*>(self)->start(nameOf(localName));
}

void MarkupText::onEndXml(void* self, const unsigned char* localName, const unsigned char*, const unsigned char*)
{
    static_cast<MarkupText*>(self)->end(nameOf(localName));
}

void MarkupText::onStartHtml(void* self, const unsigned char* name, const unsigned char**)
{
    static_cast<MarkupText*>(self)->start(nameOf(name));
}

void MarkupText::onEndHtml(void* self, const unsigned char* name)
{
    static_cast<MarkupText*>(self)->end(nameOf(name));
}

void MarkupText::onCharacters(void* self, const unsigned char* text, int length)
{
    static_cast<MarkupText*>(self)->characters(
        std::string_view(reinterpret_cast<const char*>(text), std::size_t(std::max(length, 0))));
}

}  // namespace extract
