// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "extract/wire.h"

#include <string>
#include <string_view>

namespace extract {

enum class Format { Pdf, OpenDocument, OfficeOpenXml, Epub, Html, PlainText, Other };

struct DetectedFormat {
    Format format = Format::Other;
    std::string contentType;  // GIO's content type, a MIME type here
};

// The format of a file by GIO's content type, guessed from its name and its first bytes as the
// desktop guesses it: Markdown, CSV and source files are plain text, XHTML is HTML.
DetectedFormat detectFormat(const std::string& fileName, std::string_view head);

// The wire kind a format belongs to (0 for Other).
unsigned kindOf(Format format);
// "PDF documents" and the like, for saying what was left out.
const char* kindName(Format format);

}  // namespace extract
