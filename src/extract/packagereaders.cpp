// SPDX-License-Identifier: GPL-3.0-or-later
#include "extract/packagereaders.h"

#include "extract/markuptext.h"
#include "extract/readfailure.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>

namespace extract {

namespace {

// Package files (container, manifest) are small; a larger one is not what it says it is.
constexpr std::size_t packageFileLimit = 4 * 1024 * 1024;

void readMarkup(const ZipPackage& package, const std::string& part, TextSink& sink, const MarkupRules& rules,
                MarkupText::Language language)
{
    MarkupText markup(sink, rules, language);
    package.read(part, [&](std::string_view bytes) { return markup.feed(bytes); });
    markup.finish();
    sink.breakLine();
}

const MarkupRules& openDocumentRules()
{
    static const MarkupRules rules{
        {},
        {"p", "h", "line-break", "list-item", "table-cell", "table-row", "frame"},
        {"tab", "s"},
        {"automatic-styles", "font-face-decls", "scripts", "forms", "tracked-changes"},
    };
    return rules;
}

// w:t and a:t hold the text; field codes (w:instrText) and the rest do not.
const MarkupRules& officeOpenXmlRules()
{
    static const MarkupRules rules{
        {"t"},
        {"p", "br", "cr", "tr", "si"},
        {"tab"},
        {},
    };
    return rules;
}

// The numbered parts "prefix<N>.xml", in the order of N.
std::vector<std::string> numberedParts(const ZipPackage& package, const std::string& prefix)
{
    std::vector<std::pair<long, std::string>> found;
    for (const std::string& name : package.names()) {
        if (name.rfind(prefix, 0) != 0 || name.size() <= prefix.size() + 4 || name.substr(name.size() - 4) != ".xml")
            continue;
        const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - 4);
        if (!digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            found.emplace_back(std::stol(digits.substr(0, 9)), name);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> parts;
    for (auto& [number, name] : found)
        parts.push_back(std::move(name));
    return parts;
}

using XmlDocument = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

XmlDocument parsePackageFile(const ZipPackage& package, const std::string& part)
{
    std::string bytes;
    package.read(part, [&](std::string_view piece) {
        bytes.append(piece);
        if (bytes.size() > packageFileLimit)
            throw ReadFailure("its part " + part + " is larger than a package file can be");
        return true;
    });
    XmlDocument document(xmlReadMemory(bytes.data(), int(bytes.size()), part.c_str(), nullptr,
                                       XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
                         xmlFreeDoc);
    if (!document)
        throw ReadFailure("its part " + part + " is not well-formed XML");
    return document;
}

std::string_view localName(const xmlNode* node)
{
    return reinterpret_cast<const char*>(node->name);
}

std::string attribute(const xmlNode* node, const char* name)
{
    std::unique_ptr<xmlChar, void (*)(void*)> value(xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)),
                                                    [](void* p) { xmlFree(p); });
    return value ? reinterpret_cast<const char*>(value.get()) : std::string();
}

// Every element with this local name below node, in document order.
void collect(const xmlNode* node, std::string_view name, std::vector<const xmlNode*>& found)
{
    for (const xmlNode* child = node ? node->children : nullptr; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        if (localName(child) == name)
            found.push_back(child);
        collect(child, name, found);
    }
}

std::vector<const xmlNode*> elements(const XmlDocument& document, std::string_view name)
{
    std::vector<const xmlNode*> found;
    collect(reinterpret_cast<const xmlNode*>(document.get()), name, found);
    return found;
}

// A path inside the package from an href relative to the folder of `base`, "." and ".." resolved and
// percent escapes decoded; a path that climbs out of the package is refused (empty).
std::string packagePath(const std::string& base, const std::string& href)
{
    std::string decoded;
    for (std::size_t i = 0; i < href.size(); ++i) {
        if (href[i] == '%' && i + 2 < href.size() && std::isxdigit(static_cast<unsigned char>(href[i + 1]))
            && std::isxdigit(static_cast<unsigned char>(href[i + 2]))) {
            decoded += static_cast<char>(std::stoi(href.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else if (href[i] == '#') {
            break;
        } else {
            decoded += href[i];
        }
    }
    const std::size_t slash = base.rfind('/');
    const std::string joined = (slash == std::string::npos ? std::string() : base.substr(0, slash + 1)) + decoded;
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= joined.size()) {
        const std::size_t end = std::min(joined.find('/', start), joined.size());
        const std::string part = joined.substr(start, end - start);
        if (part == "..") {
            if (parts.empty())
                return {};
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string path;
    for (const std::string& part : parts)
        path += (path.empty() ? "" : "/") + part;
    return path;
}

}  // namespace

void readOpenDocument(const ZipPackage& package, TextSink& sink)
{
    if (!package.has("content.xml"))
        throw ReadFailure("it has no content.xml, which every OpenDocument file holds");
    readMarkup(package, "content.xml", sink, openDocumentRules(), MarkupText::Language::Xml);
}

void readOfficeOpenXml(const ZipPackage& package, TextSink& sink)
{
    std::vector<std::string> parts;
    if (package.has("word/document.xml")) {
        parts = {"word/document.xml", "word/footnotes.xml", "word/endnotes.xml"};
    } else if (package.has("xl/sharedStrings.xml") || package.has("xl/workbook.xml")) {
        parts = {"xl/sharedStrings.xml"};
    } else {
        parts = numberedParts(package, "ppt/slides/slide");
        if (parts.empty() && !package.has("ppt/presentation.xml"))
            throw ReadFailure("it holds neither a document, a workbook nor a presentation");
    }
    for (const std::string& part : parts) {
        if (sink.full())
            break;
        if (package.has(part))
            readMarkup(package, part, sink, officeOpenXmlRules(), MarkupText::Language::Xml);
    }
}

void readEpub(const ZipPackage& package, TextSink& sink)
{
    if (!package.has("META-INF/container.xml"))
        throw ReadFailure("it has no META-INF/container.xml, which every EPUB book holds");
    const XmlDocument container = parsePackageFile(package, "META-INF/container.xml");
    const auto rootfiles = elements(container, "rootfile");
    const std::string opf =
        rootfiles.empty() ? std::string() : packagePath("", attribute(rootfiles.front(), "full-path"));
    if (opf.empty() || !package.has(opf))
        throw ReadFailure("its container names no package file it holds");
    const XmlDocument packageFile = parsePackageFile(package, opf);
    std::map<std::string, std::string> manifest;
    for (const xmlNode* item : elements(packageFile, "item"))
        manifest[attribute(item, "id")] = packagePath(opf, attribute(item, "href"));
    for (const xmlNode* reference : elements(packageFile, "itemref")) {
        if (sink.full())
            break;
        const auto place = manifest.find(attribute(reference, "idref"));
        if (place != manifest.end() && !place->second.empty() && package.has(place->second))
            readMarkup(package, place->second, sink, htmlRules(), MarkupText::Language::Html);
    }
}

}  // namespace extract
