// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "extract/textsink.h"

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

typedef struct _xmlParserCtxt xmlParserCtxt;

namespace extract {

// Which elements of a markup language hold text, by local name (no prefix, lower case for HTML).
struct MarkupRules {
    std::vector<std::string_view> textElements;   // text only inside these; empty: text anywhere
    std::vector<std::string_view> blockElements;  // a paragraph, a cell, a line break: a new line
    std::vector<std::string_view> blankElements;  // a tab or spaces element: a blank
    std::vector<std::string_view> skipElements;   // nothing inside is text (scripts, styles)
};

// The rules for web pages and the XHTML of EPUB books.
const MarkupRules& htmlRules();

// The text of an XML or HTML document fed in pieces through libxml2's push parser (SAX), so a part
// of any size is read in constant memory and stops as soon as the sink is full. The HTML parser
// takes the encoding a page declares; XML is read as XML declares it. Entities are never loaded
// from outside and nothing is fetched over the network.
class MarkupText {
public:
    enum class Language { Xml, Html };
    MarkupText(TextSink& sink, const MarkupRules& rules, Language language);
    ~MarkupText();
    MarkupText(const MarkupText&) = delete;
    MarkupText& operator=(const MarkupText&) = delete;

    // False once the parser gave up (XML that is not well-formed): nothing more will be read.
    bool feed(std::string_view bytes);
    void finish();

private:
    static bool among(const std::vector<std::string_view>& names, std::string_view name);
    void start(std::string_view name);
    void end(std::string_view name);
    void characters(std::string_view text);

    static void onStartXml(void* self, const unsigned char* localName, const unsigned char*, const unsigned char*, int,
                           const unsigned char**, int, int, const unsigned char**);
    static void onEndXml(void* self, const unsigned char* localName, const unsigned char*, const unsigned char*);
    static void onStartHtml(void* self, const unsigned char* name, const unsigned char**);
    static void onEndHtml(void* self, const unsigned char* name);
    static void onCharacters(void* self, const unsigned char* text, int length);

    TextSink& sink;
    const MarkupRules& rules;
    Language language;
    xmlParserCtxt* parser = nullptr;
    int skipDepth = 0;
    int textDepth = 0;
};

// Silences libxml2's messages on stderr for the whole process: a malformed document is read as far
// as it goes, never reported.
void quietLibxml();

}  // namespace extract
