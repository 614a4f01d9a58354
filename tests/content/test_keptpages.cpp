// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/files.h"
#include "content/keptpages.h"
#include "content/pagekeeper.h"
#include "contenttestutil.h"
#include "documents.h"
#include "pageserver.h"

#include <QCoreApplication>

#include <sys/stat.h>

namespace {

void ensureApplication()
{
    static int argc = 1;
    static char name[] = "test_content";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

content::KeepResult keep(const std::string& folder, const std::string& address)
{
    return content::keepPagesNow({address}, folder).at(0);
}

const std::string goodPage =
    "<html><head><title>Kept</title><link rel=stylesheet href=style.css><script src=app.js></script></head>"
    "<body onload=\"steal()\"><h1>Harbour notes</h1><p>The lighthouse keeper counts the cormorants every morning, "
    "and the ferry leaves at nine.</p><img src=pic.png alt=boat><a href=\"next.html\">next</a>"
    "<a href=\"javascript:steal()\">x</a><script>steal()</script></body></html>";

// Catches a kept copy that still needs the site (stylesheet, image), still runs scripts, can be read by
// others, loses its old copy to an error page or a nearly empty page, or is not searchable.
TEST_F(ContentTest, APageIsKeptWholeAndAWorseFetchKeepsTheOldCopy)
{
    ensureApplication();
    const std::string site = file("site");
    std::filesystem::create_directories(site);
    documents::write(site + "/page.html", goodPage);
    documents::write(site + "/style.css", "h1 { color: teal }");
    documents::write(site + "/pic.png", "\x89PNG\r\n\x1a\nnot really a picture");
    documents::write(site + "/app.js", "steal()");
    PageServer server(site);
    const std::string address = server.url("/page.html");
    const std::string guid = catalogue.add(address, 1);

    const std::string pages = setup().pagesFolder;
    const content::KeepResult first = keep(pages, address);
    ASSERT_TRUE(first.kept) << first.detail;
    EXPECT_EQ(first.file, content::keptCopyPath(setup().pagesFolder, address));
    const std::string copy = readRegularFile(first.file, 1 << 20).value_or("");
    EXPECT_NE(copy.find("<style>h1 { color: teal }</style>"), std::string::npos) << copy;
    EXPECT_NE(copy.find("src=\"data:image/png;base64,iVBORw0KGgpub3QgcmVhbGx5IGEgcGljdHVyZQ==\""), std::string::npos)
        << copy;
    EXPECT_NE(copy.find("href=\"" + server.url("/next.html") + "\""), std::string::npos) << copy;
    for (const char* gone : {"<script", "steal", "onload", "app.js"})
        EXPECT_EQ(copy.find(gone), std::string::npos) << gone;
    struct stat info {};
    ASSERT_EQ(::stat(first.file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    content::ContentIndexer indexer(setup());
    indexer.updateFromCatalogue();
    EXPECT_EQ(indexer.refresh().read, 1);
    EXPECT_EQ(found(indexer.index(), "cormorants"), std::vector<std::string>{guid});

    std::filesystem::remove(site + "/page.html");
    const content::KeepResult missing = keep(pages, address);
    EXPECT_FALSE(missing.kept);
    EXPECT_EQ(missing.detail, "the page could not be fetched: 404 File not found; the kept copy stays as it was");
    documents::write(site + "/page.html", "<html><body><p>Moved.</p></body></html>");
    const content::KeepResult smaller = keep(pages, address);
    EXPECT_FALSE(smaller.kept);
    EXPECT_EQ(smaller.detail.substr(0, 33), "the page now holds much less text") << smaller.detail;
    EXPECT_EQ(readRegularFile(first.file, 1 << 20).value_or(""), copy);

    documents::write(site + "/huge.html", "<html><body>" + std::string(11 << 20, 'x') + "</body></html>");
    const content::KeepResult huge = keep(pages, server.url("/huge.html"));
    EXPECT_FALSE(huge.kept);
    EXPECT_EQ(huge.detail, "the page could not be fetched: The answer is larger than 10 MB");
}

}  // namespace
