// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace extract {

// Where a reader puts the text it finds, page by page. Keeps what the index wants: valid UTF-8
// (a bad byte becomes U+FFFD), no control characters, runs of blanks as one blank or one line
// break. Stops taking text at its limit; readers ask full() to stop early.
class TextSink {
public:
    // flush receives the text of a page in pieces, each with its page number (0 for a document
    // without pages); it is called when a piece grows large and at every page end.
    TextSink(std::size_t limit, std::function<void(int page, std::string_view text)> flush);

    void startPage(int page);
    void append(std::string_view text);
    // A paragraph or cell ended: the next text starts on a line of its own.
    void breakLine();
    void finish();

    bool full() const { return total >= limit; }
    bool truncated() const { return cut; }
    std::size_t size() const { return total; }

private:
    void put(std::string_view piece);
    void flushPage();

    std::size_t limit;
    std::function<void(int, std::string_view)> flush;
    std::string pending;
    int page = 0;
    std::size_t total = 0;
    bool blank = true;  // the last character put was a blank (or nothing was put yet)
    bool lineBreak = false;
    bool onPage = false;  // something was put on the current page
    bool cut = false;
};

}  // namespace extract
