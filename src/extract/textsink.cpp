// SPDX-License-Identifier: GPL-3.0-or-later
#include "extract/textsink.h"

#include "base/text.h"

namespace extract {

namespace {

constexpr std::size_t pieceSize = 64 * 1024;
constexpr std::string_view replacement = "\xEF\xBF\xBD";

bool isBlank(unsigned char c)
{
    return c <= 32 || c == 127;
}

}  // namespace

TextSink::TextSink(std::size_t textLimit, std::function<void(int, std::string_view)> onFlush)
    : limit(textLimit), flush(std::move(onFlush))
{
}

void TextSink::startPage(int number)
{
    flushPage();
    page = number;
    onPage = false;
    blank = true;
    lineBreak = false;
}

void TextSink::breakLine()
{
    lineBreak = true;
    blank = true;
}

void TextSink::append(std::string_view text)
{
    std::size_t i = 0;
    for (; i < text.size() && !full();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (isBlank(c)) {
                if (c == '\n' || c == '\r' || c == '\f')
                    breakLine();
                blank = true;
            } else {
                put(text.substr(i, 1));
            }
            ++i;
            continue;
        }
        const std::size_t length = utf8SequenceLength(text, i);
        // U+0085 and the C1 controls carry nothing to search for.
        if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            blank = true;
            i += 2;
            continue;
        }
        put(length ? text.substr(i, length) : replacement);
        i += length ? length : 1;
    }
    if (i < text.size())
        cut = true;
}

void TextSink::put(std::string_view piece)
{
    if (blank && onPage) {
        pending += lineBreak ? '\n' : ' ';
        ++total;
    }
    blank = false;
    lineBreak = false;
    onPage = true;
    pending += piece;
    total += piece.size();
    if (pending.size() >= pieceSize) {
        flush(page, pending);
        pending.clear();
        // The next piece continues this page; a blank between them stays one.
    }
}

void TextSink::flushPage()
{
    if (!pending.empty())
        flush(page, pending);
    pending.clear();
}

void TextSink::finish()
{
    flushPage();
}

}  // namespace extract
