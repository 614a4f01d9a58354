// SPDX-License-Identifier: GPL-3.0-or-later
#include "content/keptpage.h"

#include <gtest/gtest.h>

namespace {

const std::string page = "http://example.org/dir/page.html";

// Catches a kept copy that still runs something when opened (scripts, handlers, javascript: links,
// frames, refreshes), reaches back to the site for what it was given, loses its text's encoding, or
// lets a stylesheet end its own <style> element.
TEST(KeptPage, KeepsWhatAReaderSeesAndNothingThatRuns)
{
    const std::map<std::string, content::FetchedResource> fetched = {
        {"http://example.org/dir/a.css", {"text/css; charset=utf-8", "p{}</style><script>x()</script>"}},
        {"http://example.org/logo.png", {"image/png", "PNG"}},
        {"http://example.org/dir/page.js", {"text/html", "<b>not a picture</b>"}},
    };
    struct Case {
        std::string html;
        std::vector<std::string> kept;
        std::vector<std::string> gone;
    };
    const Case cases[] = {
        {"<p onclick=\"x()\" onmouseover=x()>Text</p><script>x()</script><noscript>n</noscript>",
         {"<p>Text</p>"},
         {"onclick", "onmouseover", "<script", "<noscript"}},
        {"<a href=\" JaVaScript:x()\">a</a><a href=\"../up.html#top\">b</a><a href=\"#here\">c</a>",
         {"<a>a</a>", "href=\"http://example.org/up.html#top\"", "href=\"#here\""},
         {"JaVaScript"}},
        {"<head><base href=\"http://cdn.example.net/\"><meta http-equiv=Refresh content=\"0;url=http://evil\">"
         "</head><body><img src=logo.png><a href=x.html>x</a></body>",
         {"src=\"http://cdn.example.net/logo.png\"", "href=\"http://cdn.example.net/x.html\""},
         {"<base", "Refresh", "evil"}},
        {"<iframe src=\"http://ads\"></iframe><object data=x></object><embed src=y><p>kept</p>",
         {"<p>kept</p>"},
         {"iframe", "object", "embed"}},
        {"<img src=/logo.png srcset=\"big.png 2x\"><img src=page.js><link rel=stylesheet href=a.css>",
         {"src=\"data:image/png;base64,UE5H\"", "src=\"http://example.org/dir/page.js\"",
          "<style>p{}<\\/style><script>x()<\\/script></style>"},
         {"srcset", "<link"}},
        {"<html><head><meta charset=iso-8859-1></head><body><p>\xC9t\xE9</p></body></html>",
         {"<p>\xC3\x89t\xC3\xA9</p>", "charset=UTF-8"},
         {"iso-8859-1"}},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.html);
        const std::string kept = content::keptPage(each.html, page, fetched);
        for (const std::string& text : each.kept)
            EXPECT_NE(kept.find(text), std::string::npos) << text << " in " << kept;
        for (const std::string& text : each.gone)
            EXPECT_EQ(kept.find(text), std::string::npos) << text << " in " << kept;
    }
    EXPECT_EQ(content::pageResources("<link rel=stylesheet href=a.css><img src=/logo.png><img src=/logo.png>"
                                     "<img src=data:image/gif,x><link rel=icon href=i.ico>",
                                     page),
              (std::vector<std::string>{"http://example.org/dir/a.css", "http://example.org/logo.png"}));
}

}  // namespace
