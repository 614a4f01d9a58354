// SPDX-License-Identifier: GPL-3.0-or-later
#include "content/keptpage.h"

#include <QByteArray>
#include <QUrl>

#include <libxml/HTMLparser.h>
#include <libxml/HTMLtree.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

namespace content {

namespace {

using HtmlDocument = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;

const char* const removedElements[] = {"script", "iframe", "frame", "frameset", "base", "template"};
// Plug-ins go, but what they hold is what a reader sees without them, as is <noscript> once the
// scripts are gone.
const char* const unwrappedElements[] = {"noscript", "object", "embed", "applet", "portal"};
const char* const addressAttributes[] = {"href", "src", "action", "formaction", "poster", "background", "cite"};

HtmlDocument parse(const std::string& html, const std::string& address)
{
    return HtmlDocument(
        htmlReadMemory(html.data(), int(std::min<std::size_t>(html.size(), 0x7FFFFFFF)), address.c_str(), nullptr,
                       HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING),
        xmlFreeDoc);
}

bool named(const xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && xmlStrcasecmp(node->name, reinterpret_cast<const xmlChar*>(name)) == 0;
}

std::string attribute(const xmlNode* node, const char* name)
{
    std::unique_ptr<xmlChar, void (*)(void*)> value(xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)),
                                                    [](void* p) { xmlFree(p); });
    return value ? reinterpret_cast<const char*>(value.get()) : std::string();
}

void setAttribute(xmlNode* node, const char* name, const std::string& value)
{
    xmlSetProp(node, reinterpret_cast<const xmlChar*>(name), reinterpret_cast<const xmlChar*>(value.c_str()));
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

bool isStylesheet(const xmlNode* node)
{
    if (!named(node, "link"))
        return false;
    const std::string rel = " " + lower(attribute(node, "rel")) + " ";
    return rel.find(" stylesheet ") != std::string::npos && rel.find(" alternate ") == std::string::npos;
}

// The address as a browser would follow it from the page; empty for one that goes nowhere fetchable.
std::string absolute(const std::string& pageAddress, const std::string& reference)
{
    if (reference.empty())
        return {};
    const QUrl base = QUrl::fromEncoded(QByteArray::fromStdString(pageAddress), QUrl::TolerantMode);
    const QUrl resolved = base.resolved(QUrl::fromEncoded(QByteArray::fromStdString(reference), QUrl::TolerantMode));
    return resolved.isValid() ? resolved.toString(QUrl::FullyEncoded).toStdString() : std::string();
}

// A javascript:, vbscript: or data: (other than an image) address does something instead of naming a page.
bool activeAddress(const std::string& value)
{
    std::string text;
    for (char c : value)
        if (static_cast<unsigned char>(c) > 32)
            text += char(std::tolower(static_cast<unsigned char>(c)));
    return text.rfind("javascript:", 0) == 0 || text.rfind("vbscript:", 0) == 0
           || (text.rfind("data:", 0) == 0 && text.rfind("data:image/", 0) != 0);
}

// Visits every element in document order. visit returns false when it took the element out of the
// tree (removed, replaced, unwrapped): the walk goes on with whatever now stands in its place.
void walk(xmlNode* parent, const std::function<bool(xmlNode*)>& visit)
{
    for (xmlNode* child = parent ? parent->children : nullptr; child;) {
        if (child->type != XML_ELEMENT_NODE) {
            child = child->next;
            continue;
        }
        xmlNode* previous = child->prev;
        if (visit(child)) {
            walk(child, visit);
            child = child->next;
        } else {
            child = previous ? previous->next : parent->children;
        }
    }
}

void removeNode(xmlNode* node)
{
    xmlUnlinkNode(node);
    xmlFreeNode(node);
}

// Puts the element's children in its place, then removes it.
void unwrapNode(xmlNode* node)
{
    while (xmlNode* child = node->children) {
        xmlUnlinkNode(child);
        xmlAddPrevSibling(node, child);
    }
    removeNode(node);
}

bool among(const xmlNode* node, const char* const* first, const char* const* last)
{
    return std::any_of(first, last, [&](const char* name) { return named(node, name); });
}

// A <meta> that names the encoding: the copy is written in UTF-8 and says so once.
bool namesEncoding(const xmlNode* node)
{
    return named(node, "meta")
           && (!attribute(node, "charset").empty() || lower(attribute(node, "http-equiv")) == "content-type");
}

// Drops event handlers (on...), srcset (more addresses to fetch) and addresses that run something.
void cleanAttributes(xmlNode* node, const std::string& pageAddress)
{
    for (xmlAttr* attr = node->properties; attr;) {
        xmlAttr* next = attr->next;
        const std::string name = lower(reinterpret_cast<const char*>(attr->name));
        std::unique_ptr<xmlChar, void (*)(void*)> raw(xmlNodeListGetString(node->doc, attr->children, 1),
                                                      [](void* p) { xmlFree(p); });
        const std::string value = raw ? reinterpret_cast<const char*>(raw.get()) : std::string();
        const bool address = std::any_of(std::begin(addressAttributes), std::end(addressAttributes),
                                         [&](const char* known) { return name == known; });
        if (name.rfind("on", 0) == 0 || name == "srcset" || name == "integrity" || (address && activeAddress(value))) {
            xmlRemoveProp(attr);
        } else if (address && value.rfind("#", 0) != 0 && value.rfind("data:", 0) != 0) {
            if (const std::string resolved = absolute(pageAddress, value); !resolved.empty())
                setAttribute(node, attr->name ? reinterpret_cast<const char*>(attr->name) : "href", resolved);
        }
        attr = next;
    }
}

std::string dataAddress(const FetchedResource& resource)
{
    const std::string type = resource.contentType.substr(0, resource.contentType.find(';'));
    return "data:" + type + ";base64," + QByteArray::fromStdString(resource.bytes).toBase64().toStdString();
}

void inlineStylesheet(xmlNode* link, const FetchedResource* sheet)
{
    if (!sheet) {
        removeNode(link);
        return;
    }
    // The text ends the element only at "</style"; a stylesheet cannot hold one on purpose.
    std::string css = sheet->bytes;
    for (std::size_t at = 0; (at = css.find("</", at)) != std::string::npos; at += 3)
        css.replace(at, 2, "<\\/");
    xmlNode* style = xmlNewDocNode(link->doc, nullptr, reinterpret_cast<const xmlChar*>("style"), nullptr);
    xmlAddChild(style, xmlNewDocText(link->doc, reinterpret_cast<const xmlChar*>(css.c_str())));
    if (const std::string media = attribute(link, "media"); !media.empty())
        setAttribute(style, "media", media);
    xmlReplaceNode(link, style);
    xmlFreeNode(link);
}

const FetchedResource* lookUp(const std::map<std::string, FetchedResource>& fetched, const std::string& address,
                              const char* typePrefix)
{
    const auto place = fetched.find(address);
    if (place == fetched.end() || place->second.contentType.rfind(typePrefix, 0) != 0)
        return nullptr;
    return &place->second;
}

// The address relative references start from: the page's own, or the one its <base href> names.
std::string baseAddress(const HtmlDocument& document, const std::string& pageAddress)
{
    std::string base = pageAddress;
    walk(reinterpret_cast<xmlNode*>(document.get()), [&](xmlNode* node) {
        if (base == pageAddress && named(node, "base"))
            if (const std::string resolved = absolute(pageAddress, attribute(node, "href")); !resolved.empty())
                base = resolved;
        return true;
    });
    return base;
}

}  // namespace

