// SPDX-License-Identifier: GPL-3.0-or-later
#include "extract/format.h"

#include <gio/gio.h>

#include <memory>

namespace extract {

namespace {

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

Format formatOf(const char* type)
{
    const std::string_view mime(type);
    if (g_content_type_is_a(type, "application/pdf"))
        return Format::Pdf;
    if (startsWith(mime, "application/vnd.oasis.opendocument."))
        return Format::OpenDocument;
    if (startsWith(mime, "application/vnd.openxmlformats-officedocument."))
        return Format::OfficeOpenXml;
    if (g_content_type_is_a(type, "application/epub+zip"))
        return Format::Epub;
    if (g_content_type_is_a(type, "text/html") || g_content_type_is_a(type, "application/xhtml+xml"))
        return Format::Html;
    if (g_content_type_is_a(type, "text/plain"))
        return Format::PlainText;
    return Format::Other;
}

}  // namespace

DetectedFormat detectFormat(const std::string& fileName, std::string_view head)
{
    gboolean uncertain = FALSE;
    std::unique_ptr<gchar, decltype(&g_free)> type(
        g_content_type_guess(fileName.c_str(), reinterpret_cast<const guchar*>(head.data()), head.size(), &uncertain),
        g_free);
    if (!type)
        return {};
    std::unique_ptr<gchar, decltype(&g_free)> mime(g_content_type_get_mime_type(type.get()), g_free);
    return {formatOf(type.get()), mime ? mime.get() : type.get()};
}

unsigned kindOf(Format format)
{
    switch (format) {
    case Format::Pdf:
        return wire::Pdf;
    case Format::OpenDocument:
    case Format::OfficeOpenXml:
        return wire::Office;
    case Format::Epub:
        return wire::Epub;
    case Format::Html:
        return wire::Html;
    case Format::PlainText:
        return wire::PlainText;
    case Format::Other:
        break;
    }
    return 0;
}

const char* kindName(Format format)
{
    switch (format) {
    case Format::Pdf:
        return "PDF documents";
    case Format::OpenDocument:
    case Format::OfficeOpenXml:
        return "office documents";
    case Format::Epub:
        return "EPUB books";
    case Format::Html:
        return "web pages";
    case Format::PlainText:
        return "text files";
    case Format::Other:
        break;
    }
    return "files of this kind";
}

}  // namespace extract
