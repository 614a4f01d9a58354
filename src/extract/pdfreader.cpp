// SPDX-License-Identifier: GPL-3.0-or-later
#include "extract/pdfreader.h"

#include "extract/readfailure.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

#include <memory>

namespace extract {

namespace {

void ignorePopplerMessage(const std::string&, void*)
{
}

}  // namespace

void readPdf(const std::string& path, TextSink& sink)
{
    // Poppler reports every oddity of a damaged file on stderr; the outcome says what matters.
    poppler::set_debug_error_function(ignorePopplerMessage, nullptr);
    std::unique_ptr<poppler::document> document(poppler::document::load_from_file(path));
    if (!document)
        throw ReadFailure("it is not a PDF document that can be read");
    if (document->is_locked())
        throw ReadFailure("it is locked with a password");
    const int pages = document->pages();
    for (int i = 0; i < pages && !sink.full(); ++i) {
        std::unique_ptr<poppler::page> page(document->create_page(i));
        sink.startPage(i + 1);
        if (!page)
            continue;
        const poppler::byte_array text = page->text(poppler::rectf(), poppler::page::raw_order_layout).to_utf8();
        sink.append(std::string_view(text.data(), text.size()));
    }
}

}  // namespace extract