std::vector<std::string> pageResources(const std::string& html, const std::string& address)
{
    std::vector<std::string> resources;
    const HtmlDocument document = parse(html, address);
    if (!document)
        return resources;
    const std::string pageAddress = baseAddress(document, address);
    auto add = [&](const std::string& reference) {
        const std::string address = absolute(pageAddress, reference);
        const QUrl url(QString::fromStdString(address));
        if ((url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
            && std::find(resources.begin(), resources.end(), address) == resources.end())
            resources.push_back(address);
    };
    walk(reinterpret_cast<xmlNode*>(document.get()), [&](xmlNode* node) {
        if (isStylesheet(node))
            add(attribute(node, "href"));
        else if (named(node, "img"))
            add(attribute(node, "src"));
        return true;
    });
    return resources;
}

std::string keptPage(const std::string& html, const std::string& address,
                     const std::map<std::string, FetchedResource>& fetched)
{
    const HtmlDocument document = parse(html, address);
    if (!document || !xmlDocGetRootElement(document.get()))
        return {};
    const std::string pageAddress = baseAddress(document, address);
    walk(reinterpret_cast<xmlNode*>(document.get()), [&](xmlNode* node) {
        const bool refresh = named(node, "meta") && lower(attribute(node, "http-equiv")) == "refresh";
        if (among(node, std::begin(removedElements), std::end(removedElements)) || refresh || namesEncoding(node)
            || (named(node, "link") && !isStylesheet(node))) {
            removeNode(node);
            return false;
        }
        if (among(node, std::begin(unwrappedElements), std::end(unwrappedElements))) {
            unwrapNode(node);
            return false;
        }
        if (isStylesheet(node)) {
            inlineStylesheet(node, lookUp(fetched, absolute(pageAddress, attribute(node, "href")), "text/css"));
            return false;
        }
        if (named(node, "img")) {
            const std::string address = absolute(pageAddress, attribute(node, "src"));
            if (const FetchedResource* image = lookUp(fetched, address, "image/"))
                setAttribute(node, "src", dataAddress(*image));
            else if (!address.empty())
                setAttribute(node, "src", address);
        }
        cleanAttributes(node, pageAddress);
        return true;
    });
    // Written as UTF-8, and said so in the page, whatever it was fetched in.
    htmlSetMetaEncoding(document.get(), reinterpret_cast<const xmlChar*>("UTF-8"));
    xmlFree(const_cast<xmlChar*>(document->encoding));
    document->encoding = xmlStrdup(reinterpret_cast<const xmlChar*>("UTF-8"));
    xmlChar* bytes = nullptr;
    int size = 0;
    htmlDocDumpMemoryFormat(document.get(), &bytes, &size, 0);
    std::string page = bytes ? std::string(reinterpret_cast<const char*>(bytes), std::size_t(size)) : std::string();
    xmlFree(bytes);
    return page;
}

}  // namespace content
